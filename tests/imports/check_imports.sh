#!/usr/bin/env bash
# Fails when a Windows program's imports are not those of a reviewed list (one outside it, or
# one listed that it no longer imports), or when it asks for a newer Windows than it should
# in its subsystem version. The loaders of older Windows refuse a program with one missing
# import, so each list holds only functions that the oldest Windows the program names has.
#   check_imports.sh <objdump> <program.exe> <list> <subsystem version, e.g. 4.0>
# Each line of the list is "DLL function..."; the DLL name in any case, # starts a comment.
# A line "gcc N: DLL function..." holds what the program imports when built with GCC N or
# later (the compiler beside the objdump), and only then.
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

# The import table: a "DLL Name:" line, then one line per function: its address, hint and
# name (binutils 2.40, Debian 12), or address, ordinal "<none>", hint and name (2.44, Debian 13).
imports=$(awk '/^\tDLL Name:/ { dll = toupper($3); next }
               dll && /^\t[0-9a-f]+[ \t]/ && NF >= 3 && $NF ~ /^[A-Za-z_]/ { print dll, $NF; next }
               /^$/ { dll = "" }' <<<"$dump" | sort -u)
if [ -z "$imports" ]; then
    echo "$program: no imports read (is $objdump the right tool?)"
    exit 1
fi
gcc=$(${objdump%objdump}gcc -dumpversion | sed 's/[^0-9].*//')
allowed=$(sed 's/#.*//' "$list" | awk -v gcc="$gcc" '
    $1 == "gcc" { if (gcc + 0 < $2 + 0) next; $1 = $2 = ""; $0 = $0 }
    { for (i = 2; i <= NF; i++) print toupper($1), $i }' | sort -u)
unlisted=$(comm -23 <(echo "$imports") <(echo "$allowed"))
if [ -n "$unlisted" ]; then
    echo "$program imports what $list does not allow (GCC $gcc):"
    sed 's/^/   /' <<<"$unlisted"
    status=1
fi
gone=$(comm -13 <(echo "$imports") <(echo "$allowed"))
if [ -n "$gone" ]; then
    echo "$program no longer imports what $list holds for GCC $gcc (take it out of the list):"
    sed 's/^/   /' <<<"$gone"
    status=1
fi
[ $status -ne 0 ] || echo "$program: $(wc -l <<<"$imports") imports, as listed for GCC $gcc; subsystem $version"
exit $status
