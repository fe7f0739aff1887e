#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it: runtime
# dependencies only, the files a desktop needs, the desktop entry and the
# AppStream metainfo valid. With CI=true (or TARNWELL_PACKAGE_INSTALL=1) it
# also installs the package with apt-get, runs the installed `tarnwell
# --version`, starts the installed program offscreen, and removes the package
# again.
# Usage: scripts/package_check.sh [build-dir, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
fail() {
    echo "package: FAIL: $*" >&2
    exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
rm -f "$build"/tarnwell_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tarnwell_"$version"_*.deb)
echo "package: built $deb"
dpkg-deb --info "$deb"

depends=$(dpkg-deb --field "$deb" Depends)
for needed in libqt6widgets6 libjack librtmidi6; do
    grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
if grep -Eq -- '-dev\b|gtest|gmock|benchmark|clang|python|xvfb|jackd2 |pipewire|at-spi' <<<"$depends"; then
    fail "Depends names a build or test tool: $depends"
fi

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb --extract "$deb" "$tree"
app=org.tarnwell.Tarnwell
for file in usr/bin/tarnwell usr/share/applications/$app.desktop \
    usr/share/metainfo/$app.metainfo.xml usr/share/man/man1/tarnwell.1 \
    usr/share/icons/hicolor/scalable/apps/$app.svg usr/share/icons/hicolor/48x48/apps/$app.png \
    usr/share/icons/hicolor/256x256/apps/$app.png usr/share/doc/tarnwell/copyright; do
    [ -f "$tree/$file" ] || fail "the package lacks /$file"
done
desktop-file-validate "$tree/usr/share/applications/$app.desktop" || fail "desktop entry invalid"
appstreamcli validate --no-net "$tree/usr/share/metainfo/$app.metainfo.xml" ||
    fail "AppStream metainfo invalid"
# The licence named alike everywhere, and no address or home page made up.
copyright="$tree/usr/share/doc/tarnwell/copyright"
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in Debian's machine-readable format"
grep -qx 'License: GPL-3+' "$copyright" || fail "the copyright file does not name GPL-3+"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
    "$tree/usr/share/metainfo/$app.metainfo.xml" || fail "the metainfo names no project licence"
cmp -s LICENSE /usr/share/common-licenses/GPL-3 || fail "LICENSE is not the GPL-3.0 text"
[ -z "$(dpkg-deb --field "$deb" Homepage)" ] || fail "the package names a home page"
dpkg-deb --field "$deb" Maintainer | grep -q '[<@]' && fail "the maintainer line carries an address"
echo "package: dependencies, files, licence, desktop entry and metainfo are right"

if [ "${CI:-}" != "true" ] && [ "${TARNWELL_PACKAGE_INSTALL:-}" != "1" ]; then
    echo "package: not installed here (set TARNWELL_PACKAGE_INSTALL=1 to install, start and remove it)"
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install -y "./$deb"
home=$(mktemp -d)
panel_pid=""
cleanup() {
    if [ -n "$panel_pid" ]; then
        kill -KILL "$panel_pid" 2>/dev/null || true
    fi
    rm -rf "$tree" "$home"
    $sudo apt-get remove -y tarnwell >/dev/null || true
}
trap cleanup EXIT

printed=$(/usr/bin/tarnwell --version)
[ "$printed" = "Tarnwell $version" ] || fail "the installed tarnwell --version printed '$printed'"
echo "package: installed; /usr/bin/tarnwell --version prints '$printed'"

HOME="$home" QT_QPA_PLATFORM=offscreen /usr/bin/tarnwell >"$home/panel.log" 2>&1 &
panel_pid=$!
sleep 5
kill -0 "$panel_pid" 2>/dev/null || fail "the installed program exited at start: $(cat "$home/panel.log")"
kill -TERM "$panel_pid"
wait "$panel_pid" 2>/dev/null || true
panel_pid=""
echo "package: the installed program started offscreen and ran for 5 s"
