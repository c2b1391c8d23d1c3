# TuneGrin's Wine prefixes on Linux: the machine's template, which the Debian package makes, and
# each player's own prefix, copied from it. Sourced by the launcher (linux/tunegrin), by the
# package's maintainer scripts and by the developer tools (tools/common.sh); bash. Every step
# that can fail is checked here, so that it behaves the same with set -e or without, and a
# prefix is built beside its place and moved there only when whole.

WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine || echo wine)
# The server of that same Wine, not the first one on the PATH.
TUNEGRIN_WINESERVER=${WINE%/*}/wineserver
[ -x "$TUNEGRIN_WINESERVER" ] || TUNEGRIN_WINESERVER=$(command -v wineserver || echo wineserver)

# The machine's template, made by the package as root (and again when Wine changes). Its lock
# is root's alone: no file a player can open is one that root waits on.
MACHINE_TEMPLATE=/var/lib/tunegrin/wine-template
MACHINE_LOCK=/var/lib/tunegrin/template.lock

# The player's TuneGrin folder: the settings, the Wine prefix and, from tools/install.sh, the
# game itself. XDG_DATA_HOME counts only as an absolute path, as the XDG rules say.
tunegrin_data() {
    case ${XDG_DATA_HOME:-} in
        /*) echo "$XDG_DATA_HOME/tunegrin"; return 0 ;;
    esac
    case ${HOME:-} in
        /*) echo "$HOME/.local/share/tunegrin" ;;
        '') echo "TuneGrin keeps its files in your home folder, but HOME is not set." >&2
            return 1 ;;
        *)  echo "TuneGrin keeps its files in your home folder, but HOME ($HOME) is not an absolute path." >&2
            return 1 ;;
    esac
}

# Whether root may keep its files at PATH: every part of it that exists is root's and no other
# account can replace what is in it (not writable by others, or sticky such as /tmp). A root
# player with another account's HOME (sudo -E) would otherwise write where that account rules.
root_may_use() {
    local path=$1
    while [ "$path" != / ] && [ -n "$path" ]; do
        if [ -e "$path" ] || [ -L "$path" ]; then
            if [ -z "$(find "$path" -maxdepth 0 -user 0 \( ! -perm /022 -o -perm -1000 \) 2>/dev/null)" ]; then
                echo "TuneGrin will not run as root with its files in $1: $path belongs to another account or others may write in it. Run it as yourself, or as root with root's own HOME." >&2
                return 1
            fi
        fi
        path=$(dirname "$path")
    done
}

# Every Wine call we make: our own prefix, never the user's default one, and none of the
# caller's Wine settings (WINEARCH, WINESERVER, WINELOADER, WINEDLLPATH...: another Wine's, or
# a 32-bit one, would not start in our 64-bit prefix); no Mono or Gecko install prompts; no
# winemenubuilder, which would put menu entries, icons and file associations into the user's
# desktop; one Windows user name, whoever plays, so that one prefix template fits every
# account (Wine takes the name from USER).
WINE_USER=tunegrin
prepare_prefix() {
    local name
    for name in $(compgen -e); do
        case $name in WINE?*) unset "$name" ;; esac
    done
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
    export USER=$WINE_USER LOGNAME=$WINE_USER
}

# Wine's own PE files, 64-bit then 32-bit, wherever this machine's Wine keeps them.
wine_pe_dirs() {
    local dir
    for dir in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib64/wine/x86_64-windows \
        /usr/lib/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows \
        /usr/lib/wine/i386-windows /usr/lib32/wine/i386-windows; do
        [ -d "$dir" ] && echo "$dir"
    done
    return 0
}
wine_inf() {
    local inf
    for inf in /usr/share/wine/wine.inf /usr/local/share/wine/wine.inf "$(dirname "$WINE")/../share/wine/wine.inf"; do
        [ -f "$inf" ] && { echo "$inf"; return 0; }
    done
    return 1
}

# What a prefix is made of: the code that makes it and the setup it had (so that a changed
# way of making one makes it again), and the Wine it was made with (its version, its
# wine.inf's time, which Wine itself compares, and its PE folders). A prefix whose stamp
# differs is another Wine's, to be made again. Only functions of this file count, so that the
# launcher and the developer tools, which have more, compute the same stamp.
wine_stamp() {
    local inf code
    inf=$(wine_inf) || { echo "no wine.inf: is Wine installed?" >&2; return 1; }
    code=$(declare -f make_prefix link_wine_files own_user_folders ${1:+derive_prefix "$1"} | md5sum | cut -c1-12)
    echo "tunegrin prefix $code, setup: ${1:-none}"
    "$WINE" --version 2>/dev/null || echo "wine of unknown version"
    stat -c '%n %Y %s' "$inf"
    wine_pe_dirs | tr '\n' ' '
    echo
}
PREFIX_STAMP=.tunegrin-wine
prefix_is_current() {       # PREFIX [SETUP]
    local stamp
    stamp=$(wine_stamp "${2:-}") || return 1
    [ -f "$1/$PREFIX_STAMP" ] && [ "$(cat "$1/$PREFIX_STAMP" 2>/dev/null)" = "$stamp" ]
}

# The first line of a failed step's messages, its reason alone ("No space left on device").
reason() {
    sed -n '/./{s/.*: //;p;q;}' <<<"$1"
}
# Why writing into DIR failed: a full disk, the one cause that tools word in many ways (or
# Wine in none), when it is full; else MESSAGE.
full_or() {
    if [ "$(stat -f -c %a "$1" 2>/dev/null)" = 0 ]; then
        echo "No space left on device"
    else
        echo "$2"
    fi
}

# Makes a prefix at PREFIX the quiet way, then runs SETUP (a command) in it, with Wine's
# server still up. No display, so Wine's "being updated" box cannot show; a scratch home,
# so Wine links nothing of the real one; a known umask, so that a template is every player's.
# Built beside PREFIX and renamed into place when whole; the stamp is written last. On failure
# the first line on stderr says why.
#   - Every file on drive C: byte-identical to one of Wine's own files becomes a link
#     to it (1.3 GB down to tens of MB). None must stay a copy: nothing of ours writes to a
#     system DLL, and Wine's own update, which rewrites each one in place through the link,
#     never runs in these prefixes (below).
#   - .update-timestamp says "disable": Wine never updates the prefix itself. A newer Wine
#     gets a new prefix from us instead (the stamp), as an update run as root would empty
#     Wine's own files through the links.
#   - The user's shell folders (Desktop, Documents...) are plain folders in the prefix, not
#     links into a home.
make_prefix() {
    local prefix=$1; shift
    local setup="${*:-}" stamp build home folder
    stamp=$(wine_stamp "$setup") || return 1
    build=$(mktemp -d "$prefix.new.XXXXXX") || return 1
    home=$(mktemp -d) || { rm -rf "$build"; return 1; }
    # Wine's server outlives these calls for a moment: it takes none of our open files (a
    # caller's lock on fd 8) along.
    if ! (
        umask 022 && prepare_prefix "$build" && export HOME=$home &&
        unset DISPLAY WAYLAND_DISPLAY XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR &&
        "$WINE" wineboot --init && "$WINE" reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d "" /f &&
        # ALSA, which offers the MIDI keyboards; PulseAudio's client would make a folder of
        # its own in the player's home (~/.config/pulse) when no sound server runs.
        "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f &&
        # The player's desktop: Wine draws the game's frame itself, so that its window, the
        # screen's size, covers the screen from (0, 0) and Wine asks the window manager for the
        # full-screen state, which puts the panel behind it. A frame of the window manager's
        # would push it down and the score row off the bottom.
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f &&
        # The window manager gives the keys to the window it activates, as to any program's
        # (UseTakeFocus). With Wine's default Wine takes them itself at the manager's word
        # (WM_TAKE_FOCUS), and drops a word for a dialog it has just closed: after the note
        # filter's message box no window had the keys until a click.
        # No pointer grab (GrabPointer; the game never confines the pointer): for a window as
        # large as the screen Wine grabs the pointer under an input-only window over all of it,
        # and the first menu's own grab ends Wine's; every later click fell on that window.
        # Wine 8 grabs so at the manager's word alone, Wine 10 at each activation.
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v UseTakeFocus /d N /f &&
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v GrabPointer /d N /f &&
        { [ -z "$setup" ] || $setup; } && "$TUNEGRIN_WINESERVER" -w
    ) </dev/null >/dev/null 2>&1 8<&-; then
        full_or "$build" "Wine could not make a prefix" >&2
        rm -rf "$build" "$home"
        return 1
    fi
    rm -rf "$home"
    if link_wine_files "$build" && own_user_folders "$build" && rm -f "$build/wineserver" &&
        echo disable >"$build/.update-timestamp" && echo "$stamp" >"$build/$PREFIX_STAMP" &&
        chmod -R a+rX "$build" && replace_prefix "$build" "$prefix"; then
        return 0
    fi
    rm -rf "$build"
    return 1
}

# Replaces each file under the prefix's drive C: that is byte-identical to Wine's own file of
# that name (its PE programs and DLLs, its code page tables) with a link to it.
link_wine_files() {
    local dirs file name dir
    mapfile -t dirs < <(wine_pe_dirs)
    [ ${#dirs[@]} -gt 0 ] || { echo "no Wine PE folders found" >&2; return 1; }
    dirs+=("$(dirname "$(wine_inf)")/nls")
    while IFS= read -r -d '' file; do
        name=${file##*/}
        for dir in "${dirs[@]}"; do
            if [ -f "$dir/$name" ] && cmp -s "$file" "$dir/$name"; then
                ln -sf "$dir/$name" "$file" || return 1
                break
            fi
        done
    done < <(find "$1/drive_c" -type f -size +0 -print0)
}

