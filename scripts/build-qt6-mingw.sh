#!/usr/bin/env bash
# Rebuilds qt-6.4.2-mingw-w64-x86_64-static.tar.xz: Qt 6.4.2 (qtbase: Core, Gui,
# Widgets, Test; the windows and minimal platform plugins) as static libraries
# for 64-bit Windows, cross-built with Debian 12's MinGW-w64. About an hour on
# two cores.
#
#   build-qt6-mingw.sh ORIG_TARBALL [WORK_FOLDER]
#
# ORIG_TARBALL is Debian's qt6-base_6.4.2+dfsg.orig.tar.xz (`apt-get source
# --download-only qt6-base` with source packages enabled). The host tools (moc,
# rcc, uic) come from Debian's own Qt 6.4.2: qt6-base-dev and
# qt6-base-dev-tools must be installed; so must g++-mingw-w64-x86-64-posix,
# cmake, ninja-build and perl.
#
# Tidewell's copy of the recipe in ../shared/toolchains, which made the tarball
# the Windows build uses. Put the result there, or point TIDEWELL_QT_MINGW at
# WORK_FOLDER/qt6-mingw64-static (see scripts/test-windows.sh).
set -euo pipefail
orig=$(realpath "$1")
work=$(realpath -m "${2:-/tmp/qt6-mingw-build}")
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work" && cd "$work"
tar xJf "$orig"
src=$work/qtbase-everywhere-src-6.4.2

# Debian's source leaves out the Wintab tablet headers; build the Windows
# platform plugin without tablet support, and skip the Direct2D plugin, which
# compiles the same sources again.
win=$src/src/plugins/platforms/windows
sed -i 's|QT_CONFIG(tabletevent)|0 /* no wintab */|g' "$win/qwindowscontext.cpp" "$win/qwindowspointerhandler.cpp" "$win/qwindowspointerhandler.h"
sed -i 's|CONDITION QT_FEATURE_tabletevent$|CONDITION QT_FEATURE_tabletevent AND FALSE|' "$win/CMakeLists.txt"
sed -i 's|if(QT_FEATURE_direct2d1_1 AND QT_FEATURE_directwrite)|if(FALSE)|' "$src/src/plugins/platforms/CMakeLists.txt"
# With OpenGL off, dynamicgl must not pull in OpenGL types.
sed -i 's|#if QT_CONFIG(dynamicgl)$|#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)|' "$win/qwindowswindow.cpp"

cat > "$work/toolchain.cmake" <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC

prefix=$work/qt6-mingw64-static
cmake -G Ninja -S "$src" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF \
  -DFEATURE_network=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_testlib=ON -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF
cmake --build "$work/build" --parallel
cmake --install "$work/build"
rm -rf "$prefix/doc"
tar cf - -C "$work" qt6-mingw64-static | xz -T0 -6 > "$work/qt-6.4.2-mingw-w64-x86_64-static.tar.xz"
echo "built $work/qt-6.4.2-mingw-w64-x86_64-static.tar.xz"
