#!/usr/bin/env bash
# The test command on this machine and again in a Debian 13 ("trixie") root made with
# debootstrap (or a Debian 12, "bookworm", one), as a new user there would run it from a clone;
# then both runs' summaries and times. The Debian package is built once, here, and both runs
# install, play and purge that same file. In the root the game is also started with
# tools/play.sh, until its window shows.
#   tools/debian13.sh [--release 12|13] [--fresh] [test.sh arguments]
#                      (also: tools/test.sh --on debian13|debian12 [--fresh] ...)
#       --fresh        makes the root anew first, as a new user's machine: debootstrap
#                      (minbase), then git, nothing else
#   tools/debian13.sh [--release 12|13] --shell [command...]   a shell (or a command) in the root
#   tools/debian13.sh [--release 12|13] --run command...        a command in the root's clone, made
#                      this tree's first (bash tools/bench.sh --desktop, say)
# The root is $TUNEGRIN_DEBIAN13_ROOT (default /var/cache/tunegrin/debian13; for Debian 12
# $TUNEGRIN_DEBIAN12_ROOT, default /var/cache/tunegrin/debian12), outside any clone, and is kept:
# the packages the test command installed there and its clone's build stay for the next run. A
# root left half made, or whose package database is broken, is made again. The clone holds this
# tree's tracked files as they are, committed or not. Needs root (sudo); run through sudo, what
# it makes as root here (the run's build, its logs, the package) goes to a folder of root's own
# in /var/cache/tunegrin/host-builds/, never into the caller's build/.
set -euo pipefail

release=13 fresh=""
while :; do
    case ${1:-} in
        --release) release=${2:-}; shift 2 || { echo "--release: 12 or 13" >&2; exit 2; } ;;
        --fresh) fresh=yes; shift ;;
        *) break ;;
    esac
done
case $release in
    12) suite=bookworm ;;
    13) suite=trixie ;;
    *) echo "--release: 12 or 13, not $release" >&2; exit 2 ;;