# The prefix's user folders (Desktop, Documents...), which Wine links into the home that made
# it, become folders of its own.
own_user_folders() {
    local folder
    while IFS= read -r -d '' folder; do
        rm -f "$folder" && mkdir "$folder" || return 1
    done < <(find "$1/drive_c/users" -type l -print0)
}

# Puts a finished prefix BUILT in the place of PREFIX (there or not), old one removed after.
replace_prefix() {
    local built=$1 prefix=$2 old=""
    if [ -e "$prefix" ] || [ -L "$prefix" ]; then
        old=$(mktemp -d "$prefix.old.XXXXXX") || return 1
        mv "$prefix" "$old/" || return 1
    fi
    mv "$built" "$prefix" || return 1
    [ -z "$old" ] || rm -rf "$old"
}

# A copy of TEMPLATE at PREFIX, its links kept. With "shared", the folders of Wine's own
# programs and DLLs (system32, syswow64: 1,450 of a prefix's 1,800 entries) become links to
# the template's, which a game never writes to: a new player's first start then makes some
# 200 entries instead, which on a disk whose caches are cold is most of a second less.
BUILTIN_FOLDERS=(system32 syswow64)
copy_prefix() {
    local template=$1 prefix=$2 shared=${3:-} build dir skip=() failed
    template=$(cd "$template" && pwd) || return 1
    build=$(mktemp -d "$prefix.new.XXXXXX") || return 1
    if [ "$shared" = shared ]; then
        for dir in "${BUILTIN_FOLDERS[@]}"; do skip+=(--exclude="./drive_c/windows/$dir"); done
    fi
    if ! failed=$( (set -o pipefail; tar -C "$template" --anchored "${skip[@]}" -cf - . | tar -C "$build" -xf -) 2>&1); then
        full_or "$build" "$failed" >&2
        rm -rf "$build"
        return 1
    fi
    if [ "$shared" = shared ]; then
        for dir in "${BUILTIN_FOLDERS[@]}"; do
            [ ! -d "$template/drive_c/windows/$dir" ] \
                || ln -s "$template/drive_c/windows/$dir" "$build/drive_c/windows/$dir" \
                || { rm -rf "$build"; return 1; }
        done
    fi
    replace_prefix "$build" "$prefix" || { rm -rf "$build"; return 1; }
}

