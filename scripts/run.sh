#!/usr/bin/env bash
# Builds Korvane and starts it on a sample image that the build makes.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target korvane-cli
cli=build/release/cli/korvane-cli
sample=build/release/sample.dsk
"$cli" -q new "$sample" --format F9 --force
"$cli" -q add "$sample" README.md docs scripts/run.sh
"$cli" label "$sample" SAMPLE
"$cli" info "$sample"
echo
"$cli" list "$sample"
