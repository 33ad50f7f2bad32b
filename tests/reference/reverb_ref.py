"""Plain-Python model of the Reverb effect as `mwfx process reverb` runs it.

Every formula is evaluated in IEEE double precision (Python floats) in the
order it is written, and every transcendental call (powers of ten, exp, cos)
is correctly rounded: it is computed with the decimal module far beyond
double precision and then rounded once to the nearest double.  The model's
output can therefore be compared with the native program byte for byte.

Layers, bottom up:
  * sample formats (shared by every model, in sample_formats): decode a
    stored sample to a working value and encode a working value back, with
    the clipping rules of each format;
  * correctly rounded pow10, exp and cos;
  * the parameter block, its clamping setters and the 13 presets;
  * ReverbEngine: full initialisation and partial update, the per-buffer
    parameter pick-up with its re-initialisation rules, the mono and stereo
    per-frame steps and the tail count-down;
  * run_host(): what the command-line host does with a whole file: apply
    preset 0, an optional preset and `--set` values, start streaming, feed
    the input in buffers of N frames (the first flagged as a discontinuity)
    and then collect the tail with buffers of silence until the engine
    reports it finished.

The per-frame step is written out in ReverbEngine.process_frames_* over
whole buffers: the input high-cut and bass-cut chain is run first (it does
not depend on the comb lines), then every comb line over the buffer, then
the sums, the pre-delay, the early reflections and the output mix.  Each
delay memory is held as a Python list that grows by appending and is
trimmed from the front now and then; reading element `off + k` while
appending is the same as a circular buffer read before its write.
"""

import decimal
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
# Correctly rounded elementary functions

_PREC = 90
_CTX = decimal.Context(prec=_PREC, rounding=decimal.ROUND_HALF_EVEN,
                       Emin=-999999, Emax=999999,
                       traps=[decimal.InvalidOperation, decimal.DivisionByZero])


def _arctan_inv(n, ctx):
    """atan(1/n) for an integer n > 1, by its power series."""
    x = ctx.divide(decimal.Decimal(1), decimal.Decimal(n))
    x2 = ctx.multiply(x, x)
    total = x
    term = x
    k = 1
    eps = decimal.Decimal(10) ** -(ctx.prec + 5)
    while True:
        term = ctx.multiply(term, x2)
        t = ctx.divide(term, decimal.Decimal(2 * k + 1))
        if t < eps:
            break
        total = ctx.add(total, t) if k % 2 == 0 else ctx.subtract(total, t)
        k += 1
    return total


def _compute_pi():
    ctx = decimal.Context(prec=_PREC + 30)
    # pi = 16 atan(1/5) - 4 atan(1/239)
    return ctx.subtract(ctx.multiply(16, _arctan_inv(5, ctx)),
                        ctx.multiply(4, _arctan_inv(239, ctx)))


_PI_DEC = _compute_pi()
_HALF_PI_DEC = decimal.Context(prec=_PREC + 30).divide(_PI_DEC, 2)

_cache_pow10 = {}
_cache_exp = {}
_cache_cos = {}


def _to_double(d):
    """Nearest double to a Decimal (float() of a Decimal rounds correctly)."""
    return float(d)


def pow10(y):
    """10 ** y, correctly rounded to double."""
    r = _cache_pow10.get(y)
    if r is None:
        if y != y:
            r = math.nan
        elif y == math.inf:
            r = math.inf
        elif y == -math.inf:
            r = 0.0
        else:
            r = _to_double(_CTX.power(decimal.Decimal(10), decimal.Decimal(y)))
        _cache_pow10[y] = r
    return r


def exp(x):
    """e ** x, correctly rounded to double."""
    r = _cache_exp.get(x)
    if r is None:
        if x != x:
            r = math.nan
        elif x == math.inf:
            r = math.inf
        elif x == -math.inf:
            r = 0.0
        else:
            r = _to_double(_CTX.exp(decimal.Decimal(x)))
        _cache_exp[x] = r
    return r


