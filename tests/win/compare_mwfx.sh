#!/usr/bin/env bash
# Runs the native mwfx and mwfx.exe (under the given Wine wrapper) on the same generated
# WAV files and settings, and fails unless they agree: the same samples (data chunk) byte
# for byte, the same format fields, the same saved records, the same informational output,
# and the same refusals (non-zero status, nothing written). mwfx.exe must also write the
# input's own fmt chunk and a consistent RIFF header.
#
# usage: compare_mwfx.sh NATIVE_MWFX WINE_WRAPPER MWFX_EXE
# Skips (77) when the native build is missing.
set -uo pipefail

abspath() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
reference=$(abspath "$(dirname "$0")/../reference")
native=$(abspath "$1")
wine=$(abspath "$2")
exe=$(abspath "$3")
if [ ! -x "$native" ]; then
  echo "native mwfx not found at $native: build the native preset first"
  exit 77
fi

# The wrapper says whether this build's programs can run here at all.
rc=0
"$wine" --check || rc=$?
[ "$rc" -eq 0 ] || exit "$rc"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1

checks=0
failures=0
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}
check() {  # check NAME COMMAND...: passes when the command succeeds
  local name=$1
  shift
  checks=$((checks + 1))
  "$@" || fail "$name"
}

# Wine may add lines of its own on stderr; only mwfx's lines are compared.
mwfx_lines() { grep -v '^wine:' "$1" || true; }

run_native() { "$native" "$@"; }
run_windows() { "$wine" "$exe" "$@"; }

# ---------------------------------------------------------------------------------------
# WAV files and records: written and taken apart by the reference models' own helpers,
# independent of both programs.
wavtool() {
  python3 - "$reference" "$@" <<'PY'
import random, struct, sys, uuid
sys.path.insert(0, sys.argv[1])
import check_mwfx
import refcore as rc

def chunks(path):
    """(RIFF size, file length, {chunk id: first such chunk's bytes})"""
    blob = open(path, 'rb').read()
    if blob[:4] != b'RIFF' or blob[8:12] != b'WAVE':
        raise ValueError('%s: not RIFF/WAVE' % path)
    found, at = {}, 12
    while at + 8 <= len(blob):
        cid, size = blob[at:at + 4], struct.unpack_from('<I', blob, at + 4)[0]
        if cid == b'data' and at + 8 + size > len(blob):
            raise ValueError('%s: data chunk cut short' % path)
        found.setdefault(cid, blob[at + 8:at + 8 + size])
        at += 8 + size + (size & 1)
    if b'fmt ' not in found or b'data' not in found:
        raise ValueError('%s: no fmt or data chunk' % path)
    return struct.unpack_from('<I', blob, 4)[0], len(blob), found

def compare(native_out, windows_out, source, kind):
    try:
        _, _, n = chunks(native_out)
        wriff, wlen, w = chunks(windows_out)
        _, _, s = chunks(source)
    except (OSError, ValueError) as e:
        return [str(e)]
    problems = []
    if n[b'data'] != w[b'data']:
        problems.append('data differ: native %d bytes, Windows %d'
                        % (len(n[b'data']), len(w[b'data'])))
    if kind == 'inplace' and len(w[b'data']) < len(s[b'data']):
        problems.append('shorter than the input')
    nfmt, wfmt = n[b'fmt '], w[b'fmt ']
    if nfmt[:16] != wfmt[:16]:  # tag, channels, rate, byte rate, block align, bits
        problems.append('format fields differ: %s / %s' % (nfmt[:16].hex(), wfmt[:16].hex()))
    if wfmt[:2] == b'\xfe\xff' and (nfmt[:2] != wfmt[:2] or nfmt[18:20] != wfmt[18:20]
                                     or nfmt[24:40] != wfmt[24:40]):
        problems.append('extensible fields differ')  # the channel mask is each writer's own
    if wfmt != s[b'fmt ']:
        problems.append("mwfx.exe did not keep the input's fmt chunk")
    if wriff != wlen - 8:
        problems.append('RIFF size %d for a %d-byte file' % (wriff, wlen))
    return problems

cmd, args = sys.argv[2], sys.argv[3:]
if cmd == 'gen':  # gen PATH FORMAT CHANNELS RATE FRAMES SEED p|x
    path, fmt, ch, rate, frames, seed, ext = args
    tag, bits, _ = rc.FORMATS[fmt]
    samples = check_mwfx.make_signal(fmt, int(ch), int(frames), random.Random(int(seed)), int(rate))
    open(path, 'wb').write(rc.build_wav(tag, int(ch), int(rate), bits, rc.pack(fmt, samples),
                                        extensible=ext == 'x'))
elif cmd == 'compare':  # compare NATIVE_OUT WINDOWS_OUT SOURCE inplace|copying
    problems = compare(*args)
    print('; '.join(problems))
    sys.exit(1 if problems else 0)
elif cmd == 'refused':  # inputs both programs must refuse, and a record of the wrong size
    open('pcm24.wav', 'wb').write(rc.build_wav(1, 1, 8000, 24, bytes(300)))
    open('three.wav', 'wb').write(rc.build_wav(1, 3, 8000, 16, bytes(600)))
    open('bad.rec', 'wb').write(struct.pack('<I', 44) + bytes(40))
    open('notes.wav', 'wb').write(b'These are not samples.\n' * 20)
elif cmd == 'older':  # an earlier program's Time Stretch record
    tag = uuid.UUID('1B7E9C43-92D3-11D0-9D27-4E7A91C2D05F').bytes_le
    block = struct.pack('<dIIdII', 1234.5, 2, 1205, 88200.0, 1, 0)
    open('older.rec', 'wb').write(struct.pack('<I', 52) + tag + block)
PY
}

