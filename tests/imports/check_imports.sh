#!/usr/bin/env bash
# Fails when a Windows program imports a function outside a reviewed list, or asks for a
# newer Windows than it should in its subsystem version. The loaders of older Windows
# refuse a program with one missing import, so each list holds only functions that the
# oldest Windows the program names has.
#   check_imports.sh <objdump> <program.exe> <list> <subsystem version, e.g. 4.0>
# Each line of the list is "DLL function..."; the DLL name in any case, # starts a comment.
set -euo pipefail
objdump=$1 program=$2 list=$3 version=$4

dump=$("$objdump" -p "$program")
major=$(sed -n 's/^MajorSubsystemVersion[[:space:]]*//p' <<<"$dump")
minor=$(sed -n 's/^MinorSubsystemVersion[[:space:]]*//p' <<<"$dump")
status=0
if [ "$major.$minor" != "$version" ]; then
    echo "$program: subsystem version $major.$minor, expected $version"
    status=1
fi

# The import table: a "DLL Name:" line, then one line per function (hint, name).
imports=$(awk '/^\tDLL Name:/ { dll = toupper($3); next }
               dll && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3; next }
               /^$/ { dll = "" }' <<<"$dump" | sort -u)
if [ -z "$imports" ]; then
    echo "$program: no imports read (is $objdump the right tool?)"
    exit 1
fi
allowed=$(sed 's/#.*//' "$list" | awk '{ for (i = 2; i <= NF; i++) print toupper($1), $i }' | sort -u)
unlisted=$(comm -23 <(echo "$imports") <(echo "$allowed"))
if [ -n "$unlisted" ]; then
    echo "$program imports what $list does not allow:"
    sed 's/^/   /' <<<"$unlisted"
    status=1
fi
[ $status -ne 0 ] || echo "$program: $(wc -l <<<"$imports") imports, all listed; subsystem $version"
exit $status
