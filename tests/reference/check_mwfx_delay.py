#!/usr/bin/env python3
"""Compare `mwfx process delay` with the plain-Python Simple Delay model.

Usage:
  check_mwfx_delay.py --selftest                 # the model alone
  check_mwfx_delay.py --mwfx PATH [--quick]      # self-test, then mwfx checks

Each check prints one line when it fails; the last line is
`N passed, M failed` and the exit status is non-zero on any failure.

What is compared: the sample data of mwfx's output, byte for byte, against
the model (two NaNs of any payload count as equal; nothing else is
tolerated), and the output's format tag, bits, channels and rate against the
input's.  Property checks that need no model are run through mwfx alone:
output independent of --buffer-frames, presets by name and by index alike,
a pass-through setting (no echo, unity dry level) that must return the
input unchanged followed by the silent tail, and the two echo-only presets,
which must only move each channel later by its delay.
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
import simple_delay_ref as ref  # noqa: E402
import wavio  # noqa: E402
from harness import F32_MAX, F32_MIN_SUB, Case, frames_for, same_output  # noqa: E402


# ---------------------------------------------------------------------------
# Test signals

def extremes(fmt):
    """Stored values at and around full scale, plus silence."""
    if fmt not in harness.FLOAT_FORMATS:
        return harness.pcm_extremes(fmt)
    if fmt == 'float32':
        return [-1.0, 1.0, 0.0, -0.0, 1.5, -2.75, 4.0, 0.9999999403953552,
                F32_MIN_SUB, -F32_MIN_SUB, ref.to_single(1e-40),
                ref.to_single(-3e-39), ref.to_single(1.1754942e-38),
                F32_MAX, -F32_MAX, ref.to_single(1e30)]
    return [-1.0, 1.0, 0.0, -0.0, 1.5, -2.75, 8.0, 5e-324, -5e-324, 2.2e-310,
            -1e-320, 2.2250738585072014e-308, 1e300, -1e300, 1.7e308, 1e-30]


def noise_value(fmt, rng):
    if fmt not in harness.FLOAT_FORMATS:
        return harness.pcm_noise(fmt, rng)
    v = rng.uniform(-1.0, 1.0)
    if rng.random() < 0.15:
        v *= rng.choice((1.0001, 2.0, 3.5, 100.0))       # above full scale
    elif rng.random() < 0.05:
        v *= rng.choice((1e-38, 1e-42, 1e-300, 1e-310))    # tiny and denormal
    return ref.to_single(v) if fmt == 'float32' else v


def make_signal(fmt, nch, frames, rng, with_inf=False):
    """Interleaved stored values: full-scale runs, noise, silence, bursts."""
    out = harness.mixed_signal(fmt, nch, frames, rng, extremes(fmt), noise_value,
                               pick=0.08, burst=0.12)
    if with_inf and fmt in ('float32', 'float64') and frames >= 4:
        for k, v in enumerate((math.inf, -math.inf)):
            out[(frames // 3 + k) * nch] = v
    return out


# ---------------------------------------------------------------------------
# Case lists

ALL_RATES = (8000, 11025, 22050, 44100, 48000, 96000)


def build_cases(quick, rng):
    cases = []
    combos = harness.COMBOS
    rates = (8000, 22050, 44100, 96000) if quick else ALL_RATES

    # Every format, channel count and rate with the default settings; the
    # input outlasts the 100 ms delay so echoes overlap new input.
    for fmt, nch in combos:
        for rate in rates:
            frames = frames_for(rate, 0.16, 4000 if quick else 9000)
            sig = make_signal(fmt, nch, frames, rng)
            cases.append(Case('matrix', fmt, nch, rate, sig))

    # Every preset by index on every format and channel count, at low rates
    # because of the long tails.
    for i, (fmt, nch) in enumerate(combos):
        rate = (8000, 11025)[i % 2]
        frames = frames_for(rate, 0.3 if quick else 0.7, 8000)
        sig = make_signal(fmt, nch, frames, rng)
        for p in range(len(ref.PRESETS)):
            if quick and (p + i) % 2:
                continue
            cases.append(Case('preset %d' % p, fmt, nch, rate, sig, preset=p))

    # Every preset by name.
    for p, row in enumerate(ref.PRESETS):
        for nch in (1, 2):
            fmt = ref.FORMAT_NAMES[(p + nch) % 5]
            rate = 8000
            sig = make_signal(fmt, nch, frames_for(rate, 0.4, 4000), rng)
            cases.append(Case('preset name', fmt, nch, rate, sig, preset=row[0]))

    # Extreme and clamped settings.  (sets, rate, seconds of input)
    fb = ('Feedback', 1)
    extreme = [
        ([('DelayTime', 1)], 8000, 0.05),
        ([('DelayTime', 1)], 1000, 0.2),            # rounds to 1: minimum 2
        ([('DelayTime', 1)], 100, 1.0),             # rounds to 0: minimum 2
        ([('DelayTime', 1), fb, ('DecayTime', 1)], 8000, 0.05),
        ([('DelayTime', 5000)], 8000, 0.25),
        ([('DelayTime', 5000), fb, ('DecayTime', 1)], 8000, 0.25),
        ([fb, ('DecayTime', 1)], 8000, 0.2),
        ([fb, ('DecayTime', 1), ('DelayTime', 1000)], 8000, 0.3),  # ratio 0.1
        ([fb, ('DecayTime', 1), ('DelayTime', 1001)], 8000, 0.3),  # below 0.1
        ([fb, ('DecayTime', 200), ('DelayTime', 100)], 8000, 0.1),
        ([('Feedback', 7), ('DecayTime', 5)], 8000, 0.2),
        ([('Feedback', -1), ('DecayTime', 5)], 11025, 0.2),
        ([('DelayOut', -800)], 8000, 0.2),
        ([('DelayOut', 0)], 8000, 0.2),
        ([('DelayOut', 0), fb, ('DecayTime', 20)], 8000, 0.2),
        ([('DryOut', -800)], 8000, 0.2),
        ([('DryOut', 0)], 8000, 0.2),
        ([('DryOut', 60)], 8000, 0.2),
        ([('DryOut', 60), ('DelayOut', 0), fb, ('DecayTime', 10)], 11025, 0.2),
        ([('DryOut', -801)], 8000, 0.1),
        ([('DryOut', -5000)], 8000, 0.1),
        ([('DryOut', 600)], 8000, 0.1),             # gain 1000
        ([('DryOut', 61000)], 8000, 0.05),          # gain 1e305, finite
        ([('DryOut', 70000)], 8000, 0.05),          # gain overflows to inf
        ([('DelayTime', 0)], 8000, 0.05),           # clamped to 1
        ([('DelayTime', -5)], 8000, 0.05),
        ([('DelayTime', 6000)], 8000, 0.1),         # clamped to 5000
        ([fb, ('DecayTime', 0)], 8000, 0.1),        # clamped to 1
        ([fb, ('DecayTime', 1000), ('DelayTime', 2000)], 8000, 0.05),
        ([('DelayOut', 50)], 8000, 0.2),            # clamped to 0
        ([('DelayOut', -2000)], 8000, 0.2),         # clamped to -800
        ([('DelayTime', 10)], 11025, 0.1),          # 220.5 -> 221, odd line
        ([('DelayTime', 100)], 11025, 0.2),         # 1102.5 (mono) -> 1103
        ([('DelayTime', 3)], 44100, 0.02),          # 264.6 -> 265 in stereo
        ([('DelayTime', 1)], 22050, 0.02),
        ([('DelayTime', 7), fb, ('DecayTime', 3)], 192000, 0.01),
    ]
    for k, (sets, rate, secs) in enumerate(extreme):
        for j, (fmt, nch) in enumerate(combos):
            # --quick: every setting still runs, on three rotating combinations
            if quick and (j - 3 * k) % len(combos) >= 3:
                continue
            sig = make_signal(fmt, nch, frames_for(rate, secs, 4000), rng)
            cases.append(Case('extreme', fmt, nch, rate, sig, sets=sets))

    # The longest settings: 5 s delay with a 20 s decay.
    for j, (fmt, nch) in enumerate(combos):
        if not quick or j in (3, 8):
            sig = make_signal(fmt, nch, 2000, rng)
            cases.append(Case('longest tail', fmt, nch, 8000, sig,
                              sets=[fb, ('DelayTime', 5000), ('DecayTime', 200)]))

    # A preset followed by --set writes: the writes win.
    for fmt, nch in combos[::3]:
        sig = make_signal(fmt, nch, 1500, rng)
        cases.append(Case('preset then set', fmt, nch, 8000, sig, preset=2,
                          sets=[('DelayTime', 37), ('DryOut', 10)]))
        cases.append(Case('preset then set', fmt, nch, 8000, sig,
                          preset='Grand Canyon',
                          sets=[('Feedback', 0), ('DelayTime', 250)]))

    # Infinities in float input (NaN results compare equal to any NaN).
    for fmt in ('float32', 'float64'):
        for nch in (1, 2):
            sig = make_signal(fmt, nch, 900, rng, with_inf=True)
            for sets in ([], [('DryOut', -800)], [fb, ('DecayTime', 3)]):
                cases.append(Case('infinite input', fmt, nch, 8000, sig,
                                  sets=sets))

    # Very short inputs: nothing, one frame, fewer frames than the delay.
    for fmt, nch in combos:
        for frames in (0, 1, 3):
            sig = make_signal(fmt, nch, frames, rng) if frames else []
            cases.append(Case('short input', fmt, nch, 8000, sig,
                              sets=[fb, ('DecayTime', 1), ('DelayTime', 2)]))

    # Random settings, rates, lengths and buffer sizes, in and out of range.
    for k in range(25 if quick else 80):
        fmt, nch = combos[k % len(combos)]
        rate = rng.choice(ALL_RATES + (rng.randrange(100, 50000),))
        sets = []
        if rng.random() < 0.7:
            sets.append(('Feedback', rng.choice((0, 1, rng.randrange(-9, 10)))))
        if rng.random() < 0.9:
            sets.append(('DelayTime', rng.choice((rng.randrange(-5, 40),
                                                  rng.randrange(1, 300)))))
        if rng.random() < 0.7:
            sets.append(('DecayTime', rng.randrange(-2, 40)))
        if rng.random() < 0.7:
            sets.append(('DelayOut', rng.randrange(-900, 40)))
        if rng.random() < 0.7:
            sets.append(('DryOut', rng.randrange(-900, 120)))
        preset = rng.choice((None, None, rng.randrange(len(ref.PRESETS))))
        frames = rng.randrange(0, 1500)
        sig = make_signal(fmt, nch, frames, rng)
        n = rng.choice((None, rng.randrange(1, 64), rng.randrange(1, 5000)))
        cases.append(Case('random', fmt, nch, rate, sig, preset=preset,
                          sets=sets, buffer_frames=n))

    # Unknown chunks before the sample data must be skipped.
    for fmt in ('pcm8', 'float32'):
        sig = make_signal(fmt, 1, 301, rng)
        cases.append(Case('extra chunks', fmt, 1, 8000, sig,
                          extra_chunks=[(b'LIST', harness.LIST_INFO),
                                        (b'xtra', b'\x01\x02\x03')]))
    return cases


def buffer_groups(quick, rng):
    """Groups of cases differing only in --buffer-frames."""
    groups = []
    fb = ('Feedback', 1)
    # At 8000 Hz with a 100 ms delay and 0.1 s decay the tail is 1600 frames
    # (mono: 800 + 800 samples; stereo: (1600 + 1600) / 2), with feedback off
    # 800 frames: sizes that divide it end the tail with a full buffer.
    configs = [
        ([fb, ('DecayTime', 1)], 1600),
        ([], 800),
    ]
    sizes_for_tail = {
        1600: [1, 2, 7, None, 1600, 800, 400, 160, 3200, 1000, 999, 1001, 4096],
        800: [1, 2, 7, None, 800, 400, 100, 32, 799, 801],
    }
    for k, (sets, tail) in enumerate(configs):
        for fi, fmt in enumerate(ref.FORMAT_NAMES):
            for nch in (1, 2):
                if quick and (fi + nch + k) % 2:
                    continue
                sig = make_signal(fmt, nch, 1000, rng)
                expect_tail = ref.tail_frames(nch, 8000, ref.resolve_block(sets=sets))
                assert expect_tail == tail, (expect_tail, tail)
                sizes = sizes_for_tail[tail]
                if quick:
                    sizes = sizes[:6]
                groups.append([Case('buffer frames', fmt, nch, 8000, sig,
                                    sets=sets, buffer_frames=n) for n in sizes])
    return groups


def passthrough_cases(quick, rng):
    """No echo and unity dry level: output = input, then a silent tail."""
    cases = []
    for fi, fmt in enumerate(ref.FORMAT_NAMES):
        for nch in (1, 2):
            for extra in ([], [('Feedback', 1), ('DecayTime', 5)]):
                if quick and extra and (fi + nch) % 2:
                    continue
                rate = 11025 if nch == 1 else 8000
                sets = [('DelayOut', -800), ('DryOut', 0)] + extra
                sig = make_signal(fmt, nch, 1200, rng)
                tail = ref.tail_frames(nch, rate, ref.resolve_block(sets=sets))
                expected = list(sig) + [ref.silence_code(fmt)] * (tail * nch)
                case = Case('pass-through', fmt, nch, rate, sig, sets=sets)
                case.property_expected = expected
                cases.append(case)
    return cases


def shift_cases(quick, rng):
    """Presets 5 and 6 (echo at 0 dB, no dry signal, no feedback) only move
    each channel later by its delay D(c) = ceil((L - c) / nChannels) frames,
    L = nChannels * rate * DelayTime / 1000 rounded; the output ends with the
    tail of L / nChannels frames."""
    cases = []
    for fi, fmt in enumerate(ref.FORMAT_NAMES):
        for nch in (1, 2):
            for preset, delay_time, rate in ((5, 1000, 1000), (6, 10, 11025),
                                             (6, 10, 44100)):
                if quick and (fi + nch + preset) % 2:
                    continue
                L = max(2, (nch * rate * delay_time + 500) // 1000)
                frames = 700
                sig = make_signal(fmt, nch, frames, rng)
                total = frames + L // nch
                silence = ref.silence_code(fmt)
                expected = [silence] * (total * nch)
                for c in range(nch):
                    d = -(-(L - c) // nch)
                    for n in range(d, total):
                        if n - d < frames:
                            expected[n * nch + c] = sig[(n - d) * nch + c]
                case = Case('shift preset', fmt, nch, rate, sig,
                            preset=ref.PRESETS[preset][0])
                case.property_expected = expected
                cases.append(case)
    return cases


# ---------------------------------------------------------------------------
# Self-test of the model against worked numbers and independent formulations

def independent_output(fmt, nch, rate, samples, block):
    """The delay written frame by frame as a recurrence per channel.

    Channel c has D(c) = ceil((L - c) / nch) slots; the value read at frame n
    is what was written D(c) frames earlier (zero before that), and each write
    is fb * (value read) + input.  The tail runs (tailSamples + L) // nch
    frames of silence.
    """
    feedback, delay_time, decay_time, delay_out, dry_out = block
    L = max(2, (nch * rate * delay_time + 500) // 1000)
    tail_samples = 0 if feedback == 0 else int(float(rate) * nch * decay_time * 0.1)
    ratio = tail_samples / L
    fbg = 0.0 if ratio < 0.1 else 0.0316 ** (1.0 / ratio)
    wet = ref.gain(delay_out)
    dry = ref.gain(dry_out)
    frames = len(samples) // nch
    total = frames + ((tail_samples + L) // nch if frames else 0)
    out = [None] * (total * nch)
    dec = ref.DECODERS[fmt]
    enc = ref.ENCODERS[fmt]
    for c in range(nch):
        d = -(-(L - c) // nch)
        written = []
        for n in range(total):
            x = dec(samples[n * nch + c]) if n < frames else 0.0
            held = written[n - d] if n >= d else 0.0
            out[n * nch + c] = enc(held * wet + x * dry)
            written.append(fbg * held + x)
    return out


def selftest(results):
    T = results.check

    # Conversions.
    T(ref.decode_pcm8(0x80) == 0.0, 'pcm8 0x80 decodes to 0.0')
    T(ref.decode_pcm8(0x00) == -1.0, 'pcm8 0x00 decodes to -1.0')
    T(ref.decode_pcm8(0xFF) == 0.9921875, 'pcm8 0xFF decodes to 0.9921875')
    T(ref.encode_pcm8(1.0) == 0xFF, 'pcm8 1.0 encodes to 0xFF')
    T(ref.encode_pcm8(-1.0) == 0x00, 'pcm8 -1.0 encodes to 0x00')
    T(ref.encode_pcm8(-1.5) == 0x00 and ref.encode_pcm8(7.0) == 0xFF,
      'pcm8 clips beyond full scale')
    T(ref.encode_pcm8(-0.5 / 128) == 0x80 and ref.encode_pcm8(-1.5 / 128) == 0x7F,
      'pcm8 truncates toward zero')
    T(ref.encode_pcm16(0.99999) == 32767, 'pcm16 32767.67 stores 32767')
    T(ref.encode_pcm16(-0.5 / 32768) == 0, 'pcm16 -0.5 LSB stores 0')
    T(ref.encode_pcm16(-1.00002) == -32768 and ref.encode_pcm16(2.0) == 32767,
      'pcm16 clips')
    T(ref.encode_pcm32(2147483647 / 2147483648) == 2147483647,
      'pcm32 t = 2147483647.0 stores 2147483647')
    T(ref.encode_pcm32(1.0) == 2147483647, 'pcm32 t = 2^31 stores 2147483647')
    T(ref.encode_pcm32(-2147483649 / 2147483648) == -2147483648,
      'pcm32 t = -2147483649.0 stores -2147483648')
    T(ref.encode_pcm32(-0.75 / 2147483648) == 0, 'pcm32 truncates toward zero')
    T(ref.encode_float32(1.5) == 1.5 and ref.encode_float64(3.25) == 3.25,
      'floats above 1.0 pass through')
    T(ref.encode_float32(0.1) == struct.unpack('<f', struct.pack('<f', 0.1))[0]
      and ref.encode_float32(0.1) != 0.1, 'float32 rounds to single precision')
    T(ref.encode_float32(1e39) == math.inf and ref.encode_float32(-1e39) == -math.inf,
      'float32 overflow stores infinity')
    T(ref.encode_float32(F32_MAX * (1 + 2 ** -26)) == F32_MAX,
      'float32 just above the largest single rounds down to it')
    T(all(ref.ENCODERS[f](math.nan) == ref.silence_code(f)
          for f in ('pcm8', 'pcm16', 'pcm32')), 'NaN stores silence in integer formats')
    T(ref.encode_pcm8(math.inf) == 0xFF and ref.encode_pcm16(-math.inf) == -32768
      and ref.encode_pcm32(math.inf) == ref.INT32_MAX, 'infinities clip')
    rng = random.Random(1)
    T(all(ref.encode_pcm8(ref.decode_pcm8(b)) == b for b in range(256)),
      'every pcm8 code round-trips')
    T(all(ref.encode_pcm16(ref.decode_pcm16(s)) == s for s in range(-32768, 32768)),
      'every pcm16 code round-trips')
    codes32 = [ref.INT32_MIN, ref.INT32_MAX, 0, -1, 1] + \
        [rng.randrange(ref.INT32_MIN, ref.INT32_MAX + 1) for _ in range(20000)]
    T(all(ref.encode_pcm32(ref.decode_pcm32(s)) == s for s in codes32),
      'pcm32 codes round-trip')
    ok = True
    for _ in range(20000):
        bits = rng.getrandbits(32)
        f = struct.unpack('<f', struct.pack('<I', bits))[0]
        if f == f and struct.pack('<f', ref.encode_float32(ref.decode_float(f))) \
                != struct.pack('<I', bits):
            ok = False
    T(ok, 'float32 bit patterns round-trip')

    # Levels.
    T(abs(ref.gain(-60) - 0.501187) < 1e-6, 'gain(-60) is about 0.501')
    T(ref.gain(0) == 1.0 and ref.gain(-800) == 0.0 and ref.gain(-801) == 0.0,
      'gain(0) = 1, -800 and below silent')
    T(abs(ref.gain(60) - 1.995262) < 1e-6, 'gain(60) is about 2')
    T(ref.gain(70000) == math.inf, 'gain overflow gives infinity')

    def setup(nch, rate, **fields):
        block = ref.resolve_block(sets=list(fields.items()))
        eng = ref.SimpleDelayEngine()
        eng.apply_preset(0)
        eng.set_parameters(block)
        eng.set_format(nch, rate)
        return eng

    T(setup(1, 8000, DelayTime=1).line_length == 8, 'DelayTime 1 at 8000 Hz mono: line 8')
    T(setup(1, 100, DelayTime=1).line_length == 2, 'DelayTime 1 at 100 Hz: line 2')
    T(setup(2, 44100, DelayTime=100).line_length == 8820,
      '44100 Hz stereo 100 ms: line 8820')
    T(setup(2, 11025, DelayTime=10).line_length == 221, '11025 Hz stereo 10 ms: line 221')
    T(setup(1, 11025, DelayTime=100).line_length == 1103, 'exact half rounds up')
    e = setup(1, 44100, Feedback=1, DelayTime=400, DecayTime=20)
    T(e.ratio == 5.0 and e.fb == 0.0316 ** 0.2 and abs(e.fb - 0.501) < 1e-3,
      'Feedback 400 ms / 2 s at 44100 Hz: ratio 5, fb about 0.501')
    e = setup(1, 8000, Feedback=1, DelayTime=5000, DecayTime=1)
    T(e.ratio == 0.02 and e.fb == 0.0, 'Feedback 5000 ms / 0.1 s: ratio 0.02, fb 0')
    T(e.tail_remaining[0] == 8000 * 5 + 800, 'tail is the delay plus 0.1 s')
    e = setup(1, 8000, Feedback=1, DelayTime=1000, DecayTime=1)
    T(e.ratio == 0.1 and e.fb == 0.0316 ** 10.0, 'ratio exactly 0.1 keeps feedback')
    e = setup(2, 8000, Feedback=0, DecayTime=200)
    T(e.tail_samples == 0 and e.fb == 0.0, 'feedback off: no tail samples, no feedback')
    e = setup(2, 8000, Feedback=5, DecayTime=3)
    T(e.tail_samples == 4800, 'any non-zero Feedback is on')

    def impulse_echo(nch, rate, delay_time, channel):
        frames = 3 * rate * delay_time // 1000 + 10
        sig = [0.0] * (frames * nch)
        sig[channel] = 1.0
        out = ref.run_host('float64', nch, rate, sig,
                           sets=[('DelayTime', delay_time), ('DelayOut', 0),
                                 ('DryOut', -800)])
        hits = [i // nch for i in range(len(out)) if out[i] != 0.0]
        return hits, [i % nch for i in range(len(out)) if out[i] != 0.0]

    T(impulse_echo(2, 44100, 100, 0) == ([4410], [0])
      and impulse_echo(2, 44100, 100, 1) == ([4410], [1]),
      '44100 Hz stereo 100 ms: both channels echo after 4410 frames')
    T(impulse_echo(2, 11025, 10, 0) == ([111], [0])
      and impulse_echo(2, 11025, 10, 1) == ([110], [1]),
      '11025 Hz stereo 10 ms: channel 0 after 111 frames, channel 1 after 110')
    T(impulse_echo(1, 8000, 1, 0) == ([8], [0]), 'mono echo after lineLength frames')

    sig = [1000, -2000, 30000, -32768] + [0] * 10
    out = ref.run_host('pcm16', 1, 8000, sig, sets=[('DelayTime', 1), ('DelayOut', -800)])
    T(out[:4] == [int(v * ref.gain(-60)) for v in sig[:4]] and not any(out[4:]),
      'DelayOut -800: no echo')
    out = ref.run_host('pcm16', 1, 8000, sig, sets=[('DelayTime', 1), ('DryOut', -800),
                                                    ('DelayOut', 0)])
    T(out == [0] * 8 + sig[:4] + [0] * 10, 'DryOut -800 with DelayOut 0: only the echo')
    out = ref.run_host('pcm16', 1, 8000, [1000, 20000, -20000],
                       sets=[('DryOut', 60), ('DelayOut', -800)])
    T(out[:3] == [1995, 32767, -32768], 'DryOut 60 doubles and clips')
    out = ref.run_host('pcm8', 2, 11025, [0x80, 0x80] * 5,
                       sets=[('DelayTime', 10)])
    T(len(out) == 2 * (5 + 221 // 2) and all(v == 0x80 for v in out),
      'feedback off: tail of lineLength / nChannels frames, pcm8 silence stays 0x80')

    stats = {}
    ref.run_host('pcm16', 1, 8000, [5] * 10, sets=[('Feedback', 1), ('DecayTime', 1)],
                 buffer_frames=400, stats=stats)
    T(stats['tail_buffers'] == 4, 'tail of 1600 frames in buffers of 400: four buffers')
    ref.run_host('pcm16', 1, 8000, [5] * 10, sets=[('Feedback', 1), ('DecayTime', 1)],
                 buffer_frames=399, stats=stats)
    T(stats['tail_buffers'] == 5, 'tail of 1600 frames in buffers of 399: five buffers')
    T(ref.run_host('pcm16', 2, 8000, [], sets=[('Feedback', 1)], stats=stats) == []
      and stats['tail_buffers'] == 0, 'no input: no tail')

    # Model against the frame-by-frame recurrence, and independent of the
    # buffer size.
    rng = random.Random(7)
    ok_rec = ok_buf = True
    for trial in range(40):
        fmt = ref.FORMAT_NAMES[trial % 5]
        nch = 1 + trial % 2
        rate = rng.choice((100, 1000, 8000, 11025))
        sets = [('Feedback', rng.choice((0, 1, 3))),
                ('DelayTime', rng.choice((1, 2, 3, 10, 37, 100))),
                ('DecayTime', rng.choice((1, 2, 7))),
                ('DelayOut', rng.choice((-800, -200, -60, 0))),
                ('DryOut', rng.choice((-800, -60, 0, 60)))]
        sig = make_signal(fmt, nch, rng.randrange(0, 300), rng)
        rec, buf = harness.model_agreement(ref, independent_output, 'recurrence',
                                           fmt, nch, rate, sig, sets, (1, 2, 7, 64))
        ok_rec = ok_rec and rec
        ok_buf = ok_buf and buf
    T(ok_rec, 'model equals the per-channel recurrence')
    T(ok_buf, 'model output independent of buffer size')

    ok = True
    for fmt in ref.FORMAT_NAMES:
        for nch in (1, 2):
            sig = make_signal(fmt, nch, 200, rng)
            sets = [('DelayOut', -800), ('DryOut', 0), ('Feedback', 1)]
            out = ref.run_host(fmt, nch, 8000, sig, sets=sets)
            tail = ref.tail_frames(nch, 8000, ref.resolve_block(sets=sets))
            ok = ok and same_output(fmt, out, sig + [ref.silence_code(fmt)] * (tail * nch))
    T(ok, 'pass-through setting returns the input and a silent tail')

    T(ref.preset_index('Shift selection forwards  (select one channel only)') == 5
      and ref.preset_index('6') == 6, 'presets by name and index')
    T(ref.resolve_block(preset=2) == [1, 400, 20, -30, -90], 'preset 2 block')
    T(ref.resolve_block(sets=[('DelayTime', 0), ('DecayTime', 999), ('DelayOut', 5),
                              ('DryOut', 900), ('Feedback', -3)])
      == [-3, 1, 200, 0, 900], 'setters clamp DelayTime, DecayTime, DelayOut only')

    # WAV files.
    harness.check_wav_round_trips(results, rng, 44100, extensible=(False, True),
                                  extra_chunks=[(b'odd ', b'\x01')])
    blob = wavio.build_wav(1, 1, 8000, 8, b'\x01\x02\x03')
    T(len(blob) % 2 == 0 and wavio.parse_wav(blob).data == b'\x01\x02\x03',
      'odd data chunk padded and read back')


# ---------------------------------------------------------------------------

def main(argv=None):
    opts = harness.parse_options(__doc__, argv, seed=20240611)

    def check_mwfx(results, mwfx, tmpdir, rng):
        runner = harness.Runner(mwfx, tmpdir, 'delay')
        cases = build_cases(opts.quick, rng)
        groups = buffer_groups(opts.quick, rng)
        passthrough = passthrough_cases(opts.quick, rng)
        shifts = shift_cases(opts.quick, rng)
        # mwfx-only groups: presets by index and by name, and the two
        # rows holding the default block, must give the same output.
        alias_groups = []
        for p, row in enumerate(ref.PRESETS):
            fmt = ref.FORMAT_NAMES[p % 5]
            nch = 2 - p % 2
            sig = make_signal(fmt, nch, 600, rng)
            g = [Case('alias', fmt, nch, 8000, sig, preset=p),
                 Case('alias', fmt, nch, 8000, sig, preset=row[0])]
            if p == 0:
                g += [Case('alias', fmt, nch, 8000, sig),
                      Case('alias', fmt, nch, 8000, sig, preset=1)]
            alias_groups.append(g)
        everything = cases + [c for g in groups for c in g] + passthrough + shifts + \
            [c for g in alias_groups for c in g]
        harness.run_cases(runner, everything, results, max(1, opts.jobs), ref)
        harness.check_groups_equal(results, groups, 'same output for any buffer size',
                                   where_in_passes=False)
        harness.check_groups_equal(results, alias_groups, 'same output by name and index',
                                   where_in_passes=False)
        harness.check_property(results, passthrough, 'pass-through')
        harness.check_property(results, shifts, 'shift')
        harness.check_errors(results, runner, make_signal('pcm16', 1, 100, rng), [
            ['--preset', '7'], ['--preset', '-1'], ['--preset', 'No such preset'],
            ['--set', 'Unknown=1'], ['--set', 'DelayTime=abc'], ['--set', 'DelayTime'],
        ], missing_input=True)

    return harness.run_main(opts, 'delay', selftest, check_mwfx)


if __name__ == '__main__':
    sys.exit(main())
