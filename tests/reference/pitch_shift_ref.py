"""Plain-Python model of the Pitch Shift effect as `mwfx process pitch`
runs it.

Layers, bottom up:
  * the parameter block, its clamping, the presets and the ratio the host
    writes when only Semitones or Cents are given;
  * AntiAliasFilter: an 8th-order low-pass (Chebyshev type I prototype,
    bilinear transform) applied in place to the stored input before upward
    shifts of more than 1.1, in double precision;
  * SincResampler: reads the input r times as fast as it writes the output,
    interpolating linearly (2 taps) or with a tabulated windowed sinc (9 or
    15 taps), in double precision;
  * with PreserveDuration, the splice engine (splice_ref) run on the
    resampled sound with the same ratio in the buffers' precision, the
    result trimmed or padded with silence to the input's length;
  * run_host(): what the command-line host does with a whole file.

The output never depends on how the input and output are cut into buffers:
the filter and the resampler are plain streams, and before the end of the
stream is drained everything received is turned into output as a call with
unlimited room would.  So the model processes the whole input at once.
"""

import decimal
import math
import os
import sys

_HERE = os.path.dirname(os.path.abspath(__file__))
if _HERE not in sys.path:
    sys.path.insert(0, _HERE)

import splice_ref as splice  # noqa: E402
from sample_formats import *  # noqa: E402,F401,F403

DEFAULT_BUFFER_FRAMES = 4096

FIELDS = ('Semitones', 'Cents', 'Accuracy', 'PreserveDuration', 'Mode', 'Ratio',
          'AntiAlias', 'InitialTime')
FLOAT_FIELDS = ('Ratio', 'InitialTime')

# (name, Semitones, Ratio); every row has Cents 0, Accuracy 2,
# PreserveDuration 0, Mode 0, AntiAlias 0 and InitialTime 2646000.0.
PRESETS = (
    ('(Default)', 0, 1.0),
    ('Default all parameters', 0, 1.0),
    ('Fifth down', -7, 0.66742),
    ('Fifth up', 7, 1.4983),
    ('Third down', -4, 0.7937),
    ('Third up', 4, 1.25992),
)

PI = 3.14159265356       # the value of pi the kernel and the filter design use
TABLE_STEPS = 4000
RATIO_NUDGE = 0.000001   # added by the host to a ratio made from Semitones and Cents

# Poles of the normalised prototype low-pass (0.1 dB ripple), in order.
PROTOTYPE_POLES = (
    (-0.32165, 0.205314), (-0.32165, -0.205314),
    (-0.272682, 0.584684), (-0.272682, -0.584684),
    (-0.1822, 0.875041), (-0.1822, -0.875041),
    (-0.06398, 1.032181), (-0.06398, -1.032181),
)
BINOMIAL_8 = (1.0, 8.0, 28.0, 56.0, 70.0, 56.0, 28.0, 8.0, 1.0)


# ---------------------------------------------------------------------------
# Correctly rounded elementary functions: each is evaluated with the decimal
# module to 60 significant digits and rounded once to the nearest double, so
# the results do not depend on any platform's mathematics library.

_CTX = decimal.Context(prec=60, rounding=decimal.ROUND_HALF_EVEN, Emax=99999, Emin=-99999)
_HALF_PI = _CTX.divide(decimal.Decimal(
    '3.141592653589793238462643383279502884197169399375105820974944592307816406286'), 2)
_TINY = decimal.Decimal('1e-70')
_SIN_COS_CACHE = {}


def _series(r, first, k):
    """Taylor series of sin (first = r, k = 1) or cos (first = 1, k = 0)."""
    ctx = _CTX
    r2 = ctx.multiply(r, r)
    term = first
    total = term
    while True:
        term = ctx.divide(ctx.multiply(term, -r2), (k + 1) * (k + 2))
        k += 2
        if abs(term) < _TINY:
            return total
        total = ctx.add(total, term)


