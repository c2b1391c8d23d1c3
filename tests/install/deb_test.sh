#!/usr/bin/env bash
# The Debian package made from the built game: lintian, appstreamcli and desktop-file-validate
# on it; then, as root, installed with apt-get, started as the menu starts it for a player
# with a fresh home, and purged, which must keep the player's settings and nothing else. Between
# those, what a machine shared with other accounts may bring: each a row, with its scenario.
#   deb_test.sh path/to/tunegrin.exe path/to/install_probe.exe
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
program=$1 probe=$2

fail() { echo "FAIL: $*"; exit 1; }
scratch=$(mktemp -d)
home=$scratch/home
launcher_pid="" installed="" XVFB_PID="" holder=""
# Wine's background services, which the package's template and the game start, would inherit
# the locks below (fds 7 and 9) and hold them past this run: every command that may start Wine goes without.
# apt-get runs in a session of its own: a test run stopped early (say at its first failure)
# ends this script's process group, and a dpkg cut off there would leave the machine's
# packages half configured. This script stops once apt-get is done, and then purges.
apt() { setsid -w env DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=120 "$@" >/dev/null 7<&- 9>&-; }
cleanup() {
    [ -z "$launcher_pid" ] || kill "$launcher_pid" 2>/dev/null || true
    [ -z "$holder" ] || kill "$holder" 2>/dev/null || true
    [ ! -d "$home" ] || setpriv --reuid=65534 --regid=65534 --clear-groups \
        env WINEPREFIX="$home/.local/share/tunegrin/wine" wineserver -k 2>/dev/null || true
    [ ! -d "$scratch/root" ] || WINEPREFIX="$scratch/root/.local/share/tunegrin/wine" wineserver -k 2>/dev/null || true
    [ -z "$installed" ] || apt purge tunegrin || true
    stop_xvfb || true
    rm -rf "$scratch"
}
trap cleanup EXIT
# A run stopped early still purges what it installed, with no one left to read its output.
trap 'exec >/dev/null 2>&1; exit 1' TERM INT HUP

# TUNEGRIN_DEB: a package built elsewhere (tools/debian13.sh tests one file on two releases),
# which holds that build's program.
deb=${TUNEGRIN_DEB:-}
if [ -z "$deb" ]; then
    deb=$scratch/tunegrin.deb
    bash "$TOP/tools/make_deb.sh" "$program" "$deb" || fail "tools/make_deb.sh failed"
fi
# Kept: the package closes no Debian bug, as it is not uploaded to Debian.
report=$(lintian --fail-on error,warning --suppress-tags initial-upload-closes-no-bugs "$deb" 2>&1) \
    || fail "lintian: $report"
dpkg-deb -x "$deb" "$scratch/files"
entry=$scratch/files/usr/share/applications/$APP_ID.desktop
report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
report=$(grep -v ': hint: ' <<<"$report" || true)      # hints, such as two main categories, pass
[ -z "$report" ] || fail "desktop-file-validate: $report"
report=$(appstreamcli validate --no-net "$scratch/files/usr/share/metainfo/$APP_ID.metainfo.xml" 2>&1) \
    || fail "appstreamcli validate: $report"
[ -n "${TUNEGRIN_DEB:-}" ] || cmp -s "$program" "$scratch/files/usr/lib/tunegrin/tunegrin.exe" \
    || fail "the package holds another program"
# The icon at every size a desktop shows, each a PNG of that size (its header's width and height).
for size in 32 48 64 128 256; do
    icon=$scratch/files/usr/share/icons/hicolor/${size}x$size/apps/tunegrin.png
    head -c 24 "$icon" 2>/dev/null | od -An -tx1 | tr -d ' \n' \
        | grep -qx "89504e470d0a1a0a0000000d49484452$(printf '%08x%08x' "$size" "$size")" \
        || fail "no $size x $size PNG icon in the package"
done
for picture in $(sed -n 's|.*<image>https://[^/]*/\(.*\)</image>.*|\1|p' "$scratch/files/usr/share/metainfo/$APP_ID.metainfo.xml"); do
    [ -f "$TOP/$picture" ] || fail "the metainfo shows $picture, which the repository does not have"
