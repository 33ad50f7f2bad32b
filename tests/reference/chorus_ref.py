"""Plain-Python model of the Chorus effect as `mwfx process chorus` runs it.

Everything is evaluated in IEEE double precision (Python floats) in the same
order as the engine's formulas, and every elementary function (the power of
ten behind the levels, the exponential of the high-cut filter, the sines of
the oscillators) is computed with the decimal module to 80 significant digits
and then rounded once to the nearest double, so the results are the correctly
rounded values.  The model's output can then be compared with the native
program byte for byte.

Layers, bottom up:
  * sample formats (shared by every model, in sample_formats): decode a
    stored sample to a working value and encode a working value back, with
    the clipping rules of each format;
  * correctly rounded exp, 10^y and sin;
  * ChorusEngine: parameter block with its changed / re-initialise flags,
    clamping setters and presets, full and partial initialisation, the voice
    step and the mono and stereo chains, the per-format buffer loop;
  * run_host(): what the command-line host does with a whole file: apply the
    default preset, an optional preset and `--set` values, start streaming,
    feed the input in buffers of N frames (the first flagged as a
    discontinuity) and then end the stream, which for this effect passes on
    at once: there is no tail.
"""

import decimal
import math
import os
import sys
from decimal import Decimal

_HERE = os.path.dirname(os.path.abspath(__file__))
if _HERE not in sys.path:
    sys.path.insert(0, _HERE)

from sample_formats import *  # noqa: E402,F401,F403  (the five sample formats)
import inplace_host as host  # noqa: E402
from inplace_host import DEFAULT_BUFFER_FRAMES  # noqa: E402,F401


# ---------------------------------------------------------------------------
# Correctly rounded elementary functions

PREC = 80
_CTX = decimal.Context(prec=PREC)
_WIDE = decimal.Context(prec=PREC + 40)


def _atan_of_inverse(n, ctx):
    """atan(1/n) for an integer n > 1 by its alternating power series."""
    x = ctx.divide(1, n)
    x2 = ctx.multiply(x, x)
    total = x
    power = x
    k = 1
    eps = Decimal(10) ** (-ctx.prec - 5)
    while True:
        power = ctx.multiply(power, x2)
        k += 2
        term = ctx.divide(power, k)
        if term < eps:
            return total
        total = ctx.subtract(total, term) if k % 4 == 3 else ctx.add(total, term)


# pi = 16 atan(1/5) - 4 atan(1/239)
PI_DEC = _WIDE.subtract(_WIDE.multiply(16, _atan_of_inverse(5, _WIDE)),
                        _WIDE.multiply(4, _atan_of_inverse(239, _WIDE)))
_HALF_PI_DEC = _WIDE.divide(PI_DEC, 2)
_LN10_DEC = _WIDE.ln(Decimal(10))


def exp_cr(x):
    """e^x rounded once to the nearest double."""
    return float(_CTX.exp(Decimal(x)))


def pow10_cr(y):
    """10^y rounded once to the nearest double."""
    return float(_CTX.exp(_CTX.multiply(Decimal(y), _LN10_DEC)))


def _sin_dec(x, ctx, cosine=False):
    """sin(x) (or cos(x)) of a Decimal x, carrying ctx.prec digits.

    The argument is brought into [-pi/4, pi/4] by whole quarter turns q,
    then the sine or cosine power series of the remainder r is summed:
    sin(r + q pi/2) is sin r, cos r, -sin r, -cos r for q = 0, 1, 2, 3
    (mod 4), and cos x = sin(x + pi/2).
    """
    prec = ctx.prec
    quarter = int(ctx.divide(x, _HALF_PI_DEC).to_integral_value(
        decimal.ROUND_HALF_EVEN))
    r = ctx.subtract(x, ctx.multiply(quarter, _HALF_PI_DEC))
    if cosine:
        quarter += 1
    r2 = ctx.multiply(r, r)
    if quarter % 2:
        term, n = Decimal(1), 0         # cosine series
    else:
        term, n = r, 1                  # sine series
    total = term
    sign = 1
    while not total.is_zero():
        term = ctx.divide(ctx.multiply(term, r2), (n + 1) * (n + 2))
        n += 2
        sign = -sign
        if term.is_zero() or term.adjusted() < total.adjusted() - prec - 3:
            break
        total = ctx.add(total, term) if sign > 0 else ctx.subtract(total, term)
    if quarter % 4 >= 2:
        total = -total
    return total


