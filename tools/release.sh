#!/usr/bin/env bash
# Builds the release programs for 32-bit and 64-bit Windows and packs each, with the
# player's README, into dist/TuneGrin-<version>-win32.zip and -win64.zip, and into a
# setup program, dist/TuneGrin-<version>-win32-setup.exe and -win64-setup.exe; builds the
# Debian package dist/tunegrin_<version>-1_amd64.deb from source, which must hold the same
# 64-bit program (tools/make_deb.sh); their SHA-256 sums into dist/SHA256SUMS. The same
# commit gives the same bytes in any folder, on any day: every time stamp in them is
# SOURCE_DATE_EPOCH (release_epoch in common.sh).
#   tools/release.sh            the release in dist/
#   tools/release.sh --verify   builds it twice, from two clones of HEAD, and compares
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

[ "${1:-}" != --verify ] || exec bash "$TOP/tools/release_verify.sh"

ensure_packages "${RELEASE_PACKAGES[@]}"
release_epoch

version=$(tunegrin_version)

release_root=$BUILD_ROOT/release
dist=$TOP/dist
mkdir -p "$dist"
shipped=()

pack() {
    local arch=$1 bits=$2
    # The programs hold no time at all, not even the release's: gcc would put it in
    # __DATE__, and a build date planted there would pass unseen.
    (unset SOURCE_DATE_EPOCH; build_game "$arch")
    local stage=$release_root/stage-$bits
    rm -rf "$stage"
    mkdir -p "$stage/TuneGrin-$version"
    cp "$release_root/$arch/tunegrin.exe" "$stage/TuneGrin-$version/"
    # Notepad wants CR LF line ends.
    sed 's/$/\r/' "$TOP/tools/README-player.txt" > "$stage/TuneGrin-$version/README.txt"
    local archive=$dist/TuneGrin-$version-$bits.zip
    rm -f "$archive"
    # Nothing of the builder's: fixed modes, the release's time (zip keeps local times, so
    # in UTC), names in C order, and no extra fields (-X), which hold ids and Unix times.
    chmod 755 "$stage/TuneGrin-$version" "$stage/TuneGrin-$version/tunegrin.exe"
    chmod 644 "$stage/TuneGrin-$version/README.txt"
    find "$stage" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
    (cd "$stage" && find "TuneGrin-$version" | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$archive")
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
    shipped+=("$archive" "$setup")
}

echo "== TuneGrin $version"
pack i686 win32
pack x86_64 win64
deb=$dist/tunegrin_$version-1_amd64.deb
bash "$TOP/tools/make_deb.sh" "$release_root/x86_64/tunegrin.exe" "$deb"
echo "== $deb"
dpkg-deb -c "$deb" | awk '{print "   " $NF}' | grep -v '/$'
shipped+=("$deb")

# What a player checks a download against: `sha256sum -c SHA256SUMS` in dist/.
(cd "$dist" && sha256sum -- "${shipped[@]##*/}" > SHA256SUMS)
echo "== $dist/SHA256SUMS"
sed 's/^/   /' "$dist/SHA256SUMS"
