#!/usr/bin/env bash
# The Windows setup, made from the built game (win32 or win64, as the program), installed and
# uninstalled silently under Wine into a temporary folder, as a school's deployment would.
#   setup_test.sh path/to/tunegrin.exe path/to/install_probe.exe win32|win64
# Wants DISPLAY, WINEPREFIX and a running wineserver, as tools/test.sh provides them.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
program=$1 probe=$2 bits=$3

fail() { echo "FAIL: $*"; exit 1; }
# Never the player's own Wine prefix, and never a wait without end: a setup stuck on a
# dialog nobody sees is stopped after 30 s (exit code 124), where it needs about one.
[ -n "${WINEPREFIX:-}" ] && [ -n "${DISPLAY:-}" ] \
    || fail "no WINEPREFIX or DISPLAY: run it through tools/test.sh"
wine_run() { timeout 30 "$WINE" "$@" 2> >(grep -v -e '^ALSA lib' -e 'Read access denied' >&2); }
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TuneGrin'
registry_value() {
    wine_run reg query "$uninstall_key" /v "$1" 2>/dev/null | tr -d '\r' \
        | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

scratch=$(mktemp -d)
game=""
trap '[ -z "$game" ] || kill "$game" 2>/dev/null; rm -rf "$scratch"' EXIT
# A home of its own: the Start-menu shortcut must not reach a Linux desktop's menu or icons.
export HOME=$scratch/home
unset XDG_DATA_HOME XDG_CONFIG_HOME
mkdir "$HOME"
bash "$TOP/tools/make_setup.sh" "$program" "$bits" "$scratch/TuneGrin-setup.exe"

folder=$scratch/TuneGrin
windows_folder="$(wine_run winepath -w "$scratch" | tr -d '\r')\\TuneGrin"
wine_run "$scratch/TuneGrin-setup.exe" /S "/D=$windows_folder" \
    || fail "the silent setup failed (exit code $?; 124: no end in 30 s)"
[ -f "$folder/tunegrin.exe" ] || fail "no tunegrin.exe in $folder after the silent setup"
cmp -s "$program" "$folder/tunegrin.exe" || fail "the installed tunegrin.exe is not the built one"

shortcut=$(wine_run "$probe" shortcut TuneGrin.lnk | tr -d '\r') \
    || fail "no Start-menu shortcut TuneGrin.lnk: $shortcut"
target=$(sed -n 's/^target=//p' <<<"$shortcut")
working=$(sed -n 's/^folder=//p' <<<"$shortcut")
# Windows paths: letters in any case name the same file.
[ "${target,,}" = "${windows_folder,,}\\tunegrin.exe" ] || fail "the shortcut starts '$target'"
[ "${working,,}" = "${windows_folder,,}" ] \
    || fail "the shortcut starts in '$working', not the install folder"
wine_run "$probe" run "$target" "$working" || fail "the game did not run as its shortcut starts it"

[ "$(registry_value DisplayName)" = TuneGrin ] || fail "no DisplayName TuneGrin in $uninstall_key"
[ "$(registry_value UninstallString)" = "\"$windows_folder\\uninstall.exe\"" ] \
    || fail "UninstallString is '$(registry_value UninstallString)'"

# Installed again over it, as if over an older version: the note choice stays, and there is
# one shortcut and one uninstall entry, with the new version.
printf '[initialize]\r\nnotes=C3,B2\r\n' > "$folder/tunegrin.ini"
wine_run reg add "$uninstall_key" /v DisplayVersion /d 0.9.0 /f >/dev/null
wine_run "$scratch/TuneGrin-setup.exe" /S "/D=$windows_folder" \
    || fail "the setup over an install failed (exit code $?)"
grep -q '^notes=C3,B2' "$folder/tunegrin.ini" || fail "the setup over an install took tunegrin.ini"
count_installs() {
    shortcuts=$(find "$WINEPREFIX/drive_c" -path '*/Start Menu/*' -iname '*tunegrin*.lnk' | wc -l)
    entries=$(wine_run reg query "${uninstall_key%\\*}" /s | grep -c 'DisplayName.*TuneGrin' || true)
}
count_installs
[ "$shortcuts" -eq 1 ] && [ "$entries" -eq 1 ] \
    || fail "$shortcuts shortcuts and $entries uninstall entries after the setup over an install"
[ "$(registry_value DisplayVersion)" = "$(tunegrin_version)" ] \
    || fail "DisplayVersion is '$(registry_value DisplayVersion)', not $(tunegrin_version)"

# While the game runs from the folder, the setup and the uninstaller stop (exit code 2)
# with everything in place.
(cd "$folder" && exec "$WINE" tunegrin.exe </dev/null >/dev/null 2>&1) &
game=$!
wine_run "$probe" wait || fail "the installed game showed no window"
code=0
wine_run "$scratch/TuneGrin-setup.exe" /S "/D=$windows_folder" || code=$?
[ $code -eq 2 ] || fail "the setup gave exit code $code, not 2, while the game ran"
code=0
wine_run "$folder/uninstall.exe" /S "_?=$windows_folder" || code=$?
[ $code -eq 2 ] || fail "the uninstaller gave exit code $code, not 2, while the game ran"
count_installs
[ -f "$folder/uninstall.exe" ] && [ "$shortcuts" -eq 1 ] && [ "$entries" -eq 1 ] \
    || fail "the uninstaller took something while the game ran"
wine_run "$probe" close || fail "the game's window was gone"
timeout 30 tail --pid="$game" -f /dev/null || fail "the game did not end after its window closed"
game=""

# The player's note choice outlives a silent uninstall. _?= keeps the uninstaller in the
# folder, so Wine waits for it; it cannot delete itself then.
wine_run "$folder/uninstall.exe" /S "_?=$windows_folder" \
    || fail "the silent uninstall failed (exit code $?; 124: no end in 30 s)"
[ ! -e "$folder/tunegrin.exe" ] || fail "tunegrin.exe is still there after the uninstall"
grep -q '^notes=C3,B2' "$folder/tunegrin.ini" 2>/dev/null || fail "the uninstall took tunegrin.ini"
left=$(wine_run "$probe" shortcut TuneGrin.lnk | tr -d '\r' || true)
[ "$left" = missing ] || fail "the Start-menu shortcut is still there after the uninstall: $left"
if wine_run reg query "$uninstall_key" >/dev/null 2>&1; then
    fail "$uninstall_key is still there after the uninstall"
fi
left=$(cd "$HOME" && find . -mindepth 1 | head -n 5)
[ -z "$left" ] || fail "Wine wrote into the home: $left"
echo "setup, shortcut, game window, uninstall entry and uninstall, the home untouched: all as expected"
