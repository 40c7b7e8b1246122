#!/usr/bin/env bash
# Fetches the Bravura music font (SIL Open Font License) from the npm registry
# into third_party/bravura, which git ignores. The build embeds it as a resource.
#
# The release is pinned, and every file is checked against the SHA-256 it has
# in that release (scripts/bravura.sha256), both when it is fetched and, by
# the build, before it is embedded. A font already in place that does not
# match is fetched again.
set -euo pipefail
cd "$(dirname "$0")/.."
package=@vexflow-fonts/bravura
version=1.0.2
sums=scripts/bravura.sha256
dest=third_party/bravura

# Prints every file of the sums list under folder $1 whose SHA-256 differs,
# with both sums; returns non-zero when there is one.
check() {
  local folder=$1 bad=0 expected name actual
  while read -r expected name; do
    if [ ! -f "$folder/$name" ]; then
      echo "  $folder/$name is missing" >&2; bad=1; continue
    fi
    actual=$(sha256sum "$folder/$name" | cut -d' ' -f1)
    if [ "$actual" != "$expected" ]; then
      echo "  $folder/$name has SHA-256 $actual, expected $expected" >&2; bad=1
    fi
  done <"$sums"
  return $bad
}

if [ -d "$dest" ]; then
  check "$dest" 2>/dev/null && exit 0
  echo "The Bravura font in $dest is not the pinned $package $version:" >&2
  check "$dest" || true
  echo "Fetching it again." >&2
fi

if ! command -v npm >/dev/null; then
  echo "npm is missing: run scripts/install-deps.sh" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "$package@$version" >/dev/null)
tar -xzf "$work"/vexflow-fonts-bravura-"$version".tgz -C "$work"
if ! check "$work/package"; then
  echo "The downloaded $package $version does not match its pinned SHA-256 sums ($sums): nothing was installed." >&2
  exit 1
fi
mkdir -p "$dest"
while read -r _ name; do cp "$work/package/$name" "$dest/"; done <"$sums"
echo "Bravura $version installed in $dest"
