#!/usr/bin/env python3
"""mwfx against the reference models, sample for sample.

usage: check_mwfx.py EFFECT --mwfx PATH [--quick] [--jobs N] [--seed S] [--verbose]

Each case writes a WAV file of a test signal, runs `mwfx process EFFECT` on it (and on
each of the case's variants: other buffer sizes, the preset by name, the same samples in
an extensible WAV or among chunks mwfx must skip) and compares the output's header and
samples with the model's: bit for bit, any two NaNs alike.  Cases too long for the model
compare only the output length with the model's counting rules.  The cases come from the
effect's table (TABLES below): every format and channel count at several rates, every
preset, extreme and out-of-range settings, random settings, very short inputs, float
inputs with infinities, NaN and huge values, and buffers from one frame up.  One line is
printed per failure; the last line is `N passed, M failed`.
"""

import argparse
import concurrent.futures
import math
import multiprocessing
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True      # no __pycache__ beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import refcore as rc  # noqa: E402

MODELS = {'delay': 'simple_delay_ref', 'chorus': 'chorus_ref', 'reverb': 'reverb_ref',
          'multitap': 'multitap_ref', 'stretch': 'splice_ref', 'pitch': 'pitch_shift_ref'}


# ---------------------------------------------------------------------------------------
# Test signals

F32_MAX = struct.unpack('<f', b'\xff\xff\x7f\x7f')[0]


def extremes(fmt):
    """Stored values at and around full scale, silence, and for floats values beyond full
    scale, subnormal and near the top of the range."""
    return {
        'pcm8': [0x00, 0xFF, 0x80, 0x7F, 0x81, 0x01, 0xFE],
        'pcm16': [-32768, 32767, 0, -1, 1, -32767, 32766],
        'pcm32': [rc.INT32_MIN, rc.INT32_MAX, 0, -1, 1, rc.INT32_MIN + 1, rc.INT32_MAX - 1],
        'float32': [rc.to_single(v) for v in (-1.0, 1.0, 0.0, -0.0, 1.5, -2.75, 0.99999994,
                                              1.4e-45, -3e-39, 1.1754942e-38, 1e30)]
        + [F32_MAX, -F32_MAX],
        'float64': [-1.0, 1.0, 0.0, -0.0, 1.5, -2.75, 8.0, 5e-324, -1e-310,
                    2.2250738585072014e-308, 1e-30, 1e300, -1e300, 1.7e308],
    }[fmt]


def to_stored(fmt, v):
    if fmt in rc.FLOATS:
        return rc.to_single(v) if fmt == 'float32' else v
    lo, hi, scale, bias = {'pcm8': (0, 255, 128.0, 128), 'pcm16': (-32768, 32767, 32768.0, 0),
                           'pcm32': (rc.INT32_MIN, rc.INT32_MAX, 2147483648.0, 0)}[fmt]
    return min(hi, max(lo, int(round(v * scale)) + bias))


LEVELS = (1.0, 0.95, 0.6, 0.3, 0.1, 0.01, 1e-3, 1e-5, 0.0)


