"""Plain-Python model of the Simple Delay effect as `mwfx process delay` runs it.

Everything is evaluated in IEEE double precision (Python floats) in the same
order as the engine does it, so the model's output can be compared with the
native program byte for byte.

Layers, bottom up:
  * sample formats (shared by every model, in sample_formats): decode a
    stored sample to a working value and encode a working value back, with
    the clipping rules of each format;
  * SimpleDelayEngine: parameter block, setup, per-sample step and the
    per-format buffer loop with its tail count-down;
  * run_host(): what the command-line host does with a whole file: apply the
    default preset, an optional preset and `--set` values, start streaming,
    feed the input in buffers of N frames and then collect the tail with
    buffers of silence until the engine reports it finished.
"""

import math
import os
import sys

_HERE = os.path.dirname(os.path.abspath(__file__))
if _HERE not in sys.path:
    sys.path.insert(0, _HERE)

from sample_formats import *  # noqa: E402,F401,F403  (the five sample formats)
import inplace_host as host  # noqa: E402
from inplace_host import DEFAULT_BUFFER_FRAMES  # noqa: E402,F401


# ---------------------------------------------------------------------------
# Parameters and presets

FIELDS = ('Feedback', 'DelayTime', 'DecayTime', 'DelayOut', 'DryOut')

# Ranges the single-field setters clamp to; None means stored as given.
FIELD_RANGES = {
    'Feedback': None,
    'DelayTime': (1, 5000),
    'DecayTime': (1, 200),
    'DelayOut': (-800, 0),
    'DryOut': None,
}

# (name, Feedback, DelayTime, DecayTime, DelayOut, DryOut)
PRESETS = (
    ('(Default)', 0, 100, 1, -60, -60),
    ('Default all parameters', 0, 100, 1, -60, -60),
    ('Echo chamber', 1, 400, 20, -30, -90),
    ('Slap-back echo', 0, 400, 20, -120, -90),
    ('Grand Canyon', 1, 1000, 30, -140, -40),
    ('Shift selection forwards  (select one channel only)',
     0, 1000, 20, 0, -800),
    ('Pseudo-stereo (select one channel only)', 0, 10, 1, 0, -800),
)


def preset_index(key):
    """Preset by index (int or decimal text) or by exact name."""
    return find_preset(PRESETS, key)


def clamp_field(field, value):
    rng = FIELD_RANGES[field]
    if rng is None:
        return value
    lo, hi = rng
    if value < lo:
        return lo
    if value > hi:
        return hi
    return value


def gain(v):
    """Level in tenths of a decibel -> linear gain; -800 and below is silence."""
    if v > -800:
        try:
            return 10 ** (v * 0.005)
        except OverflowError:       # the C library answers +inf here
            return math.inf
    return 0.0


