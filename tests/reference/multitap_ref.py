"""Plain-Python model of the Multi-Tap Delay effect as `mwfx process multitap`
runs it.

Every formula is evaluated in IEEE double precision (Python floats) in the
order it is written, with truncation toward zero exactly where it is written,
so that the model's output can be compared with the native program byte for
byte.  The elementary functions (sine, exponential, power) are correctly
rounded: each is computed with the decimal module to 80 significant digits
and then rounded once to the nearest double (for the oscillator's sine see
sweep_shifts(): the decimal evaluation is made whenever it can matter).

Layers, bottom up:
  * exact elementary functions with caches;
  * sample formats (shared by every model, in sample_formats): decode a
    stored sample to a working value and encode a working value back, with
    the clipping rules of each format;
  * parameters: the 35-field block, its clamping setters, the preset table;
  * MultiTapEngine: parameter pick-up per buffer with full or partial
    re-initialisation, the mono and stereo per-frame steps, the tail count;
  * run_host(): what the command-line host does with a whole file: preset 0,
    an optional preset and `--set` values, start of streaming, the input in
    buffers of N frames (the first flagged as a discontinuity), then buffers
    of silence until the engine reports its tail finished.
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

_PI = decimal.Decimal(
    '3.14159265358979323846264338327950288419716939937510582097494459230781'
    '640628620899862803482534211706798214808651328230664709384460955058223')
_CTX = decimal.Context(prec=80, rounding=decimal.ROUND_HALF_EVEN,
                       Emax=999999, Emin=-999999)
_HALF_PI = _CTX.divide(_PI, 2)
_SERIES_EPS = decimal.Decimal('1e-90')

_SIN_CACHE = {}
_EXP_CACHE = {}
_POW_CACHE = {}


def _sin_decimal(x):
    """sin(x) of the exact value of the double x, to about 80 digits."""
    X = decimal.Decimal(x)
    ctx = _CTX
    # Reduce by the nearest multiple of pi/2; the phases met here stay far
    # below the range where 110 digits of pi would stop being enough.
    n = int(ctx.divide(X, _HALF_PI).to_integral_value(
        rounding=decimal.ROUND_HALF_EVEN))
    r = ctx.subtract(X, ctx.multiply(decimal.Decimal(n), _HALF_PI))
    r2 = ctx.multiply(r, r)
    quadrant = n % 4
    if quadrant in (0, 2):          # sine series
        term = r
        k = 1
    else:                           # cosine series
        term = decimal.Decimal(1)
        k = 0
    total = term
    while True:
        term = ctx.divide(ctx.multiply(term, -r2), (k + 1) * (k + 2))
        k += 2
        if abs(term) < _SERIES_EPS:
            break
        total = ctx.add(total, term)
    if quadrant >= 2:
        total = -total
    return total


def exact_sin(x):
    """sin(x) rounded once to the nearest double."""
    v = _SIN_CACHE.get(x)
    if v is None:
        if x == 0.0 or x != x or math.isinf(x):
            v = math.sin(x)         # exact (zero keeps its sign), or NaN
        else:
            if abs(x) > 1e15:
                raise ValueError('phase %r beyond the reduction range' % x)
            v = float(_sin_decimal(x))
        _SIN_CACHE[x] = v
    return v


def exact_exp(x):
    """e^x rounded once to the nearest double."""
    v = _EXP_CACHE.get(x)
    if v is None:
        if x == 0.0:
            v = 1.0
        elif x != x:
            v = x
        elif math.isinf(x):
            v = math.inf if x > 0 else 0.0
        else:
            v = float(_CTX.exp(decimal.Decimal(x)))
        _EXP_CACHE[x] = v
    return v


def exact_pow(base, y):
    """base^y for a positive finite base, rounded once to the nearest double."""
    key = (base, y)
    v = _POW_CACHE.get(key)
    if v is None:
        if y == 0.0:
            v = 1.0
        else:
            v = float(_CTX.power(decimal.Decimal(base), decimal.Decimal(y)))
        _POW_CACHE[key] = v
    return v


def clear_caches():
    _SIN_CACHE.clear()
    _EXP_CACHE.clear()
    _POW_CACHE.clear()


# The oscillator value m = sin(phase) + 1.0 reaches the output only through
# the whole-sample shifts k = trunc(m x E + h) of the taps (h = 0.5 in mono,
# 0 in stereo).  The C library's sine is within one unit in the last place
# of the correctly rounded one, which moves m x E + h by far less than 1e-12
# (E stays below a few hundred samples).  So when every m x E + h computed
# from the library's sine lies farther than SINE_MARGIN from an integer, the
# correctly rounded sine gives the very same k, and the decimal evaluation
# is skipped; otherwise (rarely) the shifts are recomputed from
# exact_sin().  The output is identical to always calling exact_sin();
# LAZY_SINE = False does exactly that (the self-test compares the two).
LAZY_SINE = True
SINE_MARGIN = 1e-7
lazy_sine_fallbacks = 0


def sweep_shifts(phase, depths, half):
    """[trunc((exact_sin(phase) + 1.0) * e + half) for e in depths]."""
    global lazy_sine_fallbacks
    if LAZY_SINE:
        m = math.sin(phase) + 1.0
        ks = []
        for e in depths:
            t = m * e + half
            k = int(t)
            f = t - k
            if f < SINE_MARGIN or f > 1.0 - SINE_MARGIN:
                lazy_sine_fallbacks += 1
                break
            ks.append(k)
        else:
            return ks
    m = exact_sin(phase) + 1.0
    return [int(m * e + half) for e in depths]


# ---------------------------------------------------------------------------
# Parameters and presets

TAPS = 8
FIELDS = tuple(['TapDelay%d' % i for i in range(1, TAPS + 1)] +
               ['TapGain%d' % i for i in range(1, TAPS + 1)] +
               ['TapPan%d' % i for i in range(1, TAPS + 1)] +
               ['TapCount', 'WetOut', 'DryOut', 'Feedback', 'InputGain',
                'LowPassOn', 'LowPassStart', 'ModDepth', 'ModRate',
                'CurrentTap', 'GraphResolution'])
assert len(FIELDS) == 35
FIELD_INDEX = {f: i for i, f in enumerate(FIELDS)}

I_DELAY = 0
I_GAIN = 8
I_PAN = 16
(I_COUNT, I_WET, I_DRY, I_FEEDBACK, I_INPUT, I_LP_ON, I_LP_START, I_DEPTH,
 I_RATE, I_CURRENT, I_GRAPH) = range(24, 35)

# Ranges the setters clamp to; None: stored as given.
FIELD_RANGES = {}
for _i in range(1, TAPS + 1):
    FIELD_RANGES['TapDelay%d' % _i] = (1, 2500)
    FIELD_RANGES['TapGain%d' % _i] = (-100, 100)
    FIELD_RANGES['TapPan%d' % _i] = (-100, 100)
FIELD_RANGES.update({
    'TapCount': (1, 8),
    'WetOut': (-800, 0),
    'DryOut': (-800, 0),
    'Feedback': (0, 150),
    'InputGain': (-800, 0),
    'LowPassOn': None,
    'LowPassStart': (100, 10000),
    'ModDepth': (0, 100),
    'ModRate': (1, 100),
    'CurrentTap': (0, 7),
    'GraphResolution': (0, 3),
})
RANGES = tuple(FIELD_RANGES[f] for f in FIELDS)

# Fields whose single-field setter asks for a full re-initialisation.
REINIT_FIELDS = frozenset(
    ['ModDepth', 'Feedback', 'TapCount'] +
    ['Tap%s%d' % (kind, i) for kind in ('Gain', 'Delay', 'Pan')
     for i in range(1, TAPS + 1)])

# Per-tap constants: delay offset in ms and depth factor.
TAP_OFFSET_MS = (0.123, 0.377, -0.411, 0.095, -0.301, -0.253, 0.457, 0.179)
TAP_DEPTH_FACTOR = (0.7, 0.9, 0.4, 0.6, 0.8, 0.9, 0.1, 0.9)

TWO_PI_SWEEP = 6.28318530718        # 2 pi as the oscillator step writes it
TWO_PI = 6.283185307179586          # 2 pi, the double nearest to it
FLUSH = 2.0 ** -32                  # magnitudes below this become 0
BUFFER_LIMIT = 16777216.0


def _row(name, delays, gains, pans, n, wet, dry, fb, inp, lp, lp_hz, dep,
         rate):
    assert len(delays) == len(gains) == len(pans) == TAPS
    return (name, tuple(delays) + tuple(gains) + tuple(pans) +
            (n, wet, dry, fb, inp, lp, lp_hz, dep, rate, 0, 0))


_P1 = (-24, 18, -14, 20, -22, 0, 56, -44)
_P2 = (-30, 31, -18, -12, 20, 28, -22, 0)
_P3 = (-24, 18, -28, 0, 6, 0, 0, 0)
_P4 = (38, 59, 43, 65, 55, 0, 0, 0)
_P5 = (-24, 18, -14, -38, -6, -38, 0, 0)
_X8 = (100,) * 8
_Z8 = (0,) * 8
_D0 = (100, 1, 1, 1, 1, 1, 1, 1)

# (name, 35-field block), in table order.
PRESETS = (
    _row('(Default)', _D0, _X8, _Z8, 1, -60, -60, 0, 0, 0, 5000, 0, 1),
    _row('Default all parameters', _D0, _X8, _Z8, 1, -60, -60, 0, 0, 0, 5000, 0, 1),
    _row('Small room 1', (17, 40, 85, 197, 275, 309, 1, 1),
         (-48, 16, -11, 5, -2, 1, -100, -100), _P5, 6, -25, -92, 30, 0, 0, 5000, 5, 15),
    _row('Small hall 1', (34, 57, 113, 135, 174, 214, 281, 348),
         (39, 21, -8, -17, -11, 12, 5, 3), (0, 15, 26, 69, 31, 64, 39, 50),
         8, -37, -14, 40, 0, 0, 5000, 10, 15),
    _row('Chorus-echo', (6, 13, 19, 33, 101, 163, 191, 207),
         (-26, 25, -60, 57, -24, 10, -24, 28), (-24, 18, -14, -38, -6, -38, 0, -18),
         8, 0, -140, 0, 0, 0, 5000, 0, 1),
    _row('Chorus-reverse verb 2', (1, 12, 20, 32, 40, 57, 85, 113),
         (12, -17, 37, -42, 52, -49, 66, -85), _P1, 5, 0, -800, 0, 0, 0, 5000, 0, 1),
    _row('Chorus-reverse verb 3', (14, 32, 59, 86, 113, 126, 144, 162),
         (9, -11, 14, -24, 28, -35, 64, -85), (38, 59, 43, 60, 39, 50, 56, 33),
         5, -31, -260, 0, 0, 0, 5000, 0, 1),
    _row('Chorus-reverse verb 1', (1, 12, 23, 29, 37, 44, 56, 65),
         (5, -11, 14, -24, 28, -35, 64, -85), _P1, 5, -31, -800, 0, 0, 0, 5000, 0, 1),
    _row('Low-frequency verb', (17, 187, 323, 361, 399, 427, 473, 500),
         (35, -24, 10, -8, -5, -2, 1, -1), (-24, 18, -14, 20, -22, 0, 56, 0),
         8, 0, -44, 70, 0, 1, 500, 0, 1),
    _row('Chorus-verb', (3, 7, 13, 19, 27, 33, 41, 53),
         (35, -31, 37, -40, 30, -35, 34, -51), _P1, 8, -60, -105, 3, 0, 0, 5000, 0, 1),
    _row('Stadium', (366, 500, 500, 1, 1, 1, 1, 1),
         (54, -10, 5, -100, -100, -100, -100, -100), (-24, 18, -14, 0, 0, 0, 0, 0),
         2, 0, -60, 40, 0, 1, 2000, 5, 15),
    _row('Medium hall 1', (71, 177, 315, 374, 424, 432, 453, 500),
         (-58, -28, -12, 5, -5, 4, 11, -9), _P2, 5, -60, -92, 40, 0, 1, 4500, 10, 10),
    _row('Large hall 2', (100, 130, 185, 269, 424, 437, 453, 500),
         (-51, -41, -22, -32, -9, 4, 11, -9), _P2, 6, -91, -14, 40, 0, 1, 4500, 15, 20),
    _row('Large hall 1', (90, 108, 212, 306, 361, 468, 482, 500),
         (54, -14, 13, 5, -6, 5, -2, 5), _P4, 8, -60, -92, 60, 0, 1, 4500, 10, 10),
    _row('Large hall 3', (100, 177, 315, 403, 474, 432, 453, 500),
         (-58, -28, -12, 11, -5, 4, 11, -9), _P2, 5, -60, -92, 50, 0, 1, 4500, 10, 10),
    _row('Medium hall 2', (63, 177, 315, 403, 474, 432, 453, 500),
         (-58, -22, -5, 4, -5, 4, 11, -9), _P2, 5, -60, -92, 40, 0, 1, 3500, 10, 10),
    _row('Cathedral 1', (191, 227, 249, 267, 291, 1, 1, 1),
         (30, -24, -15, -6, -2, -100, -100, -100), (-20, 18, -28, 0, 6, 0, 0, 0),
         5, -44, -44, 100, 0, 1, 4000, 5, 10),
    _row('Cathedral 2', (191, 269, 428, 500, 291, 1, 1, 1),
         (-32, -24, -5, -6, -2, -100, -100, -100), _P3, 4, -20, -44, 100, 0, 1, 850, 10, 10),
    _row('Cathedral 3', (311, 369, 483, 500, 119, 1, 1, 1),
         (-32, -24, -5, -6, 24, -100, -100, -100), _P3, 5, -37, -20, 70, 0, 1, 4000, 10, 10),
    _row('Large hall 4', (119, 311, 369, 461, 500, 1, 1, 1),
         (-32, -19, -9, -9, -6, -100, -100, -100), _P3, 5, -37, -20, 80, 0, 1, 4000, 10, 10),
    _row('Small hall 2', (31, 110, 151, 206, 231, 336, 500, 500),
         (-50, -12, -9, -9, -9, -5, -1, -9), _P2, 7, -44, 0, 50, 0, 1, 1000, 15, 10),
    _row('Small room 2', (27, 101, 193, 240, 302, 1, 1, 1),
         (100, -21, 8, -5, 3, -100, -100, -100), _P4, 5, -105, -92, 15, 0, 1, 2500, 0, 1),
    _row('Tapped delay 1', (17, 47, 89, 164, 240, 332, 416, 500),
         (-91, 16, 77, -58, 73, -68, 70, -64), _P5, 8, -80, 0, 0, 0, 1, 4500, 0, 20),
    _row('Tapped delay 2', (17, 47, 89, 164, 240, 332, 416, 500),
         (-91, 16, 77, -58, 73, -68, 70, -64), _P5, 8, -80, 0, 15, 0, 1, 4000, 0, 20),
    _row('Tapped delay, stereo pan', (17, 72, 118, 181, 240, 332, 416, 500),
         (-91, 60, 40, -35, 31, -19, 14, -9),
         (-100, 100, -100, 100, -100, 100, -100, 100), 8, -80, 0, 15, 0, 1, 4000, 0, 20),
    _row('Channel delay for stereo simulation', (1, 15, 212, 306, 361, 468, 482, 500),
         (100, 100, 13, 5, -6, 5, -2, 5), (-100, 100, 43, 65, 55, 0, 0, 0),
         2, 0, -800, 0, 0, 0, 4500, 0, 10),
)
assert len(PRESETS) == 26


def preset_index(key):
    """Preset by index (int or decimal text) or by exact name."""
    return find_preset(PRESETS, key)


def clamp_value(index, value):
    rng = RANGES[index]
    if rng is None:
        return value
    lo, hi = rng
    if value < lo:
        return lo
    if value > hi:
        return hi
    return value


def level(v):
    """Level in tenths of a decibel -> factor; -800 and below is silence."""
    if v > -800:
        return exact_pow(10.0, v * 0.005)
    return 0.0


# ---------------------------------------------------------------------------
# Engine

class MultiTapEngine:
    """One Multi-Tap Delay engine: parameter block, flags, buffer, states."""

    def __init__(self):
        self.block = [0] * len(FIELDS)
        self.changed = False
        self.dirty = False
        self.reinit = True          # creation leaves a full set-up pending
        self.valid = False
        self.started = True
        self.channels = 0
        self.rate = 0
        # buffer and indices
        self.buffer = None
        self.L = 0
        self.write = 0
        self.read = [0] * TAPS
        self.tail = 0
        # derived values
        self.taps = 0
        self.D = [0] * TAPS
        self.E = [0.0] * TAPS
        self.offset = [0.0] * TAPS
        self.B = 0.0
        self.gain = [0.0] * TAPS        # mono
        self.gain_l = [0.0] * TAPS
        self.gain_r = [0.0] * TAPS
        self.S = 1.0
        self.fb = 0.0
        self.inp = 0.0
        self.dry = 0.0
        self.wet = 0.0
        self.a = 0.0
        self.one_minus_a = 1.0
        self.step = 0.0
        self.phase = 0.0
        self.p_state = [0.0, 0.0]
        self.w_state = [0.0, 0.0]
        # bookkeeping for tests
        self.buffers_created = 0
        self.full_inits = 0
        self.partial_updates = 0
        self.read_past_end = False

    # -- parameter interface -----------------------------------------------
    def set_parameters(self, block):
        """Whole-block write: flags set, every ranged field clamped.
        Returns True when nothing had to be clamped (S_OK), else False."""
        if len(block) != len(FIELDS):
            raise ValueError('a block has %d fields' % len(FIELDS))
        clamped = [clamp_value(i, v) for i, v in enumerate(block)]
        self.block = clamped
        self.changed = True
        self.dirty = True
        self.reinit = True
        return clamped == list(block)

    def put(self, field, value):
        """Single-field setter: clamp, store and flag only when different."""
        i = FIELD_INDEX[field]
        value = clamp_value(i, value)
        if self.block[i] != value:
            self.block[i] = value
            self.changed = True
            self.dirty = True
            if field in REINIT_FIELDS:
                self.reinit = True

    def get(self, field):
        return self.block[FIELD_INDEX[field]]

    def apply_preset(self, key):
        self.set_parameters(list(PRESETS[preset_index(key)][1]))

    def take_parameters(self):
        changed = self.changed
        self.changed = False
        return list(self.block), changed

    # -- contract --------------------------------------------------------------
    def set_format(self, channels, rate):
        self.channels = channels
        self.rate = rate
        self.reset()

    def reset(self, block=None):
        """Re-apply the parameters (in full only when a full set-up is
        pending); the buffer and its contents are kept."""
        if block is None:
            block, _changed = self.take_parameters()
        self._apply(block)
        self.started = False

    def free(self):
        self.buffer = None
        self.L = 0
        self.reinit = True

    def _apply(self, block):
        if self.reinit:
            self.reinit = False
            self.full_init(block)
            self.valid = True
        else:
            self.partial_update(block)

    def _levels_and_filter(self, block):
        rate = self.rate
        self.inp = level(block[I_INPUT])
        self.dry = level(block[I_DRY])
        self.wet = level(block[I_WET])
        lp_start = block[I_LP_START]
        if block[I_LP_ON] != 0 and lp_start <= rate // 2:
            self.a = exact_exp(-TWO_PI * lp_start / rate)
            self.one_minus_a = 1.0 - self.a
        else:
            self.a = 0.0
            self.one_minus_a = 1.0
        self.step = TWO_PI_SWEEP / ((10.0 / block[I_RATE]) * rate)

    def partial_update(self, block):
        self.partial_updates += 1
        self._levels_and_filter(block)

    def full_init(self, block):
        self.full_inits += 1
        rate = self.rate
        stereo = self.channels == 2
        taps = block[I_COUNT]
        self.taps = taps
        # oscillator step, level factors and low-pass coefficient
        self._levels_and_filter(block)
        # sweep depths (B is 3 ms at 100 %) and delay offsets in samples
        B = block[I_DEPTH] * 3e-5 * rate
        self.B = B
        for i in range(TAPS):
            self.E[i] = B * TAP_DEPTH_FACTOR[i]
            self.offset[i] = rate * TAP_OFFSET_MS[i] * 0.001
        # tap gains; in stereo the pan scales down the far side
        for i in range(TAPS):
            g = block[I_GAIN + i] * 0.01
            pan = block[I_PAN + i]
            self.gain[i] = g
            if pan <= 0:
                self.gain_l[i] = g
                self.gain_r[i] = (pan + 100) * 0.01 * g
            else:
                self.gain_r[i] = g
                self.gain_l[i] = (100 - pan) * 0.01 * g
        # the feedback is normalised by the signed sum of the gains in use
        S = 0.0
        for i in range(taps):
            if stereo:              # each tap adds its left plus right gain
                S += self.gain_l[i] + self.gain_r[i]
            else:
                S += self.gain[i]
        if S < 1.0 or taps == 0:
            S = 1.0
        self.S = S
        self.fb = block[I_FEEDBACK] / (S * 100)
        # whole-sample delays: truncated offset plus whole samples per ms
        per_ms = math.trunc(rate * 0.001)
        for i in range(TAPS):
            self.D[i] = math.trunc(self.offset[i]) + block[I_DELAY + i] * per_ms
        # buffer length: the longest delay plus room for the sweep
        max_d = max(self.D[:taps])
        L = math.trunc(max_d * 1.05 + B * 4.0)
        if L < 1:
            raise ValueError('buffer length %d at %d Hz: no buffer can hold it'
                             % (L, rate))
        # a buffer of the same length is kept with everything in it and
        # every tap re-placed at its delay from the write position; any
        # other length starts again from silence
        if self.buffer is not None and self.L == L:
            for i in range(taps):
                self.read[i] = (self.write + self.D[i]) % L
        else:
            self.buffer = [0.0] * L
            self.L = L
            self.buffers_created += 1
            self.write = 0
            for i in range(taps):
                self.read[i] = self.D[i]
            self.phase = 0.0
            self.p_state = [0.0, 0.0]
            self.w_state = [0.0, 0.0]
            self.tail = L

    # -- per-frame steps ---------------------------------------------------------
    def _run_mono(self, buf, n, decode, encode):
        buffer = self.buffer
        L = self.L
        taps = self.taps
        E = self.E[:taps]
        G = self.gain[:taps]
        rd = self.read
        a = self.a
        oma = self.one_minus_a
        inp = self.inp
        wet = self.wet
        dry = self.dry
        fb = self.fb
        step = self.step
        phase = self.phase
        ps = self.p_state[0]
        ws = self.w_state[0]
        w_idx = self.write
        sweep = self.B != 0.0
        tap_range = range(taps)
        ks = [0] * taps             # no sweep: trunc(m x 0 + 0.5) = 0
        for j in range(n):
            x = decode(buf[j]) * inp
            p = oma * x + a * ps
            if -FLUSH < p < FLUSH:
                p = 0.0
            ps = p
            if sweep:
                ks = sweep_shifts(phase, E, 0.5)
            phase += step
            acc = 0.0
            for t in tap_range:
                k = ks[t]
                r = rd[t]
                pos = r - k
                if pos < 0:
                    pos += L
                elif pos >= L:
                    # A fresh buffer no longer than a tap's delay (D = L,
                    # short delays without sweep) starts that tap one slot
                    # past the end; slot 0 is what it means, silent then.
                    pos -= L
                    self.read_past_end = True
                acc += buffer[pos] * G[t]
                rd[t] = r - 1 if r > 0 else L - 1
            w = oma * acc + a * ws
            if -FLUSH < w < FLUSH:
                w = 0.0
            ws = w
            y = w * wet + x * dry
            if -FLUSH < y < FLUSH:
                y = 0.0
            buf[j] = encode(y)
            v = w * fb + p
            if v < -BUFFER_LIMIT:
                v = -BUFFER_LIMIT
            elif v > BUFFER_LIMIT:
                v = BUFFER_LIMIT
            buffer[w_idx] = v
            w_idx = w_idx - 1 if w_idx > 0 else L - 1
        self.phase = phase
        self.p_state[0] = ps
        self.w_state[0] = ws
        self.write = w_idx

    def _run_stereo(self, buf, n, decode, encode):
        buffer = self.buffer
        L = self.L
        taps = self.taps
        E = self.E[:taps]
        GL = self.gain_l[:taps]
        GR = self.gain_r[:taps]
        rd = self.read
        a = self.a
        oma = self.one_minus_a
        inp = self.inp
        wet = self.wet
        dry = self.dry
        fb = self.fb
        step = self.step
        phase = self.phase
        psl, psr = self.p_state
        wsl, wsr = self.w_state
        w_idx = self.write
        sweep = self.B != 0.0
        tap_range = range(taps)
        ks = [0] * taps             # no sweep: trunc(m x 0) = 0
        for j in range(0, 2 * n, 2):
            xl = decode(buf[j]) * inp
            xr = decode(buf[j + 1]) * inp
            pl = oma * xl + a * psl
            if -FLUSH < pl < FLUSH:
                pl = 0.0
            psl = pl
            pr = oma * xr + a * psr
            if -FLUSH < pr < FLUSH:
                pr = 0.0
            psr = pr
            if sweep:
                ks = sweep_shifts(phase, E, 0.0)
            phase += step
            accl = 0.0
            accr = 0.0
            for t in tap_range:
                k = ks[t]
                r = rd[t]
                pos = r - k
                if pos < 0:
                    pos += L
                elif pos >= L:
                    pos -= L
                    self.read_past_end = True
                v = buffer[pos]
                accl += v * GL[t]
                accr += v * GR[t]
                rd[t] = r - 1 if r > 0 else L - 1
            wl = oma * accl + a * wsl
            if -FLUSH < wl < FLUSH:
                wl = 0.0
            wsl = wl
            wr = oma * accr + a * wsr
            if -FLUSH < wr < FLUSH:
                wr = 0.0
            wsr = wr
            yl = wl * wet + xl * dry
            if -FLUSH < yl < FLUSH:
                yl = 0.0
            yr = wr * wet + xr * dry
            if -FLUSH < yr < FLUSH:
                yr = 0.0
            buf[j] = encode(yl)
            buf[j + 1] = encode(yr)
            v = ((wl + wr) * fb + pl + pr) * 0.5
            if v < -BUFFER_LIMIT:
                v = -BUFFER_LIMIT
            elif v > BUFFER_LIMIT:
                v = BUFFER_LIMIT
            buffer[w_idx] = v
            w_idx = w_idx - 1 if w_idx > 0 else L - 1
        self.phase = phase
        self.p_state = [psl, psr]
        self.w_state = [wsl, wsr]
        self.write = w_idx

    def process_buffer(self, fmt, mode, buf, frames):
        """One per-format loop call on `buf` (stored values, interleaved,
        changed in place).  mode: 0 discontinuity, 1 normal, 2 tail.

        Returns (result, frames): result 1 when the tail is finished, else 0;
        frames is the number of frames holding valid output.
        """
        block, changed = self.take_parameters()
        if mode == 0 and self.started:
            self.reset(block)
        elif mode != 2 and (changed or not self.valid):
            self._apply(block)
        self.started = True

        result = 0
        n = frames
        if mode == 2:
            n = min(frames, self.tail)
            self.tail -= n
            if self.tail == 0:
                result = 1
        if n > 0:
            decode = DECODERS[fmt]
            encode = ENCODERS[fmt]
            if self.channels == 2:
                self._run_stereo(buf, n, decode, encode)
            else:
                self._run_mono(buf, n, decode, encode)
        return result, n


# ---------------------------------------------------------------------------
# Host


def configured_engine(preset=None, sets=()):
    """A new engine after preset 0, an optional preset and `--set` writes."""
    return host.configured(MultiTapEngine, preset, sets)


def resolve_block(preset=None, sets=()):
    return list(configured_engine(preset, sets).block)


def run_host(fmt, channels, rate, samples, preset=None, sets=(),
             buffer_frames=DEFAULT_BUFFER_FRAMES, stats=None):
    """Process a whole stream of stored sample values; return the output list.

    samples: interleaved stored values (bytes 0..255 for pcm8, signed ints
    for pcm16/pcm32, floats for float32/float64).  A trailing partial frame
    is ignored.  stats, when a dict, receives buffer counts and derived
    values.
    """
    host.check_request(channels, buffer_frames)
    eng = configured_engine(preset, sets)
    eng.set_format(channels, rate)      # start of streaming
    out, n_in, n_tail, _ = host.stream(eng, fmt, channels, samples, buffer_frames)
    if stats is not None:
        stats.update(input_buffers=n_in, tail_buffers=n_tail, L=eng.L,
                     D=list(eng.D[:eng.taps]), E=list(eng.E[:eng.taps]),
                     B=eng.B, S=eng.S, fb=eng.fb, a=eng.a, step=eng.step,
                     taps=eng.taps, read_past_end=eng.read_past_end,
                     buffers_created=eng.buffers_created)
    eng.free()
    return out


def derived(channels, rate, preset=None, sets=()):
    """The engine right after the start of streaming, for its derived values."""
    eng = configured_engine(preset, sets)
    eng.set_format(channels, rate)
    return eng


def tail_frames(channels, rate, preset=None, sets=()):
    """Frames the host appends after a non-empty input."""
    return derived(channels, rate, preset, sets).L


def process_bytes(fmt, channels, rate, data, **kw):
    """Convenience: raw sample bytes in, raw sample bytes out."""
    return host.process_bytes(run_host, fmt, channels, rate, data, **kw)