# ---------------------------------------------------------------------------------------
# Every accepted format, mono and stereo, through a preset with audible echoes.
rates=(8000 11025 22050 44100 48000)
formats=(pcm8 pcm16 pcm32 float32 float64)
inputs=()
for i in "${!formats[@]}"; do
  f=${formats[$i]}
  for ch in 1 2; do
    name=in-$f-$ch.wav
    wavtool gen "$name" "$f" "$ch" "${rates[$i]}" 12001 $((i * 2 + ch)) p
    inputs+=("$name")
  done
done
# Extensible format chunks, and a file without samples.
wavtool gen in-pcm32x-2.wav pcm32 2 16000 9000 21 x
wavtool gen in-float32x-1.wav float32 1 16000 9000 22 x
wavtool gen in-pcm16-empty.wav pcm16 2 8000 0 23 p
inputs+=(in-pcm32x-2.wav in-float32x-1.wav in-pcm16-empty.wav)

compare_run() {  # compare_run NAME EFFECT INPUT OPTIONS...: both programs, then their outputs
  local name=$1 effect=$2 input=$3 kind=inplace
  shift 3
  case $effect in stretch | pitch) kind=copying ;; esac
  rm -f n.wav w.wav
  checks=$((checks + 1))
  if ! run_native process "$effect" "$input" n.wav "$@" 2>n.err; then
    fail "$name: native mwfx failed: $(cat n.err)"
    return
  fi
  if ! run_windows process "$effect" "$input" w.wav "$@" 2>w.err; then
    fail "$name: mwfx.exe failed: $(mwfx_lines w.err)"
    return
  fi
  local why
  if ! why=$(wavtool compare n.wav w.wav "$input" "$kind"); then
    fail "$name: $why"
  elif [ "$input" != in-pcm16-empty.wav ]; then
    # only data and format were compared; the effect must have changed something for that
    # to mean anything
    cmp -s n.wav "$input" && fail "$name: the output equals the input"
  fi
}

records_agree() {  # records_agree NAME: the records both programs saved are the same bytes
  checks=$((checks + 1))
  if [ ! -s n.rec ] || [ ! -s w.rec ] || ! cmp -s n.rec w.rec; then
    fail "$1: saved records differ"
  fi
}

for input in "${inputs[@]}"; do
  compare_run "$input --preset 2" delay "$input" --preset 2
done

# Presets by name and number, and every field set (each one at a value of its own, so that
# a field reaching the wrong setter shows in the samples and in the record).
compare_run "preset by name" delay in-pcm16-2.wav --preset "Grand Canyon"
compare_run "preset 6" delay in-float64-1.wav --preset 6
set_all=(--set DryOut=-20 --set DelayOut=-45 --set Feedback=1 --set DelayTime=35
         --set DecayTime=7)
run_native process delay in-pcm32-2.wav n.wav --preset 3 "${set_all[@]}" --save-record n.rec \
  2>/dev/null
compare_run "every field set, record saved" delay in-pcm32-2.wav --preset 3 "${set_all[@]}" \
  --save-record w.rec
records_agree "every field set"
# Each program loads the other's record and must reproduce the same sound.
compare_run "native record loaded" delay in-pcm8-2.wav --load-record n.rec
compare_run "Windows record loaded, then a setting" delay in-float32-2.wav --load-record w.rec \
  --set DelayTime=222
compare_run "--buffer-frames accepted" delay in-pcm16-1.wav --preset 4 --buffer-frames 100

# The other effects that both programs offer: a preset, and every field of the table set to
# a value of its own (the Windows host reaches the fields by the table's order).
for effect in $(run_native list | awk '!/not available/ && $1 != "delay" {print $1}'); do
  sets=()
  i=0
  for field in $(run_native params "$effect" | awk 'NR > 1 {print $1}'); do
    sets+=(--set "$field=$((i * 37 % 90 + 1))")
    i=$((i + 1))
  done
  compare_run "$effect preset 2" "$effect" in-float32-1.wav --preset 2
  rm -f n.rec w.rec
  run_native process "$effect" in-pcm16-2.wav n.wav "${sets[@]}" --save-record n.rec 2>/dev/null
  compare_run "$effect, every field set" "$effect" in-pcm16-2.wav "${sets[@]}" --save-record w.rec
  records_agree "$effect, every field set"
done

