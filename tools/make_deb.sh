#!/usr/bin/env bash
# Makes the Debian package of one built 64-bit tunegrin.exe with dpkg-buildpackage (debhelper),
# in a staging copy of the files it needs, so the tree stays clean.
#   tools/make_deb.sh path/to/tunegrin.exe path/to/tunegrin_<version>-1_amd64.deb
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [ $# -ne 2 ]; then
    echo "usage: tools/make_deb.sh path/to/tunegrin.exe path/to/package.deb" >&2
    exit 2
fi
# build-essential: Debian 13's dpkg-buildpackage checks for it even when nothing is compiled.
ensure_packages dpkg-dev debhelper python3 build-essential
version=$(tunegrin_version)
# The package's version and its release notes name the program's version.
packaged=$(dpkg-parsechangelog -l "$TOP/debian/changelog" -S Version)
[ "$packaged" = "$version-1" ] || { echo "debian/changelog is at $packaged, not $version-1" >&2; exit 1; }
grep -q "<release version=\"$version\"" "$TOP/tools/linux/$APP_ID.metainfo.xml" \
    || { echo "no release $version in tools/linux/$APP_ID.metainfo.xml" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
stage=$scratch/tunegrin-$version
mkdir -p "$stage/tools" "$stage/resources"
cp -r "$TOP/debian" "$stage/"
cp -r "$TOP/linux" "$stage/"
cp -r "$TOP/tools/linux" "$TOP"/tools/{common.sh,linux_layout.sh} "$stage/tools/"
cp -r "$TOP/resources/icons" "$stage/resources/"
cp "$1" "$stage/tunegrin.exe"
# dpkg-buildpackage would take the changelog's date; the release's time is the one for all.
release_epoch
(cd "$stage" && dpkg-buildpackage -b --no-sign >"$scratch/build.log" 2>&1) \
    || { cat "$scratch/build.log" >&2; exit 1; }
mv "$scratch/tunegrin_${version}-1_amd64.deb" "$2"
