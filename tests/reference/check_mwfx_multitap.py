#!/usr/bin/env python3
"""Compare `mwfx process multitap` with the plain-Python Multi-Tap Delay model.

Usage:
  check_mwfx_multitap.py --selftest                 # the model alone
  check_mwfx_multitap.py --mwfx PATH [--quick]      # self-test, then mwfx checks

Each failing check prints one line; the last line is `N passed, M failed`
and the exit status is non-zero on any failure.

What is compared: the sample data of mwfx's output, byte for byte, against
the model (nothing is tolerated), and the output's format tag, bits,
channels, rate and block alignment against the input's.  Inputs cover the five sample
formats, mono and stereo, rates from 8000 to 96000 Hz, every preset by index
and several by name, buffer sizes from 1 frame up, and extreme and clamped
settings.  Checks that need no model run through mwfx alone: output
independent of --buffer-frames, presets by name and by index alike, the
page-state fields without effect on the sound, pans without effect in mono,
a pass-through setting and a pure single-tap echo whose outputs follow
directly from the delay formula.

The self-test checks the model's worked numbers, its elementary functions
against independent evaluations, its re-initialisation rules, and its output
against a second formulation of the delay that keeps the whole history
instead of a circular buffer.
"""

import decimal
import math
import os
import random
import sys
import time

sys.dont_write_bytecode = True     # leave no __pycache__ beside the sources
HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import harness  # noqa: E402
import multitap_ref as ref  # noqa: E402
import wavio  # noqa: E402
from harness import COMBOS, F32_MAX, F32_MIN_SUB, Case, frames_for  # noqa: E402

EFFECT = 'multitap'


# ---------------------------------------------------------------------------
# Comparing

def first_difference(fmt, nch, expected, actual):
    """None when equal bit for bit (NaN payloads too), else a one-line
    description."""
    return harness.first_difference(fmt, nch, expected, actual,
                                    same=harness.same_encoding)


# ---------------------------------------------------------------------------
# Test signals

def extremes(fmt):
    """Stored values at and around full scale, silence and tiny values."""
    if fmt == 'pcm32':
        return [ref.INT32_MIN, ref.INT32_MAX, 0, -1, 1, 2, -3,
                ref.INT32_MIN + 1, ref.INT32_MAX - 1]
    if fmt not in harness.FLOAT_FORMATS:
        return harness.pcm_extremes(fmt)
    if fmt == 'float32':
        return [-1.0, 1.0, 0.0, -0.0, 1.5, -2.75, 4.0, 0.9999999403953552,
                F32_MIN_SUB, -F32_MIN_SUB, ref.to_single(1e-40),
                ref.to_single(2.3e-10), ref.to_single(-2.4e-10),
                ref.to_single(1.1754942e-38), F32_MAX, -F32_MAX, ref.to_single(1e30)]
    return [-1.0, 1.0, 0.0, -0.0, 1.5, -2.75, 8.0, 5e-324, -5e-324, 2.2e-310,
            2.3283064365386963e-10, -2.3283064365386963e-10, 2.3283064365386965e-10,
            1e-30, 1e300, -1e300, 1.7e308, -1.7e308, 3e7, -3e7]


def noise_value(fmt, rng):
    if fmt not in harness.FLOAT_FORMATS:
        return harness.pcm_noise(fmt, rng)
    v = rng.uniform(-1.0, 1.0)
    if rng.random() < 0.15:
        v *= rng.choice((1.0001, 2.0, 3.5, 100.0))       # above full scale
    elif rng.random() < 0.05:
        v *= rng.choice((1e-9, 1e-38, 1e-42, 1e-300))    # near and below 2^-32
    return ref.to_single(v) if fmt == 'float32' else v


def make_signal(fmt, nch, frames, rng, quiet=True):
    """Interleaved stored values: full-scale runs, noise, silence, bursts."""
    return harness.mixed_signal(fmt, nch, frames, rng, extremes(fmt), noise_value,
                                pick=0.06, burst=0.1, quiet=(0.55, 0.75) if quiet else None)


def impulse(fmt, nch, frames, at=0, channel=0):
    """Silence with one full-scale positive sample."""
    one = {'pcm8': 0xFF, 'pcm16': 32767, 'pcm32': ref.INT32_MAX,
           'float32': 1.0, 'float64': 1.0}[fmt]
    out = [ref.silence_code(fmt)] * (frames * nch)
    out[at * nch + channel] = one
    return out


# ---------------------------------------------------------------------------
# Running mwfx

def model_cost(case):
    """Sort key of the model runs, longest first."""
    return -len(case.samples) * (1 + case.nch)


# ---------------------------------------------------------------------------
# Case lists

ALL_RATES = (8000, 11025, 22050, 44100, 48000, 96000)


def taps(kind, values):
    return [('Tap%s%d' % (kind, i + 1), v) for i, v in enumerate(values)]


# Four swept taps with feedback, low-pass and every level in use.
SWEPT = (taps('Delay', (3, 20, 37, 61)) + taps('Gain', (80, -55, 40, -30)) +
         taps('Pan', (-60, 0, 45, 100)) +
         [('TapCount', 4), ('ModDepth', 40), ('ModRate', 37), ('Feedback', 90),
          ('LowPassOn', 1), ('LowPassStart', 3000), ('WetOut', -20),
          ('DryOut', -30), ('InputGain', -10)])


