#!/usr/bin/env bash
# Builds TuneGrin and runs it under Wine (on Linux), installing what is missing first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}"
build_windows x86_64 >/dev/null
exec bash "$TOP/tools/tunegrin-wine.sh" "$BUILD_ROOT/x86_64/tunegrin.exe"
