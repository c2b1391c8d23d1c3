#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the 64-bit and the 32-bit Windows trees'
# tests under Wine (the end-to-end tests on a small desktop), the Debian package's test and
# the native sanitizer and fuzzer builds, side by side, each Wine phase on a private X
# display and in a Wine prefix of its own. Exits non-zero on any failure; prints each ctest
# summary and each phase's time at the end.
#   tools/test.sh                 everything but the long runs
#   tools/test.sh --64-bit-only   leaves out the 32-bit tree's tests (it is still built and its
#                                 imports checked); what the plain command does on a Linux
#                                 kernel that cannot run 32-bit programs, where it says so
#   tools/test.sh --quick [ARGS]  only the 64-bit Windows build and its tests; ARGS go to
#                                 ctest (for example -R game_turn)
#   tools/test.sh --soak          the million-message MIDI flood (several minutes)
#   tools/test.sh --apt           the set-up step's own tests (label apt), with real apt in a
#                                 throwaway copy of this machine's files (needs root)
#   tools/test.sh --desktops [ARGS]  the desktop test (desktop_openbox; the HiDPI one runs under
#                                 openbox alone) under each other desktop: GNOME's mutter, KDE's
#                                 kwin_x11 and Xfce's xfwm4 with a panel, and KDE's
#                                 kwin_wayland with the game on its Xwayland; ARGS go to ctest
#   tools/test.sh --on debian13 [--fresh] [ARGS]  this command here and in a Debian 13 root
#                                 (tools/debian13.sh), both releases' summaries at the end;
#                                 --fresh makes the root anew first. --on debian12: a Debian 12 root.
# First of all, one set-up step installs every Debian package that any of its lanes needs, in
# one apt-get call (the lists are in tools/common.sh); nothing after it calls apt.
# With TUNEGRIN_FIRST_FAILURE=1 (tools/mutants.sh) each ctest run stops at its first failing
# test, and the run ends as soon as the 64-bit tree's Windows tests fail.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
unset WINEPREFIX            # each Wine phase below sets a prefix of its own

if [ "${1:-}" = --on ]; then
    case ${2:-} in
        debian13|debian12) release=${2#debian}; shift 2
                           exec bash "$TOP/tools/debian13.sh" --release "$release" "$@" ;;
        *) echo "--on: debian12 or debian13, not ${2:-nothing}" >&2; exit 2 ;;
    esac
fi
mode=full
with_32bit=1
case "${1:-}" in
    --quick)       mode=quick; with_32bit=0; shift ;;
    --soak)        mode=soak; with_32bit=0; shift; set -- -L soak ;;
    --apt)         mode=apt; with_32bit=0; shift; set -- -L apt "$@" ;;
    --desktops)    mode=desktops; with_32bit=0; shift; set -- -R '^desktop_openbox$' "$@" ;;
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
# A kernel that cannot run 32-bit programs (a machine booted with its 32-bit emulation off)
# leaves no way to run the 32-bit tree's tests: the run goes on without them and says so, at
# the start and in the summary.
no_32bit=""
if [ $mode = full ] && [ $with_32bit = 1 ]; then
    no_32bit=$(why_no_wine32)
    if [ -n "$no_32bit" ]; then
        with_32bit=0
        echo "== $no_32bit: the 32-bit program is built and its imports checked, but its tests" \
             "cannot run; everything else runs"
    fi
fi
# The ctest runs this mode makes, by the names of their logs.
case $mode in
    full) runs=("64-bit tests" "64-bit Debian package test" "64-bit end-to-end tests")
          [ $with_32bit = 0 ] && [ -z "$no_32bit" ] || runs+=("32-bit tests" "32-bit end-to-end tests")
          runs+=("native tests") ;;
    quick) runs=("64-bit tests" "64-bit end-to-end tests") ;;
    soak) runs=("64-bit tests") ;;
    apt) runs=("64-bit set-up tests") ;;
    desktops) runs=()
              for desktop in "${OTHER_DESKTOPS[@]}"; do runs+=("desktop test under $desktop"); done ;;
