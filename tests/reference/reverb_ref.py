"""Plain-Python model of the Reverb as `mwfx process reverb` runs it: a one-pole high cut
and an optional resonant bass cut on the input, a bank of feedback combs (the mode's lines;
in stereo two more from lines 0 and 1), a pre-delay, three early reflections from the
style's taps, and a tail of the decay time's whole seconds.  Filter states below 2^-32
become 0."""

import math

from refcore import cr_cos, cr_exp, cr_pow, level, run_inplace

FIELDS = ('DryOut', 'ReverbOut', 'EarlyOut', 'ReverbMode', 'EarlyStyle', 'DecayTime',
          'PreDelay', 'AttenuateBass', 'BassCutoff', 'AttenuateHighs', 'HighCutoff')
RANGES = {'DryOut': (-800, 0), 'ReverbOut': (-800, 0), 'EarlyOut': (-800, 0),
          'ReverbMode': None, 'EarlyStyle': None, 'DecayTime': (5, 50), 'PreDelay': (0, 200),
          'AttenuateBass': (0, 1), 'BassCutoff': (10, 5000), 'AttenuateHighs': (0, 1),
          'HighCutoff': (100, 15000)}
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
RECORD = ('2A93F643-7C58-11D0-9D27-4E7A91C2D05F', '<11i')

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
FLUSH = 2.0 ** -32


def flush(v):
    return 0.0 if -FLUSH < v < FLUSH else v


class Engine:
    def __init__(self, b, nch, rate):
        self.nch = nch
        self.dry, self.rev = level(b['DryOut']), level(b['ReverbOut'])
        self.early = level(b['EarlyOut']) * 0.01 if b['EarlyOut'] > -800 else 0.0
        decay = b['DecayTime'] * 0.1
        self.tail = math.trunc(decay) * rate
        if b['AttenuateHighs'] and b['HighCutoff'] < rate:
            self.a = cr_exp(-FOUR_PI * b['HighCutoff'] / rate)
            self.b = 1.0 - self.a
        else:
            self.a, self.b = 0.0, 1.0
        self.bass = None
        if b['AttenuateBass']:
            x = b['BassCutoff'] / rate
            f = min(max((0.45454545454545453 if x < BASS_SPLIT else 0.30303030303030304) * x,
                        0.0004), 0.49)
            r = cr_exp(-math.pi * f / 0.1)
            c1 = 2 * r * cr_cos(2 * math.pi * f)
            c2 = cr_exp(-2 * math.pi * f / 0.1)
            self.bass = (1 - c1 + c2, c1, c2)
        delays = list(MODES[min(max(b['ReverbMode'], 0), len(MODES) - 1)][1])
        self.mode_lines = len(delays)
        if nch == 2:
            delays += [delays[0] * STEREO_EXTRA[0], delays[1] * STEREO_EXTRA[1]]
        self.lines = []
        for ms in delays:
            d = ms * 0.001
            length = math.trunc(rate * d + 0.5)
            if length < 1:
                raise ValueError('a comb line of no samples is not modelled')
            self.lines.append((length, cr_pow(10.0, -3 * d / decay)))
        self.pre = max(1, math.trunc(b['PreDelay'] * (rate * 0.001)))
        _name, times, gains, pans = EARLY_STYLES[min(max(b['EarlyStyle'], 0), 9)]
        taps = []
        for t, off, g, p in zip(times, EARLY_TAP_OFFSETS, gains, pans):
            x = (p + 100) * 0.005
            taps.append((math.trunc((t + off) * (rate * 0.001)),) +
                        (((1 - x) * g, x * g) if nch == 2 else (float(g), 0.0)))
        if taps[0][0] > taps[1][0]:         # the longest tap last: exchange 1 and 2,
            taps[0], taps[1] = taps[1], taps[0]
        if taps[1][0] > taps[2][0]:         # then 2 and 3 when needed
            taps[1], taps[2] = taps[2], taps[1]
        if taps[0][0] < 1:
            raise ValueError('an early tap of no samples is not modelled')
        self.taps = taps

    def high_cut(self, xs, half=False):
        """The input chain: the high cut (of the sum of both sides, halved, in stereo), then
        the bass cut (the complement of a resonant low-pass whose output is flushed before
        it is kept and subtracted)."""
        a, b, h, out = self.a, self.b, 0.0, []
        s1 = s2 = 0.0
        for x in xs:
            h = flush((b * x * 0.5 if half else b * x) + a * h)
            if self.bass:
                g, c1, c2 = self.bass
                y = flush(g * h + c1 * s1 - c2 * s2)
                s2, s1 = s1, y
                out.append(h - y)
            else:
                out.append(h)
        return out

    def comb(self, line, hs, flushed):
        length, g = line
        mem, st, a, b = [0.0] * length, 0.0, self.a, self.b
        for k, h in enumerate(hs):
            st = b * mem[k] + a * st
            if flushed:
                st = flush(st)
            mem.append((st + h) * g)
        return mem[:len(hs)]

    def delayed(self, xs, n):
        return ([0.0] * n + xs)[:len(xs)]

    def process(self, chans):
        n = len(chans[0])
        if self.nch == 1:
            hs = self.high_cut(chans[0])
            sums = [0.0] * n
            for line in self.lines:
                sums = [s + y for s, y in zip(sums, self.comb(line, hs, False))]
            rs = self.delayed(sums, self.pre - 1)
            t1, t2, t3 = (self.delayed(chans[0], L) for L, _g, _h in self.taps)
            (_, g1, _), (_, g2, _), (_, g3, _) = self.taps
            return [[(v1 * g1 + v2 * g2 + v3 * g3) * self.early + r * self.rev + u * self.dry
                     for v1, v2, v3, r, u in zip(t1, t2, t3, rs, chans[0])]]
        hs = self.high_cut([l + r for l, r in zip(*chans)], True)
        N = self.mode_lines
        common = [0.0] * n
        for line in self.lines[2:N]:
            common = [s + y for s, y in zip(common, self.comb(line, hs, False))]
        sides = []
        for i, j in ((0, 1), (N, N + 1)):
            yi, yj = self.comb(self.lines[i], hs, True), self.comb(self.lines[j], hs, True)
            sides.append(self.delayed([s + p + q for s, p, q in zip(common, yi, yj)],
                                      self.pre - 1))
        v = [[l + r for l, r in zip(self.delayed(chans[0], L), self.delayed(chans[1], L))]
             for L, _g, _h in self.taps]
        e = self.early
        outs = []
        for side, (u, k) in enumerate(((chans[0], 1), (chans[1], 2))):
            g1, g2, g3 = (t[k] for t in self.taps)
            outs.append([g1 * v1 * e + g2 * v2 * e + g3 * v3 * e + r * self.rev + x * self.dry
                         for v1, v2, v3, r, x in zip(v[0], v[1], v[2], sides[side], u)])
        return outs


def run(fmt, nch, rate, samples, block):
    return run_inplace(Engine(block, nch, rate), fmt, nch, samples)