def _sin_cos_series(r, ctx):
    """(sin r, cos r) of a reduced Decimal argument |r| <= pi/4."""
    r2 = ctx.multiply(r, r)
    eps = decimal.Decimal(10) ** -(ctx.prec + 5)
    s = r
    c = decimal.Decimal(1)
    ts = r
    tc = decimal.Decimal(1)
    k = 1
    while True:
        ts = ctx.divide(ctx.multiply(ts, r2), (2 * k) * (2 * k + 1))
        tc = ctx.divide(ctx.multiply(tc, r2), (2 * k - 1) * (2 * k))
        if k % 2:
            s = ctx.subtract(s, ts)
            c = ctx.subtract(c, tc)
        else:
            s = ctx.add(s, ts)
            c = ctx.add(c, tc)
        if abs(ts) < eps and abs(tc) < eps:
            break
        k += 1
    return s, c


def cos(x):
    """cos x, correctly rounded to double."""
    r = _cache_cos.get(x)
    if r is None:
        if x != x or math.isinf(x):
            r = math.nan
        else:
            # The reduction keeps 30 extra digits beyond the size of the
            # quotient, so the reduced argument is accurate to the working
            # precision even for large x.
            dx = decimal.Decimal(x)
            extra = max(0, dx.adjusted()) + 40
            ctx = decimal.Context(prec=_PREC + extra)
            q = ctx.divide(dx, _HALF_PI_DEC).to_integral_value(
                rounding=decimal.ROUND_HALF_EVEN)
            red = ctx.subtract(dx, ctx.multiply(q, _HALF_PI_DEC))
            s, c = _sin_cos_series(red, decimal.Context(prec=_PREC + 20))
            quadrant = int(q) % 4
            val = (c, -s, -c, s)[quadrant]
            r = _to_double(val)
        _cache_cos[x] = r
    return r


# ---------------------------------------------------------------------------
# Parameters and presets

FIELDS = ('DryOut', 'ReverbOut', 'EarlyOut', 'ReverbMode', 'EarlyStyle',
          'DecayTime', 'PreDelay', 'AttenuateBass', 'BassCutoff',
          'AttenuateHighs', 'HighCutoff')
(DRY_OUT, REVERB_OUT, EARLY_OUT, REVERB_MODE, EARLY_STYLE, DECAY_TIME,
 PRE_DELAY, ATTENUATE_BASS, BASS_CUTOFF, ATTENUATE_HIGHS, HIGH_CUTOFF) = range(11)

# Ranges the setters clamp to; None: stored as given (the two table indices,
# which the engine brings into its tables itself).
FIELD_RANGES = {
    'DryOut': (-800, 0),
    'ReverbOut': (-800, 0),
    'EarlyOut': (-800, 0),
    'ReverbMode': None,
    'EarlyStyle': None,
    'DecayTime': (5, 50),
    'PreDelay': (0, 200),
    'AttenuateBass': (0, 1),
    'BassCutoff': (10, 5000),
    'AttenuateHighs': (0, 1),
    'HighCutoff': (100, 15000),
}

# Writes to these fields rebuild every line at the next buffer.
REINIT_FIELDS = ('ReverbMode', 'EarlyStyle', 'PreDelay')

