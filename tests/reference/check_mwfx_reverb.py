#!/usr/bin/env python3
"""Compare `mwfx process reverb` with the plain-Python Reverb model.

Usage:
  check_mwfx_reverb.py --selftest                 # the model alone
  check_mwfx_reverb.py --mwfx PATH [--quick]      # self-test, then mwfx checks

Each check prints one line when it fails; the last line is
`N passed, M failed` and the exit status is non-zero on any failure.

What is compared: the sample data of mwfx's output, byte for byte, against
the model (two NaNs of any payload count as equal; nothing else is
tolerated), and the output's format tag, bits, channels and rate against the
input's.  Cases cover the five sample formats, mono and stereo, rates from
8 kHz to 96 kHz, every preset by index and several by name, buffer sizes
from 1 frame up, and extreme or out-of-range settings.

Property checks that need no model are run through mwfx alone: output
independent of --buffer-frames; presets by name and by index alike; the
three rows holding the default block alike; tail lengths of whole seconds;
a pass-through setting that must return the input followed by silence;
the pre-delay as a pure shift of the comb output; the impulse responses of
the early reflections and of the first comb echoes, with their pans and the
split of the comb lines between the two channels; settings that the engine
must treat alike (indices beyond the tables, high-cut corners at or above
the rate, the bass corner while the bass cut is off).

The self-test checks the model against worked numbers (tail lengths,
pre-delay, line and tap lengths, filter coefficients, re-initialisation
rules) and against a second, frame-by-frame formulation with circular
buffers written separately below.
"""

import math
import os
import random
import struct
import sys

sys.dont_write_bytecode = True     # leave no __pycache__ beside the sources
HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import harness  # noqa: E402
import reverb_ref as ref  # noqa: E402
from harness import COMBOS, Case, same_output  # noqa: E402


# ---------------------------------------------------------------------------
# Test signals

def extremes(fmt):
    """Stored values at and around full scale, zeros and (in float) values
    around the 2^-32 flush limit and in the subnormal range."""
    if fmt == 'pcm32':
        return [ref.INT32_MIN, ref.INT32_MAX, 0, -1, 1, 2, -2,
                ref.INT32_MIN + 1, ref.INT32_MAX - 1]
    if fmt not in harness.FLOAT_FORMATS:
        return harness.pcm_extremes(fmt)
    vals = [-1.0, 1.0, 0.0, -0.0, 1.5, -2.75, 0.9999999403953552,
            2.0 ** -32, -(2.0 ** -32), 2.0 ** -33, 3e-10, -1e-10, 1e-40,
            -3e-39, 1.1754942e-38, 1e-300]
    if fmt == 'float32':
        return [ref.to_single(v) for v in vals]
    return vals + [5e-324, -5e-324, 2.2250738585072014e-308]


def noise_value(fmt, rng, scale=1.0):
    if fmt not in harness.FLOAT_FORMATS:
        return harness.pcm_noise(fmt, rng)
    v = rng.uniform(-1.0, 1.0) * scale
    if rng.random() < 0.1:
        v *= rng.choice((1.0001, 2.0, 3.5))              # above full scale
    return ref.to_single(v) if fmt == 'float32' else v