def _sin_cos(x):
    """(sin x, cos x) of the exact value of the double x, as Decimals."""
    got = _SIN_COS_CACHE.get(x)
    if got is None:
        ctx = _CTX
        X = decimal.Decimal(x)
        n = int(ctx.divide(X, _HALF_PI).to_integral_value(rounding=decimal.ROUND_HALF_EVEN))
        r = ctx.subtract(X, ctx.multiply(decimal.Decimal(n), _HALF_PI))
        s = _series(r, r, 1)
        c = _series(r, decimal.Decimal(1), 0)
        got = ((s, c), (c, -s), (-s, -c), (-c, s))[n % 4]
        _SIN_COS_CACHE[x] = got
    return got


def cr_sin(x):
    return float(_sin_cos(x)[0]) if x else x


def cr_cos(x):
    return float(_sin_cos(x)[1])


def cr_tan(x):
    s, c = _sin_cos(x)
    return float(_CTX.divide(s, c)) if x else x


def cr_pow(base, y):
    """base ** y for a positive base."""
    if y == 0:
        return 1.0
    return float(_CTX.power(decimal.Decimal(base), decimal.Decimal(y)))


# ---------------------------------------------------------------------------
# Parameters

def preset_block(index):
    _name, semitones, ratio = PRESETS[index]
    return {'Semitones': semitones, 'Cents': 0, 'Accuracy': 2, 'PreserveDuration': 0,
            'Mode': 0, 'Ratio': ratio, 'AntiAlias': 0, 'InitialTime': 2646000.0}


def preset_index(key):
    """Preset by index (int or decimal text) or by exact name."""
    return find_preset(PRESETS, key)


def clamp_field(field, value):
    if field == 'Semitones':
        return min(max(int(value), -50), 50)
    if field == 'Cents':
        return min(max(int(value), -1000), 1000)
    if field == 'InitialTime':
        return min(max(float(value), 0.0), 225306900.0)
    if field == 'Ratio':
        return float(value)
    if field == 'Mode':
        return min(int(value), splice.LAST_MODE)
    return int(value)


def page_ratio(semitones, cents):
    """Transposition ratio from Semitones and Cents (tenths of a cent)."""
    if semitones >= 0:
        sf = cr_pow(1.05946309436, float(semitones))
    else:
        sf = cr_pow(0.9438743126810656, float(-semitones))
    if cents >= 0:
        cf = cr_pow(1.0005946309436, cents * 0.1)
    else:
        cf = cr_pow(0.9994057224322309, -cents * 0.1)
    return sf * cf


def resolve_block(preset=None, sets=()):
    """Parameter block after preset 0, an optional preset and `--set` writes;
    Semitones or Cents without Ratio make the host write the ratio they
    give."""
    block = preset_block(0)
    if preset is not None:
        block = preset_block(preset_index(preset))
    names = set()
    for field, value in sets:
        if field not in FIELDS:
            raise KeyError('no field %r' % field)
        block[field] = clamp_field(field, value)
        names.add(field)
    if names & {'Semitones', 'Cents'} and 'Ratio' not in names:
        block['Ratio'] = page_ratio(block['Semitones'], block['Cents']) + RATIO_NUDGE
    return block


def taps_for(accuracy):
    return {1: 2, 3: 15}.get(accuracy, 9)


def working_ratio(rate, block):
    """(virtual rate, effective ratio r) as the engine derives them."""
    virtual = max(1, math.trunc(rate / block['Ratio']))
    r = rate / virtual
    if block['PreserveDuration'] and r < 0.5:
        r = 0.5
    return virtual, r


def filtered(r, block):
    return r > 1.1 and block['AntiAlias'] != 0


# ---------------------------------------------------------------------------
# Anti-alias filter

def cmul(a, b):
    return (a[0] * b[0] - a[1] * b[1], a[0] * b[1] + a[1] * b[0])