def extreme_settings():
    """(label, sets, rate, seconds of input)."""
    shortest = taps('Delay', (1,) * 8)
    full = [('TapCount', 8)]
    fb150 = [('Feedback', 150)]
    lp = [('LowPassOn', 1)]
    return [
        ('depth 100 at the shortest delay', shortest + [('ModDepth', 100)], 8000, 0.06),
        ('depth 100 shortest, 8 taps', shortest + full + [('ModDepth', 100)], 8000, 0.06),
        ('depth 100 shortest, 8 taps, rate 100', shortest + full +
         [('ModDepth', 100), ('ModRate', 100)], 11025, 0.05),
        ('depth 100 shortest, feedback 150', shortest + full + fb150 +
         [('ModDepth', 100), ('ModRate', 55)] + taps('Gain', (100, 90, 80, 70, 60, 50, 40, 30)),
         8000, 0.06),
        ('shortest delay, no sweep', shortest, 8000, 0.05),
        ('shortest delay, no sweep, 8 taps', shortest + full, 22050, 0.03),
        ('feedback 150 one tap', fb150 + [('TapDelay1', 2), ('WetOut', 0)], 8000, 0.05),
        ('feedback 150, gains cancel', fb150 + full +
         taps('Gain', (100, -100, 100, -100, 100, -100, 100, -100)), 8000, 0.1),
        ('feedback 150, all gains negative', fb150 + full +
         taps('Gain', (-100,) * 8), 8000, 0.1),
        ('feedback 150, all gains 100', fb150 + full + [('ModDepth', 25)], 8000, 0.08),
        ('feedback 150 with low-pass', fb150 + full + lp + [('LowPassStart', 100)] +
         taps('Gain', (100, 100, 0, 0, 0, 0, 0, 100)), 11025, 0.08),
        ('small gains sum below 1', fb150 + full + taps('Gain', (10, 5, 1, -3, 2, 7, 1, 1)),
         8000, 0.08),
        ('low-pass at half the rate', lp + [('LowPassStart', 4000)], 8000, 0.12),
        ('low-pass just below half the rate', lp + [('LowPassStart', 3999)], 8000, 0.12),
        ('low-pass above half the rate', lp + [('LowPassStart', 4001)], 8000, 0.12),
        ('low-pass at half of 11025', lp + [('LowPassStart', 5512)], 11025, 0.11),
        ('low-pass above half of 11025', lp + [('LowPassStart', 5513)], 11025, 0.11),
        ('low-pass 10000 at 20000 Hz', lp + [('LowPassStart', 10000)], 20000, 0.11),
        ('low-pass 10000 at 19999 Hz', lp + [('LowPassStart', 10000)], 19999, 0.11),
        ('low-pass lowest corner', lp + [('LowPassStart', 100)], 8000, 0.12),
        ('low-pass flag 2', [('LowPassOn', 2), ('LowPassStart', 1000)], 8000, 0.12),
        ('low-pass flag -1', [('LowPassOn', -1), ('LowPassStart', 1000)], 8000, 0.12),
        ('sweep rate 100, depth 100', [('ModDepth', 100), ('ModRate', 100)], 8000, 0.12),
        ('sweep rate 1, depth 100', [('ModDepth', 100), ('ModRate', 1)], 8000, 0.12),
        ('longest delay', [('TapDelay1', 2500), ('ModDepth', 0)], 8000, 0.05),
        ('longest delays, 8 taps, sweep', full + taps('Delay', (2500, 2499, 1, 1250, 2500, 7, 3, 2500))
         + [('ModDepth', 3), ('ModRate', 13), ('Feedback', 60)], 8000, 0.05),
        ('levels at 0 dB', [('WetOut', 0), ('DryOut', 0), ('InputGain', 0)], 8000, 0.12),
        ('input silenced', [('InputGain', -800), ('WetOut', 0)], 8000, 0.12),
        ('input -799', [('InputGain', -799), ('WetOut', 0), ('DryOut', 0)], 8000, 0.12),
        ('wet and dry off', [('WetOut', -800), ('DryOut', -800)], 8000, 0.12),
        # Out-of-range values, clamped by the setters.
        ('clamped low', [('TapCount', 0), ('TapDelay1', 0), ('TapGain1', -150),
                         ('TapPan1', -101), ('WetOut', -5000), ('DryOut', -900),
                         ('Feedback', -1), ('InputGain', -801), ('LowPassStart', 1),
                         ('ModDepth', -5), ('ModRate', 0), ('LowPassOn', 1)], 8000, 0.12),
        ('clamped high', [('TapCount', 9), ('TapDelay2', 9999), ('TapGain3', 101),
                          ('TapPan4', 300), ('WetOut', 5), ('DryOut', 60),
                          ('Feedback', 151), ('InputGain', 1), ('LowPassStart', 20000),
                          ('ModDepth', 101), ('ModRate', 101), ('LowPassOn', 1)],
         48000, 0.02),
        ('page state out of range', [('CurrentTap', 99), ('GraphResolution', -4)], 8000, 0.12),
        ('one-sample buffer at 1000 Hz', [('TapDelay1', 1), ('Feedback', 150), ('WetOut', 0)],
         1000, 0.2),
        ('8 taps at 2000 Hz', full + shortest + fb150 + [('ModDepth', 60), ('ModRate', 100)],
         2000, 0.2),
        ('pans at the ends', full + taps('Pan', (-100, 100, -100, 100, -100, 100, -100, 100)) +
         taps('Delay', (1, 2, 3, 5, 8, 13, 21, 34)), 8000, 0.06),
    ]


