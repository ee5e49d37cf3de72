#!/usr/bin/env bash
# Builds the Debian package of Korvane from this tree with the distribution's
# own tooling (dpkg-buildpackage over debian/), checks it with lintian, and
# leaves korvane_<version>_<arch>.deb in build/package/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --package

work=build/package
rm -rf "$work"
mkdir -p "$work/korvane"
# The tracked files as they are in the working tree; no build output.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$work/korvane"
else
  tar --exclude=./build -cf - . | tar -xf - -C "$work/korvane"
fi
(cd "$work/korvane" && dpkg-buildpackage -us -uc -b -j"$(nproc)")
deb=$(ls "$work"/korvane_*.deb)
echo
echo "== lintian $deb"
lintian --fail-on error "$deb"
echo
echo "Built $deb"
