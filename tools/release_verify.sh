#!/usr/bin/env bash
# Checks that the release is reproducible: builds it twice from two clones of HEAD in
# folders of different depth, a minute or more apart, under another umask, time zone and
# locale, then compares every file in the two dist/ folders. A file that differs is named
# and diffoscope shows what differs in it. Run as `tools/release.sh --verify`; about 3 minutes.
# Uncommitted changes are not built. The clones are removed when all is the same and kept
# for a look when not.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${RELEASE_VERIFY_PACKAGES[@]}"
commit=$(git -C "$TOP" rev-parse HEAD)
git -C "$TOP" diff --quiet HEAD || echo "== uncommitted changes are left out: building $commit"
work=$(mktemp -d /tmp/tunegrin-verify.XXXXXX)

# Clones HEAD into $1 and makes the release there; its output goes to $1.log. The caller's
# umask, TZ and locale hold; the build folder and the release's time are the clone's own.
release_in() {
    local dir=$1
    mkdir -p "$(dirname "$dir")"
    git clone -q --no-checkout "$TOP" "$dir"
    git -C "$dir" fetch -q "$TOP" HEAD          # HEAD may be on no branch
    git -C "$dir" checkout -q "$commit"
    if ! (cd "$dir" && env -u TUNEGRIN_BUILD -u SOURCE_DATE_EPOCH bash tools/release.sh) \
        >"$dir.log" 2>&1; then
        tail -n 30 "$dir.log" >&2
        echo "the release failed in $dir (all of it: $dir.log)" >&2
        exit 1
    fi
}

first=$work/a
second=$work/b/deeper/still
started=$SECONDS
# Clocks 26 hours apart, so that the two builds' local dates always differ.
echo "== release in $first (umask 022, TZ=Etc/GMT+12, LC_ALL=C.UTF-8)"
(umask 022; export TZ=Etc/GMT+12 LC_ALL=C.UTF-8 LANG=C.UTF-8; release_in "$first")
wait_for=$((60 - (SECONDS - started)))
if [ $wait_for -gt 0 ]; then
    echo "== waiting $wait_for s, so that the second build's clock is a minute later"
    sleep $wait_for
fi
echo "== release in $second (umask 077, TZ=Pacific/Kiritimati, LC_ALL=C)"
(umask 077; export TZ=Pacific/Kiritimati LC_ALL=C LANG=C; release_in "$second")

differ=()
count=0
for name in $( { ls "$first/dist"; ls "$second/dist"; } | LC_ALL=C sort -u); do
    count=$((count + 1))
    a=$first/dist/$name b=$second/dist/$name
    if [ ! -f "$a" ] || [ ! -f "$b" ]; then
        echo "DIFFERS $name: made by one build only"
        differ+=("$name")
    elif cmp -s "$a" "$b"; then
        echo "same    $(sha256sum "$a" | cut -d' ' -f1)  $name"
    else
        echo "DIFFERS $name"
        differ+=("$name")
        diffoscope --text "$work/$name.diff" "$a" "$b" >/dev/null 2>&1 || true
        head -n 60 "$work/$name.diff" | sed 's/^/   /'
        echo "   (all of it: $work/$name.diff)"
    fi
done
echo "== $((count - ${#differ[@]})) of $count files the same ($((SECONDS - started)) s)"
sums=0
(cd "$first/dist" && sha256sum --quiet -c SHA256SUMS) || sums=1
if [ ${#differ[@]} -gt 0 ] || [ $sums -gt 0 ]; then
    [ ${#differ[@]} -eq 0 ] || echo "not reproducible: ${differ[*]}" >&2
    echo "the two builds are kept in $work" >&2
    exit 1
fi
rm -rf "$work"
