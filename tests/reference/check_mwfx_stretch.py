#!/usr/bin/env python3
"""Compare `mwfx process stretch` with the plain-Python Time Stretch model.

Usage:
  check_mwfx_stretch.py --selftest                 # the model alone
  check_mwfx_stretch.py --mwfx PATH [--quick]      # self-test, then mwfx checks

Each failing check prints one line; the last line is `N passed, M failed`
and the exit status is non-zero on any failure.

What is compared: the sample data of mwfx's output, bit for bit, against the
model (two NaNs of any payload count as equal; nothing else is tolerated),
and the output's format tag, bits, channels and rate against the input's,
over every sample format, mono and stereo, rates from 8000 to 96000 Hz,
every splice mode, lengths from 50 % to 500 % (and clamped ones beyond),
the presets, inputs shorter than one splice frame and empty ones.  Checks
that need no model run through mwfx alone: output independent of the input
and output buffer sizes (down to one frame), output lengths from the frame
count arithmetic on longer inputs, presets by name and by index alike, the
fields the engine ignores, a mode beyond the table taken as the last row,
and refused requests.
"""

import math
import os
import random
import sys

sys.dont_write_bytecode = True     # leave no __pycache__ beside the sources
HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import copying_effects as common  # noqa: E402
import harness  # noqa: E402
import splice_ref as splice  # noqa: E402
import time_stretch_ref as ref  # noqa: E402
from copying_effects import CopyingCase as Case, make_signal  # noqa: E402

EFFECT = 'stretch'
LENGTHS = (5000.0, 6250.0, 8500.0, 10000.0, 12500.0, 15000.0, 20000.0, 27500.0,
           36000.0, 50000.0)


def frames_around(rate, mode, length, rng, hops=2):
    """An input length holding one splice frame and about `hops` more hops."""
    F, _H, _X, _R, _S, _T, A, _K = splice.derived(rate, mode, length * 0.0001)
    return F + hops * A + rng.randrange(A)


def model_cost(case):
    return -ref.model_cost(case.rate, len(case.samples) // case.nch, case.preset,
                           case.sets, case.nch)


# ---------------------------------------------------------------------------
# Case lists

def build_cases(quick, rng):
    cases = []
    rates = (8000, 22050, 48000) if quick else (8000, 22050, 44100, 48000, 96000)
    k = 0
    # Every format, channel count and rate; the mode and the length turn
    # over so that every mode and a spread of lengths meet every format.
    for fmt, nch in harness.COMBOS:
        for rate in rates:
            mode = (k * 7) % 19
            length = LENGTHS[k % len(LENGTHS)]
            k += 1
            sig = make_signal(fmt, nch, frames_around(rate, mode, length, rng, 3), rng, rate)
            cases.append(Case('matrix', fmt, nch, rate, sig,
                              sets=[('FinalLength', length), ('Mode', mode)]))

    # Every mode at 8000 Hz (where the search steps shrink) and at 44100 Hz,
    # both channel counts.
    for rate in (8000, 44100):
        for mode in range(19):
            if quick and (mode + rate) % 3:
                continue
            fmt = ref.FORMAT_NAMES[(mode + rate) % 5]
            nch = 1 + (mode + rate) % 2
            length = LENGTHS[(mode * 3 + rate) % len(LENGTHS)]
            sig = make_signal(fmt, nch, frames_around(rate, mode, length, rng, 3), rng, rate)
            cases.append(Case('mode %d' % mode, fmt, nch, rate, sig,
                              sets=[('Mode', mode), ('FinalLength', length)]))

    # Random settings.
    for i in range(8 if quick else 25):
        fmt, nch = harness.COMBOS[rng.randrange(len(harness.COMBOS))]
        rate = rng.choice((8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000))
        mode = rng.randrange(19)
        length = round(rng.uniform(5000.0, 50000.0), rng.randrange(4))
        sig = make_signal(fmt, nch, frames_around(rate, mode, length, rng, 2), rng, rate)
        cases.append(Case('random', fmt, nch, rate, sig,
                          sets=[('FinalLength', length), ('Mode', mode)]))

    # Lengths beyond the range are clamped; a mode beyond the table is the
    # last row.
    for i, (sets, rate) in enumerate((
            ([('FinalLength', 1000.0), ('Mode', 16)], 22050),
            ([('FinalLength', 60000.0), ('Mode', 18)], 11025),
            ([('FinalLength', 49999.5), ('Mode', 40)], 16000),
            ([('FinalLength', 5000.25), ('Mode', 12)], 32000))):
        fmt = ref.FORMAT_NAMES[i]
        block = ref.resolve_block(sets=sets)
        frames = frames_around(rate, block['Mode'], block['FinalLength'], rng)
        cases.append(Case('clamped', fmt, 2 - i % 2, rate,
                          make_signal(fmt, 2 - i % 2, frames, rng, rate), sets=sets))

    # Presets by index.
    for p in range(len(ref.PRESETS)):
        for nch in (1, 2):
            if quick and (p + nch) % 2:
                continue
            fmt = ref.FORMAT_NAMES[(p * 2 + nch) % 5]
            frames = frames_around(16000, 0, ref.PRESETS[p][1], rng)
            cases.append(Case('preset %d' % p, fmt, nch, 16000,
                              make_signal(fmt, nch, frames, rng, 16000), preset=p))

    # Short inputs: empty, a few frames, below half a splice frame, between
    # half and a whole one, exactly one and one more.
    F, H = splice.derived(8000, 16, 1.0)[:2]
    for i, frames in enumerate((0, 1, 2, H - 1, H, H + 1, F - 1, F, F + 1)):
        if quick and i % 2:
            continue
        for nch in (1, 2):
            fmt = ref.FORMAT_NAMES[(i + nch) % 5]
            length = LENGTHS[(i * 3 + nch) % len(LENGTHS)]
            cases.append(Case('short', fmt, nch, 8000, make_signal(fmt, nch, frames, rng, 8000),
                              sets=[('Mode', 16), ('FinalLength', length)]))

    # Infinities, NaN and squares that overflow in the float formats.
    for fmt in harness.FLOAT_FORMATS:
        for nch in (1, 2):
            sig = make_signal(fmt, nch, frames_around(8000, 7, 15000.0, rng), rng, 8000,
                              wild=True)
            cases.append(Case('wild', fmt, nch, 8000, sig,
                              sets=[('Mode', 7), ('FinalLength', 15000.0)]))
    return cases


