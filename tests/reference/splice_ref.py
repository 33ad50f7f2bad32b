"""Plain-Python model of the splice engine that Time Stretch and Pitch Shift share, and of
Time Stretch as `mwfx process stretch` runs it.  The engine changes the duration of a sound
by a ratio without changing its pitch: it cuts the input into overlapping frames, lets each
new frame start where it best continues the output built so far, and joins the frames with
a linear crossfade.

It works in the precision of its buffers: single for 8-bit PCM, 16-bit PCM and 32-bit float
files, double for 32-bit PCM and 64-bit float.  Python floats are doubles, so for single
buffers every sum and product is rounded to single after each operation (one IEEE operation
on two singles, done in double and rounded once, gives exactly the single result); vectors
are rounded in one go through array('f'), and the similarity search runs all candidate
offsets side by side, one term at a time, so that each candidate's sum of squares still
accumulates in ascending index order.  The output never depends on how input and output are
cut into buffers, so the model takes the whole input at once.
"""

import math
import operator
from array import array

from refcore import deinterleave, interleave, to_single

FIELDS = ('FinalLength', 'Mode', 'InitialTempo', 'InitialTime', 'InputFormat')
RANGES = {'FinalLength': (5000.0, 50000.0), 'Mode': (0, 18), 'InitialTempo': (0, 50000),
          'InitialTime': (0.0, 793800000.0), 'InputFormat': (0, 2)}
PRESETS = (
    ('(Default)', 10000.0, 0, 12000, 2646000.0, 0),
    ('Default all parameters', 10000.0, 0, 12000, 2646000.0, 0),
    ('Time expand 110 % of original', 11000.0, 0, 12000, 2646000.0, 0),
    ('Time compress 85 % of original', 8500.0, 0, 12000, 2646000.0, 0),
)
RECORD = ('1B7E9C44-92D3-11D0-9D27-4E7A91C2D05F', '<dIIdI4x')

# (name, frame ms, search ms, search step at 44.1 kHz, crossfade ms,
#  acceptance threshold in hundredths)
MODES = (
    ('A01. Music 1 (minimum flange, may echo)', 300, 15, 2, 15, 2500),
    ('A02. Music 2', 275, 22, 2, 20, 10000),
    ('A03. Music 3 (less echo)', 150, 15, 2, 15, 1500),
    ('A04. Music 4 (fast, good for bass)', 220, 15, 4, 15, 1500),
    ('A05. Music 5', 190, 15, 2, 15, 1500),
    ('A06. Music 6', 150, 15, 3, 10, 1000),
    ('A07. Speech 1', 90, 15, 2, 30, 2500),
    ('A08. Speech 2', 78, 12, 2, 10, 2000),
    ('A09. Speech 3 (fast)', 80, 12, 4, 10, 2000),
    ('A10. Solo instruments 1', 150, 25, 2, 30, 2500),
    ('A11. Solo instruments 2', 130, 25, 3, 30, 2500),
    ('A12. Solo instruments 3', 110, 25, 2, 30, 2500),
    ('A13. Solo instruments 4 (less echo)', 75, 10, 2, 10, 1000),
    ('A14. Solo instruments 5', 90, 15, 2, 12, 2000),
    ('A15. Solo instruments 6', 85, 15, 4, 12, 2000),
    ('A16. Solo instruments 7 (fast)', 95, 15, 8, 12, 2000),
    ('A17. Drums, unpitched (minimum echo)', 50, 5, 2, 3, 1000),
    ('A18. Drums (better for toms)', 70, 9, 2, 8, 2000),
    ('A19. Drums (tiny echo)', 50, 7, 2, 8, 1000),
)
LAST_MODE = len(MODES) - 1

SINGLE_FORMATS = ('pcm8', 'pcm16', 'float32')

UNLIMITED = 1 << 62     # output room of a call that is never full

_U32 = 0xFFFFFFFF
_SINGLE_HUNDREDTH = to_single(0.01)


def round_vector(single):
    """Function rounding an iterable of doubles to the buffer precision
    (an array of singles, or a plain list of doubles)."""
    if single:
        return lambda seq: array('f', seq)
    return list


def round_scalar(single):
    return to_single if single else (lambda v: v)


