#!/usr/bin/env bash
# Starts the game many times as the player's launcher does (tools/tunegrin-wine.sh, Wine's
# audio driver on, a home of its own), closes each window as a player would, and counts the
# starts that did not come up and end with exit code 0. Not part of the test command: it
# answers whether a starting game still crashes now and then.
#   many_starts.sh path/to/tunegrin.exe path/to/install_probe.exe [starts]
# With TUNEGRIN_DESKTOP=openbox, on a player's desktop instead: openbox with a tint2 panel on
# a 1920x1080 screen, the prefix from the build's template, and a start counts only when X's
# window list showed the game's window.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
program=$1 probe=$2 starts=${3:-300}
scratch=$(mktemp -d)
trap 'stop_wine; stop_xvfb; rm -rf "$scratch"' EXIT
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/.local/share
unset WINEPREFIX
mkdir -p "$HOME"
desktop=${TUNEGRIN_DESKTOP:-}
if [ "$desktop" = openbox ]; then
    ensure_template "$BUILD_TEMPLATE" || exit 1
    export TUNEGRIN_TEMPLATE=$BUILD_TEMPLATE
    start_xvfb 1920x1080x24
    openbox >/dev/null 2>&1 &
    sleep 2
    tint2 >/dev/null 2>&1 &
    sleep 2
else
    start_xvfb 800x600x24
fi
export WINEPREFIX=$XDG_DATA_HOME/tunegrin/wine
good=0 bad=0
for start in $(seq 1 "$starts"); do
    log=$scratch/start-$start.log
    setsid bash "$TOP/tools/tunegrin-wine.sh" "$program" >"$log" 2>&1 &
    launcher=$!
    closed=no
    for _ in $(seq 1 480); do        # the first start prepares the prefix: a minute or more
        kill -0 "$launcher" 2>/dev/null || break
        if [ "$desktop" = openbox ] && ! xdotool search --onlyvisible --name '^TuneGrin$' >/dev/null 2>&1; then
            sleep 0.25; continue                        # not in X's window list yet
        fi
        if [ -f "$WINEPREFIX/system.reg" ] && "$WINE" "$probe" close >/dev/null 2>&1; then closed=yes; break; fi
        sleep 0.25
    done
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
        echo "start $start: window closed $closed, exit $status"
        sed 's/^/    /' "$log" | head -n 40
        kept=$(mktemp "${TMPDIR:-/tmp}/tunegrin-start-$start.XXXXXX")   # a name no one else chose
        cp "$log" "$kept" && echo "    (all of it in $kept)"
    fi
done
echo "$starts starts: $good came up and ended with exit code 0, $bad did not"
[ "$bad" = 0 ]