# (name, DryOut, ReverbOut, EarlyOut, ReverbMode, EarlyStyle, DecayTime,
#  PreDelay, AttenuateBass, BassCutoff, AttenuateHighs, HighCutoff)
PRESETS = (
    ('(Default)', 0, -350, -200, 0, 3, 25, 30, 1, 20, 1, 12000),
    ('Default all parameters', 0, -350, -200, 0, 3, 25, 30, 1, 20, 1, 12000),
    ('Bright hall', 0, -350, -200, 0, 3, 25, 30, 1, 20, 1, 12000),
    ('Cathedral', 0, -240, -200, 8, 5, 30, 70, 1, 20, 1, 7000),
    ('Dense room', 0, -250, -200, 10, 1, 6, 1, 1, 20, 1, 5000),
    ('Long hall', 0, -350, -300, 4, 2, 25, 60, 1, 20, 1, 5000),
    ('Medium hall', 0, -300, -300, 2, 1, 12, 5, 1, 20, 1, 5000),
    ('Medium room', 0, -200, -800, 13, 0, 5, 1, 1, 20, 1, 5000),
    ('Metal tank', 0, -160, -200, 18, 5, 25, 10, 1, 400, 1, 3000),
    ('Plate', 0, -350, -200, 16, 3, 20, 15, 1, 20, 0, 5000),
    ('Sewer', 0, -160, -200, 18, 3, 20, 15, 1, 20, 1, 10000),
    ('Small hall', 0, -240, -200, 2, 1, 10, 10, 1, 20, 1, 8000),
    ('Very long hall', 0, -418, -300, 4, 5, 50, 45, 1, 100, 1, 10000),
)

# Reverb modes: (name, comb delays in ms); the line count is the length.
MODES = (
    ('Rich hall', (23.583, 47.049, 25.481, 27.493, 29.67, 34.518, 32.056,
                   37.317, 40.358, 19.941)),
    ('Wide open hall', (23.161, 18.481, 20.611, 16.035, 26.45, 29.281,
                        12.957, 33.46)),
    ('Concert hall', (53.703, 67.624, 41.051, 72.937, 84.262, 49.613, 45.85,
                      57.837, 62.5, 78.724)),
    ('Deep hall', (13.453, 24.966, 28.415, 12.028, 15.817, 17.836, 10.72,
                   19.719, 9.439, 22.011)),
    ('Long hall', (54.208, 28.707, 21.029, 49.33, 44.418, 35.918, 12.332,
                   66.457, 40.313, 60.051)),
    ('Medium hall 1', (70.539, 46.457, 52.802, 39.727, 76.939, 58.518, 64.33,
                       31.62, 90.769, 83.537)),
    ('Medium hall 2', (46.463, 89.887, 53.024, 58.824, 83.067, 70.527,
                       3901.707, 76.433, 64.719, 31.627)),
    ('Warm space', (25.037, 34.831, 29.502, 37.527, 32.139, 22.731, 40.532,
                    43.812, 47.07)),
    ('Cavernous space', (32.963, 35.329, 44.227, 38.224, 62.813, 30.368,
                         41.467, 47.525, 51.611, 56.539)),
    ('Bright corridor', (13.407, 24.354, 11.88, 10.291, 4.527, 15.213, 20.313,
                         8.519, 17.221, 6.513)),
    ('Bright small room', (31.71, 21.921, 5.019, 27.327, 11.403, 16.029,
                           6.604, 9.733, 8.169, 13.309)),
    ('Bright medium room', (13.319, 20.32, 12.034, 10.609, 4.697, 14.75,
                            17.036, 9.106, 6.564, 7.949)),
    ('Medium room', (21.096, 66.413, 28.715, 49.337, 44.433, 35.993, 12.339,
                     40.301, 54.257, 60.013)),
    ('Subtle ambience', (41.005, 45.815, 49.637, 53.795, 57.812, 62.504,
                         67.637, 72.921, 78.721, 84.212)),
    ('Live ambience', (37.051, 45.853, 62.817, 53.717, 57.815, 17.296, 67.611,
                       72.953, 78.716, 84.214)),
    ('Warm ambience', (50.139, 62.811, 53.916, 25.834, 17.235, 67.81, 73.626,
                       93.927, 84.219)),
    ('Plate 1', (31.737, 15.013, 11.528, 36.037, 19.131, 5.439, 9.41, 26.433,
                 7.437)),
    ('Plate 2, ringy', (3.101, 18.37, 12.86, 11.063, 5.027, 15.513, 6.544,
                        9.539, 21.734, 7.924)),
    ('Metal tank', (29.809, 12.764, 49.653, 20.817, 25.333, 43.015, 15.957,
                    4.613, 9.111, 36.519)),
)

