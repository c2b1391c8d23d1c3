#!/usr/bin/env bash
# Builds the game alone (no test programs) and runs it under Wine (on Linux), installing
# what is missing first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${GAME_PACKAGES[@]}"
build_game x86_64
exec bash "$TOP/tools/tunegrin-wine.sh" "$BUILD_ROOT/release/x86_64/tunegrin.exe"
