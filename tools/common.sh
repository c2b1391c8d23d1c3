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

# ---------------------------------------------------------------------------------------------
# Debian packages. Every list any command needs is here, and each command installs the union of
# its lists in one set-up step (ensure_packages, one apt-get call) before it builds or starts
# anything; what it then runs (its lanes, tools/make_deb.sh, tools/install.sh...) finds them
# installed and calls apt no more.

# Enough to build the game alone and play it (tools/play.sh).
GAME_PACKAGES=(cmake make g++-mingw-w64-x86-64 wine wine64 xvfb xauth)
# The Windows trees with their tests, benchmark and tools. gcc-multilib and libasound2-dev: the
# alsa tests' stand-in libasound, built for 64- and 32-bit Linux against ALSA's own headers;
# libx11-dev: the end-to-end tests' bell counter.
BUILD_PACKAGES=(cmake make g++ mingw-w64 googletest wine wine64 xvfb xauth procps gcc-multilib libasound2-dev
    libx11-dev)
# The native sanitizer and fuzzer builds: clang and its runtime libraries, under names that
# Debian 12 (clang 14) and 13 (clang 19) both have.
NATIVE_PACKAGES=(clang libclang-rt-dev)
# The Debian package built from source (tools/make_deb.sh): dpkg-buildpackage wants
# build-essential beside debian/control's Build-Depends, which BUILD_PACKAGES hold.
DEB_PACKAGES=(dpkg-dev debhelper build-essential)
# Checking it and playing it installed (tests/install/deb_test.sh): lintian, the AppStream and
# desktop-entry validators, xwininfo; xdotool closes the game in the package's own test.
DEB_TEST_PACKAGES=(lintian appstream desktop-file-utils x11-utils xdotool)
# A player's desktop for the desktop tests (tests/desktop/): a window manager, a panel, the
# window manager's close, and the screen's frame buffer read back.
DESKTOP_PACKAGES=(openbox tint2 xdotool wmctrl netpbm x11-xserver-utils)
# The other desktops of `tools/test.sh --desktops` (TUNEGRIN_DESKTOP_WM in tests/desktop/):
# GNOME's mutter and KDE's kwin_x11 (each in a D-Bus session of its own), Xfce's xfwm4 with
# xfce4-panel, and KDE's Wayland compositor kwin_wayland with Xwayland, its output a window
# on Xvfb.
OTHER_DESKTOPS=(mutter kwin xfwm4 kwin_wayland)
DESKTOPS_PACKAGES=(mutter kwin-x11 dbus xfwm4 xfce4-panel kwin-wayland xwayland)
# The user's install from source (tools/install.sh) and the Windows setup programs.
INSTALL_PACKAGES=(wine wine64 x11-xserver-utils)
SETUP_PACKAGES=(nsis)
# Everything the test command's Windows trees and their tests need (the install tests among
# them: the Linux install, the Windows setup, the Debian package); its full run adds the
# native builds' NATIVE_PACKAGES.
TEST_PACKAGES=("${BUILD_PACKAGES[@]}" "${DEB_PACKAGES[@]}" "${DEB_TEST_PACKAGES[@]}"
    "${DESKTOP_PACKAGES[@]}" "${INSTALL_PACKAGES[@]}" "${SETUP_PACKAGES[@]}")
# The other commands' own.
# The benchmark's desktop: a window manager with a panel, xdotool to see the game's window, xrdb
# to set the desktop's scale.
BENCH_PACKAGES=("${BUILD_PACKAGES[@]}" x11-utils bc openbox tint2 xdotool x11-xserver-utils)
RELEASE_PACKAGES=("${BUILD_PACKAGES[@]}" "${DEB_PACKAGES[@]}" "${SETUP_PACKAGES[@]}" zip)
RELEASE_VERIFY_PACKAGES=(git diffoscope-minimal)
SCREENSHOT_PACKAGES=("${BUILD_PACKAGES[@]}" imagemagick)
FUZZ_PACKAGES=(cmake make googletest "${NATIVE_PACKAGES[@]}")
# tools/debian13.sh, on this machine: the root and its clone, and the package built here.
ROOT_PACKAGES=(debootstrap git "${GAME_PACKAGES[@]}" "${DEB_PACKAGES[@]}")
# Wine's 32-bit half, for the 32-bit programs: Debian's wine32 from the i386 architecture, which
# ensure_packages adds when a package of it is asked for.
WINE32_PACKAGE=wine32:i386

