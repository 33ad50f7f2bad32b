#!/usr/bin/env bash
# Installs everything the build, the tests and the benchmarks need from Debian's archive.
# Idempotent: when every package is already present it does nothing and prints nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config python3
  googletest libbenchmark-dev libsndfile1-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 wine32:i386 xvfb xauth gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
  g++-aarch64-linux-gnu qemu-user
  sox soundstretch
  # Fuzz targets: clang with libFuzzer and the sanitizer run-times.
  clang-14 libclang-rt-14-dev
  # Window tests: the dialog fonts Wine's prefixes lack, X input from outside, and the
  # locales they run in.
  fonts-wine xdotool locales
  # The Windows installer.
  nsis
  # The LV2 bundle: its headers and schemas, and the hosts and validator its tests use.
  lv2-dev lilv-utils sordi serdi
)

# The locales the window tests run Wine in (the C library must know them).
test_locales=(en_US.UTF-8 de_DE.UTF-8)

missing_locales() {
  local l have
  have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
  for l in "${test_locales[@]}"; do
    l=$(echo "$l" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
    grep -qx "$l" <<<"$have" || return 0
  done
  return 1
}

generate_locales() {
  local l
  for l in "${test_locales[@]}"; do
    if ! grep -q "^$l UTF-8" /etc/locale.gen; then
      if grep -q "^# *$l UTF-8" /etc/locale.gen; then
        $SUDO sed -i "s/^# *$l UTF-8/$l UTF-8/" /etc/locale.gen
      else
        echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
      fi
    fi
  done
  $SUDO locale-gen >/dev/null
}

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  if missing_locales; then
    echo "bootstrap: generating the locales ${test_locales[*]}"
    generate_locales
  fi
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# 32-bit Windows programs run under Wine's 32-bit half, from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
if missing_locales; then generate_locales; fi
echo "bootstrap: done"
