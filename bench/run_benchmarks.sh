#!/usr/bin/env bash
# Whole-process speed of mwfx against a peer program (sox, soundstretch) doing a comparable
# job on the same file, and (optionally) the per-format loop throughput from bench_loops.
#
# Each comparison is one bench_pair line near the bottom of this file. The ratio reported is
# peer time / mwfx time, so a larger number means mwfx is faster. Machine load moves the
# figures a lot: the load average is printed with them; repeat at a quiet moment.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: bench/run_benchmarks.sh [--mwfx PATH] [--bench-loops PATH] [--runs N]
                               [--no-loops] [--sox-no-dither] [--verbose] [--keep-temp]

  --mwfx PATH         mwfx binary (default: build/native/bin/mwfx under the repository root)
  --bench-loops PATH  loop benchmark binary (default: bench_loops beside mwfx)
  --runs N            timed runs per command; the median is reported (default 5)
  --no-loops          skip the bench_loops run
  --sox-no-dither     run sox with -D, so it does not add dither when writing 16-bit output
  --verbose           print every individual run time
  --keep-temp         leave the temporary directory (test file and outputs) in place
EOF
}

die() {
  echo "run_benchmarks: $*" >&2
  exit 1
}

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mwfx="$repo_root/build/native/bin/mwfx"
bench_loops=""
runs=5
run_loops=1
sox_flags=()
verbose=0
keep_temp=0

