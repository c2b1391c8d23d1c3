#!/usr/bin/env bash
# Installs TuneGrin for the current user, without root: the game and its launcher (linux/) in
# ~/.local/share/tunegrin/ (where the settings live too), a menu entry, the icon and the
# metainfo, laid out by tools/linux_layout.sh as in the Debian package.
#   tools/install.sh [path/to/tunegrin.exe]   default: the 64-bit build, built first
#   tools/install.sh --uninstall              removes them and TuneGrin's Wine prefix,
#                                             keeps the settings (tunegrin.ini)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

TUNEGRIN_DATA=$(tunegrin_data)
data_home=$(dirname "$TUNEGRIN_DATA")
desktop_entry=$data_home/applications/$APP_ID.desktop

uninstall() {
    # tunegrin.desktop: the name the menu entry had before.
    rm -f "$desktop_entry" "$data_home/applications/tunegrin.desktop" \
        "$data_home/metainfo/$APP_ID.metainfo.xml" "$data_home"/icons/hicolor/*/apps/tunegrin.png
    # tunegrin-wine.sh and common.sh: the launcher before it had a folder of its own.
    rm -f "$TUNEGRIN_DATA"/{tunegrin.exe,tunegrin,prefix.sh,tunegrin-wine.sh,common.sh}
    rm -rf "$TUNEGRIN_DATA/wine" "$TUNEGRIN_DATA/wine.lock"
    rmdir "$TUNEGRIN_DATA" "$data_home/metainfo" 2>/dev/null || true   # each only when empty
    echo "TuneGrin removed; settings, if any, kept in $TUNEGRIN_DATA"
}

if [ "${1:-}" = "--uninstall" ]; then
    uninstall
    exit 0
fi

# The desktop entry quotes these paths; keep clear of the characters it would have to escape.
case $TUNEGRIN_DATA in
    *[\"\`\$\\%]*) echo "cannot install into $TUNEGRIN_DATA: its name has one of \" \` \$ \\ %" >&2
                   exit 1 ;;
esac
if [ $# -ge 1 ]; then
    exe=$1
    ensure_packages "${INSTALL_PACKAGES[@]}"
else
    ensure_packages "${GAME_PACKAGES[@]}" "${INSTALL_PACKAGES[@]}"
    build_game x86_64
    exe=$BUILD_ROOT/release/x86_64/tunegrin.exe
fi
[ -f "$exe" ] || { echo "no program at $exe" >&2; exit 1; }

bash "$TOP/tools/linux_layout.sh" "$exe" "" "$data_home" "$TUNEGRIN_DATA" \
    "bash \"$TUNEGRIN_DATA/tunegrin\"" >/dev/null
rm -f "$TUNEGRIN_DATA"/{tunegrin-wine.sh,common.sh}        # an older install's launcher
# The player's Wine prefix, copied now from the build folder's template (made once per Wine),
# so that the first start is as quick as any; whole, so that it outlives the build folder,
# even where tools/play.sh made one that shares the template's folders.
ensure_template "$BUILD_TEMPLATE"
player_prefix "$TUNEGRIN_DATA/wine" "$BUILD_TEMPLATE" whole
echo "TuneGrin installed: $desktop_entry"
echo "Settings: $TUNEGRIN_DATA/tunegrin.ini"