def cdiv(a, b):
    den = b[0] * b[0] + b[1] * b[1]
    return ((a[0] * b[0] + a[1] * b[1]) / den, (a[1] * b[0] - a[0] * b[1]) / den)


def design_anti_alias(c):
    """(b0..b8, -a1..-a8) of the low-pass with cut-off c (fraction of fs)."""
    W = 2.0 * cr_tan(0.9 * PI * c)
    s = [(W * re, W * im) for re, im in PROTOTYPE_POLES]
    prod = s[0]
    for sk in s[1:]:
        prod = cmul(prod, sk)
    g = cr_pow(10.0, 0.005)
    z = (g * prod[0], g * prod[1])
    K = math.sqrt(z[0] * z[0] + z[1] * z[1])
    q = [cdiv((2.0 + sk[0], sk[1]), (2.0 - sk[0], -sk[1])) for sk in s]
    poly = [(1.0, 0.0)] + [(0.0, 0.0)] * 8
    for qk in q:
        for j in range(8, 0, -1):
            t = cmul(qk, poly[j - 1])
            poly[j] = (poly[j][0] - t[0], poly[j][1] - t[1])
    den = (2.0 - s[0][0], -s[0][1])
    for sk in s[1:]:
        den = cmul(den, (2.0 - sk[0], -sk[1]))
    G = K / den[0]
    b = [G * k for k in BINOMIAL_8]
    feedback = [-poly[j][0] for j in range(1, 9)]
    return b, feedback


def anti_alias_in_place(fmt, nch, stored, b, feedback):
    """Filter interleaved stored values in place, one history per channel."""
    dec = DECODERS[fmt]
    enc = ENCODERS[fmt]
    frames = len(stored) // nch
    b0 = b[0]
    bk = b[1:]
    for c in range(nch):
        hist = [0.0] * 8               # hist[k - 1] is the k-th history value
        for n in range(frames):
            idx = n * nch + c
            w = dec(stored[idx])
            for k in range(8):
                w += feedback[k] * hist[k]
            y = b0 * w
            for k in range(8):
                y += bk[k] * hist[k]
            hist[1:] = hist[:7]
            hist[0] = w
            stored[idx] = enc(y)


# ---------------------------------------------------------------------------
# Resampler

_TABLES = {}


def kernel_table(h):
    """4003 doubles: a windowed sinc over |d| from 0 to h + 1 in 4000 steps
    (kept once made: its sines and cosines are costly)."""
    table = _TABLES.get(h)
    if table is not None:
        return table
    table = [0.0] * (TABLE_STEPS + 3)
    table[0] = 1.0
    m = h + 1
    for i in range(1, TABLE_STEPS):
        x = (m * i) * 0.00025 * PI
        sinc = cr_sin(x) / x
        t = x / m + PI
        window = (0.35875 - 0.48829 * cr_cos(t) + 0.14128 * cr_cos(2 * t)
                  - 0.01168 * cr_cos(3 * t))
        table[i] = window * sinc
    table[TABLE_STEPS] = table[TABLE_STEPS - 1]
    _TABLES[h] = table
    return table


def resample(channels, taps, r, stats=None):
    """Per-channel input (doubles) -> per-channel output (doubles): output
    frame k is the input interpolated at position k x r, zeros before the
    first input frame, produced while the input lasts."""
    nch = len(channels)
    frames = len(channels[0])
    h = taps // 2
    table = kernel_table(h) if taps != 2 else None
    scale = TABLE_STEPS / (h + 1)
    rings = [[0.0] * taps for _ in range(nch)]
    out = [[] for _ in range(nch)]
    # priming: h + 1 frames are read before the first output frame
    needed = h + 1
    ring_index = h + 1
    in_count = -float(h + 1)
    position = 0.0
    out_count = 0
    read = 0
    widest = 0.0
    while True:
        while needed > 0 and read < frames:
            ring_index -= 1
            if ring_index == -1:
                ring_index = taps - 1
            for c in range(nch):
                rings[c][ring_index] = channels[c][read]
            read += 1
            needed -= 1
            in_count += 1.0
        if needed > 0:
            break
        d = h - (position - in_count)
        if taps == 2:
            other = (ring_index + 1) % 2
            for c in range(nch):
                ring = rings[c]
                out[c].append((1 - d) * ring[ring_index] + d * ring[other])
        else:
            weights = []
            for j in range(taps):
                t = abs(d - j) * scale
                widest = max(widest, t)
                n = math.trunc(t)
                weights.append(table[n] + (table[n + 1] - table[n]) * (t - n))
            for c in range(nch):
                ring = rings[c]
                y = 0.0
                for j in range(taps):
                    y += weights[j] * ring[(ring_index + j) % taps]
                out[c].append(y)
        out_count += 1
        position = out_count * r
        needed = math.trunc(position - in_count)
        if needed < 0:
            needed = 0
    if stats is not None:
        stats['table_reach'] = widest
    return out


