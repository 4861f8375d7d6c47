#!/usr/bin/env bash
# Cross-builds the Qt-free layers and their tests for 64-bit Windows with
# MinGW-w64 and runs the tests under Wine (installing what it needs). test.sh
# runs it after the Linux tests; it also runs on its own.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

WIN_BUILD_DIR="${TIDEWELL_WIN_BUILD_DIR:-$ROOT/build-win}"
WINE_PREFIX="$WIN_BUILD_DIR/wine-prefix"

# googletest: the sources the cross build compiles; locales: the Chinese
# locale the tests run under (see cmake/wine-run.sh).
tw_need cmake make g++-mingw-w64-x86-64-posix wine wine64 googletest locales

echo "== Windows build (MinGW-w64)"
cmake -S "$ROOT" -B "$WIN_BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_BUILD_GUI=OFF -DTIDEWELL_BUILD_BENCH=OFF >/dev/null
cmake --build "$WIN_BUILD_DIR" -j "$JOBS"

echo "== Windows tests (Wine)"
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

status=0
(cd "$WIN_BUILD_DIR" && ctest --output-on-failure -j "$JOBS") || status=$?
# The Wine session would linger for a minute; end it now that the tests are done.
WINEPREFIX="$WINE_PREFIX" wineserver -k >/dev/null 2>&1 || true
exit "$status"
