#!/usr/bin/env bash
# Starts the game many times as a player starts it (the launcher, as tools/common.sh's
# stage_player lays it out: the installed package's, or linux/ with the build's template; as the
# account nobody when run as root), in a home of its own, Wine's audio driver on; closes each
# window as a player would, and counts the starts that did not come up and end with exit code
# 0. Not part of the test command: it answers whether a starting game still crashes, or shows
# no window, now and then.
#   many_starts.sh path/to/tunegrin.exe path/to/install_probe.exe [starts]
# With TUNEGRIN_DESKTOP=openbox, on a player's desktop: openbox with a tint2 panel on a
# 1920x1080 screen, and a start counts only when the game's window showed on it (mapped).
# Else a bare 800x600 display, no window manager.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
program=$1 probe=$2 starts=${3:-300}
scratch=$(mktemp -d)
chmod 755 "$scratch"
trap 'stop_desktop; stop_xvfb; rm -rf "$scratch"' EXIT
stage_player "$scratch/stage" "$program" || exit 1
echo "starting $PLAYER_NOTE"
home=$scratch/home
mkdir -p "$home"
[ ${#PLAYER_START[@]} = 0 ] || chown 65534:65534 "$home"
# The player runs the probe from here: the tree may be where the player cannot read.
cp "$probe" "$scratch/install_probe.exe" && chmod 755 "$scratch/install_probe.exe"
as_player() {
    "${PLAYER_START[@]}" env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u WINEPREFIX HOME="$home" "$@"
}
prefix=$home/.local/share/tunegrin/wine
# Wine's server of the player's prefix, ended as the run ends.
trap 'as_player env WINEPREFIX="$prefix" wineserver -k 2>/dev/null; stop_desktop; stop_xvfb; rm -rf "$scratch"' EXIT
desktop=${TUNEGRIN_DESKTOP:-}
if [ "$desktop" = openbox ]; then
    start_xvfb 1920x1080x24 || exit 1
    mkdir "$scratch/desk"
    HOME=$scratch/desk start_desktop 1920 1080 "$scratch/desk/wm.log" || exit 1
else
    start_xvfb 800x600x24 || exit 1
fi
good=0 bad=0
for start in $(seq 1 "$starts"); do
    log=$scratch/start-$start.log
    # Not through the function: the launcher's pid is then its session's, all of which a hang ends.
    "${PLAYER_START[@]}" env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u WINEPREFIX HOME="$home" \
        setsid "${PLAYER_COMMAND[@]}" >"$log" 2>&1 &
    launcher=$!
    closed=no shown=unwatched
    [ "$desktop" != openbox ] || shown=no
    for _ in $(seq 1 480); do        # the first start prepares the prefix: a minute or more
        kill -0 "$launcher" 2>/dev/null || break
        if [ "$desktop" = openbox ]; then
            if ! xdotool search --onlyvisible --name '^TuneGrin$' >/dev/null 2>&1; then
                sleep 0.25; continue                    # not on the screen yet
            fi
            shown=yes
        fi
        if [ -f "$prefix/system.reg" ] && as_player env WINEPREFIX="$prefix" WINEDEBUG=-all "$WINE" \
            "$scratch/install_probe.exe" close >/dev/null 2>&1; then closed=yes; break; fi
        sleep 0.25
    done
    # What X holds of the game when its window did not show: its windows, mapped or not.
    [ "$desktop" != openbox ] || [ $shown = yes ] \
        || xwininfo -root -tree 2>/dev/null | grep -i 'tunegrin' >"$log.x" || true
    status=0
    if ! timeout 30 tail --pid="$launcher" -f /dev/null; then
        kill -- -"$launcher" 2>/dev/null
        status=hang
    fi
    wait "$launcher"
    code=$?
    [ "$status" = hang ] || status=$code
    if [ "$closed" = yes ] && [ "$status" = 0 ] && ! grep -qiE 'unhandled|fault|backtrace' "$log"; then
        good=$((good + 1))
    else
        bad=$((bad + 1))
        echo "start $start: window shown $shown, closed $closed, exit $status"
        sed 's/^/    /' "$log" | head -n 40
        [ ! -s "$log.x" ] || { echo "    X's windows of the game:"; sed 's/^/    /' "$log.x"; }
        kept=$(mktemp "${TMPDIR:-/tmp}/tunegrin-start-$start.XXXXXX")   # a name no one else chose
        cp "$log" "$kept" && echo "    (all of it in $kept)"
    fi
done
echo "$starts starts ($PLAYER_NOTE${desktop:+, under $desktop with a tint2 panel}): $good came up and ended with exit code 0, $bad did not"
[ "$bad" = 0 ]
