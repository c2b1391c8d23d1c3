#!/usr/bin/env bash
# Builds the release programs for 32-bit and 64-bit Windows and packs each, with the
# player's README, into dist/TuneGrin-<version>-win32.zip and -win64.zip, and into a
# setup program, dist/TuneGrin-<version>-win32-setup.exe and -win64-setup.exe; the 64-bit
# program also into the Debian package dist/tunegrin_<version>-1_amd64.deb.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}" zip nsis

version=$(tunegrin_version)

release_root=$BUILD_ROOT/release
dist=$TOP/dist
mkdir -p "$dist"

pack() {
    local arch=$1 bits=$2
    build_game "$arch"
    local stage=$release_root/stage-$bits
    rm -rf "$stage"
    mkdir -p "$stage/TuneGrin-$version"
    cp "$release_root/$arch/tunegrin.exe" "$stage/TuneGrin-$version/"
    # Notepad wants CR LF line ends.
    sed 's/$/\r/' "$TOP/tools/README-player.txt" > "$stage/TuneGrin-$version/README.txt"
    local archive=$dist/TuneGrin-$version-$bits.zip
    rm -f "$archive"
    (cd "$stage" && zip -q -X -r "$archive" "TuneGrin-$version")
    echo "== $archive"
    unzip -l "$archive" | sed 's/^/   /'
    # The game and its README alone: nothing from the test trees, such as their stand-in
    # winmm.dll, may ship. The setup installs the one program file it is given.
    local extra
    extra=$(unzip -Z1 "$archive" | grep -vE "^TuneGrin-$version/(tunegrin\.exe|README\.txt)?\$" || true)
    if [ -n "$extra" ]; then
        echo "$archive holds more than the game and its README: $extra" >&2
        exit 1
    fi
    local setup=$dist/TuneGrin-$version-$bits-setup.exe
    bash "$TOP/tools/make_setup.sh" "$release_root/$arch/tunegrin.exe" "$bits" "$setup"
    echo "== $setup"
}

echo "== TuneGrin $version"
pack i686 win32
pack x86_64 win64
deb=$dist/tunegrin_$version-1_amd64.deb
bash "$TOP/tools/make_deb.sh" "$release_root/x86_64/tunegrin.exe" "$deb"
echo "== $deb"
dpkg-deb -c "$deb" | awk '{print "   " $NF}' | grep -v '/$'
