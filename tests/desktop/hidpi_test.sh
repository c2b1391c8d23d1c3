#!/usr/bin/env bash
# The game at HiDPI as a player starts it: a 3840x2160 screen whose desktop says 2x (Xft.dpi
# 192 in the display's X resources), under openbox, through the launcher in the player's prefix.
# On Wine 10 and later the launcher gives the prefix 192 dpi and Wine draws the game twice as
# large; on Wine 8, which would enlarge only fonts and dialogs, it keeps 96 and the game shows
# at its own size. Judged from the screen (Xvfb's frame buffer) at that scale: the staff lines'
# thickness, a right answer's mark in its place, and middle C's key on the on-screen keyboard
# answering a click at its place.
#   hidpi_test.sh path/to/tunegrin.exe path/to/install_probe.exe
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
program=$1 probe=$2
WIDTH=3840 HEIGHT=2160 DPI=192

fail() {
    echo "FAIL: $*"
    [ ! -f "${screen:-}" ] || { cp "$screen" "${TMPDIR:-/tmp}/hidpi_test_screen.xwd" \
        && echo "the screen: ${TMPDIR:-/tmp}/hidpi_test_screen.xwd"; }
    exit 1
}
ensure_packages openbox xdotool netpbm x11-utils x11-xserver-utils >/dev/null
ensure_template "$BUILD_TEMPLATE" || fail "no player's prefix template"
# What players get: twice the size from Wine 10 on, the game's own size before.
major=$("$WINE" --version | sed -n 's/^wine-\([0-9]*\).*/\1/p')
scale=1
[ "${major:-0}" -lt 10 ] || scale=2
source "$(dirname "${BASH_SOURCE[0]}")/rig.sh"
# -noreset: as a player's X server, not reset (its resources gone) between clients.
start_xvfb "${WIDTH}x${HEIGHT}x24" -noreset -fbdir "$scratch/fb" || fail "no display"
screen=$scratch/fb/Xvfb_screen0
export HOME=$scratch/home XDG_DATA_HOME=$scratch/data
unset WINEPREFIX XDG_CONFIG_HOME GDK_SCALE QT_SCALE_FACTOR
prefix=$scratch/data/tunegrin/wine

display_up() { kill -0 "$XVFB_PID" && xprop -root >/dev/null; }
wait_for 20 display_up || fail "the display $DISPLAY does not answer"
openbox >"$scratch/wm.log" 2>&1 & pids+=($!)
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
wait_for 20 wm_up || fail "openbox did not start: $(cat "$scratch/wm.log")"
echo "Xft.dpi: $DPI" | xrdb -nocpp -merge && xrdb -query | grep -q "^Xft.dpi:.$DPI\$" \
    || fail "xrdb could not load the desktop's scale: $(xrdb -query)"

printf '[initialize]\r\nnotes=C3\r\n' > "$scratch/data/tunegrin/tunegrin.ini"
env TUNEGRIN_TEMPLATE="$BUILD_TEMPLATE" bash "$TOP/tools/tunegrin-wine.sh" "$program" \
    </dev/null >"$scratch/launcher.log" 2>&1 &
launcher_pid=$!
window=""
game_window() { window=$(xdotool search --onlyvisible --name '^TuneGrin$' | head -n 1); [ -n "$window" ]; }
wait_for 60 game_window || fail "no TuneGrin window in 60 s: $(cat "$scratch/launcher.log")"
! grep -q 'could not set' "$scratch/launcher.log" || fail "the launcher: $(cat "$scratch/launcher.log")"

# The prefix's system DPI, as the running game's Wine has it.
logpixels=$(WINEPREFIX=$prefix WINEDEBUG=-all "$WINE" reg query 'HKCU\Control Panel\Desktop' /v LogPixels 2>/dev/null \
    | tr -d "\r" | awk '$1 == "LogPixels" { print $3 }' || true)
[ $((${logpixels:-0x60})) -eq $((96 * scale)) ] \
    || fail "Wine $major's prefix has LogPixels ${logpixels:-none}, not $((96 * scale)) at a desktop of $DPI dpi"

# The screen's pixels in a rectangle (X Y WIDTH HEIGHT), one RGB triple a line.
pixels() { xwdtopnm "$screen" 2>/dev/null | pnmcut "$@" | pnmtoplainpnm | tail -n +4 | tr -s ' \n' '\n' | grep . | paste - - -; }
# Its ink in pixels: black counts 1, grey in between (a stretch's blended edge), white 0.
ink() { pixels "$@" | awk '{ k += (765 - $1 - $2 - $3) / 765 } END { printf "%d", k + 0.5 }'; }

# Five staff lines, 3 px each at the game's size: their ink down one column right of
# the clef, before a game puts a note there. The window's client area starts below Wine's
# caption and the menu bar, some 50 px down at the game's size.
staff() { ink $((scale * 1200)) $((scale * 50 + 20)) 1 $((scale * 300)); }
lines=0
# Waited for: a window not painted yet shows black.
staff_shown() { lines=$(staff); [ "$lines" -ge $((13 * scale)) ] && [ "$lines" -le $((17 * scale)) ]; }
wait_for 10 staff_shown || fail "the staff lines are $lines px of ink down, not about $((15 * scale)) (5 lines of $((3 * scale)) px)"

# A game with the on-screen keyboard open; the probe tells the places in the game's own terms.
places=$(WINEPREFIX=$prefix WINEDEBUG=-all "$WINE" "$probe" keyboard 2>/dev/null | tr -d "\r") \
    || fail "the probe could not open the on-screen keyboard: $places"
read -r cx cy <<<"$(sed -n 's/^client=\([0-9-]*\),\([0-9-]*\).*/\1 \2/p' <<<"$places")"
IFS=, read -r kl kt kr kb <<<"$(sed -n 's/^key=//p' <<<"$places")"
[ -n "${cx:-}" ] && [ -n "${kb:-}" ] || fail "the probe told no places: $places"

# Middle C, clicked low on its key (below the black keys) at its place on the screen.
xdotool mousemove $((scale * (kl + kr) / 2)) $((scale * (kb - (kb - kt) / 5))) click 1
mark_x=$((scale * (cx + 20))) mark_y=$((scale * (cy + HEIGHT / scale - 80)))
bmptopnm "$TOP/resources/sprite121.bmp" 2>/dev/null | pamscale $scale -filter point 2>/dev/null \
    | pnmtoplainpnm | tail -n +4 | tr -s ' \n' '\n' | grep . | paste - - - > "$scratch/mark.txt"
# Most of its pixels as the sprite's, scaled: Wine's stretch blends its edges (at 2x some 24%
# of its pixels; an empty row matches some 21%).
likeness=0
mark_shown() {
    likeness=$(pixels $mark_x $mark_y $((20 * scale)) $((20 * scale)) | paste - "$scratch/mark.txt" | awk '
        { d = ($1 - $4) ^ 2 + ($2 - $5) ^ 2 + ($3 - $6) ^ 2; n++; if (d < 3 * 40 ^ 2) k++ } END { print int(1000 * k / n) }')
    [ "$likeness" -ge 600 ]
}
wait_for 10 mark_shown || fail "no score mark at ($mark_x, $mark_y) after a click on middle C's key at its place (${likeness}/1000 of the mark's pixels)"
echo "Wine $major at $DPI dpi: LogPixels $((96 * scale)); staff lines $((lines / 5)) px; the mark at ($mark_x, $mark_y) after a click on middle C at its place"