done
# x11-xserver-utils: the launcher reads the desktop's scale with xrdb.
dpkg-deb -f "$deb" Depends | grep -qx 'wine, wine64, x11-xserver-utils' || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
# The package's code is the launcher's folder alone, nothing of the build, the tests or a release.
[ "$(cd "$scratch/files/usr/lib/tunegrin" && echo *)" = "prefix.sh tunegrin tunegrin.exe" ] \
    || fail "/usr/lib/tunegrin holds: $(ls "$scratch/files/usr/lib/tunegrin")"
[ "$(readlink -f "$scratch/files/usr/games/tunegrin")" = "$scratch/files/usr/lib/tunegrin/tunegrin" ] \
    || fail "/usr/games/tunegrin is not the launcher"
! grep -nE 'apt-get|dpkg|Xvfb|cmake|mingw|SOURCE_DATE_EPOCH' "$scratch/files/usr/lib/tunegrin/"{tunegrin,prefix.sh} \
    || fail "the launcher holds build, test or release code"

# A skip says why on its last line, "skipped: ...", which the test command's summary shows.
if [ "$(id -u)" -ne 0 ]; then
    echo "package checked; its install, start and purge not tried"
    echo "skipped: the install, start and purge need root (apt-get install); run the test command as root"
    exit 77                                     # ctest's "skipped"
fi
# The machine has one tunegrin package: test runs of other trees take turns on it. The lock is
# in root's own /run, where no other account can take it first or plant a link in its place.
exec 9>/run/tunegrin-deb-test.lock
flock -w 600 9 || fail "another test run held the package for 600 s"
# Checkouts from before it moved lock the old name, in the world-writable /run/lock: taken too,
# read-only and only when root's own file, so that their runs and this one take turns as well.
old_lock=/run/lock/tunegrin-deb-test.lock
if [ -f "$old_lock" ] && [ ! -L "$old_lock" ] && [ "$(stat -c %u "$old_lock")" = 0 ]; then
    exec 7<"$old_lock"
    flock -w 600 7 || fail "an older checkout's test run held the package for 600 s"
fi
if dpkg-query -W -f='${Status}' tunegrin 2>/dev/null | grep -q 'ok installed'; then
    echo "package checked; its install, start and purge not tried"
    echo "skipped: tunegrin is installed on this machine already (sudo apt purge tunegrin, then run again)"
    exit 77
fi
# A display of its own: the player's fresh Wine prefix and the game keep off the shared one.
start_xvfb 800x600x24
installed=yes
apt install "$deb" || fail "apt-get install ./tunegrin.deb failed"
prefix_is_current "$MACHINE_TEMPLATE" || fail "the package made no Wine prefix template in $MACHINE_TEMPLATE"
# The package's own autopkgtest, as Debian's CI runs it: the installed game shown and closed.
report=$(sh "$TOP/debian/tests/start-and-close" 2>&1 7<&- 9>&-) || fail "the package's autopkgtest: $report"
files=$(dpkg-query -L tunegrin | while read -r path; do [ -d "$path" ] || echo "$path"; done)
command=$(sed -n 's/^Exec=//p' /usr/share/applications/$APP_ID.desktop)