# PREFIX is this Wine's, and so is the template whose builtin folders it shares, if any: a
# template made again for another Wine, or gone with the package, leaves it stale. With
# "whole", a prefix that shares a template's folders at all is not the one asked for.
prefix_is_usable() {        # PREFIX [whole]
    local prefix=$1 whole=${2:-} dir linked
    prefix_is_current "$prefix" || return 1
    for dir in "${BUILTIN_FOLDERS[@]}"; do
        linked=$(readlink "$prefix/drive_c/windows/$dir") || continue     # a folder of its own
        [ "$whole" != whole ] || return 1
        prefix_is_current "${linked%/drive_c/windows/$dir}" || return 1
    done
}

# Takes the lock file LOCK on fd 8 (made first, readable by its owner alone), waiting at most
# SECONDS, then runs the rest of the arguments as a command. Fails with our line when the wait
# ends.
with_lock() {
    local lock=$1 seconds=$2 failed; shift 2
    if [ ! -e "$lock" ]; then
        failed=$( (umask 077 && : >>"$lock") 2>&1) \
            || { echo "TuneGrin could not make its lock $lock: $(reason "$failed")" >&2; return 1; }
    fi
    chmod 600 "$lock" 2>/dev/null || true          # an older TuneGrin's, or not ours to change
    (
        if ! flock -w "$seconds" 8; then
            echo "TuneGrin waited $seconds s for $lock, which another run of it holds; try again when that one is done." >&2
            exit 1
        fi
        "$@"
    ) 8<"$lock"
}

