#!/usr/bin/env bash
# Builds the libFuzzer programs with clang and runs one of them.
#
#   fuzz/run.sh TARGET [SECONDS]   fuzz TARGET (default 600 s), one job
#   fuzz/run.sh --merge TARGET [FILE...]
#                                  keep the FILEs (chosen seeds, findings) in
#                                  fuzz/corpus/TARGET and fill it up to
#                                  KORVANE_CORPUS_KIB (128) with the smallest inputs
#                                  of the kept and the run's corpus, minimized
#   fuzz/run.sh --seeds            write the seed images into build/fuzz/seeds
#
# TARGET is open_and_read, modify, custom_format, floppy_read or cli_output. The growing
# corpus stays in build/fuzz/corpus/TARGET; the kept one (fuzz/corpus/TARGET)
# is read as seeds. Crashes and violated invariants land in
# build/fuzz/artifacts/TARGET/; replay one with the program and the file:
#   build/fuzz/fuzz/fuzz_TARGET build/fuzz/artifacts/TARGET/crash-...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORVANE_FUZZ_BUILD:-$root/build/fuzz}
targets="open_and_read modify custom_format floppy_read cli_output"

usage() { echo "usage: fuzz/run.sh TARGET [SECONDS] | --merge TARGET | --seeds   (TARGET: $targets)" >&2; exit 2; }
check_target() { case " $targets " in *" $1 "*) ;; *) usage ;; esac; }

configure() {
  "$root/scripts/install-deps.sh" --fuzz
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVANE_FUZZ=ON -DKORVANE_BUILD_TESTS=OFF >/dev/null
}

# Images up to 64 KiB: small custom geometries and the first sectors of the
# standard formats, so every mutation reaches boot sector, FAT and directory.
max_len() { case $1 in custom_format) echo 256 ;; cli_output) echo 65792 ;; *) echo 65536 ;; esac; }

case ${1:-} in
  --seeds)
    configure
    cmake --build "$build" --target korvane-cli -j2
    exec "$root/fuzz/make_seeds.sh" "$build/cli/korvane-cli" "$build/seeds"
    ;;
  --merge)
    target=${2:-}; check_target "$target"
    configure
    cmake --build "$build" --target "fuzz_$target" -j2
    kept=$root/fuzz/corpus/$target
    mkdir -p "$kept" "$build/corpus/$target"
    fresh=$(mktemp -d)
    "$build/fuzz/fuzz_$target" -merge=1 -max_len="$(max_len "$target")" "$fresh" "$kept" "$build/corpus/$target"
    rm -rf "$kept" && mkdir -p "$kept"
    budget=$(( ${KORVANE_CORPUS_KIB:-128} * 1024 ))
    total=0
    for file in "${@:3}"; do
      cp "$file" "$kept/" && total=$((total + $(wc -c <"$file")))
    done
    while read -r bytes file; do
      total=$((total + bytes)); [ "$total" -gt "$budget" ] && break
      cp "$fresh/$file" "$kept/"
    done < <(cd "$fresh" && find . -type f -printf '%s %f\n' | sort -n)
    rm -rf "$fresh"
    echo "kept $(ls "$kept" | wc -l) inputs, $(( $(cat "$kept"/* | wc -c) / 1024 )) KiB in fuzz/corpus/$target"
    ;;
  ""|-*) usage ;;
  *)
    target=$1; check_target "$target"
    seconds=${2:-600}
    configure
    cmake --build "$build" --target "fuzz_$target" -j2
    mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
    seeds=()
    [ -d "$root/fuzz/corpus/$target" ] && seeds+=("$root/fuzz/corpus/$target")
    [ -d "$build/seeds/$target" ] && seeds+=("$build/seeds/$target")
    exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 \
      -rss_limit_mb=4096 -max_len="$(max_len "$target")" -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target/" "$build/corpus/$target" "${seeds[@]}"
    ;;
esac
