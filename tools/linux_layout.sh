#!/usr/bin/env bash
# The Linux layout of TuneGrin, one set of rules for the Debian package and tools/install.sh:
# the game with its launcher (linux/, nothing of the tools), a menu entry, the icon at every size it has and the
# AppStream metainfo that software centres show.
#   tools/linux_layout.sh EXE DESTDIR SHARE PROGRAM_DIR EXEC
# SHARE (e.g. /usr/share) and PROGRAM_DIR (the game's own folder) are the installed paths,
# written under DESTDIR (empty, or the package's staging folder); EXEC is the menu's command.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
if [ $# -ne 5 ]; then
    echo "usage: tools/linux_layout.sh EXE DESTDIR SHARE PROGRAM_DIR EXEC" >&2
    exit 2
fi
exe=$1 share=$2$3 program_dir=$2$4 exec_line=$5

install -d "$program_dir" "$share/applications" "$share/metainfo"
install -m 644 "$exe" "$program_dir/tunegrin.exe"
# The launcher finds the program and its prefix logic beside itself.
install -m 755 "$TOP/linux/tunegrin" "$program_dir/"
install -m 644 "$TOP/linux/prefix.sh" "$program_dir/"
# The icon at every size tools/make_sprites.py draws it for Linux desktops.
for png in "$TOP"/resources/icons/tunegrin-*.png; do
    size=${png##*-} && size=${size%.png}
    install -D -m 644 "$png" "$share/icons/hicolor/${size}x$size/apps/tunegrin.png"
done
install -m 644 "$TOP/tools/linux/$APP_ID.metainfo.xml" "$share/metainfo/"

cat > "$share/applications/$APP_ID.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=TuneGrin
GenericName=Sight-reading game
Comment=Learn to read notes on the treble staff
Exec=$exec_line
Icon=tunegrin
Terminal=false
Categories=Game;Education;Music;
Keywords=music;notes;staff;sight-reading;MIDI;
ENTRY
chmod 644 "$share/applications/$APP_ID.desktop"
