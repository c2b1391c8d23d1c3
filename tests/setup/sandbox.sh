# A throwaway copy of this machine's files, for the set-up step's tests: they install and remove
# packages with real apt, and the machine itself stays as it was. Sourced by apt_test.sh.
#   in_copy COMMAND...    runs COMMAND as root in the copy, in this tree (at the same path)
# The copy is an overlay on / (and on the tree's own file system, when that is another one)
# whose changes go to a tmpfs, in a mount namespace of its own that ends with COMMAND; what runs
# in it sees its own /run (and so its own locks there) and package database, and a copy of /tmp
# as far as / holds it. The network is the machine's: apt reaches the same mirror.

in_copy() {
    local scratch
    scratch=$(mktemp -d)
    unshare --mount --propagation private bash -s "$scratch" "$TOP" "$@" <<'SANDBOX'
set -euo pipefail
scratch=$1 top=$2; shift 2
mount -t tmpfs -o mode=700 tmpfs "$scratch"
overlay() {     # LOWER MERGED NAME
    mkdir -p "$scratch/$3.upper" "$scratch/$3.work"
    mount -t overlay overlay -o "lowerdir=$1,upperdir=$scratch/$3.upper,workdir=$scratch/$3.work" "$2"
}
copy=$scratch/root
mkdir -p "$copy"
overlay / "$copy" root
tree_fs=$(findmnt -n -o TARGET -T "$top")
[ "$tree_fs" = / ] || overlay "$tree_fs" "$copy$tree_fs" tree
mount -t proc proc "$copy/proc"
mount --rbind /dev "$copy/dev"
mount --rbind /sys "$copy/sys"
mount -t tmpfs -o mode=755 tmpfs "$copy/run"
mkdir -p "$copy/run/lock" && chmod 1777 "$copy/run/lock"
code=0
chroot "$copy" /usr/bin/env -C "$top" "$@" || code=$?
# What it left running (Wine's server lingers a few seconds) goes with the copy.
for pid in $(ls /proc | grep -x '[0-9]*'); do
    [ "$(readlink "/proc/$pid/root" 2>/dev/null)" != "$copy" ] || kill -KILL "$pid" 2>/dev/null || true
done
exit $code
SANDBOX
    local code=$?
    rmdir "$scratch" 2>/dev/null || true
    return $code
}
