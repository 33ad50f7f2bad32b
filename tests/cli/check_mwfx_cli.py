#!/usr/bin/env python3
"""The command-line contract of mwfx.

usage: check_mwfx_cli.py --mwfx PATH [--verbose]

For every effect, against the reference models' tables: `presets` and `params` list the
presets, fields, defaults and ranges; the record saved after each preset holds its block,
and the one saved after out-of-range `--set` writes holds them clamped.  For Simple Delay:
the order in which `process` applies a loaded record, a preset and settings whatever their
order on the line; loaded records reach the sound; the Pitch Shift ratio derived from the
interval; the permissions of what is written; and every refusal (a non-zero status, one
line on stderr, no output, record or temporary file made and existing ones untouched).
One line is printed per failure; the last line is `N passed, M failed`.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'reference'))

import refcore as rc  # noqa: E402

EFFECTS = {'delay': 'simple_delay_ref', 'chorus': 'chorus_ref', 'reverb': 'reverb_ref',
           'multitap': 'multitap_ref', 'pitch': 'pitch_shift_ref', 'stretch': 'splice_ref'}
MODELS = {e: __import__(m) for e, m in EFFECTS.items()}
DELAY = MODELS['delay']
ACCEPTED = ('8-bit unsigned PCM', '16-bit PCM', '32-bit PCM', '32-bit float', '64-bit float')
passed = failed = 0
verbose = False


def check(ok, name, why=''):
    global passed, failed
    if ok:
        passed += 1
        if verbose:
            print('ok   ' + name)
    else:
        failed += 1
        print('FAIL %s%s' % (name, ': ' + why if why else ''), flush=True)
    return ok


def record(effect, block):
    """The persisted record of a block: size, the parameter interface's identifier, fields."""
    model = MODELS[effect]
    iid, layout = model.RECORD
    body = struct.pack(layout, *(block[f] for f in model.FIELDS))
    return struct.pack('<I', 20 + len(body)) + uuid.UUID(iid).bytes_le + body


