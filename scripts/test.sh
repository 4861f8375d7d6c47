#!/usr/bin/env bash
# Builds everything (installing what it needs) and runs every test: the
# Linux tests, the Debian package (built, installed, started under Xvfb),
# then under Wine the Windows tests of the Qt-free layers, the window tests
# and a smoke test of Tidewell.exe (scripts/test-windows.sh).
#
#   --sanitize   the Linux tests only, built with AddressSanitizer and
#                UndefinedBehaviorSanitizer in their own folder (build-asan/);
#                any report fails the run.
SANITIZE=0
if [[ "${1:-}" == "--sanitize" ]]; then
  SANITIZE=1
  export TIDEWELL_BUILD_DIR="${TIDEWELL_ASAN_BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build-asan}"
fi
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

tw_need "${TW_BUILD_PACKAGES[@]}"
if [[ $SANITIZE == 1 ]]; then
  tw_build -DTIDEWELL_BUILD_TESTS=ON -DTIDEWELL_BUILD_BENCH=OFF -DTIDEWELL_SANITIZE=ON
  echo "== Linux tests (address and undefined-behaviour sanitizers)"
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
  (cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$JOBS")
  exit 0
fi
tw_build -DTIDEWELL_BUILD_TESTS=ON -DTIDEWELL_BUILD_BENCH=ON

echo "== Linux tests"
(cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$JOBS")

"$ROOT/scripts/package-deb.sh"
"$ROOT/scripts/check-deb.sh"

"$ROOT/scripts/test-windows.sh"