# Early-reflection styles: (name, (t1, t2, t3) ms, (g1, g2, g3) percent,
# (p1, p2, p3) pan from -100 (left) to 100 (right)).
EARLY_STYLES = (
    ('Mode 1  (6  ms)', (6.113, 17.041, 29.231), (46, -60, 21), (-72, 71, -6)),
    ('Mode 2  (8  ms)', (8.213, 20.043, 53.213), (56, -60, 18), (70, -70, 16)),
    ('Mode 3  (10 ms)', (11.057, 17.049, 29.455), (-47, 60, 28), (-76, 100, 35)),
    ('Mode 4  (16 ms)', (16.011, 30.058, 55.013), (79, -80, 40), (64, -100, -26)),
    ('Mode 5  (20 ms)', (20.013, 29.021, 49.014), (100, -50, 40), (25, -29, -25)),
    ('Mode 6  (36 ms)', (36.501, 47.132, 62.022), (100, -50, 40), (25, -29, -25)),
    ('Mode 7  (8  ms, pan right)', (8.213, 20.043, 53.213), (56, -60, 18),
     (50, 70, 26)),
    ('Mode 8  (8  ms, pan left)', (8.213, 20.043, 53.213), (56, -60, 18),
     (-50, -70, -26)),
    ('Mode 9  (16 ms, pan right)', (16.011, 30.058, 55.013), (79, -80, 40),
     (80, 90, 25)),
    ('Mode 10 (16 ms, pan left)', (16.011, 30.058, 55.013), (79, -80, 40),
     (-80, -90, -25)),
)

# Added to the three tap times before they are turned into samples.
EARLY_TAP_OFFSETS = (0.051, 0.151, 0.078)

# Delay multipliers of the two extra lines of a stereo stream (of the mode's
# lines 0 and 1).
STEREO_EXTRA = (0.93, 1.06)

FOUR_PI = 12.56637061436
BASS_SPLIT = 0.011337868480725623       # 500 / 44100
BASS_BELOW = 0.45454545454545453        # 1 / 2.2
BASS_ABOVE = 0.30303030303030304        # 1 / 3.3
BASS_BANDWIDTH = 0.1
FLUSH = 2.0 ** -32                      # filter states below this become 0


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


def level(v):
    """DryOut / ReverbOut in tenths of a dB -> gain; -800 and below silent."""
    if v > -800:
        return pow10(v * 0.005)
    return 0.0


def early_level(v):
    """EarlyOut -> gain, with the 0.01 that scales the percent tap gains."""
    if v > -800:
        return pow10(v * 0.005) * 0.01
    return 0.0


def mode_row(index):
    """The mode row the engine uses for a stored ReverbMode."""
    return min(max(index, 0), len(MODES) - 1)


def style_row(index):
    """The early-reflection row the engine uses for a stored EarlyStyle."""
    return min(max(index, 0), len(EARLY_STYLES) - 1)


def line_delay_seconds(ms):
    return ms * 0.001


def line_gain(d, decay):
    """Feedback gain of a line of d seconds for a decay of `decay` seconds."""
    return pow10(-3 * d / decay)


def line_length(rate, d):
    return math.trunc(rate * d + 0.5)


def high_cut(block, rate):
    """(a, 1 - a) of the one-pole high-cut filter."""
    hc = block[HIGH_CUTOFF]
    if block[ATTENUATE_HIGHS] and hc < rate:
        a = exp(-FOUR_PI * hc / rate)
        return a, 1.0 - a
    return 0.0, 1.0


def bass_design(bass_cutoff, rate):
    """(g, c1, c2) of the resonant low-pass whose complement is the bass cut."""
    x = bass_cutoff / rate
    if x < BASS_SPLIT:
        f = BASS_BELOW * x
    else:
        f = BASS_ABOVE * x
    if f < 0.0004:
        f = 0.0004
    if f > 0.49:
        f = 0.49
    r = exp(-math.pi * f / BASS_BANDWIDTH)
    c1 = 2 * r * cos(2 * math.pi * f)
    c2 = exp(-2 * math.pi * f / BASS_BANDWIDTH)
    g = 1 - c1 + c2
    return g, c1, c2


