#!/usr/bin/env bash
# Fetches the Bravura music font (SIL Open Font License) from the npm registry
# into third_party/bravura, which git ignores. The build embeds it as a resource.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=third_party/bravura
[ -f "$dest/bravura.otf" ] && exit 0

if ! command -v npm >/dev/null; then
  echo "npm is missing: run scripts/install-deps.sh" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent @vexflow-fonts/bravura >/dev/null)
tar -xzf "$work"/vexflow-fonts-bravura-*.tgz -C "$work"
mkdir -p "$dest"
cp "$work/package/bravura.otf" "$work/package/metadata.json" "$work/package/LICENSE.txt" "$dest/"
echo "Bravura installed in $dest"