# The effects that change the length, through every format and channel count: Time
# Stretch longer, Pitch Shift down at the same duration (a Ratio the command line derives
# from the interval, reading the fields back through their accessors) and up with its
# anti-alias filter. Buffer sizes of the native host must not matter.
for input in "${inputs[@]}"; do
  compare_run "$input stretch 130 %" stretch "$input" --set FinalLength=13000 --set Mode=4
  compare_run "$input pitch down, same duration" pitch "$input" --set Semitones=-3 \
    --set Cents=-250 --set PreserveDuration=1 --set Mode=7
done
compare_run "pitch up, filtered" pitch in-pcm16-2.wav --set Ratio=1.41 --set AntiAlias=1 \
  --set Accuracy=3
compare_run "stretch, small native buffers" stretch in-float64-2.wav --set FinalLength=7777.5 \
  --buffer-frames 100 --output-frames 37
compare_run "pitch, small native buffers" pitch in-pcm32-1.wav --preset 5 --set PreserveDuration=1 \
  --buffer-frames 333 --output-frames 1000
# An earlier program's Time Stretch record, read by both.
wavtool older
rm -f n.rec w.rec
run_native process stretch in-pcm16-1.wav n.wav --load-record older.rec --save-record n.rec \
  2>/dev/null
compare_run "earlier Time Stretch record" stretch in-pcm16-1.wav --load-record older.rec \
  --save-record w.rec
records_agree "earlier Time Stretch record"

# ---------------------------------------------------------------------------------------
# The informational commands print the same bytes.
for cmd in "list" "presets delay" "params delay" "presets stretch" "params stretch" \
  "presets pitch" "params pitch" "help"; do
  checks=$((checks + 1))
  # shellcheck disable=SC2086
  run_native $cmd >n.out 2>/dev/null || fail "'$cmd' fails natively"
  # shellcheck disable=SC2086
  run_windows $cmd >w.out 2>/dev/null || fail "'$cmd' fails in mwfx.exe"
  [ -s n.out ] || fail "'$cmd' prints nothing"
  cmp -s n.out w.out || fail "'$cmd' prints differently"
done

# ---------------------------------------------------------------------------------------
# Refusals: the same non-zero status, the output (and record) not created, an existing
# output untouched; for mistakes on the command line, the same message.
wavtool gen in-pcm16-3.wav pcm16 2 8000 100 1 p
wavtool refused
echo 'existing output, must survive' >sentinel.wav

refused() {  # refused NAME SAME_MESSAGE(yes|no) ARGS...
  local name=$1 same=$2
  shift 2
  rm -rf out.wav out.rec
  cp sentinel.wav kept.wav
  checks=$((checks + 1))
  run_native "$@" >/dev/null 2>n.err
  local ns=$?
  run_windows "$@" >/dev/null 2>w.err
  local ws=$?
  mwfx_lines w.err >w.msg
  if [ "$ws" -eq 0 ] || [ "$ws" -ne "$ns" ]; then
    fail "$name: status $ws from mwfx.exe, $ns from mwfx"
  fi
  [ -e out.wav ] && fail "$name: an output was created"
  [ -e out.rec ] && fail "$name: a record was created"
  cmp -s sentinel.wav kept.wav || fail "$name: an existing output was changed"
  ls ./*.mwfx-* >/dev/null 2>&1 && fail "$name: a temporary file was left behind"
  [ "$(wc -l <w.msg)" -eq 1 ] || fail "$name: not one line on stderr: $(cat w.msg)"
  if [ "$same" = yes ] && ! cmp -s n.err w.msg; then
    fail "$name: messages differ: '$(cat n.err)' / '$(cat w.msg)'"
  fi
}

refused "unknown option" yes process delay in-pcm16-3.wav out.wav --bogus
refused "unknown preset" yes process delay in-pcm16-3.wav out.wav --preset Nope
refused "bad field value" yes process delay in-pcm16-3.wav out.wav --set DelayTime=1.5
refused "unknown field" yes process delay in-pcm16-3.wav out.wav --set Bogus=1
refused "zero ratio" yes process pitch in-pcm16-3.wav out.wav --set Ratio=0 --save-record out.rec
refused "ratio not a number" yes process pitch in-pcm16-3.wav out.wav --set Ratio=nan
refused "bad length" yes process stretch in-pcm16-3.wav out.wav --set FinalLength=long
refused "unknown effect" yes process echo in-pcm16-3.wav out.wav
refused "missing input" yes process delay absent.wav out.wav --save-record out.rec
refused "refused record" yes process delay in-pcm16-3.wav out.wav --load-record bad.rec
refused "24-bit input" yes process delay pcm24.wav out.wav --save-record out.rec
refused "3-channel input" yes process delay three.wav out.wav
refused "text input" no process delay notes.wav out.wav --save-record out.rec
refused "output in a missing folder" yes process delay in-pcm16-3.wav missing/out.wav \
  --save-record out.rec
refused "existing output kept" no process delay notes.wav kept.wav

echo "$checks checks, $failures problems"
[ "$failures" -eq 0 ]
