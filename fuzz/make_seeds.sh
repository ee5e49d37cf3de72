#!/usr/bin/env bash
# Writes seed inputs for the fuzz targets: images made by korvane-cli, mkfs.fat
# and mtools, small enough to fuzz (at most 64 KiB), and crafted damage.
#   fuzz/make_seeds.sh KORVANE_CLI OUTDIR
set -euo pipefail
cli=${1:?usage: make_seeds.sh KORVANE_CLI OUTDIR}
out=${2:?usage: make_seeds.sh KORVANE_CLI OUTDIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"/{open_and_read,modify,custom_format,floppy_read}
oar=$out/open_and_read

# poke FILE OFFSET HEX... writes bytes in place.
poke() {
  local file=$1 offset=$2; shift 2
  local bytes=""; for b in "$@"; do bytes+="\\x$b"; done
  printf "$bytes" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}
cut_to() { head -c "$2" "$1" >"$1.cut" && mv "$1.cut" "$1"; }

# Host files of a few sizes.
printf 'hello\n' >"$work/HELLO.TXT"
head -c 1500 /dev/urandom >"$work/TWO.BIN"
head -c 2000 /dev/urandom >"$work/BIG.DAT"
: >"$work/EMPTY"
mkdir -p "$work/FOLDER"

# Small custom geometries, with files, a folder and a label.
small="media=F8,sectors-per-cluster=1,fats=2,root-entries=16,sectors=16,sectors-per-fat=1,sectors-per-track=8,heads=1"
"$cli" -q new --force "$oar/small.dsk" --format custom --custom "$small"
cp "$oar/small.dsk" "$oar/small-files.dsk"
"$cli" -q add "$oar/small-files.dsk" "$work/HELLO.TXT" "$work/TWO.BIN" "$work/BIG.DAT" "$work/EMPTY" "$work/FOLDER"
"$cli" -q label "$oar/small-files.dsk" "SEED DISK"
"$cli" -q new --force "$oar/one-fat.dsk" --format custom \
  --custom "media=F0,sectors-per-cluster=2,fats=1,root-entries=32,sectors=40,sectors-per-fat=1,sectors-per-track=0,heads=0"
"$cli" -q add "$oar/one-fat.dsk" "$work/HELLO.TXT" "$work/BIG.DAT"

# Every standard format, cut to its first 48 sectors (boot sector, FATs,
# directory and the first clusters), with files in them.
for code in F0 F8 F9 FA FB FC FD FE FF; do
  f=$oar/std-$code.dsk
  "$cli" -q new --force "$f" --format "$code"
  "$cli" -q add "$f" "$work/HELLO.TXT" "$work/TWO.BIN" "$work/BIG.DAT"
  cut_to "$f" $((48 * 512))
done

# mkfs.fat and mtools: a 64 KiB volume with a subdirectory.
if command -v mkfs.fat >/dev/null && command -v mcopy >/dev/null; then
  f=$oar/mkfs.dsk
  rm -f "$f"
  mkfs.fat -C -F 12 -n MKFSLABEL "$f" 64 >/dev/null
  mcopy -i "$f" "$work/HELLO.TXT" "$work/TWO.BIN" ::/
  mmd -i "$f" ::/SUB
  mcopy -i "$f" "$work/BIG.DAT" ::/SUB/
fi

# Crafted damage on the small image with files (root at sector 3, data at 4;
# HELLO.TXT in slot 1 with cluster 2, TWO.BIN clusters 3-5, BIG.DAT 6-9).
base=$oar/small-files.dsk
mk() { cp "$base" "$oar/$1.dsk"; echo "$oar/$1.dsk"; }
f=$(mk loop);          poke "$f" $((512 + 4)) 03 30          # cluster 3 -> 3 (TWO.BIN loops)
f=$(mk cross-link);    poke "$f" $((3 * 512 + 2 * 32 + 26)) 02 00   # TWO.BIN starts at HELLO's cluster
f=$(mk out-of-range);  poke "$f" $((512 + 3)) F0 FF           # cluster 2 -> 0xFF0
f=$(mk names);         poke "$f" $((3 * 512 + 32)) 2E 2E 2F 45 54 43 2F 50 20 20 20   # "../ETC/P"
                       poke "$f" $((3 * 512 + 64)) 2E 20 20 20 20 20 20 20 20 20 20    # "."
f=$(mk huge-root);     poke "$f" 17 FF FF                     # 65535 root entries
f=$(mk zero-spc);      poke "$f" 13 00                        # 0 sectors per cluster
f=$(mk zero-spc-bad-media); poke "$f" 13 00; poke "$f" 21 12; poke "$f" 512 12
f=$(mk bad-sector-size); poke "$f" 11 00 04
f=$(mk fat-copies);    poke "$f" $((1024 + 10)) 55            # FAT copy 2 differs
f=$(mk junk-after-end); poke "$f" $((3 * 512 + 7 * 32)) 00; poke "$f" $((3 * 512 + 8 * 32)) 4A 55 4E 4B 20 20 20 20 20 20 20 00
f=$(mk sigma-name);    poke "$f" $((3 * 512 + 32)) 05         # a name beginning with 0x05
f=$(mk truncated);     cut_to "$f" 600
f=$(mk truncated-data); cut_to "$f" $((8 * 512 + 100))
f=$(mk big-size);      poke "$f" $((3 * 512 + 32 + 28)) FF FF FF FF
f=$(mk many-fats);     poke "$f" 16 FF
# A comment header in front of the volume.
{ printf '\xAAY'; head -c 38 /dev/zero; printf 'A comment header\0'; cat "$base"; } >"$oar/comment.dsk"
{ printf '\xAAZ\0\0\0\0\x01\0'; head -c 600 /dev/zero; } >"$oar/comment-compressed.dsk"

# modify: a script in front of an image (byte 0 is its length). Scripts are
# ops of fuzz/harness.cpp: 0 add file, 1 add folder, 2 delete, 3 rename,
# 4 attributes, 5 label, 6 save.
script() { local name=$1 image=$2 hex=$3; local n=$(( ${#hex} / 2 ));
  { printf "\\x$(printf %02x "$n")"; printf "$(echo "$hex" | sed 's/../\\x&/g')"; cat "$image"; } >"$out/modify/$name"; }
script add-rename-save "$oar/small.dsk" "0003414243f00a0300036e6577060000"
script add-all-delete-save "$oar/small-files.dsk" "00054249474742ff7f0100034449520200ff0600"
script rename-sigma "$oar/small-files.dsk" "030002cf83"
script label-attrib "$oar/small-files.dsk" "05054c4142454c040027050006"
script junk-label "$oar/junk-after-end.dsk" "0505414243444506"
script fill-disk "$oar/one-fat.dsk" "0003584141ff1f0003584242ff1f0003584343ff1f06"
script comment-add "$oar/comment.dsk" "00024142100006"
script truncated-add "$oar/truncated-data.dsk" "0002414210100006"

# 17 root entries: slot 16 is the first bytes of cluster 2, and it is the end slot.
f=$work/odd-root.dsk; cp "$oar/small.dsk" "$f"; poke "$f" 17 11 00
for i in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do poke "$f" $((3 * 512 + 0x$i * 32)) 46 30 $(printf '%02x' "'$i") 20 20 20 20 20 20 20 20 10; done
dd if=/dev/zero of="$f" bs=1 seek=2048 count=32 conv=notrunc status=none
script odd-root "$f" "000241421000"
# A file of the label's name replaces the label.
script replace-label "$oar/small-files.dsk" "000953454544204449534b100000"

# custom_format: the nine field texts, one per line.
cf=$out/custom_format
printf 'F8\n1\n1\n2\n16\n64\n1\n8\n1' >"$cf/small"
printf 'F8\n4\n1\n2\n224\n16384\n11\n40\n4' >"$cf/initial-refused"
printf 'F8\n8\n1\n2\n224\n16384\n6\n40\n4' >"$cf/eight-mb"
printf 'F0\n1\n1\n2\n16\n4117\n12\n18\n2' >"$cf/most-clusters"
printf 'FF\n128\n1\n1\n65520\n65535\n1\n0\n0' >"$cf/largest"
printf '0xf9\n-1\n 1\n+2\n32\n720\n2\n9\n2' >"$cf/signs-and-hex"
printf 'F8\n2\n1\n2\n17\n720\n2\n9\n2' >"$cf/odd-root"

# floppy_read: format choice, failing sectors, Cancel, answers, disk.
fr=$out/floppy_read
fl() { local name=$1 head=$2 disk=$3; { printf "$(echo "$head" | sed 's/../\\x&/g')"; cat "$disk"; } >"$fr/$name"; }
fl boot-sector "000000000000" "$oar/small-files.dsk"
fl retry-ignore "00020500020900ff00000403000001" "$oar/small-files.dsk"
fl cancel "0000050000" "$oar/small-files.dsk"
fl abort "000105000100000103" "$oar/small-files.dsk"
fl short-disk "0800000003050101" "$oar/small-files.dsk"
fl no-file-system "000000000000" "$oar/truncated.dsk"
fl drive-not-ready "f0000000" "$oar/small.dsk"
echo "seeds in $out"
