#!/usr/bin/env bash
# korvane-cli checked from outside, as a user (or an attacker) runs it: an
# image whose path is not UTF-8 and holds escape sequences, whose OEM name
# holds high and control bytes. Every command ends with its own exit status
# (no abort), its JSON parses as strict UTF-8 with every control character
# escaped, and its text (stdout and stderr) holds no control character but the
# line break. Prints a PASS or FAIL line per check; exits 1 when any failed.
#
#   tests/outside/utf8.sh [KORVANE_CLI]    (default: build/dev/cli/korvane-cli)
set -uf  # no globbing: the path holds "["
root=$(cd "$(dirname "$0")/../.." && pwd)
cli=${1:-$root/build/dev/cli/korvane-cli}
command -v python3 >/dev/null || { echo "SKIP: python3 is needed to check JSON and UTF-8"; exit 0; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
image="$work/$(printf 'disk\xff\x1b[31m\xc2\x9b\x7f.dsk')"
failures=0

report() {  # report NAME STATUS
  if [ "$2" -eq 0 ]; then echo "PASS: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

# Strict UTF-8 and no control byte but the line break; with --json also a JSON
# document without raw DEL or C1 characters.
clean() {
  python3 -c '
import json, sys
data = sys.stdin.buffer.read()
text = data.decode("utf-8")  # strict: raises on any byte that is not UTF-8
bad = [c for c in text if (ord(c) < 0x20 and c != "\n") or 0x7F <= ord(c) <= 0x9F]
if bad: sys.exit("control characters: %r" % bad)
if sys.argv[1:] == ["--json"]: json.loads(text)
' "$@" 2>/dev/null
}

"$cli" -q new "$image" >/dev/null 2>&1
report "new makes an image under a path that is not UTF-8" $?
printf '\x1b[2J\x9b\xff\x07!' | dd of="$image" bs=1 seek=3 conv=notrunc status=none
report "its OEM name holds an escape sequence, high and control bytes" $?
"$cli" label "$image" "$(printf 'A\x1bB\xff')" >/dev/null 2>&1
report "a label typed with an escape character and a byte that is not UTF-8 is taken" $?

for command in info list check label; do
  if [ $command != label ]; then
    "$cli" $command --json "$image" >"$work/out" 2>"$work/err"
    status=$?
    report "$command --json exits 0 (status $status)" $status
    clean --json <"$work/out"
    report "$command --json prints JSON in UTF-8 with every control character escaped" $?
    clean <"$work/err"
    report "$command --json says nothing raw on stderr" $?
  fi
  "$cli" $command "$image" >"$work/out" 2>&1
  status=$?
  report "$command exits 0 (status $status)" $status
  clean <"$work/out"
  report "$command prints text without control characters" $?
done

"$cli" info --json "$image" >"$work/info.json" 2>/dev/null
python3 -c '
import json, os, sys
info = json.load(open(sys.argv[1], encoding="utf-8"))
path = os.fsencode(sys.argv[2]).replace(b"\xff", "\ufffd".encode()).decode("utf-8")
sys.exit(0 if info["path"] == path and info["oemName"] == "\u2190[2J\u00a2\u00a0\u2022!" else 1)
'  "$work/info.json" "$image" 2>/dev/null
report "info --json gives the path with U+FFFD for the byte that is not UTF-8, the OEM name in code page 437" $?

for args in "info $image.missing" "list $(printf '\x1b]0;title\x07')" "new x --format $(printf '\x1b[2J')"; do
  # Split into words unquoted: no argument holds a blank (mktemp's folder neither).
  "$cli" $args >"$work/out" 2>&1
  status=$?
  [ $status -ge 1 ] && [ $status -le 2 ]
  report "a failing command exits 1 or 2, not with a signal (status $status)" $?
  clean <"$work/out"
  report "its message holds no control character" $?
done

[ "$failures" -eq 0 ] && echo "all passed" || echo "$failures failed"
[ "$failures" -eq 0 ]
