#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

The seeds are small, valid inputs that reach deep into each target at once: WAV files of
every accepted encoding (and a few damaged ones), saved records of every preset of every
effect, plain and extensible format blocks, and short scripts for the streaming targets.
The scripts are encoded for the targets' FuzzedDataProvider: integers are taken from the
end of the input (most significant byte first), byte strings from its front.

usage: make_seeds.py --mwfx build/native/bin/mwfx
"""

import argparse
import hashlib
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'reference'))
import wavio  # noqa: E402

EFFECTS = ['delay', 'chorus', 'reverb', 'multitap', 'pitch', 'stretch']  # catalog order
IN_PLACE = ['delay', 'chorus', 'reverb', 'multitap']
COPYING = ['pitch', 'stretch']
ENCODINGS = [(1, 8), (1, 16), (1, 32), (3, 32), (3, 64)]


class Script:
    """Builds an input the way FuzzedDataProvider will take it apart."""

    def __init__(self):
        self.front = bytearray()
        self.back = []  # bytes in the order they are consumed from the end

    def integer(self, lo, hi, value, width=8):
        span, offset, count = hi - lo, 0, 0
        while offset < width * 8 and (span >> offset) > 0:
            offset += 8
            count += 1
        v = value - lo
        self.back.extend((v >> (8 * (count - 1 - i))) & 0xFF for i in range(count))
        return self

    def flag(self, on):
        return self.integer(0, 255, 1 if on else 0, 1)

    def data(self, raw):
        self.front += raw
        return self

    def build(self):
        return bytes(self.front) + bytes(reversed(self.back))


def write(target, payload):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    name = 'seed-' + hashlib.sha1(payload).hexdigest()[:16]
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(payload)


def sine_bytes(tag, bits, channels, frames):
    out = bytearray()
    for i in range(frames * channels):
        x = ((i * 37) % 200 - 100) / 128.0
        if tag == 3:
            out += struct.pack('<f' if bits == 32 else '<d', x)
        elif bits == 8:
            out.append(int(128 + x * 100) & 0xFF)
        else:
            out += struct.pack('<h' if bits == 16 else '<i', int(x * (1 << (bits - 2))))
    return bytes(out)


def wav_files():
    files = []
    for tag, bits in ENCODINGS:
        for channels in (1, 2):
            data = sine_bytes(tag, bits, channels, 21)
            files.append(wavio.build_wav(tag, channels, 8000, bits, data))
            files.append(wavio.build_wav(tag, channels, 4000, bits, data, extensible=True))
    plain = wavio.build_wav(1, 2, 8000, 16, sine_bytes(1, 16, 2, 40))
    files.append(plain[:-37])                                 # ends inside its data
    align = bytearray(plain)
    struct.pack_into('<H', align, 32, 3)                      # block alignment 3, not 4
    files.append(bytes(align))
    files.append(wavio.build_wav(1, 1, 8000, 8, bytes(range(7))))  # odd data, pad byte
    files.append(wavio.build_wav(1, 2, 8000, 24, bytes(60)))  # refused encoding
    files.append(wavio.build_wav(1, 3, 8000, 16, bytes(60)))  # three channels
    files.append(b'FORM\x00\x00\x00\x20AIFFCOMM' + bytes(24))
    return files


def records(mwfx, effect):
    out = []
    count = len(subprocess.run([mwfx, 'presets', effect], check=True, capture_output=True,
                               text=True).stdout.splitlines())
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, 'in.wav')
        with open(wav, 'wb') as f:
            f.write(wavio.build_wav(1, 1, 8000, 16, bytes(64)))
        for preset in range(count):
            rec = os.path.join(tmp, 'r.rec')
            subprocess.run([mwfx, 'process', effect, wav, os.path.join(tmp, 'o.wav'),
                            '--preset', str(preset), '--save-record', rec], check=True)
            with open(rec, 'rb') as f:
                out.append(f.read())
    return out


def record_seeds(mwfx):
    for e, effect in enumerate(EFFECTS):
        for preset, record in enumerate(records(mwfx, effect)):
            s = Script().integer(0, 5, e).integer(0, 255, preset % 4).flag(True).flag(False)
            s.integer(0, 3, 0).flag(True).flag(False).flag(False)  # no failure, whole reads
            write('record_load', s.data(record).build())


def block(tag, channels, rate, bits, extensible=False):
    align = bits // 8 * channels
    b = struct.pack('<HHIIHH', 0xFFFE if extensible else tag, channels, rate, rate * align,
                    align, bits)
    if extensible:
        guid = struct.pack('<H', tag) + bytes.fromhex('000000001000800000aa00389b71')
        return b + struct.pack('<HHI', 22, bits, 3 if channels == 2 else 4) + guid
    return b + b'\x00\x00'


def media_type_seeds():
    for tag, bits in ENCODINGS:
        for channels in (1, 2):
            for ext in (False, True):
                a = block(tag, channels, 44100, bits, ext)
                s = Script()
                s.integer(0, 64, len(a)).data(a)
                if len(a) >= 40:
                    s.flag(False)
                s.integer(0, 64, len(a)).data(a)
                if len(a) >= 40:
                    s.flag(False)
                s.integer(0, 7, 1).integer(0, 7, 1).integer(0, 7, 1).integer(0, 7, 1)
                write('media_type', s.data(b'').build())


def stream_seeds(mwfx, target, effects, kinds_index):
    for e, effect in enumerate(effects):
        saved = records(mwfx, effect)
        rec = saved[min(2, len(saved) - 1)][20:]
        for enc in range(5):
            for channels in (1, 2):
                s = Script().integer(0, len(effects) - 1, e).data(rec)
                s.integer(0, 4, enc).flag(channels == 2)
                s.integer(0, 2000 if kinds_index == 0 else 4000, 1000)
                s.integer(0, 7, 1).integer(1, 64, 8)          # downstream buffers of 128 bytes
                s.integer(0, 40, 0).integer(0, 40, 0)         # nothing refused
                align = ENCODINGS[enc][1] // 8 * channels
                for step in range(3):
                    s.integer(0, 9, 0)
                    size = 24 * align
                    s.integer(0, 2048 if kinds_index == 0 else 1024, size)
                    s.integer(0, 15, 1).integer(0, size, size).integer(0, 15, 1)
                    s.flag(step == 0)
                    if kinds_index == 1:
                        s.flag(False)
                    tag, bits = ENCODINGS[enc]
                    s.data(sine_bytes(tag, bits, channels, 24))
                s.integer(0, 9, 3)
                write(target, s.build())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--mwfx', required=True)
    args = parser.parse_args()
    for f in wav_files():
        write('wav_header', b'\x00' + f)
        write('sound_input', b'\x0f' + f)
    record_seeds(args.mwfx)
    media_type_seeds()
    stream_seeds(args.mwfx, 'inplace_stream', IN_PLACE, 0)
    stream_seeds(args.mwfx, 'copying_stream', COPYING, 1)


if __name__ == '__main__':
    main()
