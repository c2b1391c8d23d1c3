# Shared by the run, test, bench and release commands: packages, builds and a Wine prefix.
# Meant to be sourced from bash with `set -euo pipefail`.

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${TUNEGRIN_BUILD:-$TOP/build}
JOBS=$(nproc 2>/dev/null || echo 2)
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine || echo wine)
# The player's TuneGrin folder on Linux: the installed game, its settings and its Wine prefix.
TUNEGRIN_DATA=${XDG_DATA_HOME:-${HOME:-}/.local/share}/tunegrin
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

BUILD_PACKAGES=(cmake make g++ mingw-w64 googletest wine wine64 xvfb xauth procps)
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

# A Wine prefix of our own: never the user's default one.
prepare_prefix() {
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="     # no Mono or Gecko install prompts
    mkdir -p "$WINEPREFIX"
}

# Wine's major version: 8 on Debian 12, 10 on Debian 13.
wine_major() {
    "$WINE" --version 2>/dev/null | sed -n 's/^wine-\([0-9]*\).*/\1/p'
}

# Starts a persistent wineserver and boots the prefix with Wine's stdio kept away from
# ours: its background services would otherwise hold our pipes open for ever.
start_wine() {
    wineserver -p </dev/null >/dev/null 2>&1
    "$WINE" wineboot -u </dev/null >/dev/null 2>&1 || true
    # Without a window manager, Wine 8 would wait on every hidden window. Wine 10 waits on
    # none, and with unmanaged windows it clips and frees the cursor in turn for a window as
    # large as the desktop, internal messages that never let a PeekMessage return.
    local major
    major=$(wine_major)
    if [ "${major:-0}" -lt 10 ]; then
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    fi
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