# Makes the player's PREFIX usable: as it is when this Wine made it; else a copy of TEMPLATE
# when that is this Wine's (sharing its builtin folders, unless told "whole"; root's always
# whole, as root could write through them into every player's template); else made here the
# slow way, saying so in one line that names the cause. Two starts at once take turns, and
# the second finds it made. Any failure is one line on stderr.
player_prefix() {
    local prefix=$1 template=$2 copy=${3:-shared} failed
    [ "$(id -u)" != 0 ] || copy=whole
    failed=$( (umask 077 && mkdir -p "${prefix%/*}") 2>&1) \
        || { echo "TuneGrin could not make its folder ${prefix%/*}: $(reason "$failed")" >&2; return 1; }
    with_lock "$prefix.lock" 120 player_prefix_locked "$prefix" "$template" "$copy"
}
player_prefix_locked() {
    local prefix=$1 template=$2 copy=$3 failed
    prefix_is_usable "$prefix" "$copy" && return 0
    rm -rf "$prefix".new.* "$prefix".old.*          # left by an interrupted start
    if prefix_is_current "$template"; then
        failed=$(copy_prefix "$template" "$prefix" "$copy" 2>&1 >/dev/null) && { new_prefix_dpi "$prefix"; return 0; }
        echo "TuneGrin could not copy its Wine prefix into $prefix: $(reason "$failed")" >&2
        return 1
    fi
    if [ -r "$template/$PREFIX_STAMP" ] && [ "$(head -n 1 "$template/$PREFIX_STAMP")" != "$(wine_stamp | head -n 1)" ]; then
        echo "Preparing TuneGrin's Wine prefix (about 20 s): its template $template was made by another version of TuneGrin…"
    elif [ -r "$template/$PREFIX_STAMP" ]; then
        echo "Preparing TuneGrin for this version of Wine (about 20 s)…"
    elif [ -e "$template" ] || { [ -e "${template%/*}" ] && [ ! -x "${template%/*}" ]; }; then
        echo "Preparing TuneGrin's Wine prefix (about 20 s): its template $template cannot be read…"
    else
        echo "Preparing TuneGrin's Wine prefix (about 20 s): there is no template to copy at $template…"
    fi
    failed=$(make_prefix "$prefix" 2>&1 >/dev/null) && { new_prefix_dpi "$prefix"; return 0; }
    echo "TuneGrin could not make its Wine prefix in $prefix: $(reason "$failed")" >&2
    return 1
}

# The machine's template, for the package's maintainer scripts (root): made when it is not
# this Wine's, under a lock only root can open, waited on at most SECONDS (default 2 minutes).
machine_template() {
    local seconds=${1:-120} dir=${MACHINE_TEMPLATE%/*} failed
    # Players must enter the folder whatever root's umask; the lock of older versions was
    # every player's to hold.
    failed=$(mkdir -p "$dir" 2>&1 && chmod 755 "$dir" 2>&1 && rm -f "$dir/wine-template.lock" 2>&1) \
        || { echo "TuneGrin could not prepare $dir: $(reason "$failed")" >&2; return 1; }
    with_lock "$MACHINE_LOCK" "$seconds" machine_template_locked
}
machine_template_locked() {
    local failed
    prefix_is_current "$MACHINE_TEMPLATE" && return 0
    rm -rf "$MACHINE_TEMPLATE".new.* "$MACHINE_TEMPLATE".old.*      # left by an interrupted run
    failed=$(make_prefix "$MACHINE_TEMPLATE" 2>&1 >/dev/null) && return 0
    echo "TuneGrin's Wine prefix template could not be made in $MACHINE_TEMPLATE: $(reason "$failed")" >&2
    return 1
}

# The desktop's scale in dots per inch: Xft.dpi from the display's X resources, which GNOME,
# KDE and Xfce set from their scale; else GDK_SCALE (a whole factor) or QT_SCALE_FACTOR; else
# 96. Within Windows' own range, 100% to 500%.
desktop_dpi() {
    local dpi
    dpi=$(xrdb -query 2>/dev/null | sed -n 's/^Xft\.dpi:[[:space:]]*\([0-9][0-9]*\).*/\1/p' | head -n 1)
    if [ -z "$dpi" ]; then
        case ${GDK_SCALE:-} in
            [1-9]|[1-9][0-9]) dpi=$((96 * GDK_SCALE)) ;;
            *) dpi=$(awk -v f="${QT_SCALE_FACTOR:-}" 'BEGIN { if (f ~ /^[0-9]+(\.[0-9]+)?$/) printf "%d", 96 * f + 0.5 }') ;;
        esac
    fi
    if [ -z "$dpi" ] || [ "$dpi" -lt 96 ]; then dpi=96; fi
    [ "$dpi" -le 480 ] || dpi=480
    echo "$dpi"
}

