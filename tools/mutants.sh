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
ensure_packages ccache             # the suite's own, its set-up installs in each run
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

# Records: one or more file, find, put, then sees; "\n" in find and put is a line break.
# Triple t belongs to record owner[t].
files=() finds=() puts=() owner=() sees=()
while IFS= read -r line; do
    case "$line" in
        "file:"*) files+=("$(echo "${line#file:}" | sed 's/^ *//')"); owner+=(${#sees[@]}) ;;
        "find:"*) finds+=("$(printf '%s' "${line#find:}" | sed 's/^ *//; s/\\n/\n/g')") ;;
        "put:"*)  puts+=("$(printf '%s' "${line#put:}" | sed 's/^ *//; s/\\n/\n/g')") ;;
        "sees:"*) sees+=("$(echo "${line#sees:}" | sed 's/^ *//')") ;;
    esac
done <"$TOP/tools/mutants.txt"
if [ ${#files[@]} -ne ${#finds[@]} ] || [ ${#files[@]} -ne ${#puts[@]} ] \
    || [ ${#sees[@]} -eq 0 ] || [ "${owner[-1]}" -ne $((${#sees[@]} - 1)) ]; then
    echo "tools/mutants.txt: every record needs file, find and put, as often as it changes a" \
         "place, then sees" >&2
    exit 1
fi

# Plants triple t into the scratch tree, keeping what its file held in originals[t];
# fails when its text is not found exactly once.
originals=()
plant() {
    local t=$1 target=$tree/${files[$1]} original rest
    original=$(cat "$target"; printf x)
    original=${original%x}
    originals[$t]=$original
    rest=${original//"${finds[$t]}"/}
    [ $(( (${#original} - ${#rest}) / ${#finds[$t]} )) -eq 1 ] || return 1
    printf '%s' "${original/"${finds[$t]}"/"${puts[$t]}"}" >"$target"
}

caught=0 total=0 broken=0
for i in "${!sees[@]}"; do
    triples=()
    for t in "${!files[@]}"; do [ "${owner[$t]}" -ne "$i" ] || triples+=("$t"); done
    where=$(for t in "${triples[@]}"; do echo "${files[$t]}"; done | sort -u | paste -sd, -)
    [ -z "$pattern" ] || { for t in "${triples[@]}"; do printf '%s\n' "${files[$t]}" "${finds[$t]}"; done
                           echo "${sees[$i]}"; } | grep -Eq -- "$pattern" || continue
    total=$((total + 1))
    planted=()
    stale=""
    for t in "${triples[@]}"; do
        if ! plant "$t"; then stale=${files[$t]}; break; fi
        planted=("$t" "${planted[@]}")
    done
    result=""
    name=$(printf 'fault%02d' "$total")
    started=$SECONDS
    if [ -n "$stale" ]; then
        result=STALE
        broken=$((broken + 1))
    elif run_suite "$name"; then
        result=missed
    elif ! grep -q "^== 64-bit Windows tests under Wine" "$scratch/logs/$name.log" \
        || grep -q "^== 32-bit build failed" "$scratch/logs/$name.log"; then
        result=BROKEN           # it did not build: the record is wrong, not the suite
        broken=$((broken + 1))
    else
        result=caught
        caught=$((caught + 1))
    fi
    # Put back in reverse order; a fresh time stamp: the next build compiles it again.
    for t in "${planted[@]}"; do printf '%s' "${originals[$t]}" >"$tree/${files[$t]}"; done
    if [ $result = STALE ]; then
        printf '%-7s        %s: its text is not found exactly once\n' "$result" "$stale"
    else
        printf '%-7s %4d s  %s: %s\n' "$result" $((SECONDS - started)) "$where" "${sees[$i]}"
    fi
done
echo "logs: $scratch/logs"
echo "$caught of $total caught"
[ "$caught" -eq "$total" ] && [ "$broken" -eq 0 ]