def make_signal(fmt, nch, frames, rng, scale=1.0):
    """Interleaved stored values: extremes, noise, a silent stretch, bursts.

    scale (float formats only) multiplies the noise, to keep a whole signal
    near the 2^-32 flush limit of the filter states."""
    ext = extremes(fmt)
    silence = ref.silence_code(fmt)
    out = []
    quiet_from = int(frames * 0.5)
    quiet_to = int(frames * 0.7)
    for n in range(frames):
        for c in range(nch):
            if n < len(ext) * 2:
                v = ext[(n + 3 * c) % len(ext)]
                if scale != 1.0 and fmt in ('float32', 'float64'):
                    v = noise_value(fmt, rng, scale)
            elif quiet_from <= n < quiet_to:
                v = silence
            else:
                r = rng.random()
                if r < 0.05 and scale == 1.0:
                    v = rng.choice(ext)
                elif r < 0.08 and scale == 1.0:
                    v = ext[0] if (n // 5) % 2 else ext[1]
                else:
                    v = noise_value(fmt, rng, scale)
            out.append(v)
    return out


def impulse(fmt, nch, frames, channel=0, value=None):
    sig = [ref.silence_code(fmt)] * (frames * nch)
    if value is None:
        value = {'pcm8': 0xFF, 'pcm16': 32767, 'pcm32': ref.INT32_MAX}.get(fmt, 1.0)
    sig[channel] = value
    return sig


# ---------------------------------------------------------------------------
# Running mwfx

def model_cost(case):
    """Sort key of the model runs, longest first: input and tail frames."""
    return -(len(case.samples) // case.nch
             + case.rate * math.trunc(ref.resolve_block(case.preset, case.sets)
                                      [ref.DECAY_TIME] * 0.1))


# ---------------------------------------------------------------------------
# Case lists

ALL_RATES = (8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000)


def secs(rate, s, lo=40):
    return max(lo, int(rate * s))


def build_cases(quick, rng):
    cases = []

    # Every format, channel count and rate.  Up to 22050 Hz (8000 Hz with
    # --quick) the defaults with two seconds of tail; above, other modes and
    # styles with a one-second tail on a third of the runs and none on the
    # others, so that the long runs stay short.
    rates = (8000, 22050, 44100, 96000) if quick else ALL_RATES
    for j, (fmt, nch) in enumerate(COMBOS):
        for k, rate in enumerate(rates):
            if rate <= (8000 if quick else 22050):
                sets = []
            else:
                tail = not quick and (j + k) % 3 == 0
                sets = [('DecayTime', (10 if tail else 5) + (j + k) % 5),
                        ('ReverbMode', (3 * j + k) % 19),
                        ('EarlyStyle', (j + 2 * k) % 10)]
            sig = make_signal(fmt, nch, secs(rate, 0.06), rng)
            cases.append(Case('matrix', fmt, nch, rate, sig, sets=sets))

    # Every preset by index, at 8000 Hz because of the long tails.
    for p in range(len(ref.PRESETS)):
        for j, (fmt, nch) in enumerate(COMBOS):
            if quick and (p + j) % 5:
                continue
            if not quick and (p + j) % 2:
                continue
            sig = make_signal(fmt, nch, 1200, rng)
            cases.append(Case('preset %d' % p, fmt, nch, 8000, sig, preset=p))

    # Presets by name, each on one combination.
    for p, row in enumerate(ref.PRESETS):
        if quick and p % 3:
            continue
        fmt, nch = COMBOS[(3 * p + 1) % len(COMBOS)]
        sig = make_signal(fmt, nch, 900, rng)
        cases.append(Case('preset name', fmt, nch, 8000, sig, preset=row[0]))

    # Extreme, boundary and out-of-range settings.  (sets, rate, seconds of
    # input); a one-second decay unless the setting names DecayTime.
    extreme = [
        ([('DecayTime', 5)], 8000, 0.3),
        ([('DecayTime', 9)], 44100, 0.05),
        ([('DecayTime', 50)], 8000, 0.1),
        ([('DecayTime', 0)], 8000, 0.2),              # clamped to 5
        ([('DecayTime', 1000)], 8000, 0.05),          # clamped to 50
        ([('PreDelay', 0)], 44100, 0.03),
        ([('PreDelay', 1)], 44100, 0.03),
        ([('PreDelay', 200)], 8000, 0.3),
        ([('PreDelay', -5)], 8000, 0.1),              # clamped to 0
        ([('PreDelay', 900)], 8000, 0.1),             # clamped to 200
        ([('ReverbMode', 19)], 8000, 0.1),
        ([('ReverbMode', 25)], 8000, 0.1),
        ([('ReverbMode', -3)], 8000, 0.1),
        ([('ReverbMode', 2147483647)], 8000, 0.1),
        ([('ReverbMode', -2147483648)], 8000, 0.1),
        ([('EarlyStyle', 10)], 8000, 0.1),
        ([('EarlyStyle', -1)], 8000, 0.1),
        ([('EarlyStyle', 1000)], 8000, 0.1),
        ([('ReverbMode', 6)], 8000, 0.2),             # the 3901.707 ms line
        ([('ReverbMode', 6), ('DecayTime', 50)], 8000, 0.1),
        ([('ReverbMode', 17), ('EarlyStyle', 0)], 8000, 0.1),
        ([('HighCutoff', 3999)], 8000, 0.2),          # just below half the rate
        ([('HighCutoff', 4000)], 8000, 0.2),          # half the rate
        ([('HighCutoff', 4001)], 8000, 0.2),
        ([('HighCutoff', 7999)], 8000, 0.2),
        ([('HighCutoff', 8000)], 8000, 0.2),          # at the rate: no filter
        ([('HighCutoff', 15000)], 22050, 0.05),       # above half, below the rate
        ([('HighCutoff', 11025)], 22050, 0.05),
        ([('HighCutoff', 100)], 8000, 0.2),
        ([('HighCutoff', 20)], 8000, 0.1),            # clamped to 100
        ([('HighCutoff', 99999)], 16000, 0.05),       # clamped to 15000
        ([('AttenuateHighs', 0)], 8000, 0.2),
        ([('AttenuateHighs', 5)], 8000, 0.1),         # clamped to 1
        ([('AttenuateBass', 0)], 8000, 0.2),
        ([('AttenuateBass', -2)], 8000, 0.1),         # clamped to 0
        ([('BassCutoff', 10)], 8000, 0.2),
        ([('BassCutoff', 10)], 96000, 0.02),          # f limited to 0.0004
        ([('BassCutoff', 5000)], 8000, 0.2),          # f limited to 0.49
        ([('BassCutoff', 499)], 44100, 0.03),         # below 500/44100
        ([('BassCutoff', 500)], 44100, 0.03),         # at 500/44100
        ([('BassCutoff', 1)], 8000, 0.1),             # clamped to 10
        ([('BassCutoff', 6000)], 8000, 0.1),          # clamped to 5000
        ([('DryOut', -800)], 8000, 0.2),
        ([('DryOut', 30)], 8000, 0.1),                # clamped to 0
        ([('DryOut', -799)], 8000, 0.1),
        ([('ReverbOut', 0)], 8000, 0.2),
        ([('ReverbOut', -800)], 8000, 0.2),
        ([('ReverbOut', -5000)], 8000, 0.1),          # clamped to -800
        ([('EarlyOut', 0)], 8000, 0.2),
        ([('EarlyOut', -800)], 8000, 0.2),
        ([('EarlyOut', -799)], 8000, 0.2),
        ([('EarlyOut', -150)], 8000, 0.2),            # 10^-0.75 * 0.01
        ([('EarlyOut', -555)], 11025, 0.1),
        ([('ReverbOut', 0), ('EarlyOut', 0), ('DryOut', 0), ('DecayTime', 50),
          ('AttenuateHighs', 0), ('AttenuateBass', 0), ('ReverbMode', 17)],
         8000, 0.1),
        ([('ReverbOut', 0), ('AttenuateHighs', 1), ('HighCutoff', 100),
          ('AttenuateBass', 1), ('BassCutoff', 5000)], 11025, 0.1),
    ]
    for k, (sets, rate, s) in enumerate(extreme):
        if not any(f == 'DecayTime' for f, _ in sets):
            # every other setting (every fourth with --quick) with a
            # one-second tail, the rest without
            tail = k % 4 == 1 if quick else k % 2 == 1
            sets = [('DecayTime', 10 if tail else 5 + k % 5)] + sets
        share = 2 if quick else 3
        if quick and dict(sets)['DecayTime'] > 20:
            share = 1                   # five-second tails: one run is enough
        for j, (fmt, nch) in enumerate(COMBOS):
            # every setting on a rotating share of the combinations
            if (j - 3 * k) % len(COMBOS) >= share:
                continue
            sig = make_signal(fmt, nch, secs(rate, s), rng)
            cases.append(Case('extreme', fmt, nch, rate, sig, sets=sets))

    # Float signals near the 2^-32 flush limit of the filter states, with
    # and without the bass cut and the high cut.
    for k, sets in enumerate(([], [('AttenuateBass', 0)],
                              [('AttenuateHighs', 0)],
                              [('AttenuateHighs', 0), ('AttenuateBass', 0)],
                              [('BassCutoff', 2000), ('HighCutoff', 500)])):
        for fmt in ('float32', 'float64'):
            for nch in (1, 2):
                if quick and (k + nch) % 2:
                    continue
                sig = make_signal(fmt, nch, 1500, rng,
                                  scale=rng.choice((1e-9, 3e-10, 1e-10)))
                cases.append(Case('flush range', fmt, nch, 8000, sig,
                                  sets=[('DecayTime', 10)] + sets))

    # Infinite and huge float input: NaN results compare equal to any NaN.
    for fmt in ('float32', 'float64'):
        for nch in (1, 2):
            big = ref.to_single(1e38) if fmt == 'float32' else 1e300
            sig = make_signal(fmt, nch, 600, rng)
            sig[100 * nch] = big
            sig[200 * nch + nch - 1] = -big
            sig2 = list(sig)
            sig2[300 * nch] = math.inf
            sig2[301 * nch + nch - 1] = -math.inf
            for s, label in ((sig, 'huge input'), (sig2, 'infinite input')):
                cases.append(Case(label, fmt, nch, 8000, s,
                                  sets=[('DecayTime', 5)]))

    # Very short inputs: nothing, one frame, three frames.
    for j, (fmt, nch) in enumerate(COMBOS):
        for frames in (0, 1, 3):
            if quick and (j + frames) % 2:
                continue
            sig = make_signal(fmt, nch, frames, rng) if frames else []
            cases.append(Case('short input', fmt, nch, 8000, sig,
                              sets=[('DecayTime', 10 + frames)]))

    # A preset followed by --set writes: the writes win.
    for fmt, nch in COMBOS[::3]:
        sig = make_signal(fmt, nch, 800, rng)
        cases.append(Case('preset then set', fmt, nch, 8000, sig, preset=8,
                          sets=[('DecayTime', 12), ('ReverbMode', 3)]))

    # Random settings, rates, lengths and buffer sizes, in and out of range.
    for k in range(12 if quick else 40):
        fmt, nch = COMBOS[k % len(COMBOS)]
        rate = rng.choice(ALL_RATES[:4] + (rng.randrange(8000, 50000),))
        sets = []
        pick = rng.random
        if pick() < 0.5:
            sets.append(('DryOut', rng.randrange(-900, 50)))
        if pick() < 0.5:
            sets.append(('ReverbOut', rng.randrange(-900, 50)))
        if pick() < 0.5:
            sets.append(('EarlyOut', rng.randrange(-900, 50)))
        if pick() < 0.7:
            sets.append(('ReverbMode', rng.randrange(-2, 22)))
        if pick() < 0.7:
            sets.append(('EarlyStyle', rng.randrange(-2, 12)))
        sets.append(('DecayTime', rng.randrange(3, 20)))
        if pick() < 0.6:
            sets.append(('PreDelay', rng.randrange(-5, 210)))
        if pick() < 0.5:
            sets.append(('AttenuateBass', rng.randrange(-1, 3)))
        if pick() < 0.5:
            sets.append(('BassCutoff', rng.randrange(0, 5100)))
        if pick() < 0.5:
            sets.append(('AttenuateHighs', rng.randrange(-1, 3)))
        if pick() < 0.6:
            sets.append(('HighCutoff', rng.randrange(50, 16000)))
        preset = rng.choice((None, None, rng.randrange(len(ref.PRESETS))))
        sig = make_signal(fmt, nch, rng.randrange(0, 3000), rng)
        n = rng.choice((None, rng.randrange(1, 64), rng.randrange(64, 5000)))
        rng.shuffle(sets)
        sets = [s for s in sets if s[0] != 'DecayTime'] + \
            [s for s in sets if s[0] == 'DecayTime']
        cases.append(Case('random', fmt, nch, rate, sig, preset=preset,
                          sets=sets, buffer_frames=n))
    return cases


def buffer_groups(quick, rng):
    """Groups of cases differing only in --buffer-frames; the first of each
    group is also compared with the model, the others with the first."""
    groups = []
    # 8000 Hz with a one-second decay: a tail of 8000 frames; sizes that
    # divide it end the tail with a full buffer.
    sizes = [None, 1, 7, 4096, 8000, 4000, 1000, 999, 1001, 3, 64, 12000]
    if quick:
        sizes = sizes[:6]
    for fi, fmt in enumerate(ref.FORMAT_NAMES):
        for nch in (1, 2):
            if quick and (fi + nch) % 2:
                continue
            sig = make_signal(fmt, nch, 1300, rng)
            sets = [('DecayTime', 10), ('ReverbMode', (fi * 4 + nch) % 19)]
            # the model runs the default size, and 1 or 7 frames in turn
            model_sizes = (None, 1 + 6 * ((fi + nch) % 2))
            groups.append([Case('buffer frames', fmt, nch, 8000, sig, sets=sets,
                                buffer_frames=n, modelled=n in model_sizes)
                           for n in sizes])
    # No tail at all: DecayTime 7.
    sig = make_signal('pcm16', 2, 900, rng)
    groups.append([Case('buffer frames', 'pcm16', 2, 11025, sig,
                        sets=[('DecayTime', 7)], buffer_frames=n,
                        modelled=(n in (None, 1)))
                   for n in (None, 1, 2, 900, 899, 901)])
    return groups


def alias_groups(rng):
    """Groups of runs whose outputs must be identical."""
    groups = []
    # The three rows holding the default block, and no preset at all.
    for fmt, nch in (('pcm16', 2), ('float64', 1)):
        sig = make_signal(fmt, nch, 500, rng)
        groups.append([Case('alias', fmt, nch, 8000, sig, modelled=False,
                            preset=p) for p in (None, 0, 1, 2, 'Bright hall',
                                                '(Default)')])
    # Presets by index and by name.
    for p, row in enumerate(ref.PRESETS[3:], 3):
        fmt, nch = COMBOS[p % len(COMBOS)]
        sig = make_signal(fmt, nch, 300, rng)
        groups.append([Case('alias', fmt, nch, 8000, sig, modelled=False,
                            preset=p, sets=[('DecayTime', 5)]),
                       Case('alias', fmt, nch, 8000, sig, modelled=False,
                            preset=row[0], sets=[('DecayTime', 5)])])
    base = [('DecayTime', 10)]
    same = [
        # indices beyond the tables use the first or last row
        ([('ReverbMode', 18)], [('ReverbMode', 19)], [('ReverbMode', 400)]),
        ([('ReverbMode', 0)], [('ReverbMode', -1)], [('ReverbMode', -99)]),
        ([('EarlyStyle', 9)], [('EarlyStyle', 10)], [('EarlyStyle', 77)]),
        ([('EarlyStyle', 0)], [('EarlyStyle', -1)]),
        # a high-cut corner at or above the rate filters nothing
        ([('AttenuateHighs', 0)], [('HighCutoff', 8000)],
         [('HighCutoff', 12000)]),
        # the bass corner is not used while the bass cut is off
        ([('AttenuateBass', 0)], [('AttenuateBass', 0), ('BassCutoff', 5000)],
         [('AttenuateBass', 0), ('BassCutoff', 10)]),
    ]
    for k, variants in enumerate(same):
        for fmt, nch in (COMBOS[k % 10], COMBOS[(k + 5) % 10]):
            sig = make_signal(fmt, nch, 600, rng)
            groups.append([Case('same setting', fmt, nch, 8000, sig,
                                modelled=False, sets=base + list(v))
                           for v in variants])
    return groups


def differ_groups(rng):
    """Pairs of runs that must differ (guards against a setting ignored)."""
    pairs = []
    for sets_a, sets_b, rate in (
            ([('HighCutoff', 15000)], [('AttenuateHighs', 0)], 22050),
            ([('HighCutoff', 7999)], [('AttenuateHighs', 0)], 8000),
            ([('EarlyOut', -799)], [('EarlyOut', -800)], 8000),
            ([('ReverbMode', 17)], [('ReverbMode', 18)], 8000),
            ([('EarlyStyle', 8)], [('EarlyStyle', 9)], 8000),
            ([('BassCutoff', 499)], [('BassCutoff', 500)], 44100)):
        # no pre-delay and an input longer than the shortest lines, so that
        # the comb bank is heard within the input
        sig = make_signal('float64', 2, rate // 10, rng)
        base = [('DecayTime', 5), ('PreDelay', 0)]
        pairs.append([Case('differ', 'float64', 2, rate, sig, modelled=False,
                           sets=base + sets_a),
                      Case('differ', 'float64', 2, rate, sig, modelled=False,
                           sets=base + sets_b)])
    return pairs


def tail_cases(rng):
    """The tail lasts trunc(DecayTime / 10) whole seconds of frames."""
    cases = []
    for k, (decay, rate) in enumerate(((5, 44100), (6, 8000), (9, 96000),
                                       (10, 8000), (19, 11025), (25, 8000),
                                       (25, 22050), (30, 8000), (50, 8000))):
        fmt, nch = COMBOS[k % 10]
        frames = 333 + k
        c = Case('tail length', fmt, nch, rate, make_signal(fmt, nch, frames, rng),
                 sets=[('DecayTime', decay), ('EarlyStyle', k)], modelled=False,
                 buffer_frames=(None, 1000, 4410)[k % 3])
        c.expected_frames = frames + (decay // 10) * rate
        cases.append(c)
    return cases


def passthrough_cases(rng):
    """No reverb, no early reflections, dry at 0 dB: the input comes back
    unchanged, then the tail is silence."""
    cases = []
    for k, (fmt, nch) in enumerate(COMBOS):
        sig = make_signal(fmt, nch, 700, rng)
        decay = (5, 12, 25)[k % 3]
        c = Case('pass-through', fmt, nch, 8000, sig, modelled=False,
                 sets=[('ReverbOut', -800), ('EarlyOut', -800), ('DryOut', 0),
                       ('DecayTime', decay)])
        c.property_expected = list(sig) + \
            [ref.silence_code(fmt)] * ((decay // 10) * 8000 * nch)
        cases.append(c)
    return cases


def predelay_groups(rng):
    """With only the comb bank heard, PreDelay p delays the whole output of
    PreDelay 0 by trunc(p * rate * 0.001) - 1 frames (at least 1 slot)."""
    groups = []
    for k, (p, rate) in enumerate(((1, 44100), (200, 8000), (37, 11025),
                                   (2, 8000), (1, 8000))):
        fmt, nch = COMBOS[(2 * k + 1) % 10]
        sig = make_signal(fmt, nch, 400, rng)
        sets = [('DryOut', -800), ('EarlyOut', -800), ('ReverbOut', 0),
                ('DecayTime', 10)]
        g = [Case('pre-delay', fmt, nch, rate, sig, modelled=False,
                  sets=sets + [('PreDelay', 0)]),
             Case('pre-delay', fmt, nch, rate, sig, modelled=False,
                  sets=sets + [('PreDelay', p)])]
        g[1].shift = max(1, int(p * (rate * 0.001))) - 1
        groups.append(g)
    return groups


def early_impulse_cases():
    """Early reflections alone, float64 impulse of 1.0: spikes at the three
    tap delays L_k = trunc((t_k + offset_k) * rate * 0.001) with the tap
    gains times 0.01; in stereo panned, and fed by either channel."""
    cases = []
    for k, (style, rate, nch, ch) in enumerate((
            (3, 44100, 1, 0), (0, 8000, 1, 0), (9, 48000, 1, 0),
            (0, 8000, 2, 0), (1, 11025, 2, 1), (6, 22050, 2, 0),
            (9, 8000, 2, 1), (2, 16000, 2, 0), (5, 44100, 2, 1))):
        _n, times, gains, pans = ref.EARLY_STYLES[style]
        ms = rate * 0.001
        L = [int((t + o) * ms) for t, o in zip(times, (0.051, 0.151, 0.078))]
        frames = max(L) + 20
        expected = [0.0] * (frames * nch)
        for Lk, g, p in zip(L, gains, pans):
            if nch == 1:
                expected[Lk] += g * 0.01
            else:
                x = (p + 100) * 0.005
                expected[Lk * 2] += (1 - x) * g * 0.01
                expected[Lk * 2 + 1] += x * g * 0.01
        c = Case('early impulse', 'float64', nch, rate,
                 impulse('float64', nch, frames, ch), modelled=False,
                 sets=[('DryOut', -800), ('ReverbOut', -800), ('EarlyOut', 0),
                       ('EarlyStyle', style), ('DecayTime', 5)])
        c.property_expected = expected
        cases.append(c)
    return cases


def comb_impulse_cases():
    """Comb bank alone at 0 dB without filters or pre-delay, float64 impulse:
    before the second round trip the output holds one spike per line at
    D_i = trunc(rate * d_i + 0.5) of height G_i = 10^(-3 d_i / T) times the
    line input (the impulse, halved in stereo).  In stereo the mode's lines
    0 and 1 sound only on the left, the extra lines (0.93 and 1.06 times the
    first two delays) only on the right."""
    cases = []
    for k, (mode, rate, nch, decay) in enumerate((
            (0, 44100, 1, 25), (17, 8000, 1, 10), (9, 22050, 1, 50),
            (0, 44100, 2, 25), (18, 8000, 2, 10), (3, 16000, 2, 30),
            (12, 11025, 2, 20))):
        delays = ref.MODES[mode][1]
        T = decay * 0.1
        lines = []          # (D, G, channels it reaches)
        for i, ms in enumerate(delays):
            d = ms * 0.001
            chans = (0, 1) if nch == 2 and i >= 2 else (0,)
            lines.append((int(rate * d + 0.5), ref.pow10(-3 * d / T), chans))
        if nch == 2:
            for ms, ch in ((delays[0] * 0.93, 1), (delays[1] * 1.06, 1)):
                d = ms * 0.001
                lines.append((int(rate * d + 0.5), ref.pow10(-3 * d / T), (ch,)))
        horizon = 2 * min(D for D, _g, _c in lines)
        frames = horizon
        x = 1.0 if nch == 1 else 0.5
        expected = [0.0] * (frames * nch)
        for D, G, chans in lines:
            if D < frames:
                for ch in chans:
                    expected[D * nch + ch] += G * x
        c = Case('comb impulse', 'float64', nch, rate,
                 impulse('float64', nch, frames, k % nch), modelled=False,
                 sets=[('DryOut', -800), ('EarlyOut', -800), ('ReverbOut', 0),
                       ('PreDelay', 0), ('AttenuateHighs', 0),
                       ('AttenuateBass', 0), ('ReverbMode', mode),
                       ('DecayTime', decay)])
        # the tail that follows is not part of the property
        c.property_expected = expected + [None] * (rate * (decay // 10) * nch)
        cases.append(c)
    return cases


# ---------------------------------------------------------------------------
# mwfx-only property checks

def format_channels_rate(case):
    return '[%s %dch %dHz]' % (case.fmt, case.nch, case.rate)


def check_groups_differ(results, groups, label):
    for a, b in groups:
        if a.actual is None or b.actual is None:
            continue
        results.check(a.actual != b.actual, '%s: %s vs %s [%dHz]' % (
            label, ' '.join(a.args()), ' '.join(b.args()), a.rate),
            'outputs are identical')


def check_tail_lengths(results, cases):
    for c in cases:
        if c.actual is None:
            continue
        got = len(c.actual) // c.nch
        results.check(got == c.expected_frames,
                      'tail length [%s %dch %dHz %s]' % (c.fmt, c.nch, c.rate,
                                                         ' '.join(c.args())),
                      '%d frames, expected %d' % (got, c.expected_frames))


def check_shift(results, groups):
    for base, moved in groups:
        if base.actual is None or moved.actual is None:
            continue
        nch = base.nch
        s = moved.shift * nch
        silence = ref.silence_code(base.fmt)
        want = [silence] * s + base.actual[:len(base.actual) - s]
        name = 'pre-delay shift of %d frames [%s %dch %dHz %s]' % (
            moved.shift, base.fmt, nch, base.rate, ' '.join(moved.args()))
        harness.expect_output(results, name, base.fmt, nch, want, moved.actual)


# ---------------------------------------------------------------------------
# Self-test: a second formulation, frame by frame with circular buffers

class CircularReverb:
    """The reverb written frame by frame with circular buffers, positions
    and the early line's read positions, for comparison with the model's
    buffer-wise formulation.  Parameters are applied once, in full."""

    def __init__(self, nch, rate, block):
        self.nch = nch
        B = dict(zip(ref.FIELDS, block))
        mode = min(max(B['ReverbMode'], 0), 18)
        style = min(max(B['EarlyStyle'], 0), 9)
        db = lambda v: 0.0 if v <= -800 else ref.pow10(v * 0.005)  # noqa: E731
        self.dry = db(B['DryOut'])
        self.rev = db(B['ReverbOut'])
        self.er = 0.0 if B['EarlyOut'] <= -800 else ref.pow10(B['EarlyOut'] * 0.005) * 0.01
        T = B['DecayTime'] * 0.1
        self.tail = int(T) * rate
        ms = rate * 0.001
        delays = list(ref.MODES[mode][1])
        self.N = len(delays)
        if nch == 2:
            delays += [delays[0] * 0.93, delays[1] * 1.06]
        self.bufs, self.pos, self.st, self.G = [], [], [], []
        for dm in delays:
            d = dm * 0.001
            self.bufs.append([0.0] * int(rate * d + 0.5))
            self.pos.append(0)
            self.st.append(0.0)
            self.G.append(ref.pow10(-3 * d / T))
        P = max(1, int(B['PreDelay'] * ms))
        self.pre = [[0.0] * P for _ in range(nch)]
        self.pre_pos = 0
        _n, times, gains, pans = ref.EARLY_STYLES[style]
        taps = []
        for t, o, g, p in zip(times, (0.051, 0.151, 0.078), gains, pans):
            Lk = int((t + o) * ms)
            if nch == 1:
                taps.append((Lk, float(g), 0.0))
            else:
                x = (p + 100) * 0.005
                taps.append((Lk, (1 - x) * g, x * g))
        if taps[0][0] > taps[1][0]:
            taps[0], taps[1] = taps[1], taps[0]
        if taps[1][0] > taps[2][0]:
            taps[1], taps[2] = taps[2], taps[1]
        self.taps = taps
        Ter = taps[2][0]
        self.early = [[0.0] * Ter for _ in range(nch)]
        self.w = 0
        self.rd = [Ter - taps[0][0], Ter - taps[1][0]]
        if B['AttenuateHighs'] and B['HighCutoff'] < rate:
            self.a = ref.exp(-12.56637061436 * B['HighCutoff'] / rate)
        else:
            self.a = 0.0
        self.b = 1.0 - self.a
        self.hs = 0.0
        self.bass = bool(B['AttenuateBass'])
        if self.bass:
            x = B['BassCutoff'] / rate
            f = x * 0.45454545454545453 if x < 500 / 44100 else x * 0.30303030303030304
            f = min(max(f, 0.0004), 0.49)
            r = ref.exp(-math.pi * f / 0.1)
            self.c1 = 2 * r * ref.cos(2 * math.pi * f)
            self.c2 = ref.exp(-2 * math.pi * f / 0.1)
            self.g = 1 - self.c1 + self.c2
        self.s1 = self.s2 = 0.0

    @staticmethod
    def _flush(v):
        return 0.0 if abs(v) < 2.0 ** -32 else v

    def _comb(self, i, h, flush):
        buf = self.bufs[i]
        p = self.pos[i]
        y = buf[p]
        s = self.b * y + self.a * self.st[i]
        if flush:
            s = self._flush(s)
        self.st[i] = s
        buf[p] = (s + h) * self.G[i]
        self.pos[i] = (p + 1) % len(buf)
        return y

    def frame(self, us):
        nch = self.nch
        if nch == 1:
            h = self.b * us[0] + self.a * self.hs
        else:
            h = self.b * (us[0] + us[1]) * 0.5 + self.a * self.hs
        h = self._flush(h)
        self.hs = h
        if self.bass:
            y = self._flush(self.g * h + self.c1 * self.s1 - self.c2 * self.s2)
            self.s2, self.s1 = self.s1, y
            h = h - y
        if nch == 1:
            sums = [0.0]
            for i in range(self.N):
                sums[0] += self._comb(i, h, False)
        else:
            S = 0.0
            for i in range(2, self.N):
                S += self._comb(i, h, False)
            left = S + self._comb(0, h, True)
            left += self._comb(1, h, True)
            right = S + self._comb(self.N, h, True)
            right += self._comb(self.N + 1, h, True)
            sums = [left, right]
        P = len(self.pre[0])
        rs = []
        for c in range(nch):
            self.pre[c][self.pre_pos] = sums[c]
        self.pre_pos = (self.pre_pos + 1) % P
        for c in range(nch):
            rs.append(self.pre[c][self.pre_pos])
        Ter = len(self.early[0])
        vals = []
        for c in range(nch):
            line = self.early[c]
            vals.append((line[self.rd[0]], line[self.rd[1]], line[self.w]))
        outs = []
        if nch == 1:
            v = vals[0]
            e = (v[0] * self.taps[0][1] + v[1] * self.taps[1][1]
                 + v[2] * self.taps[2][1]) * self.er
            outs.append(e + rs[0] * self.rev + us[0] * self.dry)
        else:
            v = [vals[0][k] + vals[1][k] for k in range(3)]
            for c in range(2):
                e = 0.0
                for k in range(3):
                    term = self.taps[k][1 + c] * v[k] * self.er
                    e = term if k == 0 else e + term
                outs.append(e + rs[c] * self.rev + us[c] * self.dry)
        for c in range(nch):
            self.early[c][self.w] = us[c]
        self.w = (self.w + 1) % Ter
        self.rd = [(r + 1) % Ter for r in self.rd]
        return outs


def circular_output(fmt, nch, rate, samples, block):
    eng = CircularReverb(nch, rate, block)
    dec = ref.DECODERS[fmt]
    enc = ref.ENCODERS[fmt]
    frames = len(samples) // nch
    out = []
    total = frames + (eng.tail if frames else 0)
    for n in range(total):
        if n < frames:
            us = [dec(samples[n * nch + c]) for c in range(nch)]
        else:
            us = [0.0] * nch
        out.extend(enc(y) for y in eng.frame(us))
    return out


def ulp_distance(a, b):
    ia = struct.unpack('<q', struct.pack('<d', a))[0]
    ib = struct.unpack('<q', struct.pack('<d', b))[0]
    return abs(ia - ib)


def selftest(results, quick=False):
    T = results.check

    # Conversions (shared with the Simple Delay model; a few spot checks).
    T(ref.decode_pcm8(0x80) == 0.0 and ref.decode_pcm8(0x00) == -1.0
      and ref.decode_pcm8(0xFF) == 0.9921875, 'pcm8 decodes')
    T(ref.encode_pcm8(1.0) == 0xFF and ref.encode_pcm8(-1.0) == 0x00,
      'pcm8 encodes full scale')
    T(ref.encode_pcm16(0.99999) == 32767 and ref.encode_pcm16(-0.5 / 32768) == 0,
      'pcm16 truncates toward zero')
    T(ref.encode_pcm32(1.0) == 2147483647
      and ref.encode_pcm32(-2147483649 / 2147483648) == -2147483648, 'pcm32 clips')

    # Correctly rounded functions.
    T(ref.pow10(-1.0) == 0.1 and ref.pow10(0.0) == 1.0 and ref.pow10(-2.0) == 0.01
      and ref.pow10(-4.0) == 0.0001, 'pow10 of whole numbers is exact')
    T(ref.exp(0.0) == 1.0 and ref.exp(1.0) == 2.718281828459045, 'exp(0), exp(1)')
    T(ref.cos(0.0) == 1.0 and ref.cos(math.pi) == -1.0
      and ref.cos(math.pi / 2) == 6.123233995736766e-17, 'cos(0), cos(pi), cos(pi/2)')
    T(ref.pow10(0.5) == 3.1622776601683795 and ref.exp(-1.0) == 0.36787944117144233,
      'pow10(0.5), exp(-1)')
    rng = random.Random(3)
    far = 0
    same = 0
    trials = 300 if quick else 1500
    for _ in range(trials):
        y = rng.uniform(-25.0, 0.5)
        x = rng.uniform(-40.0, 1.0)
        z = rng.uniform(0.0, 3.2)
        for mine, lib in ((ref.pow10(y), 10.0 ** y), (ref.exp(x), math.exp(x)),
                          (ref.cos(z), math.cos(z))):
            dist = ulp_distance(mine, lib)
            far += dist > 1
            same += dist == 0
    T(far == 0, 'pow10, exp and cos within one unit in the last place of the '
      'C library', '%d values further away' % far)
    T(same >= 0.97 * 3 * trials, 'pow10, exp and cos mostly equal to the C library',
      '%d of %d equal' % (same, 3 * trials))
    # A correctly rounded result lies within half an ulp: check against a
    # wider evaluation for a few values.
    import decimal
    ctx = decimal.Context(prec=120)
    ok = True
    for _ in range(40):
        x = rng.uniform(-30.0, 0.0)
        exact = ctx.exp(decimal.Decimal(x))
        got = decimal.Decimal(ref.exp(x))
        nxt = decimal.Decimal(math.nextafter(ref.exp(x), math.inf))
        if abs(exact - got) * 2 > (nxt - got):
            ok = False
    T(ok, 'exp within half an ulp of a 120-digit evaluation')

    # Constants written out as decimal literals.
    T(ref.BASS_SPLIT == 500 / 44100, 'bass split 0.011337868480725623 is 500/44100')
    T(ref.BASS_BELOW == 1 / 2.2 and ref.BASS_ABOVE == 1 / 3.3, 'bass factors 1/2.2, 1/3.3')
    T(abs(ref.FOUR_PI - 4 * math.pi) < 1e-10 and ref.FOUR_PI != 4 * math.pi,
      '4 pi written as 12.56637061436')

    # Tables.
    T(len(ref.MODES) == 19 and len(ref.EARLY_STYLES) == 10 and len(ref.PRESETS) == 13,
      '19 modes, 10 early styles, 13 presets')
    T([len(m[1]) for m in ref.MODES] == [10, 8, 10, 10, 10, 10, 10, 9, 10, 10, 10,
                                         10, 10, 10, 10, 9, 9, 10, 10],
      'line counts of the modes')
    T(ref.MODES[6][1][6] == 3901.707, 'mode 6 line 6 is 3901.707 ms')
    T(ref.PRESETS[0][1:] == ref.PRESETS[1][1:] == ref.PRESETS[2][1:]
      and ref.PRESETS[0][0] == '(Default)' and ref.PRESETS[12][0] == 'Very long hall',
      'rows 0 to 2 hold the default block')
    T(ref.resolve_block(preset=3) == [0, -240, -200, 8, 5, 30, 70, 1, 20, 1, 7000],
      'preset 3 (Cathedral) block')
    T(ref.resolve_block(preset='Metal tank') == [0, -160, -200, 18, 5, 25, 10, 1,
                                                 400, 1, 3000], 'preset by name')
    T(ref.resolve_block(sets=[('DryOut', 5), ('ReverbOut', -900), ('EarlyOut', 1),
                              ('ReverbMode', 25), ('EarlyStyle', -4),
                              ('DecayTime', 0), ('PreDelay', 300),
                              ('AttenuateBass', 7), ('BassCutoff', 1),
                              ('AttenuateHighs', -1), ('HighCutoff', 99999)])
      == [0, -800, 0, 25, -4, 5, 200, 1, 10, 0, 15000],
      'setters clamp every field but the two indices')
    eng = ref.ReverbEngine()
    T(eng.set_parameters([1, 0, 0, 30, 0, 51, 0, 0, 10, 0, 100]) is False
      and eng.block == [0, 0, 0, 30, 0, 50, 0, 0, 10, 0, 100],
      'whole-block write clamps, keeps the mode index, reports the clamp')
    T(eng.set_parameters(list(ref.PRESETS[4][1:])) is True and eng.changed
      and eng.reinit, 'whole-block write sets changed and re-initialise')

    # Levels.
    T(ref.level(0) == 1.0 and ref.level(-800) == 0.0 and ref.early_level(-800) == 0.0,
      'level 0 dB is 1, -800 silent')
    T(ref.early_level(0) == 0.01 and ref.early_level(-200) == 0.1 * 0.01,
      'early level carries the factor 0.01')

    def derived(nch, rate, **fields):
        """Working values of an engine set up for the given fields."""
        eng = ref.ReverbEngine()
        eng.set_parameters(ref.resolve_block(sets=list(fields.items())))
        eng.set_format(nch, rate)
        return {'lines': [(ln.length, ln.gain) for ln in eng.lines],
                'pre_delay': eng.pre[0].length + 1,
                'taps': [tuple(t) for t in eng.taps],
                'a': eng.a,
                'bass': eng.bass if eng.bass_on else None}

    # Worked numbers: tail lengths.
    for decay in range(5, 10):
        out = ref.run_host('pcm16', 1, 8000, [100] * 37, sets=[('DecayTime', decay)])
        T(len(out) == 37, 'DecayTime %d: no tail' % decay)
    st = {}
    out = ref.run_host('pcm16', 2, 8000, [5] * 74, sets=[('DecayTime', 25)], stats=st)
    T(len(out) == 2 * (37 + 16000) and st['tail_frames'] == 16000,
      'DecayTime 25: exactly two seconds of tail')
    out = ref.run_host('pcm8', 1, 11025, [128] * 5, sets=[('DecayTime', 30)])
    T(len(out) == 5 + 3 * 11025, 'DecayTime 30: three seconds (3.0000000000000004 s)')
    ref.run_host('pcm16', 1, 8000, [5] * 10, sets=[('DecayTime', 20)],
                 buffer_frames=4000, stats=st)
    T(st['tail_buffers'] == 4, 'tail of 16000 frames in buffers of 4000: four buffers')
    ref.run_host('pcm16', 1, 8000, [5] * 10, sets=[('DecayTime', 20)],
                 buffer_frames=3999, stats=st)
    T(st['tail_buffers'] == 5, 'tail of 16000 frames in buffers of 3999: five buffers')
    ref.run_host('pcm16', 1, 8000, [5] * 10, sets=[('DecayTime', 8)], stats=st)
    T(st['tail_buffers'] == 1 and st['tail_frames'] == 0,
      'no tail: one empty tail buffer ends it')
    T(ref.run_host('pcm16', 2, 8000, [], stats=st) == [] and st['tail_buffers'] == 0,
      'no input: no tail')

    # Worked numbers: pre-delay.
    T(derived(1, 44100, PreDelay=0)['pre_delay'] == 1
      and derived(1, 44100, PreDelay=1)['pre_delay'] == 44,
      'PreDelay 0 gives P = 1, 1 ms at 44100 Hz P = 44')
    comb_only = [('DryOut', -800), ('EarlyOut', -800), ('ReverbOut', 0),
                 ('DecayTime', 5)]
    sig = [0.0] * 2000
    sig[0] = 1.0
    a0 = ref.run_host('float64', 1, 44100, sig, sets=comb_only + [('PreDelay', 0)])
    a1 = ref.run_host('float64', 1, 44100, sig, sets=comb_only + [('PreDelay', 1)])
    T(a1 == [0.0] * 43 + a0[:-43] and any(a0),
      'PreDelay 1 ms at 44100 Hz delays by 43 samples')
    first = next(i for i, v in enumerate(a0) if v)
    T(first == int(44100 * 0.019941 + 0.5) == 879,
      'PreDelay 0: the first echo comes after the shortest line, 879 samples')

    # Worked numbers: line lengths, gains, taps, filters.
    st = derived(1, 44100)
    T(st['lines'][0][0] == 1040 and len(st['lines']) == 10,
      'mode 0 at 44100 Hz: line 0 is 1040 samples, ten lines')
    T(st['lines'][0][1] == ref.pow10(-3 * 0.023583 / 2.5)
      and abs(st['lines'][0][1] - 0.9369) < 1e-4, 'feedback gain 10^(-3 d / T)')
    T(st['taps'] == [(708, 79.0, 0.0), (1332, -80.0, 0.0), (2429, 40.0, 0.0)],
      'style 3 at 44100 Hz: taps 708, 1332, 2429', repr(st['taps']))
    st = derived(2, 8000, ReverbMode=6)
    T(st['lines'][6][0] == 31214 and len(st['lines']) == 12,
      'mode 6 line 6 at 8000 Hz: 31214 samples; twelve lines in stereo')
    T(st['lines'][10][0] == int(8000 * (46.463 * 0.93 * 0.001) + 0.5)
      and st['lines'][11][0] == int(8000 * (89.887 * 1.06 * 0.001) + 0.5),
      'stereo extra lines 0.93 and 1.06 times lines 0 and 1')
    st = derived(2, 8000, EarlyStyle=0)
    x1 = (-72 + 100) * 0.005
    T(st['taps'][0] == (49, (1 - x1) * 46.0, x1 * 46.0), 'stereo tap pan split')
    T(derived(1, 8000, ReverbMode=25)['lines'] == derived(1, 8000, ReverbMode=18)['lines']
      and derived(1, 8000, ReverbMode=-7)['lines'] == derived(1, 8000)['lines'],
      'mode indices beyond the table use the last or first row')
    T(derived(2, 8000, EarlyStyle=12)['taps'] == derived(2, 8000, EarlyStyle=9)['taps'],
      'early style beyond the table uses the last row')
    st = derived(1, 22050, HighCutoff=15000)
    T(st['a'] == ref.exp(-12.56637061436 * 15000 / 22050) and st['a'] > 0,
      'HighCutoff 15000 at 22050 Hz still filters')
    T(derived(1, 8000, HighCutoff=8000)['a'] == 0.0
      and derived(1, 8000, HighCutoff=7999)['a'] > 0
      and derived(1, 44100, AttenuateHighs=0)['a'] == 0.0,
      'no high cut at or above the rate, or when off')
    g, c1, c2 = derived(1, 44100, BassCutoff=499)['bass']
    f = 499 / 44100 * 0.45454545454545453
    T(c2 == ref.exp(-2 * math.pi * f / 0.1), 'BassCutoff 499 at 44100 Hz: f = x / 2.2')
    g, c1, c2 = derived(1, 44100, BassCutoff=500)['bass']
    f = 500 / 44100 * 0.30303030303030304
    T(c2 == ref.exp(-2 * math.pi * f / 0.1) and g == 1 - c1 + c2,
      'BassCutoff 500 at 44100 Hz: f = x / 3.3')
    g, c1, c2 = derived(1, 96000, BassCutoff=10)['bass']
    T(c2 == ref.exp(-2 * math.pi * 0.0004 / 0.1), 'f limited to 0.0004')
    g, c1, c2 = derived(1, 3000, BassCutoff=5000)['bass']
    T(c1 == 2 * ref.exp(-math.pi * 0.49 / 0.1) * ref.cos(2 * math.pi * 0.49),
      'f limited to 0.49 (5000 Hz at a 3000 Hz rate)')
    T(derived(1, 8000, AttenuateBass=0)['bass'] is None, 'bass cut off: no design')
    eng = ref.ReverbEngine()
    eng.apply_preset(0)
    eng.set_format(1, 44100)
    buf = [1.0] + [0.0] * 11
    eng.process_buffer('float64', 1, buf, 12)
    a12 = eng.a ** 11
    T(0 < a12 < 2.0 ** -32 and eng.hs == 0.0,
      'input high-cut state flushed once below 2^-32')
    buf = [0.0] * 6000
    eng.process_buffer('float64', 1, buf, 6000)
    T(eng.s1 == 0.0 and eng.s2 == 0.0,
      'bass-cut states flushed once below 2^-32')

    # Early reflections: -800 silences them completely, -799 does not.
    sig = [0.0] * 600
    sig[0] = 1.0
    quiet = [('DryOut', -800), ('ReverbOut', -800), ('DecayTime', 5)]
    T(not any(ref.run_host('float64', 1, 8000, sig, sets=quiet + [('EarlyOut', -800)])),
      'EarlyOut -800 silences the early reflections')
    out = ref.run_host('float64', 1, 8000, sig, sets=quiet + [('EarlyOut', -799)])
    L1 = int((16.011 + 0.051) * 8)
    T([i for i, v in enumerate(out) if v] == [L1, int((30.058 + 0.151) * 8),
                                               int((55.013 + 0.078) * 8)]
      and out[L1] == 79 * (ref.pow10(-799 * 0.005) * 0.01),
      'EarlyOut -799: three taps of the default style')
    # Stereo: both channels feed the early reflections; lines 0 and 1 feed
    # only the left output, the extra lines only the right.
    st2 = [0.0] * 1200
    st2[1] = 1.0                    # impulse in the right channel only
    out = ref.run_host('float64', 2, 8000, st2, sets=quiet + [('EarlyOut', 0),
                                                              ('EarlyStyle', 0)])
    T(out[49 * 2] == (1 - x1) * 46.0 * 0.01 and out[49 * 2 + 1] == x1 * 46.0 * 0.01,
      'stereo early reflections fed by the right channel reach both outputs')
    out = ref.run_host('float64', 2, 8000, st2,
                       sets=[('DryOut', -800), ('EarlyOut', -800), ('ReverbOut', 0),
                             ('PreDelay', 0), ('AttenuateHighs', 0),
                             ('AttenuateBass', 0), ('DecayTime', 10)])
    D = [int(8000 * ms * 0.001 + 0.5) for ms in ref.MODES[0][1]]
    Dx = [int(8000 * (ref.MODES[0][1][0] * 0.93) * 0.001 + 0.5),
          int(8000 * (ref.MODES[0][1][1] * 1.06) * 0.001 + 0.5)]
    horizon = 2 * min(D + Dx)
    left = sorted(i for i in range(horizon) if out[2 * i])
    right = sorted(i for i in range(horizon) if out[2 * i + 1])
    T(left == sorted(d for d in D if d < horizon)
      and right == sorted(d for d in D[2:] + Dx if d < horizon)
      and len(left) > 2 and min(Dx) < horizon,
      'stereo: lines 0 and 1 only left, extra lines only right',
      'left %r right %r' % (left, right))

    # Re-initialisation rules, discontinuities and the tail's pick-up.
    def streaming(nch=1):
        eng = ref.ReverbEngine()
        eng.apply_preset(0)
        eng.put('DecayTime', 10)
        eng.set_format(nch, 8000)
        noise = [random.Random(5).uniform(-0.5, 0.5) for _ in range(3000 * nch)]
        eng.process_buffer('float64', 0, list(noise), 3000)
        return eng

    def silent_out(eng, nch=1):
        buf = [0.0] * (400 * nch)
        eng.process_buffer('float64', 1, buf, 400)
        return buf

    eng = streaming()
    T(eng.full_inits == 1, 'a discontinuity on the first buffer resets nothing more')
    for field, value in (('DecayTime', 20), ('ReverbOut', -100), ('DryOut', -10),
                         ('EarlyOut', -300), ('HighCutoff', 3000),
                         ('AttenuateHighs', 0), ('AttenuateBass', 0),
                         ('BassCutoff', 300)):
        eng = streaming()
        eng.put(field, value)
        out = silent_out(eng)
        T(eng.full_inits == 1 and eng.partial_updates == 1 and any(out),
          '%s change: partial update, the sound continues' % field)
    for field, value in (('ReverbMode', 4), ('EarlyStyle', 7), ('PreDelay', 10)):
        for nch in (1, 2):
            eng = streaming(nch)
            eng.put(field, value)
            out = silent_out(eng, nch)
            T(eng.full_inits == 2 and not any(out),
              '%s change (%d ch): full re-initialisation, restarts silent'
              % (field, nch))
    eng = streaming()
    eng.put('ReverbMode', 0)            # unchanged value: nothing to do
    out = silent_out(eng)
    T(eng.full_inits == 1 and eng.partial_updates == 0 and any(out),
      'writing the stored value changes nothing')
    eng = streaming()
    eng.apply_preset(0)
    eng.put('DecayTime', 10)
    out = silent_out(eng)
    T(eng.full_inits == 2 and not any(out), 'a preset applied re-initialises in full')
    eng = streaming()
    buf = [0.0] * 400
    eng.process_buffer('float64', 0, buf, 400)
    T(eng.full_inits == 2 and not any(buf), 'a discontinuity in mid-stream clears the sound')
    eng = streaming()
    before = eng.tail
    eng.put('DecayTime', 25)
    buf = [0.0] * 100
    res, got = eng.process_buffer('float64', 2, buf, 100)
    T(eng.partial_updates == 0 and got == 100 and res == 0 and eng.tail == before - 100
      and any(buf), 'parameters are not applied during the tail')
    eng = streaming()
    eng.put('DecayTime', 25)
    silent_out(eng)
    T(eng.tail == 16000, 'the tail counts from the last parameter application')

    # The model against the frame-by-frame circular formulation, and
    # independent of the buffer size.
    rng = random.Random(11)
    ok_circ = ok_buf = True
    for trial in range(8 if quick else 24):
        fmt = ref.FORMAT_NAMES[trial % 5]
        nch = 1 + (trial // 5) % 2
        rate = rng.choice((2000, 3000, 4000, 8000))
        sets = [('DryOut', rng.choice((-800, -60, 0))),
                ('ReverbOut', rng.choice((-800, -300, 0))),
                ('EarlyOut', rng.choice((-800, -200, 0))),
                ('ReverbMode', rng.randrange(-1, 20)),
                ('EarlyStyle', rng.randrange(-1, 11)),
                ('DecayTime', rng.choice((5, 10, 14))),
                ('PreDelay', rng.choice((0, 1, 3, 30))),
                ('AttenuateBass', rng.randrange(2)),
                ('BassCutoff', rng.choice((10, 20, 400, 5000))),
                ('AttenuateHighs', rng.randrange(2)),
                ('HighCutoff', rng.choice((100, 1000, 1999, 3000, 12000)))]
        scale = rng.choice((1.0, 1.0, 1e-9))
        sig = make_signal(fmt, nch, rng.randrange(1, 700), rng, scale=scale)
        circ, buf = harness.model_agreement(ref, circular_output, 'circular formulation',
                                            fmt, nch, rate, sig, sets, (1, 7, 333))
        ok_circ = ok_circ and circ
        ok_buf = ok_buf and buf
    T(ok_circ, 'model equals the frame-by-frame circular formulation')
    T(ok_buf, 'model output independent of buffer size')

    # Pass-through setting in the model.
    ok = True
    for fmt in ref.FORMAT_NAMES:
        for nch in (1, 2):
            sig = make_signal(fmt, nch, 300, rng)
            out = ref.run_host(fmt, nch, 8000, sig,
                               sets=[('ReverbOut', -800), ('EarlyOut', -800),
                                     ('DryOut', 0), ('DecayTime', 10)])
            ok = ok and same_output(fmt, out, sig + [ref.silence_code(fmt)] * (8000 * nch))
    T(ok, 'pass-through setting returns the input and a silent tail')


# ---------------------------------------------------------------------------

def main(argv=None):
    opts = harness.parse_options(__doc__, argv, seed=20240702, procs=True)

    def check_mwfx(results, mwfx, tmpdir, rng):
        runner = harness.Runner(mwfx, tmpdir, 'reverb')
        cases = build_cases(opts.quick, rng)
        bgroups = buffer_groups(opts.quick, rng)
        agroups = alias_groups(rng)
        dgroups = differ_groups(rng)
        tails = tail_cases(rng)
        passthrough = passthrough_cases(rng)
        shifts = predelay_groups(rng)
        early = early_impulse_cases()
        combs = comb_impulse_cases()
        everything = (cases + [c for g in bgroups for c in g]
                      + [c for g in agroups for c in g]
                      + [c for g in dgroups for c in g]
                      + tails + passthrough
                      + [c for g in shifts for c in g] + early + combs)
        harness.run_cases(runner, everything, results, max(1, opts.jobs), ref,
                          procs=max(1, opts.procs), cost=model_cost)
        harness.check_groups_equal(results, bgroups, 'same output for any buffer size',
                                   where=format_channels_rate)
        harness.check_groups_equal(results, agroups, 'same output',
                                   where=format_channels_rate)
        check_groups_differ(results, dgroups, 'different output')
        check_tail_lengths(results, tails)
        harness.check_property(results, passthrough, 'pass-through')
        check_shift(results, shifts)
        harness.check_property(results, early, 'early impulse')
        harness.check_property(results, combs, 'comb impulse', rel=1e-15)
        harness.check_errors(results, runner, make_signal('pcm16', 1, 100, rng), [
            ['--preset', '13'], ['--preset', '-1'], ['--preset', 'No such preset'],
            ['--set', 'Unknown=1'], ['--set', 'DecayTime=abc'], ['--set', 'DelayTime=100'],
        ], refused_formats=False)

    return harness.run_main(opts, 'reverb', lambda results: selftest(results, quick=opts.quick),
                            check_mwfx)


if __name__ == '__main__':
    sys.exit(main())
