#!/bin/sh
# End-to-end run of the program's end on a virtual X display.
#
# Run 1: close the start-up window with a click, press Esc and answer the
# exit question with Return; the 367 by 269 farewell window must appear,
# and the program must end by itself with status 0 between 9.5 and 11.5 s
# after the answer.
# Run 2: the same up to the farewell window, then one key on it ends the
# program at once, with status 0.
#
# Usage: sh farewell.sh /path/to/vantrel
# Needs Xvfb, xdotool and timeout. Exits non-zero with a message on the
# first failure; cleans up the X server and the program however it ends,
# and gives up on its own after $E2E_TIMEOUT seconds (default 120).

set -u

BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-120}

say() { echo "farewell.sh: $*"; }
fail() {
    echo "farewell.sh: FAIL: $*" >&2
    if [ -n "${WORK:-}" ] && [ -s "$WORK/app.log" ]; then
        echo "farewell.sh: program output:" >&2
        sed 's/^/    /' "$WORK/app.log" >&2
    fi
    exit 1
}

[ -n "$BIN" ] || fail "usage: sh farewell.sh /path/to/vantrel"
[ -x "$BIN" ] || fail "not an executable: $BIN"
for tool in Xvfb xdotool timeout date; do
    command -v "$tool" >/dev/null 2>&1 || fail "needs $tool on the PATH"
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-e2e-farewell.XXXXXX") || fail "cannot make a work directory"
XPID=
RUNNER_PID=
WATCHDOG_PID=

stop_app() {
    if [ -s "$WORK/app.pid" ] && [ ! -e "$WORK/app.rc" ]; then kill "$(cat "$WORK/app.pid")" 2>/dev/null; fi
    [ -n "$RUNNER_PID" ] && wait "$RUNNER_PID" 2>/dev/null
    RUNNER_PID=
}