def build_cases(quick, rng):
    cases = []
    rates = (8000, 22050, 44100, 96000) if quick else ALL_RATES

    # Every format, channel count and rate: the default settings (one tap,
    # 100 ms) and a swept four-tap setting with feedback and low-pass.
    for fmt, nch in COMBOS:
        for rate in rates:
            sig = make_signal(fmt, nch, frames_for(rate, 0.15, 4000 if quick else 9000), rng)
            cases.append(Case('matrix default', fmt, nch, rate, sig))
            sig = make_signal(fmt, nch, frames_for(rate, 0.05 if quick else 0.08, 8000), rng)
            cases.append(Case('matrix swept', fmt, nch, rate, sig, sets=SWEPT))

    # Every preset by index on every format and channel count, at low rates
    # because of the long tails.
    # --quick: every preset still runs, mono and stereo, on rotating formats.
    for i, (fmt, nch) in enumerate(COMBOS):
        rate = (8000, 11025)[i % 2]
        sig = make_signal(fmt, nch, frames_for(rate, 0.15 if quick else 0.25, 8000), rng)
        for p in range(len(ref.PRESETS)):
            if quick and (p - i) % 5:
                continue
            cases.append(Case('preset %d' % p, fmt, nch, rate, sig, preset=p))

    # Presets by name, a few at higher rates.
    named = (0, 1, 4, 9, 12, 16, 21, 24, 25) if not quick else (0, 12, 24, 25)
    for k, p in enumerate(named):
        for nch in (1, 2):
            fmt = ref.FORMAT_NAMES[(p + nch) % 5]
            rate = (22050, 44100, 48000)[k % 3]
            sig = make_signal(fmt, nch, frames_for(rate, 0.05, 4000), rng)
            cases.append(Case('preset name', fmt, nch, rate, sig, preset=ref.PRESETS[p][0]))

    # Extreme and clamped settings on rotating formats.
    for k, (label, sets, rate, secs) in enumerate(extreme_settings()):
        # Long tails (2.5 s delays) run on fewer combinations.
        if quick:
            count = 1
        else:
            count = 2 if 'longest' in label else 4
        for j, (fmt, nch) in enumerate(COMBOS):
            if (j - 3 * k) % len(COMBOS) >= count:
                continue
            sig = make_signal(fmt, nch, frames_for(rate, secs, 4000), rng)
            cases.append(Case('extreme: ' + label, fmt, nch, rate, sig, sets=sets))

    # A preset followed by --set writes: the writes win.
    for fmt, nch in COMBOS[::3]:
        sig = make_signal(fmt, nch, 1200, rng)
        cases.append(Case('preset then set', fmt, nch, 8000, sig, preset=13,
                          sets=[('TapDelay8', 37), ('DryOut', -10), ('ModRate', 10)]))
        cases.append(Case('preset then set', fmt, nch, 8000, sig, preset='Stadium',
                          sets=[('TapCount', 3), ('Feedback', 150), ('ModDepth', 0)]))

    # Very short inputs: nothing, one frame, fewer frames than any delay.
    for fmt, nch in COMBOS:
        for frames in (0, 1, 3):
            sig = make_signal(fmt, nch, frames, rng) if frames else []
            cases.append(Case('short input', fmt, nch, 8000, sig,
                              sets=[('TapDelay1', 2), ('Feedback', 100), ('ModDepth', 50)]))

    # Random settings, rates, lengths and buffer sizes, in and out of range.
    # The sweep rates and sample rates come from small sets so that the
    # oscillator values repeat between runs.
    for k in range(16 if quick else 48):
        fmt, nch = COMBOS[k % len(COMBOS)]
        rate = rng.choice((8000, 8000, 11025, 16000, 22050))
        sets = [('TapCount', rng.randrange(0, 10))]
        for i in range(1, 9):
            if rng.random() < 0.8:
                sets.append(('TapDelay%d' % i, rng.choice((rng.randrange(0, 12),
                                                           rng.randrange(1, 160)))))
            if rng.random() < 0.8:
                sets.append(('TapGain%d' % i, rng.randrange(-110, 111)))
            if rng.random() < 0.6:
                sets.append(('TapPan%d' % i, rng.randrange(-110, 111)))
        if rng.random() < 0.7:
            sets.append(('ModDepth', rng.choice((0, rng.randrange(-2, 103)))))
        sets.append(('ModRate', rng.choice((1, 7, 37, 100))))
        if rng.random() < 0.8:
            sets.append(('Feedback', rng.randrange(-5, 160)))
        if rng.random() < 0.6:
            sets.append(('LowPassOn', rng.choice((0, 1, 1, 3))))
            sets.append(('LowPassStart', rng.randrange(50, 12000)))
        for f in ('WetOut', 'DryOut', 'InputGain'):
            if rng.random() < 0.6:
                sets.append((f, rng.choice((rng.randrange(-900, 20), 0, -800))))
        rng.shuffle(sets)
        preset = rng.choice((None, None, rng.randrange(len(ref.PRESETS))))
        frames = rng.randrange(0, 1500)
        sig = make_signal(fmt, nch, frames, rng)
        n = rng.choice((None, rng.randrange(1, 64), rng.randrange(1, 5000)))
        cases.append(Case('random', fmt, nch, rate, sig, preset=preset,
                          sets=sets, buffer_frames=n))

    # Unknown chunks before the sample data must be skipped.
    for fmt in ('pcm8', 'float32'):
        sig = make_signal(fmt, 2, 301, rng)
        cases.append(Case('extra chunks', fmt, 2, 8000, sig, preset=2,
                          extra_chunks=[(b'LIST', harness.LIST_INFO), (b'xtra', b'\x01\x02\x03')]))
    return cases


def buffer_groups(quick, rng):
    """Groups of cases differing only in --buffer-frames; each case is also
    compared with the model."""
    groups = []
    # Default at 8000 Hz: L = 840 frames of tail; preset 25 at 11025 Hz
    # (buffer of 177); the swept setting at 8000 Hz.
    configs = [
        (None, [], 8000, 840, [1, 7, None, 2, 840, 420, 120, 839, 841, 1000, 4095]),
        (25, [], 11025, None, [1, 7, None, 3, 177, 59, 176, 178, 600]),
        (None, SWEPT, 8000, None, [1, 7, None, 5, 64, 97, 1000, 4097]),
    ]
    for k, (preset, sets, rate, tail, sizes) in enumerate(configs):
        L = ref.tail_frames(1, rate, preset=preset, sets=sets)
        if tail is not None:
            assert L == tail, (L, tail)
        for fi, fmt in enumerate(ref.FORMAT_NAMES):
            for nch in (1, 2):
                if (fi + nch + k) % (3 if quick else 2):
                    continue
                sig = make_signal(fmt, nch, 900, rng)
                use = sizes[:5] if quick else sizes
                groups.append([Case('buffer frames', fmt, nch, rate, sig, preset=preset,
                                    sets=sets, buffer_frames=n) for n in use])
    return groups


def text_delay(rate, tap_delay_ms, tap=0):
    """Whole-sample delay of a tap and the buffer length of a single unswept
    tap, straight from the delay formula."""
    offset_ms = ref.TAP_OFFSET_MS[tap]
    d = math.trunc(rate * offset_ms * 0.001) + tap_delay_ms * math.trunc(rate * 0.001)
    return d, math.trunc(d * 1.05)


def passthrough_cases(quick, rng):
    """No wet signal and unity dry and input levels: output = input (values
    below 2^-32 become 0), then L frames of silence."""
    cases = []
    for fi, fmt in enumerate(ref.FORMAT_NAMES):
        for nch in (1, 2):
            for rate, extra in ((11025, []), (8000, [('Feedback', 150), ('ModDepth', 30)]),
                                (44100, [])):
                if quick and (extra or rate == 44100) and (fi + nch) % 2:
                    continue
                sets = [('WetOut', -800), ('DryOut', 0), ('InputGain', 0)] + extra
                sig = make_signal(fmt, nch, 1200, rng)
                d, L = text_delay(rate, 100)
                if extra:
                    L = math.trunc(d * 1.05 + 30 * 3e-5 * rate * 4.0)
                silence = ref.silence_code(fmt)
                expected = [0.0 if fmt.startswith('float') and abs(v) < 2.0 ** -32 else v
                            for v in sig] + [silence] * (L * nch)
                case = Case('pass-through', fmt, nch, rate, sig, sets=sets, modelled=False)
                case.property_expected = expected
                cases.append(case)
    return cases


def echo_code(fmt, codes):
    """Stored code of the echo of one frame of stored codes through a single
    tap at full gain: each channel's value (below 2^-32 taken as 0), their
    mean in stereo, limited to +-2^24 in the buffer, read back at 0 dB."""
    tiny = 2.0 ** -32
    vals = [ref.DECODERS[fmt](c) for c in codes]
    vals = [0.0 if abs(v) < tiny else v for v in vals]
    v = vals[0] if len(vals) == 1 else (vals[0] + vals[1]) * 0.5
    v = max(-16777216.0, min(16777216.0, v))
    return ref.ENCODERS[fmt](0.0 if abs(v) < tiny else v)


