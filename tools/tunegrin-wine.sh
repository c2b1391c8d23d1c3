#!/usr/bin/env bash
# Runs a built tunegrin.exe through the players' launcher (linux/tunegrin), the player's Wine
# prefix copied from the build folder's template when it needs one, as the package's launcher
# copies the machine's: for tools/play.sh, the benchmark and tests/alsa/many_starts.sh.
#   tools/tunegrin-wine.sh [path/to/tunegrin.exe]     default: the game built alone
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

exe=${1:-$BUILD_ROOT/release/x86_64/tunegrin.exe}
data=$(tunegrin_data)
ensure_template "$BUILD_TEMPLATE"
player_prefix "$data/wine" "$BUILD_TEMPLATE"
exec bash "$TOP/linux/tunegrin" "$exe"