def sin_dec(t, ctx=_CTX):
    """sin(t) of a double t as a Decimal carrying ctx.prec digits."""
    return _sin_dec(Decimal(t), ctx)


def cos_dec(t, ctx=_CTX):
    """cos(t) of a double t as a Decimal carrying ctx.prec digits."""
    return _sin_dec(Decimal(t), ctx, cosine=True)


def sin_cr(t):
    """sin(t) rounded once to the nearest double (direct evaluation)."""
    return float(sin_dec(t))


class SineTable:
    """sin(fl(k * step)) for k = 0, 1, 2, ..., each correctly rounded.

    fl(k * step) is the double product an oscillator forms from its counter
    and its phase step.  The table walks k upwards keeping sin(k * step) and
    cos(k * step) of the exact real product to 80 digits by rotating through
    the angle `step` (the 80-digit rounding of each turn adds up to less
    than 1e-70 over a million turns, far below a double's last bit), then
    corrects by the tiny exact difference delta = fl(k * step) - k * step:
    sin(a + delta) = sin(a) cos(delta) + cos(a) sin(delta), with the short
    series of sin(delta) and cos(delta) for |delta| below 1e-14.  Each value
    costs a handful of decimal operations instead of a whole power series.
    """

    def __init__(self, step):
        self.step = step
        self.step_dec = Decimal(step)
        self.sin_step = sin_dec(step, _WIDE)
        self.cos_step = cos_dec(step, _WIDE)
        self.s = Decimal(0)             # sin(k * step), k = len(values)
        self.c = Decimal(1)             # cos(k * step)
        self.values = []

    def extend_to(self, k):
        """Make values[k] available."""
        ctx = _CTX
        values = self.values
        step = self.step
        step_dec = self.step_dec
        ss, cs = self.sin_step, self.cos_step
        s, c = self.s, self.c
        while len(values) <= k:
            n = len(values)
            delta = ctx.subtract(Decimal(n * step), ctx.multiply(n, step_dec))
            if delta.is_zero():
                v = s
            else:
                d2 = ctx.multiply(delta, delta)
                sin_d = ctx.subtract(delta, ctx.divide(ctx.multiply(d2, delta), 6))
                cos_d = ctx.add(ctx.subtract(1, ctx.divide(d2, 2)),
                                ctx.divide(ctx.multiply(d2, d2), 24))
                v = ctx.add(ctx.multiply(s, cos_d), ctx.multiply(c, sin_d))
            values.append(float(v))
            s, c = (ctx.add(ctx.multiply(s, cs), ctx.multiply(c, ss)),
                    ctx.subtract(ctx.multiply(c, cs), ctx.multiply(s, ss)))
        self.s, self.c = s, c
        return values[k]


_SINE_TABLES = {}


def sine_table(step):
    """The shared table of one phase step (kept for the life of the process)."""
    tab = _SINE_TABLES.get(step)
    if tab is None:
        tab = _SINE_TABLES[step] = SineTable(step)
    return tab


# ---------------------------------------------------------------------------
# Parameters and presets

FIELDS = ('InputGain', 'DryOut', 'ChorusOut', 'ChorusSize', 'Feedback',
          'InvertChorusPhase', 'ChorusOutDelay', 'ModulationRate',
          'ModulationDepth', 'AttenuateHighs', 'HighCutoff',
          'InvertFeedbackPhase')
(F_INPUT_GAIN, F_DRY_OUT, F_CHORUS_OUT, F_SIZE, F_FEEDBACK, F_INVERT_CHORUS,
 F_DELAY, F_RATE, F_DEPTH, F_ATTENUATE, F_CUTOFF, F_INVERT_FEEDBACK) = range(12)

# Clamp ranges of the setters; None: stored as given (the three flags).
FIELD_RANGES = {
    'InputGain': (-600, 0),
    'DryOut': (-600, 0),
    'ChorusOut': (-600, 0),
    'ChorusSize': (1, 3),
    'Feedback': (0, 100),
    'InvertChorusPhase': None,
    'ChorusOutDelay': (1, 1000),
    'ModulationRate': (1, 20000),
    'ModulationDepth': (1, 100),
    'AttenuateHighs': None,
    'HighCutoff': (100, 10000),
    'InvertFeedbackPhase': None,
}