def shift_cases(quick, rng):
    """One tap at full gain, wet only, no feedback, sweep or low-pass: mono
    output is the input moved later by the tap's delay D; in stereo the
    buffer holds the mean of the two channels, so both outputs (or only the
    left one, with the tap panned fully left) are that mean moved later."""
    cases = []
    for fi, fmt in enumerate(ref.FORMAT_NAMES):
        for nch in (1, 2):
            for rate, tap, delay_ms, pan in ((8000, 1, 3, 0), (11025, 3, 7, -100),
                                             (44100, 7, 2, 100), (22050, 5, 11, 0)):
                if quick and (fi + nch + tap) % 3:
                    continue
                i = tap - 1
                sets = [('TapCount', tap), ('WetOut', 0), ('DryOut', -800),
                        ('TapPan%d' % tap, pan)]
                sets += [('TapGain%d' % t, 100 if t == tap else 0) for t in range(1, 9)]
                sets += [('TapDelay%d' % t, delay_ms if t == tap else 1) for t in range(1, 9)]
                # The other taps in use sit at 1 ms, shorter than this one.
                d, _ = text_delay(rate, delay_ms, i)
                d_all = [text_delay(rate, 1, t)[0] for t in range(i)] + [d]
                L = math.trunc(max(d_all) * 1.05)
                frames = 500
                sig = make_signal(fmt, nch, frames, rng)
                total = frames + L
                silence = ref.silence_code(fmt)
                expected = [silence] * (total * nch)
                for n in range(d, total):
                    if n - d >= frames:
                        break
                    src = (n - d) * nch
                    v = echo_code(fmt, sig[src:src + nch])
                    if nch == 1:
                        expected[n] = v
                    else:
                        if pan <= 0:
                            expected[n * 2] = v
                        if pan >= 0:
                            expected[n * 2 + 1] = v
                case = Case('single-tap shift', fmt, nch, rate, sig, sets=sets, modelled=False)
                case.property_expected = expected
                cases.append(case)
    return cases


def alias_groups(rng):
    """Groups that must give identical mwfx output."""
    groups = []
    for p, (name, _block) in enumerate(ref.PRESETS):
        fmt = ref.FORMAT_NAMES[p % 5]
        nch = 2 - p % 2
        sig = make_signal(fmt, nch, 500, rng)
        g = [Case('alias', fmt, nch, 8000, sig, preset=p, modelled=False),
             Case('alias', fmt, nch, 8000, sig, preset=name, modelled=False)]
        if p == 0:
            g += [Case('alias', fmt, nch, 8000, sig, modelled=False),
                  Case('alias', fmt, nch, 8000, sig, preset=1, modelled=False)]
        groups.append(g)
    # The page-state fields do not reach the sound.
    for fmt, nch in COMBOS[::2]:
        sig = make_signal(fmt, nch, 700, rng)
        groups.append([Case('page state', fmt, nch, 8000, sig, preset=11, modelled=False)] +
                      [Case('page state', fmt, nch, 8000, sig, preset=11,
                            sets=[('CurrentTap', ct), ('GraphResolution', gr)], modelled=False)
                       for ct, gr in ((7, 3), (3, 1), (100, -100))])
    # In mono the pans have no effect.
    for fmt in ref.FORMAT_NAMES:
        sig = make_signal(fmt, 1, 700, rng)
        groups.append([Case('mono pans', fmt, 1, 11025, sig, preset=p, sets=sets,
                            modelled=False)
                       for p, sets in ((24, []), (24, taps('Pan', (0,) * 8)),
                                       (24, taps('Pan', (-37, 100, 5, -100, 0, 1, -1, 64))))])
    # Out-of-range values equal their clamped values.
    for fmt, nch in COMBOS[1::3]:
        sig = make_signal(fmt, nch, 600, rng)
        groups.append([
            Case('clamped', fmt, nch, 8000, sig, modelled=False, sets=[
                ('TapCount', 2), ('TapDelay2', 2500), ('TapGain2', -100), ('Feedback', 150),
                ('ModDepth', 100), ('ModRate', 1), ('LowPassOn', 1), ('LowPassStart', 100),
                ('WetOut', 0), ('DryOut', -800)]),
            Case('clamped', fmt, nch, 8000, sig, modelled=False, sets=[
                ('TapCount', 12), ('TapDelay2', 2501), ('TapGain2', -101), ('Feedback', 1000),
                ('ModDepth', 101), ('ModRate', -3), ('LowPassOn', 1), ('LowPassStart', 99),
                ('WetOut', 1), ('DryOut', -801), ('TapCount', 2)])])
    return groups


# ---------------------------------------------------------------------------
# mwfx-only checks

def check_listing(results, runner):
    """`mwfx params` and `mwfx presets` name what the model knows."""
    rc, text, _err = runner.command(['params', EFFECT])
    words = set(w for line in text.splitlines() for w in line.split()[:1])
    missing = [f for f in ref.FIELDS if f not in words]
    results.check(rc == 0 and not missing, 'mwfx params lists the 35 fields',
                  'exit status %s, missing %r' % (rc, missing))
    rc, text, _err = runner.command(['presets', EFFECT])
    missing = [name for name, _b in ref.PRESETS if name not in text]
    results.check(rc == 0 and not missing, 'mwfx presets names the 26 presets',
                  'exit status %s, missing %r' % (rc, missing))


# ---------------------------------------------------------------------------
# Self-test of the model

