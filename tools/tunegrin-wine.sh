#!/usr/bin/env bash
# Runs a built tunegrin.exe under Wine in a prefix of its own, so the player's default
# Wine prefix is never touched. Settings (tunegrin.ini) live in the game's data folder.
#   tools/tunegrin-wine.sh [path/to/tunegrin.exe]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

exe=${1:-$BUILD_ROOT/release/x86_64/tunegrin.exe}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
data=$TUNEGRIN_DATA
mkdir -p "$data"
prepare_prefix "$data/wine"

XVFB_PID=""
if [ -z "${DISPLAY:-}" ]; then
    start_xvfb 1024x768x24
    echo "No X display: TuneGrin runs on the virtual display $DISPLAY (end it with Ctrl+C)."
    trap 'stop_wine; stop_xvfb' EXIT
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing TuneGrin's own Wine prefix in $WINEPREFIX (first run only)..."
    "$WINE" wineboot -u </dev/null >/dev/null 2>&1 || true
fi
echo "Settings: $data/tunegrin.ini"
cd "$data"
status=0
"$WINE" "$exe" </dev/null 2> >(grep -v -e '^ALSA lib' >&2) || status=$?
exit $status
