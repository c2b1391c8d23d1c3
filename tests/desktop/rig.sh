# Shared by the desktop tests, sourced after common.sh and a fail(): the player's scratch
# folders, what the test started (ended on exit), and a wait for a state.
scratch=$(mktemp -d)
pids=() launcher_pid="" XVFB_PID=""
cleanup_more() { :; }           # a test's own, run before Wine and the display go
cleanup() {
    [ -z "$launcher_pid" ] || kill "$launcher_pid" 2>/dev/null || true
    cleanup_more
    WINEPREFIX=$scratch/data/tunegrin/wine wineserver -k 2>/dev/null || true
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    stop_desktop
    stop_xvfb || true
    rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$scratch/fb" "$scratch/home" "$scratch/data/tunegrin"

# Waits up to SECONDS for COMMAND to succeed; a launcher gone fails at once.
wait_for() {
    local tries=$(($1 * 5)); shift
    until "$@" 2>/dev/null; do
        [ -z "$launcher_pid" ] || kill -0 "$launcher_pid" 2>/dev/null \
            || fail "the game ended early: $(cat "$scratch/launcher.log")"
        tries=$((tries - 1))
        [ $tries -gt 0 ] || return 1
        sleep 0.2
    done
}

# A real X server, as a player's desktop runs on, in place of Xvfb: Xorg with the dummy video
# driver, a WIDTHxHEIGHT screen at depth 24 (root only: its configuration and log are in the
# scratch folder). Sets DISPLAY, and XVFB_PID so that the cleanup ends it. -noreset as a
# player's; -novtswitch: it takes a virtual terminal, but never switches to it.
start_xorg() {    # WIDTH HEIGHT
    cat >"$scratch/xorg.conf" <<CONF
Section "ServerFlags"
    Option "AutoAddDevices" "false"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 65536
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
    Modeline "screen" $(($1 * $2 * 30 / 1000000 + 1)).0 $1 $(($1 + 1)) $(($1 + 2)) $(($1 + 3)) $2 $(($2 + 1)) $(($2 + 2)) $(($2 + 3))
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "screen"
        Virtual $1 $2
    EndSubSection
EndSection
CONF
    Xorg -config "$scratch/xorg.conf" -logfile "$scratch/xorg.log" -noreset -nolisten tcp -novtswitch \
        -displayfd 3 3>"$scratch/xorg.display" </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    told() { grep -q '^[0-9][0-9]*$' "$scratch/xorg.display"; }
    wait_for 20 told || { echo "Xorg did not start: $(grep -F '(EE)' "$scratch/xorg.log" | head -n 5)" >&2; return 1; }
    export DISPLAY=":$(cat "$scratch/xorg.display")"
}
