#!/usr/bin/env bash
# Installs the Debian package, starts the installed tidewell on a virtual X
# display and waits for its window, then closes it and undoes the install.
#
#   check-deb.sh [PACKAGE.deb]   default: the package package-deb.sh made last
#
# As root, on a machine where no tidewell package is installed (CI), the
# package goes onto the machine itself with apt-get, which resolves its
# dependencies, and is purged again at the end. Otherwise it is unpacked into
# a scratch root, so that nothing of the machine (or the user's own install)
# changes but the dependencies it installs.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

WINDOW_TIMEOUT="${TIDEWELL_WINDOW_TIMEOUT:-60}"
DEB_BUILD_DIR="${TIDEWELL_DEB_BUILD_DIR:-$ROOT/build-deb}"

deb="${1:-}"
if [[ -z "$deb" ]]; then
  version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$DEB_BUILD_DIR/CMakeCache.txt" 2>/dev/null || true)"
  deb="$ROOT/dist/tidewell_${version}_$(dpkg --print-architecture).deb"
fi
if [[ ! -f "$deb" ]]; then
  echo "ERROR: no package at $deb (make it with scripts/package-deb.sh)" >&2
  exit 1
fi
deb="$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"

# xvfb + xauth: xvfb-run; x11-utils: xwininfo.
tw_need xvfb xauth x11-utils

scratch="$(mktemp -d /tmp/tidewell-deb-check.XXXXXX)"
installed_here=0
cleanup() {
  if [[ $installed_here == 1 ]]; then
    echo "== Debian package: removing it again"
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 purge -y -qq tidewell >/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

if [[ "$(id -u)" -eq 0 ]] && ! dpkg-query -W -f='${Status}' tidewell 2>/dev/null | grep -q "ok installed"; then
  echo "== Debian package: installing $(basename "$deb") on this machine"
  installed_here=1
  # Other apt-get runs on the machine may hold the lock for a while.
  apt=(apt-get -o DPkg::Lock::Timeout=300)
  if ! { "${apt[@]}" update -qq && DEBIAN_FRONTEND=noninteractive \
         "${apt[@]}" install -y --no-install-recommends "$deb"; } >"$scratch/apt.log" 2>&1; then
    cat "$scratch/apt.log" >&2
    echo "ERROR: apt-get could not install $deb" >&2
    exit 1
  fi
  prefix=""
else
  echo "== Debian package: unpacking $(basename "$deb") into a scratch root"
  dpkg-deb -x "$deb" "$scratch/root"
  # The dependencies themselves come from the machine: the first choice of
  # each, as apt-get would take it.
  mapfile -t deps < <(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/[[:space:]]//g' | grep .)
  tw_need "${deps[@]}"
  prefix="$scratch/root"
fi

program="$prefix/usr/bin/tidewell"
desktop="$prefix/usr/share/applications/tidewell.desktop"
title="Tidewell$(dpkg-deb -f "$deb" Version)"
wm_class="$(sed -n 's/^StartupWMClass=//p' "$desktop")"
for f in "$program" "$desktop" "$prefix/usr/share/icons/hicolor/scalable/apps/tidewell.svg" \
         "$prefix/usr/share/icons/hicolor/256x256/apps/tidewell.png"; do
  [[ -e "$f" ]] || { echo "ERROR: the package did not install $f" >&2; exit 1; }
done

# Everything the toolkit writes (caches, settings) goes to a fresh home. The
# program takes its own C: folder (~/.local/share/Tidewell/drive_c) from the
# password database, not from HOME; starting and closing it must leave that
# folder as it was.
c_home="$(getent passwd "$(id -u)" | cut -d: -f6)/.local/share/Tidewell"
c_before="$(find "$c_home" -printf '%p %s %T@\n' 2>/dev/null | sort || true)"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_CACHE_HOME="$scratch/home/.cache"
export XDG_DATA_HOME="$scratch/home/.local/share" XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb

echo "== Debian package: starting $program under Xvfb, waiting for the window \"$title\""
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  program="$1" title="$2" wm_class="$3" timeout="$4" log="$5"
  "$program" >"$log" 2>&1 &
  pid=$!
  deadline=$((SECONDS + timeout))
  while :; do
    line="$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\": (" | head -n 1)"
    if [[ -n "$line" ]]; then
      id="$(awk "{print \$1}" <<<"$line")"
      if xwininfo -id "$id" 2>/dev/null | grep -q "Map State: IsViewable"; then break; fi
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; echo "ERROR: tidewell ended (status $?) before its window appeared" >&2; exit 1
    fi
    if (( SECONDS >= deadline )); then
      echo "ERROR: no window \"$title\" appeared within ${timeout} s" >&2
      xwininfo -root -tree >&2 || true
      kill "$pid"; exit 1
    fi
    sleep 0.2
  done
  echo "   window: $line"
  status=0
  # The desktop entry names the window class so that docks and task bars
  # can put the window under the menu entry.
  if [[ "$line" != *"\"$wm_class\")"* ]]; then
    echo "ERROR: the window class is not StartupWMClass=$wm_class of the desktop entry" >&2
    status=1
  fi
  kill -TERM "$pid"
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    echo "ERROR: tidewell did not end after SIGTERM" >&2; kill -KILL "$pid"; status=1
  fi
  exit $status
' check-deb "$program" "$title" "$wm_class" "$WINDOW_TIMEOUT" "$scratch/tidewell.log" || status=$?

if [[ -s "$scratch/tidewell.log" ]]; then
  echo "   tidewell's output:"
  sed 's/^/   | /' "$scratch/tidewell.log"
fi
c_after="$(find "$c_home" -printf '%p %s %T@\n' 2>/dev/null | sort || true)"
if [[ "$c_before" != "$c_after" ]]; then
  echo "ERROR: starting and closing tidewell changed $c_home" >&2
  diff <(echo "$c_before") <(echo "$c_after") >&2 || true
  status=1
fi
if [[ $status != 0 ]]; then
  echo "######################################################################" >&2
  echo "ERROR: the installed Debian package failed its start check." >&2
  echo "######################################################################" >&2
  exit "$status"
fi
echo "== Debian package: the installed tidewell opened its window and closed"
