#!/bin/sh
# An untrapped run-time error on a real screen: on a screen 32764 pixels
# wide the colour bars' 16-bit band edges overflow. The program must show
# a message box naming the error, say so on stderr, and end with status 3
# once the box is answered: never a crash.
#
# Usage: sh runtime_error.sh /path/to/vantrel

set -u
ME=runtime_error.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-120}
W=32764
H=64
. "$(dirname "$0")/lib/xsession.sh"

start_session
click_left 100 30 # pattern 2: the colour bars
wait_for "the error message box" 10 has_other_window
say "message box shown: $(other_window)"
running || fail "the program ended before the message box was answered"
X xdotool key Return || fail "xdotool key failed"
wait_end 10 || fail "the program still runs after the message box was answered"
[ "$(app_status)" = 3 ] || fail "the program ended with status $(app_status), expected 3"
grep -q "run-time error 6: Overflow" "$WORK/app.log" || fail "no report of the overflow on stderr"
say "the overflow was reported and the program ended with status 3"
say "PASS"
