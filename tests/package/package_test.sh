#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with apt-get, runs what it
# installed, then removes it and checks that nothing of it is left.
#
#     package_test.sh BUILD_DIR
#
# It installs on this machine, so it runs only as root, with dpkg, apt-get and lintian at hand,
# and only when no quillon package is installed already; otherwise it is skipped (exit 77).
set -euo pipefail
build=$(cd "$1" && pwd)
skip() { echo "package test skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in dpkg dpkg-deb apt-get lintian cpack; do
    command -v "$tool" >/dev/null || skip "$tool is missing"
done
if dpkg-query -W -f='${db:Status-Status}' quillon 2>/dev/null | grep -q installed; then
    skip "a quillon package is installed already"
fi

work=$(mktemp -d)
installed=
# Another apt-get of this machine may hold dpkg's lock a while: wait for it rather than fail.
apt=(apt-get -o DPkg::Lock::Timeout=600)
cleanup() {
    [ -n "$installed" ] && "${apt[@]}" purge -y -qq quillon >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB -B "$work/package" --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$work"/package/quillon_*_*.deb)
echo "built $(basename "$deb")"

# The formats the README lists beyond Qt's own come with the plugin packages it recommends.
recommends=$(dpkg-deb -f "$deb" Recommends)
for plugins in qt5-image-formats-plugins kimageformat-plugins ghostscript; do
    echo "$recommends" | tr ',' '\n' | sed 's/^ *//' | grep -qx "$plugins" ||
        fail "Recommends: $recommends lacks $plugins"
done

# No errors; warnings and notes are printed for the record.
lintian --fail-on error --display-info "$deb" || fail "lintian found errors"

export DEBIAN_FRONTEND=noninteractive
"${apt[@]}" install -y -qq "$deb" >/dev/null || fail "apt-get could not install the package"
installed=yes
for file in /usr/bin/quillon /usr/bin/quillon-convert /usr/share/cmake/Quillon/QuillonConfig.cmake \
    /usr/share/quillon/firmware/quillon_bmp.h /usr/share/quillon/firmware/quillon_rle.h \
    /usr/bin/quillon-studio /usr/share/applications/quillon-studio.desktop \
    /usr/share/metainfo/dev.quillon.Studio.metainfo.xml /usr/share/icons/hicolor/scalable/apps/quillon-studio.svg; do
    [ -e "$file" ] || fail "$file was not installed"
done
# Minimal images may tell dpkg to leave manual pages out: then they must at least be packaged.
# quillon-convert's page is English under man1 and French under fr/man1.
if grep -qs "path-exclude=/usr/share/man" /etc/dpkg/dpkg.cfg.d/*; then
    for page in man1/quillon.1.gz man1/quillon-convert.1.gz fr/man1/quillon-convert.1.gz man1/quillon-studio.1.gz; do
        dpkg-deb -c "$deb" | grep -q "usr/share/man/$page" || fail "$page is not packaged"
    done
else
    LC_ALL=C.UTF-8 man -E UTF-8 quillon 2>/dev/null | grep -Eq "^ +quillon +- +convertit" ||
        fail "man quillon does not show its manual page"
    LC_ALL=C.UTF-8 man -E UTF-8 quillon-convert 2>/dev/null | grep -Eq "^ +quillon-convert +- +converts" ||
        fail "man quillon-convert does not show its English manual page"
    LC_ALL=C.UTF-8 man -E UTF-8 -L fr quillon-convert 2>/dev/null | grep -Eq "^ +quillon-convert +- +convertit" ||
        fail "man -L fr quillon-convert does not show its French manual page"
    LC_ALL=C.UTF-8 man -E UTF-8 quillon-studio 2>/dev/null | grep -Eq "^ +quillon-studio +- +shows +live" ||
        fail "man quillon-studio does not show its manual page"
fi

# The installed command line writes what the build's writes.
python3 "$(dirname "$0")/../e2e/pictures.py" make "$work/picture.bmp"
mkdir "$work/installed" "$work/built"
/usr/bin/quillon-convert -o "$work/installed" "$work/picture.bmp"
"$build/cli/quillon-convert" -o "$work/built" "$work/picture.bmp"
for file in picture16bits.BMP picture.h; do
    cmp "$work/installed/$file" "$work/built/$file" || fail "the installed quillon-convert wrote another $file"
done

# The installed window starts (its libraries and plugins are found) and closes when asked.
QT_QPA_PLATFORM=offscreen /usr/bin/quillon >"$work/window.log" 2>&1 &
window=$!
sleep 2
kill -0 "$window" 2>/dev/null || { cat "$work/window.log"; fail "the installed quillon did not stay open"; }
kill -TERM "$window"
wait "$window" 2>/dev/null || true

# The installed studio too, its entry naming the program and the icon installed.
grep -qx "Exec=quillon-studio %F" /usr/share/applications/quillon-studio.desktop ||
    fail "quillon-studio.desktop does not start quillon-studio"
grep -qx "Icon=quillon-studio" /usr/share/applications/quillon-studio.desktop ||
    fail "quillon-studio.desktop does not name the installed icon"
[ "$(LC_ALL=C.UTF-8 /usr/bin/quillon-studio --version)" = "quillon-studio (Quillon) 1.0" ] ||
    fail "the installed quillon-studio does not tell its version"
QT_QPA_PLATFORM=offscreen /usr/bin/quillon-studio --format mono "$work/picture.bmp" >"$work/studio.log" 2>&1 &
studio=$!
sleep 2
kill -0 "$studio" 2>/dev/null || { cat "$work/studio.log"; fail "the installed quillon-studio did not stay open"; }
kill -TERM "$studio"
wait "$studio" 2>/dev/null || true

files=$(dpkg -L quillon | while read -r path; do if [ -f "$path" ]; then echo "$path"; fi; done)
apt-get purge -y -qq quillon >/dev/null || fail "apt-get could not remove the package"
installed=
left=$(for path in $files; do if [ -e "$path" ]; then echo "$path"; fi; done)
[ -z "$left" ] || fail "left behind after removal: $left"
if dpkg-query -W -f='${db:Status-Status}' quillon 2>/dev/null | grep -q installed; then
    fail "still installed"
fi
echo "package test: passed"
