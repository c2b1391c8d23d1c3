#!/usr/bin/env bash
# Makes the Debian package from source with dpkg-buildpackage, as Debian builds it: debian/rules
# compiles the 64-bit game with mingw-w64. It builds in a staging copy of the tree (its files
# as they stand, without build folders or what git ignores), so the tree stays clean. The
# program it compiles must be EXE's bytes (the release's, or the test tree's, which
# tools/same_bytes.sh holds to the same).
#   tools/make_deb.sh path/to/tunegrin.exe path/to/tunegrin_<version>-1_amd64.deb
# Needs DEB_PACKAGES (tools/common.sh) and debian/control's Build-Depends: dpkg-buildpackage
# names any that are missing.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [ $# -ne 2 ]; then
    echo "usage: tools/make_deb.sh path/to/tunegrin.exe path/to/package.deb" >&2
    exit 2
fi
ensure_packages "${DEB_PACKAGES[@]}"
version=$(tunegrin_version)
# The package's version and its release notes name the program's version.
packaged=$(dpkg-parsechangelog -l "$TOP/debian/changelog" -S Version)
[ "$packaged" = "$version-1" ] || { echo "debian/changelog is at $packaged, not $version-1" >&2; exit 1; }
grep -q "<release version=\"$version\"" "$TOP/tools/linux/$APP_ID.metainfo.xml" \
    || { echo "no release $version in tools/linux/$APP_ID.metainfo.xml" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
stage=$scratch/tunegrin-$version
mkdir -p "$stage"
skip=()
case $BUILD_ROOT/ in "$TOP"/*) skip=(--exclude="./${BUILD_ROOT#"$TOP"/}") ;; esac
(cd "$TOP" && tar --exclude-vcs --exclude-vcs-ignores --exclude=./dist "${skip[@]}" -cf - .) \
    | tar -xf - -C "$stage"
# dpkg-buildpackage would take the changelog's date; the release's time is the one for all.
release_epoch
(cd "$stage" && dpkg-buildpackage -b --no-sign -j"$JOBS" >"$scratch/build.log" 2>&1) \
    || { cat "$scratch/build.log" >&2; exit 1; }
deb=$scratch/tunegrin_${version}-1_amd64.deb
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/lib/tunegrin/tunegrin.exe >"$scratch/tunegrin.exe"
cmp -s "$scratch/tunegrin.exe" "$1" || {
    echo "the package's tunegrin.exe, built from source, is not the bytes of $1" >&2
    cmp -bl "$scratch/tunegrin.exe" "$1" | head -n 8 | sed 's/^/  /' >&2 || true
    exit 1
}
mv "$deb" "$2"