def early_taps(block, rate, channels):
    """The three taps after ordering: [(L, left gain, right gain)] * 3."""
    ms = rate * 0.001
    _name, times, gains, pans = EARLY_STYLES[style_row(block[EARLY_STYLE])]
    taps = []
    for t, off, g, p in zip(times, EARLY_TAP_OFFSETS, gains, pans):
        L = math.trunc((t + off) * ms)
        gd = float(g)
        if channels == 2:
            x = (p + 100) * 0.005
            taps.append([L, (1 - x) * gd, x * gd])
        else:
            taps.append([L, gd, 0.0])
    # Put the longest tap last: exchange 1 and 2, then 2 and 3 when needed.
    if taps[0][0] > taps[1][0]:
        taps[0], taps[1] = taps[1], taps[0]
    if taps[1][0] > taps[2][0]:
        taps[1], taps[2] = taps[2], taps[1]
    return taps


def pre_delay_length(block, rate):
    P = math.trunc(block[PRE_DELAY] * (rate * 0.001))
    return P if P >= 1 else 1


def tail_length(block, rate):
    """Tail frames: whole seconds of the decay time times the rate."""
    return math.trunc(block[DECAY_TIME] * 0.1) * rate


def line_delays_ms(block, channels):
    """Delays in ms of the lines: the mode's, then in stereo the two extras."""
    delays = list(MODES[mode_row(block[REVERB_MODE])][1])
    if channels == 2:
        delays.append(delays[0] * STEREO_EXTRA[0])
        delays.append(delays[1] * STEREO_EXTRA[1])
    return delays


# ---------------------------------------------------------------------------
# Engine

class _Line:
    """One feedback comb: its pending outputs, high-cut state and gain."""
    __slots__ = ('d', 'length', 'gain', 'state', 'mem', 'off')

    def __init__(self, d, length, gain):
        self.d = d              # delay in seconds
        self.length = length    # D samples
        self.gain = gain        # G
        self.state = 0.0
        # mem[off:off + length] are the values the line will output next,
        # oldest first (a freshly zeroed circular buffer read from its start).
        self.mem = [0.0] * length
        self.off = 0


class _Delay:
    """A plain delay memory of `length` pending values."""
    __slots__ = ('mem', 'off', 'length')

    def __init__(self, length):
        self.length = length
        self.mem = [0.0] * length
        self.off = 0

    def trim(self):
        if self.off > 4096 and self.off * 2 > len(self.mem):
            del self.mem[:self.off]
            self.off = 0