def independent_output(fmt, nch, rate, samples, block):
    """The effect written as a recurrence over the whole history of values
    put into the delay buffer.

    A tap with delay D and sweep shortening k at frame n reads the value the
    buffer received d = ((D - k - 1) mod L) + 1 frames earlier (zero before
    the start): the buffer of L slots is written once per frame after all
    taps have read, so a read k slots past the write position sees what was
    written L frames ago.  The tail is L frames of silence.
    """
    count = block[ref.I_COUNT]
    per_ms = math.trunc(rate * 0.001)
    depth = block[ref.I_DEPTH] * 3e-5 * rate
    delays, sweeps, left, right, mono = [], [], [], [], []
    for i in range(count):
        delays.append(math.trunc(rate * ref.TAP_OFFSET_MS[i] * 0.001)
                      + block[ref.I_DELAY + i] * per_ms)
        sweeps.append(depth * ref.TAP_DEPTH_FACTOR[i])
        g = block[ref.I_GAIN + i] * 0.01
        pan = block[ref.I_PAN + i]
        mono.append(g)
        left.append(g if pan <= 0 else (100 - pan) * 0.01 * g)
        right.append(g if pan > 0 else (pan + 100) * 0.01 * g)
    L = math.trunc(max(delays) * 1.05 + depth * 4.0)
    total_gain = 0.0
    for i in range(count):
        total_gain += (left[i] + right[i]) if nch == 2 else mono[i]
    total_gain = max(total_gain, 1.0)
    fbk = block[ref.I_FEEDBACK] / (total_gain * 100)

    def lvl(v):
        return ref.exact_pow(10.0, v * 0.005) if v > -800 else 0.0
    gin, gdry, gwet = lvl(block[ref.I_INPUT]), lvl(block[ref.I_DRY]), lvl(block[ref.I_WET])
    if block[ref.I_LP_ON] and block[ref.I_LP_START] <= rate // 2:
        a = ref.exact_exp(-2 * math.pi * block[ref.I_LP_START] / rate)
    else:
        a = 0.0
    b = 1.0 - a
    step = 6.28318530718 / ((10.0 / block[ref.I_RATE]) * rate)

    def flush(v):
        return 0.0 if abs(v) < 2.0 ** -32 else v

    def clamp(v):
        return min(max(v, -16777216.0), 16777216.0)

    frames = len(samples) // nch
    total = frames + (L if frames else 0)
    dec = ref.DECODERS[fmt]
    enc = ref.ENCODERS[fmt]
    hist = []
    out = []
    pst = [0.0, 0.0]
    wst = [0.0, 0.0]
    for n in range(total):
        xs = [dec(samples[n * nch + c]) * gin if n < frames else 0.0 for c in range(nch)]
        ps = []
        for c in range(nch):
            pst[c] = flush(b * xs[c] + a * pst[c])
            ps.append(pst[c])
        m = ref.exact_sin(_phase(step, n)) + 1.0 if depth != 0.0 else 1.0
        accs = [0.0] * nch
        for i in range(count):
            k = math.trunc(m * sweeps[i] + (0.5 if nch == 1 else 0.0))
            d = (delays[i] - k - 1) % L + 1
            v = hist[n - d] if n - d >= 0 else 0.0
            if nch == 1:
                accs[0] += v * mono[i]
            else:
                accs[0] += v * left[i]
                accs[1] += v * right[i]
        ws = []
        for c in range(nch):
            wst[c] = flush(b * accs[c] + a * wst[c])
            ws.append(wst[c])
            out.append(enc(flush(ws[c] * gwet + xs[c] * gdry)))
        if nch == 1:
            hist.append(clamp(ws[0] * fbk + ps[0]))
        else:
            hist.append(clamp(((ws[0] + ws[1]) * fbk + ps[0] + ps[1]) * 0.5))
    return out


_PHASES = {}


def _phase(step, n):
    """Phase after n steps from 0, accumulated one step at a time."""
    seq = _PHASES.setdefault(step, [0.0])
    while len(seq) <= n:
        seq.append(seq[-1] + step)
    return seq[n]


def sin_direct(x, digits=150):
    """sin(x) by the Taylor series at x itself, no reduction (x up to ~30)."""
    ctx = decimal.Context(prec=digits)
    X = decimal.Decimal(x)
    term = X
    total = X
    k = 1
    eps = decimal.Decimal(10) ** -(digits - 20)
    while abs(term) > eps:
        term = ctx.divide(ctx.multiply(ctx.multiply(term, X), -X), (k + 1) * (k + 2))
        total = ctx.add(total, term)
        k += 2
    return total


