#!/usr/bin/env bash
# Runs a built tunegrin.exe under Wine in a prefix of its own, so the player's default
# Wine prefix is never touched. Settings (tunegrin.ini) live in the game's data folder.
#   tools/tunegrin-wine.sh [path/to/tunegrin.exe]
#   tools/tunegrin-wine.sh --template     (root) makes the machine's prefix template that
#                                         new players' prefixes are copied from
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [ "${1:-}" = "--template" ]; then
    ensure_template "$MACHINE_TEMPLATE"
    exit
fi
exe=${1:-$BUILD_ROOT/release/x86_64/tunegrin.exe}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
data=$TUNEGRIN_DATA
mkdir -p "$data"
prepare_prefix "$data/wine"
# From source, tools/play.sh and tools/install.sh name the build's own template.
player_prefix "$WINEPREFIX" "${TUNEGRIN_TEMPLATE:-$MACHINE_TEMPLATE}" \
    || { echo "TuneGrin could not prepare its Wine prefix in $WINEPREFIX." >&2; exit 1; }

XVFB_PID=""
if [ -z "${DISPLAY:-}" ]; then
    start_xvfb 1024x768x24
    echo "No X display: TuneGrin runs on the virtual display $DISPLAY (end it with Ctrl+C)."
    trap 'stop_wine; stop_xvfb' EXIT
fi
echo "Settings: $data/tunegrin.ini"
cd "$data"
status=0
"$WINE" "$exe" </dev/null 2> >(grep -v -e '^ALSA lib' >&2) || status=$?
exit $status
