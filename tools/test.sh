#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the 64-bit and the 32-bit Windows trees'
# tests under Wine (the end-to-end tests on a small desktop), the Debian package's test and
# the native sanitizer and fuzzer builds, side by side, each Wine phase on a private X
# display and in a Wine prefix of its own. Exits non-zero on any failure; prints each ctest
# summary and each phase's time at the end.
#   tools/test.sh                 everything but the long runs
#   tools/test.sh --64-bit-only   leaves out the 32-bit tree, for a Linux kernel that cannot
#                                 run 32-bit programs (it is still built and its imports checked)
#   tools/test.sh --quick [ARGS]  only the 64-bit Windows build and its tests; ARGS go to
#                                 ctest (for example -R game_turn)
#   tools/test.sh --soak          the million-message MIDI flood (several minutes)
#   tools/test.sh --on debian13 [ARGS]  this command here and in a Debian 13 root
#                                 (tools/debian13.sh), both releases' summaries at the end
# With TUNEGRIN_FIRST_FAILURE=1 (tools/mutants.sh) each ctest run stops at its first failing
# test, and the run ends as soon as the 64-bit tree's Windows tests fail.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
unset WINEPREFIX            # each Wine phase below sets a prefix of its own

[ "${1:-} ${2:-}" != "--on debian13" ] || { shift 2; exec bash "$TOP/tools/debian13.sh" "$@"; }
mode=full
with_32bit=1
case "${1:-}" in
    --quick)       mode=quick; with_32bit=0; shift ;;
    --soak)        mode=soak; with_32bit=0; shift; set -- -L soak ;;
    --64-bit-only) with_32bit=0; shift ;;
esac

first_failure=${TUNEGRIN_FIRST_FAILURE:-}
stop=()
[ -z "$first_failure" ] || stop=(--stop-on-failure)

phases=()
phase_start=$SECONDS
# Ends the current phase: its name and time go into the summary.
phase_done() {
    phases+=("$(printf '%-44s %4d s' "$1" $((SECONDS - phase_start)))")
    phase_start=$SECONDS
}
logs=$BUILD_ROOT/logs
summary() {
    echo "== Summaries"
    local name
    for name in "64-bit tests" "64-bit Debian package test" "64-bit end-to-end tests" "32-bit tests" \
        "32-bit end-to-end tests" "native tests"; do
        [ -e "$logs/$name.ctest" ] || continue
        printf '   %-44s %s\n' "$name" \
            "$(grep -E '^[0-9]+% tests passed|^No tests were found' "$logs/$name.ctest" | tail -n 1 || true)"
    done
    echo "== Times"
    for line in "${phases[@]}"; do echo "   $line"; done
    printf '   %-44s %4d s\n' "total" "$SECONDS"
}

ensure_packages "${BUILD_PACKAGES[@]}" "${NATIVE_PACKAGES[@]}" nsis desktop-file-utils x11-utils \
    debhelper lintian appstream openbox tint2 xdotool wmctrl netpbm
[ $with_32bit = 0 ] || ensure_wine32
phase_done "packages"
# The tests' Wine prefix template (made once per Wine, about 30 s), beside the build.
ensure_template "$BUILD_ROOT/wine-template-tests" quiet_prefix &
template_pid=$!
build_windows x86_64 -DTUNEGRIN_WERROR=ON
phase_done "64-bit build"
wait $template_pid || { echo "== the tests' Wine prefix template could not be made"; exit 1; }
phase_done "Wine prefix template"

status=0
XVFB_PID=""
lane_names=() lane_pids=()
rm -rf "$logs"
mkdir -p "$logs"
# Ends the lanes this shell started (each a process group) and its own Wine and display.
cleanup() {
    local pid
    for pid in "${lane_pids[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
    stop_wine; stop_xvfb
    wait 2>/dev/null || true
}
trap cleanup EXIT

# One ctest run in a tree under $BUILD_ROOT, its output also kept under the given name for
# the summary.
run_ctest() {
    local tree=$1 name=$2; shift 2
    (cd "$BUILD_ROOT/$tree" && ctest --output-on-failure "${stop[@]}" "$@") 2>&1 \
        | tee "$logs/$name.ctest"
    return "${PIPESTATUS[0]}"
}

