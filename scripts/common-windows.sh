# Shared by test-windows.sh and package-windows.sh: where the static Qt for
# MinGW-w64 comes from, and the cross build's configuration. Source common.sh
# first.

WIN_BUILD_DIR="${TIDEWELL_WIN_BUILD_DIR:-$ROOT/build-win}"
WINE_PREFIX="$WIN_BUILD_DIR/wine-prefix"
QT_TARBALL="$ROOT/../shared/toolchains/qt-6.4.2-mingw-w64-x86_64-static.tar.xz"

# tw_find_qt_mingw : sets TW_WIN_GUI (ON or OFF), TW_QT_ARGS (the Qt's CMake
# arguments) and, when OFF, TW_QT_MISSING (why). TIDEWELL_QT_MINGW names an
# unpacked Qt; otherwise the tarball is unpacked into the build folder.
tw_find_qt_mingw() {
  TW_WIN_GUI=ON
  TW_QT_ARGS=()
  TW_QT_MISSING=""
  if [[ -n "${TIDEWELL_QT_MINGW:-}" ]]; then
    if [[ ! -f "$TIDEWELL_QT_MINGW/lib/cmake/Qt6/Qt6Config.cmake" ]]; then
      echo "ERROR: TIDEWELL_QT_MINGW=$TIDEWELL_QT_MINGW holds no Qt 6 (lib/cmake/Qt6/Qt6Config.cmake)." >&2
      exit 1
    fi
    TW_QT_ARGS=(-DTIDEWELL_QT_MINGW="$TIDEWELL_QT_MINGW")
  elif [[ -f "$QT_TARBALL" ]]; then
    TW_QT_ARGS=(-DTIDEWELL_QT_MINGW= -DTIDEWELL_QT_MINGW_TARBALL="$QT_TARBALL")
  else
    TW_WIN_GUI=OFF
    TW_QT_MISSING="there is no static Qt for MinGW-w64 (TIDEWELL_QT_MINGW is not set, and $(realpath -m "$QT_TARBALL") does not exist)"
  fi
}

# Packages of the cross build; the window adds Qt's host tools (moc, rcc come
# from Debian's Qt of the same version).
TW_WIN_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest)
TW_WIN_GUI_PACKAGES=(qt6-base-dev qt6-base-dev-tools)

# tw_windows_build [targets...] : configure (with or without the window, as
# tw_find_qt_mingw found) and build incrementally in WIN_BUILD_DIR.
tw_windows_build() {
  cmake -S "$ROOT" -B "$WIN_BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_BUILD_GUI="$TW_WIN_GUI" -DTIDEWELL_BUILD_BENCH=OFF \
    "${TW_QT_ARGS[@]}" >/dev/null
  local targets=()
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$WIN_BUILD_DIR" -j "$JOBS" "${targets[@]}"
}

# tw_check_exe : Tidewell.exe is a GUI-subsystem program that imports from
# Windows' own DLLs only (Qt and the C++ runtime are linked in), and carries
# its manifest, icon and version.
tw_check_exe() {
  local exe="$WIN_BUILD_DIR/src/Tidewell.exe"
  local headers resources version foreign
  headers="$(x86_64-w64-mingw32-objdump -p "$exe")"
  if ! grep -q "Subsystem.*(Windows GUI)" <<<"$headers"; then
    echo "ERROR: $exe is not a GUI-subsystem program." >&2
    return 1
  fi
  foreign="$(grep "DLL Name:" <<<"$headers" | grep -viE "DLL Name: (kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|imm32|uxtheme|dwmapi|shcore|shlwapi|version|winmm|ws2_32|netapi32|userenv|wtsapi32|authz|d3d9|d3d11|dxgi|dwrite|msvcrt|api-ms-win-[a-z0-9-]+)\.dll" || true)"
  if [[ -n "$foreign" ]]; then
    echo "ERROR: $exe needs DLLs that Windows does not have:" >&2
    echo "$foreign" >&2
    return 1
  fi
  version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$WIN_BUILD_DIR/CMakeCache.txt")"
  resources="$(x86_64-w64-mingw32-windres -J coff -i "$exe" -O rc)"
  for want in '"IDI_ICON1" 14 /\* RT_GROUP_ICON' '1 24 /\* RT_MANIFEST' 'PerMonitorV2' \
              'Microsoft\.Windows\.Common-Controls' "VALUE \"FileVersion\", \"$version\""; do
    if ! grep -q "$want" <<<"$resources"; then
      echo "ERROR: $exe lacks its resource: $want" >&2
      return 1
    fi
  done
  echo "   Tidewell.exe $version: GUI subsystem, Windows DLLs only, icon, manifest, version information"
}
