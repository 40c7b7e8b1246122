#!/usr/bin/env bash
# Installs Verovio (LGPL), a music notation engraver, from the npm registry
# into third_party/node, which git ignores. Only the tests use it: they open
# Tonemark's MusicXML exports with it, as a notation program would.
set -euo pipefail
cd "$(dirname "$0")/.."
version=6.3.0
dest=third_party/node
installed="$dest/node_modules/verovio/package.json"
if [ -f "$installed" ] && grep -q "\"version\": \"$version\"" "$installed"; then exit 0; fi

for tool in node npm; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing: run scripts/install-deps.sh" >&2
    exit 1
  fi
done
mkdir -p "$dest"
npm install --silent --no-audit --no-fund --no-save --prefix "$dest" "verovio@$version"
echo "Verovio $version installed in $dest"
