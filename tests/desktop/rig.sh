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
