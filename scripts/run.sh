#!/usr/bin/env bash
# Builds Korvane, makes a sample image, and starts the desktop program on it
# when there is a display; without one, shows the sample through korvane-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target korvane korvane-cli
cli=build/release/cli/korvane-cli
sample=build/release/sample.dsk
"$cli" -q new "$sample" --format F9 --force
"$cli" -q add "$sample" README.md docs scripts/run.sh
"$cli" label "$sample" SAMPLE

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting korvane on $sample"
  exec build/release/app/korvane "$sample"
fi

echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the desktop program"
echo "build/release/app/korvane is not started. The sample image through korvane-cli:"
echo
"$cli" info "$sample"
echo
"$cli" list "$sample"
