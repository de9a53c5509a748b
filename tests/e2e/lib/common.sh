# Shared part of every end-to-end script, with or without an X server:
# messages, the pass and fail convention, a work directory, a watchdog,
# and clean-up however the script ends. Sourced after the script sets:
#   ME       the script's name, for messages
#   BIN      the program (the script's first argument)
#   TIMEOUT  seconds after which the whole script gives up
#   TOOLS    (optional) further commands the script needs
# It makes the work directory WORK, with a private XDG_RUNTIME_DIR and
# XDG_DATA_HOME in it.
#
# fail() ends the script at the first failure, with status 1 and a
# message; a script that sources this file may define fail_details() to
# add what it knows (the X session shows its last screenshot and the
# program's output). pass() counts the checks that held; finish() ends a
# script that got through all of them.

say() { echo "$ME: $*"; }

PASSED=0
pass() {
    PASSED=$((PASSED + 1))
    [ $# -eq 0 ] || say "ok: $*"
}

fail() {
    echo "$ME: FAIL: $*" >&2
    command -v fail_details >/dev/null 2>&1 && fail_details
    exit 1
}

finish() {
    say "PASS ($PASSED checks)"
    exit 0
}

[ -n "$BIN" ] || fail "usage: sh $ME /path/to/vantrel"
[ -x "$BIN" ] || fail "not an executable: $BIN"
for tool in timeout date ${TOOLS:-}; do
    command -v "$tool" >/dev/null 2>&1 || fail "needs $tool on the PATH"
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-e2e.XXXXXX") || fail "cannot make a work directory"
WATCHDOG_PID=
# Qt wants a private runtime directory; root in CI has none.
XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
# Recorded sessions go into the station's store under XDG_DATA_HOME: the
# work directory's, not the user's.
XDG_DATA_HOME="$WORK/data"
export XDG_DATA_HOME

# Functions to run on the way out, before the work directory goes; the one
# added last runs first.
CLEANUP_HOOKS=
on_cleanup() { CLEANUP_HOOKS="$1 $CLEANUP_HOOKS"; }

cleanup() {
    trap - EXIT INT TERM HUP
    [ -n "$WATCHDOG_PID" ] && kill "$WATCHDOG_PID" 2>/dev/null
    for hook in $CLEANUP_HOOKS; do "$hook"; done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'echo "$ME: FAIL: interrupted or timed out after ${TIMEOUT}s" >&2; exit 2' INT TERM HUP

# The whole run gives up on its own. The watchdog's sleep ends with it:
# stopped, the watchdog stops its sleep too, so nothing of the script
# outlives it.
(
    trap 'kill ${nap:-} 2>/dev/null; exit 0' TERM
    sleep "$TIMEOUT" &
    nap=$!
    wait "$nap" && kill -TERM $$
) >/dev/null 2>&1 &
WATCHDOG_PID=$!
