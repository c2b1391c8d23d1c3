#!/usr/bin/env bash
# The set-up step with real apt, each case in a throwaway copy of this machine's files
# (sandbox.sh), so that the packages it removes and installs there stay there.
#   apt_test.sh failing_index    beside the real sources, a local repository whose indexes do
#                                not match its Release file (a mirror part-way through a sync),
#                                and googletest removed: `bash tools/test.sh --quick -R
#                                version_resource` says the update failed, installs googletest
#                                and passes
#   apt_test.sh cannot_install   wine32 that cannot be installed (its libwine held back), and a
#                                name the mirror does not have: the set-up names each, quotes
#                                apt, gives the likely cause and the way out, and fails
#   apt_test.sh take_turns       two set-ups at once while another apt holds dpkg's lock: each
#                                says what it waits for, and both install theirs; a set-up whose
#                                time limit passes first says so and fails
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/sandbox.sh"
case=${1:?a case: failing_index, cannot_install or take_turns}

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root (a copy of the machine's files in a mount namespace of its own)"
    exit 77
fi
# What the copy runs: this case's script, with the functions it shares.
read -r -d '' shared <<'SHARED' || true
set -euo pipefail
unset TUNEGRIN_PACKAGES_SET_UP WINEPREFIX DISPLAY
source tools/common.sh
fail() { echo "FAIL: $*"; exit 1; }
# Removes PACKAGES from the copy's package database, those that depend on them staying.
remove() {
    local package
    for package in "$@"; do
        ! package_installed "$package" || dpkg -r --force-depends "$package" >/dev/null 2>&1 \
            || fail "could not remove $package"
        ! package_installed "$package" || fail "$package is still installed"
    done
}
# The copy was made while no apt ran here; a dpkg run of another account's can still have been
# under way, as the machine changes beneath the copy: the copy finishes it first.
[ -z "$(ls -A /var/lib/dpkg/updates)" ] || dpkg --configure -a >/dev/null
SHARED

failing_index='
# A repository as a mirror is part-way through a sync: its Release file lists indexes of other
# sizes and sums than those it serves, for amd64 and i386 alike.
repo=$(mktemp -d)
for arch in amd64 i386; do
    mkdir -p "$repo/dists/mid-sync/main/binary-$arch"
    printf "Package: tunegrin-mid-sync\nVersion: 1\nArchitecture: %s\nFilename: pool/none.deb\nSize: 1\nSHA256: %064d\nDescription: x\n" \
        "$arch" 0 >"$repo/dists/mid-sync/main/binary-$arch/Packages"
done
{
    printf "Suite: mid-sync\nCodename: mid-sync\nArchitectures: amd64 i386\nComponents: main\nDate: %s\nSHA256:\n" "$(date -R -u)"
    for arch in amd64 i386; do
        printf " %064d %d main/binary-%s/Packages\n" 1 376004 "$arch"
    done
} >"$repo/dists/mid-sync/Release"
echo "deb [trusted=yes arch=amd64,i386] file:$repo mid-sync main" >/etc/apt/sources.list.d/tunegrin-mid-sync.list
remove googletest
out=$(mktemp)
code=0
bash tools/test.sh --quick -R version_resource 2>&1 | tee "$out" || code=${PIPESTATUS[0]}
grep -q "^E: Failed to fetch file:$repo/dists/mid-sync/main/binary-i386/Packages" "$out" \
    || fail "apt-get update did not fail on the local repository'"'"'s i386 index"
grep -q "^== apt-get update failed (2 package indexes could not be fetched: .*); trying the install with what apt has" "$out" \
    || fail "the set-up did not say, in one line, that the update failed and it goes on"
package_installed googletest || fail "googletest was not installed"
[ $code -eq 0 ] || fail "the test command failed (exit code $code)"
grep -Eq "^   64-bit tests +100% tests passed, 0 tests failed out of 1, none skipped" "$out" \
    || fail "no summary of one test passed"
echo "an index that failed, then googletest installed and version_resource passed: as expected"
'

cannot_install='
remove wine32:i386 libwine:i386
# libwine held back, as when the i386 index is of another day than the amd64 one.
printf "Package: libwine:i386\nPin: release *\nPin-Priority: -1\n" >/etc/apt/preferences.d/tunegrin-test
out=$(mktemp)
code=0
ensure_packages wine32:i386 >"$out" 2>&1 || code=$?
cat "$out"
[ $code -ne 0 ] || fail "the set-up went on without wine32"
grep -q "^== could not install: wine32:i386" "$out" || fail "the set-up did not name wine32:i386"
grep -q "^   apt: .*wine32:i386 : Depends: libwine:i386" "$out" || fail "the set-up did not quote apt"
grep -q "Multi-Arch: same" "$out" && grep -q "mirror is part-way through a sync" "$out" \
    || fail "the set-up did not give the likely cause"
grep -q "Try again later (an hour or so), or leave the 32-bit tests out: bash tools/test.sh --64-bit-only" "$out" \
    || fail "the set-up did not give the way out"
code=0
ensure_packages bc tunegrin-no-such-package >"$out" 2>&1 || code=$?
cat "$out"
[ $code -ne 0 ] || fail "the set-up went on without tunegrin-no-such-package"
grep -q "^== could not install: tunegrin-no-such-package$" "$out" || fail "the set-up did not name the package"
grep -q "^   apt: E: Unable to locate package tunegrin-no-such-package" "$out" || fail "the set-up did not quote apt"
echo "wine32 held back and a name the mirror lacks: each named, apt quoted, cause and way out given"
'

take_turns='
remove bc zip
# Another apt at work: a process that holds dpkg'"'"'s front-end lock, as apt-get does, for 8 s.
python3 -c "
import fcntl, sys, time
lock = open(\"/var/lib/dpkg/lock-frontend\", \"a\")
fcntl.lockf(lock, fcntl.LOCK_EX)
print(\"held\", flush=True)
time.sleep(float(sys.argv[1]))" 8 >"$TMPDIR/holder" &
holder=$!
until grep -q held "$TMPDIR/holder" 2>/dev/null; do sleep 0.1; done
apt_lock_holders | grep -q "^$holder (" || fail "the lock'"'"'s holder was not found: $(apt_lock_holders)"
ensure_packages bc >"$TMPDIR/first" 2>&1 & first=$!
ensure_packages zip >"$TMPDIR/second" 2>&1 & second=$!
code=0
wait $first || code=1
wait $second || code=1
cat "$TMPDIR/first" "$TMPDIR/second"
[ $code -eq 0 ] || fail "a set-up failed"
package_installed bc && package_installed zip || fail "not both packages were installed"
grep -q "^== another apt is at work: waiting for it to finish, up to [0-9]* s: $holder (" "$TMPDIR/first" "$TMPDIR/second" \
    || fail "no set-up said it waited for the other apt"
grep -q "^== another TuneGrin set-up is installing packages: waiting for it" "$TMPDIR/first" "$TMPDIR/second" \
    || fail "no set-up said it waited for the other"
wait $holder || true
# A time limit that passes first.
remove bc
python3 -c "
import fcntl, time
lock = open(\"/var/lib/dpkg/lock-frontend\", \"a\")
fcntl.lockf(lock, fcntl.LOCK_EX)
print(\"held\", flush=True)
time.sleep(20)" >"$TMPDIR/holder2" &
holder=$!
until grep -q held "$TMPDIR/holder2" 2>/dev/null; do sleep 0.1; done
code=0
APT_WAIT=3 ensure_packages bc >"$TMPDIR/first" 2>&1 || code=$?
kill $holder
cat "$TMPDIR/first"
[ $code -ne 0 ] || fail "the set-up went on while apt was held"
grep -q "^== apt.s lock is still held, after waiting 3 s, by: $holder (" "$TMPDIR/first" \
    || fail "the set-up did not say what it waited for"
! grep -q "could not install" "$TMPDIR/first" || fail "the set-up blamed the mirror for a lock"
echo "two set-ups and another apt at once took turns, each saying so; a time limit passed said so"
'

# A copy of a package database mid-change is no use: wait for the machine's apt first.
wait_for_apt $(($(date +%s) + APT_WAIT)) || exit 1
TMPDIR=/tmp in_copy bash -c "$shared
${!case}"