def buffer_groups(quick, rng):
    """The same input through input and output buffers of many sizes (one
    frame included); the first of each group is also compared with the
    model."""
    sizes = [(None, None), (1, None), (1, 1), (7, 3), (333, 1), (4096, 1), (64, 100000)]
    if quick:
        sizes = sizes[:4]
    groups = []
    for i, (fmt, rate, mode, length) in enumerate((
            ('pcm16', 8000, 16, 20000.0), ('float32', 11025, 12, 6250.0),
            ('pcm8', 8000, 18, 50000.0), ('pcm32', 8000, 5, 8500.0),
            ('float64', 16000, 17, 12500.0))):
        if quick and i % 2:
            continue
        nch = 1 + i % 2
        sig = make_signal(fmt, nch, frames_around(rate, mode, length, rng, 3), rng, rate)
        sets = [('Mode', mode), ('FinalLength', length)]
        groups.append([Case('buffers', fmt, nch, rate, sig, sets=sets, buffer_frames=b,
                            output_frames=o, modelled=(b is None))
                       for b, o in sizes])
    return groups


def alias_groups(rng):
    """Presets by index and by name; the rows holding the default block and
    no preset at all; fields the engine ignores; a mode beyond the table and
    the last row."""
    groups = common.preset_groups(ref.PRESETS, rng)
    sig = make_signal('pcm16', 1, 1500, rng, 8000)
    plain = [('Mode', 17), ('FinalLength', 13000.0)]
    groups.append([Case('ignored', 'pcm16', 1, 8000, sig, sets=plain, modelled=False)] + [
        Case('ignored', 'pcm16', 1, 8000, sig, sets=plain + extra, modelled=False)
        for extra in ([('InitialTempo', 9000)], [('InitialTime', 12345.5)],
                      [('InputFormat', 2)], [('InitialTempo', 70000), ('InputFormat', 1),
                                             ('InitialTime', -3.0)])])
    sig = make_signal('float32', 2, 1200, rng, 8000)
    groups.append([Case('last mode', 'float32', 2, 8000, sig, sets=[('Mode', m)],
                        modelled=False) for m in (18, 19, 1000)])
    return groups


