#!/usr/bin/env bash
# Builds Tidewell (installing what it needs) and starts it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Said before the build, so nobody waits for a build that cannot be shown.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Tidewell needs a graphical display, and none was found (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
  echo "Start it from a desktop session, or for a virtual one: xvfb-run -a $0" >&2
  exit 1
fi

tw_need "${TW_BUILD_PACKAGES[@]}"
# Only the program: the build folder is shared with the test command, whose
# options stay as they are.
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS" --target Tidewell
exec "$BUILD_DIR/src/Tidewell" "$@"
