#!/usr/bin/env bash
# Starts Tonemark. Without a display it runs the window under Xvfb, saves a
# screenshot after start-up and says where it is.
set -euo pipefail
bin=${1:-build/tonemark}
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin"
fi
shot=${TONEMARK_SCREENSHOT:-$PWD/tonemark-screenshot.png}
if ! command -v xvfb-run >/dev/null; then
  echo "No display found, and Xvfb is not installed to run Tonemark without one:" >&2
  echo "install it with 'make test-deps' (or apt-get install xvfb xauth), or start Tonemark on a desktop." >&2
  exit 1
fi
echo "No display found: running Tonemark under Xvfb."
TONEMARK_SCREENSHOT="$shot" TONEMARK_QUIT_AFTER_SCREENSHOT=1 \
  xvfb-run -a -s "-screen 0 1024x768x24" "$bin"
echo "Screenshot of the window after start-up: $shot"
