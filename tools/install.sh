#!/usr/bin/env bash
# Installs TuneGrin for the current user, without root: the game and its Wine launcher in
# ~/.local/share/tunegrin/ (where the settings live too), a menu entry and the icon.
#   tools/install.sh [path/to/tunegrin.exe]   default: the 64-bit build, built first
#   tools/install.sh --uninstall              removes them and TuneGrin's Wine prefix,
#                                             keeps the settings (tunegrin.ini)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

data_home=$(dirname "$TUNEGRIN_DATA")
desktop_entry=$data_home/applications/tunegrin.desktop
# The launcher is tools/tunegrin-wine.sh with the part of common.sh it uses.
launcher_files=(tunegrin-wine.sh common.sh)

uninstall() {
    rm -f "$desktop_entry" "$data_home"/icons/hicolor/*/apps/tunegrin.png
    for file in tunegrin.exe "${launcher_files[@]}"; do rm -f "$TUNEGRIN_DATA/$file"; done
    rm -rf "$TUNEGRIN_DATA/wine"
    rmdir "$TUNEGRIN_DATA" 2>/dev/null || true      # unless the settings are there
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
    ensure_packages wine wine64 python3
else
    ensure_packages "${BUILD_PACKAGES[@]}" python3
    build_windows x86_64 >/dev/null
    exe=$BUILD_ROOT/x86_64/tunegrin.exe
fi
[ -f "$exe" ] || { echo "no program at $exe" >&2; exit 1; }

mkdir -p "$TUNEGRIN_DATA" "$data_home/applications"
install -m 644 "$exe" "$TUNEGRIN_DATA/tunegrin.exe"
for file in "${launcher_files[@]}"; do install -m 755 "$TOP/tools/$file" "$TUNEGRIN_DATA/"; done

picture=$(mktemp)
size=$(python3 "$TOP/tools/ico_to_png.py" "$TOP/resources/tunegrin.ico" "$picture")
mkdir -p "$data_home/icons/hicolor/${size}x$size/apps"
install -m 644 "$picture" "$data_home/icons/hicolor/${size}x$size/apps/tunegrin.png"
rm -f "$picture"

cat > "$desktop_entry" <<ENTRY
[Desktop Entry]
Type=Application
Name=TuneGrin
GenericName=Sight-reading game
Comment=Learn to read notes on the treble staff
Exec=bash "$TUNEGRIN_DATA/tunegrin-wine.sh" "$TUNEGRIN_DATA/tunegrin.exe"
Icon=tunegrin
Terminal=false
Categories=Game;Education;Music;
ENTRY
echo "TuneGrin installed: $desktop_entry"
echo "Settings: $TUNEGRIN_DATA/tunegrin.ini"
