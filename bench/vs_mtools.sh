#!/usr/bin/env bash
# korvane-cli against mtools on the same work, as whole processes: the CPU time
# each command takes (perf's task-clock, or user + system time from getrusage
# where perf cannot count), the two commands in turn, the median of 15 pairs.
#
#   bench/vs_mtools.sh [KORVANE_CLI] [PAIRS]
#
#   add      100 files of 100 B to 5 KB into a blank 1.44 MB image    vs mcopy
#   extract  all of them again into an empty folder                   vs mcopy
#   list     the root directory of that image                          vs mdir
#   add 32M  200 files of up to 20 KB into a blank 32 MB custom image  vs mcopy
#            (65,000 sectors, 16 sectors per cluster, 512 root entries)
#
# Both sides start from copies of the same blank image that korvane-cli made,
# and both results are checked to hold the same files. The ratio is Korvane's
# time over mtools' (below 1: Korvane is faster); the goals are at most 0.8 for
# the 1.44 MB operations and at most 1.5 for the 32 MB add. Build korvane-cli
# with the release preset first. The machine's load is printed before and
# after: other work on the machine moves the figures. The files live in a
# folder made by mktemp, so TMPDIR chooses the file system (creating files,
# most of what extracting costs, depends on it: TMPDIR=/dev/shm leaves it out).
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build/release/cli/korvane-cli}
pairs=${2:-15}
[ -x "$cli" ] || { echo "korvane-cli not found; cmake --preset release && cmake --build --preset release" >&2; exit 2; }
cli=$(realpath "$cli")
command -v mcopy >/dev/null || { echo "mtools is not installed (apt-get install mtools)" >&2; exit 2; }
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=1 LC_ALL=C.UTF-8

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Files of deterministic sizes and contents: COUNT files of MIN to MAX bytes.
make_files() {
  local folder=$1 count=$2 min=$3 max=$4
  mkdir -p "$folder"
  for i in $(seq 1 "$count"); do
    head -c $((min + (i * 7919) % (max - min + 1))) /dev/urandom >"$folder/$(printf 'F%04d.DAT' "$i")"
  done
}
make_files "$work/small" 100 100 5120
make_files "$work/big" 200 100 20480
"$cli" -q new "$work/blank144.dsk" --format F0
"$cli" -q new "$work/blank32.dsk" --format custom \
  --custom sectors=65000,sectors-per-cluster=16,root-entries=512,sectors-per-fat=12

# CPU milliseconds of one command (a shell command line, run without a shell).
if perf stat -x, -e task-clock true >/dev/null 2>&1; then
  cpu_ms() { eval "perf stat -x, -e task-clock -o '$work/perf' -- $1" >/dev/null 2>&1 </dev/null
             awk -F, '/task-clock/ { printf "%.3f\n", $1 }' "$work/perf"; }
  meter="task-clock (perf)"
else
  cpu_ms() { python3 -c 'import os,resource,subprocess,sys
subprocess.run(["bash","-c","exec "+sys.argv[1]],stdout=subprocess.DEVNULL,stderr=subprocess.DEVNULL,stdin=subprocess.DEVNULL)
r=resource.getrusage(resource.RUSAGE_CHILDREN); print("%.3f" % ((r.ru_utime+r.ru_stime)*1000))' "$1"; }
  meter="user + system time (getrusage)"
fi

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# run NAME PREPARE KORVANE MTOOLS: PREPARE (a shell command) runs before each of
# the two commands, outside the measurement.
run() {
  local name=$1 prepare=$2 k=$3 m=$4 kt mt
  : >"$work/k.times"; : >"$work/m.times"; : >"$work/ratios"
  bash -c "$prepare"; bash -c "$k" >/dev/null 2>&1; bash -c "$prepare"; bash -c "$m" >/dev/null 2>&1  # warm-up
  for _ in $(seq "$pairs"); do
    bash -c "$prepare"; kt=$(cpu_ms "$k")
    bash -c "$prepare"; mt=$(cpu_ms "$m")
    echo "$kt" >>"$work/k.times"; echo "$mt" >>"$work/m.times"
    awk -v a="$kt" -v b="$mt" 'BEGIN { printf "%.4f\n", a / b }' >>"$work/ratios"
  done
  printf '%-40s %9.2f ms %9.2f ms %8.2f\n' "$name" "$(median <"$work/k.times")" "$(median <"$work/m.times")" \
    "$(median <"$work/ratios")"
}

# Both sides do the same work: the images hold the same files, byte for byte.
check_same() {
  local image=$1 folder=$2 out=$work/check
  rm -rf "$out" && mkdir -p "$out/k" "$out/m"
  "$cli" -q extract "$image" --all -d "$out/k"
  mcopy -n -i "$image" '::*' "$out/m/"
  diff -r "$out/k" "$folder" >/dev/null && diff -r "$out/m" "$folder" >/dev/null ||
    { echo "$image does not hold the files of $folder" >&2; exit 1; }
}
cp "$work/blank144.dsk" "$work/k144.dsk" && "$cli" -q add "$work/k144.dsk" "$work"/small/*
cp "$work/blank144.dsk" "$work/m144.dsk" && mcopy -i "$work/m144.dsk" "$work"/small/* ::
cp "$work/blank32.dsk" "$work/k32.dsk" && "$cli" -q add "$work/k32.dsk" "$work"/big/*
cp "$work/blank32.dsk" "$work/m32.dsk" && mcopy -i "$work/m32.dsk" "$work"/big/* ::
for i in k144 m144; do check_same "$work/$i.dsk" "$work/small"; done
for i in k32 m32; do check_same "$work/$i.dsk" "$work/big"; done

load() { printf 'load average: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"; }
load
printf 'CPU time per command, %s, median of %s pairs\n' "$meter" "$pairs"
printf '%-40s %12s %12s %8s\n' "" "korvane-cli" "mtools" "ratio"
run "add 100 files (1.44 MB)" "cp '$work/blank144.dsk' '$work/t.dsk'" \
  "'$cli' -q add '$work/t.dsk' '$work'/small/*" "mcopy -i '$work/t.dsk' '$work'/small/* ::"
run "extract 100 files (1.44 MB)" "rm -rf '$work/o' && mkdir '$work/o'" \
  "'$cli' -q extract '$work/k144.dsk' --all -d '$work/o'" "mcopy -n -i '$work/m144.dsk' '::*' '$work/o/'"
run "list (1.44 MB)" ":" "'$cli' list '$work/k144.dsk'" "mdir -i '$work/m144.dsk' ::"
run "add 200 files (32 MB, 16 sectors/cluster)" "cp '$work/blank32.dsk' '$work/t.dsk'" \
  "'$cli' -q add '$work/t.dsk' '$work'/big/*" "mcopy -i '$work/t.dsk' '$work'/big/* ::"
load
