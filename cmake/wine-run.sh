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
# tests need no display. Only the smoke test of the real window
# (TIDEWELL_WINE_DISPLAY=1) keeps the X display it was given; a session that
# already runs keeps whichever display it started with.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
if [ "${TIDEWELL_WINE_DISPLAY:-}" != 1 ]; then
  unset DISPLAY WAYLAND_DISPLAY
fi

# The operators run Chinese Windows: ANSI code page 936 (GBK), which is how
# Windows reads a Config.ini that carries no byte-order mark. Wine takes the
# code page from the locale's name, and host file names in UTF-8 from the
# host's locale of that name; it is built once into the build folder
# (Debian package locales), so the host's own setup does not matter.
locales="$prefix.locale"
if [ ! -f "$locales/zh_CN.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$locales"
  flock "$locales.lock" sh -c '[ -f "$1/zh_CN.UTF-8/LC_CTYPE" ] || localedef -i zh_CN -f UTF-8 "$1/zh_CN.UTF-8"' \
    sh "$locales" >/dev/null 2>&1 || true
fi
if [ -f "$locales/zh_CN.UTF-8/LC_CTYPE" ]; then
  export LOCPATH="$locales" LC_ALL=zh_CN.UTF-8
else
  echo "wine-run.sh: cannot build the zh_CN.UTF-8 locale (is the package locales installed?);" \
       "running with code page 1252" >&2
  export LC_ALL=C.UTF-8
fi
# Their clocks, too, are Chinese: UTC+8 without daylight saving. A zone away
# from UTC also shows that entry times are converted to local time. The POSIX
# form reads the same to the host and to the Windows C runtime.
export TZ=CST-8

# The first program of a Wine session starts Wine's services, and they inherit
# its output: CTest would then wait for them to end before it sees the test
# end. So the session is started here, away from the output, by whichever of
# the tests running side by side comes first. The server stays 60 s after the
# last program ends, so a test start then costs a tenth of a second.
mkdir -p "$prefix"
flock -o "$prefix.lock" sh -c '
  wineserver -k0 && exit 0
  # No program runs now: a drive letter that still leads into the temporary
  # folder of a test, or nowhere, was left by a test that died before it
  # could remove it (tests/support/temp_drive.cpp).
  for link in "$WINEPREFIX"/dosdevices/[d-y]:; do
    [ -L "$link" ] || continue
    case "$(readlink "$link")" in
      */tidewell-test-*) rm -f "$link" ;;
      *) [ -e "$link" ] || rm -f "$link" ;;
    esac
  done
  wineserver -p60
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # A new prefix. The session that made it keeps running what the setup
    # started, and there the desktop of every windowed test lingers for
    # many seconds after it, holding its output; a fresh session does not.
    wineboot --init
    wineserver -k
    wineserver -w
    wineserver -p60
  fi
  wineboot
  # Once per prefix. A Chinese Windows has SimSun (宋体), the font of the
  # window: here WenQuanYi Micro Hei stands in (fonts-wqy-microhei), drawn
  # from outlines; Wine clips the 12-pixel bitmaps of WenQuanYi Zen Hei, the
  # next family the window would take. And with a display (the smoke test on
  # Xvfb, which has no window manager) Wine draws window frames itself, as
  # Windows does.
  if [ ! -f "$WINEPREFIX/tidewell-setup.done" ]; then
    for name in 宋体 SimSun NSimSun; do
      wine reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "$name" /d "WenQuanYi Micro Hei" /f
    done
    wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f
    touch "$WINEPREFIX/tidewell-setup.done"
  fi
' </dev/null >/dev/null 2>&1 || true

exec wine "$@"