# The player: another account (nobody) with a fresh home, as a new user logs in.
chmod 755 "$scratch"
# The player runs the probe from here: the tree may be where other accounts cannot read
# (a clone in /root).
cp "$probe" "$scratch/install_probe.exe"
chmod 755 "$scratch/install_probe.exe"
probe=$scratch/install_probe.exe
mkdir -p "$home"
chown 65534:65534 "$home"
player=65534            # root's own rows below set 0
as_player() {
    setpriv --reuid=$player --regid=$player --clear-groups \
        env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u WINEPREFIX -u WINEDEBUG \
        -u WINEDLLOVERRIDES HOME="$home" USER=nobody LOGNAME=nobody "$@" 7<&- 9>&-
}
prefix=$home/.local/share/tunegrin/wine
# Starts the game as the menu does and plays it: waits for its window (in the player's prefix),
# starts a game from its menu, quits; meanwhile Wine's "being updated" box must never show.
# Arguments: the player's environment for this start (NAME=value).
play_once() {
    as_player "$@" sh -c "$command" >"$scratch/launcher.log" 2>&1 &
    launcher_pid=$!
    local played="" windows
    for _ in $(seq 1 240); do
        kill -0 "$launcher_pid" 2>/dev/null || break
        windows=$(xwininfo -root -tree 2>/dev/null || true)     # not piped: grep -q would cut it short
        if grep -q '"Wine": ("wineboot.exe"' <<<"$windows"; then
            fail "Wine's own box showed: $(grep -v 'has no name' <<<"$windows" | head -n 8)"
        fi
        # Only once the game's window is on the display: the probe would start Wine in a
        # half-made prefix, and a probe starting the prefix's server at the same moment as the
        # game can leave Debian's Wine in the game without its server ("error opening file
        # descriptor for wineserver tmpdir file").
        # Played once the probe says it closed the game: the game then ends, and Wine's exit
        # code for the probe itself is not always 0 while its server goes.
        if grep -q '"TuneGrin": (' <<<"$windows" && prefix_is_usable "$prefix"; then
            as_player WINEPREFIX="$prefix" WINEDEBUG=-all "$WINE" "$probe" play >"$scratch/probe.log" 2>&1 || true
            if grep -q '^closed' "$scratch/probe.log"; then played=yes; break; fi
        fi
        sleep 0.5
    done
    [ -n "$played" ] || fail "no game window: $(cat "$scratch/launcher.log"; tail -n 5 "$scratch/probe.log" 2>/dev/null)"
    local status=0
    timeout 30 tail --pid="$launcher_pid" -f /dev/null || fail "the game window did not close"
    wait "$launcher_pid" || status=$?
    launcher_pid=""
    [ $status -eq 0 ] || fail "the launcher ended with exit code $status: $(cat "$scratch/launcher.log")"
    prefix_is_usable "$prefix" || fail "the player's Wine prefix is not this Wine's"
    size=$(du -sm "$prefix" | cut -f1)
    [ "$size" -le 64 ] || fail "the player's Wine prefix takes $size MB"
}
play_once
grep -q 'Preparing' "$scratch/launcher.log" && fail "the first start made its own prefix: the template was not used"
as_player WINEPREFIX="$prefix" wineserver -w
left=$(cd "$home" && find . -mindepth 1 ! -path ./.local ! -path ./.local/share ! -path './.local/share/tunegrin*' | head -n 5)
[ -z "$left" ] || fail "the game put into the player's home: $left"

# A prefix that shares the builtin folders of a template since gone (a build folder's, say):
# Wine cannot start in it, so the next start copies the machine's template again, quietly.
for dir in system32 syswow64; do
    as_player ln -sfn "$scratch/gone/drive_c/windows/$dir" "$prefix/drive_c/windows/$dir"
done
play_once
grep -q 'Preparing' "$scratch/launcher.log" && fail "a prefix of a gone template's was made the slow way"

# The caller's Wine settings are not ours: a 32-bit WINEARCH, another Wine's server, loader and
# DLLs, another prefix. The game comes up all the same, in its own prefix.
play_once WINEARCH=win32 WINESERVER=/nonexistent/wineserver WINELOADER=/nonexistent/wine \
    WINEDLLPATH=/nonexistent WINEPREFIX=/nonexistent
