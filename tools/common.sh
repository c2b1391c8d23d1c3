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

# Starts a persistent wineserver and boots the prefix with Wine's stdio kept away from
# ours: its background services would otherwise hold our pipes open for ever.
start_wine() {
    wineserver -p </dev/null >/dev/null 2>&1
    "$WINE" wineboot -u </dev/null >/dev/null 2>&1 || true
    # Without a window manager, Wine would wait on every hidden window.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
}

stop_wine() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
}

# Starts Xvfb on the first free display; sets DISPLAY and XVFB_PID.
start_xvfb() {
    local size=${1:-800x600x24}
    local display=90
    while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 "$size" -nolisten tcp </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$display"
    for _ in $(seq 1 50); do
        [ -e /tmp/.X11-unix/X$display ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start" >&2
    return 1
}

stop_xvfb() {
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
}
