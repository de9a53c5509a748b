#!/bin/sh
# The side buttons (back 8, forward 9) on a real X server do nothing on the
# pattern window: with the right button holding the read-out, a click of
# either leaves the read-out shown and the stored pointer position alone,
# so the cross-hair of pattern 65, reached by auto-play, still goes through
# the pixel of the right press.
#
# Usage: sh buttons.sh /path/to/vantrel

set -u
ME=buttons.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-120}
W=640
H=480
. "$(dirname "$0")/lib/xsession.sh"

start_session
# 62 steps to pattern 63, a black rest screen.
X xdotool mousemove 600 440 click --repeat 62 --delay 40 1 || fail "xdotool click failed"
sleep 0.5

# Right press at P (100, 80), drag to Q (300, 200): the read-out follows
# to 5 pixels right of and below Q, white on black.
X xdotool mousemove 100 80 mousedown 3 || fail "xdotool mousedown failed"
X xdotool mousemove 200 150 mousemove 300 200 || fail "xdotool mousemove failed"
LABEL_AREA="60x14+305+205"
label_shown() { shot; [ "$(brightest "$LABEL_AREA")" -gt 200 ]; }
wait_for "the read-out beside Q" 5 label_shown
X xdotool click 8 click 9 || fail "xdotool click 8/9 failed"
sleep 0.5
label_shown || fail "a side button hid the read-out"
say "read-out still shown after back and forward clicks"

# Auto-play from 63: 64, then 65 about two seconds later.
X xdotool key F12 || fail "xdotool key failed"
crosshair_at() { [ "$(pixel "$1" 400)" = "#FFFFFF" ] && [ "$(pixel 600 "$2")" = "#FFFFFF" ]; }
crosshair_seen() { shot; crosshair_at 100 80 || crosshair_at 300 200; }
wait_for "the cross-hair of pattern 65" 6 crosshair_seen
crosshair_at 100 80 || fail "the cross-hair goes through Q: a side button stored the pointer"
say "the cross-hair goes through the right press at P"
X xdotool key F12 mouseup 3 || fail "xdotool failed"
say "PASS"
