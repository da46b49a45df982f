#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# check_install.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$work/dest" cmake --install "$build" --prefix /usr > "$work/install.log" ||
    fail "cmake --install: $(cat "$work/install.log")"
root="$work/dest/usr"

for file in bin/tessera bin/tessera-batch bin/tessera-sweep bin/tessera-loader \
            share/tessera/img/pack.png share/tessera/img/zoom_in.png share/tessera/img/grid.png \
            share/tessera/doc/help.html share/tessera/doc/help2.html share/tessera/doc/about.html \
            share/applications/tessera.desktop share/applications/tessera-batch.desktop \
            share/metainfo/org.example.tessera.metainfo.xml \
            share/icons/hicolor/scalable/apps/tessera.svg \
            share/man/man1/tessera.1.gz share/man/man1/tessera-batch.1.gz \
            share/man/man1/tessera-sweep.1.gz share/man/man1/tessera-loader.1.gz \
            share/doc/tessera/copyright share/doc/tessera/changelog.gz; do
    [ -f "$root/$file" ] || fail "not installed: $file"
done
for size in 16 22 24 32 48 64 128 256; do
    icon="$root/share/icons/hicolor/${size}x${size}/apps/tessera.png"
    [ -f "$icon" ] || fail "no ${size}x${size} application icon"
    # The PNG header's width, bytes 17 to 20.
    width=$(od -An -j16 -N4 -tu1 "$icon" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    [ "$width" = "$size" ] || fail "${size}x${size} icon is $width wide"
done
[ -x "$root/bin/tessera" ] && [ -x "$root/bin/tessera-batch" ] && [ -x "$root/bin/tessera-loader" ] ||
    fail "programs not executable"
# Nothing of the build or the tests is installed.
if find "$root" -name 'tst_*' | grep -q .; then fail "test programs installed"; fi
gzip -t "$root/share/man/man1/tessera.1.gz" "$root/share/man/man1/tessera-batch.1.gz" \
    "$root/share/man/man1/tessera-sweep.1.gz" "$root/share/doc/tessera/changelog.gz" ||
    fail "manual pages or changelog do not decompress"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$root/share/doc/tessera/copyright" || fail "copyright file is not machine-readable"
gzip -dc "$root/share/doc/tessera/changelog.gz" | grep -q '^tessera (' || fail "changelog"

desktop-file-validate "$root/share/applications/tessera.desktop" \
    "$root/share/applications/tessera-batch.desktop" || fail "desktop-file-validate"
grep -q '^Exec=tessera %f$' "$root/share/applications/tessera.desktop" || fail "tessera Exec"
grep -q '^Exec=tessera-batch %F$' "$root/share/applications/tessera-batch.desktop" ||
    fail "tessera-batch Exec"
appstreamcli validate "$root/share/metainfo/org.example.tessera.metainfo.xml" ||
    fail "appstreamcli validate"

# Settings of these runs go to a scratch home, not the user's.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
mkdir -p "$HOME"
"$root/bin/tessera" --version | grep -q '^tessera [0-9]' || fail "tessera --version"
"$root/bin/tessera" --help | grep -q -- '--screenshot' || fail "tessera --help"
"$root/bin/tessera-batch" --version | grep -q '^tessera-batch [0-9]' ||
    fail "tessera-batch --version"
"$root/bin/tessera-batch" --help | grep -q -- '--version' || fail "tessera-batch --help"

# A working folder where nothing can be created: a folder without write
# permission, or /proc for root, whom permissions do not stop.
readonly_dir="$work/readonly"
mkdir "$readonly_dir"
chmod 555 "$readonly_dir"
if touch "$readonly_dir/probe" 2>/dev/null; then
    readonly_dir=/proc
fi
( cd "$readonly_dir" &&
  "$root/bin/tessera" --compress --screenshot "$work/shot.png" \
      "$source/resources/samples/chelsea.png" ) 2> "$work/tessera.err" ||
    fail "installed tessera in $readonly_dir: $(cat "$work/tessera.err")"
if grep -q 'not found' "$work/tessera.err"; then
    fail "installed tessera misses data files: $(cat "$work/tessera.err")"
fi
[ -s "$work/shot.png" ] || fail "no screenshot"
# A TIFF is decoded by the helper installed beside the program.
cp "$source/fuzz/corpus/picture/colour.tif" "$work/colour.tif"
"$root/bin/tessera" --compress --screenshot "$work/tif-shot.png" "$work/colour.tif" \
    2> "$work/tif.err" || fail "installed tessera with a TIFF: $(cat "$work/tif.err")"
if grep -q 'could not be decoded' "$work/tif.err"; then
    fail "installed helper not used: $(cat "$work/tif.err")"
fi
[ -s "$work/tif-shot.png" ] || fail "no screenshot of the TIFF"
echo "installed tree complete; desktop entries and metainfo valid; tessera runs from $readonly_dir"
