"""The five sample formats of the reference models: stored values and their
working values.

A stored sample (a byte 0..255 for 8-bit PCM, a signed integer for 16- and
32-bit PCM, a float for the two IEEE formats) decodes to a working value in
IEEE double precision, and a working value encodes back with the clipping
rules of its format: integer formats truncate toward zero and clip, NaN
stores silence, float32 rounds to single precision (overflow gives an
infinity) and float64 passes unchanged.  Every model shares these, so that
they all read and write samples exactly as the engines do.
"""

import math
import struct

__all__ = [
    'find_preset',
    'FORMATS', 'FORMAT_NAMES', 'PCM8_SCALE', 'PCM16_SCALE', 'PCM32_SCALE',
    'INT32_MIN', 'INT32_MAX', 'format_name', 'silence_code', 'decode_pcm8',
    'decode_pcm16', 'decode_pcm32', 'decode_float', 'encode_pcm8',
    'encode_pcm16', 'encode_pcm32', 'to_single', 'encode_float32',
    'encode_float64', 'DECODERS', 'ENCODERS', 'unpack_samples', 'pack_samples',
]

# name -> (wave format tag, bits per sample, struct code of one sample)
FORMATS = {
    'pcm8': (1, 8, 'B'),
    'pcm16': (1, 16, 'h'),
    'pcm32': (1, 32, 'i'),
    'float32': (3, 32, 'f'),
    'float64': (3, 64, 'd'),
}
FORMAT_NAMES = ('pcm8', 'pcm16', 'pcm32', 'float32', 'float64')

PCM8_SCALE = 0.0078125              # 1/128
PCM16_SCALE = 3.0517578125e-05      # 1/32768
PCM32_SCALE = 4.656612873077393e-10  # 1/2^31

INT32_MIN = -2147483648
INT32_MAX = 2147483647


def format_name(tag, bits):
    for name, (t, b, _code) in FORMATS.items():
        if t == tag and b == bits:
            return name
    raise ValueError('unsupported format tag %d with %d bits' % (tag, bits))


def silence_code(fmt):
    """The stored value of silence: byte 128 for 8-bit PCM, zero otherwise."""
    if fmt == 'pcm8':
        return 128
    if fmt in ('float32', 'float64'):
        return 0.0
    return 0


def decode_pcm8(b):
    return (b - 128) * PCM8_SCALE


def decode_pcm16(s):
    return s * PCM16_SCALE


def decode_pcm32(s):
    return s * PCM32_SCALE


def decode_float(f):
    return f


def encode_pcm8(y):
    t = y * 128.0
    if t != t:                      # NaN stores silence
        return 128
    if math.isinf(t):
        return 255 if t > 0 else 0
    v = math.trunc(t)
    if v < -128:
        return 0x00
    if v > 127:
        return 0xFF
    return v + 128


def encode_pcm16(y):
    t = y * 32768.0
    if t != t:
        return 0
    if math.isinf(t):
        return 32767 if t > 0 else -32768
    v = math.trunc(t)
    if v < -32768:
        return -32768
    if v > 32767:
        return 32767
    return v


def encode_pcm32(y):
    t = y * 2147483648.0
    if t != t:
        return 0
    if t < -2147483648.0:
        return INT32_MIN
    if t > 2147483647.0:
        return INT32_MAX
    return math.trunc(t)


_F32 = struct.Struct('<f')


def to_single(y):
    """Round a double to single precision the way a C cast does.

    Values that round beyond the single range become infinities; struct
    reports those as OverflowError instead.
    """
    try:
        return _F32.unpack(_F32.pack(y))[0]
    except OverflowError:
        return math.copysign(math.inf, y)


def encode_float32(y):
    return to_single(y)


def encode_float64(y):
    return y


DECODERS = {
    'pcm8': decode_pcm8, 'pcm16': decode_pcm16, 'pcm32': decode_pcm32,
    'float32': decode_float, 'float64': decode_float,
}
ENCODERS = {
    'pcm8': encode_pcm8, 'pcm16': encode_pcm16, 'pcm32': encode_pcm32,
    'float32': encode_float32, 'float64': encode_float64,
}


def unpack_samples(fmt, data):
    """Raw little-endian sample bytes -> list of stored values."""
    code = FORMATS[fmt][2]
    size = struct.calcsize(code)
    n = len(data) // size
    return list(struct.unpack('<%d%s' % (n, code), data[:n * size]))


def pack_samples(fmt, values):
    code = FORMATS[fmt][2]
    return struct.pack('<%d%s' % (len(values), code), *values)


def find_preset(rows, key):
    """The index of a preset row (name first) by index (int or decimal text) or by exact
    name; KeyError when there is none."""
    if isinstance(key, int):
        idx = key
    elif key.lstrip('-').isdigit():
        idx = int(key)
    else:
        for i, row in enumerate(rows):
            if row[0] == key:
                return i
        raise KeyError('no preset named %r' % key)
    if not 0 <= idx < len(rows):
        raise KeyError('preset index %d out of range' % idx)
    return idx
