"""Plain-Python model of the Chorus as `mwfx process chorus` runs it: up to three voices,
each a 6500-sample line read at a delay its own oscillator sweeps, with linear
interpolation, a one-pole high cut and feedback; in mono the voices run in series, in
stereo each hears the mean of both sides.  The oscillators' sines are correctly rounded
(see SineTable)."""

import decimal
import math

from refcore import cr_exp, level, run_inplace, sin_cos_decimal

FIELDS = ('InputGain', 'DryOut', 'ChorusOut', 'ChorusSize', 'Feedback', 'InvertChorusPhase',
          'ChorusOutDelay', 'ModulationRate', 'ModulationDepth', 'AttenuateHighs',
          'HighCutoff', 'InvertFeedbackPhase')
RANGES = {'InputGain': (-600, 0), 'DryOut': (-600, 0), 'ChorusOut': (-600, 0),
          'ChorusSize': (1, 3), 'Feedback': (0, 100), 'InvertChorusPhase': None,
          'ChorusOutDelay': (1, 1000), 'ModulationRate': (1, 20000),
          'ModulationDepth': (1, 100), 'AttenuateHighs': None, 'HighCutoff': (100, 10000),
          'InvertFeedbackPhase': None}
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
RECORD = ('4F1B2D83-63A7-11D0-9D27-4E7A91C2D05F', '<12i')

LINE = 6500
MULTIPLIERS = (1.0, 0.811731, 1.132329)
OSC_TWO_PI = 6.28318530718          # the oscillators' 2 pi, as written
FLOOR = 2e-11                       # filtered reads below this become 0
_CTX = decimal.Context(prec=80)
_WIDE = decimal.Context(prec=120)
_TABLES = {}


class SineTable:
    """sin(fl(k x step)) for k = 0, 1, 2, ..., each correctly rounded, at a handful of
    decimal operations each: sin and cos of the exact k x step are carried to 80 digits by
    rotating through `step`, then corrected by the tiny exact difference between the
    double product fl(k x step) and k x step."""

    def __init__(self, step):
        self.step, self.step_dec = step, decimal.Decimal(step)
        self.rot = sin_cos_decimal(step, _WIDE)
        self.s, self.c = decimal.Decimal(0), decimal.Decimal(1)
        self.values = []

    def get(self, k):
        ctx, values = _CTX, self.values
        rs, rcos = self.rot
        while len(values) <= k:
            n = len(values)
            d = ctx.subtract(decimal.Decimal(n * self.step), ctx.multiply(n, self.step_dec))
            d2 = ctx.multiply(d, d)
            sin_d = ctx.subtract(d, ctx.divide(ctx.multiply(d2, d), 6))
            cos_d = ctx.add(ctx.subtract(1, ctx.divide(d2, 2)),
                            ctx.divide(ctx.multiply(d2, d2), 24))
            values.append(float(ctx.add(ctx.multiply(self.s, cos_d), ctx.multiply(self.c, sin_d))))
            self.s, self.c = (ctx.add(ctx.multiply(self.s, rcos), ctx.multiply(self.c, rs)),
                              ctx.subtract(ctx.multiply(self.c, rcos), ctx.multiply(self.s, rs)))
        return values[k]


class Voice:
    def __init__(self, rate, multiplier, delay, mod_rate):
        self.line, self.write, self.state, self.counter = [0.0] * LINE, 0, 0.0, 0
        self.base = math.trunc(delay * multiplier)
        self.period = math.trunc(rate * multiplier * 1000 / mod_rate)
        if self.period <= 0:
            raise ValueError('an oscillator period below one sample is not modelled')
        step = OSC_TWO_PI / self.period
        self.table = _TABLES.setdefault(step, SineTable(step))

    def read(self, a, a_comp, depth):
        """The modulated, interpolated, filtered read; the oscillator moves on."""
        pos = self.write + (self.base + depth * self.table.get(self.counter))
        if pos >= LINE or pos < 0.0:
            pos = math.fmod(pos, float(LINE))
            if pos < 0.0:
                pos += LINE
                if pos >= LINE:
                    pos -= LINE
        i = int(pos)
        li = self.line[i]
        s = a_comp * (li + (self.line[(i + 1) % LINE] - li) * (pos - i)) + a * self.state
        if abs(s) < FLOOR:
            s = 0.0
        self.state = s
        self.counter = self.counter + 1 if self.counter + 1 < self.period else 0
        return s

    def put(self, value):
        self.line[self.write] = value
        self.write = self.write - 1 if self.write else LINE - 1


class Engine:
    tail = 0

    def __init__(self, b, nch, rate):
        self.g_in, self.g_dry = level(b['InputGain'], -600), level(b['DryOut'], -600)
        chorus = level(b['ChorusOut'], -600)
        self.chorus = -chorus if b['InvertChorusPhase'] else chorus
        self.fb = -b['Feedback'] * 0.01 if b['InvertFeedbackPhase'] else b['Feedback'] * 0.01
        if b['AttenuateHighs'] and b['HighCutoff'] < rate // 2:
            self.a = cr_exp(-(2.0 * math.pi) * b['HighCutoff'] / rate)
            self.a_comp = 1.0 - self.a
        else:
            self.a, self.a_comp = 0.0, 1.0
        delay = math.trunc(rate * b['ChorusOutDelay'] * 0.0001)
        self.depth = math.trunc(b['ModulationDepth'] * 0.01 * delay)
        self.voices = [Voice(rate, m, delay, b['ModulationRate'])
                       for m in MULTIPLIERS][:b['ChorusSize']]
        w0 = 0.9 * self.chorus
        self.w = (w0, 0.9 * w0, 0.9 * (0.9 * w0))
        self.nch = nch

    def process(self, chans):
        a, a_comp, depth, fb = self.a, self.a_comp, self.depth, self.fb
        g_in, g_dry = self.g_in, self.g_dry
        if self.nch == 1:
            out = []
            for x in chans[0]:
                x = x * g_in
                for k, v in enumerate(self.voices):
                    s = v.read(a, a_comp, depth)
                    y = s * self.w[0] + x * g_dry if k == 0 else x + s * self.w[k]
                    v.put(x + s * fb)
                    x = y
                out.append(y)
            return [out]
        pan_l, pan_r = 0.9 * self.chorus, 0.95 * self.chorus
        outs = ([], [])
        for xl, xr in zip(*chans):
            xl, xr = xl * g_in, xr * g_in
            for k, v in enumerate(self.voices):
                s = v.read(a, a_comp, depth)
                if k == 0:
                    feed = (xl + xr) * 0.5 + s * fb
                    left, right = xl * g_dry + s * pan_l, xr * g_dry + s * pan_r
                else:
                    feed = (left + right) * 0.5 + s * fb
                    left, right = left + s * pan_l, right + s * pan_r
                v.put(feed)
            outs[0].append(left)
            outs[1].append(right)
        return outs


def run(fmt, nch, rate, samples, block):
    return run_inplace(Engine(block, nch, rate), fmt, nch, samples)
