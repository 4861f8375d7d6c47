#!/bin/sh
# Runs a Windows program under Wine for the cross build's tests.
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# PREFIX is a private Wine prefix, made on first use. Wine's own messages are
# silenced; the program's output, and its exit code, pass through unchanged.
set -eu
prefix=$1
shift

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts, and no windows: the tests need no display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  # Tests run in parallel: one of them makes the prefix, the others wait.
  flock "$prefix.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || wineboot --init' >/dev/null 2>&1 || true
fi

# A server that outlives single runs: each start of a test process then takes
# a few hundredths of a second instead of seconds. It ends after 60 s idle.
wineserver -p60 >/dev/null 2>&1 || true

exec wine "$@"