def mul_div_round(a, b, c):
    """a*b/c rounded to nearest, halves away from zero (non-negative here)."""
    x = a * b
    return (x + c // 2) // c


# ---------------------------------------------------------------------------
# Engine

class SimpleDelayEngine:
    """One Simple Delay engine: parameter block, line and channel states."""

    def __init__(self):
        self.block = [0, 0, 0, 0, 0]      # a fresh engine holds zeros
        self.changed = False
        self.valid = False
        self.started = True
        self.channels = 0
        self.rate = 0
        self.line = None
        self.line_length = 0
        self.tail_samples = 0
        self.wet = 0.0
        self.dry = 0.0
        self.fb = 0.0
        self.ratio = 0.0
        self.position = [0, 0]
        self.tail_remaining = [0, 0]

    # -- parameter interface ------------------------------------------------
    def set_parameters(self, block):
        """Whole-block write: every field clamped; True if nothing clamped."""
        clamped = [clamp_field(f, v) for f, v in zip(FIELDS, block)]
        ok = clamped == list(block)
        if clamped != self.block:
            self.block = clamped
            self.changed = True
        return ok

    def put(self, field, value):
        value = clamp_field(field, value)
        i = FIELDS.index(field)
        if self.block[i] != value:
            self.block[i] = value
            self.changed = True

    def apply_preset(self, key):
        row = PRESETS[preset_index(key)]
        self.set_parameters(list(row[1:]))

    def take_parameters(self):
        changed = self.changed
        self.changed = False
        return list(self.block), changed

    # -- contract --------------------------------------------------------------
    def set_format(self, channels, rate):
        self.channels = channels
        self.rate = rate
        return self.reset()

    def reset(self):
        block, _ = self.take_parameters()
        self.setup(block, keep=False)
        self.started = False

    def free(self):
        self.line = None

    def setup(self, block, keep):
        feedback, delay_time, decay_time, delay_out, dry_out = block
        nch = self.channels
        rate = self.rate
        self.wet = gain(delay_out)
        self.dry = gain(dry_out)
        line_length = mul_div_round(nch * rate, delay_time, 1000)
        if line_length < 2:
            line_length = 2
        if feedback == 0:
            tail_samples = 0
        else:
            tail_samples = math.trunc(float(rate) * nch * decay_time * 0.1)
        self.tail_samples = tail_samples
        ratio = tail_samples / line_length
        self.ratio = ratio
        if ratio < 0.1:
            self.fb = 0.0
        else:
            self.fb = 0.0316 ** (1.0 / ratio)
        if self.line is not None and len(self.line) == line_length:
            if not keep:
                self.line = [0.0] * line_length
            self.line_length = line_length
        else:
            self.line = [0.0] * line_length
            self.line_length = line_length
            for c in (0, 1):
                self.position[c] = c
                self.tail_remaining[c] = (tail_samples + line_length) // nch
        self.valid = True

    def process_sample(self, x, c):
        line = self.line
        p = self.position[c]
        out = line[p] * self.wet + x * self.dry
        line[p] = self.fb * line[p] + x
        p = p + self.channels
        if p >= self.line_length:
            p = c
        self.position[c] = p
        return out

    def process_buffer(self, fmt, mode, buf, frames):
        """One per-format loop call on `buf` (stored values, interleaved).

        Returns (result, frames): result 1 when the tail is finished, else 0.
        """
        nch = self.channels
        block, changed = self.take_parameters()
        if mode == 0 and self.started:
            self.reset()
        elif changed or not self.valid:
            if mode == 2:
                return 1, frames
            self.setup(block, keep=(mode != 0))
        self.started = True

        decode = DECODERS[fmt]
        encode = ENCODERS[fmt]
        zero_input = (mode == 2 and fmt == 'pcm8')
        step = self.process_sample
        result = 0
        out_frames = frames
        for c in range(nch):
            n = frames
            if mode == 2:
                n = min(frames, self.tail_remaining[c])
                if self.tail_remaining[c] == n:
                    result = 1
                self.tail_remaining[c] -= n
            out_frames = n
            for idx in range(c, c + n * nch, nch):
                x = 0.0 if zero_input else decode(buf[idx])
                buf[idx] = encode(step(x, c))
        return result, out_frames


# ---------------------------------------------------------------------------
# Host

def resolve_block(preset=None, sets=()):
    """Parameter block after preset 0, an optional preset and `--set` writes."""
    return list(host.configured(SimpleDelayEngine, preset, sets).block)


def run_host(fmt, channels, rate, samples, preset=None, sets=(),
             buffer_frames=DEFAULT_BUFFER_FRAMES, stats=None):
    """Process a whole stream of stored sample values; return the output list.

    samples: interleaved stored values (bytes 0..255 for pcm8, signed ints
    for pcm16/pcm32, floats for float32/float64).  A trailing partial frame
    is ignored.  stats, when a dict, receives the buffer counts.
    """
    host.check_request(channels, buffer_frames)
    eng = host.configured(SimpleDelayEngine, preset, sets)
    eng.set_format(channels, rate)      # start of streaming
    out, n_in, n_tail, _ = host.stream(eng, fmt, channels, samples, buffer_frames)
    eng.free()
    if stats is not None:
        stats['input_buffers'] = n_in
        stats['tail_buffers'] = n_tail
        stats['line_length'] = eng.line_length
        stats['tail_samples'] = eng.tail_samples
        stats['fb'] = eng.fb
    return out


def tail_frames(channels, rate, block):
    """Frames per channel the host appends after the input (non-empty input)."""
    eng = SimpleDelayEngine()
    eng.channels = channels
    eng.rate = rate
    eng.setup(block, keep=False)
    return eng.tail_remaining[0]


def process_bytes(fmt, channels, rate, data, **kw):
    """Convenience: raw sample bytes in, raw sample bytes out."""
    return host.process_bytes(run_host, fmt, channels, rate, data, **kw)
