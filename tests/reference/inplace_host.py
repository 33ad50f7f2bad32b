"""The host shared by the in-place reference models: a new engine with its presets and
`--set` writes applied as the filter's host applies them, and the stream of input buffers
(the first a discontinuity) followed by the tail, as the in-place frame runs it."""

from sample_formats import pack_samples, silence_code, unpack_samples

DEFAULT_BUFFER_FRAMES = 4096


def configured(engine_class, preset=None, sets=()):
    """A new engine after preset 0 (the filter's constructor), an optional preset and
    the `--set` writes in order."""
    eng = engine_class()
    eng.apply_preset(0)
    if preset is not None:
        eng.apply_preset(preset)
    for field, value in sets:
        eng.put(field, value)
    return eng


def check_request(channels, buffer_frames):
    if channels not in (1, 2):
        raise ValueError('1 or 2 channels')
    if buffer_frames < 1:
        raise ValueError('buffer_frames must be positive')


def stream(eng, fmt, channels, samples, buffer_frames):
    """Every whole frame of `samples` in buffers of `buffer_frames` frames, then, after a
    non-empty input, tail buffers of silence until the engine reports the tail finished.
    Returns (output values, input buffers, tail buffers, tail frames)."""
    total = len(samples) // channels
    out = []
    pos = 0
    n_in = n_tail = tail_frames = 0
    while pos < total:
        n = min(buffer_frames, total - pos)
        buf = list(samples[pos * channels:(pos + n) * channels])
        _res, got = eng.process_buffer(fmt, 0 if n_in == 0 else 1, buf, n)
        out.extend(buf[:got * channels])
        pos += n
        n_in += 1
    if total > 0:
        silence = silence_code(fmt)
        while True:
            buf = [silence] * (buffer_frames * channels)
            res, got = eng.process_buffer(fmt, 2, buf, buffer_frames)
            out.extend(buf[:got * channels])
            n_tail += 1
            tail_frames += got
            if res == 1:
                break
    return out, n_in, n_tail, tail_frames


def process_bytes(run_host, fmt, channels, rate, data, **kw):
    """Raw sample bytes through a model's run_host, raw sample bytes out."""
    return pack_samples(fmt, run_host(fmt, channels, rate, unpack_samples(fmt, data), **kw))
