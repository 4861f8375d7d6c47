#!/usr/bin/env bash
# Makes both packages in dist/: the Debian package (package-deb.sh), then the
# Windows zip (package-windows.sh). Each installs what it needs.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$ROOT/scripts/package-deb.sh"
"$ROOT/scripts/package-windows.sh"
echo "== packages in $ROOT/dist:"
ls -l "$ROOT/dist"
