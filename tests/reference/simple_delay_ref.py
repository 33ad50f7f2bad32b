"""Plain-Python model of the Simple Delay as `mwfx process delay` runs it: one line of
L = round(channels x rate x DelayTime / 1000) samples (at least 2) shared by the channels
in turns, so that channel c repeats after ceil((L - c) / channels) frames, with feedback
0.0316^(L / tail) when the decay's tail is at least a tenth of the line."""

import math

from refcore import cr_pow, level, run_inplace

FIELDS = ('Feedback', 'DelayTime', 'DecayTime', 'DelayOut', 'DryOut')
RANGES = {'Feedback': None, 'DelayTime': (1, 5000), 'DecayTime': (1, 200),
          'DelayOut': (-800, 0), 'DryOut': None}
PRESETS = (
    ('(Default)', 0, 100, 1, -60, -60),
    ('Default all parameters', 0, 100, 1, -60, -60),
    ('Echo chamber', 1, 400, 20, -30, -90),
    ('Slap-back echo', 0, 400, 20, -120, -90),
    ('Grand Canyon', 1, 1000, 30, -140, -40),
    ('Shift selection forwards  (select one channel only)', 0, 1000, 20, 0, -800),
    ('Pseudo-stereo (select one channel only)', 0, 10, 1, 0, -800),
)
RECORD = ('3C41A873-5E2D-11D0-9D27-4E7A91C2D05F', '<5i')


class Engine:
    def __init__(self, b, nch, rate):
        self.L = max(2, (nch * rate * b['DelayTime'] + 500) // 1000)
        tail = 0 if b['Feedback'] == 0 else math.trunc(float(rate) * nch * b['DecayTime'] * 0.1)
        ratio = tail / self.L
        self.fb = 0.0 if ratio < 0.1 else cr_pow(0.0316, 1.0 / ratio)
        self.wet, self.dry = level(b['DelayOut']), level(b['DryOut'])
        self.nch = nch
        self.tail = (tail + self.L) // nch

    def process(self, chans):
        outs = []
        for c, xs in enumerate(chans):
            held = [0.0] * -(-(self.L - c) // self.nch)     # this channel's slots
            out = []
            for n, x in enumerate(xs):
                y = held[n]
                out.append(y * self.wet + x * self.dry)
                held.append(self.fb * y + x)
            outs.append(out)
        return outs


def run(fmt, nch, rate, samples, block):
    return run_inplace(Engine(block, nch, rate), fmt, nch, samples)