class ReverbEngine:
    """One Reverb engine: parameter block, flags, lines and filter states."""

    def __init__(self):
        self.block = [0] * 11          # a fresh engine holds zeros
        self.changed = False
        self.reinit = False
        self.dirty = False
        self.valid = False
        self.started = True
        self.channels = 0
        self.rate = 0
        self.lines = []
        self.n_mode_lines = 0
        self.pre = []
        self.early_mem = []
        self.taps = []
        self.early_len = 0
        self.dry = self.reverb = self.early = 0.0
        self.a = 0.0
        self.b = 1.0                   # 1 - a
        self.hs = 0.0
        self.bass_on = False
        self.bass = (0.0, 0.0, 0.0)
        self.s1 = self.s2 = 0.0
        self.tail = 0
        self.decay = 0.0
        self.full_inits = 0            # counters for the tests
        self.partial_updates = 0

    # -- parameter interface ------------------------------------------------
    def set_parameters(self, block):
        """Whole-block write: flags set, fields clamped; True if none was."""
        block = list(block)
        self.block = block
        self.changed = self.reinit = self.dirty = True
        ok = True
        for i, f in enumerate(FIELDS):
            v = clamp_field(f, block[i])
            if v != block[i]:
                ok = False
                block[i] = v
        return ok

    def put(self, field, value):
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
        return self.set_parameters(PRESETS[preset_index(key)][1:])

    def take_parameters(self):
        changed = self.changed
        self.changed = False
        return list(self.block), changed

    # -- contract --------------------------------------------------------------
    def set_format(self, channels, rate):
        if channels not in (1, 2):
            raise ValueError('1 or 2 channels')
        self.channels = channels
        self.rate = rate
        self.reset()

    def reset(self):
        block, _ = self.take_parameters()
        self.reinit = True
        self.apply(block)
        self.started = False

    def free(self):
        self.lines = []
        self.pre = []
        self.early_mem = []
        self.valid = False

    def apply(self, block):
        if self.reinit:
            self.full_init(block)
        else:
            self.partial_update(block)

    def _levels_and_filters(self, block):
        rate = self.rate
        self.dry = level(block[DRY_OUT])
        self.reverb = level(block[REVERB_OUT])
        self.early = early_level(block[EARLY_OUT])
        self.decay = block[DECAY_TIME] * 0.1
        self.tail = math.trunc(self.decay) * rate
        self.a, self.b = high_cut(block, rate)
        self.bass_on = bool(block[ATTENUATE_BASS])
        if self.bass_on:
            self.bass = bass_design(block[BASS_CUTOFF], rate)
            self.s1 = self.s2 = 0.0

    def full_init(self, block):
        rate = self.rate
        nch = self.channels
        self.hs = 0.0
        self.s1 = self.s2 = 0.0
        self._levels_and_filters(block)
        T = self.decay
        delays = line_delays_ms(block, nch)
        self.n_mode_lines = len(MODES[mode_row(block[REVERB_MODE])][1])
        lines = []
        for ms in delays:
            d = line_delay_seconds(ms)
            D = line_length(rate, d)
            if D < 1:
                raise ValueError('rate %d gives a comb line of %d samples' % (rate, D))
            lines.append(_Line(d, D, line_gain(d, T)))
        self.lines = lines
        P = pre_delay_length(block, rate)
        self.pre = [_Delay(P - 1) for _ in range(nch)]
        self.taps = early_taps(block, rate, nch)
        if any(t[0] < 1 for t in self.taps):
            raise ValueError('rate %d gives an early tap of 0 samples' % rate)
        self.early_len = self.taps[2][0]
        self.early_mem = [_Delay(self.early_len) for _ in range(nch)]
        self.valid = True
        self.reinit = False
        self.full_inits += 1

    def partial_update(self, block):
        self._levels_and_filters(block)
        T = self.decay
        for line in self.lines:
            line.gain = line_gain(line.d, T)
        self.valid = True
        self.partial_updates += 1

    # -- processing ---------------------------------------------------------
    def process_buffer(self, fmt, mode, buf, frames):
        """One per-format loop call on `buf` (stored values, interleaved).

        mode: 0 a buffer flagged as a discontinuity, 1 an ordinary buffer,
        2 a buffer of silence collecting the tail.
        Returns (result, frames): result 1 when the tail is finished.
        """
        # One snapshot per buffer.  A discontinuity after processing has
        # started rebuilds everything silent; otherwise a changed block is
        # applied, in full when a mode, style or pre-delay write asked for
        # it, else partially (levels, filters, decay and tail only, the
        # sound in the lines goes on).  Tail buffers apply nothing.
        block, changed = self.take_parameters()
        if mode == 0 and self.started:
            self.reset()
        elif mode != 2 and (changed or not self.valid):
            self.apply(block)
        self.started = True

        nch = self.channels
        result = 0
        n = frames
        if mode == 2:
            # the tail counter runs in frames, for both channels at once
            n = min(frames, self.tail)
            self.tail -= n
            if self.tail == 0:
                result = 1
        if n <= 0:
            return result, n
        if mode == 2:
            ins = [[0.0] * n for _ in range(nch)]
        else:
            dec = DECODERS[fmt]
            ins = [[dec(v) for v in buf[c:n * nch:nch]] for c in range(nch)]
        if nch == 1:
            outs = [self.process_frames_mono(ins[0])]
        else:
            outs = self.process_frames_stereo(ins[0], ins[1])
        enc = ENCODERS[fmt]
        for c in range(nch):
            buf[c:n * nch:nch] = [enc(y) for y in outs[c]]
        return result, n

    # The input chain: high-cut (its output, the state hs, flushed below
    # 2^-32), then the optional bass cut.  The bass cut's state is its
    # resonant low-pass output y (it becomes s1): y is flushed below 2^-32
    # before it is stored and subtracted, which keeps the two-pole feedback
    # out of subnormal numbers; the difference x - y is passed on as it is.
    def _input_chain(self, xs):
        a = self.a
        b = self.b
        hs = self.hs
        eps = FLUSH
        out = []
        app = out.append
        if self.bass_on:
            g, c1, c2 = self.bass
            s1 = self.s1
            s2 = self.s2
            for x in xs:
                h = b * x + a * hs
                if -eps < h < eps:
                    h = 0.0
                hs = h
                y = g * h + c1 * s1 - c2 * s2
                if -eps < y < eps:
                    y = 0.0
                s2 = s1
                s1 = y
                app(h - y)
            self.s1 = s1
            self.s2 = s2
        else:
            for x in xs:
                h = b * x + a * hs
                if -eps < h < eps:
                    h = 0.0
                hs = h
                app(h)
        self.hs = hs
        return out

    def _run_line(self, line, hs, flush):
        """Run one comb over the buffer's h values; returns its outputs."""
        a = self.a
        b = self.b
        G = line.gain
        st = line.state
        mem = line.mem
        off = line.off
        app = mem.append
        k = off
        if flush:
            eps = FLUSH
            for h in hs:
                y = mem[k]
                k += 1
                st = b * y + a * st
                if -eps < st < eps:
                    st = 0.0
                app((st + h) * G)
        else:
            for h in hs:
                y = mem[k]
                k += 1
                st = b * y + a * st
                app((st + h) * G)
        ys = mem[off:k]
        line.state = st
        if k > 4096 and 2 * k > len(mem):
            del mem[:k]
            k = 0
        line.off = k
        return ys

    @staticmethod
    def _delay(dl, xs):
        """Pre-delay: write then read the next slot (a delay of length)."""
        mem = dl.mem
        off = dl.off
        mem.extend(xs)
        n = len(xs)
        out = mem[off:off + n]
        dl.off = off + n
        dl.trim()
        return out

    def _early_taps(self, dl, xs):
        """The three tap value lists of one early line, then its writes."""
        mem = dl.mem
        off = dl.off
        T = self.early_len
        mem.extend(xs)
        n = len(xs)
        taps = []
        for L, _gl, _gr in self.taps:
            s = off + T - L
            taps.append(mem[s:s + n])
        dl.off = off + n
        dl.trim()
        return taps

    def process_frames_mono(self, us):
        hs = self._input_chain(us)
        lines = self.lines
        sums = [0.0] * len(us)
        for i in range(self.n_mode_lines):
            ys = self._run_line(lines[i], hs, False)
            sums = [s + y for s, y in zip(sums, ys)]
        rs = self._delay(self.pre[0], sums)
        t1, t2, t3 = self._early_taps(self.early_mem[0], us)
        g1, g2, g3 = (t[1] for t in self.taps)
        early = self.early
        rev = self.reverb
        dry = self.dry
        return [(v1 * g1 + v2 * g2 + v3 * g3) * early + r * rev + u * dry
                for v1, v2, v3, r, u in zip(t1, t2, t3, rs, us)]

    def process_frames_stereo(self, uls, urs):
        n = len(uls)
        hs = self._input_chain_stereo(uls, urs)
        lines = self.lines
        N = self.n_mode_lines
        S = [0.0] * n
        for i in range(2, N):
            ys = self._run_line(lines[i], hs, False)
            S = [s + y for s, y in zip(S, ys)]
        y0 = self._run_line(lines[0], hs, True)
        y1 = self._run_line(lines[1], hs, True)
        y10 = self._run_line(lines[N], hs, True)
        y11 = self._run_line(lines[N + 1], hs, True)
        left = [s + p + q for s, p, q in zip(S, y0, y1)]
        right = [s + p + q for s, p, q in zip(S, y10, y11)]
        rls = self._delay(self.pre[0], left)
        rrs = self._delay(self.pre[1], right)
        l1, l2, l3 = self._early_taps(self.early_mem[0], uls)
        r1, r2, r3 = self._early_taps(self.early_mem[1], urs)
        (_L1, gl1, gr1), (_L2, gl2, gr2), (_L3, gl3, gr3) = self.taps
        early = self.early
        rev = self.reverb
        dry = self.dry
        out_l = []
        out_r = []
        for a1, a2, a3, b1, b2, b3, rl, rr, ul, ur in zip(
                l1, l2, l3, r1, r2, r3, rls, rrs, uls, urs):
            v1 = a1 + b1
            v2 = a2 + b2
            v3 = a3 + b3
            el = gl1 * v1 * early + gl2 * v2 * early + gl3 * v3 * early
            er = gr1 * v1 * early + gr2 * v2 * early + gr3 * v3 * early
            out_l.append(el + rl * rev + ul * dry)
            out_r.append(er + rr * rev + ur * dry)
        return out_l, out_r

    def _input_chain_stereo(self, uls, urs):
        b = self.b
        a = self.a
        hs = self.hs
        eps = FLUSH
        out = []
        app = out.append
        bass_on = self.bass_on
        g, c1, c2 = self.bass
        s1 = self.s1
        s2 = self.s2
        for l, r in zip(uls, urs):
            h = b * (l + r) * 0.5 + a * hs
            if -eps < h < eps:
                h = 0.0
            hs = h
            if bass_on:
                y = g * h + c1 * s1 - c2 * s2
                if -eps < y < eps:
                    y = 0.0
                s2 = s1
                s1 = y
                h = h - y
            app(h)
        self.hs = hs
        self.s1 = s1
        self.s2 = s2
        return out


