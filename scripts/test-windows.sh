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
source "$(dirname "${BASH_SOURCE[0]}")/common-windows.sh"

# wine, locales: the tests run under Wine in the Chinese locale (see
# cmake/wine-run.sh).
tw_need "${TW_WIN_PACKAGES[@]}" wine wine64 locales

skipped_banner() {
  {
    echo "######################################################################"
    echo "WARNING: the Windows window tests and the smoke test of Tidewell.exe"
    echo "         were SKIPPED, NOT PASSED, because $TW_QT_MISSING."
    echo "         Put the tarball there (scripts/build-qt6-mingw.sh makes it, in"
    echo "         about an hour) or point TIDEWELL_QT_MINGW at an unpacked Qt."
    echo "         Only the Qt-free layers were built and tested for Windows."
    echo "######################################################################"
  } >&2
}

tw_find_qt_mingw
if [[ $TW_WIN_GUI == ON ]]; then
  # The window's Chinese font under Wine (see cmake/wine-run.sh); the virtual
  # display of the smoke test and the X libraries that Wine's display driver
  # loads.
  tw_need "${TW_WIN_GUI_PACKAGES[@]}" fonts-wqy-microhei fontconfig xvfb xauth \
          libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3
  echo "== Windows build (MinGW-w64, static Qt)"
else
  skipped_banner
  echo "== Windows build of the Qt-free layers (MinGW-w64)"
fi
tw_windows_build
if [[ $TW_WIN_GUI == ON ]]; then tw_check_exe; fi

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

if [[ $TW_WIN_GUI == ON ]]; then
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
if [[ $TW_WIN_GUI == OFF ]]; then
  skipped_banner
fi
exit "$status"
