"""Plain-Python model of the Multi-Tap Delay as `mwfx process multitap` runs it: one
buffer written backwards, read by up to eight taps at their delays, swept by one
oscillator; a one-pole low-pass before the buffer and after the taps, feedback normalised
by the taps' gains, and a tail of the buffer's length.  Magnitudes below 2^-32 become 0."""

import math

from refcore import cr_exp, cr_sin, level, run_inplace

TAPS = 8
FIELDS = tuple(['TapDelay%d' % i for i in range(1, 9)] + ['TapGain%d' % i for i in range(1, 9)]
               + ['TapPan%d' % i for i in range(1, 9)] +
               ['TapCount', 'WetOut', 'DryOut', 'Feedback', 'InputGain', 'LowPassOn',
                'LowPassStart', 'ModDepth', 'ModRate', 'CurrentTap', 'GraphResolution'])
RANGES = dict([('TapDelay%d' % i, (1, 2500)) for i in range(1, 9)] +
              [('TapGain%d' % i, (-100, 100)) for i in range(1, 9)] +
              [('TapPan%d' % i, (-100, 100)) for i in range(1, 9)],
              TapCount=(1, 8), WetOut=(-800, 0), DryOut=(-800, 0), Feedback=(0, 150),
              InputGain=(-800, 0), LowPassOn=None, LowPassStart=(100, 10000),
              ModDepth=(0, 100), ModRate=(1, 100), CurrentTap=(0, 7), GraphResolution=(0, 3))
RECORD = ('61D7C5A3-4B19-11D0-9D27-4E7A91C2D05F', '<35i')


def _row(name, delays, gains, pans, n, wet, dry, fb, inp, lp, lp_hz, dep,
         rate):
    return ((name,) + tuple(delays) + tuple(gains) + tuple(pans) +
            (n, wet, dry, fb, inp, lp, lp_hz, dep, rate, 0, 0))


_P1 = (-24, 18, -14, 20, -22, 0, 56, -44)
_P2 = (-30, 31, -18, -12, 20, 28, -22, 0)
_P3 = (-24, 18, -28, 0, 6, 0, 0, 0)
_P4 = (38, 59, 43, 65, 55, 0, 0, 0)
_P5 = (-24, 18, -14, -38, -6, -38, 0, 0)
_X8 = (100,) * 8
_Z8 = (0,) * 8
_D0 = (100, 1, 1, 1, 1, 1, 1, 1)

# (name, the 35 fields in block order)
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



OFFSET_MS = (0.123, 0.377, -0.411, 0.095, -0.301, -0.253, 0.457, 0.179)
DEPTH_FACTOR = (0.7, 0.9, 0.4, 0.6, 0.8, 0.9, 0.1, 0.9)
SWEEP_TWO_PI = 6.28318530718        # 2 pi as the oscillator step writes it
FLUSH = 2.0 ** -32
LIMIT = 16777216.0                  # the largest magnitude the buffer keeps


def flush(v):
    return 0.0 if -FLUSH < v < FLUSH else v


def shifts(phase, depths, half):
    """[trunc((sin(phase) + 1) x E + half)] with the correctly rounded sine.  The library's
    sine is within an ulp of it, far less than the 1e-7 slack kept from every whole
    number, so the decimal evaluation is made only when a shift lies that close to one."""
    m = math.sin(phase) + 1.0
    ks = [int(m * e + half) for e in depths]
    if all(1e-7 < (m * e + half) % 1.0 < 1.0 - 1e-7 for e in depths):
        return ks
    m = cr_sin(phase) + 1.0
    return [int(m * e + half) for e in depths]


class Engine:
    def __init__(self, b, nch, rate):
        self.nch, taps = nch, b['TapCount']
        self.inp, self.dry, self.wet = level(b['InputGain']), level(b['DryOut']), level(b['WetOut'])
        if b['LowPassOn'] != 0 and b['LowPassStart'] <= rate // 2:
            self.a = cr_exp(-6.283185307179586 * b['LowPassStart'] / rate)
            self.oma = 1.0 - self.a
        else:
            self.a, self.oma = 0.0, 1.0
        self.step = SWEEP_TWO_PI / ((10.0 / b['ModRate']) * rate)
        B = b['ModDepth'] * 3e-5 * rate
        self.E = [B * DEPTH_FACTOR[i] for i in range(taps)]
        self.sweep = B != 0.0
        gains = [b['TapGain%d' % (i + 1)] * 0.01 for i in range(TAPS)]
        self.gains = []
        for i, g in enumerate(gains[:taps]):
            pan = b['TapPan%d' % (i + 1)]
            self.gains.append((g,) if nch == 1 else
                              (g, (pan + 100) * 0.01 * g) if pan <= 0 else
                              ((100 - pan) * 0.01 * g, g))
        S = 0.0
        for g in self.gains:
            S += g[0] if nch == 1 else g[0] + g[1]
        S = 1.0 if S < 1.0 else S
        self.fb = b['Feedback'] / (S * 100)
        per_ms = math.trunc(rate * 0.001)
        D = [math.trunc(rate * OFFSET_MS[i] * 0.001) + b['TapDelay%d' % (i + 1)] * per_ms
             for i in range(taps)]
        self.L = max(1, math.trunc(max(D) * 1.05 + B * 4.0))  # one sample at least
        self.read = D
        self.tail = self.L

    def process(self, chans):
        buf, L, rd, n = [0.0] * self.L, self.L, self.read, len(chans[0])
        a, oma, fb, step, phase, w = self.a, self.oma, self.fb, self.step, 0.0, 0
        half = 0.5 if self.nch == 1 else 0.0
        ks = [0] * len(rd)
        ps = [0.0, 0.0]
        ws = [0.0, 0.0]
        outs = [[0.0] * n for _ in chans]
        for j in range(n):
            xs = [ch[j] * self.inp for ch in chans]
            for c, x in enumerate(xs):
                ps[c] = flush(oma * x + a * ps[c])
            if self.sweep:
                ks = shifts(phase, self.E, half)
            phase += step
            acc = [0.0] * self.nch
            for t, r in enumerate(rd):
                pos = r - ks[t]
                pos = pos + L if pos < 0 else pos - L if pos >= L else pos
                for c in range(self.nch):
                    acc[c] += buf[pos] * self.gains[t][c]
                rd[t] = r - 1 if r > 0 else L - 1
            for c, x in enumerate(xs):
                ws[c] = flush(oma * acc[c] + a * ws[c])
                outs[c][j] = flush(ws[c] * self.wet + x * self.dry)
            if self.nch == 1:
                v = ws[0] * fb + ps[0]
            else:
                v = ((ws[0] + ws[1]) * fb + ps[0] + ps[1]) * 0.5
            buf[w] = -LIMIT if v < -LIMIT else LIMIT if v > LIMIT else v
            w = w - 1 if w > 0 else L - 1
        return outs


def run(fmt, nch, rate, samples, block):
    return run_inplace(Engine(block, nch, rate), fmt, nch, samples)
