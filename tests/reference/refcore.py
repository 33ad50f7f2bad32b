"""What the reference models share: the five sample formats, WAV files, correctly rounded
elementary functions, parameter blocks with their presets and clamping, and the host that
runs an in-place engine over a whole stream with its tail.

The models evaluate every formula in IEEE double precision (Python floats) in the order
the engines write it, so that their output can be compared with mwfx byte for byte.
"""

import decimal
import functools
import math
import struct

# name -> (wave format tag, bits per sample, struct code of one sample)
FORMATS = {'pcm8': (1, 8, 'B'), 'pcm16': (1, 16, 'h'), 'pcm32': (1, 32, 'i'),
           'float32': (3, 32, 'f'), 'float64': (3, 64, 'd')}
FORMAT_NAMES = tuple(FORMATS)
FLOATS = ('float32', 'float64')
INT32_MIN, INT32_MAX = -2 ** 31, 2 ** 31 - 1
COMBOS = [(f, n) for f in FORMAT_NAMES for n in (1, 2)]


def silence(fmt):
    return 128 if fmt == 'pcm8' else 0.0 if fmt in FLOATS else 0


_F32 = struct.Struct('<f')


def to_single(y):
    """A double rounded to single precision as a C cast does (overflow: infinity)."""
    try:
        return _F32.unpack(_F32.pack(y))[0]
    except OverflowError:
        return math.copysign(math.inf, y)


def _int_encoder(scale, lo, hi, bias):
    """Truncation toward zero with clipping; NaN stores silence."""
    def encode(y):
        t = y * scale
        if t != t:
            return bias
        return (lo if t < lo else hi if t > hi else math.trunc(t)) + bias
    return encode


DECODE = {'pcm8': lambda b: (b - 128) * 0.0078125, 'pcm16': lambda s: s * 3.0517578125e-05,
          'pcm32': lambda s: s * 4.656612873077393e-10, 'float32': float, 'float64': float}
ENCODE = {'pcm8': _int_encoder(128.0, -128, 127, 128),
          'pcm16': _int_encoder(32768.0, -32768, 32767, 0),
          'pcm32': _int_encoder(2147483648.0, INT32_MIN, INT32_MAX, 0),
          'float32': to_single, 'float64': float}


def unpack(fmt, data):
    code = FORMATS[fmt][2]
    n = len(data) // struct.calcsize(code)
    return list(struct.unpack('<%d%s' % (n, code), data[:n * struct.calcsize(code)]))


def pack(fmt, values):
    return struct.pack('<%d%s' % (len(values), FORMATS[fmt][2]), *values)


def deinterleave(fmt, samples, nch):
    """Interleaved stored values -> per-channel working values (whole frames only)."""
    dec = DECODE[fmt]
    frames = len(samples) // nch
    return [[dec(v) for v in samples[c:frames * nch:nch]] for c in range(nch)]


def interleave(fmt, channels):
    enc = ENCODE[fmt]
    out = [None] * (len(channels[0]) * len(channels))
    for c, ch in enumerate(channels):
        out[c::len(channels)] = [enc(y) for y in ch]
    return out


# ---------------------------------------------------------------------------------------
# WAV files

EXTENSIBLE_TAIL = bytes.fromhex('000000001000800000aa00389b71')


def _chunk(cid, payload):
    return cid + struct.pack('<I', len(payload)) + payload + b'\0' * (len(payload) & 1)


