#!/usr/bin/env bash
# Installs the package that scripts/package.sh built into a clean Debian 12 root
# made by debootstrap, and checks it there as a new user would meet it: the
# files landed, .dsk files belong to Korvane, both man pages, the file-type
# registration, the help viewer finding KORVANE.HLP beside the program, and
# that removing the package leaves nothing behind. Needs root and the network.
# Usage: scripts/check-package.sh [ROOT]   (ROOT defaults to build/package/root)
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(ls build/package/korvane_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "check-package.sh needs root (debootstrap, chroot)" >&2; exit 2; }
root=${1:-build/package/root}
command -v debootstrap >/dev/null || { apt-get update -qq; apt-get install -y -qq debootstrap; }
if [ ! -x "$root/usr/bin/apt-get" ]; then
  debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >/dev/null
fi
cp /etc/resolv.conf "$root/etc/"
mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
trap 'umount "$root/proc" 2>/dev/null || true' EXIT
cp "$deb" "$root/tmp/korvane.deb"

cat >"$root/tmp/check.sh" <<'CHECK'
#!/bin/bash
set -u
export DEBIAN_FRONTEND=noninteractive HOME=/root LANG=C.UTF-8
fails=0
check() { if eval "$2" >/dev/null 2>&1; then echo "PASS: $1"; else echo "FAIL: $1"; fails=1; fi; }
apt-get update -qq
apt-get install -y -qq /tmp/korvane.deb man-db xdg-utils xvfb xauth xdotool x11-utils >/dev/null 2>&1
check "the package installs with its dependencies" "dpkg -s korvane"
dpkg -L korvane >/tmp/files.txt
check "every listed file landed" '! (while read -r f; do [ -e "$f" ] || echo "$f"; done </tmp/files.txt | grep -q .)'
check "bin/korvane is a link to the program folder" '[ "$(readlink -f /usr/bin/korvane)" = /usr/lib/korvane/korvane ]'
check "KORVANE.HLP and KORVANE.INI are beside the program" '[ -f /usr/lib/korvane/KORVANE.HLP ] && [ -f /usr/lib/korvane/KORVANE.INI ]'
korvane-cli -q new /tmp/check.dsk --force
check ".dsk files are disk images" '[ "$(xdg-mime query filetype /tmp/check.dsk)" = application/x-diskimage ]'
check "disk images open in Korvane" '[ "$(xdg-mime query default application/x-diskimage)" = org.korvane.Korvane.desktop ]'
check "man korvane" 'man -P cat korvane | grep -q "desktop manager for FAT12"'
check "man korvane-cli" 'man -P cat korvane-cli | grep -q "floppy-disk images from the command line"'
check "register finds the system-wide registration and succeeds" 'korvane-cli register 2>&1 | grep -q "registered for all users" && [ ! -e /root/.local/share/applications/korvane.desktop ]'
Xvfb :77 -screen 0 1024x768x24 >/dev/null 2>&1 & xvfb=$!
sleep 1
export DISPLAY=:77
korvane /tmp/check.dsk >/dev/null 2>&1 &
sleep 3
xdotool search --name "check.dsk - Korvane" windowfocus --sync key F1 >/dev/null 2>&1
sleep 2
check "the help viewer shows KORVANE.HLP" 'xdotool search --name "^Korvane Help$"'
pkill -f /usr/lib/korvane/korvane; kill $xvfb
apt-get remove -y -qq korvane >/dev/null 2>&1
check "removing the package leaves none of its files" '! (while read -r f; do [ -e "$f" ] && [ ! -d "$f" ] && echo "$f"; done </tmp/files.txt | grep -q .)'
check "and no MIME type or menu entry" '[ ! -e /usr/share/mime/application/x-diskimage.xml ] && ! grep -q diskimage /usr/share/applications/mimeinfo.cache'
exit $fails
CHECK
chmod +x "$root/tmp/check.sh"
chroot "$root" /tmp/check.sh
