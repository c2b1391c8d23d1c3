# Shared by the run, test, bench and release commands: packages, builds and a Wine prefix.
# Meant to be sourced from bash with `set -euo pipefail`.

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${TUNEGRIN_BUILD:-$TOP/build}
JOBS=$(nproc 2>/dev/null || echo 2)
# The Wine prefixes of the game as players run it (WINE, make_prefix, player_prefix...): the
# launcher's own code, which the tools share and never the other way round.
source "$TOP/linux/prefix.sh"
# TuneGrin's name to menus and software centres: its desktop entry and AppStream metainfo.
APP_ID=org.tunegrin.TuneGrin

# The program's version text, as its version resource carries it.
tunegrin_version() {
    local version
    version=$(sed -n 's/^#define TUNEGRIN_VERSION_TEXT "\(.*\)"$/\1/p' "$TOP/resources/resource.h")
    if [ -z "$version" ]; then
        echo "no TUNEGRIN_VERSION_TEXT in resources/resource.h" >&2
        return 1
    fi
    echo "$version"
}

# Exports SOURCE_DATE_EPOCH, the one time of a release: every time stamp that lands in a
# shipped file is this one. When it is not set, the last commit's time, so that the same
# commit gives the same bytes anywhere. Outside a git checkout (a copy of the tree, such
# as the planted-fault runner's), the newest debian/changelog entry's time, as Debian's own
# tools take it; set SOURCE_DATE_EPOCH to the commit's time to match a release from git.
release_epoch() {
    if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
        local top
        top=$(git -C "$TOP" rev-parse --show-toplevel 2>/dev/null || true)
        if [ "$top" = "$(cd "$TOP" && pwd -P)" ]; then     # not a copy inside another checkout
            SOURCE_DATE_EPOCH=$(git -C "$TOP" log -1 --format=%ct)
        else
            local stamp
            stamp=$(sed -n 's/^ -- .*>  //p' "$TOP/debian/changelog" | head -n 1)
            [ -n "$stamp" ] || { echo "no git checkout and no date in debian/changelog" >&2; return 1; }
            SOURCE_DATE_EPOCH=$(date -d "$stamp" +%s)
            echo "== $TOP is no git checkout: the release's time is debian/changelog's" >&2
        fi
    fi
    case $SOURCE_DATE_EPOCH in
        ''|*[!0-9]*) echo "SOURCE_DATE_EPOCH is not a number of seconds: $SOURCE_DATE_EPOCH" >&2
                     return 1 ;;
    esac
    export SOURCE_DATE_EPOCH
}

# Installs the Debian packages that are missing; `apt-get update` only when one is.
ensure_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# gcc-multilib and libasound2-dev: the alsa tests' stand-in libasound, built for 64- and
# 32-bit Linux against ALSA's own headers.
BUILD_PACKAGES=(cmake make g++ mingw-w64 googletest wine wine64 xvfb xauth procps gcc-multilib libasound2-dev)
# The native sanitizer and fuzzer builds: clang and its runtime libraries, under names that
# Debian 12 (clang 14) and 13 (clang 19) both have.
NATIVE_PACKAGES=(clang libclang-rt-dev)

# Whether this kernel runs 32-bit x86 programs: a 93-byte i386 Linux program that exits 0.
kernel_runs_32bit() {
    local probe
    mkdir -p "$BUILD_ROOT"
    probe=$(mktemp -p "$BUILD_ROOT")        # not /tmp, which may forbid running programs
    printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0' >"$probe"
    printf '\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0' >>"$probe"
    printf '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0' >>"$probe"
    printf '\xb8\x01\0\0\0\x31\xdb\xcd\x80' >>"$probe"     # exit(0) through int 0x80
    chmod +x "$probe"
    local ran=0
    "$probe" 2>/dev/null || ran=1
    rm -f "$probe"
    return $ran
}

# Wine's 32-bit half, for the 32-bit programs: Debian's wine32 from the i386 architecture.
ensure_wine32() {
    if ! kernel_runs_32bit; then
        echo "this Linux kernel cannot run 32-bit programs, so 32-bit Wine cannot run the 32-bit" \
             "tests here; leave them out with: bash tools/test.sh --64-bit-only" >&2
        return 1
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "== adding Debian's i386 architecture, for 32-bit Wine"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo dpkg --add-architecture i386
    fi
    ensure_packages wine32:i386
}
# Enough to build the game alone and play it.
GAME_PACKAGES=(cmake make g++-mingw-w64-x86-64 wine wine64 xvfb xauth)

# Configures (once) and builds one Windows architecture: x86_64 or i686.
build_windows() {
    local arch=$1; shift
    local dir=$BUILD_ROOT/$arch
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$TOP" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$TOP/cmake/toolchain-$arch-w64-mingw32.cmake" "$@" >/dev/null
    fi
    cmake --build "$dir" -j "$JOBS"
}

