#!/usr/bin/env bash
# Checks from outside, on the built korvane-cli and real files (no mocks), that
# nothing is lost and nothing escapes: links in the target folder, an image
# named *.der, and saves on a full file system (a small tmpfs, mounted when
# running as root where mounting works; skipped otherwise). One line per case:
# PASS, FAIL or SKIP with what was checked. Exit status 1 when any case failed.
#
#   tests/outside/files.sh [KORVANE_CLI]
set -uo pipefail
cli=$(realpath "${1:-build/dev/cli/korvane-cli}")
work=$(mktemp -d)
mnt=
cleanup() { [ -n "$mnt" ] && umount "$mnt" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cd "$work" || exit 1
failed=0
check() {  # check "what was checked" CONDITION...
  local what=$1; shift
  if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failed=1; fi
}
k() { "$cli" -q "$@" </dev/null >/dev/null 2>&1; }

# An image holding ONE.BIN.
printf 'data of one\n' >ONE.BIN
k new x.dsk && k add x.dsk ONE.BIN || { echo "FAIL: could not make the test image"; exit 1; }
mkdir -p DIR outside

ln -s ../outside/victim.txt DIR/ONE.BIN
k extract --overwrite x.dsk ONE.BIN -d DIR; status=$?
check "extract --overwrite refuses a dangling link in DIR (exit $status) and creates nothing outside DIR" \
  test "$status" = 1 -a ! -e outside/victim.txt -a -L DIR/ONE.BIN

printf 'precious\n' >outside/victim.txt
k --yes extract x.dsk ONE.BIN -d DIR; status=$?
check "--yes extract refuses a live link in DIR (exit $status) and leaves the file it points to alone" \
  test "$status" = 1 -a "$(cat outside/victim.txt)" = precious

k new disk.der && k errors disk.der --add 5; status=$?
check "new disk.der and errors --add 5 (exit $status): the image stays whole beside its side file disk.der.der" \
  bash -c "[ $status = 0 ] && [ \$(stat -c %s disk.der) = 737280 ] && [ \$(stat -c %s disk.der.der) = 200 ] && '$cli' -q check disk.der"
k errors disk.der --clear; status=$?
check "errors --clear (exit $status) removes disk.der.der and not the image" \
  bash -c "[ $status = 0 ] && [ ! -e disk.der.der ] && [ \$(stat -c %s disk.der) = 737280 ]"

# Saves on a full file system: a sparse image whose free clusters have no
# blocks yet, and a new image over an old one.
mnt=$work/full
mkdir -p "$mnt"
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=2m tmpfs "$mnt" 2>/dev/null; then
  k new --format F0 blank.dsk
  head -c $((33 * 512)) blank.dsk >"$mnt/img.dsk" && truncate -s 1474560 "$mnt/img.dsk"
  cp "$mnt/img.dsk" before.dsk
  head -c 300000 /dev/urandom >big.bin
  dd if=/dev/zero of="$mnt/fill" bs=4k 2>/dev/null
  k add "$mnt/img.dsk" big.bin; status=$?
  check "add to a sparse image on a full tmpfs fails (exit $status) and leaves the image byte for byte as it was" \
    bash -c "[ $status = 1 ] && cmp -s '$mnt/img.dsk' before.dsk"
  k new --force --format F9 "$mnt/img.dsk"; status=$?
  check "new --force over it on the full tmpfs fails (exit $status), keeps the old image and leaves no new file" \
    bash -c "[ $status = 1 ] && cmp -s '$mnt/img.dsk' before.dsk && [ \"\$(ls -A '$mnt' | tr '\n' ' ')\" = 'fill img.dsk ' ]"
  rm -f "$mnt/fill"
  k add "$mnt/img.dsk" big.bin; status=$?
  check "with space again the add is saved (exit $status) and the image checks clean" \
    bash -c "[ $status = 0 ] && $cli -q check '$mnt/img.dsk' >/dev/null"
else
  echo "SKIP: saves on a full tmpfs (mounting one needs root and a system that allows it)"
fi
exit $failed
