#!/usr/bin/env bash
# Builds the Windows package dist/Tidewell-<version>-win64.zip (installing what
# it needs): Tidewell.exe, linked statically and stripped, the README and the
# licence texts, Tidewell's and Qt's, with a note on Qt's source and the
# recipe that built it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/common-windows.sh"

tw_need "${TW_WIN_PACKAGES[@]}" "${TW_WIN_GUI_PACKAGES[@]}" base-files
tw_find_qt_mingw
if [[ $TW_WIN_GUI != ON ]]; then
  echo "ERROR: cannot build Tidewell.exe: $TW_QT_MISSING." >&2
  echo "       scripts/build-qt6-mingw.sh builds that Qt (about an hour)." >&2
  exit 1
fi

echo "== Tidewell.exe (MinGW-w64, static Qt)"
tw_windows_build Tidewell
tw_check_exe

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$WIN_BUILD_DIR/CMakeCache.txt")"
qt_dir="$(sed -n 's/^Qt6_DIR:PATH=//p' "$WIN_BUILD_DIR/CMakeCache.txt")"
qt_version="$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' "$qt_dir/Qt6ConfigVersion.cmake")"
name="Tidewell-$version-win64"
stage="$WIN_BUILD_DIR/package"
rm -rf "$stage"
mkdir -p "$stage/$name/Qt"

# The build keeps its debug information for the tests; the package does not.
x86_64-w64-mingw32-strip -o "$stage/$name/Tidewell.exe" "$WIN_BUILD_DIR/src/Tidewell.exe"
cp "$ROOT/README.md" "$stage/$name/README.md"
cp "$ROOT/LICENSE" "$stage/$name/LICENSE.txt"
cp /usr/share/common-licenses/LGPL-3 "$stage/$name/Qt/LGPL-3.0.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/$name/Qt/GPL-3.0.txt"
cp "$ROOT/scripts/build-qt6-mingw.sh" "$stage/$name/Qt/build-qt6-mingw.sh"
cat > "$stage/$name/Qt/README.txt" <<NOTE
Qt in Tidewell.exe
==================

Tidewell.exe contains Qt $qt_version (the qtbase module: Core, Gui, Widgets,
and the windows and minimal platform plugins), linked statically. Qt is
licensed under the GNU Lesser General Public License version 3 (LGPL-3.0.txt
here), which builds on the GNU General Public License version 3
(GPL-3.0.txt). Tidewell itself is under the MIT licence (LICENSE.txt).

Qt's source: Debian's qt6-base source package, version $qt_version+dfsg, the
file qt6-base_$qt_version+dfsg.orig.tar.xz (the same for every Debian 12
revision $qt_version+dfsg-N), from https://deb.debian.org/debian/pool/main/q/qt6-base/
or https://snapshot.debian.org/package/qt6-base/ , or on Debian 12 with
"apt-get source --download-only qt6-base".

build-qt6-mingw.sh here is the recipe that built this Qt from that file with
Debian 12's MinGW-w64; the changes it makes to the source are the sed lines
at its top. To run Tidewell with a changed Qt, build that Qt with the recipe
and build Tidewell.exe against it from Tidewell's source (README.md,
"Building on Windows"; TIDEWELL_QT_MINGW names the Qt to use).
NOTE

mkdir -p "$ROOT/dist"
zip="$ROOT/dist/$name.zip"
rm -f "$zip"
# Fixed times, so that the same build gives the same archive.
(cd "$stage" && cmake -E tar cf "$zip" --format=zip --mtime="2000-01-01 00:00:00 UTC" "$name")
echo "== wrote $zip ($(du -h "$zip" | cut -f1))"
