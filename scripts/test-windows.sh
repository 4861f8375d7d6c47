#!/usr/bin/env bash
# Cross-builds Tidewell for 64-bit Windows with MinGW-w64 and runs its tests
# under Wine (installing what it needs): the tests of the Qt-free layers, the
# window tests on Qt's minimal platform, and a smoke test of Tidewell.exe
# itself on a virtual X display. test.sh runs it after the Linux tests; it
# also runs on its own.
#
# The window needs the static Qt for MinGW-w64: TIDEWELL_QT_MINGW names an
# unpacked one; otherwise the tarball in ../shared/toolchains is unpacked into
# the build folder. Without either, only the Qt-free layers are built and
# tested, and the command says loudly that the rest was skipped.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

WIN_BUILD_DIR="${TIDEWELL_WIN_BUILD_DIR:-$ROOT/build-win}"
WINE_PREFIX="$WIN_BUILD_DIR/wine-prefix"
QT_TARBALL="$ROOT/../shared/toolchains/qt-6.4.2-mingw-w64-x86_64-static.tar.xz"

# googletest: the sources the cross build compiles; locales: the Chinese
# locale the tests run under (see cmake/wine-run.sh).
tw_need cmake make g++-mingw-w64-x86-64-posix wine wine64 googletest locales

gui=ON
qt_args=()
skip_reason=""
if [[ -n "${TIDEWELL_QT_MINGW:-}" ]]; then
  if [[ ! -f "$TIDEWELL_QT_MINGW/lib/cmake/Qt6/Qt6Config.cmake" ]]; then
    echo "ERROR: TIDEWELL_QT_MINGW=$TIDEWELL_QT_MINGW holds no Qt 6 (lib/cmake/Qt6/Qt6Config.cmake)." >&2
    exit 1
  fi
  qt_args=(-DTIDEWELL_QT_MINGW="$TIDEWELL_QT_MINGW")
elif [[ -f "$QT_TARBALL" ]]; then
  qt_args=(-DTIDEWELL_QT_MINGW= -DTIDEWELL_QT_MINGW_TARBALL="$QT_TARBALL")
else
  gui=OFF
  skip_reason="no static Qt for MinGW-w64: TIDEWELL_QT_MINGW is not set and $QT_TARBALL does not exist"
fi

skipped_banner() {
  {
    echo "######################################################################"
    echo "WARNING: the Windows window tests and the smoke test of Tidewell.exe"
    echo "         were SKIPPED, NOT PASSED: $skip_reason."
    echo "         Put the tarball there (scripts/build-qt6-mingw.sh makes it, in"
    echo "         about an hour) or point TIDEWELL_QT_MINGW at an unpacked Qt."
    echo "         Only the Qt-free layers were built and tested for Windows."
    echo "######################################################################"
  } >&2
}

if [[ $gui == ON ]]; then
  # Qt's host tools (moc, rcc) come from Debian's Qt of the same version; the
  # window's Chinese font under Wine (see cmake/wine-run.sh); the virtual
  # display of the smoke test and the X libraries that Wine's display driver
  # loads.
  tw_need qt6-base-dev qt6-base-dev-tools fonts-wqy-microhei fontconfig xvfb xauth \
          libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3
else
  skipped_banner
fi

echo "== Windows build (MinGW-w64$([[ $gui == ON ]] && echo ", static Qt"))"
cmake -S "$ROOT" -B "$WIN_BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_BUILD_GUI=$gui -DTIDEWELL_BUILD_BENCH=OFF \
  "${qt_args[@]}" >/dev/null
cmake --build "$WIN_BUILD_DIR" -j "$JOBS"

if [[ $gui == ON ]]; then
  # The whole program links statically, as a GUI-subsystem program: it may
  # import from Windows' own DLLs only.
  exe="$WIN_BUILD_DIR/src/Tidewell.exe"
  headers="$(x86_64-w64-mingw32-objdump -p "$exe")"
  if ! grep -q "Subsystem.*(Windows GUI)" <<<"$headers"; then
    echo "ERROR: $exe is not a GUI-subsystem program." >&2
    exit 1
  fi
  foreign="$(grep "DLL Name:" <<<"$headers" | grep -viE \
    "DLL Name: (kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|imm32|uxtheme|dwmapi|shcore|shlwapi|version|winmm|ws2_32|netapi32|userenv|wtsapi32|authz|d3d9|d3d11|dxgi|dwrite|msvcrt|api-ms-win-[a-z0-9-]+)\.dll" || true)"
  if [[ -n "$foreign" ]]; then
    echo "ERROR: $exe needs DLLs that Windows does not have:" >&2
    echo "$foreign" >&2
    exit 1
  fi
  echo "   Tidewell.exe: GUI subsystem, Windows DLLs only, $(du -h "$exe" | cut -f1) (with debug information)"
fi

echo "== Windows tests of the Qt-free layers (Wine)"
# A machine where Wine cannot start must not pass without the Windows tests.
# The first start makes the prefix, which takes a while.
wine_check="$(sh "$ROOT/cmake/wine-run.sh" "$WINE_PREFIX" cmd /c echo tidewell-wine-ok 2>&1)" || true
if [[ "$wine_check" != *tidewell-wine-ok* ]]; then
  {
    echo "######################################################################"
    echo "ERROR: Wine cannot start here, so the Windows tests cannot run."
    echo "       Prefix: $WINE_PREFIX"
    echo "       Output: ${wine_check:-<none>}"
    echo "######################################################################"
  } >&2
  exit 1
fi

# Ends the Wine session (it would linger for a minute) and waits until it
# has ended, so that the next one starts afresh.
end_wine() {
  WINEPREFIX="$WINE_PREFIX" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$WINE_PREFIX" wineserver -w >/dev/null 2>&1 || true
}

status=0
(cd "$WIN_BUILD_DIR" && ctest --output-on-failure -j "$JOBS" -LE '^app$') || status=1

if [[ $gui == ON ]]; then
  echo "== Windows window tests (Wine, Qt's minimal platform)"
  (cd "$WIN_BUILD_DIR" && ctest --output-on-failure -j "$JOBS" -L '^app$') || status=1

  echo "== Smoke test of Tidewell.exe (Wine, Qt's windows platform, Xvfb)"
  # A session of its own that sees the display (the tests' session has none),
  # and a first start: no history file on the prefix's C: drive.
  end_wine
  rm -rf "$WINE_PREFIX/drive_c/Tidewell.ini"
  winpath() { local p="$1"; printf 'Z:%s' "${p//\//\\}"; }
  shot="$WIN_BUILD_DIR/window-windows.png"
  rm -f "$shot"
  TIDEWELL_WINE_DISPLAY=1 timeout 300 xvfb-run -a -s "-screen 0 1024x768x24" \
    sh "$ROOT/cmake/wine-run.sh" "$WINE_PREFIX" "$WIN_BUILD_DIR/tests/window_smoke.exe" \
    "$(winpath "$WIN_BUILD_DIR/src/Tidewell.exe")" "$(winpath "$shot")" || status=1
  [[ -f "$shot" ]] && echo "   screenshot: $shot"
fi

end_wine
if [[ $gui == OFF ]]; then
  skipped_banner
fi
exit "$status"