# Wine in a prefix of its own on a display of its own (a 64-bit prefix for both trees: 32-bit
# programs run in it through Wine's WoW64), so that the phases below can run side by side.
# The prefix is a fresh copy of the tests' template; Wine and the tests get a home of their
# own, so that the developer's stays as it was.
wine_up() {
    test_prefix "$1"
    export HOME=$BUILD_ROOT/home/${1##*/}
    rm -rf "$HOME" && mkdir -p "$HOME"
    start_xvfb "$2"
    start_wine
}
wine_down() {
    stop_wine
    stop_xvfb || true
}

# One Windows tree's tests but the end-to-end ones: the windowless ones in parallel beside
# those that read pixels back, which take turns on an 800x600 display (a resource lock).
windows_tests() {
    local arch=$1 bits=$2 prefix=$3; shift 3
    local filter=(-LE 'e2e|alsa|soak') code=0 count
    [ $mode = full ] && filter=(-LE 'e2e|alsa|soak|deb')      # the package lane runs those
    [ $mode = soak ] && filter=()
    count=$(cd "$BUILD_ROOT/$arch" && ctest -N "${filter[@]}" "$@" | sed -n 's/^Total Tests: //p')
    [ "${count:-0}" -gt 0 ] || return 0
    echo "== $bits Windows tests under Wine"
    wine_up "$prefix" 800x600x24
    run_ctest "$arch" "$bits tests" -j 3 "${filter[@]}" "$@" || code=1
    wine_down
    phase_done "$bits Windows tests"
    return $code
}

# The end-to-end tests, which play the built game from outside on a 640x480 desktop of
# their own (Wine takes the desktop's size when it starts), those down Wine's own MIDI road
# (label alsa) among them. None when the ctest arguments select none.
end_to_end_tests() {
    local arch=$1 bits=$2 prefix=$3; shift 3
    local count code=0
    count=$(cd "$BUILD_ROOT/$arch" && ctest -N -L 'e2e|alsa' "$@" | sed -n 's/^Total Tests: //p')
    [ "${count:-0}" -gt 0 ] || return 0
    echo "== $bits end-to-end tests under Wine on a 640x480 desktop"
    wine_up "$prefix" 640x480x24
    run_ctest "$arch" "$bits end-to-end tests" -L 'e2e|alsa' "$@" || code=1
    wine_down
    phase_done "$bits end-to-end tests"
    return $code
}

# Runs a lane in the background, its output in its own log; its phase times come back in
# the log's last lines. Each lane is a process group of its own (job control), so that an
# early end stops all it started, the lanes it started in turn included.
start_lane() {
    local name=$1; shift
    set -m
    (
        lane_names=() lane_pids=()
        trap cleanup EXIT
        trap 'exit 1' TERM INT
        phases=()
        phase_start=$SECONDS
        code=0
        "$@" || code=$?
        for line in "${phases[@]}"; do echo "phase: $line"; done
        exit $code
    ) >"$logs/$name.log" 2>&1 &
    lane_names+=("$name") lane_pids+=($!)
    set +m
}
# Waits for the lanes started here, in the order they started; shows each one's output and
# takes its phase times into the summary. Fails when one failed.
finish_lanes() {
    local lane code=0 name line
    for lane in "${!lane_pids[@]}"; do
        name=${lane_names[$lane]}
        wait "${lane_pids[$lane]}" || code=1
        grep -v '^phase: ' "$logs/$name.log" || true
        while IFS= read -r line; do phases+=("${line#phase: }"); done \
            < <(grep '^phase: ' "$logs/$name.log" || true)
    done
    lane_names=() lane_pids=()
    return $code
}

# Both programs checked against builds of the game alone in other folders and against the
# imports of the Windows each one names.
check_programs() {
    echo "== the game built alone in folders of its own, on another date: the same bytes"
    bash "$TOP/tools/same_bytes.sh" || return 1
    phase_done "same bytes from other build folders"
    echo "== imports of both programs against the Windows each one names"
    local imports=$TOP/tests/imports
    bash "$imports/check_imports.sh" i686-w64-mingw32-objdump "$BUILD_ROOT/i686/tunegrin.exe" \
        "$imports/windows95.txt" 4.0 || return 1
    bash "$imports/check_imports.sh" x86_64-w64-mingw32-objdump "$BUILD_ROOT/x86_64/tunegrin.exe" \
        "$imports/windows_xp_x64.txt" 5.2
}

# The 32-bit tree (tests, benchmark and tools included), the long pole: built, then the checks
# of both programs, its Windows tests and its end-to-end tests side by side, each of the two
# under 32-bit Wine in a prefix and on a display of its own.
lane_32bit() {
    echo "== 32-bit build, tests included"
    build_windows i686 -DTUNEGRIN_TOOLS=ON -DTUNEGRIN_WERROR=ON || { echo "== 32-bit build failed"; return 1; }
    phase_done "32-bit build"
    start_lane 32-bit-checks check_programs
    if [ $with_32bit = 1 ]; then
        start_lane 32-bit-tests windows_tests i686 32-bit "$BUILD_ROOT/wineprefix32" "$@"
        start_lane 32-bit-e2e end_to_end_tests i686 32-bit "$BUILD_ROOT/wineprefix32-e2e" "$@"
    fi
    finish_lanes
}

# The event queue under the sanitizers and the settings parser under the fuzzer, natively:
# Wine traps neither a stray write nor a read after free.
lane_native() {
    local native=$BUILD_ROOT/native
    # Off the long pole: the 32-bit build, which runs beside it, comes first.
    renice -n 10 -p "$BASHPID" >/dev/null
    if [ ! -f "$native/CMakeCache.txt" ]; then
        cmake -S "$TOP/tests/native" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    fi
    echo "== native build and tests (Thread- and AddressSanitizer, fuzz corpus and fixed runs)"
    cmake --build "$native" -j "$JOBS" || return 1
    phase_done "native build"
    local code=0
    run_ctest native "native tests" -j "$JOBS" || code=1
    phase_done "native tests"
    return "$code"
}

# The Debian package installed with apt and its game started in a Wine prefix of its own: it
# needs a display, and nothing else of the 64-bit lane's.
lane_package() {
    start_xvfb 800x600x24
    echo "== the Debian package installed, played and purged"
    run_ctest x86_64 "64-bit Debian package test" -L deb "$@"
    local code=$?
    phase_done "Debian package test"
    return $code
}

# The other lanes mostly wait on their displays, so they run side by side with the 64-bit
# tree's Windows tests.
if [ $mode = full ]; then
    start_lane 64-bit-e2e end_to_end_tests x86_64 64-bit "$BUILD_ROOT/wineprefix-e2e" "$@"
    start_lane 32-bit lane_32bit "$@"
    start_lane native lane_native
    start_lane package lane_package "$@"
fi
windows_tests x86_64 64-bit "$BUILD_ROOT/wineprefix" "$@" || status=1
if [ $status = 1 ] && [ -n "$first_failure" ]; then summary; exit 1; fi

if [ $mode = full ]; then
    finish_lanes || status=1
elif [ $mode = quick ]; then
    end_to_end_tests x86_64 64-bit "$BUILD_ROOT/wineprefix" "$@" || status=1
fi

summary
exit $status
