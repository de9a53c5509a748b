#!/bin/sh
# An export onto a disk that fills up while it runs (a small tmpfs): it
# fails with one line naming the file and the system's reason, exit status
# 1, and leaves the directory as it was: the older files untouched, no
# partial picture, no staging directory, no lock file; a directory the
# export made is removed again.
#
# Usage: sh full_disk_export.sh /path/to/vantrel
# Needs root (to mount the tmpfs); without it, says so and skips. Exits
# non-zero with a message on the first failure.

set -u
ME=full_disk_export.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-120}
TOOLS="mount umount"
. "$(dirname "$0")/lib/common.sh"
fail_details() { [ -s "$WORK/err" ] && sed 's/^/    stderr: /' "$WORK/err" >&2; }

DISK="$WORK/disk"
mkdir "$DISK"
# 256 KiB: the 67 pictures at 1920x1080 take about 540 KiB.
if ! mount -t tmpfs -o size=256k tmpfs "$DISK" 2>/dev/null; then
    say "skipped: mounting a tmpfs needs root"
    finish
fi
unmount() { umount "$DISK" 2>/dev/null; }
on_cleanup unmount

# export DIR: the program exports every pattern at 1920x1080 into DIR,
# without a display; its status in $status, stderr in err.
export_into() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 "$BIN" --export "$1" --size 1920x1080 \
        >"$WORK/out" 2>"$WORK/err"
    status=$?
}

# fails_naming DIR: the last export ended with status 1 and one line naming
# a picture in DIR and the system's reason.
fails_naming() {
    [ "$status" -eq 1 ] && [ "$(wc -l <"$WORK/err")" -eq 1 ] &&
        grep -qE "^vantrel: cannot write '$1/(pattern-[0-9]{2}|contact-sheet)\.png': No space left on device$" "$WORK/err" ||
        fail "an export into $1 on a full disk: status $status"
}

mkdir "$DISK/out"
echo "older file" >"$DISK/out/pattern-01.png"
export_into "$DISK/out"
fails_naming "$DISK/out"
[ "$(ls -A "$DISK/out" | tr '\n' ' ')" = "pattern-01.png " ] ||
    fail "the failed export left: $(ls -A "$DISK/out" | tr '\n' ' ')"
[ "$(cat "$DISK/out/pattern-01.png")" = "older file" ] || fail "the older pattern-01.png was changed"
pass "the disk filled during an export: status 1, the file and 'No space left on device' named, the directory as it was"

export_into "$DISK/new/out"
fails_naming "$DISK/new/out"
[ "$(ls -A "$DISK" | tr '\n' ' ')" = "out " ] || fail "the failed export left: $(ls -A "$DISK" | tr '\n' ' ')"
pass "a directory the failed export made is removed again"

finish
