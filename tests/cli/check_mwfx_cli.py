#!/usr/bin/env python3
"""Command-line contract of mwfx.

Usage:
  check_mwfx_cli.py --mwfx PATH [--verbose]

Covers the informational commands (help, list, presets, params), the order
in which `process` applies a loaded record, a preset and field settings (seen
through saved records and through the processed sound), error reporting (one
line on stderr, a non-zero status, output and record files untouched, no
temporary files left over), the accepted and refused input formats, the
format and permissions of what is written, and output that does not depend
on --buffer-frames.

Each failing check prints one line; the last line is `N passed, M failed`
and the exit status is non-zero when anything failed.
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import uuid

sys.dont_write_bytecode = True

WAVE_FORMAT_PCM = 1
WAVE_FORMAT_IEEE_FLOAT = 3
WAVE_FORMAT_EXTENSIBLE = 0xFFFE

# name: (format tag, bits per sample)
FORMATS = {
    'u8': (WAVE_FORMAT_PCM, 8),
    's16': (WAVE_FORMAT_PCM, 16),
    's32': (WAVE_FORMAT_PCM, 32),
    'f32': (WAVE_FORMAT_IEEE_FLOAT, 32),
    'f64': (WAVE_FORMAT_IEEE_FLOAT, 64),
}
ACCEPTED_NAMES = ('8-bit unsigned PCM', '16-bit PCM', '32-bit PCM',
                  '32-bit float', '64-bit float')

EFFECTS = ('delay', 'chorus', 'reverb', 'multitap', 'pitch', 'stretch')
AVAILABLE = EFFECTS

# Simple Delay record: size, tag, then the block in this field order.
DELAY_TAG = '3C41A873-5E2D-11D0-9D27-4E7A91C2D05F'
CHORUS_TAG = '4F1B2D83-63A7-11D0-9D27-4E7A91C2D05F'
RECORD_ORDER = ('Feedback', 'DelayTime', 'DecayTime', 'DelayOut', 'DryOut')

# Preset table of the Simple Delay: (name, Feedback, DelayTime, DecayTime,
# DelayOut, DryOut).
DELAY_PRESETS = [
    ('(Default)', 0, 100, 1, -60, -60),
    ('Default all parameters', 0, 100, 1, -60, -60),
    ('Echo chamber', 1, 400, 20, -30, -90),
    ('Slap-back echo', 0, 400, 20, -120, -90),
    ('Grand Canyon', 1, 1000, 30, -140, -40),
    ('Shift selection forwards  (select one channel only)', 0, 1000, 20, 0, -800),
    ('Pseudo-stereo (select one channel only)', 0, 10, 1, 0, -800),
]
DELAY_DEFAULTS = {'DryOut': -60, 'DelayOut': -60, 'Feedback': 0,
                  'DelayTime': 100, 'DecayTime': 1}

INT32_MIN = -2 ** 31
INT32_MAX = 2 ** 31 - 1


# ---------------------------------------------------------------------------
# Reporting

class Results:
    def __init__(self, verbose):
        self.passed = 0
        self.failed = 0
        self.verbose = verbose

    def check(self, cond, name, why=''):
        if cond:
            self.passed += 1
            if self.verbose:
                print('ok   %s' % name, flush=True)
        else:
            self.failed += 1
            print('FAIL %s%s' % (name, ': ' + why if why else ''), flush=True)
        return bool(cond)


# ---------------------------------------------------------------------------
# WAV files and records

def _chunk(cid, payload):
    pad = b'\x00' if len(payload) & 1 else b''
    return cid + struct.pack('<I', len(payload)) + payload + pad


def build_wav(tag, channels, rate, bits, data, extensible=False):
    align = bits // 8 * channels
    if extensible:
        sub = struct.pack('<H', tag) + bytes.fromhex('000000001000800000aa00389b71')
        fmt = struct.pack('<HHIIHHHHI', WAVE_FORMAT_EXTENSIBLE, channels, rate,
                          rate * align, align, bits, 22, bits,
                          (1 << channels) - 1) + sub
    else:
        fmt = struct.pack('<HHIIHH', tag, channels, rate, rate * align, align, bits)
        if tag != WAVE_FORMAT_PCM:
            fmt += struct.pack('<H', 0)
    body = b'WAVE' + _chunk(b'fmt ', fmt)
    if tag != WAVE_FORMAT_PCM or extensible:
        body += _chunk(b'fact', struct.pack('<I', len(data) // align))
    body += _chunk(b'data', bytes(data))
    return b'RIFF' + struct.pack('<I', len(body)) + body


def parse_wav(blob):
    """(tag, channels, rate, bits, block_align, data) of a WAVE file, or None.
    The tag is the one stored in the fmt chunk (0xFFFE stays 0xFFFE)."""
    if len(blob) < 12 or blob[:4] != b'RIFF' or blob[8:12] != b'WAVE':
        return None
    end = min(len(blob), 8 + struct.unpack_from('<I', blob, 4)[0])
    off, fmt, data = 12, None, None
    while off + 8 <= end:
        cid = blob[off:off + 4]
        size = struct.unpack_from('<I', blob, off + 4)[0]
        body = blob[off + 8:off + 8 + size]
        if cid == b'fmt ':
            fmt = body
        elif cid == b'data':
            data = body
        off += 8 + size + (size & 1)
    if fmt is None or len(fmt) < 16 or data is None:
        return None
    tag, channels, rate, _, align, bits = struct.unpack_from('<HHIIHH', fmt)
    return tag, channels, rate, bits, align, data


def signal(fmt, channels, frames, seed=1):
    """Deterministic noisy bursts in the sample encoding of `fmt`."""
    tag, bits = FORMATS[fmt]
    x = seed * 2654435761 % 2 ** 32 or 1
    out = bytearray()
    for i in range(frames * channels):
        x = (1103515245 * x + 12345) % 2 ** 31
        level = 1.0 if (i // channels) % 400 < 60 else 0.05
        v = (x / 2 ** 31 * 2 - 1) * 0.6 * level
        if fmt == 'u8':
            out += struct.pack('<B', 128 + int(v * 127))
        elif fmt == 's16':
            out += struct.pack('<h', int(v * 32767))
        elif fmt == 's32':
            out += struct.pack('<i', int(v * 2147483647))
        elif fmt == 'f32':
            out += struct.pack('<f', v)
        else:
            out += struct.pack('<d', v)
    return bytes(out)


def write_wav(path, fmt, channels, rate, frames, seed=1):
    tag, bits = FORMATS[fmt]
    with open(path, 'wb') as f:
        f.write(build_wav(tag, channels, rate, bits, signal(fmt, channels, frames, seed)))


def record(values, size=40, tag=DELAY_TAG):
    """A Simple Delay record from a dict of the five fields."""
    return (struct.pack('<I', size) + uuid.UUID(tag).bytes_le +
            struct.pack('<5i', *(values[k] for k in RECORD_ORDER)))


def preset_values(index):
    return dict(zip(RECORD_ORDER, DELAY_PRESETS[index][1:]))


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def write(path, data):
    with open(path, 'wb') as f:
        f.write(data)


def decode_record(blob):
    if len(blob) != 40:
        return 'a %d-byte file' % len(blob)
    return dict(zip(RECORD_ORDER, struct.unpack_from('<5i', blob, 20)))


# ---------------------------------------------------------------------------
# Running mwfx

class Mwfx:
    def __init__(self, path):
        self.path = path

    def run(self, args, umask=None, cwd=None):
        """(status, stdout, stderr); stderr is a pipe, never a terminal."""
        kw = {}
        if umask is not None:
            kw['umask'] = umask
        p = subprocess.run([self.path] + list(args), stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=300, cwd=cwd, **kw)
        return p.returncode, p.stdout.decode('utf-8', 'replace'), \
            p.stderr.decode('utf-8', 'replace')


def one_line(err):
    return err.endswith('\n') and err.count('\n') == 1 and err.strip() != ''


def show(text, limit=160):
    text = text.replace('\n', '\\n')
    return text if len(text) <= limit else text[:limit] + '...'


class Env:
    """A scratch directory with a shared input file and fresh case folders."""

    def __init__(self, root, mwfx, results):
        self.root = root
        self.mwfx = mwfx
        self.r = results
        self.count = 0
        self.input = os.path.join(root, 'input.wav')
        write_wav(self.input, 's16', 2, 8000, 3000)

    def folder(self):
        self.count += 1
        d = os.path.join(self.root, 'case%03d' % self.count)
        os.mkdir(d)
        return d

    def succeed(self, name, args, **kw):
        rc, out, err = self.mwfx.run(args, **kw)
        ok = self.r.check(rc == 0 and err == '', name,
                          'exit %d, stderr %r' % (rc, show(err)))
        return ok, out

    def record_after(self, name, options, extra_in=None):
        """Runs `process` with `options` plus --save-record; the decoded record."""
        d = self.folder()
        rec = os.path.join(d, 'saved.rec')
        args = ['process', 'delay', extra_in or self.input, os.path.join(d, 'out.wav')]
        ok, _ = self.succeed(name + ' (runs)', args + list(options) + ['--save-record', rec])
        if not ok or not os.path.exists(rec):
            return None
        return read(rec)

    def output_after(self, name, options, source=None):
        d = self.folder()
        out = os.path.join(d, 'out.wav')
        ok, _ = self.succeed(name + ' (runs)',
                             ['process', 'delay', source or self.input, out] + list(options))
        return read(out) if ok and os.path.exists(out) else None


# ---------------------------------------------------------------------------
# Informational commands

def check_info_commands(env):
    r, m = env.r, env.mwfx

    rc, out, err = m.run(['help'])
    r.check(rc == 0 and err == '', 'help: exit 0, quiet stderr',
            'exit %d, stderr %r' % (rc, show(err)))
    r.check(all(w in out for w in ('process', 'list', 'presets', 'params')),
            'help: names the commands', show(out))

    rc, out, err = m.run(['list'])
    r.check(rc == 0 and err == '', 'list: exit 0, quiet stderr',
            'exit %d, stderr %r' % (rc, show(err)))
    lines = [l for l in out.splitlines() if l.strip()]
    for eff in EFFECTS:
        mine = [l for l in lines if l.split()[0] == eff]
        if not r.check(len(mine) == 1, 'list: one line for %s' % eff, show(out)):
            continue
        marked = 'not available' in mine[0].lower()
        r.check(marked == (eff not in AVAILABLE),
                'list: %s %s' % (eff, 'marked unavailable' if eff not in AVAILABLE
                                 else 'not marked unavailable'), mine[0])

    rc, out, err = m.run(['presets', 'delay'])
    r.check(rc == 0 and err == '', 'presets delay: exit 0, quiet stderr',
            'exit %d, stderr %r' % (rc, show(err)))
    got = []
    for line in out.splitlines():
        mt = re.match(r'^\s*(\d+)\s+(\S.*)$', line)
        if mt:
            got.append((int(mt.group(1)), mt.group(2)))
    want = [(i, p[0]) for i, p in enumerate(DELAY_PRESETS)]
    r.check(got == want, 'presets delay: seven presets with their names, in order',
            'got %r' % got)

    rc, out, err = m.run(['params', 'delay'])
    r.check(rc == 0 and err == '', 'params delay: exit 0, quiet stderr',
            'exit %d, stderr %r' % (rc, show(err)))
    fields = {}
    for line in out.splitlines():
        words = line.split()
        if len(words) >= 2 and words[0] in DELAY_DEFAULTS:
            try:
                fields[words[0]] = int(words[1])
            except ValueError:
                fields[words[0]] = words[1]
    r.check(fields == DELAY_DEFAULTS, 'params delay: the five fields and their defaults',
            'got %r' % fields)

    for eff in EFFECTS:
        if eff in AVAILABLE:
            continue
        for cmd in (['presets', eff], ['params', eff],
                    ['process', eff, env.input, os.path.join(env.root, 'never.wav')]):
            rc, out, err = m.run(cmd)
            r.check(rc != 0 and one_line(err) and 'not available' in err.lower(),
                    '%s %s: refused as not available yet' % (cmd[0], eff),
                    'exit %d, stderr %r' % (rc, show(err)))
    r.check(not os.path.exists(os.path.join(env.root, 'never.wav')),
            'process of an unavailable effect writes no output')


# ---------------------------------------------------------------------------
# Settings order, seen through saved records

def check_records(env):
    r = env.r

    def expect(name, options, values):
        blob = env.record_after(name, options)
        if blob is None:
            return
        r.check(blob == record(values), name,
                'saved %r, expected %r' % (decode_record(blob), values))

    expect('record: a new effect saves preset 0', [], preset_values(0))
    for i, p in enumerate(DELAY_PRESETS):
        expect('record: --preset %d' % i, ['--preset', str(i)], preset_values(i))
        expect('record: --preset %r by name' % p[0], ['--preset', p[0]], preset_values(i))

    v = preset_values(2)
    v.update(DelayTime=1)
    expect('record: --preset 2 --set DelayTime=0 (clamped to 1)',
           ['--preset', '2', '--set', 'DelayTime=0'], v)

    v = preset_values(2)
    v.update(DelayTime=300)
    expect('record: --set given before --preset still applies after it',
           ['--set', 'DelayTime=300', '--preset', '2'], v)

    v = preset_values(0)
    v.update(DryOut=-20, Feedback=3)
    expect('record: repeated --set, the last one wins',
           ['--set', 'DryOut=-10', '--set', 'Feedback=3', '--set', 'DryOut=-20'], v)

    clamps = [
        ('DelayTime', 0, 1), ('DelayTime', -7, 1), ('DelayTime', 1, 1),
        ('DelayTime', 5000, 5000), ('DelayTime', 5001, 5000),
        ('DelayTime', INT32_MAX, 5000), ('DelayTime', INT32_MIN, 1),
        ('DecayTime', 0, 1), ('DecayTime', 200, 200), ('DecayTime', 201, 200),
        ('DelayOut', 1, 0), ('DelayOut', -800, -800), ('DelayOut', -801, -800),
        ('DelayOut', INT32_MIN, -800), ('DelayOut', -333, -333),
        ('DryOut', -5000, -5000), ('DryOut', 77, 77), ('DryOut', INT32_MIN, INT32_MIN),
        ('Feedback', 7, 7), ('Feedback', -1, -1), ('Feedback', INT32_MAX, INT32_MAX),
    ]
    for field, given, stored in clamps:
        v = preset_values(0)
        v[field] = stored
        expect('record: --set %s=%d stores %d' % (field, given, stored),
               ['--set', '%s=%d' % (field, given)], v)

    # Loading, alone and combined with a preset and settings.
    d = env.folder()
    custom = {'Feedback': 1, 'DelayTime': 250, 'DecayTime': 7, 'DelayOut': -100,
              'DryOut': -20}
    loaded = os.path.join(d, 'custom.rec')
    write(loaded, record(custom))
    expect('record: load then save gives the same record', ['--load-record', loaded], custom)

    v = dict(custom, Feedback=0, DryOut=-5)
    expect('record: --set after --load-record overrides the loaded fields',
           ['--load-record', loaded, '--set', 'Feedback=0', '--set', 'DryOut=-5'], v)
    expect('record: --set before --load-record on the line still wins',
           ['--set', 'Feedback=0', '--set', 'DryOut=-5', '--load-record', loaded], v)

    expect('record: --preset overrides a loaded record',
           ['--load-record', loaded, '--preset', '3'], preset_values(3))
    expect('record: --preset overrides a loaded record whatever the option order',
           ['--preset', '3', '--load-record', loaded], preset_values(3))
    v = preset_values(3)
    v.update(DelayTime=42)
    expect('record: load, then preset, then set',
           ['--set', 'DelayTime=42', '--preset', '3', '--load-record', loaded], v)

    wild = os.path.join(d, 'wild.rec')
    write(wild, record({'Feedback': 9, 'DelayTime': 0, 'DecayTime': 999,
                        'DelayOut': 12, 'DryOut': -4321}))
    expect('record: out-of-range loaded fields are brought into range',
           ['--load-record', wild],
           {'Feedback': 9, 'DelayTime': 1, 'DecayTime': 200, 'DelayOut': 0,
            'DryOut': -4321})

    # A saved record loads back to the same record.
    first = env.record_after('record: save with preset 4 and settings',
                             ['--preset', '4', '--set', 'DecayTime=55'])
    if first is not None:
        path = os.path.join(env.folder(), 'again.rec')
        write(path, first)
        second = env.record_after('record: reload a saved record', ['--load-record', path])
        r.check(second == first, 'record: a saved record survives load and save',
                '%r then %r' % (decode_record(first), decode_record(second)))


# ---------------------------------------------------------------------------
# Settings order, seen through the processed sound

def check_outputs(env):
    r = env.r
    default = env.output_after('sound: default settings', [])
    if default is None:
        return

    def same(name, options, expected, differ_from=None):
        got = env.output_after(name, options)
        if got is None:
            return None
        r.check(got == expected, name, 'output differs')
        return got

    direct_opts = ['--preset', '2', '--set', 'DelayTime=50', '--set', 'DryOut=-10']
    d = env.folder()
    rec = os.path.join(d, 'direct.rec')
    direct = env.output_after('sound: preset 2 with settings',
                              direct_opts + ['--save-record', rec])
    if direct is None or not os.path.exists(rec):
        return
    r.check(direct != default, 'sound: settings change the output',
            'preset 2 with settings gives the default output')

    same('sound: a loaded record reproduces the direct settings',
         ['--load-record', rec], direct)
    later = env.output_after('sound: loaded record, then --set',
                             ['--load-record', rec, '--set', 'DelayTime=80'])
    direct80 = env.output_after('sound: direct settings with DelayTime 80',
                                ['--preset', '2', '--set', 'DryOut=-10',
                                 '--set', 'DelayTime=80'])
    if later is not None and direct80 is not None:
        r.check(later == direct80 and later != direct,
                'sound: a later --set overrides the loaded record')
    preset3 = env.output_after('sound: preset 3', ['--preset', '3'])
    if preset3 is not None:
        r.check(preset3 != default, 'sound: preset 3 differs from the default')
        same('sound: a preset after a loaded record overrides it',
             ['--load-record', rec, '--preset', '3'], preset3)
    same('sound: --preset 0 is the default', ['--preset', '0'], default)
    same('sound: --preset 1 has the default values', ['--preset', '1'], default)
    same('sound: setting a field to its default changes nothing',
         ['--set', 'DelayTime=100', '--set', 'DryOut=-60'], default)
    if preset3 is not None:
        same('sound: preset by name equals preset by index',
             ['--preset', 'Slap-back echo'], preset3)

    # No echo and unity dry level: the sound starts with the input unchanged.
    for fmt in FORMATS:
        src = os.path.join(env.folder(), 'in.wav')
        write_wav(src, fmt, 2, 11025, 700, seed=5)
        got = env.output_after('sound: pass-through %s' % fmt,
                               ['--set', 'DelayOut=-800', '--set', 'DryOut=0'], source=src)
        if got is None:
            continue
        w_in, w_out = parse_wav(read(src)), parse_wav(got)
        r.check(w_out is not None and w_out[5][:len(w_in[5])] == w_in[5],
                'sound: pass-through %s keeps the input samples' % fmt)

    # Buffer size must not change the result.
    for fmt, ch, frames, opts in (('s16', 2, 2500, ['--preset', '2']),
                                  ('f32', 1, 3001, ['--preset', '4', '--set',
                                                    'DecayTime=3']),
                                  ('u8', 2, 999, ['--preset', '6'])):
        src = os.path.join(env.folder(), 'in.wav')
        write_wav(src, fmt, ch, 8000, frames, seed=11)
        base = env.output_after('buffer: %s default size' % fmt, opts, source=src)
        for n in ('1', '7', '4096', '4194304'):
            got = env.output_after('buffer: %s --buffer-frames %s' % (fmt, n),
                                   opts + ['--buffer-frames', n], source=src)
            if base is not None and got is not None:
                r.check(got == base, 'buffer: %s --buffer-frames %s equals the default'
                        % (fmt, n), 'files differ')


# ---------------------------------------------------------------------------
# Accepted formats, written files

def check_formats(env):
    r = env.r
    rates = {'u8': 8000, 's16': 11025, 's32': 22050, 'f32': 44100, 'f64': 48000}
    for fmt, (tag, bits) in FORMATS.items():
        for ch in (1, 2):
            for frames in (0, 1500):
                name = 'format %s %dch %d frames' % (fmt, ch, frames)
                src = os.path.join(env.folder(), 'in.wav')
                write_wav(src, fmt, ch, rates[fmt], frames, seed=ch)
                got = env.output_after(name, ['--preset', '2'], source=src)
                if got is None:
                    continue
                w = parse_wav(got)
                if not r.check(w is not None, name + ': output is a WAV file'):
                    continue
                otag, och, orate, obits, oalign, data = w
                r.check((otag, och, orate, obits) == (tag, ch, rates[fmt], bits),
                        name + ': same tag, channels, rate, bits',
                        'got tag %d, %d ch, %d Hz, %d bits' % (otag, och, orate, obits))
                r.check(oalign == bits // 8 * ch and len(data) % oalign == 0,
                        name + ': whole frames', 'align %d, %d data bytes'
                        % (oalign, len(data)))
                if frames == 0:
                    r.check(len(data) == 0, name + ': empty input gives empty output',
                            '%d data bytes' % len(data))
                else:
                    r.check(len(data) >= frames * oalign,
                            name + ': output not shorter than the input')

    # Permissions of new files follow the umask, as for any ordinary file.
    for mask in (0o022, 0o027, 0o002):
        d = env.folder()
        out, rec = os.path.join(d, 'out.wav'), os.path.join(d, 'out.rec')
        ok, _ = env.succeed('permissions umask %03o (runs)' % mask,
                            ['process', 'delay', env.input, out, '--save-record', rec],
                            umask=mask)
        if not ok:
            continue
        for path in (out, rec):
            mode = os.stat(path).st_mode & 0o777
            r.check(mode == 0o666 & ~mask,
                    'permissions umask %03o: %s is %03o' % (mask, os.path.basename(path),
                                                            0o666 & ~mask),
                    'got %03o' % mode)

    # More than half a minute of sound: a progress display would be allowed
    # now, but stderr is a pipe, so it must stay empty.
    src = os.path.join(env.folder(), 'long.wav')
    write_wav(src, 'u8', 1, 8000, 8000 * 32, seed=3)
    env.output_after('long input, stderr not a terminal: nothing on stderr', [], source=src)


# ---------------------------------------------------------------------------
# Errors

SENTINEL_OUT = b'existing output, must survive\n'
SENTINEL_REC = b'existing record, must survive\n'


def check_error(env, name, build, expect_text=(), out_name='out.wav'):
    """`build(paths)` gives the arguments; paths holds 'dir', 'in', 'out', 'rec'.
    Runs once with no output and record files, once with both present."""
    r = env.r
    for existing in (False, True):
        d = env.folder()
        paths = {'dir': d, 'in': env.input, 'out': os.path.join(d, out_name),
                 'rec': os.path.join(d, 'saved.rec')}
        args = build(paths)
        if existing:
            if not os.path.isdir(paths['out']):
                write(paths['out'], SENTINEL_OUT)
            if not os.path.isdir(paths['rec']):
                write(paths['rec'], SENTINEL_REC)
        before = sorted(os.listdir(d))
        label = '%s [%s]' % (name, 'files exist' if existing else 'no files')
        rc, _, err = env.mwfx.run(args)
        r.check(rc != 0, label + ': non-zero exit')
        r.check(one_line(err), label + ': one line on stderr', repr(show(err)))
        low = err.lower()
        for text in expect_text:
            r.check(text.lower() in low, label + ': message mentions %r' % text,
                    repr(show(err)))
        after = sorted(os.listdir(d))
        r.check(after == before, label + ': directory unchanged (no new or temporary files)',
                'before %r, after %r' % (before, after))
        for key, sentinel in (('out', SENTINEL_OUT), ('rec', SENTINEL_REC)):
            p = paths[key]
            if os.path.isdir(p):
                continue
            if existing:
                r.check(os.path.exists(p) and read(p) == sentinel,
                        label + ': existing %s file untouched' % key)
            else:
                r.check(not os.path.exists(p), label + ': no %s file created' % key)


def check_errors(env):
    r, m = env.r, env.mwfx

    def proc(*opts, src=None):
        return lambda p: (['process', 'delay', src or p['in'], p['out']] + list(opts)
                          + ['--save-record', p['rec']])

    # Commands without files.
    for args, what in ((['bogus'], 'unknown command'), ([], 'no command'),
                       (['presets'], 'presets without an effect'),
                       (['params'], 'params without an effect'),
                       (['presets', 'echo'], 'presets of an unknown effect'),
                       (['params', 'echo'], 'params of an unknown effect'),
                       (['presets', 'delay', 'extra'], 'presets with an extra word')):
        rc, _, err = m.run(args)
        r.check(rc != 0 and one_line(err), 'error: %s: non-zero exit, one stderr line' % what,
                'exit %d, stderr %r' % (rc, show(err)))

    # Bad arguments to process.
    check_error(env, 'process with no files', lambda p: ['process', 'delay'])
    check_error(env, 'process with no output', lambda p: ['process', 'delay', p['in']])
    check_error(env, 'unknown effect',
                lambda p: ['process', 'echo', p['in'], p['out'], '--save-record', p['rec']])
    check_error(env, 'unknown option', proc('--bogus'))
    check_error(env, 'extra word', proc('extra'))
    check_error(env, 'option without its value',
                lambda p: ['process', 'delay', p['in'], p['out'], '--save-record', p['rec'],
                           '--preset'])
    for preset in ('Nope', '7', '-1', '2x', ''):
        check_error(env, 'unknown preset %r' % preset, proc('--preset', preset))
    check_error(env, 'unknown field', proc('--set', 'Bogus=1'))
    check_error(env, 'empty field name', proc('--set', '=1'))
    check_error(env, '--set without =', proc('--set', 'DelayTime'))
    for value in ('abc', '1.5', '', '2147483648', '-2147483649', '12abc',
                  '99999999999999999999'):
        check_error(env, 'bad value DelayTime=%s' % value, proc('--set', 'DelayTime=' + value))
    check_error(env, 'bad value DryOut=2147483648', proc('--set', 'DryOut=2147483648'))
    for n in ('0', '-3', 'x', '', '1.5'):
        check_error(env, '--buffer-frames %r' % n, proc('--buffer-frames', n))
    check_error(env, '--save-record with an empty name',
                lambda p: ['process', 'delay', p['in'], p['out'], '--save-record', ''])

    # Inputs that cannot be read.
    check_error(env, 'missing input',
                lambda p: proc(src=os.path.join(p['dir'], 'absent.wav'))(p))
    check_error(env, 'input is a directory', lambda p: proc(src=p['dir'])(p))
    cut = os.path.join(env.root, 'cut.wav')
    write(cut, read(env.input)[:30])
    check_error(env, 'input cut inside its header', proc(src=cut))
    if os.geteuid() != 0:
        locked = os.path.join(env.root, 'locked.wav')
        shutil.copyfile(env.input, locked)
        os.chmod(locked, 0)
        check_error(env, 'input without read permission', proc(src=locked))

    # Refused records.
    good = record(preset_values(2))
    bad_records = {
        'size field 44': struct.pack('<I', 44) + good[4:],
        'size field 44, 44 bytes': struct.pack('<I', 44) + good[4:] + b'\0' * 4,
        'size field 68, Chorus tag': record(preset_values(2), size=68, tag=CHORUS_TAG),
        'Chorus tag': record(preset_values(2), tag=CHORUS_TAG),
        'tag off by one byte': good[:19] + bytes([good[19] ^ 1]) + good[20:],
        'truncated to 39 bytes': good[:39],
        'truncated to 20 bytes': good[:20],
        'truncated to 10 bytes': good[:10],
        'empty file': b'',
    }
    for what, blob in bad_records.items():
        path = os.path.join(env.root, 'bad-%d.rec' % len(os.listdir(env.root)))
        write(path, blob)
        check_error(env, 'record %s' % what, proc('--load-record', path))
    check_error(env, 'record file missing',
                lambda p: proc('--load-record', os.path.join(p['dir'], 'absent.rec'))(p))
    check_error(env, 'record name empty', proc('--load-record', ''))
    check_error(env, 'record is a directory', lambda p: proc('--load-record', p['dir'])(p))

    # Places that cannot be written.
    check_error(env, 'output in a missing directory',
                lambda p: ['process', 'delay', p['in'], os.path.join(p['dir'], 'no', 'o.wav'),
                           '--save-record', p['rec']])
    check_error(env, 'record in a missing directory',
                lambda p: ['process', 'delay', p['in'], p['out'], '--save-record',
                           os.path.join(p['dir'], 'no', 'r.rec')])

    def out_is_dir(p):
        os.mkdir(p['out'])
        return ['process', 'delay', p['in'], p['out'], '--save-record', p['rec']]
    check_error(env, 'output is a directory', out_is_dir, out_name='outdir')

    # Refused input formats: the message names the format and the accepted ones.
    def refused(what, path, mention):
        check_error(env, 'format %s' % what, proc(src=path),
                    expect_text=tuple(mention) + ACCEPTED_NAMES)

    d = env.root
    frames = signal('s16', 1, 300)
    p24 = os.path.join(d, 'pcm24.wav')
    write(p24, build_wav(WAVE_FORMAT_PCM, 1, 8000, 24, bytes(900)))
    refused('24-bit PCM WAV', p24, ['24-bit'])
    p24x = os.path.join(d, 'pcm24x.wav')
    write(p24x, build_wav(WAVE_FORMAT_PCM, 2, 8000, 24, bytes(1200), extensible=True))
    refused('24-bit PCM extensible WAV', p24x, ['24-bit'])
    p3 = os.path.join(d, 'three.wav')
    write(p3, build_wav(WAVE_FORMAT_PCM, 3, 8000, 16, frames * 3))
    refused('3-channel WAV', p3, ['3 channels'])
    text = os.path.join(d, 'notes.wav')
    write(text, b'These are not samples.\nJust some text in a file.\n' * 20)
    refused('text file', text, [])

    sox = shutil.which('sox')
    if sox:
        made = []
        for what, name, opts, mention in (
                ('AIFF from sox', 'sox.aiff', ['-b', '16'], ['AIFF']),
                ('u-law WAV from sox', 'ulaw.wav', ['-e', 'u-law'], ['u-law']),
                ('24-bit WAV from sox', 'sox24.wav', ['-b', '24'], ['24-bit']),
                ('3-channel WAV from sox', 'sox3.wav', ['-c', '3', '-b', '16'],
                 ['3 channels'])):
            path = os.path.join(d, name)
            p = subprocess.run([sox, '-n', '-r', '8000', '-c', '1'] + opts +
                               [path, 'synth', '0.05', 'sine', '440'],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if p.returncode == 0:
                refused(what, path, mention)
                made.append(what)
        r.check(len(made) == 4, 'sox made the refused-format inputs', repr(made))


# ---------------------------------------------------------------------------

# ---------------------------------------------------------------------------
# The effects that change the length: decimal fields, the derived pitch ratio, output
# buffers

PITCH_TAG = 'c8e35f23-8a64-11d0-9d27-4e7a91c2d05f'
STRETCH_TAG = '1b7e9c44-92d3-11d0-9d27-4e7a91c2d05f'


def pitch_ratio(semitones, cents):
    """The ratio a settings page derives from the interval, as the host writes it."""
    up = 1.05946309436 ** semitones if semitones >= 0 else \
        0.9438743126810656 ** -semitones
    fine = 1.0005946309436 ** (cents * 0.1) if cents >= 0 else \
        0.9994057224322309 ** (-cents * 0.1)
    return up * fine + 0.000001


def check_length_effects(env):
    r, m = env.r, env.mwfx

    def saved(name, effect, options, size, tag):
        d = env.folder()
        rec = os.path.join(d, 'saved.rec')
        ok, _ = env.succeed(name + ' (runs)', ['process', effect, env.input,
                                               os.path.join(d, 'out.wav')] + options +
                            ['--save-record', rec])
        if not ok or not os.path.exists(rec):
            return None
        blob = read(rec)
        r.check(len(blob) == size and blob[:4] == struct.pack('<I', size) and
                blob[4:20] == uuid.UUID(tag).bytes_le, name + ': a %d-byte record' % size,
                'got %d bytes' % len(blob))
        return blob

    # Pitch Shift: the interval without a ratio writes the ratio it makes, after every
    # --set and from the stored (clamped) values; an explicit ratio stands as given.
    for options, semis, cents in ((['--set', 'Semitones=4'], 4, 0),
                                  (['--set', 'Cents=-255', '--set', 'Semitones=-7'], -7, -255),
                                  (['--set', 'Semitones=99'], 50, 0),
                                  (['--set', 'Cents=5000'], 0, 1000)):
        blob = saved('pitch %s' % ' '.join(options), 'pitch', options, 68, PITCH_TAG)
        if blob:
            s_, c_ = struct.unpack_from('<2i', blob, 20)
            ratio, = struct.unpack_from('<d', blob, 44)
            r.check((s_, c_) == (semis, cents), 'pitch %s: interval stored clamped' % options,
                    'got %r' % ((s_, c_),))
            want = pitch_ratio(semis, cents)
            r.check(abs(ratio - want) <= 1e-15 * want, 'pitch %s: derived ratio' % options,
                    'got %r, expected %r' % (ratio, want))
    for options, want in ((['--set', 'Semitones=4', '--set', 'Ratio=1.5'], 1.5),
                          (['--set', 'Ratio=0.75', '--set', 'Cents=100'], 0.75),
                          ([], 1.0)):
        blob = saved('pitch %s' % ' '.join(options), 'pitch', options, 68, PITCH_TAG)
        if blob:
            ratio, = struct.unpack_from('<d', blob, 44)
            r.check(ratio == want, 'pitch %s: ratio as given' % options, 'got %r' % ratio)

    # Time Stretch: decimal values, clamped like every setter clamps.
    for value, want in (('12500.5', 12500.5), ('1e4', 10000.0), ('100', 5000.0),
                        ('9e9', 50000.0)):
        blob = saved('stretch FinalLength=%s' % value, 'stretch',
                     ['--set', 'FinalLength=' + value], 52, STRETCH_TAG)
        if blob:
            got, = struct.unpack_from('<d', blob, 20)
            r.check(got == want, 'stretch FinalLength=%s: stored %r' % (value, want),
                    'got %r' % got)

    # The output buffers' size changes nothing.
    outs = []
    for extra in ([], ['--output-frames', '1'], ['--buffer-frames', '1', '--output-frames', '7'],
                  ['--output-frames', '100000']):
        d = env.folder()
        out = os.path.join(d, 'out.wav')
        ok, _ = env.succeed('stretch %s' % extra, ['process', 'stretch', env.input, out,
                                                   '--set', 'FinalLength=17000'] + extra)
        outs.append(read(out) if ok else None)
    r.check(outs[0] is not None and all(o == outs[0] for o in outs),
            'stretch: output buffer sizes change no byte')

    def proc(effect, *opts):
        return lambda p: (['process', effect, p['in'], p['out']] + list(opts)
                          + ['--save-record', p['rec']])

    for value in ('abc', '', '1.5x', '--1'):
        check_error(env, 'bad value FinalLength=%s' % value,
                    proc('stretch', '--set', 'FinalLength=' + value))
    for value in ('0', '-1', 'nan', 'inf'):
        check_error(env, 'refused Ratio=%s' % value, proc('pitch', '--set', 'Ratio=' + value),
                    expect_text=('Ratio',))
    for n in ('0', '-3', 'x', '', '1.5', '99999999999'):
        check_error(env, '--output-frames %r' % n, proc('stretch', '--output-frames', n))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    ap.add_argument('--mwfx', required=True, help='path of the mwfx binary')
    ap.add_argument('--verbose', action='store_true', help='also print passing checks')
    opts = ap.parse_args()

    results = Results(opts.verbose)
    start = time.monotonic()
    if not os.access(opts.mwfx, os.X_OK):
        results.check(False, 'mwfx is executable', opts.mwfx)
    else:
        with tempfile.TemporaryDirectory(prefix='mwfx-cli-') as root:
            env = Env(root, Mwfx(os.path.abspath(opts.mwfx)), results)
            check_info_commands(env)
            check_records(env)
            check_outputs(env)
            check_formats(env)
            check_errors(env)
            check_length_effects(env)
    if opts.verbose:
        print('time %.1f s' % (time.monotonic() - start))
    print('%d passed, %d failed' % (results.passed, results.failed))
    return 1 if results.failed else 0


if __name__ == '__main__':
    sys.exit(main())
