#!/bin/sh
# End-to-end run of the real program on a virtual X display: close the
# start-up window with a click, step through the first patterns with the
# left button, check pixels of the screen, show the read-out with the
# right button, then Esc and Return end the program with status 0.
#
# Usage: sh navigation.sh /path/to/vantrel
# Needs Xvfb, xdotool, xwd and ImageMagick's convert. Exits non-zero with
# a message on the first failure; cleans up the X server and the program
# however it ends, and gives up on its own after $E2E_TIMEOUT seconds.

set -u
ME=navigation.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-180}
W=1024
H=768
. "$(dirname "$0")/lib/xsession.sh"

# Polls until every listed point of the screen has the colour:
# expect_colour NAME #RRGGBB x,y x,y ...
expect_colour() {
    name=$1 want=$2
    shift 2
    i=0
    while :; do
        shot
        bad=
        for p in "$@"; do
            got=$(pixel "${p%,*}" "${p#*,}")
            [ "$got" = "$want" ] || bad="$bad ($p)=$got"
        done
        [ -z "$bad" ] && { say "$name: $want as expected"; return 0; }
        i=$((i + 1))
        [ $i -ge 30 ] && fail "$name: expected $want at$bad"
        sleep 0.1
    done
}

CORNERS="0,0 $((W - 1)),0 0,$((H - 1)) $((W - 1)),$((H - 1)) $((W / 2)),$((H / 2))"

start_session

# ---- stepping ----------------------------------------------------------------
expect_colour "pattern 1 (black field)" "#000000" $CORNERS
click_left 100 100 # 2: colour bars
click_left 100 100 # 3: edge frame
click_left 100 100 # 4
expect_colour "pattern 4 (red field)" "#FF0000" $CORNERS
click_left 100 100
expect_colour "pattern 5 (green field)" "#00FF00" $CORNERS
click_left 100 100
expect_colour "pattern 6 (blue field)" "#0000FF" $CORNERS
click_left 100 100
expect_colour "pattern 7 (white field)" "#FFFFFF" $CORNERS

# ---- the read-out ----------------------------------------------------------------
# Right button held at (700, 600), in the bottom-right quarter: the label
# sits left of and above the pointer, in black on the white field.
X xdotool mousemove 700 600 mousedown 3 || fail "xdotool mousedown failed"
LABEL_AREA="80x18+$((700 - 77))+$((600 - 20))"
has_dark_label() { shot; [ "$(darkest "$LABEL_AREA")" -lt 100 ]; }
wait_for "the black read-out left of and above the pointer" 5 has_dark_label
shot
[ "$(darkest "5x5+700+605")" -eq 255 ] || fail "read-out drawn on the wrong side of the pointer"
X xdotool mouseup 3 || fail "xdotool mouseup failed"
label_gone() { shot; [ "$(darkest "$LABEL_AREA")" -eq 255 ]; }
wait_for "the read-out to disappear on release" 5 label_gone
say "read-out shown in black while the right button was held, hidden on release"

click_left 100 100
expect_colour "pattern 8 (black field)" "#000000" $CORNERS

# ---- Esc, then Return on the exit question --------------------------------------
has_question() { [ -n "$(other_window)" ]; }
X xdotool key Escape || fail "xdotool key failed"
wait_for "the exit question" 10 has_question
say "exit question shown: $(other_window)"
X xdotool key Return || fail "xdotool key failed"

# The program may show a farewell window first; it ends by itself within
# seconds, and a click on it ends it at once.
wait_end 3 || {
    farewell=$(other_window)
    if [ -n "$farewell" ]; then
        say "farewell window: $farewell; clicking it"
        click_window "$farewell"
    fi
    wait_end 20 || fail "the program still runs after the exit was confirmed"
}
[ "$(app_status)" = "0" ] || fail "the program ended with status $(app_status), expected 0"
say "the program ended with status 0"
say "PASS"
exit 0
