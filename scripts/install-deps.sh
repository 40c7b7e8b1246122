#!/usr/bin/env bash
# Installs the Debian packages Tonemark needs to build, test and run, when they
# are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  cmake g++ make pkg-config git
  qt6-base-dev qt6-svg-dev libgl-dev zlib1g-dev
  libfluidsynth-dev fluidsynth fluid-soundfont-gm
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth python3-xlib pulseaudio gdb
  python3-mido poppler-utils libxml2-utils
)

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

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
