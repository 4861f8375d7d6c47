#!/usr/bin/env bash
# Builds the Debian package dist/tidewell_<version>_amd64.deb (installing what
# it needs) and has lintian check it. package.sh and test.sh run it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

DEB_BUILD_DIR="${TIDEWELL_DEB_BUILD_DIR:-$ROOT/build-deb}"
DIST_DIR="$ROOT/dist"

# dpkg-dev: dpkg-buildflags, dpkg-shlibdeps, dpkg-parsechangelog; file: CPack
# uses it to find the binaries to hand to dpkg-shlibdeps.
tw_need cmake make g++ pkg-config qt6-base-dev libgl-dev dpkg-dev file lintian

# Its own build folder: the program is built the way Debian builds its
# packages (hardening flags from dpkg-buildflags), and the test build's
# options stay as they are. CMake does not read CPPFLAGS, so they go with
# CXXFLAGS, as debhelper does; --as-needed keeps libraries the program does
# not use (libGL, through Qt's link interface) out of its dependencies.
# Run from the root so that -ffile-prefix-map hides the build machine's path.
cd "$ROOT"
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS) -Wl,--as-needed"
echo "== Debian package: build in $DEB_BUILD_DIR"
cmake -S "$ROOT" -B "$DEB_BUILD_DIR" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DTIDEWELL_BUILD_TESTS=OFF -DTIDEWELL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$DEB_BUILD_DIR" -j "$JOBS" --target Tidewell tidewell_package_docs

# The version comes from CMake's project(); the changelog's newest entry must
# have been written for it.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$DEB_BUILD_DIR/CMakeCache.txt")"
changelog_version="$(dpkg-parsechangelog -l "$ROOT/packaging/linux/changelog" -S Version)"
if [[ "$version" != "$changelog_version" ]]; then
  echo "ERROR: the project version is $version, but the newest entry of" >&2
  echo "       packaging/linux/changelog is for $changelog_version: add an entry for $version." >&2
  exit 1
fi

deb_name="tidewell_${version}_$(dpkg --print-architecture).deb"
rm -f "$DEB_BUILD_DIR/$deb_name"
# The archive's time stamps are the changelog entry's, as dpkg-buildpackage
# sets them, so the same sources give the same package.
SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l "$ROOT/packaging/linux/changelog" -S Timestamp)" \
  cpack -G DEB --config "$DEB_BUILD_DIR/CPackConfig.cmake" -B "$DEB_BUILD_DIR" >/dev/null
mkdir -p "$DIST_DIR"
cp "$DEB_BUILD_DIR/$deb_name" "$DIST_DIR/$deb_name"

echo "== Debian package: lintian"
# Every level is shown; an error or a warning fails the build.
lintian --info --pedantic --fail-on error,warning "$DIST_DIR/$deb_name"
echo "== wrote $DIST_DIR/$deb_name"
