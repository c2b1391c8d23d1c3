#!/usr/bin/env bash
# Plants the faults of tools/mutants.txt one at a time in a scratch copy of the tree, builds
# it and runs the default test command up to its first failure: a fault is caught when a
# test fails, missed when the suite passes. The work tree is never touched. First the copy
# runs unchanged, and must pass. Prints each fault's result and time, then "N of M caught".
# Not part of tools/test.sh: a missed fault costs a whole suite run.
#   tools/mutants.sh            every fault of the list
#   tools/mutants.sh PATTERN    only those whose record matches PATTERN (grep -E)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

pattern=${1:-}
# Each fault rebuilds what depends on its file: the compiler cache keeps that short.
ensure_packages ccache
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$BUILD_ROOT
scratch=$BUILD_ROOT/mutants
tree=$scratch/tree
mkdir -p "$scratch/logs"

# The tree as it stands, uncommitted changes included, without build folders.
rm -rf "$tree"
mkdir -p "$tree"
(cd "$TOP" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) |
    tar -xmf - -C "$tree"     # fresh time stamps: nothing built from an earlier, interrupted run is taken as current

# Runs the default test command on the scratch tree; its output goes to the named log.
run_suite() {
    TUNEGRIN_BUILD=$scratch/build TUNEGRIN_FIRST_FAILURE=1 bash "$tree/tools/test.sh" \
        >"$scratch/logs/$1.log" 2>&1
}

started=$SECONDS
if ! run_suite unchanged; then
    echo "the unchanged tree fails its tests: see $scratch/logs/unchanged.log" >&2
    exit 1
fi
echo "unchanged tree passes ($((SECONDS - started)) s)"

# Records: file, find, put, sees; "\n" in find and put is a line break.
files=() finds=() puts=() sees=()
while IFS= read -r line; do
    case "$line" in
        "file:"*) files+=("$(echo "${line#file:}" | sed 's/^ *//')") ;;
        "find:"*) finds+=("$(printf '%s' "${line#find:}" | sed 's/^ *//; s/\\n/\n/g')") ;;
        "put:"*)  puts+=("$(printf '%s' "${line#put:}" | sed 's/^ *//; s/\\n/\n/g')") ;;
        "sees:"*) sees+=("$(echo "${line#sees:}" | sed 's/^ *//')") ;;
    esac
done <"$TOP/tools/mutants.txt"
if [ ${#files[@]} -ne ${#finds[@]} ] || [ ${#files[@]} -ne ${#puts[@]} ] || [ ${#files[@]} -ne ${#sees[@]} ]; then
    echo "tools/mutants.txt: every record needs file, find, put and sees" >&2
    exit 1
fi

caught=0 total=0 broken=0
for i in "${!files[@]}"; do
    file=${files[$i]} find=${finds[$i]} put=${puts[$i]} sees=${sees[$i]}
    [ -z "$pattern" ] || printf '%s\n' "$file" "$find" "$sees" | grep -Eq -- "$pattern" || continue
    total=$((total + 1))
    target=$tree/$file
    original=$(cat "$target"; printf x)
    original=${original%x}
    rest=${original//"$find"/}
    if [ $(( (${#original} - ${#rest}) / ${#find} )) -ne 1 ]; then
        printf '%-7s        %s: its text is not found exactly once\n' "STALE" "$file"
        broken=$((broken + 1))
        continue
    fi
    printf '%s' "${original/"$find"/"$put"}" >"$target"
    name=$(printf 'fault%02d' "$total")
    started=$SECONDS
    if run_suite "$name"; then
        result=missed
    elif ! grep -q "^== 64-bit Windows tests under Wine" "$scratch/logs/$name.log"; then
        result=BROKEN           # it did not build: the record is wrong, not the suite
        broken=$((broken + 1))
    else
        result=caught
        caught=$((caught + 1))
    fi
    printf '%s' "$original" >"$target"     # a fresh time stamp: the next build compiles it again
    printf '%-7s %4d s  %s: %s\n' "$result" $((SECONDS - started)) "$file" "$sees"
done
echo "logs: $scratch/logs"
echo "$caught of $total caught"
[ "$caught" -eq "$total" ] && [ "$broken" -eq 0 ]
