"""Pieces shared by the checks of the two effects that copy from input to
output buffers (Time Stretch and Pitch Shift): their cases carry an output
buffer size and decimal field values, their output length differs from the
input's, and their test signals need passages of every loudness, so that the
splice search both accepts an offset early and searches all of them.
"""

import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import harness  # noqa: E402
import sample_formats as formats  # noqa: E402
from harness import Case  # noqa: E402


class CopyingCase(Case):
    """A Case with an optional output buffer size (--output-frames) whose
    float field values are written as decimals."""

    def __init__(self, *args, output_frames=None, **kw):
        super().__init__(*args, **kw)
        self.output_frames = output_frames

    def args(self):
        a = []
        if self.preset is not None:
            a += ['--preset', str(self.preset)]
        for field, value in self.sets:
            text = repr(float(value)) if isinstance(value, float) else str(value)
            a += ['--set', '%s=%s' % (field, text)]
        if self.buffer_frames is not None:
            a += ['--buffer-frames', str(self.buffer_frames)]
        if self.output_frames is not None:
            a += ['--output-frames', str(self.output_frames)]
        return a


def compare(fmt, nch, expected, actual):
    """Bit for bit (any two NaNs alike); says so when every difference is in
    the sign of a zero."""
    return harness.first_difference(fmt, nch, expected, actual, zero_signs=True)


# ---------------------------------------------------------------------------
# Test signals

def to_stored(fmt, v):
    """A working value in about [-1, 1] as a stored value of fmt (integer
    formats round and clip; floats keep values beyond full scale)."""
    if fmt == 'pcm8':
        return min(255, max(0, int(round(v * 128.0)) + 128))
    if fmt == 'pcm16':
        return min(32767, max(-32768, int(round(v * 32768.0))))
    if fmt == 'pcm32':
        return min(formats.INT32_MAX, max(formats.INT32_MIN, int(round(v * 2147483648.0))))
    if fmt == 'float32':
        return formats.to_single(v)
    return v


LEVELS = (0.95, 0.6, 0.3, 0.1, 0.01, 1e-3, 1e-5, 0.0)


def make_signal(fmt, nch, frames, rng, rate, wild=False):
    """Interleaved stored values: per channel a few partials and some noise
    under an envelope of segments 5 to 60 ms long, each at a level from full
    scale through near silence to silence (the channels' segments differ),
    opening with a short full-scale square wave.  Float formats also get
    values beyond full scale, tiny and subnormal values and negative zeros;
    with `wild` also infinities, NaN and values whose squares overflow."""
    out = [0] * (frames * nch)
    floats = fmt in harness.FLOAT_FORMATS
    top = max(100.0, min(4000.0, rate * 0.4))
    for c in range(nch):
        partials = [(rng.uniform(60.0, top) / rate, rng.uniform(0.2, 1.0),
                     rng.uniform(0.0, 2 * math.pi)) for _ in range(3)]
        norm = sum(a for _f, a, _p in partials) + 0.3
        noise = rng.uniform(0.0, 0.3)
        n = 0
        opening = min(frames, rng.randrange(4, 40))
        while n < frames:
            length = max(1, int(rate * rng.uniform(0.005, 0.06)))
            level = rng.choice(LEVELS)
            if floats and rng.random() < 0.15:
                level = rng.choice((1.5, 3.75))
            for k in range(n, min(frames, n + length)):
                if k < opening:
                    v = 1.0 if (k // 3) % 2 else -1.0
                else:
                    s = sum(a * math.sin(2 * math.pi * f * k + p) for f, a, p in partials)
                    v = level * (s + noise * rng.uniform(-1.0, 1.0)) / norm
                out[k * nch + c] = to_stored(fmt, v)
            n += length
    if floats and frames > 8:
        specials = [-0.0, 1e-30, -3e-39, 1e-40]
        if fmt == 'float64':
            specials += [5e-324, -1e-310, 1e-300]
        if wild:
            specials += [math.inf, -math.inf, math.nan, 1e30, -4e38 if fmt == 'float64'
                         else -formats.to_single(3e38)]
        for v in specials:
            out[rng.randrange(frames // 4, frames) * nch + rng.randrange(nch)] = to_stored(fmt, v)
    return out


# ---------------------------------------------------------------------------
# Checks

def check_lengths(results, cases, label):
    """Each case's mwfx output has case.property_expected frames."""
    for c in cases:
        if c.actual is None:
            continue
        got = len(c.actual) // c.nch
        results.check(got == c.property_expected,
                      '%s [%s %dch %dHz %d frames; %s]' % (
                          label, c.fmt, c.nch, c.rate, len(c.samples) // c.nch,
                          c.settings()),
                      '%d output frames, expected %d' % (got, c.property_expected))


def check_groups_equal(results, groups):
    harness.check_groups_equal(results, groups, 'same output',
                               where=lambda c: '[%s %dch %dHz]' % (c.fmt, c.nch, c.rate),
                               compare=compare)


def flatten(groups):
    return [c for g in groups for c in g]


def preset_groups(presets, rng):
    """Runs that must agree: each preset by index and by name; preset 0, preset 1 and no
    preset at all (the default block). Formats rotate through the presets."""
    groups = []
    for p, row in enumerate(presets):
        fmt = formats.FORMAT_NAMES[p % 5]
        sig = make_signal(fmt, 2, 900, rng, 8000)
        g = [CopyingCase('alias', fmt, 2, 8000, sig, preset=p, modelled=False),
             CopyingCase('alias', fmt, 2, 8000, sig, preset=row[0], modelled=False)]
        if p == 0:
            g += [CopyingCase('alias', fmt, 2, 8000, sig, modelled=False),
                  CopyingCase('alias', fmt, 2, 8000, sig, preset=1, modelled=False)]
        groups.append(g)
    return groups
