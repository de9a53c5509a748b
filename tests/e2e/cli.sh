#!/bin/sh
# The command line as the real program ends it: its exit status and what
# it says on stderr, in the three ways a run ends before any window opens.
# (The parser's cases, the export's files and the screen choice are
# checked in the unit tests.)
#   a command line that cannot be carried out: status 2, one line;
#   no display to open, none named or one that cannot be reached, or an
#   export without --size: status 1, one line, no abort;
#   what needs no display runs without one: the list and an export with
#   --size (status 0), a painter's run-time error in an export (status 3,
#   nothing written);
#   on Qt's offscreen platform no display server can be asked: --check
#   says 1:1 is unknown (status 6), and --list-screens says so per screen.
# And exports into one directory: one at a time, and what a killed one
# left removed by the next. (A full disk: full_disk_export.sh.)
#
# Usage: sh cli.sh /path/to/vantrel
# Needs no X server. Exits non-zero with a message on the first failure.

set -u
ME=cli.sh
BIN=${1:-}

TIMEOUT=${E2E_TIMEOUT:-300}
TOOLS="script file"
. "$(dirname "$0")/lib/common.sh"
# A failure shows what the program said.
fail_details() { [ -s "$WORK/err" ] && sed 's/^/    stderr: /' "$WORK/err" >&2; }

# run [VAR=VALUE...] -- ARGS...: the program without a display, unless the
# assignments give one; stdout, stderr and status in out, err and $status.
run() {
    vars=
    while [ "$1" != "--" ]; do vars="$vars $1"; shift; done
    shift
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM $vars timeout 120 "$BIN" "$@" >"$WORK/out" 2>"$WORK/err"
    status=$?
}

# ends STATUS TEXT: the last run ended with STATUS and the one line TEXT on stderr.
ends() {
    [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"
    [ "$(wc -l <"$WORK/err")" -eq 1 ] && [ "$(cat "$WORK/err")" = "$2" ] || fail "stderr is not the one line: $2"
}

# ---- a command line that cannot be carried out: status 2 ----------------------
run -- --frobnicate
ends 2 "vantrel: unknown option '--frobnicate' (see vantrel --help)"
[ -s "$WORK/out" ] && fail "--frobnicate printed on stdout"
run "QT_QPA_PLATFORM=offscreen:configfile=$(cd "$(dirname "$0")/.." && pwd)/screens/CliDualScreen.json" -- --screen 2
ends 2 "vantrel: no screen '2': the screens are 0 to 1 (see --list-screens)"
pass "a bad option and a missing screen: status 2, one line"

# ---- no display: status 1 --------------------------------------------------------
NO_DISPLAY="vantrel: no display could be opened; to render the patterns into image files without one, use --export DIR --size WxH"
run -- --screen 1
ends 1 "$NO_DISPLAY"
run -- --export "$WORK/nosize"
ends 1 "vantrel: no display could be opened to measure the screen; give the size of the pictures with --size WxH"
[ -e "$WORK/nosize" ] && fail "an export without display and size made its directory"
# Named but unreachable: Qt's platform fails to start (and says why),
# and the program still ends with the message rather than an abort.
run DISPLAY=:937 --
[ "$status" -eq 1 ] && grep -qxF "$NO_DISPLAY" "$WORK/err" || fail "unreachable display: exit status $status"
pass "no display, and one that cannot be reached: status 1, one line"

# ---- what needs no display ---------------------------------------------------------
run -- --list
[ "$status" -eq 0 ] && [ "$(wc -l <"$WORK/out")" -eq 67 ] && [ ! -s "$WORK/err" ] || fail "--list: status $status"
run -- --export "$WORK/all" --size 320x240 --pattern 63-65
[ "$status" -eq 0 ] && [ ! -s "$WORK/err" ] || fail "export at 320x240: status $status"
[ "$(ls "$WORK/all" | tr '\n' ' ')" = "contact-sheet.png pattern-63.png pattern-64.png pattern-65.png " ] ||
    fail "export at 320x240 wrote: $(ls "$WORK/all" | tr '\n' ' ')"
run -- --export "$WORK/overflow/new" --size 32764x10
ends 3 "vantrel: run-time error 6: Overflow, painting pattern 2 at 32764x10; nothing was written"
[ -e "$WORK/overflow" ] && fail "the failed export left $WORK/overflow behind"
pass "the list and an export without a display: status 0; a run-time error in an export: status 3, nothing written"

# ---- no display server to ask: 1:1 unknown ------------------------------------------
UNKNOWN="Qt's platform 'offscreen' has no display server to ask: patterns are drawn at 800x800, but scaling by the desktop or the monitor cannot be ruled out."
run QT_QPA_PLATFORM=offscreen -- --check
[ "$status" -eq 6 ] && [ "$(cat "$WORK/out")" = "1:1 unknown: $UNKNOWN" ] && [ ! -s "$WORK/err" ] ||
    fail "--check on the offscreen platform: status $status, said: $(cat "$WORK/out")"
run QT_QPA_PLATFORM=offscreen -- --list-screens
[ "$status" -eq 0 ] && grep -qF "  1:1 unknown ($UNKNOWN)  primary" "$WORK/out" ||
    fail "--list-screens on the offscreen platform: status $status, said: $(cat "$WORK/out")"
pass "offscreen: --check says 1:1 unknown with the reason and exits 6; --list-screens says unknown"

# ---- export: progress, stop signals, Qt's options -----------------------------------
# Progress: one line redrawn in place on a terminal, ending with the time
# and size; nothing on a pipe or with --quiet.
pty() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM script -qec "timeout 120 $*" /dev/null >"$WORK/out" 2>"$WORK/err"
    status=$?
}
pty "'$BIN' --export '$WORK/tty' --size 320x240"
last=$(tr '\r' '\n' <"$WORK/out" | grep -v '^$' | tail -n 1)
[ "$status" -eq 0 ] && grep -q "$(printf '\r')exporting 23/67  pattern-23.png" "$WORK/out" &&
    echo "$last" | grep -qE "^exported 67 patterns and the contact sheet into $WORK/tty/ in [0-9]+\.[0-9] s, [0-9.]+ [kM]B$" ||
    fail "progress on a terminal: status $status, last line: $last"