esac
# The tests of a ctest run that did not run, one "name (why)" a line: skipped (the test said so,
# exit code 77; why is its last line that says "skipped: ..."), or disabled. From the run's
# JUnit report, which keeps each test's output.
not_run() {
    [ -f "$1" ] || return 0
    sed -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&quot;/"/g' -e "s/&apos;/'/g" -e 's/&amp;/\&/g' "$1" | awk '
        /<testcase / { name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
                       status = $0; sub(/.*status="/, "", status); sub(/".*/, "", status)
                       why = (status == "disabled") ? "disabled" : "" }
        /<skipped message="/ { if (why == "") { why = $0; sub(/.*<skipped message="/, "", why); sub(/".*/, "", why) } }
        tolower($0) ~ /skipped: / { line = $0; sub(/.*[Ss][Kk][Ii][Pp][Pp][Ee][Dd]: */, "", line); said = line }
        /<\/testcase>/ { if (status == "notrun" || status == "disabled")
                             print name " (" (said != "" ? said : why) ")"
                         said = "" }'
}
skipped_total=0
summary() {
    echo "== Summaries"
    local name line skipped count
    for name in "${runs[@]}"; do
        if [ -n "$no_32bit" ] && [[ $name == 32-bit* ]]; then
            printf '   %-44s %s\n' "$name" "cannot run on this machine: its kernel cannot run 32-bit programs"
            continue
        fi
        if [ ! -e "$logs/$name.ctest" ]; then
            printf '   %-44s %s\n' "$name" "did not run (see the output above)"
            skipped_total=$((skipped_total + 1))
            continue
        fi
        line=$(grep -E '^[0-9]+% tests passed|^No tests were found' "$logs/$name.ctest" | tail -n 1 || true)
        line=${line%%.}
        [ -n "$line" ] || line="no summary: the run ended early"
        skipped=$(not_run "$logs/$name.xml")
        count=$(grep -c . <<<"$skipped" || true)
        skipped_total=$((skipped_total + count))
        if [ "$count" -eq 0 ]; then
            printf '   %-44s %s, none skipped\n' "$name" "$line"
        else
            printf '   %-44s %s, %d did not run: %s\n' "$name" "$line" "$count" "$(paste -sd '\t' <<<"$skipped" | sed 's/\t/; /g')"
        fi
    done
    echo "== Times"
    for line in "${phases[@]}"; do echo "   $line"; done
    printf '   %-44s %4d s\n' "total" "$SECONDS"
}

# The set-up step: every package of every lane, in one apt-get call; none after it.
packages=("${TEST_PACKAGES[@]}")
[ $mode != full ] || packages+=("${NATIVE_PACKAGES[@]}")
[ $mode != desktops ] || packages+=("${DESKTOPS_PACKAGES[@]}")
[ $with_32bit = 0 ] || packages+=("$WINE32_PACKAGE")
ensure_packages "${packages[@]}" || exit 1
export TUNEGRIN_PACKAGES_SET_UP="tools/test.sh"
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

# A ctest run whose tests the arguments left out, all of them: so the summary says.
none_selected() {
    echo "No tests were found: the ctest arguments select none of these" >"$logs/$1.ctest"
}

# One ctest run in a tree under $BUILD_ROOT, its output also kept under the given name for
# the summary, and its JUnit report, which holds what each test said (the end of it, where a
# skipped test says why).
run_ctest() {
    local tree=$1 name=$2; shift 2
    (cd "$BUILD_ROOT/$tree" && ctest --output-on-failure --output-junit "$logs/$name.xml" --test-output-truncation head "${stop[@]}" "$@") 2>&1 \
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
    local filter=(-LE 'e2e|alsa|soak|apt') code=0 count
    [ $mode = full ] && filter=(-LE 'e2e|alsa|soak|apt|deb')  # the package lane runs those
    [ $mode = soak ] && filter=()
    count=$(cd "$BUILD_ROOT/$arch" && ctest -N "${filter[@]}" "$@" | sed -n 's/^Total Tests: //p')
    [ "${count:-0}" -gt 0 ] || { none_selected "$bits tests"; return 0; }
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
    [ "${count:-0}" -gt 0 ] || { none_selected "$bits end-to-end tests"; return 0; }
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
if [ $mode = apt ]; then
    # Each test makes a throwaway copy of this machine's files and runs its own commands there.
    echo "== the set-up step's tests, with real apt"
    run_ctest x86_64 "64-bit set-up tests" "$@" || status=1
    phase_done "set-up tests"
    summary
    exit $status
fi
if [ $mode = desktops ]; then
    # Each on a display and in a player's prefix of its own, one after the other.
    for desktop in "${OTHER_DESKTOPS[@]}"; do
        echo "== the desktop test under $desktop"
        TUNEGRIN_DESKTOP_WM=$desktop run_ctest x86_64 "desktop test under $desktop" "$@" || status=1
        phase_done "desktop test under $desktop"
    done
    summary
    exit $status
fi
windows_tests x86_64 64-bit "$BUILD_ROOT/wineprefix" "$@" || status=1
if [ $status = 1 ] && [ -n "$first_failure" ]; then summary; exit 1; fi

if [ $mode = full ]; then
    finish_lanes || status=1
elif [ $mode = quick ]; then
    end_to_end_tests x86_64 64-bit "$BUILD_ROOT/wineprefix" "$@" || status=1
fi

summary
# The default command, run as root, can run every test: one that did not is a failure.
if [ $mode = full ] && [ "$(id -u)" -eq 0 ] && [ $skipped_total -gt 0 ]; then
    echo "== $skipped_total of the runs or tests above did not run, in a run as root: the test command" \
         "must run them all here (see why above)"
    status=1
fi
[ -z "$no_32bit" ] || echo "== the 32-bit tests did not run: $no_32bit"
exit $status
