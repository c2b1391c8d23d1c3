#!/usr/bin/env bash
# tools/install.sh for a player whose home is a temporary folder: the files, a valid menu
# entry that starts the installed launcher, and an uninstall that keeps the settings.
#   linux_install_test.sh path/to/tunegrin.exe
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
program=$1

fail() { echo "FAIL: $*"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
as_player() { env -u XDG_DATA_HOME HOME="$scratch" bash "$TOP/tools/install.sh" "$@"; }

as_player "$program" >/dev/null || fail "tools/install.sh failed"
data=$scratch/.local/share/tunegrin
entry=$scratch/.local/share/applications/$APP_ID.desktop
icon=$scratch/.local/share/icons/hicolor/32x32/apps/tunegrin.png
cmp -s "$program" "$data/tunegrin.exe" || fail "no copy of the built game in $data"
[ -f "$entry" ] || fail "no desktop entry $entry"
command -v desktop-file-validate >/dev/null || fail "no desktop-file-validate (desktop-file-utils)"
report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
report=$(grep -v ': hint: ' <<<"$report" || true)      # hints, such as two main categories, pass
[ -z "$report" ] || fail "desktop-file-validate: $report"
grep -qx 'Name=TuneGrin' "$entry" || fail "the desktop entry has no Name=TuneGrin"
grep -qx 'Categories=Game;Education;Music;' "$entry" || fail "wrong categories in the desktop entry"
grep -qx "Exec=bash \"$data/tunegrin-wine.sh\" \"$data/tunegrin.exe\"" "$entry" \
    || fail "the desktop entry does not start the installed launcher: $(grep '^Exec=' "$entry")"
bash -n "$data/tunegrin-wine.sh" && [ -f "$data/common.sh" ] || fail "the launcher is incomplete"
grep -qx 'Icon=tunegrin' "$entry" || fail "the desktop entry names no icon tunegrin"
head -c 24 "$icon" 2>/dev/null | od -An -tx1 | tr -d ' \n' \
    | grep -qx '89504e470d0a1a0a0000000d494844520000002000000020' || fail "no 32 x 32 PNG at $icon"

# The player's Wine prefix is there already, this Wine's and small: Wine's files are links.
prefix_is_current "$data/wine" || fail "no current Wine prefix in $data/wine after the install"
size=$(du -sm "$data/wine" | cut -f1)
[ "$size" -le 64 ] || fail "the player's Wine prefix takes $size MB"
links=$(find "$data/wine/drive_c/users" -type l)
[ -z "$links" ] || fail "the prefix's user folders are links: $links"

echo 'notes=C3' > "$data/tunegrin.ini"
as_player --uninstall >/dev/null || fail "tools/install.sh --uninstall failed"
left=$(cd "$scratch" && find . -type f ! -path ./.local/share/tunegrin/tunegrin.ini)
[ -z "$left" ] || fail "the uninstall left: $left"
grep -qx 'notes=C3' "$data/tunegrin.ini" 2>/dev/null || fail "the uninstall took tunegrin.ini"
echo "install, desktop entry, icon and uninstall: all as expected"
