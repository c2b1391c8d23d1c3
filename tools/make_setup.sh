#!/usr/bin/env bash
# Makes the Windows setup program for one built tunegrin.exe with NSIS.
#   tools/make_setup.sh path/to/tunegrin.exe win32|win64 path/to/setup.exe
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [ $# -ne 3 ] || { [ "$2" != win32 ] && [ "$2" != win64 ]; }; then
    echo "usage: tools/make_setup.sh path/to/tunegrin.exe win32|win64 path/to/setup.exe" >&2
    exit 2
fi
ensure_packages "${SETUP_PACKAGES[@]}"
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
outfile=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
target=()
[ "$2" = win64 ] && target=(-DWIN64)
makensis -V2 -DPROGRAM="$program" -DVERSION="$(tunegrin_version)" -DOUTFILE="$outfile" \
    "${target[@]}" "$TOP/installer/tunegrin.nsi"