# Writing one of these fields through its setter asks for a full
# initialisation at the next buffer.
REINIT_FIELDS = ('ChorusSize', 'ChorusOutDelay')

# (name, InputGain, DryOut, ChorusOut, ChorusSize, Feedback,
#  InvertChorusPhase, ChorusOutDelay, ModulationRate, ModulationDepth,
#  AttenuateHighs, HighCutoff, InvertFeedbackPhase)
PRESETS = (
    ('(Default)', 0, -60, -44, 3, 0, 0, 400, 800, 3, 0, 5000, 0),
    ('Default all parameters', 0, -60, -44, 3, 0, 0, 400, 800, 3, 0, 5000, 0),
    ('Fast flange 1', 0, -34, -34, 1, 32, 0, 12, 700, 100, 0, 5000, 0),
    ('Fast flange 2', 0, -57, -57, 1, 70, 0, 50, 2300, 16, 0, 5000, 0),
    ('Slow flange 1', 0, -49, -57, 1, 50, 0, 8, 500, 75, 0, 5000, 0),
    ('Slow flange 2', -20, -80, -44, 1, 60, 0, 12, 500, 100, 0, 5000, 0),
    ('Slow flange 3', 0, -80, -31, 1, 20, 0, 5, 700, 80, 0, 5000, 0),
    ('Slow flange 4', 0, -44, -31, 1, 0, 0, 6, 200, 75, 0, 5000, 0),
    ('Chorus/vibrato 1', 0, -37, -37, 1, 57, 0, 100, 500, 100, 0, 5000, 0),
    ('Chorus/vibrato 2', 0, -37, -69, 1, 37, 0, 292, 7000, 8, 0, 5000, 0),
    ('Chorus 1', 0, -60, -44, 3, 0, 0, 400, 800, 3, 0, 5000, 0),
    ('Chorus 2', 0, -60, -60, 2, 15, 0, 300, 500, 8, 0, 5000, 0),
    ('Chorus 3', 0, -60, -60, 3, 16, 0, 405, 500, 8, 0, 5000, 0),
    ('Chorus 4', 0, -49, -52, 2, 26, 0, 90, 500, 26, 0, 5000, 0),
    ('Chorus 5', 0, -49, -77, 2, 37, 0, 292, 2100, 12, 0, 5000, 0),
    ('Cheap TV', -20, 0, 0, 2, 0, 1, 1, 100, 100, 0, 5000, 0),
    ('Echo-vibrato 1', 0, -92, -140, 2, 15, 0, 1000, 6000, 8, 0, 5000, 0),
    ('Echo-vibrato 2', 0, -92, -60, 1, 0, 0, 1000, 6000, 5, 0, 5000, 0),
    ('Echo-vibrato 3', 0, -92, -80, 3, 50, 0, 1000, 20000, 1, 0, 5000, 0),
    ('Echo-vibrato 4', 0, -92, -60, 1, 50, 0, 1000, 20000, 1, 0, 5000, 0),
    ('Vibrato-verb 1', 0, -92, -140, 1, 60, 0, 1000, 5000, 1, 0, 5000, 0),
    ('Vibrato-verb 2', 0, -92, -91, 3, 50, 0, 1000, 7000, 1, 0, 5000, 0),
    ('Vibrato-verb 3', 0, -92, -60, 3, 60, 0, 1000, 5600, 3, 0, 5000, 0),
    ('Hard flange', -20, -31, -31, 1, 90, 0, 8, 500, 75, 0, 5000, 0),
)


def preset_index(key):
    """Preset by index (int or decimal text) or by exact name."""
    return find_preset(PRESETS, key)


def clamp_field(field, value):
    rng = FIELD_RANGES[field]
    if rng is None:
        return value
    lo, hi = rng
    return lo if value < lo else hi if value > hi else value


def level(v):
    """Level in tenths of a decibel -> linear factor; -600 and below is 0."""
    if v > -600:
        return pow10_cr(v * 0.005)
    return 0.0


# ---------------------------------------------------------------------------
# Engine