def make_signal(fmt, nch, frames, rng, rate, wild=False):
    """Interleaved stored values.  Per channel: an opening run of the format's extremes,
    then segments 5 to 60 ms long, each a few partials and noise at one level from full
    scale through near silence to silence (floats also beyond full scale), with now and
    then an extreme value; with `wild`, infinities and NaN as well."""
    ext = extremes(fmt)
    out = [rc.silence(fmt)] * (frames * nch)
    top = max(100.0, min(4000.0, rate * 0.4))
    for c in range(nch):
        partials = [(rng.uniform(60.0, top) / rate, rng.uniform(0.2, 1.0),
                     rng.uniform(0.0, 6.3)) for _ in range(3)]
        norm = sum(p[1] for p in partials) + 0.3
        n = 0
        while n < frames:
            length = max(1, int(rate * rng.uniform(0.005, 0.06)))
            lvl = rng.choice(LEVELS + ((1.5, 3.75) if fmt in rc.FLOATS else ()))
            noise = rng.uniform(0.0, 0.3)
            for k in range(n, min(frames, n + length)):
                if k < len(ext) or rng.random() < 0.02:
                    v = ext[(k + 3 * c) % len(ext)] if k < len(ext) else rng.choice(ext)
                else:
                    s = sum(a * math.sin(6.283185307179586 * f * k + p) for f, a, p in partials)
                    v = to_stored(fmt, lvl * (s + noise * rng.uniform(-1.0, 1.0)) / norm)
                out[k * nch + c] = v
            n += length
    if wild and fmt in rc.FLOATS and frames > 8:
        if nch == 2 and fmt == 'float64':       # both sides at the top: their sum overflows
            out[16:18] = [1.7e308, 1.7e308]
        for v in (math.inf, -math.inf, math.nan, 1e30, -rc.to_single(3e38)):
            out[rng.randrange(frames // 4, frames) * nch + rng.randrange(nch)] = to_stored(fmt, v)
    return out


# ---------------------------------------------------------------------------------------
# Cases

class Case:
    """One input through mwfx in each variant (extra arguments and the form of the WAV
    file), all compared with the model's output, or with `frames` of output when the
    model is left out."""

    def __init__(self, name, fmt, nch, rate, samples, preset=None, sets=(), variants=(),
                 frames=None):
        self.name, self.fmt, self.nch, self.rate = name, fmt, nch, rate
        self.samples, self.preset, self.sets = samples, preset, list(sets)
        self.variants = [([], {})] + list(variants)
        self.frames = frames

    def args(self):
        a = [] if self.preset is None else ['--preset', str(self.preset)]
        for field, v in self.sets:
            a += ['--set', '%s=%s' % (field, repr(v) if isinstance(v, float) else v)]
        return a

    def describe(self, extra=(), wav=None):
        return '%s [%s %dch %d Hz %d frames; %s%s]' % (
            self.name, self.fmt, self.nch, self.rate, len(self.samples) // self.nch,
            ' '.join(self.args() + list(extra)) or 'defaults',
            ', %s' % ', '.join(sorted(wav)) if wav else '')


def differ(fmt, nch, want, got):
    """None when equal (floats bit for bit, NaNs alike), else the first difference."""
    def same(a, b):
        if fmt in rc.FLOATS:
            return (a != a and b != b) or struct.pack('<d', a) == struct.pack('<d', b)
        return a == b
    bad = [i for i in range(min(len(want), len(got))) if not same(want[i], got[i])]
    text = []
    if bad:
        i = bad[0]
        text.append('first of %d differences at frame %d channel %d: expected %r, got %r'
                    % (len(bad), i // nch, i % nch, want[i], got[i]))
    if len(want) != len(got):
        text.append('%d frames, expected %d' % (len(got) // nch, len(want) // nch))
    return '; '.join(text) or None


def load_model(effect):
    model = __import__(MODELS[effect])
    if not hasattr(model, 'resolve'):
        model.resolve = lambda preset=None, sets=(): rc.resolve(model, preset, sets)
    return model


def run_case(effect, mwfx, tmpdir, index, case):
    """The model's output, then every variant through mwfx: [(name, failure or None)]."""
    model = load_model(effect)
    tag, bits, _ = rc.FORMATS[case.fmt]
    data = rc.pack(case.fmt, case.samples)
    if case.frames is None:
        try:
            want = model.run(case.fmt, case.nch, case.rate, case.samples,
                             model.resolve(case.preset, case.sets))
        except ValueError as e:
            return [(case.describe(), 'the model: %s' % e)]
    results = []
    for v, (extra, wav) in enumerate(case.variants):
        base = os.path.join(tmpdir, '%d_%d' % (index, v))
        with open(base + '.wav', 'wb') as f:
            f.write(rc.build_wav(tag, case.nch, case.rate, bits, data, **wav))
        p = subprocess.run([mwfx, 'process', effect, base + '.wav', base + '.out.wav']
                           + case.args() + list(extra), stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=600)
        info = rc.parse_wav(open(base + '.out.wav', 'rb').read()) \
            if p.returncode == 0 else None
        if p.returncode != 0:
            why = 'mwfx exit status %d: %s' % (p.returncode, p.stderr.decode().strip())
        elif info is None or info[:4] != (tag, case.nch, case.rate, bits):
            why = 'output header %r, expected %r' % (info and info[:4],
                                                     (tag, case.nch, case.rate, bits))
        else:
            got = rc.unpack(case.fmt, info[5])
            if case.frames is None:
                why = differ(case.fmt, case.nch, want, got)
            else:
                frames = len(got) // case.nch
                why = None if frames == case.frames else \
                    '%d frames, expected %d' % (frames, case.frames)
        for path in (base + '.wav', base + '.out.wav'):
            if os.path.exists(path):
                os.remove(path)
        results.append((case.describe(extra, wav), why))
    return results


# ---------------------------------------------------------------------------------------
# The tables. Rows of settings are lists of (field, value); an extreme row is (settings,
# rate, seconds of input[, preset]) and runs on a rotating share of the formats and
# channel counts.

EXTENSIBLE = ([], {'extensible': True})
CHUNKS = ([], {'extra_chunks': [(b'LIST', b'INFOISFT\x05\x00\x00\x00test\x00\x00'),
                                (b'xtra', b'\x01\x02\x03')]})
FB = ('Feedback', 1)
LENGTHS = (5000.0, 6250.0, 8500.0, 10000.0, 12500.0, 15000.0, 20000.0, 27500.0, 36000.0,
           50000.0)
# Input and output buffer sizes of the effects that change the length.
COPYING_SIZES = (['--buffer-frames', '1', '--output-frames', '1'],
                 ['--buffer-frames', '7', '--output-frames', '3'],
                 ['--buffer-frames', '333', '--output-frames', '100000'])
COPYING_BUFFERS = ((1, 4), (1, 1), (7, 3), (333, 1), (4096, 1), (64, 100000))
# Pitch Shift's intervals, with and without PreserveDuration and the anti-alias filter.
TRANSPOSITIONS = (
    [('Semitones', -24)], [('Semitones', -12), ('PreserveDuration', 1)],
    [('Semitones', -7), ('Cents', -250)], [('Semitones', 3), ('Cents', 125), ('AntiAlias', 1)],
    [('Semitones', 7), ('PreserveDuration', 1), ('AntiAlias', 1)],
    [('Semitones', 12), ('AntiAlias', 1)], [('Semitones', 24), ('AntiAlias', 1)],
    [('Semitones', 19), ('PreserveDuration', 1), ('AntiAlias', 1)],
    [('Semitones', -24), ('PreserveDuration', 1)], [('Cents', 800)],
    [('Semitones', 1), ('AntiAlias', 1)], [('Semitones', -5), ('PreserveDuration', 1)],
    [('Semitones', 5), ('Cents', -333), ('PreserveDuration', 1)], [('Semitones', 16)],
    [('Semitones', -2), ('Cents', -999), ('PreserveDuration', 1), ('AntiAlias', 1)],
    [('Semitones', 2), ('Cents', 505), ('PreserveDuration', 1), ('AntiAlias', 1)])


def taps(kind, values):
    return [('Tap%s%d' % (kind, i + 1), v) for i, v in enumerate(values)]


# Four swept Multi-Tap Delay taps with feedback, low-pass and every level in use.
SWEPT = (taps('Delay', (3, 20, 37, 61)) + taps('Gain', (80, -55, 40, -30))
         + taps('Pan', (-60, 0, 45, 100))
         + [('TapCount', 4), ('ModDepth', 40), ('ModRate', 37), ('Feedback', 90),
            ('LowPassOn', 1), ('LowPassStart', 3000), ('WetOut', -20), ('DryOut', -30),
            ('InputGain', -10)])

TABLES = {
    'delay': dict(
        rates=(8000, 11025, 22050, 44100, 48000, 96000), seconds=0.16, preset_seconds=0.5,
        short=[FB, ('DecayTime', 1), ('DelayTime', 2)],
        wild=[[], [('DryOut', -800)], [FB, ('DecayTime', 3)]],
        # At 8000 Hz a tail of 1600 frames (800 without feedback): sizes that divide it
        # end the tail with a full buffer.
        buffers=[([FB, ('DecayTime', 1)], (1, 2, 7, 160, 800, 999, 1600, 1601, 3200)),
                 ([], (1, 7, 32, 799, 800, 801))],
        random=dict(count=80, frames=1500, limits={'DelayTime': (-5, 300),
                                                   'DecayTime': (-2, 40)}),
        extremes=[
            ([('DelayTime', 1)], 8000, 0.05),
            ([('DelayTime', 1)], 1000, 0.2),            # rounds to 1: at least 2
            ([('DelayTime', 1)], 100, 1.0),             # rounds to 0
            ([('DelayTime', 1), FB, ('DecayTime', 1)], 8000, 0.05),
            ([('DelayTime', 5000)], 8000, 0.25),
            ([('DelayTime', 5000), FB, ('DecayTime', 1)], 8000, 0.25),
            ([FB, ('DecayTime', 1), ('DelayTime', 1000)], 8000, 0.3),   # ratio 0.1
            ([FB, ('DecayTime', 1), ('DelayTime', 1001)], 8000, 0.3),   # below 0.1
            ([FB, ('DecayTime', 200), ('DelayTime', 100)], 8000, 0.1),
            ([('Feedback', 7), ('DecayTime', 5)], 8000, 0.2),
            ([('Feedback', -1), ('DecayTime', 5)], 11025, 0.2),
            ([('DelayOut', -800)], 8000, 0.2),
            ([('DelayOut', 0), FB, ('DecayTime', 20)], 8000, 0.2),
            ([('DryOut', -800), ('DelayOut', 0)], 8000, 0.2),
            ([('DryOut', 60), ('DelayOut', 0), FB, ('DecayTime', 10)], 11025, 0.2),
            ([('DryOut', -801)], 8000, 0.1),
            ([('DryOut', 600)], 8000, 0.1),             # gain 1000
            ([('DryOut', 61000)], 8000, 0.05),          # gain 1e305, finite
            ([('DryOut', 70000)], 8000, 0.05),          # gain overflows to infinity
            ([('DelayTime', 0)], 8000, 0.05),
            ([('DelayTime', 6000)], 8000, 0.1),
            ([FB, ('DecayTime', 0)], 8000, 0.1),
            ([FB, ('DecayTime', 1000), ('DelayTime', 2000)], 8000, 0.05),
            ([('DelayOut', 50)], 8000, 0.2),
            ([('DelayOut', -2000)], 8000, 0.2),
            ([('DelayTime', 10)], 11025, 0.1),          # 220.5 -> 221, an odd line
            ([('DelayTime', 100)], 11025, 0.2),         # 1102.5 (mono) -> 1103
            ([('DelayTime', 3)], 44100, 0.02),
            ([('DelayTime', 7), FB, ('DecayTime', 3)], 192000, 0.01),
            ([FB, ('DelayTime', 5000), ('DecayTime', 200)], 8000, 0.25),  # the longest tail
            ([('DelayTime', 37), ('DryOut', 10)], 8000, 0.2, 2),
            ([('Feedback', 0), ('DelayTime', 250)], 8000, 0.2, 'Grand Canyon'),
            ([('DelayOut', -800), ('DryOut', 0)], 11025, 0.1),  # the input, then silence
        ]),
    'chorus': dict(
        rates=(8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000), seconds=0.08,
        preset_rate=(11025, 44100), preset_seconds=0.12,       # the 100 ms voices fill up
        short=[('ChorusOutDelay', 1)],
        wild=[[], [('Feedback', 50), ('ChorusSize', 1)],
              [('AttenuateHighs', 1), ('HighCutoff', 1000)]],
        buffers=[([('ChorusOutDelay', 40), ('ModulationDepth', 80), ('Feedback', 60)],
                  (1, 2, 63, 64, 1000, 1023, 5000))],
        random=dict(count=70, frames=2500),
        extremes=[
            # depth 100 % at the shortest delay: D = 0 at 8000 Hz (reads 6500 samples
            # back); D = 4, D_1 = 3, E = 4 at 44100 Hz (voice 1 sweeps below zero delay)
            ([('ChorusOutDelay', 1), ('ModulationDepth', 100)], 8000, 0.9),
            ([('ChorusOutDelay', 1), ('ModulationDepth', 100)], 44100, 0.05),
            ([('ChorusOutDelay', 1), ('ModulationDepth', 100), ('ModulationRate', 20000)],
             44100, 0.05),
            ([('ChorusOutDelay', 1), ('ModulationDepth', 100), ('Feedback', 100)], 96000, 0.03),
            ([('ChorusOutDelay', 3), ('ModulationDepth', 100), ('DryOut', -600),
              ('ChorusOut', 0)], 22050, 0.05),
            ([('ChorusOutDelay', 30), ('ModulationDepth', 100), ('ModulationRate', 13000)],
             48000, 0.05),
            ([('Feedback', 150), ('InvertFeedbackPhase', 1)], 11025, 0.15),
            ([('Feedback', -20)], 8000, 0.1, 3),
            ([('Feedback', 100), ('ChorusOutDelay', 5), ('ChorusSize', 1)], 8000, 0.2),
            ([('Feedback', 100), ('ChorusOutDelay', 1000), ('ModulationDepth', 100)],
             8000, 0.4),
            # the high cut around half the rate
            ([('AttenuateHighs', 1), ('HighCutoff', 3999)], 8000, 0.1),
            ([('AttenuateHighs', 1), ('HighCutoff', 4000)], 8000, 0.1),
            ([('AttenuateHighs', 1), ('HighCutoff', 5512)], 11025, 0.1, 8),
            ([('AttenuateHighs', 1), ('HighCutoff', 5513)], 11025, 0.1, 8),
            ([('AttenuateHighs', 1), ('HighCutoff', 100)], 8000, 0.1, 23),
            ([('AttenuateHighs', 1), ('HighCutoff', 20), ('Feedback', 90)], 8000, 0.1),
            ([('AttenuateHighs', 1), ('HighCutoff', 99999)], 22050, 0.05),
            ([('AttenuateHighs', -3), ('HighCutoff', 1234)], 16000, 0.08, 12),
            # voices' delays beyond the line at high rates
            ([('ChorusOutDelay', 1000), ('ModulationDepth', 100)], 96000, 0.09),
            ([('ChorusOutDelay', 1000), ('ModulationDepth', 100), ('ModulationRate', 20000)],
             88200, 0.09),
            ([('ChorusOutDelay', 1000)], 58000, 0.12, 17),
            # levels at and beyond their ends, flags of other non-zero values
            ([('DryOut', -601), ('ChorusSize', 2)], 8000, 0.1),
            ([('ChorusOut', -599), ('DryOut', 0)], 8000, 0.1),
            ([('InputGain', -600)], 8000, 0.1),
            ([('InputGain', 30), ('DryOut', 20), ('ChorusOut', 5)], 8000, 0.1),
            ([('InvertChorusPhase', -7), ('InvertFeedbackPhase', 2), ('Feedback', 60)],
             8000, 0.1, 2),
            ([('ChorusSize', 0)], 8000, 0.1),
            ([('ChorusSize', 4)], 8000, 0.1),
            ([('ModulationRate', 0)], 8000, 0.1),
            ([('ModulationRate', 30000), ('ModulationDepth', 100)], 8000, 0.1),
            ([('ModulationDepth', 250)], 8000, 0.1),
            ([('ChorusOutDelay', 0)], 8000, 0.1),
            ([('ChorusOutDelay', 5000)], 8000, 0.2),
            ([('ChorusOutDelay', 125), ('ModulationDepth', 1)], 8000, 0.05),   # D 100: E 1
            ([('ChorusOutDelay', 124), ('ModulationDepth', 1)], 8000, 0.05),   # D 99: E 0
            # 29 x 0.01 x 100 = 28.999999999999996 in doubles: E = 28, not 29
            ([('ChorusOutDelay', 125), ('ModulationDepth', 29)], 8000, 0.1),
            ([('ChorusSize', 3), ('ModulationRate', 3333)], 8000, 0.11, 5),
            ([('ModulationRate', 792)], 48000, 0.05),   # 68625.2...: a period just below 68626
            ([('ChorusOutDelay', 22), ('ModulationDepth', 1)], 44100, 0.03),  # 1 % of 97: 0
            ([('ChorusOutDelay', 23), ('ModulationDepth', 1)], 44100, 0.03),  # 1 % of 101: 1
        ],
        # 64-bit floats show the last bits of every coefficient: high-cut corners, wide
        # sweeps (a sine an ulp off moves the read), and at 10000 Hz voice 1's delay
        # dipping to -189 samples where the write index is near 0.
        float64=[
            ([('AttenuateHighs', 1), ('HighCutoff', 100)], 8000, 0.15, 8),
            ([('AttenuateHighs', 1), ('HighCutoff', 9999)], 22050, 0.06, 8),
            ([('ChorusOutDelay', 300), ('ModulationDepth', 100), ('ModulationRate', 7000),
              ('Feedback', 40)], 44100, 0.07),
            ([('ChorusOutDelay', 250), ('ModulationDepth', 100), ('ModulationRate', 20000),
              ('Feedback', 40)], 48000, 0.06),
            ([('ChorusOutDelay', 1000), ('ModulationDepth', 100), ('ModulationRate', 951),
              ('ChorusSize', 2), ('Feedback', 20)], 10000, 0.7),
        ]),
    'reverb': dict(
        rates=(8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000), seconds=0.06,
        matrix=[[], [('DecayTime', 7), ('ReverbMode', 5), ('EarlyStyle', 2)],
                [('DecayTime', 12), ('ReverbMode', 17), ('EarlyStyle', 8)],
                [('DecayTime', 9), ('ReverbMode', 12), ('EarlyStyle', 6)],
                [('DecayTime', 5), ('ReverbMode', 3), ('EarlyStyle', 9)]],
        preset_seconds=0.15, short=[('DecayTime', 11)], wild=[[('DecayTime', 5)]],
        # 8000 Hz and a one-second decay: a tail of 8000 frames; DecayTime 7: none
        buffers=[([('DecayTime', 10)], (1, 7, 1000, 4000, 7999, 8000, 8001)),
                 ([('DecayTime', 7)], (1, 5, 64))],
        random=dict(count=40, frames=3000, rates=(8000, 11025, 16000, 22050),
                    limits={'DecayTime': (3, 20), 'ReverbMode': (-2, 22),
                            'EarlyStyle': (-2, 12)}),
        # Signals near the 2^-32 flush limit of the filter states: (settings, scale).
        quiet=[([('DecayTime', 10)], 1e-9), ([('DecayTime', 10), ('AttenuateBass', 0)], 3e-10),
               ([('DecayTime', 10), ('AttenuateHighs', 0)], 1e-10),
               ([('DecayTime', 10), ('AttenuateHighs', 0), ('AttenuateBass', 0)], 3e-10),
               ([('DecayTime', 10), ('BassCutoff', 2000), ('HighCutoff', 500)], 1e-9)],
        # a one-second tail on every other row without a DecayTime of its own, none else
        prefix=lambda r: [('DecayTime', 10 if r % 2 else 5 + r % 5)],
        extremes=[
            ([('DecayTime', 5)], 8000, 0.3),
            ([('DecayTime', 9)], 44100, 0.05),
            ([('DecayTime', 50)], 8000, 0.1),
            ([('DecayTime', 0)], 8000, 0.2),
            ([('DecayTime', 1000)], 8000, 0.05),
            ([('PreDelay', 0)], 44100, 0.03),
            ([('PreDelay', 1)], 44100, 0.03),
            ([('PreDelay', 200)], 8000, 0.3),
            ([('PreDelay', -5)], 8000, 0.1),
            ([('PreDelay', 900)], 8000, 0.1),
            ([('ReverbMode', 19)], 8000, 0.1),
            ([('ReverbMode', -3)], 8000, 0.1),
            ([('ReverbMode', 2147483647)], 8000, 0.1),
            ([('ReverbMode', -2147483648)], 8000, 0.1),
            ([('EarlyStyle', 10)], 8000, 0.1),
            ([('EarlyStyle', -1)], 8000, 0.1),
            ([('ReverbMode', 6)], 8000, 0.2),             # the 3901.707 ms line
            ([('ReverbMode', 6)], 44100, 0.05),
            ([('ReverbMode', 6), ('DecayTime', 50)], 8000, 0.1),
            ([('ReverbMode', 17), ('EarlyStyle', 0)], 8000, 0.1),
            ([('HighCutoff', 3999)], 8000, 0.2),
            ([('HighCutoff', 4000)], 8000, 0.2),
            ([('HighCutoff', 7999)], 8000, 0.2),
            ([('HighCutoff', 8000)], 8000, 0.2),          # at the rate: no filter
            ([('HighCutoff', 15000)], 22050, 0.05),
            ([('HighCutoff', 20)], 8000, 0.1),
            ([('HighCutoff', 99999)], 16000, 0.05),
            ([('AttenuateHighs', 5)], 8000, 0.1),
            ([('AttenuateBass', -2)], 8000, 0.1),
            ([('BassCutoff', 10)], 96000, 0.02),          # f limited to 0.0004
            ([('BassCutoff', 5000)], 8000, 0.2),          # f limited to 0.49
            ([('BassCutoff', 499)], 44100, 0.03),         # below 500/44100
            ([('BassCutoff', 500)], 44100, 0.03),         # at 500/44100
            ([('BassCutoff', 1)], 8000, 0.1),
            ([('DryOut', 30)], 8000, 0.1),
            ([('DryOut', -799)], 8000, 0.1),
            ([('ReverbOut', -800)], 8000, 0.2),
            ([('ReverbOut', -5000)], 8000, 0.1),
            ([('EarlyOut', -800)], 8000, 0.2),
            ([('EarlyOut', -799)], 8000, 0.2),
            ([('EarlyOut', -150)], 8000, 0.2),
            ([('ReverbOut', 0), ('EarlyOut', 0), ('DryOut', 0), ('DecayTime', 50),
              ('AttenuateHighs', 0), ('AttenuateBass', 0), ('ReverbMode', 17)], 8000, 0.1),
            ([('ReverbOut', 0), ('AttenuateHighs', 1), ('HighCutoff', 100),
              ('AttenuateBass', 1), ('BassCutoff', 5000)], 11025, 0.1),
            ([('DecayTime', 12), ('ReverbMode', 3)], 8000, 0.1, 8),
        ]),
    'multitap': dict(
        rates=(8000, 11025, 22050, 44100, 48000, 96000), seconds=0.12, preset_seconds=0.2,
        matrix=[[], SWEPT], short=[('TapDelay1', 2), ('Feedback', 100), ('ModDepth', 50)],
        wild=[[], SWEPT],
        # the default at 8000 Hz: a tail of 840 frames
        buffers=[([], (1, 7, 420, 839, 840, 841)), (SWEPT, (1, 3, 100, 4096))],
        random=dict(count=48, frames=1500, rates=(8000, 8000, 11025, 16000, 22050),
                    limits=dict([('TapDelay%d' % i, (0, 160)) for i in range(1, 9)],
                                ModRate=[1, 7, 37, 100], LowPassStart=(50, 12000))),
        quiet=[(SWEPT, 1e-9), ([('LowPassOn', 1), ('WetOut', 0)], 3e-10)],
        extremes=[
            (taps('Delay', (1,) * 8) + [('ModDepth', 100)], 8000, 0.06),
            (taps('Delay', (1,) * 8) + [('TapCount', 8), ('ModDepth', 100), ('ModRate', 100)],
             11025, 0.05),
            (taps('Delay', (1,) * 8) + [('TapCount', 8), ('Feedback', 150), ('ModDepth', 100),
                                        ('ModRate', 55)]
             + taps('Gain', (100, 90, 80, 70, 60, 50, 40, 30)), 8000, 0.06),
            (taps('Delay', (1,) * 8) + [('TapCount', 8)], 22050, 0.03),
            ([('Feedback', 150), ('TapDelay1', 2), ('WetOut', 0)], 8000, 0.05),
            ([('Feedback', 150), ('TapCount', 8)] + taps('Gain', (100, -100) * 4), 8000, 0.1),
            ([('Feedback', 150), ('TapCount', 8)] + taps('Gain', (-100,) * 8), 8000, 0.1),
            ([('Feedback', 150), ('TapCount', 8), ('LowPassOn', 1), ('LowPassStart', 100)]
             + taps('Gain', (100, 100, 0, 0, 0, 0, 0, 100)), 11025, 0.08),
            ([('Feedback', 150), ('TapCount', 8)] + taps('Gain', (10, 5, 1, -3, 2, 7, 1, 1)),
             8000, 0.08),                           # gains summing below 1
            ([('LowPassOn', 1), ('LowPassStart', 4000)], 8000, 0.12),
            ([('LowPassOn', 1), ('LowPassStart', 4001)], 8000, 0.12),
            ([('LowPassOn', 1), ('LowPassStart', 5512)], 11025, 0.11),
            ([('LowPassOn', 1), ('LowPassStart', 5513)], 11025, 0.11),
            ([('LowPassOn', 1), ('LowPassStart', 10000)], 19999, 0.11),
            ([('LowPassOn', -1), ('LowPassStart', 1000)], 8000, 0.12),
            ([('ModDepth', 100), ('ModRate', 100)], 8000, 0.12),
            ([('ModDepth', 100), ('ModRate', 1)], 8000, 0.12),
            ([('TapDelay1', 2500), ('ModDepth', 0)], 8000, 0.05),
            ([('TapCount', 8), ('ModDepth', 3), ('ModRate', 13), ('Feedback', 60)]
             + taps('Delay', (2500, 2499, 1, 1250, 2500, 7, 3, 2500)), 8000, 0.05),
            ([('InputGain', -800), ('WetOut', 0)], 8000, 0.12),
            ([('InputGain', -799), ('WetOut', 0), ('DryOut', 0)], 8000, 0.12),
            ([('WetOut', -800), ('DryOut', -800)], 8000, 0.12),
            ([('TapCount', 0), ('TapDelay1', 0), ('TapGain1', -150), ('TapPan1', -101),
              ('WetOut', -5000), ('DryOut', -900), ('Feedback', -1), ('InputGain', -801),
              ('LowPassStart', 1), ('ModDepth', -5), ('ModRate', 0), ('LowPassOn', 1)],
             8000, 0.12),
            ([('TapCount', 9), ('TapDelay2', 9999), ('TapGain3', 101), ('TapPan4', 300),
              ('WetOut', 5), ('DryOut', 60), ('Feedback', 151), ('InputGain', 1),
              ('LowPassStart', 20000), ('ModDepth', 101), ('ModRate', 101), ('LowPassOn', 1)],
             48000, 0.02),
            ([('CurrentTap', 99), ('GraphResolution', -4)], 8000, 0.12),
            ([('TapDelay1', 1), ('Feedback', 150), ('WetOut', 0)], 1000, 0.2),
            (taps('Delay', (1,) * 8) + [('TapCount', 8), ('Feedback', 150), ('ModDepth', 60),
                                        ('ModRate', 100)], 2000, 0.2),
            ([('TapCount', 8)] + taps('Pan', (-100, 100) * 4)
             + taps('Delay', (1, 2, 3, 5, 8, 13, 21, 34)), 8000, 0.06),
            ([('TapDelay8', 37), ('DryOut', -10), ('ModRate', 10)], 8000, 0.15, 13),
            ([('TapCount', 3), ('Feedback', 150), ('ModDepth', 0)], 8000, 0.15, 'Stadium'),
            ([('TapDelay1', 1), ('WetOut', 0)], 500, 0.2),    # no whole sample per ms
            ([('TapCount', 3), ('TapDelay2', 2), ('TapDelay3', 1), ('ModDepth', 100)], 44100,
             0.12),                                 # the third tap's offset of -0.411 ms
        ]),
    'stretch': dict(
        rates=(8000, 22050, 44100, 48000, 96000), seconds=0.05, share=1,
        matrix=[[('FinalLength', LENGTHS[k % 10]), ('Mode', k * 7 % 19)] for k in range(19)],
        sizes=COPYING_SIZES, preset_seconds=0.05, wild=[[('Mode', 7), ('FinalLength', 15000.0)]],
        # mode 16 at 8000 Hz: frames of 400, output hops of 200
        short=[('Mode', 16), ('FinalLength', 13000.0)],
        short_frames=(0, 1, 3, 199, 200, 201, 399, 400, 401),
        buffers=[([('Mode', 16), ('FinalLength', 20000.0)], COPYING_BUFFERS),
                 ([('Mode', 5), ('FinalLength', 8500.0)], COPYING_BUFFERS)],
        random=dict(count=25, rates=(8000, 11025, 16000, 22050, 32000, 44100)),
        lengths=30,
        # every mode at 8000 Hz (the search steps shrink) and at 44100 Hz; clamped values
        extremes=[([('Mode', m), ('FinalLength', LENGTHS[(3 * m + r) % 10])], r, 0.05)
                  for r in (8000, 44100) for m in range(19)] + [
            ([('FinalLength', 1000.0), ('Mode', 16)], 22050, 0.05),
            ([('FinalLength', 60000.0), ('Mode', 18)], 11025, 0.05),
            ([('FinalLength', 49999.5), ('Mode', 40)], 16000, 0.05),
            ([('FinalLength', 5000.25), ('Mode', 12), ('InitialTempo', 70000),
              ('InputFormat', 1), ('InitialTime', -3.0)], 32000, 0.05)]),
    'pitch': dict(
        rates=(8000, 22050, 44100, 48000, 96000), seconds=0.1, share=1,
        matrix=[t + [('Accuracy', 1 + k % 3), ('Mode', k * 5 % 19)]
                for k, t in enumerate(TRANSPOSITIONS)],
        sizes=COPYING_SIZES, preset_seconds=0.12, preset_rate=(22050, 8000),
        wild=[[('Semitones', 5), ('AntiAlias', 1), ('Accuracy', 3)],
              [('Semitones', -4), ('PreserveDuration', 1), ('Mode', 7)]],
        # up to the resampler's reach; shorter than a splice frame with PreserveDuration
        # (r < 1 keeps the length, r > 1 is padded to it)
        short=[('Semitones', 3), ('Accuracy', 3)], short_frames=(0, 1, 4, 5, 8, 9),
        buffers=[([('Semitones', -7), ('PreserveDuration', 1), ('Mode', 16)], COPYING_BUFFERS),
                 ([('Semitones', 12), ('AntiAlias', 1), ('Accuracy', 3)], COPYING_BUFFERS),
                 ([('Semitones', 5), ('PreserveDuration', 1), ('Mode', 18), ('AntiAlias', 1)],
                  COPYING_BUFFERS)],
        random=dict(count=30, rates=(8000, 11025, 16000, 22050, 32000, 44100),
                    limits={'Semitones': (-24, 24), 'Accuracy': [0, 1, 2, 3, 7],
                            'PreserveDuration': [0, 1], 'AntiAlias': [0, 1],
                            'Ratio': (0.3, 4.0), 'InitialTime': (-10.0, 1e9)}),
        lengths=30,
        extremes=[([('Semitones', (-9, -3, 4, 11)[m % 4]), ('PreserveDuration', 1),
                    ('Mode', m), ('Accuracy', 1 + m % 3), ('AntiAlias', m % 2)],
                   (8000, 16000, 44100)[m % 3], 0.05) for m in range(19)] + [
            # ratios given directly win over Semitones and Cents; r = 1.1 exactly
            # (44000 / 1.09999999 truncates to 40000) is not filtered
            ([('Ratio', 1.09999999), ('AntiAlias', 1)], 44000, 0.05),
            ([('Ratio', 1.1), ('AntiAlias', 1)], 44100, 0.05),
            ([('Ratio', 1.0), ('Accuracy', 1)], 8000, 0.05),   # the input less its last frame
            ([('Ratio', 2.0), ('Accuracy', 1)], 8000, 0.05),   # every second frame
            ([('Ratio', 0.5), ('Accuracy', 3)], 22050, 0.1),
            ([('Ratio', 3.3), ('PreserveDuration', 1), ('AntiAlias', 1), ('Mode', 16)], 8000, 0.1),
            ([('Semitones', 12), ('Ratio', 0.8), ('PreserveDuration', 1)], 11025, 0.1),
            ([('Semitones', 60), ('AntiAlias', 1)], 8000, 0.1),
            ([('Semitones', -70)], 8000, 0.02),
            ([('Cents', 5000), ('Semitones', -1)], 16000, 0.1),
            ([('Cents', -1500), ('PreserveDuration', 1), ('Mode', 30)], 16000, 0.1),
            ([('Semitones', -30), ('PreserveDuration', 1), ('Mode', 17)], 22050, 0.1),
            ([('Ratio', 1.5), ('PreserveDuration', 1), ('Mode', 16), ('Semitones', 5),
              ('Cents', 300), ('InitialTime', -7.0)], 8000, 0.1),
            ([('Ratio', 7999.5)], 8000, 0.1),
            ([('Ratio', 1e9), ('AntiAlias', 1)], 44100, 0.05),    # a virtual rate of 1
            ([('Semitones', -7), ('PreserveDuration', 1), ('Mode', 16)], 8000, 0, None, 300),
            ([('Semitones', 7), ('PreserveDuration', 1), ('Mode', 16)], 8000, 0, None, 300),
            ([('Semitones', -12), ('PreserveDuration', 1)], 8000, 0, None, 1000),
            ([('Semitones', 5), ('PreserveDuration', 1), ('Accuracy', 1)], 8000, 0, None, 1000),
        ]),
}


def random_sets(model, rng, limits):
    """Random writes to about half the fields: values across each field's range and a
    little beyond it, its ends, and for unranged fields small values of either sign."""
    sets = []
    for field in model.FIELDS:
        if rng.random() < 0.5:
            continue
        r = limits.get(field, model.RANGES[field])
        if isinstance(r, tuple) and isinstance(r[0], float):
            v = rng.choice((r[0], r[1], round(rng.uniform(*r), rng.randrange(4))))
        elif isinstance(r, tuple):
            lo, hi = r
            span = max(2, (hi - lo) // 10)
            v = rng.choice((lo, hi, rng.randrange(lo - span if lo < 0 else lo, hi + span)))
        elif r is None:
            v = rng.choice((0, 1, -1, 2, 7))
        else:
            v = rng.choice(r)           # a list of values to choose from
        sets.append((field, v))
    rng.shuffle(sets)
    return sets


def build_cases(effect, model, quick, rng):
    t = TABLES[effect]
    cases = []
    combos = rc.COMBOS
    k = [0]

    def add(name, fmt, nch, rate, seconds, preset=None, sets=(), variants=(), wild=False,
            frames=None, scale=None):
        if frames is None:
            frames = max(40, int(rate * seconds), getattr(model, 'min_frames', lambda *a: 0)(
                rate, model.resolve(preset, sets), rng))
        k[0] += 1
        if k[0] % 9 == 4:
            variants = list(variants) + [EXTENSIBLE]
        elif k[0] % 9 == 7:
            variants = list(variants) + [CHUNKS]
        samples = make_signal(fmt, nch, frames, rng, rate, wild)
        if scale:
            samples = [to_stored(fmt, v * scale) for v in samples]
        cases.append(Case(name, fmt, nch, rate, samples, preset, sets, variants))

    sizes = t.get('sizes', (['--buffer-frames', '1'], ['--buffer-frames', '7'],
                            ['--buffer-frames', '333']))
    rates = t['rates'][::2] if quick else t['rates']
    settings = t.get('matrix', [[]])
    for j, (fmt, nch) in enumerate(combos):
        for i, rate in enumerate(rates):
            add('matrix', fmt, nch, rate, t['seconds'] * (0.5 if quick else 1.0),
                sets=settings[(i + j) % len(settings)],
                variants=[(sizes[(i + j) % len(sizes)], {})])
    for p, row in enumerate(model.PRESETS):
        for j in range(1 if quick else 2):
            fmt, nch = combos[(3 * p + 5 * j) % len(combos)]
            add('preset %d' % p, fmt, nch, t.get('preset_rate', (8000, 11025))[j],
                t['preset_seconds'], preset=p, variants=[(['--preset', row[0]], {})])
    share = 1 if quick else t.get('share', 3)
    prefix = t.get('prefix', lambda r: [])
    for r, row in enumerate(t['extremes']):
        sets = row[0] if any(f in dict(row[0]) for f, _ in prefix(r)) else prefix(r) + row[0]
        for j, (fmt, nch) in enumerate(combos):
            if (j - 3 * r) % len(combos) < share:
                add('extreme', fmt, nch, *row[1:3], preset=(row + (None,))[3], sets=sets,
                    frames=(row + (None, None))[4])
    for r, (sets, scale) in enumerate(t.get('quiet', ())):
        for fmt, nch in rc.COMBOS[6:]:
            if not quick or (r + nch) % 2:
                add('quiet', fmt, nch, 8000, 0.2, sets=sets, scale=scale)
    for r, row in enumerate(t.get('float64', ())):
        for nch in (1, 2):
            if not quick or (r + nch) % 2:
                add('float64', 'float64', nch, *row[1:3], preset=(row + (None,))[3], sets=row[0])
    for j, (fmt, nch) in enumerate(combos):
        for frames in t.get('short_frames', (0, 1, 3)):
            add('short input', fmt, nch, 8000, 0, sets=t['short'], frames=frames)
    for fmt in rc.FLOATS:
        for nch in (1, 2):
            for sets in t['wild'][:1] if quick else t['wild']:
                add('wild input', fmt, nch, 8000, 0.1, sets=sets, wild=True)
    for i, (sets, buffer_sizes) in enumerate(t['buffers']):
        for j, (fmt, nch) in enumerate(combos):
            if (i + j) % (4 if quick else 2) == 0:
                add('buffer sizes', fmt, nch, 8000, 0.125, sets=sets, variants=[(
                    ['--buffer-frames', str(n[0]), '--output-frames', str(n[1])]
                    if isinstance(n, tuple) else ['--buffer-frames', str(n)], {})
                    for n in buffer_sizes])
    rnd = t['random']
    for i in range(rnd['count'] // (3 if quick else 1)):
        fmt, nch = combos[i % len(combos)]
        rate = rng.choice(rnd.get('rates', t['rates']) + (rng.randrange(8000, 50000),))
        preset = rng.choice((None, None, rng.randrange(len(model.PRESETS))))
        n = rng.choice((1, rng.randrange(1, 64), rng.randrange(64, 5000)))
        add('random', fmt, nch, rate, 0, preset, random_sets(model, rng, rnd.get('limits', {})),
            [(['--buffer-frames', str(n)], {})],
            frames=rng.randrange(rnd['frames']) if 'frames' in rnd else None)
    # Long inputs: the output length against the model's counting rules.
    for i in range(t.get('lengths', 0) // (3 if quick else 1)):
        fmt, nch = combos[i % len(combos)]
        rate = rng.choice(t['rates'])
        sets = random_sets(model, rng, rnd.get('limits', {}))
        frames = rng.randrange(rate // 2, 3 * rate)
        piece = make_signal(fmt, nch, rate // 10, rng, rate)
        samples = (piece * (frames * 10 // rate + 1))[:frames * nch]
        cases.append(Case('length', fmt, nch, rate, samples, sets=sets, frames=model.
                          expected_frames(rate, frames, model.resolve(None, sets))))
    return cases


# ---------------------------------------------------------------------------------------

def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('effect', choices=sorted(MODELS))
    ap.add_argument('--mwfx', required=True, help='path of the mwfx program')
    ap.add_argument('--quick', action='store_true', help='fewer and shorter cases')
    ap.add_argument('--jobs', type=int, default=os.cpu_count() or 2)
    ap.add_argument('--seed', type=int, default=20240611)
    ap.add_argument('-v', '--verbose', action='store_true', help='list passing checks too')
    opts = ap.parse_args(argv)
    model = load_model(opts.effect)
    mwfx = os.path.abspath(opts.mwfx)
    cases = build_cases(opts.effect, model, opts.quick, random.Random(opts.seed))
    def cost(c):
        frames = len(c.samples) // c.nch
        if not hasattr(model, 'cost'):
            return frames * c.nch
        return model.cost(c.rate, frames, c.nch, model.resolve(c.preset, c.sets))
    order = sorted(range(len(cases)), key=lambda i: -cost(cases[i]))
    passed = failed = 0
    tmpdir = tempfile.mkdtemp(prefix='mwfx_%s_' % opts.effect)
    try:
        with concurrent.futures.ProcessPoolExecutor(
                max(1, opts.jobs), mp_context=multiprocessing.get_context('fork')) as pool:
            futures = [pool.submit(run_case, opts.effect, mwfx, tmpdir, i, cases[i])
                       for i in order]
            for fut in concurrent.futures.as_completed(futures):
                for name, why in fut.result():
                    if why is None:
                        passed += 1
                        if opts.verbose:
                            print('ok   ' + name, flush=True)
                    else:
                        failed += 1
                        print('FAIL %s: %s' % (name, why), flush=True)
    finally:
        shutil.rmtree(tmpdir, ignore_errors=True)
    print('%d passed, %d failed' % (passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
