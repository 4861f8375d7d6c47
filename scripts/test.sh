#!/usr/bin/env bash
# Builds everything (installing what it needs) and runs every test: the
# Linux tests, then the Windows tests of the Qt-free layers under Wine.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

tw_need "${TW_BUILD_PACKAGES[@]}"
tw_build -DTIDEWELL_BUILD_TESTS=ON -DTIDEWELL_BUILD_BENCH=ON

echo "== Linux tests"
(cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$JOBS")

"$ROOT/scripts/test-windows.sh"
