#!/usr/bin/env bash
# Makes both packages in dist/: the Debian package (package-deb.sh), then the
# Windows zip (package-windows.sh). Each installs what it needs.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$ROOT/scripts/package-deb.sh"

if [[ ! -f "$ROOT/scripts/package-windows.sh" ]]; then
  {
    echo "######################################################################"
    echo "ERROR: scripts/package-windows.sh is missing, so the Windows zip was"
    echo "       not made. Only the Debian package is in $ROOT/dist."
    echo "######################################################################"
  } >&2
  exit 1
fi
"$ROOT/scripts/package-windows.sh"
echo "== packages in $ROOT/dist:"
ls -l "$ROOT/dist"