esac
root_variable=TUNEGRIN_DEBIAN${release}_ROOT
if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$root_variable=${!root_variable:-}" bash "$0" --release "$release" ${fresh:+--fresh} "$@"
fi
root=${!root_variable:-/var/cache/tunegrin/debian$release}
case $root in
    /*[!/]) ;;
    *) echo "$root_variable must be an absolute path: $root" >&2; exit 2 ;;
esac
case $root in *[[:space:]]*) echo "$root_variable may hold no blanks: $root" >&2; exit 2 ;; esac
# Run through sudo by another account: root's build and logs go to a folder of root's own, one
# for each tree, so that the caller's build/ holds nothing of root's.
caller_uid=${SUDO_UID:-0}
if [ "$caller_uid" -ne 0 ] 2>/dev/null; then
    tree=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    export TUNEGRIN_BUILD=/var/cache/tunegrin/host-builds/$(printf '%s' "$tree" | md5sum | cut -c1-12)
    mkdir -p "$TUNEGRIN_BUILD"
    chmod 700 "$(dirname "$TUNEGRIN_BUILD")"
fi
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
[ "$caller_uid" -eq 0 ] 2>/dev/null || echo "== run through sudo: root's build and logs are in $BUILD_ROOT"
mirror=http://deb.debian.org/debian
ready=$root/.tunegrin-root        # written last: a root without it is half made
clone=/root/tunegrin              # inside the root

# Mounted for the root's programs: Wine wants /proc, /dev/shm and a writable /tmp of its own
# (its server's socket, Xvfb's), apt and dpkg want /dev. The root itself is first made a mount
# point of its own, as a system's root is: the package test's private mount namespace needs one.
mounted=()
mount_root() {
    local point
    mount --bind "$root" "$root"
    mounted=("$root")
    for point in proc sys dev dev/pts dev/shm tmp; do
        mkdir -p "$root/$point"
        case $point in
            proc)    mount -t proc proc "$root/proc" ;;
            sys)     mount --bind /sys "$root/sys" ;;
            dev)     mount --bind /dev "$root/dev" ;;
            dev/pts) mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" ;;
            *)       mount -t tmpfs tmpfs "$root/$point" ;;
        esac
        mounted=("$root/$point" "${mounted[@]}")
    done
}
# What runs in the root is ours (this command started it): ended before its mounts go.
stop_root_processes() {
    local pid signal
    for signal in TERM KILL; do
        for pid in $(ls /proc | grep -x '[0-9]*'); do
            [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill -$signal "$pid" 2>/dev/null
        done
        sleep 1
    done
    return 0
}
unmount_root() {
    local point
    for point in "${mounted[@]}"; do umount "$point" 2>/dev/null || umount -l "$point" || true; done
    mounted=()
}
# A run killed outright (SIGKILL, a crash) left its mounts: deepest first, before anything else.
unmount_leftovers() {
    local point
    stop_root_processes
    awk -v root="$root" '$2 == root || index($2, root "/") == 1 { print $2 }' /proc/mounts | sort -r \
        | while read -r point; do umount "$point" 2>/dev/null || umount -l "$point"; done
}
# Sessions in the root (runs, shells) share its mounts: the first one in mounts them, the last
# one out ends what still runs there and unmounts them (another session's processes and
# files are not ours to end). Each holds $root.lock shared while it lives; $root.lock.setup
# is held for the moments of coming in and going out.
leave_root() {
    flock -x 9
    if flock -xn 8; then unmount_leftovers; fi
    flock -u 9
}

# A command in the root as root, with nothing of this shell's environment but a display-free
# locale and path.
in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 TERM="${TERM:-dumb}" "$@"
}

# Whether the root can be used again: finished, of this suite, and with a sound package database.
root_usable() {
    [ -f "$ready" ] && [ "$(cat "$ready")" = "$suite" ] || return 1
    [ -z "$(in_root dpkg --audit 2>&1)" ] && in_root apt-get check -q >/dev/null 2>&1
}

make_root() {
    echo "== making a Debian $release root in $root (debootstrap, a few minutes)"
    rm -rf --one-file-system "$root" "$root.partial"
    mkdir -p "$(dirname "$root")"
    if ! debootstrap --variant=minbase "$suite" "$root.partial" "$mirror" >"$BUILD_ROOT/debootstrap.log" 2>&1; then
        tail -n 20 "$BUILD_ROOT/debootstrap.log" >&2
        echo "debootstrap failed (all of it in $BUILD_ROOT/debootstrap.log)" >&2
        return 1
    fi
    mv "$root.partial" "$root"
    mount_root
    # What a new user installs first, to clone the repository.
    in_root apt-get install -y -q --no-install-recommends git ca-certificates >/dev/null
    echo "$suite" >"$ready"
}

mkdir -p "$BUILD_ROOT" "$(dirname "$root")"
ensure_packages "${ROOT_PACKAGES[@]}"
exec 8>"$root.lock" 9>"$root.lock.setup"
trap leave_root EXIT
trap 'exit 130' INT TERM HUP
flock -x 9
if flock -xn 8; then
    unmount_leftovers
    if [ -f "$ready" ]; then mount_root; fi
    if [ -n "$fresh" ] || ! root_usable; then
        unmount_root
        make_root
    fi
else
    [ -z "$fresh" ] || { echo "another session uses $root: it cannot be made anew now" >&2; exit 1; }
    root_usable || { echo "another session uses $root, and the root is not usable" >&2; exit 1; }
fi
flock -s 8
flock -u 9

if [ "${1:-}" = "--shell" ]; then
    shift
    [ $# -gt 0 ] || set -- bash -l
    in_root "$@"
    exit
fi
run=""
[ "${1:-}" != "--run" ] || { run=yes; shift; }

# The clone in the root: this tree's tracked files, committed or not (a stash commit holds
# them without touching the tree). Files that did not change keep their times, and so the
# root's build from the last run.
# As the caller when run through sudo: the objects it writes go into the caller's repository.
as_caller=()
[ "$caller_uid" -eq 0 ] 2>/dev/null || as_caller=(sudo -u "#$caller_uid" -H)
commit=$("${as_caller[@]}" git -C "$TOP" stash create)
[ -n "$commit" ] || commit=$(git -C "$TOP" rev-parse HEAD)
[ -d "$root$clone/.git" ] || git init -q "$root$clone"
git -C "$root$clone" checkout -q --detach 2>/dev/null || true     # frees the branch for the push
git -C "$TOP" push -q --force "$root$clone" "$commit:refs/heads/tested"
git -C "$root$clone" checkout -q -f --detach tested
git -C "$root$clone" clean -q -f -d -x -e /build
if [ -n "$run" ]; then
    in_root sh -c 'cd "$1" && shift && exec "$@"' - "$clone" "$@"
    exit
fi

# The package, built once, here: both runs install this file.
build_game x86_64
deb=/root/tunegrin.deb
bash "$TOP/tools/make_deb.sh" "$BUILD_ROOT/release/x86_64/tunegrin.exe" "$root$deb" >/dev/null

status=0
here="$(. /etc/os-release && echo "${NAME%% *} ${VERSION_ID:-}") (this machine)"
there="Debian $release (the root${fresh:+, made anew})"
echo "== $here: bash tools/test.sh $*"
TUNEGRIN_DEB="$root$deb" bash "$TOP/tools/test.sh" "$@" >"$BUILD_ROOT/here.log" 2>&1 || status=1
echo "== $there: bash tools/test.sh $*"
in_root sh -c 'cd "$1" && shift && TUNEGRIN_DEB='"$deb"' bash tools/test.sh "$@"' - "$clone" "$@" \
    >"$BUILD_ROOT/root.log" 2>&1 || status=1

# The game as the README's other command starts it, for a player with no TuneGrin folder yet,
# until its window shows; the package test's probe (the root's 64-bit tree) closes it.
read -r -d '' play_check <<'EOF' || true
cd "$1"
. tools/common.sh
probe=$BUILD_ROOT/x86_64/tests/install/install_probe.exe
[ -f "$probe" ] || { echo "not tried: no $probe"; exit 1; }
start_xvfb
export XDG_DATA_HOME=$(mktemp -d)
bash tools/play.sh >"$XDG_DATA_HOME/play.log" 2>&1 &
game=$!
export WINEPREFIX=$XDG_DATA_HOME/tunegrin/wine WINEDEBUG=-all
for _ in $(seq 1 240); do
    kill -0 $game 2>/dev/null || { echo "ended without a window: $(tail -n 5 "$XDG_DATA_HOME/play.log")"; exit 1; }
    if [ -f "$WINEPREFIX/system.reg" ] && "$WINE" "$probe" close >/dev/null 2>&1; then
        code=0
        wait $game || code=$?
        [ $code -eq 0 ] && echo "window shown and closed" || echo "ended with exit code $code"
        exit $code
    fi
    sleep 0.5
done
echo "no window in 120 s"
exit 1
EOF
played=$(in_root bash -c "$play_check" - "$clone" 2>&1) || status=1

for run in here root; do
    [ $run = here ] && name=$here || name=$there
    echo "== $name: summaries and times (all of it in $BUILD_ROOT/$run.log)"
    if grep -q '^== Summaries' "$BUILD_ROOT/$run.log"; then
        sed -n '/^== Summaries/,$p' "$BUILD_ROOT/$run.log" | grep -v '^== Summaries'
    else
        echo "   no summaries: it stopped before its tests; its last lines:"
        tail -n 15 "$BUILD_ROOT/$run.log" | sed 's/^/   /'
    fi
done
echo "== $there: bash tools/play.sh: $played"
[ "$played" = "window shown and closed" ] || status=1
exit $status
