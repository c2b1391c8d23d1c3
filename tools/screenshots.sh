#!/usr/bin/env bash
# Renders the README's screenshots into docs/ from a real game window under Wine.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${SCREENSHOT_PACKAGES[@]}"
build_windows x86_64
cmake -S "$TOP" -B "$BUILD_ROOT/x86_64" -DTUNEGRIN_TOOLS=ON >/dev/null
cmake --build "$BUILD_ROOT/x86_64" -j "$JOBS" --target take_screenshots
XVFB_PID=""
trap 'stop_wine; stop_xvfb' EXIT
test_prefix "$BUILD_ROOT/wineprefix-shots"
start_xvfb 800x600x24
start_wine
shots=$(mktemp -d)
(cd "$shots" && "$WINE" "$BUILD_ROOT/x86_64/tools/take_screenshots.exe" 'Z:'"$shots" </dev/null)
mkdir -p "$TOP/docs"
for shot in "$shots"/*.bmp; do
    name=$(basename "$shot" .bmp)
    convert "$shot" -strip "$TOP/docs/$name.png"
    echo "docs/$name.png"
done
rm -rf "$shots"