# The system DPI the prefix PREFIX holds for its user (HKCU\Control Panel\Desktop LogPixels in
# its user.reg): 96, Wine's own, when it holds none.
prefix_dpi() {
    local hex
    hex=$(awk 'index($0, "[") == 1 { inside = index($0, "[Control Panel\\\\Desktop]") == 1 }
               inside && index($0, "\"LogPixels\"=dword:") == 1 { sub(/.*:/, ""); print; exit }' \
          "$1/user.reg" 2>/dev/null)
    case $hex in
        [0-9a-f]*) echo $((16#$hex)) ;;
        *) echo 96 ;;
    esac
}

# The system DPI the prefix should hold. Wine 10 and later scale the windows of programs that
# know nothing of DPI, the game among them, from the prefix's system DPI, as Windows does: the
# desktop's. Wine 8 does not: a larger DPI there enlarges fonts and dialogs only, so 96.
wanted_dpi() {
    local major
    major=$("$WINE" --version 2>/dev/null | sed -n 's/^wine-\([0-9][0-9]*\).*/\1/p')
    if [ "${major:-0}" -ge 10 ]; then desktop_dpi; else echo 96; fi
}

# Writes the wanted DPI straight into the user.reg of PREFIX, a prefix just made under its
# lock, which no Wine server has read: a server reads user.reg when it starts and writes it
# back only whole, from what it holds, so the value there is what the game gets. A Wine call
# (match_desktop_dpi) would start Wine for it first, some 2 s of a new player's first start.
# A prefix whose user.reg has no desktop key is left to match_desktop_dpi.
new_prefix_dpi() {
    local prefix=$1 want new
    want=$(wanted_dpi)
    [ "$(prefix_dpi "$prefix")" != "$want" ] || return 0
    new=$(mktemp "$prefix/user.reg.XXXXXX") || return 0
    if awk -v value="$(printf '"LogPixels"=dword:%08x' "$want")" '
            function put() { if (inside && !done) { print value; done = 1 } }
            index($0, "[") == 1 { put(); inside = index($0, "[Control Panel\\\\Desktop]") == 1 }
            inside && index($0, "\"LogPixels\"=") == 1 { next }
            inside && $0 == "" { put() }
            { print }
            END { put(); exit !done }' "$prefix/user.reg" >"$new" 2>/dev/null &&
        chmod --reference="$prefix/user.reg" "$new" && mv "$new" "$prefix/user.reg"; then
        return 0
    fi
    rm -f "$new"
}

# Gives the prefix PREFIX (prepared for Wine calls) the wanted DPI, when the desktop's scale
# changed since it was made. Written only when it changes, as each Wine call costs a start.
# A failure is one line; the game then shows at the scale the prefix has.
match_desktop_dpi() {
    local prefix=$1 want have failed why
    want=$(wanted_dpi)
    have=$(prefix_dpi "$prefix")
    [ "$have" != "$want" ] || return 0
    if ! failed=$("$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$want" /f 2>&1 >/dev/null); then
        why=$(reason "$failed")
        echo "TuneGrin could not set Wine's scale to your desktop's $want dpi${why:+ ($why)}: the game shows at $have dpi." >&2
        return 1
    fi
}