LINE_LENGTH = 6500
VOICE_MULTIPLIERS = (1.0, 0.811731, 1.132329)
PAN_LEFT = 0.9
PAN_RIGHT = 0.95
PHASE_TWO_PI = 6.28318530718        # the oscillators' 2 pi, as written
# The 2 pi of the high-cut coefficient: the double nearest 2 pi.
HIGHCUT_TWO_PI = 2.0 * math.pi
DENORMAL_FLOOR = 2e-11


class Voice:
    """One modulated delay voice."""

    def __init__(self):
        self.line = [0.0] * LINE_LENGTH
        self.write = 0          # write index, moves downwards
        self.base = 0           # D_v in samples
        self.counter = 0        # oscillator counter
        self.period = 0         # P_v in samples
        self.step = 0.0         # phase step 2 pi / P_v
        self.table = None       # sines of counter * step
        self.state = 0.0        # last filtered read

    def set_oscillator(self, rate, multiplier, mod_rate):
        period = math.trunc(rate * multiplier * 1000 / mod_rate)
        if period <= 0:
            raise ValueError('oscillator period below one sample (rate %r); '
                             'not modelled' % rate)
        self.period = period
        self.step = PHASE_TWO_PI / period
        self.table = sine_table(self.step)


class ChorusEngine:
    """Chorus engine: parameter block, coefficients and three voices."""

    def __init__(self):
        self.block = [0] * 12           # a fresh engine holds zeros
        self.changed = False
        self.reinit = False
        self.dirty = False
        self.valid = False
        self.started = True
        self.channels = 0
        self.rate = 0
        self.voices = None
        self.count = 0
        # coefficients
        self.g_in = self.g_dry = self.chorus = 0.0
        self.w = [0.0, 0.0, 0.0]
        self.pan_l = self.pan_r = 0.0
        self.fb = 0.0
        self.a = 0.0
        self.a_comp = 1.0
        self.delay = 0                  # D
        self.depth = 0                  # E

    # -- parameter interface ------------------------------------------------
    def set_parameters(self, block):
        """Whole-block write: copy, mark changed / re-initialise / dirty, then
        clamp; True when nothing had to be clamped (S_OK), else False."""
        block = list(block)
        self.block = [clamp_field(f, v) for f, v in zip(FIELDS, block)]
        self.changed = self.reinit = self.dirty = True
        return self.block == block

    def put(self, field, value):
        """Single-field setter: clamp, then store only a different value."""
        value = clamp_field(field, value)
        i = FIELDS.index(field)
        if self.block[i] != value:
            self.block[i] = value
            self.changed = self.dirty = True
            if field in REINIT_FIELDS:
                self.reinit = True

    def get(self, field):
        return self.block[FIELDS.index(field)]

    def apply_preset(self, key):
        row = PRESETS[preset_index(key)]
        return self.set_parameters(row[1:])

    def take_parameters(self):
        changed = self.changed
        self.changed = False
        return list(self.block), changed

    # -- contract -----------------------------------------------------------
    def set_format(self, channels, rate):
        self.channels = channels
        self.rate = rate
        self.reset()

    def reset(self, block=None):
        """Fresh zeroed lines, indices, filter states and counters; then the
        parameters (a snapshot given by the caller, else taken now) applied
        in full; `started` cleared."""
        if block is None:
            block, _ = self.take_parameters()
        self.voices = [Voice() for _ in range(3)]
        self.reinit = True
        self.full_init(block)
        self.started = False

    def free(self):
        self.voices = None

    def _levels(self, block):
        self.g_in = level(block[F_INPUT_GAIN])
        self.g_dry = level(block[F_DRY_OUT])
        chorus = level(block[F_CHORUS_OUT])
        if block[F_INVERT_CHORUS] != 0:
            chorus = -chorus
        self.chorus = chorus

    def _feedback(self, block):
        fb = block[F_FEEDBACK] * 0.01
        if block[F_INVERT_FEEDBACK] != 0:
            fb = -fb
        self.fb = fb

    def _highcut(self, block):
        cutoff = block[F_CUTOFF]
        if block[F_ATTENUATE] != 0 and cutoff < self.rate // 2:
            self.a = exp_cr(-HIGHCUT_TWO_PI * cutoff / self.rate)
            self.a_comp = 1.0 - self.a
        else:
            self.a = 0.0
            self.a_comp = 1.0

    def _depth(self, block):
        self.depth = math.trunc(block[F_DEPTH] * 0.01 * self.delay)

    def _wet(self):
        w0 = 0.9 * self.chorus
        w1 = 0.9 * w0
        w2 = 0.9 * w1
        self.w = [w0, w1, w2]

    def full_init(self, block):
        """Everything derived anew; lines zeroed, write indices and filter
        states back to 0; the oscillator counters keep their values."""
        rate = self.rate
        for v in self.voices:
            v.line[:] = [0.0] * LINE_LENGTH
        self.count = block[F_SIZE]
        self._levels(block)
        self._feedback(block)
        self._highcut(block)
        self.delay = math.trunc(rate * block[F_DELAY] * 0.0001)
        self._depth(block)
        self.pan_l = PAN_LEFT * self.chorus
        self.pan_r = PAN_RIGHT * self.chorus
        for v, m in zip(self.voices, VOICE_MULTIPLIERS):
            v.write = 0
            v.state = 0.0
            v.base = math.trunc(self.delay * m)
            v.set_oscillator(rate, m, block[F_RATE])
        self._wet()
        self.reinit = False
        self.valid = True

    def partial_update(self, block):
        """Levels, feedback, oscillator periods and steps, high cut and the
        depth (from the current D); voice count, D, the D_v, lines, write
        indices, filter states and counters stay."""
        self._levels(block)
        self.pan_l = PAN_LEFT * self.chorus
        self.pan_r = PAN_RIGHT * self.chorus
        self._wet()
        self._feedback(block)
        for v, m in zip(self.voices, VOICE_MULTIPLIERS):
            v.set_oscillator(self.rate, m, block[F_RATE])
        self._highcut(block)
        self._depth(block)

    # -- processing -----------------------------------------------------------
    def process_buffer(self, fmt, mode, buf, frames):
        """One per-format loop call on `buf` (stored values, interleaved), in
        place.  mode 0: discontinuity, 1: ordinary buffer.  Returns
        (result, frames)."""
        if mode not in (0, 1):
            raise ValueError('the chorus loop runs with mode 0 or 1 only')
        block, changed = self.take_parameters()
        if mode == 0 and self.started:
            self.reset(block)
        elif changed or not self.valid:
            if self.reinit:
                self.full_init(block)
            else:
                self.partial_update(block)
        self.started = True
        if self.channels == 1:
            self._mono(fmt, buf, frames)
        else:
            self._stereo(fmt, buf, frames)
        return 0, frames

    def process_tail(self):
        """The tail request of direct processing: nothing, finished."""
        return 1, 0

    def _mono(self, fmt, buf, frames):
        decode = DECODERS[fmt]
        encode = ENCODERS[fmt]
        count = self.count
        g_in, g_dry, fb = self.g_in, self.g_dry, self.fb
        a, a_comp, depth = self.a, self.a_comp, self.depth
        w = self.w
        voices = self.voices[:count]
        for n in range(frames):
            x = decode(buf[n]) * g_in
            y = None
            for k, v in enumerate(voices):
                s = self._voice_read(v, a, a_comp, depth)
                if k == 0:
                    out = s * w[0] + x * g_dry
                else:
                    out = x + s * w[k]
                self._voice_write(v, x + s * fb)
                x = out                 # the next voice's input
                y = out
            buf[n] = encode(y)

    def _stereo(self, fmt, buf, frames):
        decode = DECODERS[fmt]
        encode = ENCODERS[fmt]
        count = self.count
        g_in, g_dry, fb = self.g_in, self.g_dry, self.fb
        a, a_comp, depth = self.a, self.a_comp, self.depth
        pan_l, pan_r = self.pan_l, self.pan_r
        voices = self.voices[:count]
        for n in range(0, 2 * frames, 2):
            x_l = decode(buf[n]) * g_in
            x_r = decode(buf[n + 1]) * g_in
            left = right = None
            for k, v in enumerate(voices):
                s = self._voice_read(v, a, a_comp, depth)
                if k == 0:
                    feed = (x_l + x_r) * 0.5 + s * fb
                    left = x_l * g_dry + s * pan_l
                    right = x_r * g_dry + s * pan_r
                else:
                    feed = (left + right) * 0.5 + s * fb
                    left = left + s * pan_l
                    right = right + s * pan_r
                self._voice_write(v, feed)
            buf[n] = encode(left)
            buf[n + 1] = encode(right)

    @staticmethod
    def _voice_read(v, a, a_comp, depth):
        """Steps 1 to 4 of a voice: modulated position, interpolated read,
        high-cut filter with its floor, oscillator advance.  Returns s."""
        counter = v.counter
        values = v.table.values
        if counter < len(values):
            sine = values[counter]
        else:
            sine = v.table.extend_to(counter)
        d = v.base + depth * sine
        pos = v.write + d
        if pos >= LINE_LENGTH or pos < 0.0:
            # Whole turns of the line, exactly; one rounding at most when a
            # negative remainder is lifted into range.
            pos = math.fmod(pos, float(LINE_LENGTH))
            if pos < 0.0:
                pos += LINE_LENGTH
                if pos >= LINE_LENGTH:      # a remainder too small to keep
                    pos -= LINE_LENGTH
        i = int(pos)
        j = i + 1
        if j == LINE_LENGTH:
            j = 0
        line = v.line
        li = line[i]
        r = li + (line[j] - li) * (pos - i)
        s = a_comp * r + a * v.state
        if abs(s) < DENORMAL_FLOOR:
            s = 0.0
        v.state = s
        counter += 1
        if counter >= v.period:
            counter = 0
        v.counter = counter
        return s

    @staticmethod
    def _voice_write(v, value):
        """Step 6 of a voice: write the line, move the write index down."""
        wi = v.write
        v.line[wi] = value
        v.write = wi - 1 if wi else LINE_LENGTH - 1


