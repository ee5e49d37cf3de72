#!/usr/bin/env bash
# Installs the Debian packages Korvane needs to build and test, when missing;
# with --fuzz also those that fuzz/run.sh needs, with --package those of
# scripts/package.sh.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  libz80ex-dev pasmo
  mtools dosfstools
  qt6-base-dev qt6-svg-dev
)
# fuzz/run.sh: clang with libFuzzer and the sanitizers' runtimes.
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-dev)
fi
# scripts/package.sh: the Debian packaging tools and the checkers it runs.
if [ "${1:-}" = "--package" ]; then
  packages+=(dpkg-dev debhelper fakeroot lintian desktop-file-utils appstream)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
