"""The checking harness shared by the check_mwfx_*.py reference checks.

Each check script builds its own cases and property checks for one effect;
what they have in common lives here:
  * Results: pass and fail counting, one line per failure (every check with
    --verbose) and the closing `N passed, M failed` line;
  * comparisons of stored sample values and the one-line description of the
    first difference;
  * test-signal pieces: full-scale codes and noise of the integer formats,
    float constants, a LIST/INFO chunk;
  * Runner, Case and run_cases(): mwfx runs on generated WAV files in
    parallel with the model's computation, then the comparison;
  * checks made alike for every effect: groups of runs that must agree,
    model-free expectations, refused requests, WAV round trips;
  * the command line (parse_options) and the run of a whole check (run_main).

Scripts set `sys.dont_write_bytecode` before importing this module, so that
no __pycache__ is left beside the sources.
"""

import argparse
import concurrent.futures
import multiprocessing
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import sample_formats as formats  # noqa: E402
import wavio  # noqa: E402

FLOAT_FORMATS = ('float32', 'float64')


# ---------------------------------------------------------------------------
# Reporting

class Results:
    def __init__(self, verbose=False):
        self.passed = 0
        self.failed = 0
        self.verbose = verbose

    def ok(self, name):
        self.passed += 1
        if self.verbose:
            print('ok   %s' % name, flush=True)

    def fail(self, name, why):
        self.failed += 1
        print('FAIL %s: %s' % (name, why), flush=True)

    def check(self, cond, name, why=''):
        if cond:
            self.ok(name)
        else:
            self.fail(name, why or 'condition false')
        return cond


def show_value(fmt, v):
    if fmt == 'pcm8':
        return '0x%02X' % v
    if fmt == 'float32':
        return '%r (0x%08X)' % (v, struct.unpack('<I', struct.pack('<f', v))[0])
    if fmt == 'float64':
        return '%r (0x%016X)' % (v, struct.unpack('<Q', struct.pack('<d', v))[0])
    return '%d' % v


# ---------------------------------------------------------------------------
# Comparing stored values

def same_bits(fmt, a, b):
    """Equal stored values; floats bit for bit, any two NaNs alike."""
    if fmt in FLOAT_FORMATS:
        if a != a and b != b:
            return True
        return struct.pack('<d', a) == struct.pack('<d', b)
    return a == b


def same_value(fmt, a, b):
    """Equal stored values; floats by value (the sign of zero aside)."""
    if fmt in FLOAT_FORMATS:
        return a == b or (a != a and b != b)
    return a == b


def _encoding(fmt, v):
    if fmt == 'float32':
        return struct.pack('<f', v)
    if fmt == 'float64':
        return struct.pack('<d', v)
    return v


def same_encoding(fmt, a, b):
    """Equal stored values bit for bit in their own format, NaN payloads
    included."""
    return _encoding(fmt, a) == _encoding(fmt, b)