def wav(path, fmt='pcm16', nch=2, rate=8000, frames=3000, **kw):
    tag, bits, _ = rc.FORMATS[fmt]
    data = bytes((i * 37 + i // 7) & 0xFF for i in range(frames * nch * bits // 8))
    with open(path, 'wb') as f:
        f.write(rc.build_wav(tag, nch, rate, bits, data, **kw))
    return path


def read(path):
    with open(path, 'rb') as f:
        return f.read()


class Mwfx:
    def __init__(self, path, root):
        self.path, self.root, self.count = path, root, 0
        self.input = wav(os.path.join(root, 'input.wav'))

    def run(self, args, umask=None):
        p = subprocess.run([self.path] + list(args), stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300,
                           **({'umask': umask} if umask is not None else {}))
        return (p.returncode, p.stdout.decode('utf-8', 'replace'),
                p.stderr.decode('utf-8', 'replace'))

    def folder(self):
        self.count += 1
        d = os.path.join(self.root, 'case%03d' % self.count)
        os.mkdir(d)
        return d

    def process(self, name, effect, options, source=None, umask=None):
        """`process` with `options` and --save-record: (output bytes, record bytes) or None."""
        d = self.folder()
        out, rec = os.path.join(d, 'out.wav'), os.path.join(d, 'saved.rec')
        rcode, _, err = self.run(['process', effect, source or self.input, out] + list(options)
                                 + ['--save-record', rec], umask)
        if check(rcode == 0 and err == '', name + ' (runs)', 'exit %d: %r' % (rcode, err)):
            return read(out), read(rec), d
        return None


def check_listings(m):
    rcode, out, err = m.run(['help'])
    check(rcode == 0 and err == '' and all(w in out for w in ('process', 'list', 'presets',
                                                               'params')), 'help')
    # The settings page opens only in the Windows build: the native one says so, after
    # checking the line as the Windows build does.
    rcode, _, err = m.run(['settings', 'delay', '--preset', '2'])
    check(rcode == 1 and 'Windows build' in err, 'settings: needs the Windows build', repr(err))
    for bad in (['settings'], ['settings', 'nosuch'], ['settings', 'delay', '--buffer-frames',
                                                       '64']):
        rcode, _, err = m.run(bad)
        check(rcode == 2 and "see 'mwfx help'" in err, 'settings: usage %r' % bad, repr(err))
    rcode, out, _ = m.run(['list'])
    check(rcode == 0 and [line.split()[0] for line in out.splitlines()] == list(EFFECTS), 'list',
          repr(out))
    for effect, model in MODELS.items():
        rcode, out, _ = m.run(['presets', effect])
        rows = [line.strip().split(None, 1) for line in out.splitlines()]
        check(rcode == 0 and rows == [[str(i), p[0]] for i, p in enumerate(model.PRESETS)],
              'presets %s: every row, in order' % effect, repr(out[:300]))
        rcode, out, _ = m.run(['params', effect])
        listed = {}
        for line in out.splitlines()[1:]:
            name, default, rng = line.split(None, 2)
            lo_hi = rng.split(' to ')
            listed[name] = (float(default), tuple(float(v) for v in lo_hi)
                            if len(lo_hi) == 2 else None)
        want = {f: (float(v), tuple(map(float, model.RANGES[f])) if model.RANGES[f] else None)
                for f, v in zip(model.FIELDS, model.PRESETS[0][1:])}
        check(rcode == 0 and listed == want, 'params %s: fields, defaults and ranges' % effect,
              'got %r' % listed)


def check_records(m):
    """Every preset's block, and every field written beyond its range, in the saved record."""
    for effect, model in MODELS.items():
        for p in range(len(model.PRESETS)):
            got = m.process('%s --preset %d' % (effect, p), effect, ['--preset', str(p)])
            if got:
                check(got[1] == record(effect, rc.resolve(model, p)),
                      '%s --preset %d: the record holds the row' % (effect, p))
        sets = []
        for i, f in enumerate(model.FIELDS):
            r = model.RANGES[f]
            if r is not None:
                sets.append((f, r[0] - 1 if i % 2 and r[0] != 0 else r[1] + 1))
        sets += [('Ratio', 1.5)] if effect == 'pitch' else []
        options = [a for f, v in sets for a in ('--set', '%s=%s' % (f, v))]
        got = m.process('%s beyond every range' % effect, effect, options)
        if got:
            check(got[1] == record(effect, model.resolve(None, sets) if effect == 'pitch'
                                   else rc.resolve(model, None, sets)),
                  '%s beyond every range: the record holds the values clamped' % effect)


def check_order(m):
    """Simple Delay: a loaded record, then the preset, then each --set in order, whatever
    their order on the line; the loaded settings reach the sound."""
    d = m.folder()
    custom = {'Feedback': 1, 'DelayTime': 250, 'DecayTime': 7, 'DelayOut': -100, 'DryOut': -20}
    loaded = os.path.join(d, 'custom.rec')
    with open(loaded, 'wb') as f:
        f.write(record('delay', custom))
    wild = os.path.join(d, 'wild.rec')
    with open(wild, 'wb') as f:
        f.write(record('delay', {'Feedback': 9, 'DelayTime': 0, 'DecayTime': 999,
                                 'DelayOut': 12, 'DryOut': -4321}))
    block = rc.resolve
    rows = [
        (['--set', 'DelayTime=300', '--preset', '2'], block(DELAY, 2, [('DelayTime', 300)])),
        (['--set', 'DryOut=-10', '--set', 'Feedback=3', '--set', 'DryOut=-20'],
         block(DELAY, None, [('DryOut', -20), ('Feedback', 3)])),
        (['--preset', 'Grand Canyon', '--set', 'DelayTime=0'], block(DELAY, 4, [('DelayTime', 1)])),
        (['--load-record', loaded], custom),
        (['--set', 'Feedback=0', '--load-record', loaded], dict(custom, Feedback=0)),
        (['--preset', '3', '--load-record', loaded], block(DELAY, 3)),
        (['--set', 'DelayTime=42', '--preset', '3', '--load-record', loaded],
         block(DELAY, 3, [('DelayTime', 42)])),
        (['--load-record', wild], {'Feedback': 9, 'DelayTime': 1, 'DecayTime': 200,
                                   'DelayOut': 0, 'DryOut': -4321}),
        (['--set', 'DelayTime=2147483647', '--set', 'DelayOut=-2147483648',
          '--set', 'DryOut=-2147483648', '--set', 'Feedback=2147483647'],
         {'Feedback': 2 ** 31 - 1, 'DelayTime': 5000, 'DecayTime': 1, 'DelayOut': -800,
          'DryOut': -2 ** 31}),
    ]
    for options, want in rows:
        got = m.process('order %s' % ' '.join(options), 'delay', options)
        if got:
            check(got[1] == record('delay', want), 'order %s: the record' % ' '.join(options))
    direct = m.process('sound: direct settings', 'delay', ['--set', 'DelayTime=250',
                       '--set', 'Feedback=1', '--set', 'DecayTime=7', '--set', 'DelayOut=-100',
                       '--set', 'DryOut=-20'])
    from_record = m.process('sound: loaded record', 'delay', ['--load-record', loaded])
    default = m.process('sound: defaults', 'delay', [])
    if direct and from_record and default:
        check(direct[0] == from_record[0] != default[0], 'a loaded record reaches the sound')


def check_pitch_and_stretch(m):
    """Pitch Shift writes the ratio of the interval (clamped first) when no Ratio is given;
    Time Stretch takes decimal lengths."""
    model = MODELS['pitch']
    for options in (['--set', 'Semitones=4'], ['--set', 'Cents=-255', '--set', 'Semitones=-7'],
                    ['--set', 'Semitones=99'], ['--set', 'Cents=5000'],
                    ['--set', 'Semitones=4', '--set', 'Ratio=1.5'],
                    ['--set', 'Ratio=0.75', '--set', 'Cents=100']):
        sets = [(o.split('=')[0], float(o.split('=')[1]) if 'Ratio' in o else int(o.split('=')[1]))
                for o in options[1::2]]
        got = m.process('pitch %s' % ' '.join(options), 'pitch', options)
        if got:
            check(got[1] == record('pitch', model.resolve(None, sets)),
                  'pitch %s: the record' % ' '.join(options))
    for value, want in (('12500.5', 12500.5), ('1e4', 10000.0), ('100', 5000.0)):
        got = m.process('stretch FinalLength=%s' % value, 'stretch',
                        ['--set', 'FinalLength=' + value])
        if got:
            check(struct.unpack_from('<d', got[1], 20)[0] == want, 'stretch FinalLength=' + value)


def check_files(m):
    """New files follow the umask; a long input prints nothing when stderr is a pipe."""
    for mask in (0o022, 0o027):
        got = m.process('umask %03o' % mask, 'delay', [], umask=mask)
        if got:
            modes = [os.stat(os.path.join(got[2], n)).st_mode & 0o777
                     for n in ('out.wav', 'saved.rec')]
            check(modes == [0o666 & ~mask] * 2, 'umask %03o: permissions' % mask, repr(modes))
    m.process('32 s of input, stderr a pipe: no progress display', 'delay', [],
              source=wav(os.path.join(m.root, 'long.wav'), 'pcm8', 1, 8000, 8000 * 32))


SENTINEL = b'existing file, must survive\n'


def refused(m, name, build, mention=()):
    """`build(paths)` gives the arguments; run once without output and record files, once
    with both present."""
    for existing in (False, True):
        d = m.folder()
        p = {'dir': d, 'in': m.input, 'out': os.path.join(d, 'out.wav'),
             'rec': os.path.join(d, 'saved.rec')}
        args = build(p)
        for key in ('out', 'rec') if existing else ():
            if not os.path.isdir(p[key]):
                with open(p[key], 'wb') as f:
                    f.write(SENTINEL)
        before = sorted(os.listdir(d))
        rcode, _, err = m.run(args)
        label = '%s [%s]' % (name, 'files exist' if existing else 'no files')
        check(rcode != 0 and err.endswith('\n') and err.count('\n') == 1,
              label + ': non-zero exit, one line on stderr', 'exit %d, %r' % (rcode, err))
        check(all(t.lower() in err.lower() for t in mention), label + ': the message', repr(err))
        check(sorted(os.listdir(d)) == before and all(
            os.path.isdir(p[k]) or (read(p[k]) == SENTINEL if existing else not
                                    os.path.exists(p[k])) for k in ('out', 'rec')),
            label + ': no file made or changed')


def check_refusals(m):
    def proc(*opts, src=None, effect='delay'):
        return lambda p: ['process', effect, src or p['in'], p['out']] + list(opts) + \
            ['--save-record', p['rec']]

    for args in (['bogus'], [], ['presets'], ['params'], ['presets', 'echo'],
                 ['params', 'echo'], ['presets', 'delay', 'extra']):
        rcode, _, err = m.run(args)
        check(rcode != 0 and err.count('\n') == 1, 'refused: %r' % args)
    root = m.root
    cut = os.path.join(root, 'cut.wav')
    with open(cut, 'wb') as f:
        f.write(read(m.input)[:30])
    good = record('delay', rc.resolve(DELAY, 2))
    bad_records = [struct.pack('<I', 44) + good[4:], struct.pack('<I', 44) + good[4:] + bytes(4),
                   record('chorus', rc.resolve(MODELS['chorus'])), good[:19] + b'\x01' + good[20:],
                   good[:39], good[:20], good[:10], b'']
    for i, blob in enumerate(bad_records):
        with open(os.path.join(root, 'bad%d.rec' % i), 'wb') as f:
            f.write(blob)
    rows = [
        ('no files', lambda p: ['process', 'delay']),
        ('no output', lambda p: ['process', 'delay', p['in']]),
        ('unknown effect', proc(effect='echo')),
        ('unknown option', proc('--bogus')), ('extra word', proc('extra')),
        ('option without its value', lambda p: proc()(p) + ['--preset']),
        ('unknown field', proc('--set', 'Bogus=1')), ('empty field', proc('--set', '=1')),
        ('--set without =', proc('--set', 'DelayTime')),
        ('record name empty', proc('--load-record', '')),
        ('--save-record name empty', lambda p: ['process', 'delay', p['in'], p['out'],
                                                '--save-record', '']),
        ('missing input', lambda p: proc(src=os.path.join(p['dir'], 'absent.wav'))(p)),
        ('input is a directory', lambda p: proc(src=p['dir'])(p)),
        ('input cut inside its header', proc(src=cut)),
        ('record missing', lambda p: proc('--load-record', os.path.join(p['dir'], 'no.rec'))(p)),
        ('record is a directory', lambda p: proc('--load-record', p['dir'])(p)),
        ('output in a missing directory', lambda p: ['process', 'delay', p['in'],
                                                     os.path.join(p['dir'], 'no', 'o.wav')]),
        ('record in a missing directory', lambda p: proc()(p)[:-1] + [
            os.path.join(p['dir'], 'no', 'r.rec')]),
        ('output is a directory', lambda p: os.mkdir(p['out']) or proc()(p)),
    ]
    rows += [('preset %r' % v, proc('--preset', v)) for v in ('Nope', '7', '-1', '2x', '')]
    rows += [('DelayTime=%s' % v, proc('--set', 'DelayTime=' + v))
             for v in ('abc', '1.5', '', '2147483648', '-2147483649', '12abc')]
    rows += [('--buffer-frames %r' % n, proc('--buffer-frames', n)) for n in ('0', '-3', 'x', '')]
    rows += [('--output-frames %r' % n, proc('--output-frames', n, effect='stretch'))
             for n in ('0', 'x', '99999999999')]
    rows += [('FinalLength=%s' % v, proc('--set', 'FinalLength=' + v, effect='stretch'))
             for v in ('abc', '', '1.5x')]
    rows += [('record %d' % i, proc('--load-record', os.path.join(root, 'bad%d.rec' % i)))
             for i in range(len(bad_records))]
    for name, build in rows:
        refused(m, name, build)
    for v in ('0', '-1', 'nan', 'inf'):
        refused(m, 'Ratio=' + v, proc('--set', 'Ratio=' + v, effect='pitch'), ('Ratio',))
    inputs = [('24-bit PCM', rc.build_wav(1, 1, 8000, 24, bytes(900)), ['24-bit']),
              ('24-bit PCM extensible', rc.build_wav(1, 2, 8000, 24, bytes(1200), True),
               ['24-bit']),
              ('3 channels', rc.build_wav(1, 3, 8000, 16, bytes(1800)), ['3 channels']),
              ('text', b'These are not samples.\n' * 20, [])]
    for i, (name, blob, mention) in enumerate(inputs):
        path = os.path.join(root, 'refused%d.wav' % i)
        with open(path, 'wb') as f:
            f.write(blob)
        refused(m, 'input ' + name, proc(src=path), tuple(mention) + ACCEPTED)
    sox = shutil.which('sox')       # other programs' files: AIFF, u-law
    for name, opts, mention in (('sox.aiff', ['-b', '16'], 'AIFF'), ('ulaw.wav', ['-e', 'u-law'],
                                                                      'u-law')):
        path = os.path.join(root, name)
        if sox and subprocess.run([sox, '-n', '-r', '8000', '-c', '1'] + opts + [
                path, 'synth', '0.05', 'sine', '440']).returncode == 0:
            refused(m, 'input ' + name, proc(src=path), (mention,) + ACCEPTED)


def main():
    global verbose
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--mwfx', required=True)
    ap.add_argument('--verbose', action='store_true')
    opts = ap.parse_args()
    verbose = opts.verbose
    root = tempfile.mkdtemp(prefix='mwfx-cli-')
    try:
        m = Mwfx(os.path.abspath(opts.mwfx), root)
        for part in (check_listings, check_records, check_order, check_pitch_and_stretch,
                     check_files, check_refusals):
            part(m)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print('%d passed, %d failed' % (passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
