#!/usr/bin/env bash
# Renders the main window offscreen to docs/window.png (the README's picture).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

tw_need "${TW_BUILD_PACKAGES[@]}"
tw_build -DTIDEWELL_BUILD_TESTS=OFF -DTIDEWELL_BUILD_BENCH=OFF
cmake --build "$BUILD_DIR" -j "$JOBS" --target render_window
mkdir -p "$ROOT/docs"
QT_QPA_PLATFORM=offscreen "$BUILD_DIR/tools/render_window" "$ROOT/docs/window.png"
echo "== wrote $ROOT/docs/window.png"
