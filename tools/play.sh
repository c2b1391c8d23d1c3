#!/usr/bin/env bash
# Builds the game alone (no test programs) and runs it under Wine (on Linux), installing
# what is missing first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${GAME_PACKAGES[@]}"
build_game x86_64
# The player's prefix is copied from the build folder's template, made once per Wine.
ensure_template "$BUILD_TEMPLATE"
TUNEGRIN_TEMPLATE=$BUILD_TEMPLATE exec bash "$TOP/tools/tunegrin-wine.sh" "$BUILD_ROOT/release/x86_64/tunegrin.exe"
