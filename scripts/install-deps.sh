#!/usr/bin/env bash
# Installs the Debian packages Tonemark needs, when they are missing. Uses
# sudo when not run as root.
#
#   scripts/install-deps.sh run    what building and running the program needs
#   scripts/install-deps.sh test   that, and the tools the tests, the fuzzer,
#                                  the sanitizer build and the benchmarks use
set -euo pipefail

set_name=${1:-run}

# Building and running: the compiler, CMake, Qt, FluidSynth and its General
# MIDI SoundFont, SQLite for the practice history, and the headers of the
# sound servers the program talks to.
run_packages=(
  cmake g++ make pkg-config git
  qt6-base-dev qt6-svg-dev libgl-dev libfontconfig-dev zlib1g-dev libsqlite3-dev
  libfluidsynth-dev fluidsynth fluid-soundfont-gm
  libpulse-dev libasound2-dev libjack-jackd2-dev
)

# Testing: GoogleTest, Google Benchmark, clang for the fuzzer and the
# sanitizers, a virtual X display and X input, sound servers to capture from,
# MIDI and file checkers, Node for the notation reader.
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev gdb
  xvfb xauth python3-xlib
  pulseaudio pulseaudio-utils
  jackd2 python3-jack-client
  python3-mido poppler-utils libxml2-utils sox desktop-file-utils
  nodejs
)

case "$set_name" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# npm fetches the music font. Some machines have Node.js from elsewhere with
# its own npm, which Debian's npm package would conflict with.
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing ($set_name): ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -q
# jackd2 asks whether to run with real-time priority; the default is kept.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