def length_cases(quick, rng):
    """Longer inputs through mwfx alone; the output length must follow the
    frame count arithmetic."""
    cases = []
    for i in range(12 if quick else 30):
        fmt, nch = harness.COMBOS[i % len(harness.COMBOS)]
        rate = rng.choice((8000, 22050, 44100, 48000, 96000))
        mode = rng.randrange(19)
        length = rng.choice(LENGTHS + (rng.uniform(5000.0, 50000.0),))
        frames = rng.randrange(rate // 2, 3 * rate)
        sets = [('Mode', mode), ('FinalLength', length)]
        c = Case('length', fmt, nch, rate, make_signal(fmt, nch, frames, rng, rate),
                 sets=sets, modelled=False)
        c.property_expected = ref.expected_frames(rate, frames, sets=sets)
        cases.append(c)
    return cases


# ---------------------------------------------------------------------------
# Self-test of the model

def scalar_search(eng):
    """The similarity search one candidate at a time, each sum of squares a
    plain sequential loop, stopping at the first accepted candidate."""
    rs = splice.round_scalar(eng.single)
    R, S, nch = eng.R, eng.S, eng.nch
    refs = []
    for c in range(nch):
        t = 0.0
        for i in range(0, R, S):
            t = rs(t + rs(eng.acc[c][i] * eng.acc[c][i]))
        refs.append(rs(eng.T * t))
    best, best_p = 0.0, 0
    for p in range(0, R, S):
        sums = []
        for c in range(nch):
            t = 0.0
            for i in range(0, R, S):
                v = rs(eng.acc[c][i] + eng.inp[c][p + i])
                t = rs(t + rs(v * v))
            sums.append(t)
        if all(s > e for s, e in zip(sums, refs)):
            return p, True
        total = sums[0] if nch == 1 else rs(sums[0] + sums[1])
        if total > best:
            best, best_p = total, p
    return best_p, False


def check_search(results, rng):
    """The model's search (all candidates side by side) against the scalar
    one, on references from silent to loud, both precisions and channel
    counts; both outcomes (early acceptance and the loudest sum) occur."""
    ok = True
    outcomes = set()
    for trial in range(48):
        single = trial % 2 == 0
        nch = 1 + (trial // 2) % 2
        eng = splice.SpliceEngine(nch, single)
        rate = rng.choice((3000, 8000, 11025))
        eng.configure(rate, rng.randrange(19), 1.0)
        rv = splice.round_vector(single)
        ref_level = (0.0, 1e-6, 0.01, 0.3, 1.0)[trial % 5]
        for c in range(nch):
            lvl = ref_level if c == 0 or trial % 3 else 1.0 - ref_level
            eng.acc[c] = list(rv(lvl * rng.uniform(-1, 1) for _ in range(eng.F)))
            eng.inp[c] = list(rv(rng.choice((0.0, 1e-4, 0.5)) * rng.uniform(-1, 1)
                                 for _ in range(eng.F)))
            if trial % 7 == 0:
                eng.inp[c][eng.R // 2] = 40.0       # one loud candidate
        want, accepted = scalar_search(eng)
        outcomes.add(accepted)
        got = eng.find_offset()
        if got != want:
            ok = False
            print('  search mismatch: trial %d got %d, expected %d' % (trial, got, want))
    results.check(ok, 'search equals the candidate-by-candidate search')
    results.check(outcomes == {True, False}, 'search trials cover both outcomes')


def selftest(results, quick=False):
    T = results.check
    rng = random.Random(11)

    T(splice.derived(44100, 0, 1.0) == (13230, 6615, 661, 661, 2, 25.0, 6615, 6615),
      '44100 Hz mode 0: F 13230, H 6615, X 661, R 661, S 2, T 25, A = K = 6615')
    T(splice.derived(22050, 15, 1.0)[4] == 4 and splice.derived(22050, 0, 1.0)[4] == 1,
      '22050 Hz: step 4 in mode 15, 1 in mode 0')
    T(splice.derived(44100, 0, 5.0)[6] == 1323 and splice.derived(44100, 0, 0.5)[6] == 13230,
      'input hop 1323 at 500 %, 13230 (= F) at 50 %')
    T([splice.accept_factor(t) for t in (2500, 10000, 1500, 1000, 2000)]
      == [25.0, 100.0, 15.0, 10.0, 20.0], 'acceptance factors 25, 100, 15, 10, 20')
    T(ref.ratio(ref.resolve_block(sets=[('FinalLength', 12500.0)])) == 1.25
      and ref.resolve_block(sets=[('FinalLength', 1000.0)])['FinalLength'] == 5000.0
      and ref.resolve_block(sets=[('FinalLength', 60000.0)])['FinalLength'] == 50000.0
      and ref.resolve_block(sets=[('InitialTempo', 70000)])['InitialTempo'] == 50000,
      'FinalLength and InitialTempo clamp')
    T(ref.resolve_block(preset='Time compress 85 % of original')['FinalLength'] == 8500.0
      and ref.preset_index('2') == 2, 'presets by name and index')

    # The worked stream lengths, from the arithmetic and from the model.
    sig = make_signal('pcm16', 1, 44100, rng, 44100)
    for length, want in ((10000.0, 44100), (20000.0, 83784), (5000.0, 24255)):
        sets = [('FinalLength', length)]
        T(ref.expected_frames(44100, 44100, sets=sets) == want
          and len(ref.run_host('pcm16', 1, 44100, sig, sets=sets)) == want,
          '44100 frames at 44100 Hz, %g %%: %d frames' % (length / 100, want))

    w = splice.build_window(400, 200, 24, False)
    T(w[0] == 0.0 and w[24:201] == [1.0] * 177 and w[224:] == [0.0] * 176
      and all(abs(w[k] + w[200 + k] - 1.0) < 1e-15 for k in range(25)),
      'window: ramps that sum to one, flat between, zero beyond')
    T(splice.build_window(50, 25, 1, True) == [1.0] * 50, 'no ramp when X <= 1')

    check_search(results, rng)

    # Lengths from the arithmetic against the model; silence stays silence.
    ok_len = ok_silence = True
    for trial in range(30 if quick else 60):
        fmt = ref.FORMAT_NAMES[trial % 5]
        nch = 1 + trial % 2
        rate = rng.choice((2000, 3000, 4000, 6000))
        mode = rng.randrange(19)
        length = rng.choice(LENGTHS)
        F = splice.derived(rate, mode, 1.0)[0]
        frames = rng.choice((0, 1, F // 2 - 1, F // 2, F - 1, F, F + 1, rng.randrange(4 * F)))
        sets = [('Mode', mode), ('FinalLength', length)]
        quiet = trial % 4 == 0
        sig = ([ref.silence_code(fmt)] * (frames * nch) if quiet
               else make_signal(fmt, nch, frames, rng, rate))
        out = ref.run_host(fmt, nch, rate, sig, sets=sets)
        want = ref.expected_frames(rate, frames, sets=sets)
        if len(out) != want * nch:
            ok_len = False
            print('  length mismatch: %s %d %d %r: %d, expected %d'
                  % (fmt, nch, rate, sets, len(out) // nch, want))
        if quiet and any(v != ref.silence_code(fmt) for v in out):
            ok_silence = False
    T(ok_len, 'model output lengths follow the frame count arithmetic')
    T(ok_silence, 'silence in, silence out')

    # Independent of the buffer sizes, both search outcomes exercised.
    ok = True
    counts = {'accepted': 0, 'searched': 0}
    for trial in range(6 if quick else 12):
        fmt = ref.FORMAT_NAMES[trial % 5]
        nch = 1 + trial % 2
        mode = (16, 18, 12, 7)[trial % 4]
        length = LENGTHS[(trial * 3) % len(LENGTHS)]
        sets = [('Mode', mode), ('FinalLength', length)]
        sig = make_signal(fmt, nch, frames_around(8000, mode, length, rng, 4), rng, 8000)
        stats = {}
        base = ref.run_host(fmt, nch, 8000, sig, sets=sets, stats=stats)
        for key in counts:
            counts[key] += stats[key]
        for b, o in ((1, 1), (1, 7), (5, 2), (333, 1), (64, 100000)):
            got = ref.run_host(fmt, nch, 8000, sig, sets=sets, buffer_frames=b, output_frames=o)
            if common.compare(fmt, nch, base, got) is not None:
                ok = False
                print('  buffers %d/%d change the output: %s %d %r' % (b, o, fmt, nch, sets))
    T(ok, 'model output independent of input and output buffer sizes')
    T(counts['accepted'] > 0 and counts['searched'] > 0,
      'test signals make the search both accept early and search all offsets (%r)'
      % counts)


# ---------------------------------------------------------------------------

def main(argv=None):
    opts = harness.parse_options(__doc__, argv, seed=20240811, procs=True)

    def check_mwfx(results, mwfx, tmpdir, rng):
        runner = harness.Runner(mwfx, tmpdir, EFFECT)
        cases = build_cases(opts.quick, rng)
        bgroups = buffer_groups(opts.quick, rng)
        agroups = alias_groups(rng)
        lengths = length_cases(opts.quick, rng)
        everything = cases + common.flatten(bgroups) + common.flatten(agroups) + lengths
        harness.run_cases(runner, everything, results, max(1, opts.jobs), ref,
                          procs=max(1, opts.procs), cost=model_cost, compare=common.compare)
        common.check_groups_equal(results, bgroups + agroups)
        common.check_lengths(results, lengths, 'output length')
        harness.check_errors(results, runner, make_signal('pcm16', 1, 100, rng, 8000), [
            ['--preset', '4'], ['--preset', '-1'], ['--preset', 'No such preset'],
            ['--set', 'Unknown=1'], ['--set', 'FinalLength=abc'], ['--set', 'FinalLength'],
            ['--set', 'Semitones=3'],
        ], missing_input=True)

    return harness.run_main(opts, EFFECT, lambda results: selftest(results, opts.quick),
                            check_mwfx)


if __name__ == '__main__':
    sys.exit(main())
