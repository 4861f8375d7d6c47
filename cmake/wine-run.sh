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
# No Mono or Gecko installer prompts, no menu entries, and no windows: the
# tests need no display.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
unset DISPLAY WAYLAND_DISPLAY
# The operators run Chinese Windows: ANSI code page 936 (GBK), which is how
# Windows reads a Config.ini that carries no byte-order mark. Wine takes its
# locale from here and needs no host locale for it.
export LC_ALL=zh_CN.UTF-8

# The first program of a Wine session starts Wine's services, and they inherit
# its output: CTest would then wait for them to end before it sees the test
# end. So the session is started here, away from the output, by whichever of
# the tests running side by side comes first. The server stays 60 s after the
# last program ends, so a test start then costs a tenth of a second.
mkdir -p "$prefix"
flock -o "$prefix.lock" sh -c '
  wineserver -k0 && exit 0
  wineserver -p60
  if [ -f "$WINEPREFIX/system.reg" ]; then wineboot; else wineboot --init; fi
' </dev/null >/dev/null 2>&1 || true

exec wine "$@"
