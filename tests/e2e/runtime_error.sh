#!/bin/sh
# An untrapped run-time error on a real screen: on a screen 32764 pixels
# wide the colour bars' 16-bit band edges overflow. F12 on pattern 1
# starts auto-play, whose first tick paints the bars. The program must
# show a message box naming the error, say so on stderr, keep everything
# behind the box still (auto-play stops stepping), and end with status 3
# once the box is answered: never a crash.
#
# Usage: sh runtime_error.sh /path/to/vantrel

set -u
ME=runtime_error.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-120}
TOOLS=cmp
W=32764
H=64
. "$(dirname "$0")/lib/xsession.sh"

start_session
X xdotool key F12 || fail "xdotool key failed" # pattern 1 again, auto-play on
wait_for "the error message box" 10 has_other_window
say "message box shown: $(other_window)"
# The raw screen dumps, as a picture this wide exceeds what the image
# tools take.
sleep 0.5
X xwd -root -silent >"$WORK/first.xwd" || fail "screenshot failed"
sleep 2.5 # two and a half auto-play steps, were it still running
X xwd -root -silent >"$WORK/second.xwd" || fail "screenshot failed"
running || fail "the program ended before the message box was answered"
cmp -s "$WORK/first.xwd" "$WORK/second.xwd" || fail "the screen changed behind the message box"
say "nothing changed behind the message box in 2.5 s"
[ "$(grep -c 'run-time error' "$WORK/app.log")" = 1 ] || fail "not exactly one run-time error reported"
X xdotool key Return || fail "xdotool key failed"
wait_end 10 || fail "the program still runs after the message box was answered"
[ "$(app_status)" = 3 ] || fail "the program ended with status $(app_status), expected 3"
grep -q "run-time error 6: Overflow" "$WORK/app.log" || fail "no report of the overflow on stderr"
say "the overflow was reported and the program ended with status 3"
say "PASS"