# How long a set-up waits for another apt, or another set-up, to let go of the package database.
APT_WAIT=${TUNEGRIN_APT_WAIT:-900}
case $APT_WAIT in ''|*[!0-9]*) APT_WAIT=900 ;; esac

# Installed and configured: held or not, its triggers (another package's menu entry, say)
# processed or still pending.
package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null \
        | grep -qxE '(install|hold) ok (installed|triggers-pending|triggers-awaited)'
}

# The set-up step: installs those of PACKAGES that are missing, in one apt-get call, with
# `apt-get update` first (only when one is missing). Through sudo when not root.
# A command that has run its set-up exports TUNEGRIN_PACKAGES_SET_UP: from then on, what it runs
# installs nothing, and a package missing then is a gap in its list above, said as such.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        [[ " ${missing[*]} " != *" $package "* ]] || continue     # a package of two lists
        package_installed "$package" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ -n "${TUNEGRIN_PACKAGES_SET_UP:-}" ]; then
        echo "== not installed: ${missing[*]}. The set-up step of $TUNEGRIN_PACKAGES_SET_UP installs" \
             "all it needs before anything runs, so these belong in its list (tools/common.sh)." >&2
        return 1
    fi
    if [ "$(id -u)" -eq 0 ]; then
        install_packages "${missing[@]}"
    else
        echo "== installing through sudo: ${missing[*]}"
        sudo TUNEGRIN_APT_WAIT="$APT_WAIT" bash -c 'set -euo pipefail; source "$0"; install_packages "$@"' \
            "$TOP/tools/common.sh" "${missing[@]}"
    fi
}

# apt's locks, as apt and dpkg take them: fcntl locks, which flock(1) does not see.
APT_LOCKS=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock /var/cache/apt/archives/lock)
# The processes that hold one of apt's locks, one "pid (command line)" a line: asked of the kernel
# as apt asks it (F_GETLK, with perl, which every Debian has).
apt_lock_holders() {
    local pid
    perl -e 'use Fcntl;
        for my $file (@ARGV) {
            open(my $handle, "+<", $file) or next;
            my $lock = pack("s s x4 q q l x4", F_WRLCK, SEEK_SET, 0, 0, 0);
            fcntl($handle, F_GETLK, $lock) or next;
            my ($type, $whence, $start, $length, $pid) = unpack("s s x4 q q l x4", $lock);
            print "$pid\n" if $type != F_UNLCK;
        }' "${APT_LOCKS[@]}" | sort -u | while read -r pid; do
        echo "$pid ($(tr '\0\n' '  ' <"/proc/$pid/cmdline" 2>/dev/null | cut -c1-60 | sed 's/ *$//'))"
    done
}

# Waits until no other process holds apt's locks, saying so once, up to the time left until
# DEADLINE (seconds since the epoch).
wait_for_apt() {
    local deadline=$1 holders said=""
    while holders=$(apt_lock_holders) && [ -n "$holders" ]; do
        if [ "$(date +%s)" -ge "$deadline" ]; then
            echo "== apt's lock is still held, after waiting $APT_WAIT s, by: $(tr '\n' ' ' <<<"$holders")" >&2
            echo "   Run the command again once that is done (or set TUNEGRIN_APT_WAIT to wait longer)." >&2
            return 1
        fi
        if [ -z "$said" ]; then
            echo "== another apt is at work: waiting for it to finish, up to $((deadline - $(date +%s))) s:" \
                 "$(tr '\n' ' ' <<<"$holders")"
            said=yes
        fi
        sleep 1
    done
    [ -z "$said" ] || echo "== apt is free again"
}

