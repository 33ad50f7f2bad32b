"""Plain-Python model of the Pitch Shift as `mwfx process pitch` runs it: before upward
shifts of more than 1.1 (with AntiAlias) an 8th-order low-pass (Chebyshev type I prototype,
bilinear transform) filters the stored input in place; a resampler reads the input r times
as fast as it writes, interpolating linearly (2 taps) or with a tabulated windowed sinc (9
or 15 taps), in double precision; with PreserveDuration the splice engine then brings the
sound back to the input's length at the same ratio, in the buffers' precision, trimmed or
padded with silence to it.  The output never depends on the buffers, so the model takes the
whole input at once."""

import math
import sys

import refcore
import splice_ref as splice
from refcore import DECODE, ENCODE, cr_cos, cr_pow, cr_sin, cr_tan, interleave, silence

FIELDS = ('Semitones', 'Cents', 'Accuracy', 'PreserveDuration', 'Mode', 'Ratio', 'AntiAlias',
          'InitialTime')
RANGES = {'Semitones': (-50, 50), 'Cents': (-1000, 1000), 'Accuracy': None,
          'PreserveDuration': None, 'Mode': (0, 18), 'Ratio': None, 'AntiAlias': None,
          'InitialTime': (0.0, 225306900.0)}
PRESETS = (
    ('(Default)', 0, 0, 2, 0, 0, 1.0, 0, 2646000.0),
    ('Default all parameters', 0, 0, 2, 0, 0, 1.0, 0, 2646000.0),
    ('Fifth down', -7, 0, 2, 0, 0, 0.66742, 0, 2646000.0),
    ('Fifth up', 7, 0, 2, 0, 0, 1.4983, 0, 2646000.0),
    ('Third down', -4, 0, 2, 0, 0, 0.7937, 0, 2646000.0),
    ('Third up', 4, 0, 2, 0, 0, 1.25992, 0, 2646000.0),
)
RECORD = ('C8E35F23-8A64-11D0-9D27-4E7A91C2D05F', '<iiIII4xdI4xd')

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


def page_ratio(semitones, cents):
    """The transposition ratio of Semitones and Cents (tenths of a cent)."""
    sf = cr_pow(1.05946309436, float(semitones)) if semitones >= 0 else \
        cr_pow(0.9438743126810656, float(-semitones))
    cf = cr_pow(1.0005946309436, cents * 0.1) if cents >= 0 else \
        cr_pow(0.9994057224322309, -cents * 0.1)
    return sf * cf


def resolve(preset=None, sets=()):
    """The block as for every effect (see refcore.resolve); Semitones or Cents given without
    Ratio make the host write the ratio they give, nudged up by RATIO_NUDGE."""
    block = refcore.resolve(sys.modules[__name__], preset, sets)
    names = {field for field, _v in sets}
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
    dec = DECODE[fmt]
    enc = ENCODE[fmt]
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


def resample(channels, taps, r):
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
    return out



def run(fmt, nch, rate, samples, block):
    _virtual, r = working_ratio(rate, block)
    total = len(samples) // nch
    stored = list(samples[:total * nch])
    if filtered(r, block):
        anti_alias_in_place(fmt, nch, stored, *design_anti_alias(0.5 / r))
    dec = DECODE[fmt]
    resampled = resample([[dec(stored[n * nch + c]) for n in range(total)] for c in range(nch)],
                         taps_for(block['Accuracy']), r)
    if not block['PreserveDuration']:
        return interleave(fmt, resampled)
    single = fmt in splice.SINGLE_FORMATS
    eng = splice.SpliceEngine(nch, single)
    eng.configure(rate, block['Mode'], r)
    inter = [splice.round_vector(single)(ch) for ch in resampled]
    eng.splice(inter, 0, len(inter[0]), splice.UNLIMITED)
    if not (len(eng.out[0]) > total and r < 1.0):
        splice.drain(eng)
    out = interleave(fmt, eng.out)[:total * nch] if r < 1.0 else interleave(fmt, eng.out)
    return out + [silence(fmt)] * (total * nch - len(out))


def resampled_frames(frames, taps, r):
    """Output frames of the resampler: frame k needs h + 1 + trunc(k x r) input frames."""
    k = 0
    while taps // 2 + 1 + math.trunc(k * r) <= frames:
        k += 1
    return k


def expected_frames(rate, frames, block):
    """The resampler's count, and with PreserveDuration the splice engine's count on it,
    trimmed to the input's length when r < 1 and padded to it when short."""
    _virtual, r = working_ratio(rate, block)
    m = resampled_frames(frames, taps_for(block['Accuracy']), r)
    if not block['PreserveDuration']:
        return m
    return frames if r < 1.0 else max(splice.output_length(m, rate, block['Mode'], r), frames)


def min_frames(rate, block, rng):
    """With PreserveDuration, enough input for a few splice frames of the resampled sound."""
    if not block['PreserveDuration']:
        return 0
    _virtual, r = working_ratio(rate, block)
    F, _H, _X, _R, _S, _T, A, _K = splice.derived(rate, block['Mode'], r)
    return int((F + 3 * A) * r) + rng.randrange(50)


def cost(rate, frames, nch, block):
    _virtual, r = working_ratio(rate, block)
    return nch * frames * (1 + taps_for(block['Accuracy']) / r
                           + (30 * rate / 8000 if block['PreserveDuration'] else 0))