def build_wav(tag, nch, rate, bits, data, extensible=False, extra_chunks=()):
    """A WAVE file: a 16-byte fmt chunk for PCM, 18 bytes and a fact chunk for floats, or
    the 40-byte extensible form; extra chunks go between fmt and data."""
    align = bits // 8 * nch
    if extensible:
        fmt = struct.pack('<HHIIHHHHIH', 0xFFFE, nch, rate, rate * align, align, bits, 22,
                          bits, 4 if nch == 1 else 3, tag) + EXTENSIBLE_TAIL
    else:
        fmt = struct.pack('<HHIIHH', tag, nch, rate, rate * align, align, bits)
        fmt += b'' if tag == 1 else b'\0\0'
    body = b'WAVE' + _chunk(b'fmt ', fmt)
    if tag != 1 or extensible:
        body += _chunk(b'fact', struct.pack('<I', len(data) // align if align else 0))
    for cid, payload in extra_chunks:
        body += _chunk(cid, payload)
    body += _chunk(b'data', bytes(data))
    return b'RIFF' + struct.pack('<I', len(body)) + body


def parse_wav(blob):
    """(tag, channels, rate, bits, block align, data bytes) of a WAVE file, the tag of an
    extensible one taken from its sub-format; None when it is not one."""
    if len(blob) < 12 or blob[:4] != b'RIFF' or blob[8:12] != b'WAVE':
        return None
    end = min(len(blob), 8 + struct.unpack_from('<I', blob, 4)[0])
    at, fmt, data = 12, None, None
    while at + 8 <= end:
        cid, size = blob[at:at + 4], struct.unpack_from('<I', blob, at + 4)[0]
        if cid == b'fmt ':
            fmt = blob[at + 8:at + 8 + size]
        elif cid == b'data':
            data = blob[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    if fmt is None or len(fmt) < 16 or data is None:
        return None
    tag, nch, rate, _byte_rate, align, bits = struct.unpack_from('<HHIIHH', fmt)
    if tag == 0xFFFE and len(fmt) >= 26:
        tag = struct.unpack_from('<H', fmt, 24)[0]
    return tag, nch, rate, bits, align, data


# ---------------------------------------------------------------------------------------
# Correctly rounded elementary functions: evaluated with the decimal module far beyond
# double precision, then rounded once to the nearest double, as the engines' own exact
# functions do.

_CTX = decimal.Context(prec=90, Emax=999999, Emin=-999999)
_D = decimal.Decimal
_HALF_PI = decimal.Context(prec=130).divide(_D(
    '3.14159265358979323846264338327950288419716939937510582097494459230781'
    '640628620899862803482534211706798214808651328230664709384460955058223'), 2)


def sin_cos_decimal(x, ctx=_CTX):
    """(sin x, cos x) of the exact value of x (a double or a Decimal), as Decimals."""
    X = _D(x)
    wide = decimal.Context(prec=ctx.prec + 10 + max(0, X.adjusted()))
    q = int(wide.divide(X, _HALF_PI).to_integral_value(decimal.ROUND_HALF_EVEN))
    r = wide.subtract(X, wide.multiply(q, _HALF_PI))
    r2, eps = ctx.multiply(r, r), _D(10) ** -(ctx.prec + 5)
    s, c, ts, tc, k = r, _D(1), r, _D(1), 1
    while abs(ts) > eps or abs(tc) > eps:
        ts = -ctx.divide(ctx.multiply(ts, r2), 2 * k * (2 * k + 1))
        tc = -ctx.divide(ctx.multiply(tc, r2), (2 * k - 1) * 2 * k)
        s, c, k = ctx.add(s, ts), ctx.add(c, tc), k + 1
    return ((s, c), (c, -s), (-s, -c), (-c, s))[q % 4]


@functools.lru_cache(maxsize=None)
def cr_sin(x):
    return x if x == 0.0 or not math.isfinite(x) else float(sin_cos_decimal(x)[0])


@functools.lru_cache(maxsize=None)
def cr_cos(x):
    return math.nan if not math.isfinite(x) else float(sin_cos_decimal(x)[1])


def cr_tan(x):
    s, c = sin_cos_decimal(x)
    return float(_CTX.divide(s, c)) if x else x


@functools.lru_cache(maxsize=None)
def cr_exp(x):
    if not math.isfinite(x):
        return x if x != -math.inf else 0.0
    return float(_CTX.exp(_D(x)))


@functools.lru_cache(maxsize=None)
def cr_pow(base, y):
    """base ** y for a positive base (beyond the double range: infinity or zero)."""
    return 1.0 if y == 0 else float(_CTX.power(_D(base), _D(y)))


def level(v, floor=-800):
    """A level in tenths of a decibel as a gain; at or below the floor, silence."""
    return cr_pow(10.0, v * 0.005) if v > floor else 0.0


# ---------------------------------------------------------------------------------------
# Parameter blocks: a model names its FIELDS (block order), RANGES (field -> (lo, hi) or
# None for fields stored as given) and PRESETS ((name, value, ...) in field order).

def preset_index(presets, key):
    """A preset by index (int or decimal text) or by exact name; KeyError if none."""
    if isinstance(key, str) and not key.lstrip('-').isdigit():
        for i, row in enumerate(presets):
            if row[0] == key:
                return i
        raise KeyError(key)
    if not 0 <= int(key) < len(presets):
        raise KeyError(key)
    return int(key)


def clamp(ranges, field, value):
    r = ranges[field]
    if r is None:
        return value
    return r[0] if value < r[0] else r[1] if value > r[1] else value


def resolve(model, preset=None, sets=()):
    """The block a new effect holds after preset 0, an optional preset and the `--set`
    writes in order, each brought into its field's range: a dict by field name."""
    row = model.PRESETS[0 if preset is None else preset_index(model.PRESETS, preset)]
    block = {f: clamp(model.RANGES, f, v) for f, v in zip(model.FIELDS, row[1:])}
    for field, value in sets:
        if field not in block:
            raise KeyError(field)
        block[field] = clamp(model.RANGES, field, value)
    return block


def run_inplace(engine, fmt, nch, samples):
    """An in-place engine over a whole stream: the input, then after a non-empty input
    `engine.tail` frames of silence; engine.process(channels) maps per-channel working
    values to per-channel results.  Returns the stored output values."""
    chans = deinterleave(fmt, samples, nch)
    if chans[0]:
        chans = [ch + [0.0] * engine.tail for ch in chans]
    return interleave(fmt, engine.process(chans))