# ---------------------------------------------------------------------------
# Host

def resolve_block(preset=None, sets=()):
    """Parameter block after preset 0, an optional preset and `--set` writes."""
    return list(host.configured(ChorusEngine, preset, sets).block)


def run_host(fmt, channels, rate, samples, preset=None, sets=(),
             buffer_frames=DEFAULT_BUFFER_FRAMES, between=None,
             discontinuities=(), stats=None):
    """Process a whole stream of stored sample values; return the output list.

    samples: interleaved stored values (bytes 0..255 for pcm8, signed ints
    for pcm16/pcm32, floats for float32/float64); a trailing partial frame is
    ignored.  The host applies preset 0, the optional preset and the `--set`
    writes, starts streaming and feeds buffers of `buffer_frames` frames, the
    first one flagged as a discontinuity.

    Beyond what mwfx does, for tests of the engine's rules:
      between: {buffer index: [(field, value), ...]} setter writes made just
        before that buffer (the field 'preset' applies that preset, 'block'
        writes that whole block);
      discontinuities: indices of further buffers flagged as discontinuities.
    stats, when a dict, receives the buffer count and the engine.
    """
    host.check_request(channels, buffer_frames)
    eng = host.configured(ChorusEngine, preset, sets)
    eng.set_format(channels, rate)      # start of streaming

    total = len(samples) // channels
    out = []
    pos = 0
    index = 0
    while pos < total:
        n = min(buffer_frames, total - pos)
        if between and index in between:
            for field, value in between[index]:
                if field == 'preset':
                    eng.apply_preset(value)
                elif field == 'block':
                    eng.set_parameters(value)
                else:
                    eng.put(field, value)
        buf = list(samples[pos * channels:(pos + n) * channels])
        mode = 0 if index == 0 or index in discontinuities else 1
        _res, got = eng.process_buffer(fmt, mode, buf, n)
        out.extend(buf[:got * channels])
        pos += n
        index += 1
    # End of stream: no tail, passed on at once.
    if stats is not None:
        stats['input_buffers'] = index
        stats['tail_buffers'] = 0
        stats['engine'] = eng
    eng.free()
    return out


def engine_for(channels, rate, preset=None, sets=()):
    """An engine set up for a format, as at the start of streaming."""
    eng = host.configured(ChorusEngine, preset, sets)
    eng.set_format(channels, rate)
    return eng


def process_bytes(fmt, channels, rate, data, **kw):
    """Convenience: raw sample bytes in, raw sample bytes out."""
    return host.process_bytes(run_host, fmt, channels, rate, data, **kw)
