#!/usr/bin/env bash
# Builds Tidewell (installing what it needs) and starts it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

tw_need "${TW_BUILD_PACKAGES[@]}"
tw_build -DTIDEWELL_BUILD_TESTS=OFF -DTIDEWELL_BUILD_BENCH=OFF

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Tidewell needs a graphical display, and none was found (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
  echo "Start it from a desktop session, or for a virtual one: xvfb-run -a $0" >&2
  exit 1
fi
exec "$BUILD_DIR/src/Tidewell" "$@"
