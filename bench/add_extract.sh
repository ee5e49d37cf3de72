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
# The fixed cost of one command on the image: Korvane reads the whole image
# (and a change writes it whole), mtools reads the sectors it needs.
k_list="'$cli' list '$work/filled-k.dsk' >/dev/null"
m_list="mdir -i '$work/filled-m.dsk' :: >/dev/null"

# Both sides did the same work.
bash -c "$k_extract" && bash -c "$m_extract"
diff -r "$work/ko" "$work/in" >/dev/null && diff -r "$work/mo" "$work/in" >/dev/null ||
  { echo "extracted files differ from the originals" >&2; exit 1; }

# Mean wall times of two shell commands in milliseconds, "A B". Plain timing
# alternates the two round by round, so that a machine whose load changes
# while the benchmark runs weighs on both alike.
pair_ms() {
  if command -v hyperfine >/dev/null; then
    hyperfine --warmup 2 --runs "$rounds" --export-json "$work/h.json" "$1" "$2" >/dev/null
    python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"]; print(" ".join("%.2f" % (x["mean"] * 1000) for x in r))' "$work/h.json"
  else
    bash -c "$1"; bash -c "$2"  # warm-up
    local a=0 b=0 t0 t1 t2
    for _ in $(seq "$rounds"); do
      t0=$(date +%s%N); bash -c "$1"; t1=$(date +%s%N); bash -c "$2"; t2=$(date +%s%N)
      a=$((a + t1 - t0)); b=$((b + t2 - t1))
    done
    awk -v a="$a" -v b="$b" -v n="$rounds" 'BEGIN { printf "%.2f %.2f\n", a / n / 1e6, b / n / 1e6 }'
  fi
}

read -r ka ma < <(pair_ms "$k_add" "$m_add")
read -r ke me < <(pair_ms "$k_extract" "$m_extract")
read -r kl ml < <(pair_ms "$k_list" "$m_list")
printf '%-34s %10s %10s %8s\n' "100 files of 0.2-3.9 KB, 1.44 MB" "korvane" "mcopy" "ratio"
printf '%-34s %8s ms %8s ms %8s\n' "add in one call" "$ka" "$ma" "$(awk -v a="$ka" -v b="$ma" 'BEGIN{printf "%.2f", a/b}')"
printf '%-34s %8s ms %8s ms %8s\n' "extract all" "$ke" "$me" "$(awk -v a="$ke" -v b="$me" 'BEGIN{printf "%.2f", a/b}')"
printf '%-34s %8s ms %8s ms %8s\n' "list (open only)" "$kl" "$ml" "$(awk -v a="$kl" -v b="$ml" 'BEGIN{printf "%.2f", a/b}')"
awk -v ka="$ka" -v ma="$ma" -v ke="$ke" -v me="$me" -v kl="$kl" -v ml="$ml" 'BEGIN {
  printf "per file, beyond opening the image:  add %.3f / %.3f ms, extract %.3f / %.3f ms\n",
         (ka - kl) / 100, (ma - ml) / 100, (ke - kl) / 100, (me - ml) / 100 }'