# An XDG_DATA_HOME that is no absolute path counts as unset, as the XDG rules say.
play_once XDG_DATA_HOME=relative/share
# No display, or no usable HOME: one plain line and no start.
mkdir -p "$scratch/cwd"
chown 65534:65534 "$scratch/cwd"
for unusable in "-u DISPLAY:DISPLAY is not set" "-u HOME:HOME is not set" "HOME=:HOME is not set" \
    "HOME=relative:HOME (relative) is not an absolute path"; do
    said=$(cd "$scratch/cwd" && as_player env ${unusable%%:*} sh -c "$command" 2>&1) \
        && fail "the launcher started with ${unusable%%:*}"
    [ "$said" = "$(grep -F "${unusable#*:}" <<<"$said")" ] \
        || fail "with ${unusable%%:*} the launcher said: $said"
done
[ -z "$(ls -A "$scratch/cwd")" ] || fail "the launcher wrote where it was started: $(ls -A "$scratch/cwd")"
export -f play_once as_player fail            # for the rows in a mount namespace of their own
export command scratch prefix probe home player TOP
# A full disk, here a player's home of half what a player's copy of the template takes (its
# registry alone is some 2 MB, less without 32-bit Wine): our one line, and no prefix, half or
# whole, left behind; copied from the template, then made the slow way with the template gone
# (seen by this start alone), which names that cause first.
mkdir "$scratch/full"
copied=$(cd "$MACHINE_TEMPLATE" && du -sk "${BUILTIN_FOLDERS[@]/#/--exclude=./drive_c/windows/}" .)
export full_size=$((${copied%%[[:space:]]*} / 2))k
unshare --mount --propagation private bash -c 'set -euo pipefail
    mount -t tmpfs -o size=$full_size,uid=65534,gid=65534 tunegrin-full "$1"
    home=$1 wine=$1/.local/share/tunegrin/wine
    for expected in "TuneGrin could not copy its Wine prefix into $wine: No space left on device" \
        "Preparing TuneGrin'"'"'s Wine prefix (about 20 s): there is no template to copy at $2…
TuneGrin could not make its Wine prefix in $wine: No space left on device"; do
        said=$(as_player sh -c "$command" 2>&1) && fail "the start on a full disk went on"
        [ "$said" = "$expected" ] || fail "on a full disk the launcher said: $said"
        left=$(cd "$1/.local/share/tunegrin" && ls -A | grep -vx wine.lock || true)
        [ -z "$left" ] || fail "a full disk left: $left"
        mount -t tmpfs -o size=1m tunegrin-gone "${2%/*}"
    done' - "$scratch/full" "$MACHINE_TEMPLATE" 7<&- 9>&- || exit 1

# Root: never in another account's home; in its own, a whole prefix of its own, which shares
# nothing with the template every player copies, even when root writes into its system folder.
said=$(env -u XDG_DATA_HOME HOME="$home" timeout 60 sh -c "$command" 2>&1 7<&- 9>&-) \
    && fail "root started the game in nobody's home"
grep -q "^TuneGrin will not run as root with its files in $home/" <<<"$said" \
    || fail "root with nobody's home: $said"
template_files() { find "$MACHINE_TEMPLATE" -printf '%P %s %T@ %l\n' | sort | md5sum; }
shared=$(template_files)
player=0 home=$scratch/root prefix=$scratch/root/.local/share/tunegrin/wine
mkdir -p "$home"
play_once
grep -q 'Preparing' "$scratch/launcher.log" && fail "root's first start made its own prefix"
touch "$prefix/drive_c/windows/system32/tunegrin-root.dll"
[ "$(template_files)" = "$shared" ] || fail "root's start or its system folder changed the players' template"
player=65534 home=$scratch/home prefix=$scratch/home/.local/share/tunegrin/wine

# Another Wine (here a wine.inf of another time, seen by this start alone): the template is not
# its, so the start makes the prefix itself, saying so in our words and showing no box of Wine's.
cp -p "$(wine_inf)" "$scratch/wine.inf"
touch -d '2030-01-01' "$scratch/wine.inf"
unshare --mount --propagation private bash -c 'set -euo pipefail
    source "$TOP/tools/common.sh"
    mount --bind "$scratch/wine.inf" "$(wine_inf)"
    play_once' 7<&- 9>&- || fail "the start under another Wine failed"
grep -qx 'Preparing TuneGrin for this version of Wine (about 20 s)…' "$scratch/launcher.log" \
    || fail "the start under another Wine did not say so: $(cat "$scratch/launcher.log")"

# Holds an exclusive lock on every file and folder the player can open under PATHS, until
# killed ($holder); says how many in $scratch/held first.
hold_locks() {
    rm -f "$scratch/held"
    as_player bash -c 'ulimit -n "$(ulimit -Hn)"; n=0
        while IFS= read -r -d "" path; do
            exec {fd}<"$path" && flock -n "$fd" && n=$((n + 1))
        done < <(find "$@" -readable \( -type f -o -type d \) -print0)
        echo "$n"
        exec sleep 600' - "$@" >"$scratch/held" 2>/dev/null &
    holder=$!
    for _ in $(seq 1 120); do [ -s "$scratch/held" ] && return 0; sleep 0.5; done
    fail "the locks were never taken"
}
# A player holding every file it can open under /var/lib/tunegrin stalls no package operation:
# the template's lock is root's alone.
as_player sh -c ": <$MACHINE_LOCK" 2>/dev/null && fail "a player can open the template's lock $MACHINE_LOCK"
hold_locks /var/lib/tunegrin
[ "$(cat "$scratch/held")" -gt 100 ] || fail "the player could lock only $(cat "$scratch/held") files"
setsid env DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=120 install --reinstall "$deb" \
    >"$scratch/apt.log" 2>&1 7<&- 9>&- &
reinstall=$!
stalled=""
timeout 300 tail --pid=$reinstall -f /dev/null || stalled=yes
kill "$holder" && holder=""
wait $reinstall || fail "apt-get install --reinstall failed: $(cat "$scratch/apt.log")"
[ -z "$stalled" ] && ! grep -q 'TuneGrin waited' "$scratch/apt.log" \
    || fail "a player's locks held up apt-get install --reinstall: $(cat "$scratch/apt.log")"
# Root's lock held by another root run: the template waits as long as told, then says so.
player=0 hold_locks "$MACHINE_LOCK"
said=$(timeout 60 bash -c '. /usr/lib/tunegrin/prefix.sh && machine_template 1' 2>&1 7<&- 9>&-) \
    && fail "the template went on while its lock was held"
kill "$holder" && holder=""
[ "$said" = "TuneGrin waited 1 s for $MACHINE_LOCK, which another run of it holds; try again when that one is done." ] \
    || fail "with its lock held the template said: $said"
# The template made afresh by an administrator who runs the maintainer script with a umask of
# 027 (dpkg itself sets 022) and Wine settings of their own: this Wine's, and a new player's
# first start copies it.
rm -rf /var/lib/tunegrin
(umask 027 && WINEARCH=win32 WINESERVER=/nonexistent/wineserver WINELOADER=/nonexistent/wine \
    WINEDLLPATH=/nonexistent WINEPREFIX=/nonexistent /var/lib/dpkg/info/tunegrin.postinst configure) \
    >/dev/null 7<&- 9>&- || fail "tunegrin.postinst configure failed"
prefix_is_current "$MACHINE_TEMPLATE" || fail "no template made by a root with WINEARCH=win32 and more"
as_player rm -rf "$prefix"
play_once
grep -q 'Preparing' "$scratch/launcher.log" \
    && fail "a new player could not copy a template made under umask 027: $(cat "$scratch/launcher.log")"

# Written as the player: root writes nothing into another account's home, which that account
# could have made a link to anywhere.
settings=$home/.local/share/tunegrin/tunegrin.ini
as_player sh -c 'printf "[initialize]\r\nnotes=C3,B2\r\n" > "$1"' - "$settings" \
    || fail "the player could not write $settings"
apt purge tunegrin || fail "apt-get purge tunegrin failed"
installed=""
grep -q '^notes=C3,B2' "$settings" 2>/dev/null || fail "the purge took $settings"
for path in $files; do [ ! -e "$path" ] || fail "the purge left $path"; done
[ ! -e "$MACHINE_TEMPLATE" ] && [ ! -e /var/lib/tunegrin ] || fail "the purge left /var/lib/tunegrin"
echo "package, lintian, validators, apt-get install, template, a new player's first start, play and quit in its own folder, the caller's Wine settings, HOME and XDG, a full disk, root, another Wine, players' locks, umask 027 and purge: all as expected"
