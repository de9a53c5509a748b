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
ME=farewell.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-120}
W=1024
H=768
. "$(dirname "$0")/lib/xsession.sh"

# The window id of the program's mapped window of size $1 (WxH), if any.
window_of_size() { windows | awk -v s="$1" '$2 ~ "^" s "[+]" { print $1; exit }'; }

# Splash, click, pattern window, Esc, Return: leaves the farewell window up
# and the time of the answer in ANSWERED_MS.
reach_farewell() {
    start_session
    [ -n "$(windows | grep ' 400x301+')" ] && fail "the splash window is still up after the click"
    sleep 0.5
    X xdotool key Escape || fail "xdotool key failed"
    question_up() { [ -n "$(X xdotool search --onlyvisible --name '^Exit - Quillmere$' 2>/dev/null)" ]; }
    wait_for "the exit question" 5 question_up
    sleep 0.3
    X xdotool key Return || fail "xdotool key failed"
    ANSWERED_MS=$(now_ms)
    farewell_up() { [ -n "$(window_of_size 367x269)" ]; }
    wait_for "a 367x269 farewell window" 3 farewell_up
    FAREWELL=$(window_of_size 367x269)
    title=$(X xdotool getwindowname "$FAREWELL" 2>/dev/null)
    [ "$title" = "Exit - Quillmere" ] || fail "the farewell window's caption is '$title'"
}

# ---- run 1: the farewell window ends the program by itself after 10 s -------
say "run 1: farewell window, end after 10 s"
reach_farewell
say "farewell window $FAREWELL is up, 367x269"
wait_end 20 || fail "the program was still running 20 s after the answer"
rc=$(app_status)
[ "$rc" = 0 ] || fail "run 1 ended with status $rc"
elapsed=$((ENDED_MS - ANSWERED_MS))
say "run 1 ended with status 0, ${elapsed} ms after the answer"
[ "$elapsed" -ge 9500 ] || fail "ended after ${elapsed} ms, before 9.5 s"
[ "$elapsed" -le 11500 ] || fail "ended after ${elapsed} ms, after 11.5 s"

# ---- run 2: a key on the farewell window ends it at once --------------------
say "run 2: a key on the farewell window"
reach_farewell
sleep 0.5
focus=$(X xdotool getwindowfocus 2>/dev/null)
[ "$focus" = "$FAREWELL" ] || fail "the farewell window does not have the keyboard focus (focus: $focus)"
KEY_MS=$(now_ms)
X xdotool key a || fail "xdotool key failed"
wait_end 2 || fail "the program was still running 2 s after the key"
rc=$(app_status)
[ "$rc" = 0 ] || fail "run 2 ended with status $rc"
since_load=$((ENDED_MS - ANSWERED_MS))
[ "$since_load" -lt 9000 ] || fail "run 2 ended only ${since_load} ms after the answer: the key did not end it"
say "run 2 ended with status 0, $((ENDED_MS - KEY_MS)) ms after the key"

say "PASS"
exit 0
