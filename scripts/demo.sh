#!/usr/bin/env bash
# The main job: builds mwfx and renders a demo sound through Simple Delay with each of its
# presets, through one preset of each other effect, and through a stretch and a
# transposition; then builds the Windows module and takes a picture of each effect's
# settings page as the system's property frame shows it under Wine on a virtual display.
# Everything lands in build/demo; the script prints what it did.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake --preset native >/dev/null
cmake --build --preset native >/dev/null

mwfx=build/native/bin/mwfx
out=build/demo
mkdir -p "$out"

# A short phrase: a plucked arpeggio followed by silence, so the echoes can be heard.
sox -q -n -r 44100 -c 2 -b 16 "$out/source.wav" \
  synth 0.25 pluck C4 synth 0.25 pluck E4 : synth 0.25 pluck G4 : synth 0.5 pluck C5 \
  pad 0 1 gain -3
echo "source: $out/source.wav ($(soxi -D "$out/source.wav") s, 16-bit stereo 44100 Hz)"

count=$("$mwfx" presets delay | wc -l)
for ((i = 0; i < count; i++)); do
  name=$("$mwfx" presets delay | sed -n "$((i + 1))p" | sed -E 's/^ *[0-9]+  //')
  slug=$(echo "$name" | tr 'A-Z' 'a-z' | sed -E 's/\(select one channel only\)//; s/[^a-z0-9]+/-/g; s/^-|-$//g')
  file="$out/delay-$i-${slug:-default}.wav"
  "$mwfx" process delay "$out/source.wav" "$file" --preset "$i"
  printf 'preset %d %-55s -> %s (%s s)\n' "$i" "\"$name\"" "$file" "$(soxi -D "$file")"
done

file="$out/delay-custom-feedback.wav"
"$mwfx" process delay "$out/source.wav" "$file" \
  --set Feedback=1 --set DelayTime=250 --set DecayTime=30 --set DelayOut=-40 --set DryOut=0 \
  --save-record "$out/delay-custom-feedback.rec"
echo "custom (Feedback on, 250 ms, 3 s decay)                       -> $file ($(soxi -D "$file") s)," \
     "settings record $out/delay-custom-feedback.rec ($(stat -c %s "$out/delay-custom-feedback.rec") bytes)"

# One named preset of each of the other in-place effects.
for effect in chorus reverb multitap; do
  name=$("$mwfx" presets "$effect" | sed -n '3p' | sed -E 's/^ *[0-9]+  //')
  file="$out/$effect-2.wav"
  "$mwfx" process "$effect" "$out/source.wav" "$file" --preset 2
  printf '%-8s preset 2 %-47s -> %s (%s s)\n' "$effect" "\"$name\"" "$file" "$(soxi -D "$file")"
done

# The length-changing effects: a named preset of each, then a longer stretch and a
# transposition that keeps the duration.
for effect in stretch pitch; do
  name=$("$mwfx" presets "$effect" | sed -n '3p' | sed -E 's/^ *[0-9]+  //')
  file="$out/$effect-2.wav"
  "$mwfx" process "$effect" "$out/source.wav" "$file" --preset 2
  printf '%-8s preset 2 %-47s -> %s (%s s)\n' "$effect" "\"$name\"" "$file" "$(soxi -D "$file")"
done
file="$out/stretch-150.wav"
"$mwfx" process stretch "$out/source.wav" "$file" --set FinalLength=15000 --set Mode=9
printf '%-8s 150 %% (mode "Solo instruments 1")%22s -> %s (%s s)\n' stretch "" "$file" \
  "$(soxi -D "$file")"
file="$out/pitch-up4-same-length.wav"
"$mwfx" process pitch "$out/source.wav" "$file" --set Semitones=4 --set PreserveDuration=1
printf '%-8s +4 semitones, duration kept%31s -> %s (%s s)\n' pitch "" "$file" \
  "$(soxi -D "$file")"

# The settings pages: the Windows module and mwfx.exe, each page opened in its default state
# through the system's property frame on a virtual display, pictured, and closed.
cmake --preset windows >/dev/null
cmake --build --preset windows --target mwfx >/dev/null
wine_run=build/windows/wine-run.sh
display_state=build/demo/.display
tests/win/ui_display.sh start "$display_state" "$wine_run" >/dev/null
trap 'tests/win/ui_display.sh stop "$display_state"' EXIT
for effect in $("$mwfx" list | awk '{print $1}'); do
  file="$out/page-$effect.png"
  if tests/win/ui_display.sh run "$display_state" "$wine_run" build/windows/bin/mwfx.exe \
       settings "$effect" --picture "$file" 2>"$out/page-$effect.log"; then
    printf '%-8s settings page %44s -> %s\n' "$effect" "" "$file"
  else
    printf '%-8s settings page: no picture (%s)\n' "$effect" "$(grep -v '^wine' "$out/page-$effect.log" | tail -1)"
  fi
done
