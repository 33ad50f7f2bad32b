"""Plain-Python model of the Time Stretch effect as `mwfx process stretch`
runs it.

All signal processing is the splice engine (splice_ref) run directly on the
input with the ratio r = FinalLength x 0.0001.  This module adds the
parameter block with its clamping and presets, and the host: the input is
fed in buffers of N frames into output buffers of M frames, then, before the
end of the stream is drained, everything received is turned into output as
a call with unlimited room would (a frame still being written goes out as an
ordinary frame), and then the held input is drained.  The output never
depends on N and M.
"""

import math
import os
import sys

_HERE = os.path.dirname(os.path.abspath(__file__))
if _HERE not in sys.path:
    sys.path.insert(0, _HERE)

import splice_ref as splice  # noqa: E402
from sample_formats import *  # noqa: E402,F401,F403

DEFAULT_BUFFER_FRAMES = 4096

FIELDS = ('FinalLength', 'Mode', 'InitialTempo', 'InitialTime', 'InputFormat')
FLOAT_FIELDS = ('FinalLength', 'InitialTime')

# (name, FinalLength); every row has Mode 0, InitialTempo 12000,
# InitialTime 2646000.0 and InputFormat 0.
PRESETS = (
    ('(Default)', 10000.0),
    ('Default all parameters', 10000.0),
    ('Time expand 110 % of original', 11000.0),
    ('Time compress 85 % of original', 8500.0),
)


def preset_block(index):
    return {'FinalLength': PRESETS[index][1], 'Mode': 0, 'InitialTempo': 12000,
            'InitialTime': 2646000.0, 'InputFormat': 0}


def preset_index(key):
    """Preset by index (int or decimal text) or by exact name."""
    return find_preset(PRESETS, key)


def clamp_field(field, value):
    if field == 'FinalLength':
        return min(max(float(value), 5000.0), 50000.0)
    if field == 'InitialTime':
        return min(max(float(value), 0.0), 793800000.0)
    if field == 'InitialTempo':
        return min(int(value), 50000)
    if field == 'Mode':
        return min(int(value), splice.LAST_MODE)
    return int(value)


def resolve_block(preset=None, sets=()):
    """Parameter block after preset 0, an optional preset and `--set` writes."""
    block = preset_block(0)
    if preset is not None:
        block = preset_block(preset_index(preset))
    for field, value in sets:
        if field not in FIELDS:
            raise KeyError('no field %r' % field)
        block[field] = clamp_field(field, value)
    return block


def ratio(block):
    return block['FinalLength'] * 0.0001


def run_host(fmt, channels, rate, samples, preset=None, sets=(),
             buffer_frames=DEFAULT_BUFFER_FRAMES, output_frames=None, stats=None):
    """Process a whole stream of stored sample values; return the output list.

    samples: interleaved stored values; a trailing partial frame is ignored.
    output_frames: room of each output buffer (4 x buffer_frames when None).
    stats, when a dict, receives the engine's working values and the counts
    of early acceptances and full searches."""
    if channels not in (1, 2):
        raise ValueError('1 or 2 channels')
    if output_frames is None:
        output_frames = 4 * buffer_frames
    if buffer_frames < 1 or output_frames < 1:
        raise ValueError('buffer sizes must be positive')
    block = resolve_block(preset, sets)
    single = splice.single_precision(fmt)
    eng = splice.SpliceEngine(channels, single)
    eng.configure(rate, block['Mode'], ratio(block))
    eng.restart()

    total = len(samples) // channels
    src = splice.read_channels(fmt, channels, samples[:total * channels], single)
    pos = 0
    while pos < total:                  # one received input buffer
        n = min(buffer_frames, total - pos)
        used = 0
        while used < n:
            _res, consumed, _produced = eng.splice(src, pos + used, n - used,
                                                   output_frames)
            used += consumed
        pos += n
    eng.splice(src, total, 0, splice.UNLIMITED)
    splice.drain(eng, output_frames)
    if stats is not None:
        stats.update(F=eng.F, H=eng.H, X=eng.X, R=eng.R, S=eng.S, T=eng.T,
                     A=eng.A, K=eng.K, accepted=eng.accepted, searched=eng.searched)
    return splice.write_channels(fmt, eng.out)


def expected_frames(rate, frames, preset=None, sets=()):
    """Output frames for an input of `frames` frames, from the frame count
    arithmetic alone."""
    block = resolve_block(preset, sets)
    return splice.output_length(frames, rate, block['Mode'], ratio(block))


def model_cost(rate, frames, preset=None, sets=(), channels=1):
    """A rough count of the search's work, for ordering the model runs."""
    block = resolve_block(preset, sets)
    F, H, X, R, S, T, A, K = splice.derived(rate, block['Mode'], ratio(block))
    n = max(1, (R + S - 1) // S)
    return channels * n * n * (frames // max(A, 1) + 2 + math.ceil(F / max(A, 1)))