# Runs apt-get ARGS as a set-up does, its output shown and kept in the file OUT; when another
# apt took its lock meanwhile, waits for that one and tries again, up to DEADLINE. Exit code 75
# when the time ran out first, said as such.
apt_get() {
    local out=$1 deadline=$2 code; shift 2
    while :; do
        : >"$out"
        wait_for_apt "$deadline" || return 75
        DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout=60 "$@" 2>&1 | tee "$out"
        code=${PIPESTATUS[0]}
        [ $code -ne 0 ] && grep -qE '^E: (Could not get lock|Unable to lock)' "$out" || return $code
        [ "$(date +%s)" -lt "$deadline" ] || { wait_for_apt "$deadline"; return 75; }
    done
}

# The set-up itself, as root. Set-ups started at once take turns (a lock in root's own /run,
# which no other account can take or plant); each waits, up to $APT_WAIT s, for any other apt.
install_packages() {
    (
        deadline=$(($(date +%s) + APT_WAIT)) code=0 missing=()
        if ! flock -n 7; then
            echo "== another TuneGrin set-up is installing packages: waiting for it, up to $APT_WAIT s"
            flock -w "$APT_WAIT" 7 || { echo "== it still was after $APT_WAIT s" >&2; exit 1; }
        fi
        for package in "$@"; do                 # the other set-up may have installed them
            package_installed "$package" || missing+=("$package")
        done
        [ ${#missing[@]} -gt 0 ] || exit 0
        if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            echo "== adding Debian's i386 architecture, for 32-bit Wine"
            dpkg --add-architecture i386
        fi
        echo "== installing: ${missing[*]}"
        out=$(mktemp)
        trap 'rm -f "$out"' EXIT
        apt_get "$out" "$deadline" update || code=$?
        [ $code -ne 75 ] || exit 1                  # the time limit passed, said so
        if [ $code -ne 0 ]; then
            # An index or more did not come (a mirror part-way through a sync, say): apt uses the
            # others, and so does the install; only a package it then cannot install stops it.
            failed=$(grep -c '^E: Failed to fetch' "$out" || true)
            case $failed in 0) failed="" ;; 1) failed="1 package index could not be fetched: " ;;
                            *) failed="$failed package indexes could not be fetched: " ;; esac
            echo "== apt-get update failed ($failed$(grep -m 1 '^E: ' "$out" | cut -c 4-150));" \
                 "trying the install with what apt has"
        fi
        code=0
        apt_get "$out" "$deadline" install -y --no-install-recommends "${missing[@]}" || code=$?
        [ $code -eq 0 ] || [ $code -eq 75 ] || explain_install_failure "$out" "${missing[@]}"
        exit $code
    ) 7>/run/tunegrin-packages.lock
}