# ---------------------------------------------------------------------------
# Host

def resolve_block(preset=None, sets=()):
    """Parameter block after preset 0, an optional preset and `--set` writes."""
    return list(host.configured(ReverbEngine, preset, sets).block)


def run_host(fmt, channels, rate, samples, preset=None, sets=(),
             buffer_frames=DEFAULT_BUFFER_FRAMES, stats=None):
    """Process a whole stream of stored sample values; return the output list.

    samples: interleaved stored values (bytes 0..255 for pcm8, signed ints
    for pcm16/pcm32, floats for float32/float64).  A trailing partial frame
    is ignored.  stats, when a dict, receives the buffer counts.
    """
    host.check_request(channels, buffer_frames)
    eng = host.configured(ReverbEngine, preset, sets)
    eng.set_format(channels, rate)      # start of streaming
    out, n_in, n_tail, tail_frames_out = host.stream(eng, fmt, channels, samples,
                                                     buffer_frames)
    if stats is not None:
        stats['input_buffers'] = n_in
        stats['tail_buffers'] = n_tail
        stats['tail_frames'] = tail_frames_out
        stats['lines'] = [(ln.length, ln.gain) for ln in eng.lines]
        stats['pre_delay'] = eng.pre[0].length + 1 if eng.pre else None
        stats['taps'] = [tuple(t) for t in eng.taps]
        stats['a'] = eng.a
        stats['bass'] = eng.bass if eng.bass_on else None
        stats['levels'] = (eng.dry, eng.reverb, eng.early)
    eng.free()
    return out


def process_bytes(fmt, channels, rate, data, **kw):
    """Convenience: raw sample bytes in, raw sample bytes out."""
    return host.process_bytes(run_host, fmt, channels, rate, data, **kw)