def resampled_frames(frames, taps, r):
    """Output frames of the resampler for `frames` input frames: frame k
    needs h + 1 + trunc(k x r) input frames."""
    h = taps // 2
    k = 0
    while h + 1 + math.trunc(k * r) <= frames:
        k += 1
    return k


# ---------------------------------------------------------------------------
# Host

def run_host(fmt, channels, rate, samples, preset=None, sets=(),
             buffer_frames=DEFAULT_BUFFER_FRAMES, output_frames=None, stats=None):
    """Process a whole stream of stored sample values; return the output list.

    The buffer sizes do not change the output and are accepted for the
    harness's sake.  stats, when a dict, receives the working values."""
    if channels not in (1, 2):
        raise ValueError('1 or 2 channels')
    block = resolve_block(preset, sets)
    virtual, r = working_ratio(rate, block)
    taps = taps_for(block['Accuracy'])
    preserve = block['PreserveDuration'] != 0
    total = len(samples) // channels
    stored = list(samples[:total * channels])
    if stats is not None:
        stats.update(virtual=virtual, r=r, taps=taps, filtered=filtered(r, block))
    if filtered(r, block):
        b, feedback = design_anti_alias(0.5 / r)
        anti_alias_in_place(fmt, channels, stored, b, feedback)
    dec = DECODERS[fmt]
    decoded = [[dec(stored[n * channels + c]) for n in range(total)]
               for c in range(channels)]
    resampled = resample(decoded, taps, r, stats)
    if not preserve:
        return splice.write_channels(fmt, resampled)

    single = splice.single_precision(fmt)
    rv = splice.round_vector(single)
    inter = [rv(ch) for ch in resampled]
    eng = splice.SpliceEngine(channels, single)
    eng.configure(rate, block['Mode'], r)
    eng.restart()
    eng.splice(inter, 0, len(inter[0]), splice.UNLIMITED)
    if not (len(eng.out[0]) > total and r < 1.0):
        splice.drain(eng, splice.UNLIMITED)
    out = splice.write_channels(fmt, eng.out)
    made = len(out) // channels
    if stats is not None:
        stats.update(spliced=made, accepted=eng.accepted, searched=eng.searched,
                     F=eng.F, H=eng.H, A=eng.A)
    if made > total and r < 1.0:
        return out[:total * channels]
    if made < total:
        out += [silence_code(fmt)] * ((total - made) * channels)
    return out


def expected_frames(rate, frames, preset=None, sets=()):
    """Output frames for an input of `frames` frames, from the counting rules
    alone: the resampler's count, and with PreserveDuration the splice
    engine's count on it, trimmed to the input's length when r < 1 and
    padded to it when short."""
    block = resolve_block(preset, sets)
    _virtual, r = working_ratio(rate, block)
    m = resampled_frames(frames, taps_for(block['Accuracy']), r)
    if not block['PreserveDuration']:
        return m
    spliced = splice.output_length(m, rate, block['Mode'], r)
    if r < 1.0:
        return frames
    return max(spliced, frames)
