#!/usr/bin/env python3
"""Compare `mwfx process chorus` with the plain-Python Chorus model.

Usage:
  check_mwfx_chorus.py --selftest                 # the model alone
  check_mwfx_chorus.py --mwfx PATH [--quick]      # self-test, then mwfx checks

Each failing check prints one line; the last line is `N passed, M failed`
and the exit status is non-zero on any failure.

What is compared: the sample data of mwfx's output, byte for byte, against
the model (two NaNs of any payload count as equal; nothing else is
tolerated, not even the sign of a zero), and the output's format tag, bits,
channels, rate and length against the input's.  Checks that need no model
run through mwfx alone: output independent of --buffer-frames, presets by
name and by index alike (and the rows holding the same block alike), flags
that count whenever non-zero, a high cut at or above half the rate that does
nothing, silent chorus levels that return the input unchanged, fixed delays
whose output is written out sample by sample, an inverted chorus phase that
only negates a one-voice wet signal, the preset and field listings, the
saved settings record, and refused requests.
"""

import math
import os
import random
import struct
import sys
import time
import uuid

sys.dont_write_bytecode = True     # leave no __pycache__ beside the sources
HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import chorus_ref as ref  # noqa: E402
import harness  # noqa: E402
import wavio  # noqa: E402
from harness import COMBOS, F32_MAX, F32_MIN_SUB, Case, frames_for  # noqa: E402

EFFECT = 'chorus'
RECORD_IID = '{4F1B2D83-63A7-11D0-9D27-4E7A91C2D05F}'


# ---------------------------------------------------------------------------
# Comparing

def first_difference(fmt, nch, expected, actual, by_value=False):
    """None when equal, else a one-line description of the first difference:
    floats bit for bit (any two NaNs alike), or by value (the sign of zero
    aside)."""
    return harness.first_difference(
        fmt, nch, expected, actual, zero_signs=True,
        same=harness.same_value if by_value else harness.same_bits)


def value_difference(fmt, nch, expected, actual):
    return first_difference(fmt, nch, expected, actual, by_value=True)


# ---------------------------------------------------------------------------
# Test signals

def extremes(fmt, wild=False):
    """Stored values at and around full scale, plus silence.  `wild` adds
    float values far beyond full scale, where sums in the delay lines
    overflow."""
    if fmt not in harness.FLOAT_FORMATS:
        return harness.pcm_extremes(fmt)
    if fmt == 'float32':
        ext = [-1.0, 1.0, 0.0, -0.0, 1.5, -2.75, 4.0, 0.9999999403953552,
               F32_MIN_SUB, -F32_MIN_SUB, ref.to_single(1e-40),
               ref.to_single(-3e-39), ref.to_single(1.1754942e-38),
               ref.to_single(2.5e-11), ref.to_single(-1.9e-11)]
        if wild:
            ext += [F32_MAX, -F32_MAX, ref.to_single(1e30)]
        return ext
    ext = [-1.0, 1.0, 0.0, -0.0, 1.5, -2.75, 8.0, 5e-324, -5e-324, 2.2e-310,
           -1e-320, 2.2250738585072014e-308, 1e-30, 2.5e-11, -1.9e-11]
    if wild:
        ext += [1e300, -1e300, 1.7e308, -1.7e308]
    return ext


def noise_value(fmt, rng):
    if fmt not in harness.FLOAT_FORMATS:
        return harness.pcm_noise(fmt, rng)
    v = rng.uniform(-1.0, 1.0)
    if rng.random() < 0.1:
        v *= rng.choice((1.0001, 2.0, 3.5))              # above full scale
    elif rng.random() < 0.05:
        v *= rng.choice((1e-10, 3e-11, 1e-38, 1e-300))   # near the floor, tiny
    return ref.to_single(v) if fmt == 'float32' else v