pty "'$BIN' --export '$WORK/tty' --size 64x48 --quiet"
[ "$status" -eq 0 ] && [ ! -s "$WORK/out" ] || fail "--quiet on a terminal printed: $(cat "$WORK/out")"
run -- --export "$WORK/pipe" --size 64x48
[ "$status" -eq 0 ] && [ ! -s "$WORK/out" ] && [ ! -s "$WORK/err" ] || fail "an export on a pipe printed: $(cat "$WORK/out")"
pass "export progress on a terminal only, and not with --quiet"

# big_export DIR: starts an export into DIR in the background ($pid) and
# waits until it has written a file aside.
big_export() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$BIN" --export "$1" --size 7680x4320 >"$WORK/out" 2>"$WORK/err" &
    pid=$!
    i=0
    while [ $i -lt 600 ] && [ -z "$(ls "$1"/.vantrel-export-*/ 2>/dev/null)" ]; do sleep 0.1; i=$((i + 1)); done
}

# stopped SIGNAL STATUS DIR: an export into DIR gets SIGNAL once it has
# written aside; it ends with STATUS and DIR is as before.
stopped() {
    before=$( (ls -A "$3" && cksum "$3"/*) 2>&1)
    big_export "$3"
    kill -"$1" $pid
    wait $pid
    status=$?
    after=$( (ls -A "$3" && cksum "$3"/*) 2>&1)
    [ "$status" -eq "$2" ] && [ "$before" = "$after" ] && [ "$(wc -l <"$WORK/err")" -eq 1 ] ||
        fail "SIG$1 during an export into $3: status $status, before: $before, after: $after"
}
mkdir "$WORK/kept"
echo "older file" >"$WORK/kept/pattern-01.png"
stopped TERM 143 "$WORK/kept"
stopped INT 130 "$WORK/never/made"
[ -e "$WORK/never" ] && fail "a stopped export left $WORK/never behind"
pass "SIGTERM and SIGINT during an export: 143 and 130, the directory as before"

# One export at a time into a directory: a second one is refused while the
# first runs. The first, killed outright, leaves its staging directory and
# lock file; the next export removes them and succeeds.
mkdir "$WORK/shared"
big_export "$WORK/shared"
run -- --export "$WORK/shared" --size 64x48
ends 1 "vantrel: another export into '$WORK/shared' is running; try again when it has finished"
kill -KILL $pid
wait $pid 2>/dev/null
[ -n "$(ls -A "$WORK/shared" | grep '^\.vantrel-export-')" ] || fail "the killed export left no staging directory"
run -- --export "$WORK/shared" --size 64x48 --pattern 5
[ "$status" -eq 0 ] && [ "$(ls -A "$WORK/shared" | tr '\n' ' ')" = "contact-sheet.png pattern-05.png " ] ||
    fail "the export after a killed one: status $status, left: $(ls -A "$WORK/shared" | tr '\n' ' ')"
pass "a second export into a running one's directory refused; a killed one's leftovers removed by the next"

# Qt's own options go to Qt; -platform offscreen wins over the automatic
# choice. Without a runtime directory (root in a container), no notes.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR timeout 120 "$BIN" -platform offscreen \
    --export "$WORK/offscreen" --pattern 1 -reverse >"$WORK/out" 2>"$WORK/err"
status=$?
[ "$status" -eq 0 ] && [ ! -s "$WORK/err" ] && file -b "$WORK/offscreen/pattern-01.png" | grep -q '^PNG image data' ||
    fail "-platform offscreen with --export and no size: status $status"
pass "-platform offscreen accepted, nothing said"

finish