def accept_factor(threshold):
    """threshold (hundredths) as a single times the single 0.01, in single
    precision (double buffers use the same value as a double)."""
    return to_single(to_single(float(threshold)) * _SINGLE_HUNDREDTH)


def derived(fs, mode, r):
    """(F, H, X, R, S, T, A, K) for sample rate fs, mode row and ratio r."""
    _name, frame_ms, search_ms, step, xfade_ms, threshold = MODES[mode]
    F = ((fs * frame_ms) & _U32) // 1000
    H = F // 2
    X = min(((fs * xfade_ms) & _U32) // 1000, H - 1)
    R = min(H - X, ((fs * search_ms) & _U32) // 1000)
    if fs < 32000:
        S = (step * fs) // 44100 or 1
    else:
        S = step
    T = accept_factor(threshold)
    A = input_hop(H, F, r)
    return F, H, X, R, S, T, A, F - A


def input_hop(H, F, r):
    a = math.trunc(float(H) / r + 0.5)
    if a < 1:
        a = 1
    if a > F:
        a = F
    return a


def build_window(F, H, X, single):
    """Crossfade window of F values: ramp up over X, flat to H, ramp down
    to zero at H + X, zero beyond; all ones when X <= 1."""
    rnd = round_scalar(single)
    w = [1.0] * F
    if X <= 1:
        return w
    for k in range(F):
        if k < X:
            w[k] = rnd(k / X)
        elif k <= H:
            w[k] = 1.0
        elif k <= H + X:
            w[k] = rnd((H + X - k) / X)
        else:
            w[k] = 0.0
    return w


class SpliceEngine:
    """One splice engine for nch channels with single or double buffers.

    Channels are kept in separate lists; the output of each call is appended
    to self.out (one list of working values per channel), which the owner
    turns into stored values."""

    def __init__(self, nch, single):
        self.nch = nch
        self.single = single
        self.rv = round_vector(single)
        self.rs = round_scalar(single)
        self.out = [[] for _ in range(nch)]
        self.flushing = False
        self.first = True
        self.ended = False

    def configure(self, fs, mode, r):
        F, H, X, R, S, T, A, K = derived(fs, mode, r)
        self.F, self.H, self.X, self.R, self.S = F, H, X, R, S
        self.T = T
        self.A, self.K = A, K
        self.inp = [[0.0] * F for _ in range(self.nch)]
        self.acc = [[0.0] * F for _ in range(self.nch)]
        self.window = build_window(F, H, X, self.single)
        self.out_len = H
        self.fill = 0
        self.out_phase = False
        self.out_pos = 0

    # -- the similarity search ------------------------------------------------
    def find_offset(self):
        R, S, nch = self.R, self.S, self.nch
        if R <= 0:
            return 0
        rv, rs, add = self.rv, self.rs, operator.add
        n = (R + S - 1) // S            # candidates p = 0, S, ... < R
        refs = []
        sums = []
        for c in range(nch):
            y = self.acc[c]
            x = self.inp[c]
            ref = 0.0
            for i in range(0, R, S):
                ref = rs(ref + rs(y[i] * y[i]))
            refs.append(rs(self.T * ref))
            s = [0.0] * n
            for i in range(0, R, S):
                yi = y[i]
                v = rv([yi + xv for xv in x[i:i + S * n:S]])
                s = rv(map(add, s, rv([t * t for t in v])))
            sums.append(s)
        best = 0.0
        best_k = 0
        if nch == 1:
            s, e = sums[0], refs[0]
            for k in range(n):
                if s[k] > e:
                    return k * S
                if s[k] > best:
                    best = s[k]
                    best_k = k
        else:
            s0, s1 = sums
            e0, e1 = refs
            for k in range(n):
                if s0[k] > e0 and s1[k] > e1:
                    return k * S
                total = rs(s0[k] + s1[k])
                if total > best:
                    best = total
                    best_k = k
        return best_k * S

    def add_frame(self, p):
        X, H = self.X, self.H
        rv, add, mul = self.rv, operator.add, operator.mul
        w = self.window
        for c in range(self.nch):
            y = self.acc[c]
            x = self.inp[c]
            if self.first:
                y[0:X] = x[p:p + X]
            else:
                y[0:X] = rv(map(add, y[0:X], rv(map(mul, w[0:X], x[p:p + X]))))
            y[X:X + H] = rv(map(add, y[X:X + H],
                                rv(map(mul, w[X:X + H], x[p + X:p + X + H]))))
        self.first = False

    # -- one call ---------------------------------------------------------------
    def splice(self, src, start, offered, capacity):
        """Consume up to `offered` frames of src (per-channel lists of working
        values, from index `start`) and append up to `capacity` frames to
        self.out.  Returns (result, consumed, produced); result 1 when the
        stream is completely drained."""
        consumed = produced = 0
        if offered == 0 and not self.out_phase and self.ended:
            return 1, 0, 0
        F, H, X, A = self.F, self.H, self.X, self.A
        nch = self.nch
        while True:
            if self.out_phase:
                n = min(capacity - produced, self.out_len - self.out_pos)
                if n > 0:
                    for c in range(nch):
                        self.out[c].extend(self.acc[c][self.out_pos:self.out_pos + n])
                    self.out_pos += n
                    produced += n
                if self.out_pos < self.out_len:
                    break                       # the output is full
                self.out_pos = 0
                if not self.flushing:
                    self.fill = self.K
                for c in range(nch):
                    x = self.inp[c]
                    x[0:F - A] = x[A:F]
                    y = self.acc[c]
                    y[0:X] = y[H:H + X]
                    y[X:F] = [0.0] * (F - X)
                self.out_phase = False
            n = min(offered - consumed, F - self.fill)
            if n > 0:
                fill = self.fill
                for c in range(nch):
                    self.inp[c][fill:fill + n] = src[c][start + consumed:start + consumed + n]
                self.fill += n
                consumed += n
            if self.flushing:
                if self.fill < H:
                    if self.ended:
                        break
                    self.ended = True
                    if self.fill <= 0:
                        break
                    for c in range(nch):
                        self.inp[c][self.fill:F] = [0.0] * (F - self.fill)
                    self.out_len = self.fill
                self.fill -= A
            elif self.fill != F:
                break                           # more input is needed
            self.add_frame(self.find_offset())
            self.out_phase = True
        return 0, consumed, produced




def read_channels(fmt, nch, samples, single):
    """Interleaved stored values -> per-channel values in the buffers' precision."""
    return [round_vector(single)(ch) for ch in deinterleave(fmt, samples, nch)]


def drain(engine):
    """The end-of-stream calls, until the engine reports the stream drained."""
    engine.flushing = True
    while engine.splice(None, 0, 0, UNLIMITED)[0] != 1:
        pass


def output_length(N, fs, mode, r):
    """Frames the engine emits for a whole stream of N frames, from the frame arithmetic
    alone: one frame of H once F frames are held, then one every A frames; at the end the
    held frames are drained A at a time (H each) while at least H are held, and the last
    frame emits what is left."""
    F, H, _X, _R, _S, _T, A, K = derived(fs, mode, r)
    if N < F:
        frames, held = 0, N
    else:
        frames = 1 + (N - F) // A
        held = K + (N - F) - (frames - 1) * A
    total = frames * H
    while held >= H:
        total += H
        held -= A
    return total + max(held, 0)


# ---------------------------------------------------------------------------------------
# Time Stretch: the engine at the ratio FinalLength x 0.0001.

def run(fmt, nch, rate, samples, block):
    single = fmt in SINGLE_FORMATS
    eng = SpliceEngine(nch, single)
    eng.configure(rate, block['Mode'], block['FinalLength'] * 0.0001)
    src = read_channels(fmt, nch, samples, single)
    eng.splice(src, 0, len(src[0]), UNLIMITED)
    drain(eng)
    return interleave(fmt, eng.out)


def min_frames(rate, block, rng):
    """A splice frame and two hops or more: the search runs several times."""
    F, _H, _X, _R, _S, _T, A, _K = derived(rate, block['Mode'], block['FinalLength'] * 0.0001)
    return F + 2 * A + rng.randrange(A)


def cost(rate, frames, nch, block):
    F, _H, _X, R, S, _T, A, _K = derived(rate, block['Mode'], block['FinalLength'] * 0.0001)
    return nch * (R // S + 1) ** 2 * (frames // max(A, 1) + 2)


def expected_frames(rate, frames, block):
    return output_length(frames, rate, block['Mode'], block['FinalLength'] * 0.0001)
