#!/usr/bin/env bash
# tools/install.sh for a player whose home is a temporary folder: the files, a valid menu
# entry that starts the installed launcher, a whole prefix even over one that tools/play.sh
# made, so that the game starts at once with the build folder gone, and an uninstall that
# keeps the settings.
#   linux_install_test.sh path/to/tunegrin.exe
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
program=$1

fail() { echo "FAIL: $*"; exit 1; }
scratch=$(mktemp -d)
XVFB_PID=""
data=$scratch/.local/share/tunegrin
trap 'WINEPREFIX=$data/wine wineserver -k 2>/dev/null || true; stop_xvfb || true; rm -rf "$scratch"' EXIT
# A build folder of the test's own, which goes away below: its template a copy of the tree's.
ensure_template "$BUILD_TEMPLATE"
build=$scratch/build
mkdir "$build"
cp -a "$BUILD_TEMPLATE" "$build/"
as_player() {
    env -u XDG_DATA_HOME HOME="$scratch" TUNEGRIN_BUILD="$build" bash "$TOP/tools/install.sh" "$@"
}

# tools/play.sh played first: its prefix shares the build template's builtin folders.
mkdir -p "$data"
copy_prefix "$build/wine-template" "$data/wine" shared
as_player "$program" >/dev/null || fail "tools/install.sh failed"
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
grep -qx "Exec=bash \"$data/tunegrin\"" "$entry" \
    || fail "the desktop entry does not start the installed launcher: $(grep '^Exec=' "$entry")"
bash -n "$data/tunegrin" && bash -n "$data/prefix.sh" || fail "the launcher is incomplete"
[ ! -e "$data/common.sh" ] || fail "the developer tools were installed with the launcher"
grep -qx 'Icon=tunegrin' "$entry" || fail "the desktop entry names no icon tunegrin"
head -c 24 "$icon" 2>/dev/null | od -An -tx1 | tr -d ' \n' \
    | grep -qx '89504e470d0a1a0a0000000d494844520000002000000020' || fail "no 32 x 32 PNG at $icon"

# The player's Wine prefix is there already, this Wine's and small: Wine's files are links.
prefix_is_current "$data/wine" || fail "no current Wine prefix in $data/wine after the install"
size=$(du -sm "$data/wine" | cut -f1)
[ "$size" -le 64 ] || fail "the player's Wine prefix takes $size MB"
links=$(find "$data/wine/drive_c/users" -type l)
[ -z "$links" ] || fail "the prefix's user folders are links: $links"

# With the build folder gone, the menu's command starts the game at once: its window shows, and
# no prefix is made first.
rm -rf "$build"
start_xvfb 800x600x24
(cd / && env -u XDG_DATA_HOME HOME="$scratch" sh -c "$(sed -n 's/^Exec=//p' "$entry")" >"$scratch/start.log" 2>&1) &
game=$!
shown=""
for _ in $(seq 1 240); do
    kill -0 "$game" 2>/dev/null || break
    grep -q '"TuneGrin": ("tunegrin.exe"' <<<"$(xwininfo -root -tree 2>/dev/null || true)" && shown=yes && break
    sleep 0.5
done
WINEPREFIX=$data/wine wineserver -k 2>/dev/null || true
wait "$game" || true
[ -n "$shown" ] || fail "no game window once the build folder was gone: $(cat "$scratch/start.log")"
grep -q Preparing "$scratch/start.log" && fail "with the build folder gone, the start made a prefix: $(cat "$scratch/start.log")"
stop_xvfb
rm "$scratch/start.log"

echo 'notes=C3' > "$data/tunegrin.ini"
as_player --uninstall >/dev/null || fail "tools/install.sh --uninstall failed"
left=$(cd "$scratch" && find . -type f ! -path ./.local/share/tunegrin/tunegrin.ini)
[ -z "$left" ] || fail "the uninstall left: $left"
grep -qx 'notes=C3' "$data/tunegrin.ini" 2>/dev/null || fail "the uninstall took tunegrin.ini"
echo "install, desktop entry, icon, a whole prefix over the one tools/play.sh made, a start with the build folder gone, and uninstall: all as expected"
