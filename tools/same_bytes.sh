#!/usr/bin/env bash
# The test command's quick guard of the reproducible release (the full check is
# tools/release.sh --verify): tunegrin.exe from the test trees ($BUILD_ROOT/<arch>) and
# from the game's own trees ($BUILD_ROOT/release/<arch>, other folders and options, built
# here on another date) must be the same bytes and hold neither folder's path. A build
# time or path that reaches the program shows here; with both trees built it costs a second.
#   tools/same_bytes.sh [ARCH...]   x86_64 and i686 unless named; their test trees built
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# A clock on another date than the local one (the two zones are 26 hours apart), so that a
# __DATE__ in the game's tree differs from the test tree's even on the same day.
today=$(date +%F)
other_zone=Etc/GMT+12
[ "$(TZ=$other_zone date +%F)" != "$today" ] || other_zone=Pacific/Kiritimati

arches=("$@")
[ $# -gt 0 ] || arches=(x86_64 i686)
status=0
for arch in "${arches[@]}"; do
    tested=$BUILD_ROOT/$arch/tunegrin.exe
    game=$BUILD_ROOT/release/$arch/tunegrin.exe
    (unset SOURCE_DATE_EPOCH; export TZ=$other_zone; build_game "$arch")
    if ! cmp -s "$tested" "$game"; then
        echo "tunegrin.exe ($arch) differs between two build folders: $tested and $game" >&2
        echo "  first bytes that differ (offset, then octal value and character in each):" >&2
        cmp -bl "$tested" "$game" | head -n 8 | sed 's/^/  /' >&2 || true
        echo "  diffoscope (package diffoscope-minimal) on the two shows where" >&2
        status=1
    fi
    for path in "$TOP" "$BUILD_ROOT"; do     # as bytes, or as UTF-16 in a resource
        if { strings -a "$tested"; strings -a -el "$tested"; } | grep -qF "$path"; then
            echo "$tested holds the path $path" >&2
            status=1
        fi
    done
done
[ $status != 0 ] || echo "   tunegrin.exe the same from both trees: ${arches[*]} ($SECONDS s)"
exit $status