# After a failed install: which of PACKAGES apt could not install, what it said, the likely
# cause in our words and the way out.
explain_install_failure() {
    local out=$1; shift
    local said names=() name package
    said=$(grep -E '^E: |^ [^ ].* : (Pre)?Depends|^ +(Depends|PreDepends|Breaks|Conflicts): ' "$out" | head -n 12 || true)
    while read -r name; do
        for package in "$@"; do
            [ "$name" = "$package" ] || [ "$name" = "${package%:*}" ] && names+=("$package")
        done
    done < <(sed -n -e 's/^ \([^ ]*\) : .*/\1/p' -e "s/^E: Unable to locate package \(.*\)/\1/p" \
                    -e "s/^E: Package '\([^']*\)' has no installation candidate/\1/p" \
                    -e 's|^E: Failed to fetch .*/\([^/_]*\)_[^/]*\.deb .*|\1|p' "$out" | sort -u)
    if [ ${#names[@]} -eq 0 ]; then           # none of ours by name: what apt named, if anything
        mapfile -t names < <(sed -n -e 's/^ \([^ ]*\) : .*/\1/p' -e 's/^E: Unable to locate package \(.*\)/\1/p' "$out" | sort -u)
        [ ${#names[@]} -gt 0 ] || names=("one of: $*")
    fi
    echo "== could not install: ${names[*]}" >&2
    [ -z "$said" ] || sed 's/^/   apt: /' <<<"$said" >&2
    if [[ " ${names[*]} " == *" $WINE32_PACKAGE "* ]] || [[ " ${names[*]} " == *" wine32 "* ]]; then
        echo "   $WINE32_PACKAGE is Wine's 32-bit half, from Debian's i386 architecture. It installs only" \
             "when each i386 package it needs is at the same version as the one installed for amd64" \
             "(Multi-Arch: same), so it fails while the mirror is part-way through a sync, or when an" \
             "i386 index could not be fetched (see apt-get update's errors above), and the two" \
             "architectures' indexes are not of the same day." >&2
        echo "   Try again later (an hour or so), or leave the 32-bit tests out:" \
             "bash tools/test.sh --64-bit-only" >&2
    elif grep -q "^E: dpkg was interrupted" "$out"; then
        echo "   An earlier install or removal was cut short. Finish it with: sudo dpkg --configure -a" \
             "(then run the command again)." >&2
    elif grep -qE "^E: (Unable to locate package|Package '.*' has no installation candidate)" "$out"; then
        echo "   apt's indexes hold no such package: it is not in this Debian release, or the index that" \
             "lists it could not be fetched (see apt-get update's errors above). Try again later (an" \
             "hour or so); on another release than Debian 12 or 13, the name may differ." >&2
    else
        echo "   Likely the mirror is part-way through a sync, or one of its indexes could not be fetched" \
             "(see apt-get update's errors above), so that apt knows other versions than the mirror holds." \
             "Try again later (an hour or so)." >&2
    fi
}

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

# Why 32-bit Wine cannot run the 32-bit programs on this machine; nothing when it can.
why_no_wine32() {
    kernel_runs_32bit && return 0
    echo "this machine's Linux kernel cannot run 32-bit programs (its 32-bit emulation is off;" \
         "the boot option ia32_emulation=on turns it on), so 32-bit Wine cannot run here"
}

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
    # Wine's own frame, the window manager's focus and the free pointer are the player's
    # desktop's (make_prefix); the tests keep Wine's defaults.
    local value
    for value in Decorated UseTakeFocus GrabPointer; do
        "$WINE" reg delete 'HKCU\Software\Wine\X11 Driver' /v $value /f </dev/null >/dev/null 2>&1 || true
    done
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
# Further arguments go to Xvfb (-fbdir DIR: the screen as an XWD file there, Xvfb_screen0).
start_xvfb() {
    local size=${1:-800x600x24}
    local told
    told=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp "${@:2}" 3>"$told" </dev/null >/dev/null 2>&1 &
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

# A player's desktop on the display $DISPLAY, WIDTH x HEIGHT: the window manager COMMAND
# (openbox when none), then the panel DESKTOP_PANEL_COMMAND (tint2 with its own default look),
# 30 px at the bottom with that space reserved, each waited for up to 20 s; the window
# manager's output in LOG. Run
# with HOME set to a scratch home: both keep their settings there. Their pids join
# DESKTOP_PIDS, which stop_desktop ends. A failure says why on stderr.
DESKTOP_PANEL=30
DESKTOP_PANEL_COMMAND=(tint2)
DESKTOP_PIDS=()
start_desktop() {      # WIDTH HEIGHT LOG [COMMAND...]
    local width=$1 height=$2 log=$3 tries; shift 3
    [ $# -gt 0 ] || set -- openbox
    "$@" >"$log" 2>&1 &
    DESKTOP_PIDS+=($!)
    for tries in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        [ "$tries" -lt 100 ] || { echo "$* did not start: $(cat "$log")" >&2; return 1; }
        sleep 0.2
    done
    "${DESKTOP_PANEL_COMMAND[@]}" >/dev/null 2>&1 &
    DESKTOP_PIDS+=($!)
    for tries in $(seq 100); do
        xprop -root _NET_WORKAREA 2>/dev/null | grep -q "0, 0, $width, $((height - DESKTOP_PANEL))" && return 0
        sleep 0.2
    done
    echo "${DESKTOP_PANEL_COMMAND[0]} reserved no space: $(xprop -root _NET_WORKAREA 2>&1)" >&2
    return 1
}
stop_desktop() {
    local pid
    for pid in "${DESKTOP_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${DESKTOP_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    DESKTOP_PIDS=()
}

# A player's start, for the benchmark and tests/alsa/many_starts.sh: the installed package's
# launcher when there is one; else the launcher, prefix.sh and EXE laid out in DIR/lib as the
# package lays them out, with the build's template copied to DIR/template (the package's own is
# $MACHINE_TEMPLATE), both readable by every account. Run as root, the player is the account
# nobody, as a player's prefix shares the template's builtin folders and root's (a whole copy)
# does not. Then PLAYER_START env HOME=... "${PLAYER_COMMAND[@]}" starts the game as that
# player; PLAYER_CODE is its prefix.sh, PLAYER_TEMPLATE its template, PLAYER_NOTE says which.
# Not root: the same as this account, through tools/tunegrin-wine.sh.
PLAYER_START=() PLAYER_COMMAND=() PLAYER_CODE="" PLAYER_TEMPLATE="" PLAYER_NOTE=""
# The machine's one package, which the package tests of other trees install and purge: when
# their lock (tests/install/deb_test.sh) is free, taken until this shell ends, so that the
# package stays; when a test holds it, the package is that test's, soon gone. Not root: the
# player's own package, kept.
hold_package() {       # DIR: a folder for the holder's word
    [ "$(id -u)" = 0 ] || return 0
    local holder
    # The holder keeps the lock on a descriptor of its own, which nothing we start inherits.
    flock -n -o /run/tunegrin-deb-test.lock sh -c 'echo held >"$0"; exec tail --pid="$1" -f /dev/null' \
        "$1/package-held" $$ 2>/dev/null &
    holder=$!
    for _ in $(seq 50); do
        [ ! -s "$1/package-held" ] || return 0
        kill -0 "$holder" 2>/dev/null || return 1
        sleep 0.1
    done
    kill "$holder" 2>/dev/null
    return 1
}
stage_player() {       # DIR EXE
    local dir=$1 exe=$2
    mkdir -p "$dir" || return 1
    [ "$(id -u)" != 0 ] || PLAYER_START=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    if [ -x /usr/games/tunegrin ] && hold_package "$dir" && [ -x /usr/games/tunegrin ] \
        && prefix_is_current "$MACHINE_TEMPLATE"; then
        PLAYER_COMMAND=(/usr/games/tunegrin) PLAYER_CODE=/usr/lib/tunegrin/prefix.sh
        PLAYER_TEMPLATE=$MACHINE_TEMPLATE PLAYER_NOTE="the installed package"
    elif [ "$(id -u)" != 0 ]; then
        ensure_template "$BUILD_TEMPLATE" || return 1
        PLAYER_COMMAND=(bash "$TOP/tools/tunegrin-wine.sh" "$exe") PLAYER_CODE=$TOP/linux/prefix.sh
        PLAYER_TEMPLATE=$BUILD_TEMPLATE PLAYER_NOTE="tools/tunegrin-wine.sh, the build's template"
    else
        ensure_template "$BUILD_TEMPLATE" || return 1
        mkdir -p "$dir/lib" && chmod 755 "$dir" "$dir/lib" || return 1
        cp "$TOP/linux/tunegrin" "$TOP/linux/prefix.sh" "$dir/lib/" && cp "$exe" "$dir/lib/tunegrin.exe" \
            && chmod 755 "$dir/lib/"* || return 1
        copy_prefix "$BUILD_TEMPLATE" "$dir/template" && chmod -R a+rX "$dir/template" || return 1
        # The template's place aside, what the package's launcher does at each start.
        # shellcheck disable=SC2016
        PLAYER_COMMAND=(bash -c '. "$0/prefix.sh" && data=$(tunegrin_data) && player_prefix "$data/wine" "$1" \
            && exec bash "$0/tunegrin"' "$dir/lib" "$dir/template")
        PLAYER_CODE=$dir/lib/prefix.sh PLAYER_TEMPLATE=$dir/template
        PLAYER_NOTE="the launcher in linux/ with the build's template, laid out as the package lays them out"
    fi
    [ ${#PLAYER_START[@]} = 0 ] || PLAYER_NOTE+=", as nobody"
}