def first_difference(fmt, nch, expected, actual, same=same_bits, zero_signs=False):
    """None when equal, else a one-line description of the first difference.

    `same` compares two float values; integer codes are compared as such.
    zero_signs: say so when every difference is in the sign of a zero."""
    n = min(len(expected), len(actual))
    if fmt in FLOAT_FORMATS:
        diffs = [i for i in range(n) if not same(fmt, expected[i], actual[i])]
    else:
        diffs = [i for i in range(n) if expected[i] != actual[i]]
    if not diffs and len(expected) == len(actual):
        return None
    parts = []
    if diffs:
        i = diffs[0]
        note = ''
        if zero_signs and all(same_value(fmt, expected[k], actual[k]) for k in diffs):
            note = ', all in the sign of a zero'
        parts.append('first difference at frame %d channel %d: expected %s, got %s '
                     '(%d differing samples%s)'
                     % (i // nch, i % nch, show_value(fmt, expected[i]),
                        show_value(fmt, actual[i]), len(diffs), note))
    if len(expected) != len(actual):
        parts.append('length %d frames, expected %d'
                     % (len(actual) // nch, len(expected) // nch))
    return '; '.join(parts)


def same_output(fmt, a, b):
    """Equal sample lists; floats compared by value, so that the sign of a
    zero (which the effects do not always keep) does not matter."""
    if len(a) != len(b):
        return False
    if fmt in FLOAT_FORMATS:
        return all(x == y or (x != x and y != y) for x, y in zip(a, b))
    return a == b


# ---------------------------------------------------------------------------
# Test-signal pieces

F32_MAX = struct.unpack('<f', b'\xff\xff\x7f\x7f')[0]
F32_MIN_SUB = struct.unpack('<f', b'\x01\x00\x00\x00')[0]

COMBOS = [(f, n) for f in formats.FORMAT_NAMES for n in (1, 2)]

# A well-formed LIST/INFO chunk naming the software (odd-sized entry, padded).
LIST_INFO = b'INFO' + b'ISFT' + struct.pack('<I', 5) + b'test\x00' + b'\x00'


def pcm_extremes(fmt):
    """Codes of an integer format at and around full scale, plus silence."""
    if fmt == 'pcm8':
        return [0x00, 0xFF, 0x80, 0x7F, 0x81, 0x01, 0xFE]
    if fmt == 'pcm16':
        return [-32768, 32767, 0, -1, 1, -32767, 32766]
    return [formats.INT32_MIN, formats.INT32_MAX, 0, -1, 1,
            formats.INT32_MIN + 1, formats.INT32_MAX - 1]


def pcm_noise(fmt, rng):
    """A code of an integer format drawn uniformly from its whole range."""
    if fmt == 'pcm8':
        return rng.randrange(256)
    if fmt == 'pcm16':
        return rng.randrange(-32768, 32768)
    return rng.randrange(formats.INT32_MIN, formats.INT32_MAX + 1)


def frames_for(rate, seconds, cap, floor=40):
    return max(floor, min(cap, int(rate * seconds)))


def mixed_signal(fmt, nch, frames, rng, ext, noise, pick, burst,
                 quiet=(0.55, 0.75)):
    """Interleaved stored values: an opening run of every value of `ext`, in
    a different order per channel; then for each sample, below `pick` one of
    them at random, below `burst` a full-scale square wave (ext[0] and
    ext[1] in turns of five frames), else noise(fmt, rng); silence over the
    `quiet` share of the frames (none when None)."""
    silence = formats.silence_code(fmt)
    out = []
    quiet_from = int(frames * quiet[0]) if quiet else frames
    quiet_to = int(frames * quiet[1]) if quiet else frames
    for n in range(frames):
        for c in range(nch):
            if n < len(ext) * 2:
                v = ext[(n + 3 * c) % len(ext)]
            elif quiet_from <= n < quiet_to:
                v = silence
            else:
                r = rng.random()
                if r < pick:
                    v = rng.choice(ext)
                elif r < burst:
                    v = ext[0] if (n // 5) % 2 else ext[1]
                else:
                    v = noise(fmt, rng)
            out.append(v)
    return out


# ---------------------------------------------------------------------------
# Running mwfx

class Runner:
    """Runs mwfx on files in a temporary directory.

    width: digits of the run counter in the file names.  With
    blank_stderr_uses_stdout a message of white space only on the error
    stream gives way to the output stream (otherwise the error stream is the
    message whenever it is not empty)."""

    def __init__(self, mwfx, tmpdir, effect, timeout=120, width=4,
                 blank_stderr_uses_stdout=False):
        self.mwfx = mwfx
        self.tmpdir = tmpdir
        self.effect = effect
        self.timeout = timeout
        self.width = width
        self.blank_stderr_uses_stdout = blank_stderr_uses_stdout
        self.counter = 0

    def new_paths(self, stem):
        self.counter += 1
        base = os.path.join(self.tmpdir, '%0*d_%s' % (self.width, self.counter, stem))
        return base + '_in.wav', base + '_out.wav'

    def _call(self, args):
        try:
            p = subprocess.run([self.mwfx] + list(args), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=self.timeout)
        except subprocess.TimeoutExpired:
            return None, '', 'timed out after %d s' % self.timeout
        except OSError as e:
            return None, '', 'could not run mwfx: %s' % e
        return (p.returncode, p.stdout.decode('utf-8', 'replace'),
                p.stderr.decode('utf-8', 'replace'))

    def command(self, args):
        """Any mwfx command: (exit status, output, stripped error text)."""
        rc, out, err = self._call(args)
        return rc, out, err.strip()

    def run(self, in_path, out_path, args):
        """`mwfx process EFFECT in out args`: (exit status, message)."""
        rc, out, err = self._call(['process', self.effect, in_path, out_path] + list(args))
        if self.blank_stderr_uses_stdout:
            return rc, (err.strip() or out.strip())
        return rc, (err or out).strip()


class Case:
    """One mwfx run on a generated file, compared with the model unless
    `modelled` is False (then only model-free checks use its output)."""

    def __init__(self, name, fmt, nch, rate, samples, preset=None, sets=(),
                 buffer_frames=None, extra_chunks=(), modelled=True):
        self.name = name
        self.fmt = fmt
        self.nch = nch
        self.rate = rate
        self.samples = samples
        self.preset = preset
        self.sets = list(sets)
        self.buffer_frames = buffer_frames
        self.extra_chunks = extra_chunks
        self.modelled = modelled
        self.expected = None            # stored values the model gives
        self.property_expected = None   # a model-free expectation
        self.actual = None              # stored values mwfx produced
        self.error = None               # why the run itself failed

    def args(self):
        a = []
        if self.preset is not None:
            a += ['--preset', str(self.preset)]
        for field, value in self.sets:
            a += ['--set', '%s=%d' % (field, value)]
        if self.buffer_frames is not None:
            a += ['--buffer-frames', str(self.buffer_frames)]
        return a

    def settings(self):
        return ' '.join(self.args()) or 'defaults'

    def describe(self):
        return '%s [%s %dch %dHz %d frames; %s]' % (
            self.name, self.fmt, self.nch, self.rate,
            len(self.samples) // self.nch, self.settings())


def execute(runner, case, block_align=False):
    """Run mwfx on the case; returns a failure text or None.  block_align:
    the output's block alignment and whole frames are checked too."""
    tag, bits, _ = formats.FORMATS[case.fmt]
    in_path, out_path = runner.new_paths(case.name.replace(' ', '_')[:40])
    wavio.write_wav(in_path, tag, case.nch, case.rate, bits,
                    formats.pack_samples(case.fmt, case.samples),
                    extra_chunks=case.extra_chunks)
    rc, msg = runner.run(in_path, out_path, case.args())
    if rc != 0:
        return 'mwfx exit status %s: %s' % (rc, msg.splitlines()[0] if msg else '')
    try:
        info = wavio.read_wav(out_path)
    except (OSError, wavio.WavError) as e:
        return 'cannot read output: %s' % e
    header = (info.tag, info.bits, info.channels, info.rate)
    want = (tag, bits, case.nch, case.rate)
    fields = 'tag, bits, channels, rate'
    if block_align:
        header += (info.block_align,)
        want += (bits // 8 * case.nch,)
        fields += ', block align'
    if header != want:
        return ('output header (%s) = %r, expected %r' % (fields, header, want))
    if block_align and len(info.data) % (bits // 8 * case.nch):
        return 'output data of %d bytes is not whole frames' % len(info.data)
    case.actual = formats.unpack_samples(case.fmt, info.data)
    for p in (in_path, out_path):
        try:
            os.remove(p)
        except OSError:
            pass
    return None


def compute_model(run_host, args):
    fmt, nch, rate, samples, preset, sets, buffer_frames = args
    return run_host(fmt, nch, rate, samples, preset=preset, sets=sets,
                    buffer_frames=buffer_frames)


def run_cases(runner, cases, results, jobs, model, procs=1, cost=None,
              compare=first_difference, note=None, block_align=False,
              timing=None):
    """Run mwfx for all cases in threads while the model computes the
    modelled ones, then report each case: its run's failure, or for a
    modelled case the comparison with the model.

    model: the model module (its run_host and DEFAULT_BUFFER_FRAMES).
    procs: worker processes for the model; with 1 the model is computed here
      (it is pure Python and holds the interpreter lock, so it runs while
      the mwfx processes run in the background).  The workers are forked
      before any thread of ours exists.
    cost: sort key of the modelled cases (longest first spreads the work
      evenly).
    compare(fmt, nch, expected, actual): None or the difference.
    note(case): text added to a difference from the model.
    timing: a dict that receives 'model_seconds'."""
    modelled = [c for c in cases if c.modelled]
    if cost is not None:
        modelled.sort(key=cost)
    jobs_args = [(c.fmt, c.nch, c.rate, c.samples, c.preset, c.sets,
                  c.buffer_frames or model.DEFAULT_BUFFER_FRAMES) for c in modelled]
    t0 = time.time()
    pool = None
    if procs > 1:
        pool = concurrent.futures.ProcessPoolExecutor(
            procs, mp_context=multiprocessing.get_context('fork'))
    try:
        model_futures = [pool.submit(compute_model, model.run_host, a)
                         for a in jobs_args] if pool else None
        with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as threads:
            futures = [threads.submit(execute, runner, c, block_align) for c in cases]
            for k, c in enumerate(modelled):
                c.expected = (model_futures[k].result() if pool
                              else compute_model(model.run_host, jobs_args[k]))
            if timing is not None:
                timing['model_seconds'] = time.time() - t0
            for c, fut in zip(cases, futures):
                c.error = fut.result()
    finally:
        if pool is not None:
            pool.shutdown()
    for c in cases:
        err = c.error
        if err is None and not c.modelled:
            continue
        if err is None:
            err = compare(c.fmt, c.nch, c.expected, c.actual)
            if err is not None and note is not None:
                err += note(c)
        if err is None:
            results.ok(c.describe())
        else:
            results.fail(c.describe(), err)


# ---------------------------------------------------------------------------
# Checks made alike for every effect

def format_and_channels(case):
    return '[%s %dch]' % (case.fmt, case.nch)


def check_groups_equal(results, groups, label, where=format_and_channels,
                       where_in_passes=True, compare=first_difference):
    """All cases in each group must give mwfx output identical to the first.

    where(case) names the format after the settings compared (in the names
    of passing checks too unless where_in_passes is False)."""
    for group in groups:
        base = group[0]
        if base.actual is None:
            continue        # the run itself failed and was reported
        for other in group[1:]:
            if other.actual is None:
                continue
            name = '%s: %s vs %s' % (label, other.settings(), base.settings())
            err = compare(base.fmt, base.nch, base.actual, other.actual)
            if err is None:
                results.ok('%s %s' % (name, where(base)) if where_in_passes else name)
            else:
                results.fail('%s %s' % (name, where(base)), err)


def expect_output(results, name, fmt, nch, want, got, compare=first_difference):
    """mwfx output equal to a model-free expectation, the sign of a zero
    aside."""
    if same_output(fmt, want, got):
        results.ok(name)
    else:
        results.fail(name, compare(fmt, nch, want, got)
                     or 'differs in the sign of a zero')


def check_property(results, cases, label=None, rel=0.0, compare=first_difference):
    """Each case's mwfx output against its property_expected.  label: the
    name of the property (the case's own name when None).  rel: a relative
    tolerance, where None in the expectation stands for any value."""
    for c in cases:
        if c.actual is None:
            continue
        name = '%s property [%s %dch %dHz %s]' % (label or c.name, c.fmt, c.nch,
                                                  c.rate, ' '.join(c.args()))
        want = c.property_expected
        got = c.actual
        if not rel:
            expect_output(results, name, c.fmt, c.nch, want, got, compare)
            continue
        if len(want) == len(got) and all(
                w is None or abs(w - g) <= rel * abs(w) for w, g in zip(want, got)):
            results.ok(name)
        else:
            want = [g if w is None else w for w, g in zip(want, got)] + \
                [0.0] * (len(want) - len(got))
            results.fail(name, compare(c.fmt, c.nch, want, got)
                         or 'differs in the sign of a zero')


def expect_error(results, rc, msg, name):
    """A refused request: a non-zero exit status and a message."""
    return results.check(rc not in (0, None) and bool(msg), name,
                         'exit status %s, message %r' % (rc, msg))


def check_errors(results, runner, samples, bad_args, missing_input=False,
                 refused_formats=True):
    """Invalid requests on a 16-bit mono file of `samples` must end with a
    non-zero status and a message: each of bad_args, a missing input file,
    and inputs in formats the effects refuse (24-bit PCM, three channels)."""
    in_path, out_path = runner.new_paths('err')
    wavio.write_wav(in_path, 1, 1, 8000, 16, formats.pack_samples('pcm16', samples))
    for args in bad_args:
        rc, msg = runner.run(in_path, out_path, args)
        expect_error(results, rc, msg, 'error expected for %s' % ' '.join(args))
    if missing_input:
        rc, msg = runner.run(os.path.join(runner.tmpdir, 'missing.wav'), out_path, [])
        expect_error(results, rc, msg, 'error expected for a missing input')
    if refused_formats:
        for label, tag, nch, bits in (('24-bit PCM', 1, 1, 24),
                                      ('three channels', 1, 3, 16)):
            p, o = runner.new_paths('refused')
            wavio.write_wav(p, tag, nch, 8000, bits, bytes(nch * bits // 8 * 50))
            rc, msg = runner.run(p, o, [])
            expect_error(results, rc, msg, 'error expected for %s input' % label)


def check_wav_round_trips(results, rng, rate, extensible=(False,), extra_chunks=()):
    """wavio writes and reads back every format, mono and stereo, three
    frames of random bytes (in each header form of `extensible`)."""
    for fmt in formats.FORMAT_NAMES:
        tag, bits, _ = formats.FORMATS[fmt]
        for nch in (1, 2):
            data = bytes(rng.getrandbits(8) for _ in range(bits // 8 * nch * 3))
            for ext in extensible:
                blob = wavio.build_wav(tag, nch, rate, bits, data, extensible=ext,
                                       extra_chunks=extra_chunks)
                info = wavio.parse_wav(blob)
                results.check((info.tag, info.channels, info.rate, info.bits, info.data)
                              == (tag, nch, rate, bits, data),
                              'wav round trip tag %d bits %d %dch%s'
                              % (tag, bits, nch, ' extensible' if ext else ''))


def model_agreement(model, formulation, label, fmt, nch, rate, samples, sets,
                    buffer_sizes, compare=first_difference):
    """Self-test: the model's output for `sets` against a second formulation
    of the effect, formulation(fmt, nch, rate, samples, block), and against
    the model's own output in buffers of each of buffer_sizes frames.  A
    mismatch with the formulation is printed.  Returns (the formulation
    agrees, every buffer size agrees)."""
    block = model.resolve_block(sets=sets)
    want = formulation(fmt, nch, rate, samples, block)
    got = model.run_host(fmt, nch, rate, samples, sets=sets)
    diff = compare(fmt, nch, want, got)
    if diff is not None:
        print('  %s mismatch: %s %d %d %r: %s' % (label, fmt, nch, rate, sets, diff))
    sizes = [compare(fmt, nch, got, model.run_host(fmt, nch, rate, samples, sets=sets,
                                                   buffer_frames=n)) is None
             for n in buffer_sizes]
    return diff is None, all(sizes)


# ---------------------------------------------------------------------------
# Command line

def parse_options(doc, argv, seed, jobs_help='mwfx processes run at once',
                  procs=False):
    """The options of every check script (--procs where `procs`)."""
    ap = argparse.ArgumentParser(description=doc.splitlines()[0])
    ap.add_argument('--mwfx', help='path of the mwfx program')
    ap.add_argument('--quick', action='store_true', help='fewer and shorter cases')
    ap.add_argument('--selftest', action='store_true',
                    help='check the model alone (also done before every mwfx run)')
    ap.add_argument('--jobs', type=int, default=os.cpu_count() or 2, help=jobs_help)
    if procs:
        ap.add_argument('--procs', type=int, default=os.cpu_count() or 2,
                        help='processes computing the model')
    ap.add_argument('--keep', action='store_true', help='keep the temporary files')
    ap.add_argument('--seed', type=int, default=seed)
    ap.add_argument('-v', '--verbose', action='store_true', help='list passing checks too')
    opts = ap.parse_args(argv)
    if not opts.mwfx and not opts.selftest:
        ap.error('give --mwfx PATH or --selftest')
    return opts


def run_main(opts, effect, selftest, check_mwfx, timing=None):
    """The self-test, then with --mwfx the checks of mwfx in a temporary
    directory; prints `N passed, M failed` and returns the exit status.

    selftest(results); check_mwfx(results, mwfx, tmpdir, rng) with mwfx an
    executable path and rng seeded from --seed.  timing: a dict of named
    durations shown with the elapsed time (--verbose)."""
    start = time.time()
    results = Results(opts.verbose)
    selftest(results)

    if opts.mwfx:
        mwfx = os.path.abspath(opts.mwfx)
        if not os.access(mwfx, os.X_OK):
            results.fail('mwfx', '%s is not an executable file' % mwfx)
        else:
            tmpdir = tempfile.mkdtemp(prefix='mwfx_%s_' % effect)
            try:
                check_mwfx(results, mwfx, tmpdir, random.Random(opts.seed))
            finally:
                if opts.keep:
                    print('temporary files kept in %s' % tmpdir)
                else:
                    shutil.rmtree(tmpdir, ignore_errors=True)

    if opts.verbose:
        elapsed = 'elapsed %.1f s' % (time.time() - start)
        if timing is not None:
            elapsed += ' (%s)' % ', '.join(
                '%s %s' % (k, round(v, 1) if isinstance(v, float) else v)
                for k, v in sorted(timing.items()))
        print(elapsed)
    print('%d passed, %d failed' % (results.passed, results.failed))
    return 1 if results.failed else 0