# Builds the game alone, none of the test or benchmark programs, in a tree of its own
# (the test trees build more); prints nothing but errors. The program ends up in
# $BUILD_ROOT/release/<arch>/tunegrin.exe.
build_game() {
    local arch=$1
    local dir=$BUILD_ROOT/release/$arch
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$TOP" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$TOP/cmake/toolchain-$arch-w64-mingw32.cmake" \
            -DTUNEGRIN_TESTS=OFF -DTUNEGRIN_BENCH=OFF >/dev/null
    fi
    cmake --build "$dir" -j "$JOBS" --target tunegrin >/dev/null
}

# A copy of the prefix BASE at PREFIX with SETUP run in it (a few seconds): the quiet way
# again, no display and a scratch home; its own stamp.
derive_prefix() {
    local base=$1 prefix=$2; shift 2
    local setup="$*" stamp build home
    stamp=$(wine_stamp "$setup") || return 1
    build=$(mktemp -d "$prefix.new.XXXXXX")
    home=$(mktemp -d)
    cp -a "$base/." "$build/" || { rm -rf "$build" "$home"; return 1; }
    (
        prepare_prefix "$build"
        export HOME=$home
        unset DISPLAY WAYLAND_DISPLAY XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR
        $setup || exit 1
        wineserver -w </dev/null >/dev/null 2>&1
    ) || { rm -rf "$build" "$home"; echo "Wine could not set up $build" >&2; return 1; }
    rm -rf "$home"
    rm -f "$build/wineserver"
    echo "$stamp" > "$build/$PREFIX_STAMP"
    replace_prefix "$build" "$prefix"
}

# The build folder's template of a player's prefix, for tools/play.sh and tools/install.sh,
# and the base of the tests' one.
BUILD_TEMPLATE=$BUILD_ROOT/wine-template

# Makes sure TEMPLATE is a current prefix: without SETUP made the slow way (about 20 s), with
# it derived from the build folder's template. Callers side by side take turns: the first
# makes it, the others find it made.
ensure_template() {
    local template=$1; shift
    mkdir -p "$(dirname "$template")"
    (
        flock 8
        prefix_is_current "$template" "$*" && exit 0
        rm -rf "$template".new.* "$template".old.*      # left by an interrupted run
        if [ $# -eq 0 ]; then
            make_prefix "$template"
        else
            ensure_template "$BUILD_TEMPLATE" && derive_prefix "$BUILD_TEMPLATE" "$template" "$@"
        fi
    ) 8>"$template.lock"
}

# The tests' prefix at PREFIX: a fresh copy of the tests' template (no
# crash debugger, no window manager's say), made first when this Wine has none.
test_prefix() {
    ensure_template "$BUILD_ROOT/wine-template-tests" quiet_prefix || return 1
    copy_prefix "$BUILD_ROOT/wine-template-tests" "$1"
    prepare_prefix "$1"
}

# The tests' prefix keeps Wine's sound driver on, as the player's launcher does: the alsa
# tests go down its MIDI road, and about 500 starts of the game through the launcher with it
# on did not crash once (tests/alsa/many_starts.sh). It has no crash debugger, whose process
# would hold ctest's pipe open until the test's time-out (winedbg hangs on a crashed 32-bit
# program): an empty command, in the 64-bit registry and in the 32-bit programs' own view of
# it, so that a crashed program just ends. (Without the value Wine starts winedbg all the
# same.)
quiet_prefix() {
    local view
    for view in 64 32; do
        "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
            /d "" /f /reg:$view </dev/null >/dev/null 2>&1 || true
    done
    # Without a window manager, Wine 8 would wait on every hidden window. Wine 10 waits on
    # none, and with unmanaged windows it clips and frees the cursor in turn for a window as
    # large as the desktop, internal messages that never let a PeekMessage return.
    if [ "$(wine_major)" -lt 10 ] 2>/dev/null; then
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    fi
}

# Wine's major version: 8 on Debian 12, 10 on Debian 13.
wine_major() {
    "$WINE" --version 2>/dev/null | sed -n 's/^wine-\([0-9]*\).*/\1/p'
}

# Starts a persistent wineserver and boots the prefix with Wine's stdio kept away from
# ours: its background services would otherwise hold our pipes open for ever. A plain boot,
# never `wineboot -u`, which would rewrite Wine's own files through a template's links.
start_wine() {
    wineserver -p </dev/null >/dev/null 2>&1
    "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

# Only a prefix of our own: never the server of the player's default one.
stop_wine() {
    [ -z "${WINEPREFIX:-}" ] || wineserver -k </dev/null >/dev/null 2>&1 || true
}

# Starts Xvfb on the first free display; sets DISPLAY and XVFB_PID. Xvfb picks the number
# itself and tells it on a file descriptor, so runs side by side never take the same one.
start_xvfb() {
    local size=${1:-800x600x24}
    local told
    told=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$told" </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 50); do
        if grep -q '^[0-9]*$' "$told" && [ "$(wc -l <"$told")" -eq 1 ]; then
            export DISPLAY=":$(cat "$told")"
            rm -f "$told"
            return 0
        fi
        sleep 0.1
    done
    rm -f "$told"
    echo "Xvfb did not start" >&2
    return 1
}

stop_xvfb() {
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
}
