#!/usr/bin/env bash
# Times korvane-cli adding 100 small files to a 1.44 MB image in one call and
# extracting them all again, against mcopy doing the same work on the same
# blank image, and prints the ratios (Korvane / mcopy: below 1 is faster).
#
#   bench/add_extract.sh [KORVANE_CLI] [ROUNDS]
#
# Uses hyperfine when it is installed (apt-get install hyperfine; it is only
# needed here, not for building or testing), plain repeated timing otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-}
rounds=${2:-20}
if [ -z "$cli" ]; then
  for c in build/release/cli/korvane-cli build/cli/korvane-cli build/dev/cli/korvane-cli; do
    [ -x "$c" ] && { cli=$c; break; }
  done
fi
[ -x "$cli" ] || { echo "korvane-cli not found; build it first (cmake --preset release && cmake --build --preset release)" >&2; exit 2; }
cli=$(realpath "$cli")
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
for i in $(seq -w 1 100); do
  head -c $((200 + 10#$i * 37)) /dev/urandom > "$work/in/FILE$i.DAT"
done
"$cli" -q new "$work/blank.dsk" --format F0 --force
cp "$work/blank.dsk" "$work/filled-k.dsk"
"$cli" -q add "$work/filled-k.dsk" "$work"/in/*
cp "$work/blank.dsk" "$work/filled-m.dsk"
mcopy -i "$work/filled-m.dsk" "$work"/in/* ::

# The four jobs, each starting from the same state every round.
k_add="cp '$work/blank.dsk' '$work/k.dsk' && '$cli' -q add '$work/k.dsk' '$work'/in/*"
m_add="cp '$work/blank.dsk' '$work/m.dsk' && mcopy -i '$work/m.dsk' '$work'/in/* ::"
k_extract="rm -rf '$work/ko' && mkdir '$work/ko' && '$cli' -q extract '$work/filled-k.dsk' --all -d '$work/ko'"
m_extract="rm -rf '$work/mo' && mkdir '$work/mo' && mcopy -n -i '$work/filled-m.dsk' '::*' '$work/mo/'"

# Both sides did the same work.
bash -c "$k_extract" && bash -c "$m_extract"
diff -r "$work/ko" "$work/in" >/dev/null && diff -r "$work/mo" "$work/in" >/dev/null ||
  { echo "extracted files differ from the originals" >&2; exit 1; }

mean_ms() {  # mean wall time of a shell command over the rounds, in milliseconds
  if command -v hyperfine >/dev/null; then
    hyperfine -N --warmup 2 --runs "$rounds" --export-json "$work/h.json" "bash -c \"$1\"" >/dev/null 2>&1 ||
      hyperfine --warmup 2 --runs "$rounds" --export-json "$work/h.json" "$1" >/dev/null
    python3 -c 'import json,sys; print("%.2f" % (json.load(open(sys.argv[1]))["results"][0]["mean"] * 1000))' "$work/h.json"
  else
    bash -c "$1"  # warm-up
    local start end
    start=$(date +%s%N)
    for _ in $(seq "$rounds"); do bash -c "$1"; done
    end=$(date +%s%N)
    awk -v t=$((end - start)) -v n="$rounds" 'BEGIN { printf "%.2f\n", t / n / 1e6 }'
  fi
}

ka=$(mean_ms "$k_add"); ma=$(mean_ms "$m_add")
ke=$(mean_ms "$k_extract"); me=$(mean_ms "$m_extract")
printf '%-34s %10s %10s %8s\n' "100 files of 0.2-3.9 KB, 1.44 MB" "korvane" "mcopy" "ratio"
printf '%-34s %8s ms %8s ms %8s\n' "add in one call" "$ka" "$ma" "$(awk -v a="$ka" -v b="$ma" 'BEGIN{printf "%.2f", a/b}')"
printf '%-34s %8s ms %8s ms %8s\n' "extract all" "$ke" "$me" "$(awk -v a="$ke" -v b="$me" 'BEGIN{printf "%.2f", a/b}')"
