"""Minimal RIFF/WAVE reader and writer for the delay reference checks.

Only the standard library is used.  The writer produces the plainest files
the effect accepts: a 16-byte `fmt ` chunk for integer PCM (tag 1) and an
18-byte one plus a `fact` chunk for IEEE float (tag 3).  The reader walks the
chunk list generally, so files written by other tools (extra chunks such as
PEAK or LIST, pad bytes after odd-sized chunks, WAVE_FORMAT_EXTENSIBLE
headers) are read as well.
"""

import struct

WAVE_FORMAT_PCM = 0x0001
WAVE_FORMAT_IEEE_FLOAT = 0x0003
WAVE_FORMAT_EXTENSIBLE = 0xFFFE


class WavError(Exception):
    pass


class WavInfo:
    """Header facts and raw sample bytes of one WAVE file."""

    def __init__(self, tag, channels, rate, bits, data, raw_tag=None,
                 block_align=None, chunks=()):
        self.tag = tag                  # effective format tag (1 or 3, ...)
        self.raw_tag = raw_tag if raw_tag is not None else tag
        self.channels = channels
        self.rate = rate
        self.bits = bits
        self.block_align = block_align
        self.data = data                # bytes of the data chunk
        self.chunks = list(chunks)      # chunk ids in file order

    @property
    def frame_bytes(self):
        return (self.bits // 8) * self.channels

    @property
    def frames(self):
        fb = self.frame_bytes
        return len(self.data) // fb if fb else 0

    def __repr__(self):
        return ("WavInfo(tag=%d, raw_tag=0x%04x, channels=%d, rate=%d, "
                "bits=%d, data=%d bytes, chunks=%r)"
                % (self.tag, self.raw_tag, self.channels, self.rate,
                   self.bits, len(self.data), self.chunks))


def _chunk(cid, payload):
    out = cid + struct.pack('<I', len(payload)) + payload
    if len(payload) & 1:
        out += b'\x00'          # chunks start on even offsets
    return out


def build_wav(tag, channels, rate, bits, data, extensible=False,
              extra_chunks=()):
    """Return the bytes of a WAVE file holding `data` (raw sample bytes).

    extra_chunks: (id, payload) pairs written between `fmt ` and `data`,
    handy for checking that readers skip what they do not know.
    """
    block_align = (bits // 8) * channels
    byte_rate = block_align * rate
    if extensible:
        guid_tail = b'\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71'
        mask = 0x4 if channels == 1 else 0x3
        fmt = struct.pack('<HHIIHHHHI', WAVE_FORMAT_EXTENSIBLE, channels,
                          rate, byte_rate, block_align, bits, 22, bits, mask)
        fmt += struct.pack('<H', tag) + guid_tail
    elif tag == WAVE_FORMAT_PCM:
        fmt = struct.pack('<HHIIHH', tag, channels, rate, byte_rate,
                          block_align, bits)
    else:
        fmt = struct.pack('<HHIIHHH', tag, channels, rate, byte_rate,
                          block_align, bits, 0)
    body = b'WAVE' + _chunk(b'fmt ', fmt)
    if tag != WAVE_FORMAT_PCM or extensible:
        frames = len(data) // block_align if block_align else 0
        body += _chunk(b'fact', struct.pack('<I', frames))
    for cid, payload in extra_chunks:
        body += _chunk(cid, payload)
    body += _chunk(b'data', bytes(data))
    return b'RIFF' + struct.pack('<I', len(body)) + body


def write_wav(path, tag, channels, rate, bits, data, **kw):
    with open(path, 'wb') as f:
        f.write(build_wav(tag, channels, rate, bits, data, **kw))


def parse_wav(blob):
    """Parse WAVE bytes into a WavInfo.  Raises WavError on bad input."""
    if len(blob) < 12 or blob[0:4] != b'RIFF' or blob[8:12] != b'WAVE':
        raise WavError('not a RIFF/WAVE file')
    riff_end = min(len(blob), 8 + struct.unpack_from('<I', blob, 4)[0])
    off = 12
    fmt = None
    data = None
    chunks = []
    while off + 8 <= riff_end:
        cid = blob[off:off + 4]
        size = struct.unpack_from('<I', blob, off + 4)[0]
        start = off + 8
        end = start + size
        chunks.append(cid.decode('latin-1'))
        if cid == b'fmt ':
            if size < 16 or end > len(blob):
                raise WavError('fmt chunk too short')
            fmt = blob[start:end]
        elif cid == b'data':
            # A truncated file keeps what is actually there.
            data = blob[start:min(end, len(blob))]
        off = end + (size & 1)
    if fmt is None:
        raise WavError('no fmt chunk')
    if data is None:
        raise WavError('no data chunk')
    raw_tag, channels, rate, _byte_rate, block_align, bits = \
        struct.unpack_from('<HHIIHH', fmt, 0)
    tag = raw_tag
    if raw_tag == WAVE_FORMAT_EXTENSIBLE:
        if len(fmt) < 40:
            raise WavError('extensible fmt chunk too short')
        # The sub-format GUID starts at offset 24; its first two bytes are
        # the ordinary format tag.
        tag = struct.unpack_from('<H', fmt, 24)[0]
    return WavInfo(tag, channels, rate, bits, data, raw_tag=raw_tag,
                   block_align=block_align, chunks=chunks)


def read_wav(path):
    with open(path, 'rb') as f:
        return parse_wav(f.read())