def make_signal(fmt, nch, frames, rng, wild=False, with_inf=False):
    """Interleaved stored values: extremes, noise, a tone, silence, bursts."""
    ext = extremes(fmt, wild)
    silence = ref.silence_code(fmt)
    out = []
    quiet_from = int(frames * 0.6)
    quiet_to = int(frames * 0.72)
    tone_from = int(frames * 0.3)
    tone_to = int(frames * 0.45)
    period = rng.randrange(7, 60)
    for n in range(frames):
        for c in range(nch):
            if n < len(ext) * 2:
                v = ext[(n + 3 * c) % len(ext)]
            elif quiet_from <= n < quiet_to:
                v = silence
            elif tone_from <= n < tone_to:
                # a square wave of full-scale codes: long runs of one value
                v = ext[0] if (n // period) % 2 else ext[1]
            else:
                r = rng.random()
                v = rng.choice(ext) if r < 0.06 else noise_value(fmt, rng)
            out.append(v)
    if with_inf and fmt in ('float32', 'float64') and frames >= 8:
        for k, v in enumerate((math.inf, -math.inf)):
            out[(frames // 3 + 5 * k) * nch] = v
    return out


def tame_signal(fmt, nch, frames, rng):
    """A signal whose floats stay within +-8, so that no sum in the lines can
    overflow (what make_signal gives without `wild`)."""
    return make_signal(fmt, nch, frames, rng, wild=False)


# ---------------------------------------------------------------------------
# Running mwfx

def diagnose(case):
    """For a case that differs from the model: does a neighbouring reading of
    the high-cut coefficient (its 2 pi written as 6.28318530718, as the
    oscillators' is) reproduce mwfx?  Returns a note or ''."""
    block = ref.resolve_block(case.preset, case.sets)
    if not (block[ref.F_ATTENUATE] and block[ref.F_CUTOFF] < case.rate // 2):
        return ''
    saved = ref.HIGHCUT_TWO_PI
    try:
        ref.HIGHCUT_TWO_PI = ref.PHASE_TWO_PI
        alt = ref.run_host(case.fmt, case.nch, case.rate, case.samples,
                           preset=case.preset, sets=case.sets)
    finally:
        ref.HIGHCUT_TWO_PI = saved
    if first_difference(case.fmt, case.nch, alt, case.actual) is None:
        return ' [mwfx matches the model with 6.28318530718 as the high cut\'s 2 pi]'
    return ''


# ---------------------------------------------------------------------------
# Case lists

ALL_RATES = (8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000)
QUICK_RATES = (8000, 22050, 44100, 96000)


def build_cases(quick, rng):
    cases = []
    rates = QUICK_RATES if quick else ALL_RATES

    # Every format, channel count and rate with the default settings; the
    # input outlasts the longest voice delay (about 45 ms) so every voice
    # reads what was written.
    for k, (fmt, nch) in enumerate(COMBOS):
        for j, rate in enumerate(rates):
            if quick and (j + k) % 2:
                continue
            frames = frames_for(rate, 0.06, 6000, floor=600)
            cases.append(Case('matrix', fmt, nch, rate,
                              make_signal(fmt, nch, frames, rng)))

    # Every preset by index, on formats and channel counts in turn.
    for p in range(len(ref.PRESETS)):
        picks = range(len(COMBOS)) if not quick else (p % len(COMBOS),)
        for j in picks:
            if not quick and (p + j) % 2:
                continue        # half of the combinations per preset
            fmt, nch = COMBOS[j]
            rate = (8000, 11025)[(p + j // 2) % 2]
            frames = frames_for(rate, 0.14, 1500)
            cases.append(Case('preset %d' % p, fmt, nch, rate,
                              make_signal(fmt, nch, frames, rng), preset=p))
    # ... and each once at 44100 Hz, long enough for the 100 ms voices.
    for p in range(len(ref.PRESETS)):
        if quick and p % 4:
            continue
        fmt, nch = COMBOS[(3 * p + 1) % len(COMBOS)]
        frames = 5200 if not quick else 2600
        cases.append(Case('preset %d' % p, fmt, nch, 44100,
                          make_signal(fmt, nch, frames, rng), preset=p))

    # Some presets by name.
    for p in (2, 8, 15, 23) if not quick else (15,):
        for nch in (1, 2):
            fmt = ref.FORMAT_NAMES[(p + nch) % 5]
            cases.append(Case('preset name', fmt, nch, 8000,
                              make_signal(fmt, nch, 900, rng),
                              preset=ref.PRESETS[p][0]))

    # Extreme and clamped settings: (sets, preset, rate, seconds).
    fl = [('ChorusSize', 1)]
    extreme = [
        # depth 100 % at the shortest delay: D = 0 at 8000 Hz (reads 6500
        # samples back), D = 4, D_1 = 3, E = 4 at 44100 Hz (voice 1 sweeps
        # below zero delay and wraps)
        ([('ChorusOutDelay', 1), ('ModulationDepth', 100)], None, 8000, 0.9),
        ([('ChorusOutDelay', 1), ('ModulationDepth', 100)], None, 44100, 0.05),
        ([('ChorusOutDelay', 1), ('ModulationDepth', 100), ('ModulationRate', 20000)],
         None, 44100, 0.05),
        ([('ChorusOutDelay', 1), ('ModulationDepth', 100), ('Feedback', 100)],
         None, 96000, 0.03),
        ([('ChorusOutDelay', 3), ('ModulationDepth', 100), ('DryOut', -600),
          ('ChorusOut', 0)], None, 22050, 0.05),
        ([('ChorusOutDelay', 30), ('ModulationDepth', 100), ('ModulationRate', 13000)],
         None, 48000, 0.05),
        # feedback 150 % stores 100 %; negative stores 0
        ([('Feedback', 150)], None, 8000, 0.15),
        ([('Feedback', 150), ('InvertFeedbackPhase', 1)], None, 11025, 0.15),
        ([('Feedback', -20)], 3, 8000, 0.1),
        ([('Feedback', 100), ('ChorusOutDelay', 5)] + fl, None, 8000, 0.2),
        ([('Feedback', 100), ('ChorusOutDelay', 1000), ('ModulationDepth', 100)],
         None, 8000, 0.4),
        # the high cut around half the rate
        ([('AttenuateHighs', 1), ('HighCutoff', 3999)], None, 8000, 0.1),
        ([('AttenuateHighs', 1), ('HighCutoff', 4000)], None, 8000, 0.1),
        ([('AttenuateHighs', 1), ('HighCutoff', 4001)], None, 8000, 0.1),
        ([('AttenuateHighs', 1), ('HighCutoff', 5511)], 8, 11025, 0.1),
        ([('AttenuateHighs', 1), ('HighCutoff', 5512)], 8, 11025, 0.1),
        ([('AttenuateHighs', 1), ('HighCutoff', 5513)], 8, 11025, 0.1),
        ([('AttenuateHighs', 1), ('HighCutoff', 100)], 23, 8000, 0.1),
        ([('AttenuateHighs', 1), ('HighCutoff', 10000)], 23, 44100, 0.03),
        ([('AttenuateHighs', 1), ('HighCutoff', 9999)], 2, 22050, 0.05),
        ([('AttenuateHighs', 1), ('HighCutoff', 20), ('Feedback', 90)], None, 8000, 0.1),
        ([('AttenuateHighs', 1), ('HighCutoff', 99999)], None, 22050, 0.05),
        ([('AttenuateHighs', -3), ('HighCutoff', 1234)], 12, 16000, 0.08),
        # delay lines shorter than the voices' delays at high rates
        ([('ChorusOutDelay', 1000)], None, 96000, 0.09),
        ([('ChorusOutDelay', 1000), ('ModulationDepth', 100)], None, 96000, 0.09),
        ([('ChorusOutDelay', 1000), ('ModulationDepth', 100),
          ('ModulationRate', 20000)], None, 88200, 0.09),
        ([('ChorusOutDelay', 600), ('ModulationDepth', 100)], None, 64000, 0.12),
        ([('ChorusOutDelay', 1000)], 17, 58000, 0.12),
        # levels at and beyond their ends
        ([('DryOut', -600)], None, 8000, 0.1),
        ([('DryOut', -601), ('ChorusSize', 2)], None, 8000, 0.1),
        ([('ChorusOut', -600)], None, 11025, 0.1),
        ([('ChorusOut', -599), ('DryOut', 0)], None, 8000, 0.1),
        ([('InputGain', -600)], None, 8000, 0.1),
        ([('InputGain', 30), ('DryOut', 20), ('ChorusOut', 5)], None, 8000, 0.1),
        ([('InputGain', -1), ('DryOut', -1), ('ChorusOut', -1)], None, 8000, 0.1),
        # flags with other non-zero values
        ([('InvertChorusPhase', 1)], None, 8000, 0.1),
        ([('InvertChorusPhase', -7), ('InvertFeedbackPhase', 2), ('Feedback', 60)],
         2, 8000, 0.1),
        ([('InvertFeedbackPhase', 1), ('Feedback', 100)] + fl, None, 8000, 0.1),
        # sizes, rates, depths and delays beyond their ranges
        ([('ChorusSize', 0)], None, 8000, 0.1),
        ([('ChorusSize', 4)], None, 8000, 0.1),
        ([('ChorusSize', 2)], None, 11025, 0.1),
        ([('ModulationRate', 0)], None, 8000, 0.1),
        ([('ModulationRate', 1)], 8, 8000, 0.1),
        ([('ModulationRate', 30000), ('ModulationDepth', 100)], None, 8000, 0.1),
        ([('ModulationDepth', 0)], None, 8000, 0.1),
        ([('ModulationDepth', 250)], None, 8000, 0.1),
        ([('ChorusOutDelay', 0)], None, 8000, 0.1),
        ([('ChorusOutDelay', 5000)], None, 8000, 0.2),
        ([('ChorusOutDelay', 999), ('ModulationDepth', 99)], None, 8000, 0.2),
        ([('ChorusOutDelay', 125), ('ModulationDepth', 1)], None, 8000, 0.05),  # D = 100: E = 1
        ([('ChorusOutDelay', 124), ('ModulationDepth', 1)], None, 8000, 0.05),  # D = 99: E = 0
        # 29 x 0.01 x 100 = 28.999999999999996 in doubles: E = 28, not 29
        ([('ChorusOutDelay', 125), ('ModulationDepth', 29)], None, 8000, 0.1),
        ([('ChorusOutDelay', 63), ('ModulationDepth', 58), ('ChorusSize', 1)],
         None, 8000, 0.1),
    ]
    for k, (sets, preset, rate, secs) in enumerate(extreme):
        for j, (fmt, nch) in enumerate(COMBOS):
            # a few rotating combinations each (fewer with --quick)
            if (j - 3 * k) % len(COMBOS) >= (1 if quick else 3):
                continue
            frames = frames_for(rate, secs, 9000)
            cases.append(Case('extreme', fmt, nch, rate,
                              make_signal(fmt, nch, frames, rng),
                              preset=preset, sets=sets))

    # 64-bit float runs, where the last bits of every coefficient show: the
    # high cut at several corners, and wide sweeps whose sines are scaled by
    # a depth of 100 % (a sine off by one unit in the last place moves the
    # read position and so the output).
    for nch in (1, 2):
        for k, (cutoff, rate) in enumerate(((100, 8000), (1000, 44100), (3999, 8000),
                                            (9999, 22050), (5000, 48000))):
            if quick and (k + nch) % 2:
                continue
            cases.append(Case('high cut', 'float64', nch, rate,
                              make_signal('float64', nch, 1200, rng), preset=8,
                              sets=[('AttenuateHighs', 1), ('HighCutoff', cutoff)]))
        for k, (rate, delay, mod_rate) in enumerate(((44100, 300, 7000),
                                                     (48000, 250, 20000),
                                                     (22050, 500, 3000))):
            if quick and (k + nch) % 2:
                continue
            cases.append(Case('wide sweep', 'float64', nch, rate,
                              make_signal('float64', nch, 1600 if quick else 3000, rng),
                              sets=[('ChorusOutDelay', delay), ('ModulationDepth', 100),
                                    ('ModulationRate', mod_rate), ('Feedback', 40)]))
        # Negative line positions: at 10000 Hz, D = E = 1000 and D_1 = 811,
        # so voice 1's delay dips to -189; its period of 8535 samples puts
        # the dip (sine near -1 at counter 6400) where the write index is
        # near 0 (samples 6311 to 6500), so position w + d falls below 0 and
        # is brought up by 6500.
        cases.append(Case('negative position', 'float64', nch, 10000,
                          make_signal('float64', nch, 7000, rng),
                          sets=[('ChorusOutDelay', 1000), ('ModulationDepth', 100),
                                ('ModulationRate', 951), ('ChorusSize', 2),
                                ('Feedback', 20)]))

    # A preset followed by --set writes: the writes win.
    for fmt, nch in COMBOS[::3]:
        cases.append(Case('preset then set', fmt, nch, 8000,
                          make_signal(fmt, nch, 900, rng), preset=5,
                          sets=[('ChorusSize', 3), ('ModulationRate', 3333)]))

    # Overflowing float input and infinities (NaN results compare equal).
    for fmt in ('float32', 'float64'):
        for nch in (1, 2):
            for sets in ([], [('Feedback', 50), ('ChorusSize', 1)],
                         [('AttenuateHighs', 1), ('HighCutoff', 1000)]):
                if quick and sets:
                    continue
                sig = make_signal(fmt, nch, 700, rng, wild=True, with_inf=True)
                if fmt == 'float64' and nch == 2:
                    # both channels near the top of the range: their sum
                    # overflows before the halving
                    for n in range(60, 66):
                        sig[2 * n] = sig[2 * n + 1] = 1.7e308
                cases.append(Case('wild input', fmt, nch, 8000, sig, sets=sets))

    # Very short inputs.
    for fmt, nch in COMBOS:
        for frames in (0, 1, 3):
            sig = make_signal(fmt, nch, frames, rng) if frames else []
            cases.append(Case('short input', fmt, nch, 8000, sig,
                              sets=[('ChorusOutDelay', 1)]))

    # Buffer sizes, against the model.
    for k, n in enumerate((1, 7, 4096, 2, 63, 64, 1000, 1023, 5000)):
        if quick and k >= 4:
            break
        fmt, nch = COMBOS[(k * 3) % len(COMBOS)]
        cases.append(Case('buffer frames', fmt, nch, 11025,
                          make_signal(fmt, nch, 1300, rng),
                          preset=(0, 2, 9, 23)[k % 4], buffer_frames=n))

    # Random settings, rates, lengths and buffer sizes, in and out of range.
    for k in range(20 if quick else 70):
        fmt, nch = COMBOS[k % len(COMBOS)]
        rate = rng.choice(ALL_RATES + (rng.randrange(4000, 100000),))
        sets = []
        if rng.random() < 0.5:
            sets.append(('InputGain', rng.choice((0, -600, rng.randrange(-700, 40)))))
        if rng.random() < 0.6:
            sets.append(('DryOut', rng.randrange(-700, 40)))
        if rng.random() < 0.6:
            sets.append(('ChorusOut', rng.randrange(-700, 40)))
        if rng.random() < 0.6:
            sets.append(('ChorusSize', rng.randrange(0, 5)))
        if rng.random() < 0.6:
            sets.append(('Feedback', rng.randrange(-10, 160)))
        if rng.random() < 0.3:
            sets.append(('InvertChorusPhase', rng.choice((0, 1, -2, 5))))
        if rng.random() < 0.6:
            sets.append(('ChorusOutDelay', rng.choice((rng.randrange(-2, 30),
                                                       rng.randrange(1, 1100)))))
        if rng.random() < 0.6:
            sets.append(('ModulationRate', rng.choice((rng.randrange(-5, 500),
                                                       rng.randrange(1, 25000)))))
        if rng.random() < 0.6:
            sets.append(('ModulationDepth', rng.randrange(-5, 120)))
        if rng.random() < 0.4:
            sets.append(('AttenuateHighs', rng.choice((0, 1, 3))))
        if rng.random() < 0.5:
            sets.append(('HighCutoff', rng.randrange(50, 12000)))
        if rng.random() < 0.3:
            sets.append(('InvertFeedbackPhase', rng.choice((0, 1, -1))))
        preset = rng.choice((None, None, rng.randrange(len(ref.PRESETS))))
        frames = rng.randrange(0, min(2500, rate // 8))
        n = rng.choice((None, rng.randrange(1, 64), rng.randrange(1, 5000)))
        cases.append(Case('random', fmt, nch, rate,
                          make_signal(fmt, nch, frames, rng),
                          preset=preset, sets=sets, buffer_frames=n))

    # Unknown chunks before the sample data must be skipped.
    for fmt in ('pcm8', 'float32'):
        cases.append(Case('extra chunks', fmt, 2, 8000,
                          make_signal(fmt, 2, 301, rng),
                          extra_chunks=[(b'LIST', harness.LIST_INFO),
                                        (b'xtra', b'\x01\x02\x03')]))
    return cases


# ---------------------------------------------------------------------------
# mwfx-only cases

def equal_groups(quick, rng):
    """Groups of runs that must give identical output: (label, [cases])."""
    groups = []
    sizes = [None, 1, 7, 4096, 2, 100, 999, 1000, 1001, 3000]
    if quick:
        sizes = sizes[:5]
    for k, (fmt, nch) in enumerate(COMBOS):
        if quick and k % 3:
            continue
        sig = make_signal(fmt, nch, 2000, rng)
        preset = (0, 2, 8, 14, 23)[k % 5]
        groups.append(('same output for any buffer size',
                       [Case('buffer group', fmt, nch, 11025, sig, preset=preset,
                             buffer_frames=n, modelled=False) for n in sizes]))

    # By index and by name; rows 0, 1 and 10 hold the same block.
    for p, row in enumerate(ref.PRESETS):
        if quick and p % 3:
            continue
        fmt, nch = COMBOS[p % len(COMBOS)]
        sig = make_signal(fmt, nch, 700, rng)
        g = [Case('alias', fmt, nch, 8000, sig, preset=p, modelled=False),
             Case('alias', fmt, nch, 8000, sig, preset=row[0], modelled=False)]
        if p == 0:
            g += [Case('alias', fmt, nch, 8000, sig, modelled=False),
                  Case('alias', fmt, nch, 8000, sig, preset=1, modelled=False),
                  Case('alias', fmt, nch, 8000, sig, preset=10, modelled=False)]
        groups.append(('same output by name and index', g))

    # Flags count whenever non-zero; feedback phase means nothing without
    # feedback; a high cut at or above half the rate does nothing.
    for k, (fmt, nch) in enumerate(COMBOS):
        if quick and k % 2:
            continue
        sig = make_signal(fmt, nch, 900, rng)
        rate = 8000

        def c(sets, preset=8):
            return Case('flags', fmt, nch, rate, sig, preset=preset, sets=sets,
                        modelled=False)
        groups.append(('non-zero flag values alike', [
            c([('InvertChorusPhase', 1), ('InvertFeedbackPhase', 1)]),
            c([('InvertChorusPhase', -1), ('InvertFeedbackPhase', 9)]),
            c([('InvertChorusPhase', 2147483647), ('InvertFeedbackPhase', -2147483648)])]))
        groups.append(('feedback phase without feedback', [
            c([('Feedback', 0)], preset=10),
            c([('Feedback', 0), ('InvertFeedbackPhase', 1)], preset=10)]))
        groups.append(('high cut at or above half the rate is off', [
            c([('AttenuateHighs', 0), ('HighCutoff', 4000)]),
            c([('AttenuateHighs', 1), ('HighCutoff', 4000)]),
            c([('AttenuateHighs', 5), ('HighCutoff', 4001)]),
            c([('AttenuateHighs', 1), ('HighCutoff', 10000)])]))
        groups.append(('high cut of any non-zero flag alike', [
            c([('AttenuateHighs', 1), ('HighCutoff', 2500)]),
            c([('AttenuateHighs', -4), ('HighCutoff', 2500)])]))
        groups.append(('out-of-range values clamp', [
            c([('Feedback', 100), ('ChorusSize', 3), ('ModulationDepth', 100),
               ('ChorusOutDelay', 1000), ('ModulationRate', 20000),
               ('HighCutoff', 100), ('AttenuateHighs', 1), ('InputGain', 0)]),
            c([('Feedback', 150), ('ChorusSize', 9), ('ModulationDepth', 101),
               ('ChorusOutDelay', 100000), ('ModulationRate', 20001),
               ('HighCutoff', -5), ('AttenuateHighs', 1), ('InputGain', 7)])]))
    return groups


def fixed_delay_expectation(fmt, nch, samples, delays, voices, g_dry=0.0):
    """Output of a chorus whose voices do not move (depth 0), without feedback,
    high cut, input gain or dry level, with the chorus level at 0 dB, written
    out sample by sample.  delays: the voices' base delays in samples (0 means
    the whole line, 6500).  Mono: y0 = 0.9 r0, y1 = y0 + 0.81 r1 where each
    r is the voice's input that many samples back (forced to 0 below 2e-11);
    stereo voice 0 reads the mean of the two channels and weights it 0.9
    left and 0.95 right."""
    dec = ref.DECODERS[fmt]
    enc = ref.ENCODERS[fmt]
    frames = len(samples) // nch
    w = [0.9, 0.9 * 0.9, 0.9 * 0.9 * 0.9]

    def floor(v):
        return 0.0 if abs(v) < 2e-11 else v

    feeds = [[] for _ in range(voices)]
    out = []
    for n in range(frames):
        xs = [dec(samples[n * nch + c]) for c in range(nch)]
        ys = None
        for v in range(voices):
            back = delays[v] or 6500
            if nch == 1:
                x = xs[0] if v == 0 else ys[0]
                feeds[v].append(x)
                r = floor(feeds[v][n - back]) if n >= back else 0.0
                y = r * w[0] + x * g_dry if v == 0 else x + r * w[v]
                ys = [y]
            else:
                if v == 0:
                    m = (xs[0] + xs[1]) * 0.5
                else:
                    m = (ys[0] + ys[1]) * 0.5
                feeds[v].append(m)
                r = floor(feeds[v][n - back]) if n >= back else 0.0
                base = [xs[0] * g_dry, xs[1] * g_dry] if v == 0 else ys
                ys = [base[0] + r * 0.9, base[1] + r * 0.95]
        out.extend(enc(y) for y in ys)
    return out


def property_cases(quick, rng):
    """Cases with a model-free expectation."""
    cases = []
    for k, (fmt, nch) in enumerate(COMBOS):
        # Chorus level at its floor: the input alone comes out, whatever the
        # voices do (finite input only).
        for j, extra in enumerate(([], [('Feedback', 100), ('ChorusSize', 3),
                                        ('ModulationDepth', 100)])):
            if quick and (k + j) % 2:
                continue
            sig = tame_signal(fmt, nch, 1200, rng)
            c = Case('pass-through', fmt, nch, 8000, sig,
                     sets=[('ChorusOut', -600), ('DryOut', 0),
                           ('InputGain', 0)] + extra, modelled=False)
            c.property_expected = list(sig)
            cases.append(c)

        # Fixed delays: depth 1 % of fewer than 100 samples does not move.
        layouts = [
            # (rate, ChorusOutDelay, voices, delays D_0, D_1)
            (44100, 1, 2, (4, 3)),          # 0.1 ms at 44100 Hz: 4 and 3
            (8000, 50, 1, (40,)),
            (8000, 1, 1, (0,)),             # D = 0: the whole line, 6500
            (22050, 40, 2, (88, 71)),
        ]
        for j, (rate, delay, voices, delays) in enumerate(layouts):
            if quick and (k + j) % 3:
                continue
            frames = 7000 if delays[0] == 0 else 600
            sig = tame_signal(fmt, nch, frames, rng)
            c = Case('fixed delay', fmt, nch, rate, sig,
                     sets=[('ChorusOutDelay', delay), ('ModulationDepth', 1),
                           ('ChorusSize', voices), ('DryOut', -600),
                           ('ChorusOut', 0), ('InputGain', 0), ('Feedback', 0)],
                     modelled=False)
            c.property_expected = fixed_delay_expectation(fmt, nch, sig, delays,
                                                          voices)
            cases.append(c)
    return cases


def negation_pairs(quick, rng):
    """One voice without dry signal: inverting the chorus phase negates the
    output exactly (float formats, where rounding is symmetric)."""
    pairs = []
    for fmt in ('float32', 'float64'):
        for nch in (1, 2):
            for preset in (2, 8, 23) if not quick else (8,):
                sig = tame_signal(fmt, nch, 800, rng)
                sets = [('DryOut', -600), ('ChorusSize', 1),
                        ('AttenuateHighs', 1), ('HighCutoff', 2000)]
                a = Case('phase', fmt, nch, 8000, sig, preset=preset,
                         sets=sets + [('InvertChorusPhase', 0)], modelled=False)
                b = Case('phase', fmt, nch, 8000, sig, preset=preset,
                         sets=sets + [('InvertChorusPhase', 1)], modelled=False)
                pairs.append((a, b))
    return pairs


def check_groups_equal(results, groups):
    for label, group in groups:
        harness.check_groups_equal(results, [group], label, compare=first_difference)


def check_properties(results, cases):
    """Each case's property, named after the case, compared by value."""
    harness.check_property(results, cases, compare=value_difference)


def check_negations(results, pairs):
    for a, b in pairs:
        if a.actual is None or b.actual is None:
            continue
        name = 'inverted chorus phase negates [%s %dch preset %s]' % (
            a.fmt, a.nch, a.preset)
        err = first_difference(a.fmt, a.nch, [-v for v in a.actual], b.actual,
                               by_value=True)
        if err is None and not any(v != 0 for v in a.actual):
            err = 'the output is silent'
        if err is None:
            results.ok(name)
        else:
            results.fail(name, err)


# ---------------------------------------------------------------------------
# Listings, records and refusals

def check_listings(results, runner):
    rc, out, err = runner.command(['presets', EFFECT])
    got = []
    for line in out.splitlines():
        parts = line.strip().split(None, 1)
        if parts and parts[0].isdigit():
            got.append((int(parts[0]), parts[1] if len(parts) > 1 else ''))
    want = [(i, row[0]) for i, row in enumerate(ref.PRESETS)]
    results.check(rc == 0 and got == want, 'mwfx presets chorus lists the 24 rows',
                  'status %s, got %r' % (rc, got[:30] or err))

    rc, out, err = runner.command(['params', EFFECT])
    rows = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 2 and parts[0] in ref.FIELDS:
            rows[parts[0]] = line
    ok = rc == 0 and sorted(rows) == sorted(ref.FIELDS)
    bad = []
    for i, field in enumerate(ref.FIELDS):
        line = rows.get(field, '')
        parts = line.split()
        if len(parts) < 2 or parts[1] != str(ref.PRESETS[0][1 + i]):
            bad.append(field)
            continue
        rng = ref.FIELD_RANGES[field]
        if rng is not None and not ('%d to %d' % rng) in line:
            bad.append(field)
    results.check(ok and not bad, 'mwfx params chorus: fields, defaults, ranges',
                  'status %s, missing or wrong: %r' % (
                      rc, bad or sorted(set(ref.FIELDS) - set(rows))))


def record_bytes(block, size=68, iid=RECORD_IID):
    return (struct.pack('<I', size) + uuid.UUID(iid).bytes_le
            + struct.pack('<12i', *block))


def check_records(results, runner, rng):
    """The saved record of the settings, and a loaded record's clamping."""
    in_path, out_path = runner.new_paths('record')
    sig = make_signal('pcm16', 1, 300, rng)
    wavio.write_wav(in_path, 1, 1, 8000, 16, ref.pack_samples('pcm16', sig))
    rec = os.path.join(runner.tmpdir, 'saved.rec')
    sets = [('ChorusSize', 7), ('Feedback', 150), ('InvertChorusPhase', -3),
            ('HighCutoff', 12), ('ModulationRate', 4321)]
    args = ['--preset', 'Hard flange']
    for f, v in sets:
        args += ['--set', '%s=%d' % (f, v)]
    rc, msg = runner.run(in_path, out_path, args + ['--save-record', rec])
    want = record_bytes(ref.resolve_block('Hard flange', sets))
    try:
        with open(rec, 'rb') as f:
            got = f.read()
    except OSError as e:
        got = str(e).encode()
    results.check(rc == 0 and got == want, 'saved record: 68 bytes, tag, clamped block',
                  'status %s %s; got %s, expected %s' % (rc, msg, got.hex(), want.hex()))

    # A record holding out-of-range values is loaded with them clamped: the
    # sound equals that of the clamped settings.
    wild = [30, -700, 5, 0, 300, 1, 0, 30000, 0, 1, 99999, 2]
    rec2 = os.path.join(runner.tmpdir, 'wild.rec')
    with open(rec2, 'wb') as f:
        f.write(record_bytes(wild))
    rc, msg = runner.run(in_path, out_path, ['--load-record', rec2])
    actual = None
    if rc == 0:
        actual = ref.unpack_samples('pcm16', wavio.read_wav(out_path).data)
    clamped = [ref.clamp_field(f, v) for f, v in zip(ref.FIELDS, wild)]
    expected = ref.run_host('pcm16', 1, 8000, sig,
                            sets=list(zip(ref.FIELDS, clamped)))
    err = 'status %s %s' % (rc, msg) if rc != 0 else \
        first_difference('pcm16', 1, expected, actual)
    results.check(err is None, 'loaded record with out-of-range fields is clamped',
                  err or '')

    for label, blob in (('size 64', record_bytes(clamped, size=64)),
                        ('another tag', record_bytes(
                            clamped, iid='{3C41A873-5E2D-11D0-9D27-4E7A91C2D05F}'))):
        rec3 = os.path.join(runner.tmpdir, 'bad.rec')
        with open(rec3, 'wb') as f:
            f.write(blob)
        rc, msg = runner.run(in_path, out_path, ['--load-record', rec3])
        harness.expect_error(results, rc, msg, 'record with %s refused' % label)


def check_errors(results, runner, rng):
    """Invalid requests must end with a non-zero status and a message."""
    harness.check_errors(results, runner, make_signal('pcm16', 1, 100, rng), [
        ['--preset', '24'], ['--preset', '-1'], ['--preset', 'No such preset'],
        ['--set', 'Unknown=1'], ['--set', 'ChorusSize=abc'], ['--set', 'ChorusSize'],
        ['--set', 'DelayTime=10'],
    ])


# ---------------------------------------------------------------------------
# Self-test of the model

def independent_mono(fmt, rate, samples, block):
    """The mono chain restated on time-indexed histories.

    Each voice keeps the list of everything written to it; a read at line
    position p, with the write index at (-n) mod 6500 after n samples, is
    the value written (p_index - write) mod 6500 samples ago, where 0 stands
    for 6500.  Coefficients and sines come from the model's own helpers.
    """
    (in_gain, dry_out, chorus_out, size, feedback, inv_c, delay, mod_rate,
     depth, att, cutoff, inv_f) = block
    g_in = ref.level(in_gain)
    g_dry = ref.level(dry_out)
    lvl = ref.level(chorus_out) * (-1 if inv_c else 1)
    fb = feedback * 0.01 * (-1 if inv_f else 1)
    if att and cutoff < rate // 2:
        a = ref.exp_cr(-ref.HIGHCUT_TWO_PI * cutoff / rate)
    else:
        a = 0.0
    D = math.trunc(rate * delay * 0.0001)
    E = math.trunc(depth * 0.01 * D)
    w = [0.9 * lvl]
    w += [0.9 * w[0]]
    w += [0.9 * w[1]]
    voices = []
    for m in ref.VOICE_MULTIPLIERS[:size]:
        P = math.trunc(rate * m * 1000 / mod_rate)
        voices.append({'base': math.trunc(D * m), 'P': P,
                       'step': 6.28318530718 / P, 'hist': [], 'state': 0.0})
    dec = ref.DECODERS[fmt]
    enc = ref.ENCODERS[fmt]
    out = []
    for n, stored in enumerate(samples):
        x = dec(stored) * g_in
        y = None
        for k, v in enumerate(voices):
            sine = ref.sin_cr((n % v['P']) * v['step'])
            write = (-n) % 6500
            p = write + (v['base'] + E * sine)
            p = math.fmod(p, 6500.0)
            if p < 0:
                p += 6500.0
            i = int(p)

            def held(index):
                ago = (index - write) % 6500 or 6500
                return v['hist'][n - ago] if n >= ago else 0.0
            lo = held(i)
            r = lo + (held((i + 1) % 6500) - lo) * (p - i)
            s = (1.0 - a) * r + a * v['state']
            s = 0.0 if abs(s) < 2e-11 else s
            v['state'] = s
            y_new = s * w[0] + x * g_dry if k == 0 else x + s * w[k]
            v['hist'].append(x + s * fb)
            x = y = y_new
        out.append(enc(y))
    return out


def selftest(results, quick=False):
    T = results.check

    # Conversions.
    T(ref.DECODERS['pcm8'](0x80) == 0.0 and ref.DECODERS['pcm8'](0) == -1.0
      and ref.DECODERS['pcm8'](0xFF) == 0.9921875, 'pcm8 decodes 0x80, 0x00, 0xFF')
    T(ref.ENCODERS['pcm8'](1.0) == 0xFF and ref.ENCODERS['pcm8'](-1.0) == 0x00,
      'pcm8 encodes 1.0 and -1.0 to 0xFF and 0x00')
    T(ref.ENCODERS['pcm8'](-0.5 / 128) == 0x80 and ref.ENCODERS['pcm8'](-1.5 / 128) == 0x7F,
      'pcm8 truncates toward zero')
    T(ref.ENCODERS['pcm16'](0.99999) == 32767 and ref.ENCODERS['pcm16'](-0.5 / 32768) == 0,
      'pcm16 32767.67 stores 32767, -0.5 LSB stores 0')
    T(ref.ENCODERS['pcm32'](2147483647 / 2147483648) == 2147483647
      and ref.ENCODERS['pcm32'](1.0) == 2147483647
      and ref.ENCODERS['pcm32'](-2147483649 / 2147483648) == -2147483648,
      'pcm32 limits')
    T(ref.ENCODERS['float32'](1.5) == 1.5 and ref.ENCODERS['float64'](3.25) == 3.25
      and ref.ENCODERS['float32'](1e39) == math.inf, 'float results pass unclipped')
    T(all(ref.ENCODERS['pcm8'](ref.DECODERS['pcm8'](b)) == b for b in range(256))
      and all(ref.ENCODERS['pcm16'](ref.DECODERS['pcm16'](s)) == s
              for s in range(-32768, 32768, 7)), 'integer codes round-trip')

    # Correctly rounded functions: the decimal evaluations agree with the C
    # library nearly always, never by more than one unit in the last place.
    rng = random.Random(11)
    ts = [rng.uniform(0.0, 6.3) for _ in range(300 if quick else 1500)]
    ts += [math.pi, 2 * math.pi, math.pi / 2, 1e-300, 5e-324, 6.28318530718]
    diff = far = 0
    for t in ts:
        v, lib = ref.sin_cr(t), math.sin(t)
        if v != lib:
            diff += 1
            if v not in (math.nextafter(lib, 2.0), math.nextafter(lib, -2.0)):
                far += 1
    T(far == 0 and diff <= len(ts) // 50,
      'sin: %d of %d differ from the C library by one ulp, none by more' % (diff, len(ts)))
    T(ref.sin_cr(0.0) == 0.0 and ref.sin_cr(math.pi / 2) == 1.0
      and ref.sin_cr(math.pi) == 1.2246467991473532e-16
      and ref.sin_cr(5e-324) == 5e-324, 'sin worked values')
    # A value where an evaluation carrying too few digits misrounds: the
    # direct series at 120 digits must agree with the 80-digit result.
    ok = all(float(ref.sin_dec(t, ref._WIDE)) == ref.sin_cr(t) for t in ts[:200])
    T(ok, 'sin at 80 digits equals sin at 120 digits')
    xs = [-rng.uniform(0.0, 8.0) for _ in range(300)]
    diff = sum(1 for x in xs if ref.exp_cr(x) != math.exp(x))
    far = sum(1 for x in xs if ref.exp_cr(x) not in (
        math.exp(x), math.nextafter(math.exp(x), 0), math.nextafter(math.exp(x), 9)))
    T(far == 0 and diff <= 10, 'exp agrees with the C library within one ulp')
    T(ref.exp_cr(0.0) == 1.0 and ref.pow10_cr(0.0) == 1.0 and ref.pow10_cr(-3.0) == 0.001,
      'exp(0) = 1, 10^0 = 1, 10^-3 = 0.001')
    ys = [k * 0.005 for k in range(-599, 1)]
    diff = sum(1 for y in ys if ref.pow10_cr(y) != 10.0 ** y)
    far = sum(1 for y in ys if ref.pow10_cr(y) not in (
        10.0 ** y, math.nextafter(10.0 ** y, 0), math.nextafter(10.0 ** y, 9)))
    T(far == 0 and diff <= 12, 'levels agree with the C library within one ulp '
      '(%d of 600 differ)' % diff)
    # The sine tables equal the direct evaluation.
    for period in (331, 9999, 88200):
        step = 6.28318530718 / period
        tab = ref.SineTable(step)
        ks = sorted(set([0, 1, 2, period // 4, period // 2, period - 1]
                        + [rng.randrange(period) for _ in range(15 if quick else 60)]))
        tab.extend_to(ks[-1])
        bad = [k for k in ks if tab.values[k] != ref.sin_cr(k * step)]
        T(not bad, 'sine table of period %d equals direct sines' % period,
          'differs at counters %r' % bad[:5])

    # Levels.
    T(abs(ref.level(-60) - 0.501187) < 1e-6 and ref.level(0) == 1.0,
      'level -6 dB is about 0.501, 0 dB is 1')
    T(ref.level(-600) == 0.0 and ref.level(-601) == 0.0
      and abs(ref.level(-599) - 0.0010116) < 1e-7, 'level -600 and below is 0')

    # Worked numbers and derived values.
    e = ref.engine_for(1, 44100, sets=[('ChorusOutDelay', 1)])
    T(e.delay == 4 and e.voices[1].base == 3 and e.voices[2].base == 4,
      '0.1 ms at 44100 Hz: D = 4, D_1 = 3, D_2 = 4')
    T(e.depth == 0, 'depth 3 % of 4 samples is 0')
    e = ref.engine_for(1, 8000, sets=[('ChorusOutDelay', 124), ('ModulationDepth', 1)])
    T(e.delay == 99 and e.depth == 0, 'depth 1 % of D = 99 is 0')
    e = ref.engine_for(1, 8000, sets=[('ChorusOutDelay', 125), ('ModulationDepth', 1)])
    T(e.delay == 100 and e.depth == 1, 'depth 1 % of D = 100 is 1')
    e = ref.engine_for(1, 8000, sets=[('ChorusOutDelay', 125), ('ModulationDepth', 29)])
    T(e.delay == 100 and e.depth == 28, 'depth 29 % of D = 100 in doubles: E = 28')
    e = ref.engine_for(2, 44100)
    T(e.delay == 1764 and [v.base for v in e.voices] == [1764, 1431, 1997]
      and e.depth == 52, 'default at 44100 Hz: D = 1764, voices 1764, 1431, 1997, E = 52')
    # 44100 x 0.811731 = 35797.3371 and 44100 x 1.132329 = 49935.7089; the
    # periods at 0.8 Hz are those times 1000 / 800, truncated.
    T([v.period for v in e.voices] == [55125, 44746, 62419],
      'default at 44100 Hz: periods 55125, 44746, 62419')
    T(e.voices[0].step == 6.28318530718 / 55125, 'phase step 6.28318530718 / P')
    T(e.w[0] == 0.9 * e.chorus and e.w[1] == 0.9 * e.w[0] and e.w[2] == 0.9 * e.w[1]
      and e.pan_l == 0.9 * e.chorus and e.pan_r == 0.95 * e.chorus,
      'wet gains 0.9, 0.81, 0.729 of L; pans 0.9 and 0.95 of L')
    e = ref.engine_for(1, 8000, sets=[('InvertChorusPhase', 3), ('Feedback', 40),
                                      ('InvertFeedbackPhase', -1)])
    T(e.chorus == -ref.level(-44) and e.fb == -(40 * 0.01), 'inverted phases negate')
    e = ref.engine_for(1, 96000, sets=[('ChorusOutDelay', 1000), ('ModulationDepth', 100)])
    T(e.delay == 9600 and e.depth == 9600 and e.voices[2].base == 10870,
      '100 ms at 96000 Hz: D and E of 9600 exceed the line')
    # 5740 x 1.132329 = 6499.57 and 5742 x 1.132329 = 6501.83
    e = ref.engine_for(1, 57400, sets=[('ChorusOutDelay', 1000)])
    e2 = ref.engine_for(1, 57420, sets=[('ChorusOutDelay', 1000)])
    T(e.voices[2].base == 6499 and e2.voices[2].base == 6501,
      'the third voice outgrows the line just above 57 kHz')
    for rate, cutoff, on in ((8000, 3999, True), (8000, 4000, False),
                             (11025, 5511, True), (11025, 5512, False),
                             (11025, 5513, False)):
        e = ref.engine_for(1, rate, sets=[('AttenuateHighs', 1), ('HighCutoff', cutoff)])
        T((e.a != 0.0) == on and (e.a_comp == 1.0 - e.a),
          'high cut %d Hz at %d Hz %s' % (cutoff, rate, 'on' if on else 'off'))
    e = ref.engine_for(1, 44100, sets=[('AttenuateHighs', 1), ('HighCutoff', 1000)])
    T(abs(e.a - math.exp(-2 * math.pi * 1000 / 44100)) < 1e-15,
      'high cut 1000 Hz at 44100 Hz: a = exp(-2 pi 1000 / 44100)')

    # Parameter interface.
    eng = ref.ChorusEngine()
    T(eng.apply_preset(0) and eng.block == list(ref.PRESETS[0][1:]), 'preset 0 block')
    blk = list(ref.PRESETS[0][1:])
    blk[ref.F_SIZE] = 4
    T(eng.set_parameters(blk) is False and eng.get('ChorusSize') == 3,
      'whole-block write of ChorusSize 4 stores 3 and reports it')
    eng.put('ChorusSize', 4)
    T(eng.get('ChorusSize') == 3, 'setter of ChorusSize 4 stores 3')
    T(len(ref.PRESETS) == 24 and ref.preset_index('Hard flange') == 23
      and ref.preset_index('15') == 15, 'preset table of 24 rows')
    T(ref.resolve_block(sets=[('Feedback', 150), ('InvertChorusPhase', -9),
                              ('HighCutoff', 20000), ('ModulationRate', 0),
                              ('InputGain', 4)])
      == [0, -60, -44, 3, 100, -9, 400, 1, 3, 0, 10000, 0],
      'setters clamp ranged fields and keep flags as given')
    T(ref.PRESETS[1][1:] == ref.PRESETS[0][1:] == ref.PRESETS[10][1:],
      'rows 0, 1 and 10 hold the same block')

    # Impulse responses through the whole host path.
    def impulse(nch, rate, sets, frames, channel=0):
        sig = [0.0] * (frames * nch)
        sig[channel] = 1.0
        return ref.run_host('float64', nch, rate, sig, sets=sets)

    dry_off = [('DryOut', -600), ('ChorusOut', 0), ('ModulationDepth', 1),
               ('ChorusOutDelay', 1)]
    out = impulse(1, 44100, dry_off + [('ChorusSize', 1)], 20)
    T([(i, v) for i, v in enumerate(out) if v] == [(4, 0.9)],
      'one voice at 0.1 ms, 44100 Hz: 0.9 after 4 samples')
    out = impulse(1, 44100, dry_off + [('ChorusSize', 2)], 20)
    T([(i, v) for i, v in enumerate(out) if v] == [(4, 0.9), (7, 0.9 * (0.9 * 0.9))],
      'two voices in series: 0.9 after 4, 0.9 x 0.81 after 4 + 3')
    out = impulse(2, 44100, dry_off + [('ChorusSize', 1)], 20, channel=1)
    T([(i, v) for i, v in enumerate(out) if v] == [(8, 0.5 * 0.9), (9, 0.5 * 0.95)],
      'stereo: the mean of both channels, 0.9 left and 0.95 right')
    out = impulse(1, 8000, [('DryOut', 0), ('ChorusOut', -600)], 50)
    T(out[0] == 1.0 and not any(out[1:]), 'chorus level at its floor: dry only')
    out = impulse(1, 8000, [('DryOut', -600), ('ChorusOut', 0), ('ChorusSize', 1),
                            ('ChorusOutDelay', 1)], 6510)
    T([(i, v) for i, v in enumerate(out) if v] == [(6500, 0.9)],
      'D = 0 reads the input 6500 samples back')
    out = impulse(1, 8000, [('DryOut', -600), ('ChorusOut', 0), ('ChorusSize', 1),
                            ('ChorusOutDelay', 50), ('ModulationDepth', 1),
                            ('Feedback', 50)], 200)
    T([(i, v) for i, v in enumerate(out) if v] == [(40, 0.9), (80, 0.9 * 0.5),
                                                   (120, 0.9 * 0.5 * 0.5),
                                                   (160, 0.9 * 0.5 * 0.5 * 0.5)],
      'feedback 50 %: each echo half the previous')
    out = impulse(1, 8000, [('DryOut', -600), ('ChorusOut', 0), ('ChorusSize', 1),
                            ('ChorusOutDelay', 50), ('ModulationDepth', 1),
                            ('Feedback', 50), ('InvertFeedbackPhase', 1)], 130)
    T([v for v in out if v] == [0.9, 0.9 * -0.5, 0.9 * -0.5 * -0.5],
      'inverted feedback alternates the echoes\' signs')
    # Depth 100 % with voice 1 sweeping below zero delay: such reads fetch
    # samples written 6500 - k samples earlier, silence in a short stream.
    e = ref.engine_for(1, 44100, sets=[('ChorusOutDelay', 1), ('ModulationDepth', 100),
                                       ('ModulationRate', 20000)])
    v1 = e.voices[1]
    ds = [v1.base + e.depth * v1.table.extend_to(k) for k in range(v1.period)]
    T(e.depth == 4 and v1.base == 3 and min(ds) < 0 and max(ds) > 6,
      'depth 100 % at 0.1 ms: voice 1 delay sweeps from below 0 to above 6')
    n = 8000
    sig = [math.sin(0.01 * k) for k in range(n)]
    sets = [('ChorusOutDelay', 1), ('ModulationDepth', 100), ('ModulationRate', 20000),
            ('DryOut', -600), ('ChorusOut', 0), ('ChorusSize', 2), ('Feedback', 0)]
    out = ref.run_host('float64', 1, 44100, sig, sets=sets, stats={})
    T(all(math.isfinite(v) for v in out), 'negative delays read inside the line')
    # The line position of a negative delay: write index 0 and d = -0.25
    # read between indices 6499 and 0.
    eng = ref.engine_for(1, 44100, sets=sets)
    v = eng.voices[1]
    v.line[6499] = 8.0
    v.line[0] = 4.0
    v.table = ref.SineTable(0.5)        # a fixed sine for the test
    v.table.values[:] = [-0.8125] * 4   # d = 3 + 4 * -0.8125 = -0.25
    s = eng._voice_read(v, 0.0, 1.0, eng.depth)
    T(s == 8.0 + (4.0 - 8.0) * 0.75, 'a delay of -0.25 interpolates 6499 -> 0 at 0.75')

    # The mono chain equals its restatement on time-indexed histories.
    rng = random.Random(5)
    ok = True
    for trial in range(4 if quick else 10):
        fmt = ('float64', 'pcm16', 'float32', 'pcm8')[trial % 4]
        rate = rng.choice((8000, 11025, 44100, 96000))
        sets = [('ChorusSize', rng.randrange(1, 4)),
                ('Feedback', rng.randrange(0, 101)),
                ('ChorusOutDelay', rng.choice((1, 2, 5, 12, 40))),
                ('ModulationDepth', rng.randrange(1, 101)),
                ('ModulationRate', rng.choice((rng.randrange(1, 20001), 20000))),
                ('InvertChorusPhase', rng.randrange(2)),
                ('InvertFeedbackPhase', rng.randrange(2)),
                ('AttenuateHighs', rng.randrange(2)),
                ('HighCutoff', rng.randrange(100, 10001)),
                ('DryOut', rng.randrange(-600, 1)),
                ('ChorusOut', rng.randrange(-600, 1)),
                ('InputGain', rng.randrange(-100, 1))]
        sig = make_signal(fmt, 1, 400, rng)
        want = independent_mono(fmt, rate, sig, ref.resolve_block(sets=sets))
        got = ref.run_host(fmt, 1, rate, sig, sets=sets, buffer_frames=rng.randrange(1, 500))
        if first_difference(fmt, 1, want, got) is not None:
            ok = False
            print('  restatement mismatch: %s %d %r: %s'
                  % (fmt, rate, sets, first_difference(fmt, 1, want, got)))
    T(ok, 'mono chain equals its time-indexed restatement')

    # Buffer sizes do not matter to the model either.
    ok = True
    for fmt, nch in COMBOS[::3]:
        sig = make_signal(fmt, nch, 300, rng)
        base = ref.run_host(fmt, nch, 11025, sig, preset=2)
        for n in (1, 7, 64, 299, 300, 4096):
            ok = ok and first_difference(fmt, nch, base, ref.run_host(
                fmt, nch, 11025, sig, preset=2, buffer_frames=n)) is None
    T(ok, 'model output independent of buffer size')

    # Re-initialisation rules, through writes between buffers.
    sig = [math.sin(0.05 * k) * 0.5 for k in range(1200)]
    silent_dry = [('DryOut', -600), ('ChorusOut', 0), ('ChorusSize', 1),
                  ('ChorusOutDelay', 100), ('ModulationDepth', 10), ('Feedback', 30)]

    def run(between=None, disc=(), sets=silent_dry):
        return ref.run_host('float64', 1, 8000, sig, sets=sets, buffer_frames=400,
                            between=between or {}, discontinuities=disc)
    base = run()
    # (write before buffer 1, restarts silent)
    rules = [
        ([('ChorusOutDelay', 101)], True),        # delay: full
        ([('ChorusSize', 2)], True),              # size: full
        ([('block', ref.resolve_block(sets=silent_dry))], True),  # same block: full
        ([('ModulationDepth', 20)], False),       # partial
        ([('ModulationRate', 3000)], False),
        ([('Feedback', 60)], False),
        ([('ChorusOut', -30)], False),
        ([('AttenuateHighs', 1), ('HighCutoff', 500)], False),
    ]
    for writes, restarts in rules:
        out = run({1: writes})
        same_before = out[:400] == base[:400]
        first = out[400:470]        # the shortest delay is 80 - 8 samples
        silent = not any(first)
        T(same_before and silent == restarts and out[400:] != base[400:],
          'write %r between buffers %s' % (writes, 'restarts silent' if restarts
                                           else 'keeps the sound'))
    out = run({1: [('ModulationDepth', 10), ('ChorusOutDelay', 100)]})
    T(out == base, 'writes of the stored values change nothing')
    # Size 3 -> 1 -> 3 zeroes the lines at each change.
    out = run({1: [('ChorusSize', 3)], 2: [('ChorusSize', 1)]})
    T(not any(out[400:470]) and not any(out[800:870]) and any(out[470:800]),
      'size changes restart silent twice')
    # A depth change is a partial update: E from the current D (80 samples).
    eng = ref.engine_for(1, 8000, sets=silent_dry)
    eng.put('ModulationDepth', 50)
    eng.process_buffer('float64', 1, [0.0] * 4, 4)
    T(eng.depth == 40 and eng.delay == 80, 'partial update: E = 50 % of D = 80')
    # A discontinuity in mid-stream resets everything: the rest equals a
    # fresh run on the rest.
    out = run(disc=(2,))
    fresh = ref.run_host('float64', 1, 8000, sig[800:], sets=silent_dry)
    T(out[:800] == base[:800] and out[800:] == fresh, 'mid-stream discontinuity resets')
    # A full initialisation keeps the oscillator counters: with a moving
    # delay the rest differs from a fresh run, with a still one it does not.
    out = run({2: [('preset', 'Chorus/vibrato 1')]})
    moving = ref.run_host('float64', 1, 8000, sig[800:], preset='Chorus/vibrato 1')
    T(out[800:] != moving, 'full initialisation keeps the counters (moving delay)')
    still = silent_dry[:4] + [('ModulationDepth', 1), ('ChorusOutDelay', 50)]
    out = run({2: [('ChorusOutDelay', 60)]}, sets=still)
    fresh = ref.run_host('float64', 1, 8000, sig[800:], sets=still[:-1] + [('ChorusOutDelay', 60)])
    T(out[800:] == fresh, 'full initialisation with a still delay equals a fresh start')
    # No tail: the output is exactly as long as the input.
    stats = {}
    out = ref.run_host('pcm16', 2, 8000, [5, -5] * 10, stats=stats)
    T(len(out) == 20 and stats['tail_buffers'] == 0, 'no tail')
    T(ref.ChorusEngine().process_tail() == (1, 0), 'tail request: 0 frames, finished')
    T(ref.run_host('pcm8', 1, 8000, []) == [], 'no input, no output')

    # WAV files.
    harness.check_wav_round_trips(results, rng, 44100)


# ---------------------------------------------------------------------------

def available(runner):
    rc, out, err = runner.command(['list'])
    for line in out.splitlines():
        parts = line.split()
        if parts and parts[0] == EFFECT:
            return 'not available' not in line
    return False


def main(argv=None):
    opts = harness.parse_options(__doc__, argv, seed=20240917)

    def run_selftest(results):
        start = time.time()
        selftest(results, quick=opts.quick)
        if opts.verbose:
            print('self-test %.1f s' % (time.time() - start))

    def check_mwfx(results, mwfx, tmpdir, rng):
        runner = harness.Runner(mwfx, tmpdir, EFFECT, width=5,
                                blank_stderr_uses_stdout=True)
        if not available(runner):
            results.fail('mwfx', '`mwfx list` does not offer the chorus')
            return
        cases = build_cases(opts.quick, rng)
        groups = equal_groups(opts.quick, rng)
        props = property_cases(opts.quick, rng)
        pairs = negation_pairs(opts.quick, rng)
        everything = cases + [c for _l, g in groups for c in g] + props + \
            [c for p in pairs for c in p]
        harness.run_cases(runner, everything, results, max(1, opts.jobs), ref,
                          compare=first_difference, note=diagnose)
        check_groups_equal(results, groups)
        check_properties(results, props)
        check_negations(results, pairs)
        check_listings(results, runner)
        check_records(results, runner, rng)
        check_errors(results, runner, rng)

    return harness.run_main(opts, EFFECT, run_selftest, check_mwfx)


if __name__ == '__main__':
    sys.exit(main())