while [[ $# -gt 0 ]]; do
  case "$1" in
    --mwfx) [[ $# -ge 2 ]] || die "--mwfx needs a path"; mwfx="$2"; shift 2 ;;
    --bench-loops) [[ $# -ge 2 ]] || die "--bench-loops needs a path"; bench_loops="$2"; shift 2 ;;
    --runs) [[ $# -ge 2 ]] || die "--runs needs a number"; runs="$2"; shift 2 ;;
    --no-loops) run_loops=0; shift ;;
    --sox-no-dither) sox_flags=(-D); shift ;;
    --verbose) verbose=1; shift ;;
    --keep-temp) keep_temp=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; die "unknown option '$1'" ;;
  esac
done

[[ "$runs" =~ ^[1-9][0-9]*$ ]] || die "--runs takes a whole number of at least 1, got '$runs'"
[[ -n "$bench_loops" ]] || bench_loops="$(dirname "$mwfx")/bench_loops"

[[ -f "$mwfx" ]] || die "mwfx not found at '$mwfx' (build it: cmake --preset native && cmake --build --preset native, or pass --mwfx PATH)"
[[ -x "$mwfx" ]] || die "'$mwfx' is not executable"
command -v sox >/dev/null 2>&1 || die "sox is not installed (it makes the test file and is the comparison)"

# Wall-clock microseconds. EPOCHREALTIME (bash 5+) costs no process; its decimal separator
# follows the locale, so both '.' and ',' are removed.
if [[ -n "${EPOCHREALTIME:-}" ]]; then
  now_us() { now="${EPOCHREALTIME/[.,]/}"; }
else
  now_us() { now="$(date +%s%6N)"; }
  [[ "$(date +%6N)" =~ ^[0-9]{6}$ ]] || die "no sub-millisecond clock (needs bash 5 or GNU date)"
fi

tmp="$(mktemp -d "${TMPDIR:-/tmp}/mwfx-bench.XXXXXX")"
cleanup() {
  if [[ $keep_temp -eq 1 ]]; then
    echo "temporary files kept in $tmp"
  else
    rm -rf -- "$tmp"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- Test material -----------------------------------------------------------------------
# 60 s of stereo 16-bit 44.1 kHz: a slightly detuned sawtooth pair with tremolo (a rich
# harmonic series), a square/triangle pair under slow frequency modulation, and pink noise
# swelling slowly, mixed and normalised to -9 dBFS peak so the multi-echo sums stay below
# full scale.
input="$tmp/input.wav"
make_input() {
  local fmt=(-r 44100 -c 2 -b 16)
  sox -n "${fmt[@]}" "$tmp/saw.wav" synth 60 sawtooth 110 sawtooth 110.7 tremolo 2 60
  sox -n "${fmt[@]}" "$tmp/pad.wav" synth 60 square 164.8 triangle 220 synth sine fmod 0.25
  sox -n "${fmt[@]}" "$tmp/noise.wav" synth 60 pinknoise pinknoise tremolo 0.5 40
  sox -m -v 0.5 "$tmp/saw.wav" -v 0.3 "$tmp/pad.wav" -v 0.3 "$tmp/noise.wav" \
    "${fmt[@]}" "$input" norm -9
  rm -f -- "$tmp/saw.wav" "$tmp/pad.wav" "$tmp/noise.wav"
}
make_input 2>"$tmp/make_input.log" || { cat "$tmp/make_input.log" >&2; die "sox could not make the test file"; }

# --- Timing ------------------------------------------------------------------------------
# Runs a command once with its output file removed first, and sets `elapsed` to its wall
# time in microseconds. Output goes to a log that is shown if the command fails.
time_once() {
  local out="$1" log="$2"
  shift 2
  rm -f -- "$out"
  local start
  now_us; start=$now
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    die "command failed: $*"
  fi
  now_us
  elapsed=$((now - start))
  [[ -s "$out" ]] || die "command wrote no output: $*"
}

# Median of microsecond values given as arguments (mean of the middle two for an even count).
median_us() {
  local sorted
  mapfile -t sorted < <(printf '%s\n' "$@" | sort -n)
  local n=${#sorted[@]}
  if (( n % 2 )); then
    echo "${sorted[n / 2]}"
  else
    echo $(( (sorted[n / 2 - 1] + sorted[n / 2]) / 2 ))
  fi
}

# Microseconds as seconds with four decimals.
us_to_s() { printf '%d.%04d' $(($1 / 1000000)) $(( ($1 % 1000000 + 50) / 100 )); }

rows=()
verdicts=()

# bench_pair NAME "MWFX ARGS" PEER "PEER ARGS" TARGET
#   MWFX ARGS:  the effect name followed by mwfx process options; shell quoting is
#               honoured, e.g. 'delay --preset "Echo chamber"'.
#   PEER:       sox (PEER ARGS: the effect chain) or soundstretch (PEER ARGS: its options).
#   TARGET:     the minimum peer/mwfx time ratio that counts as a pass.
# Both commands get one untimed warm-up run, then RUNS timed runs each, interleaved and in
# alternating order so that drift in machine load affects both sides alike.
bench_pair() {
  local name="$1 [$3]" mw_spec="$2" peer="$3" sox_spec="$4" target="$5"
  local mw_args sox_args
  eval "mw_args=($mw_spec)"
  eval "sox_args=($sox_spec)"
  local effect="${mw_args[0]}"
  if ! command -v "$peer" >/dev/null 2>&1; then
    rows+=("$(printf '%-46s %s' "$name" "skipped: $peer is not installed")")
    return 0
  fi

  if ! "$mwfx" presets "$effect" >/dev/null 2>"$tmp/probe.log"; then
    rows+=("$(printf '%-46s %s' "$name" "skipped: $(sed 's/^mwfx: //' "$tmp/probe.log" | head -n1)")")
    return 0
  fi

  local mw_out="$tmp/mwfx_out.wav" sox_out="$tmp/sox_out.wav"
  local mw_cmd=("$mwfx" process "$effect" "$input" "$mw_out" "${mw_args[@]:1}")
  local sox_cmd=(sox "${sox_flags[@]}" "$input" "$sox_out" "${sox_args[@]}")
  [[ "$peer" == sox ]] || sox_cmd=("$peer" "$input" "$sox_out" "${sox_args[@]}")

  echo "timing: $name ($runs runs each)"
  time_once "$mw_out" "$tmp/mwfx.log" "${mw_cmd[@]}"
  time_once "$sox_out" "$tmp/sox.log" "${sox_cmd[@]}"

  local mw_times=() sox_times=() i
  for ((i = 0; i < runs; i++)); do
    if (( i % 2 == 0 )); then
      time_once "$mw_out" "$tmp/mwfx.log" "${mw_cmd[@]}"; mw_times+=("$elapsed")
      time_once "$sox_out" "$tmp/sox.log" "${sox_cmd[@]}"; sox_times+=("$elapsed")
    else
      time_once "$sox_out" "$tmp/sox.log" "${sox_cmd[@]}"; sox_times+=("$elapsed")
      time_once "$mw_out" "$tmp/mwfx.log" "${mw_cmd[@]}"; mw_times+=("$elapsed")
    fi
  done
  if [[ $verbose -eq 1 ]]; then
    echo "  mwfx runs (us): ${mw_times[*]}"
    echo "  $peer runs (us): ${sox_times[*]}"
  fi

  local mw_med sox_med
  mw_med="$(median_us "${mw_times[@]}")"
  sox_med="$(median_us "${sox_times[@]}")"
  (( mw_med > 0 )) || mw_med=1
  local ratio verdict
  ratio="$(awk -v s="$sox_med" -v m="$mw_med" 'BEGIN { printf "%.2f", s / m }')"
  if awk -v r="$ratio" -v t="$target" 'BEGIN { exit !(r >= t) }'; then verdict=PASS; else verdict=BELOW; fi

  rows+=("$(printf '%-46s %10s %10s %9sx %7sx  %s' "$name" "$(us_to_s "$mw_med")" \
    "$(us_to_s "$sox_med")" "$ratio" "$target" "$verdict")")
  verdicts+=("$verdict: $name is ${ratio}x as fast as $peer (target ${target}x)")
}

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo unknown)"
if [[ ${#sox_flags[@]} -gt 0 ]]; then sox_note="sox run with -D (no dither)"; else sox_note="sox adds its default dither"; fi
echo "input:   60 s stereo 16-bit 44100 Hz WAV; $sox_note"
echo

# --- Comparisons -------------------------------------------------------------------------
# The file path alone: an identity setting (no echo, the dry sound at 0 dB, no feedback)
# against sox copying the same file.
bench_pair "Identity (file path)" 'delay --set DelayOut=-800 --set DryOut=0 --set Feedback=0' \
  sox '' 1.6
# The sox echos taps stand in for a 400 ms recirculating echo, halving at each repeat; the
# 0.5 output gain keeps the summed taps below full scale.
bench_pair "Simple Delay (Echo chamber)" 'delay --preset "Echo chamber"' \
  sox 'echos 1 0.5 400 0.5 800 0.25 1200 0.125 1600 0.0625' 5.0
# Three modulated voices on each side, as the default chorus runs.
bench_pair "Chorus"              'chorus --preset 0' \
  sox 'chorus 0.7 0.9 40 0.4 0.8 1.2 -s 32 0.35 0.65 1.2 -s 45 0.3 0.9 1.2 -s' 3.0
bench_pair "Reverb"              'reverb --preset 0'   sox 'reverb'                      3.0
bench_pair "Multi-Tap Delay"     'multitap --preset 0' sox 'echos 0.8 0.7 100 0.5 250 0.35 400 0.25' 3.0
# The length-changing effects against the two programs users would otherwise pick: the
# sound made 25 % longer at the same pitch, and raised by four semitones at the same length.
bench_pair "Time Stretch 125 %"                 'stretch --set FinalLength=12500' \
  soundstretch '-tempo=-20' 3.0
bench_pair "Time Stretch 125 %"                 'stretch --set FinalLength=12500' \
  sox 'tempo 0.8' 2.0
bench_pair "Pitch Shift +4 (duration kept)"     'pitch --set Semitones=4 --set PreserveDuration=1' \
  soundstretch '-pitch=4' 2.5
bench_pair "Pitch Shift +4 (duration kept)"     'pitch --set Semitones=4 --set PreserveDuration=1' \
  sox 'pitch 400' 2.0

echo
printf '%-46s %10s %10s %10s %8s  %s\n' "effect" "mwfx (s)" "peer (s)" "peer/mwfx" "target" "result"
printf '%-46s %10s %10s %10s %8s  %s\n' "------" "--------" "--------" "---------" "------" "------"
for row in "${rows[@]}"; do echo "$row"; done
echo "(medians of $runs wall-clock runs of the whole process, including file reading and writing)"
echo
for v in "${verdicts[@]}"; do echo "$v"; done

# --- Per-format loops --------------------------------------------------------------------
if [[ $run_loops -eq 1 ]]; then
  echo
  if [[ ! -x "$bench_loops" ]]; then
    echo "bench_loops not found at '$bench_loops'; skipping the loop benchmark"
  else
    echo "per-format loops (bench_loops: every effect through its streaming frame, 4096-frame"
    echo "buffers at 48 kHz; load: the share of one core that one such stream takes in real time):"
    json="$tmp/bench_loops.json"
    "$bench_loops" --benchmark_min_time=0.2 --benchmark_format=json >"$json" 2>"$tmp/bench_loops.log" ||
      { cat "$tmp/bench_loops.log" >&2; die "bench_loops failed"; }
    if command -v python3 >/dev/null 2>&1; then
      python3 - "$json" <<'EOF'
import json
import sys

with open(sys.argv[1]) as f:
    data = json.load(f)
print(f"{'effect':<9} {'format':<8} {'channels':<8} {'Msamples/s':>11} {'x realtime':>11} {'load':>9}")
for b in data["benchmarks"]:
    effect, fmt, layout = b.get("label", b["name"]).split()
    # The load counter is processing seconds per second of sound at 48 kHz.
    load = b.get("load", 0.0)
    print(f"{effect:<9} {fmt:<8} {layout:<8} {b.get('items_per_second', 0.0) / 1e6:>11.1f} "
          f"{(1.0 / load if load > 0 else 0.0):>10.0f}x {100.0 * load:>8.3f}%")
stereo = [b for b in data["benchmarks"] if b.get("label", "").endswith("pcm16 stereo")]
if stereo:
    print()
    print("one stereo 16-bit 48 kHz stream, share of one core:")
    for b in stereo:
        print(f"  {b['label'].split()[0]:<9} {100.0 * b.get('load', 0.0):.3f}%")
EOF
    else
      cat "$json"
    fi
  fi
fi