def selftest(results):
    T = results.check

    # Conversions.
    T(ref.decode_pcm8(0x80) == 0.0 and ref.decode_pcm8(0x00) == -1.0
      and ref.decode_pcm8(0xFF) == 0.9921875, 'pcm8 decoding')
    T(ref.encode_pcm8(1.0) == 0xFF and ref.encode_pcm8(-1.0) == 0x00, 'pcm8 encoding')
    T(ref.encode_pcm8(-0.5 / 128) == 0x80 and ref.encode_pcm8(-1.5 / 128) == 0x7F,
      'pcm8 truncates toward zero')
    T(ref.encode_pcm16(0.99999) == 32767 and ref.encode_pcm16(-0.5 / 32768) == 0,
      'pcm16 32767.67 stores 32767, -0.5 LSB stores 0')
    T(ref.encode_pcm32(2147483647 / 2147483648) == 2147483647
      and ref.encode_pcm32(1.0) == 2147483647
      and ref.encode_pcm32(-2147483649 / 2147483648) == -2147483648, 'pcm32 clipping')
    T(ref.encode_float32(1.5) == 1.5 and ref.encode_float64(3.25) == 3.25
      and ref.encode_float32(0.1) != 0.1, 'float encodings')
    T(all(ref.encode_pcm8(ref.decode_pcm8(b)) == b for b in range(256))
      and all(ref.encode_pcm16(ref.decode_pcm16(s)) == s for s in range(-32768, 32768)),
      'pcm8 and pcm16 codes round-trip')

    # Elementary functions: correctly rounded, checked against evaluations
    # made another way.
    rng = random.Random(11)
    xs = [rng.uniform(0.0, 25.0) for _ in range(300)] + [1.0, 0.5, 3.0, 1e-3, 22.0]
    ok = all(ref.exact_sin(x) == float(sin_direct(x)) for x in xs)
    T(ok, 'sine agrees with a 150-digit series without reduction')
    ys = [rng.uniform(0.0, 3000.0) for _ in range(3000)]
    diff = [y for y in ys if ref.exact_sin(y) != math.sin(y)]
    T(len(diff) < 30 and all(abs(ref.exact_sin(y) - math.sin(y))
                             <= math.ulp(math.sin(y)) for y in diff),
      'sine differs from the C library by at most one ulp, rarely',
      '%d differences' % len(diff))
    T(ref.exact_sin(1.0) == 0.8414709848078965 and ref.exact_sin(0.0) == 0.0
      and ref.exact_sin(math.pi) == 1.2246467991473532e-16, 'sine of 1, 0 and pi')
    T(ref.exact_sin(1001.337016169365) == float(sin_direct(1001.337016169365, 560)),
      'sine of 1001.337016169365, a value the C library rounds the other way')
    ctx = decimal.Context(prec=120)
    ok = all(ref.exact_exp(x) == float(ctx.exp(decimal.Decimal(x)))
             for x in [rng.uniform(-8.0, 0.0) for _ in range(200)])
    T(ok, 'exponential agrees with a 120-digit evaluation')
    ok = all(ref.exact_pow(10.0, v * 0.005) ==
             float(ctx.exp(ctx.multiply(decimal.Decimal(v * 0.005), ctx.ln(10))))
             for v in range(-799, 1))
    T(ok, 'every level agrees with a 120-digit evaluation')
    T(ref.level(0) == 1.0 and ref.level(-800) == 0.0 and ref.level(-1000) == 0.0
      and ref.level(-799) > 0.0 and ref.level(-200) == 0.1, 'levels at 0, -20 dB and the floor')
    T(abs(ref.level(-60) - 0.501187) < 1e-6, 'level -60 is about 0.501')

    # Worked numbers.
    T(text_delay(44100, 100) == (4405, 4625), 'the delay formula: D = 4405, L = 4625 at 44100 Hz')
    e = ref.derived(1, 44100)
    T(abs(e.offset[0] - 5.4243) < 1e-12 and e.D[0] == 4405 and e.L == 4625 and e.tail == 4625,
      'default at 44100 Hz: offset 5.4243, D = 4405, L = 4625, tail 4625',
      'D %d L %d' % (e.D[0], e.L))
    stats = {}
    out = ref.run_host('pcm16', 1, 44100, [0] * 10, stats=stats)
    T(len(out) == 10 + 4625 and stats['tail_buffers'] == 2,
      'default at 44100 Hz: 4625 frames of tail, two buffers of 4096')
    T(ref.tail_frames(2, 44100) == 4625, 'the same in stereo')
    e = ref.derived(2, 44100, sets=[('ModDepth', 100)])
    T(abs(e.B - 132.3) < 1e-9 and abs(e.E[6] - 13.23) < 1e-9,
      'depth 100 % is 3 ms: B = 132.3 samples at 44100 Hz, tap 7 sweeps 13.23')
    T(e.L == math.trunc(4405 * 1.05 + e.B * 4.0) == 5154, 'L grows by 4 B: 5154')
    e = ref.derived(1, 8000, sets=[('TapCount', 8)] + taps('Delay', (1,) * 8))
    T(e.D[:8] == [8, 11, 5, 8, 6, 6, 11, 9] and e.L == 11,
      'shortest delays at 8000 Hz: offsets truncated toward zero, the negative ones too')
    e = ref.derived(1, 8000, sets=[('TapCount', 8)] + taps('Gain', (-100,) * 8)
                    + [('Feedback', 150)])
    T(e.S == 1.0 and e.fb == 1.5, 'all gains negative: S taken as 1.0')
    e = ref.derived(2, 8000, sets=[('TapCount', 2), ('TapGain1', 100), ('TapGain2', 50),
                                   ('TapPan1', -50), ('TapPan2', 20), ('Feedback', 150)])
    T(e.gain_l[:2] == [1.0, (100 - 20) * 0.01 * 0.5] and e.gain_r[:2] == [50 * 0.01 * 1.0, 0.5]
      and e.S == (1.0 + 0.5) + (0.4 + 0.5) and e.fb == 150 / (e.S * 100),
      'stereo gains from the pans, S sums left plus right')
    e = ref.derived(1, 8000, sets=[('TapCount', 2), ('TapGain1', 100), ('TapGain2', 50),
                                   ('Feedback', 150)])
    T(e.S == 1.5 and e.fb == 1.0, 'mono S sums the gains: fb 150 / 150 = 1')
    T(ref.derived(1, 8000).E == [0.0] * 8, 'depth 0: the taps do not move')
    e = ref.derived(1, 8000, sets=[('LowPassOn', 1), ('LowPassStart', 4001)])
    T(e.a == 0.0 and e.one_minus_a == 1.0, 'corner above half the rate: no low-pass')
    e = ref.derived(1, 8000, sets=[('LowPassOn', 1), ('LowPassStart', 4000)])
    T(e.a == ref.exact_exp(-2 * math.pi * 4000 / 8000) and abs(e.a - 0.0432139) < 1e-6,
      'corner at half the rate: a = exp(-pi)')
    e = ref.derived(1, 44100, sets=[('LowPassOn', 1)])
    T(e.a == ref.exact_exp(-6.283185307179586 * 5000 / 44100)
      and e.a != ref.exact_exp(-6.28318530718 * 5000 / 44100) and abs(e.a - 0.4904758) < 1e-6,
      'the low-pass uses 2 pi itself, not the shortened 6.28318530718 of the sweep')
    e = ref.derived(1, 11025, sets=[('LowPassOn', 1), ('LowPassStart', 5512)])
    T(e.a != 0.0 and ref.derived(1, 11025, sets=[('LowPassOn', 1), ('LowPassStart', 5513)]).a
      == 0.0, 'half of 11025 is 5512 (integer halving)')
    T(ref.derived(1, 8000, sets=[('LowPassStart', 1000)]).a == 0.0, 'low-pass off: a = 0')
    e = ref.derived(1, 48000, sets=[('ModRate', 37)])
    T(e.step == 6.28318530718 / ((10.0 / 37) * 48000)
      and abs(e.step - 2 * math.pi * 3.7 / 48000) < 1e-13, 'sweep step for 3.7 Hz')

    # The oscillator's sine: the shortcut through the C library's sine falls
    # back to the correctly rounded one near a rounding boundary of k, and a
    # swept run is the same either way.
    m = ref.exact_sin(0.3) + 1.0
    before = ref.lazy_sine_fallbacks
    ks = ref.sweep_shifts(0.3, [2.0, 16.5 / m], 0.5)
    T(ks == [int(m * 2.0 + 0.5), int(m * (16.5 / m) + 0.5)]
      and ref.lazy_sine_fallbacks == before + 1, 'k near a boundary uses the exact sine')
    ks = ref.sweep_shifts(0.3, [2.0, 16.3 / m], 0.0)
    T(ks == [int(m * 2.0), 16] and ref.lazy_sine_fallbacks == before + 1,
      'k far from a boundary needs no exact sine')
    ok = True
    for nch, rate, sets, frames in (
            (1, 8000, SWEPT, 700), (2, 11025, SWEPT, 500),
            (2, 8000, [('ModDepth', 100), ('ModRate', 100), ('TapDelay1', 1)], 600),
            (1, 22050, [('ModDepth', 77), ('ModRate', 3), ('TapCount', 3)], 300)):
        sig = make_signal('float64', nch, frames, rng)
        lazy = ref.run_host('float64', nch, rate, sig, sets=sets)
        ref.LAZY_SINE = False
        try:
            exact = ref.run_host('float64', nch, rate, sig, sets=sets)
        finally:
            ref.LAZY_SINE = True
        ok = ok and first_difference('float64', nch, exact, lazy) is None
    T(ok, 'swept runs are the same with the sine always correctly rounded')

    # Setters, presets and flags.
    T(ref.resolve_block(preset='Tapped delay, stereo pan')[:24] ==
      [17, 72, 118, 181, 240, 332, 416, 500, -91, 60, 40, -35, 31, -19, 14, -9,
       -100, 100, -100, 100, -100, 100, -100, 100]
      and ref.resolve_block(preset=24)[24:] == [8, -80, 0, 15, 0, 1, 4000, 0, 20, 0, 0],
      'preset 24 block')
    T(ref.preset_index('Channel delay for stereo simulation') == 25
      and ref.preset_index('7') == 7, 'presets by name and index')
    blk = ref.resolve_block(sets=[('TapCount', 0), ('TapDelay3', 2501), ('TapGain8', -101),
                                  ('TapPan1', 101), ('LowPassOn', -7), ('ModRate', 0),
                                  ('CurrentTap', 8), ('GraphResolution', -1),
                                  ('LowPassStart', 10001), ('Feedback', 151)])
    T(blk[24] == 1 and blk[2] == 2500 and blk[15] == -100 and blk[16] == 100
      and blk[29] == -7 and blk[32] == 1 and blk[33] == 7 and blk[34] == 0
      and blk[30] == 10000 and blk[27] == 150, 'setters clamp; the flag is stored as given')
    eng = ref.MultiTapEngine()
    T(eng.set_parameters(list(ref.PRESETS[3][1])) is True and eng.changed and eng.reinit,
      'whole-block write of a preset: no clamping, flags set')
    bad = list(ref.PRESETS[3][1])
    bad[27] = 200
    T(eng.set_parameters(bad) is False and eng.block[27] == 150, 'whole-block write clamps')
    eng.reinit = eng.changed = False
    eng.put('WetOut', -5)
    T(eng.changed and not eng.reinit, 'a level setter asks for a partial update only')
    eng.changed = False
    eng.put('WetOut', -5)
    T(not eng.changed, 'writing the stored value changes nothing')
    for f in ('ModDepth', 'Feedback', 'TapCount', 'TapGain4', 'TapDelay8', 'TapPan1'):
        eng.reinit = False
        eng.put(f, eng.get(f) + 1 if eng.get(f) < 0 else eng.get(f) - 1 if eng.get(f) > 1
                else 2)
        T(eng.reinit, '%s setter asks for a full set-up' % f)

    # Impulse responses.
    def impulse_run(nch, rate, sets, frames, channel=0, fmt='float64', **kw):
        return ref.run_host(fmt, nch, rate, impulse(fmt, nch, frames, 0, channel),
                            sets=sets, **kw)

    echo = [('WetOut', 0), ('DryOut', -800)]
    out = impulse_run(1, 8000, echo, 20)
    T(len(out) == 20 + 840 and [i for i, v in enumerate(out) if v] == [800]
      and out[800] == 1.0, 'mono default tap at 0 dB: the impulse comes back after 800 frames')
    out = impulse_run(2, 8000, echo + [('TapPan1', -100)], 20)
    T(out[1600] == 0.5 and out[1601] == 0.0 and sum(1 for v in out if v) == 1,
      'stereo, tap panned fully left: half the impulse on the left only')
    out = impulse_run(2, 8000, echo + [('TapPan1', 60)], 20, channel=1)
    T(out[1600] == (100 - 60) * 0.01 * 1.0 * 0.5 and out[1601] == 0.5,
      'stereo pan 60: the left gain is 0.4 of the right')
    out = impulse_run(1, 8000, echo + [('Feedback', 150), ('TapDelay1', 1)], 900)
    hits = [(i, v) for i, v in enumerate(out) if v]
    want = []
    v = 1.0
    for r in range(1, 114):
        want.append((8 * r, min(v, 16777216.0)))
        v *= 1.5
    T(hits == want, 'feedback 150 %: echoes every 8 frames grow by 1.5 until the limit',
      repr(hits[:4]))
    stats = {}
    ref.run_host('float64', 1, 8000, [0.0], sets=[('TapDelay1', 1)], stats=stats)
    T(stats['L'] == 8 and stats['D'] == [8] and stats['read_past_end'],
      'shortest single tap: D = L = 8 at 8000 Hz, the first read one slot past the end')
    out = impulse_run(1, 8000, echo + [('LowPassOn', 1), ('LowPassStart', 1000)], 10)
    a = ref.exact_exp(-2 * math.pi * 1000 / 8000)
    T(out[0] == 0.0 and out[800] == (1 - a) * ((1 - a) * 1.0), 'low-pass acts on input and taps')
    T(out[801] == (1 - a) * ((1 - a) * a) + a * out[800], 'both one-pole states run')

    # Sweep rounding: mono adds 0.5 before truncating, stereo does not.
    sets = echo + [('ModDepth', 100), ('TapDelay1', 10)]
    out_m = impulse_run(1, 8000, sets, 5)
    out_s = impulse_run(2, 8000, sets + [('TapPan1', -100)], 5)
    first_m = min(i for i, v in enumerate(out_m) if v)
    first_s = min(i // 2 for i, v in enumerate(out_s) if v)
    T(first_m < first_s, 'mono sweep rounds to nearest, stereo truncates',
      '%d %d' % (first_m, first_s))

    # Re-initialisation rules, driving the engine buffer by buffer.
    def engine(nch, rate, sets):
        eng = ref.configured_engine(sets=sets)
        eng.set_format(nch, rate)
        return eng

    def feed(eng, fmt, frames, mode=1, source=None):
        buf = source if source is not None else [ref.silence_code(fmt)] * (frames * eng.channels)
        res, got = eng.process_buffer(fmt, mode, buf, frames)
        return buf[:got * eng.channels], res

    base = echo + [('TapCount', 2), ('TapDelay2', 50)]
    eng = engine(1, 8000, base)
    created = eng.buffers_created
    feed(eng, 'float64', 100, 0, impulse('float64', 1, 100))
    eng.put('TapGain1', 50)
    out2, _ = feed(eng, 'float64', 1000)
    T(eng.buffers_created == created and out2[800 - 100] == 0.5,
      'a tap gain change keeps the buffer: the echo sounds at the new gain')
    T(all((eng.read[i] - eng.write) % eng.L == eng.D[i] % eng.L for i in range(2)),
      'every tap keeps its delay after a full set-up that keeps the buffer')
    eng = engine(1, 8000, base)
    feed(eng, 'float64', 100, 0, impulse('float64', 1, 100))
    eng.put('TapDelay2', 120)
    out2, _ = feed(eng, 'float64', 1000)
    T(eng.buffers_created == created + 1 and not any(out2),
      'a longer longest delay recreates the buffer: the echoes restart from silence')
    eng = engine(1, 8000, base)
    feed(eng, 'float64', 100, 0, impulse('float64', 1, 100))
    eng.put('WetOut', -60)
    out2, _ = feed(eng, 'float64', 1000)
    T(eng.partial_updates >= 1 and eng.full_inits == 1 and out2[700] == ref.level(-60),
      'a level change is a partial update: the echo keeps sounding')
    eng = engine(1, 8000, base + [('ModDepth', 30)])
    feed(eng, 'float64', 100, 0, impulse('float64', 1, 100))
    phase = eng.phase
    eng.put('ModRate', 50)
    feed(eng, 'float64', 1)
    T(eng.phase == phase + eng.step and eng.step == 6.28318530718 / ((10.0 / 50) * 8000),
      'a rate change continues the sweep from its phase with the new step')
    eng = engine(1, 8000, base)
    feed(eng, 'float64', 100, 0, impulse('float64', 1, 100))
    out2, _ = feed(eng, 'float64', 1000, 0)
    T(out2[700] == 1.0 and eng.buffers_created == created,
      'a discontinuity keeps the buffer and its contents')
    eng = engine(1, 8000, base)
    feed(eng, 'float64', 100, 0, impulse('float64', 1, 100))
    eng.put('TapPan2', 40)
    out2, _ = feed(eng, 'float64', 1000, 0)
    T(out2[700] == 1.0 and eng.full_inits == 2, 'a discontinuity with a pending tap change '
      'applies it in full and keeps the buffer of the same length')
    eng = engine(1, 8000, base)
    feed(eng, 'float64', 100, 0, impulse('float64', 1, 100))
    eng.put('TapGain1', 10)
    _, res = feed(eng, 'float64', 100, 2)
    T(res == 0 and eng.full_inits == 1 and eng.tail == 740,
      'a tail buffer neither ends on nor applies a change')
    eng = engine(2, 8000, base)
    _, res = feed(eng, 'pcm16', 100, 0, [5] * 200)
    outs = [feed(eng, 'pcm16', 400, 2) for _ in range(3)]
    T([len(o) // 2 for o, _ in outs] == [400, 400, 40] and [r for _, r in outs] == [0, 0, 1],
      'tail of L = 840 frames in buffers of 400: 400, 400, 40 frames, finished on the last')
    o, r = feed(eng, 'pcm16', 400, 2)
    T(o == [] and r == 1, 'an exhausted tail gives an empty buffer and finishes again')
    eng = engine(1, 8000, [])
    buf = [0x80] * 5
    res, got = eng.process_buffer('pcm8', 2, buf, 5)
    T(buf == [0x80] * 5 and got == 5, 'pcm8 tail silence stays 0x80')

    # The model against the history recurrence, and independent of the
    # buffer size.
    ok_rec = ok_buf = True
    for trial in range(20):
        fmt = ref.FORMAT_NAMES[trial % 5]
        nch = 1 + trial % 2
        rate = rng.choice((8000, 11025, 16000))
        sets = [('TapCount', rng.randrange(1, 9)),
                ('ModDepth', rng.choice((0, 20, 100))),
                ('ModRate', rng.choice((1, 37, 100))),
                ('Feedback', rng.choice((0, 40, 150))),
                ('LowPassOn', rng.choice((0, 1))),
                ('LowPassStart', rng.choice((100, 2000, 9000))),
                ('WetOut', rng.choice((-800, -60, 0))),
                ('DryOut', rng.choice((-800, -60, 0))),
                ('InputGain', rng.choice((-100, 0)))]
        sets += taps('Delay', [rng.choice((1, 2, 3, 9, 20)) for _ in range(8)])
        sets += taps('Gain', [rng.randrange(-100, 101) for _ in range(8)])
        sets += taps('Pan', [rng.randrange(-100, 101) for _ in range(8)])
        sig = make_signal(fmt, nch, rng.randrange(0, 400), rng)
        rec, buf = harness.model_agreement(ref, independent_output, 'recurrence',
                                           fmt, nch, rate, sig, sets, (1, 7, 64),
                                           compare=first_difference)
        ok_rec = ok_rec and rec
        ok_buf = ok_buf and buf
    T(ok_rec, 'model equals the history recurrence')
    T(ok_buf, 'model output independent of buffer size')

    # Every preset against the recurrence (at 4000 Hz: shorter tails).
    ok = True
    for p, (name, block) in enumerate(ref.PRESETS):
        nch = 1 + p % 2
        fmt = ref.FORMAT_NAMES[p % 5]
        sig = make_signal(fmt, nch, 200, rng)
        if first_difference(fmt, nch, independent_output(fmt, nch, 4000, sig, list(block)),
                            ref.run_host(fmt, nch, 4000, sig, preset=p)) is not None:
            ok = False
            print('  recurrence mismatch for preset %d' % p)
    T(ok, 'every preset equals the history recurrence')

    # WAV files.
    harness.check_wav_round_trips(results, rng, 22050)


# ---------------------------------------------------------------------------

def probe(runner):
    """None when mwfx processes the effect, else its message."""
    in_path, out_path = runner.new_paths('probe')
    wavio.write_wav(in_path, 1, 1, 8000, 16, ref.pack_samples('pcm16', [0] * 16))
    rc, msg = runner.run(in_path, out_path, [])
    return None if rc == 0 else (msg or 'exit status %s' % rc)


def main(argv=None):
    opts = harness.parse_options(__doc__, argv, seed=20240917,
                                 jobs_help='processes run at once')
    timing = {}

    def run_selftest(results):
        start = time.time()
        selftest(results)
        timing['selftest_seconds'] = time.time() - start

    def check_mwfx(results, mwfx, tmpdir, rng):
        runner = harness.Runner(mwfx, tmpdir, EFFECT)
        why = probe(runner)
        if why is not None:
            results.fail('mwfx process %s' % EFFECT, why)
            return
        jobs = max(1, opts.jobs)
        cases = build_cases(opts.quick, rng)
        groups = buffer_groups(opts.quick, rng)
        passthrough = passthrough_cases(opts.quick, rng)
        shifts = shift_cases(opts.quick, rng)
        aliases = alias_groups(rng)
        everything = (cases + [c for g in groups for c in g] + passthrough +
                      shifts + [c for g in aliases for c in g])
        harness.run_cases(runner, everything, results, jobs, ref, procs=jobs,
                          cost=model_cost, compare=first_difference,
                          block_align=True, timing=timing)
        harness.check_groups_equal(results, groups, 'same output for any buffer size',
                                   compare=first_difference)
        harness.check_groups_equal(results, aliases, 'same output',
                                   compare=first_difference)
        harness.check_property(results, passthrough, 'pass-through',
                               compare=first_difference)
        harness.check_property(results, shifts, 'shift', compare=first_difference)
        harness.check_errors(results, runner, make_signal('pcm16', 1, 100, rng), [
            ['--preset', '26'], ['--preset', '-1'], ['--preset', 'No such preset'],
            ['--set', 'Unknown=1'], ['--set', 'TapDelay9=5'], ['--set', 'TapGain0=5'],
            ['--set', 'ModDepth=abc'], ['--set', 'TapCount'],
        ])
        check_listing(results, runner)

    return harness.run_main(opts, EFFECT, run_selftest, check_mwfx, timing=timing)


if __name__ == '__main__':
    sys.exit(main())