cleanup() {
    trap - EXIT INT TERM HUP
    [ -n "$WATCHDOG_PID" ] && kill "$WATCHDOG_PID" 2>/dev/null
    stop_app
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    [ -n "$XPID" ] && wait "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'echo "farewell.sh: FAIL: interrupted or timed out after ${TIMEOUT}s" >&2; exit 2' INT TERM HUP

( sleep "$TIMEOUT" && kill -TERM $$ ) >/dev/null 2>&1 &
WATCHDOG_PID=$!

# Milliseconds since the epoch.
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# ---- a virtual X server: display :81, or the next free one -----------------
DISPLAY_NUM=
n=81
while [ $n -le 90 ]; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
        XPID=$!
        tries=0
        while [ $tries -lt 50 ]; do
            kill -0 "$XPID" 2>/dev/null || break
            if DISPLAY=":$n" timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1; then
                DISPLAY_NUM=$n
                break
            fi
            sleep 0.1
            tries=$((tries + 1))
        done
        [ -n "$DISPLAY_NUM" ] && break
        kill "$XPID" 2>/dev/null
        wait "$XPID" 2>/dev/null
        XPID=
    fi
    n=$((n + 1))
done
[ -n "$DISPLAY_NUM" ] || fail "no free X display between :81 and :90"
DISPLAY=":$DISPLAY_NUM"
export DISPLAY
say "X server on $DISPLAY"

# ---- helpers -----------------------------------------------------------------

# Ids of the visible windows whose geometry is $1 (WxH).
windows_of_size() {
    for id in $(timeout 5 xdotool search --onlyvisible --name '' 2>/dev/null); do
        if timeout 5 xdotool getwindowgeometry "$id" 2>/dev/null | grep -q "Geometry: $1\$"; then echo "$id"; fi
    done
}

# Waits up to $2 tenths of a second for a visible window of size $1; prints its id.
wait_window() {
    tries=0
    while [ $tries -lt "$2" ]; do
        id=$(windows_of_size "$1" | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
        tries=$((tries + 1))
    done
    return 1
}

# Starts the program; its pid goes to app.pid, its exit status to app.rc.
start_app() {
    rm -f "$WORK/app.pid" "$WORK/app.rc" "$WORK/app.log"
    (
        "$BIN" >"$WORK/app.log" 2>&1 &
        echo $! >"$WORK/app.pid"
        wait $!
        echo $? >"$WORK/app.rc"
    ) &
    RUNNER_PID=$!
}

# Splash, click, pattern window, Esc, Return: leaves the farewell window up
# and the time of the answer in ANSWERED_MS.
reach_farewell() {
    start_app
    splash=$(wait_window 400x301 100) || fail "no 400x301 splash window appeared"
    xdotool mousemove 512 384 click 1 || fail "xdotool click failed"
    wait_window 1024x768 50 >/dev/null || fail "the pattern window did not open after the click"
    [ -z "$(windows_of_size 400x301)" ] || fail "the splash window is still up after the click"
    sleep 0.5
    xdotool key Escape || fail "xdotool key failed"
    tries=0
    while [ $tries -lt 50 ]; do
        box=$(timeout 5 xdotool search --onlyvisible --name '^Exit - Quillmere$' 2>/dev/null | head -n 1)
        [ -n "$box" ] && break
        sleep 0.1
        tries=$((tries + 1))
    done
    [ -n "$box" ] || fail "Esc did not bring up the exit question"
    sleep 0.3
    xdotool key Return || fail "xdotool key failed"
    ANSWERED_MS=$(now_ms)
    FAREWELL=$(wait_window 367x269 30) || fail "no 367x269 farewell window within 3 s of the answer"
    title=$(timeout 5 xdotool getwindowname "$FAREWELL" 2>/dev/null)
    [ "$title" = "Exit - Quillmere" ] || fail "the farewell window's caption is '$title'"
}

# Waits up to $1 tenths of a second for the program to end; sets ENDED_MS.
wait_end() {
    tries=0
    while [ $tries -lt "$1" ]; do
        if [ -e "$WORK/app.rc" ]; then
            ENDED_MS=$(now_ms)
            wait "$RUNNER_PID" 2>/dev/null
            RUNNER_PID=
            return 0
        fi
        sleep 0.05
        tries=$((tries + 1))
    done
    return 1
}

# ---- run 1: the farewell window ends the program by itself after 10 s -------
say "run 1: farewell window, end after 10 s"
reach_farewell
say "farewell window $FAREWELL is up, 367x269"
wait_end 400 || fail "the program was still running 20 s after the answer"
rc=$(cat "$WORK/app.rc")
[ "$rc" = 0 ] || fail "run 1 ended with status $rc"
elapsed=$((ENDED_MS - ANSWERED_MS))
say "run 1 ended with status 0, ${elapsed} ms after the answer"
[ "$elapsed" -ge 9500 ] || fail "ended after ${elapsed} ms, before 9.5 s"
[ "$elapsed" -le 11500 ] || fail "ended after ${elapsed} ms, after 11.5 s"

# ---- run 2: a key on the farewell window ends it at once --------------------
say "run 2: a key on the farewell window"
reach_farewell
sleep 0.5
focus=$(timeout 5 xdotool getwindowfocus 2>/dev/null)
[ "$focus" = "$FAREWELL" ] || fail "the farewell window does not have the keyboard focus (focus: $focus)"
KEY_MS=$(now_ms)
xdotool key a || fail "xdotool key failed"
wait_end 30 || fail "the program was still running 1.5 s after the key"
rc=$(cat "$WORK/app.rc")
[ "$rc" = 0 ] || fail "run 2 ended with status $rc"
since_load=$((ENDED_MS - ANSWERED_MS))
[ "$since_load" -lt 9000 ] || fail "run 2 ended only ${since_load} ms after the answer: the key did not end it"
say "run 2 ended with status 0, $((ENDED_MS - KEY_MS)) ms after the key"

say "PASS"
exit 0
