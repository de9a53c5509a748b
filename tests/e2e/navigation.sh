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

BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-180}
W=1024
H=768

say() { echo "navigation.sh: $*"; }
fail() {
    echo "navigation.sh: FAIL: $*" >&2
    if [ -n "${LAST_SHOT:-}" ] && [ -f "$LAST_SHOT" ]; then
        keep="${TMPDIR:-/tmp}/vantrel-e2e-navigation-failure.png"
        cp "$LAST_SHOT" "$keep" 2>/dev/null && echo "navigation.sh: last screenshot kept in $keep" >&2
    fi
    if [ -n "${WORK:-}" ] && [ -s "$WORK/app.log" ]; then
        echo "navigation.sh: program output:" >&2
        sed 's/^/    /' "$WORK/app.log" >&2
    fi
    exit 1
}

[ -n "$BIN" ] || fail "usage: sh navigation.sh /path/to/vantrel"
[ -x "$BIN" ] || fail "not an executable: $BIN"
for tool in Xvfb xdotool xwd convert timeout; do
    command -v "$tool" >/dev/null 2>&1 || fail "needs $tool on the PATH"
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-e2e.XXXXXX") || fail "cannot make a work directory"
XPID=
APP_PID=
RUNNER_PID=
WATCHDOG_PID=
LAST_SHOT=

cleanup() {
    trap - EXIT INT TERM HUP
    [ -n "$WATCHDOG_PID" ] && kill "$WATCHDOG_PID" 2>/dev/null
    if [ -z "$APP_PID" ] && [ -s "$WORK/app.pid" ]; then APP_PID=$(cat "$WORK/app.pid"); fi
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    [ -n "$RUNNER_PID" ] && kill "$RUNNER_PID" 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    [ -n "$XPID" ] && wait "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'echo "navigation.sh: FAIL: interrupted or timed out after ${TIMEOUT}s" >&2; exit 2' INT TERM HUP

# The whole run gives up on its own.
( sleep "$TIMEOUT" && kill -TERM $$ ) >/dev/null 2>&1 &
WATCHDOG_PID=$!

# ---- a virtual X server on a free display --------------------------------
DISPLAY_NUM=
n=91
while [ $n -le 130 ]; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        Xvfb ":$n" -screen 0 "${W}x${H}x24" -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
        XPID=$!
        tries=0
        while [ $tries -lt 50 ]; do
            if ! kill -0 "$XPID" 2>/dev/null; then break; fi
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
[ -n "$DISPLAY_NUM" ] || fail "could not start Xvfb on any display from :91 to :130"
DISPLAY=":$DISPLAY_NUM"
export DISPLAY
say "Xvfb on $DISPLAY"

# ---- helpers ----------------------------------------------------------------
X() { timeout 10 "$@"; }

shot() {
    LAST_SHOT="$WORK/shot.png"
    X xwd -root -silent | X convert xwd:- "png:$LAST_SHOT" 2>/dev/null || fail "screenshot failed"
}

# Colour of a pixel of the last screenshot as #RRGGBB.
pixel() {
    X convert "$LAST_SHOT" -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
        sed -n 2p | grep -o '#[0-9A-Fa-f]\{6\}' | head -n 1 | tr 'a-f' 'A-F'
}

# The darkest and the brightest value (0..255, any channel) inside a
# rectangle of the last screenshot.
darkest() {
    X convert "$LAST_SHOT" -crop "$1" +repage -format '%[fx:int(255*minima+0.5)]' info: 2>/dev/null
}

running() { [ ! -e "$WORK/status" ]; }

# The program's windows that are mapped, one "id WIDTHxHEIGHT+X+Y" a line.
windows() {
    for id in $(X xdotool search --onlyvisible --class vantrel 2>/dev/null); do
        geo=$(X xdotool getwindowgeometry "$id" 2>/dev/null) || continue
        size=$(echo "$geo" | sed -n 's/.*Geometry: \([0-9]*x[0-9]*\).*/\1/p')
        pos=$(echo "$geo" | sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1+\2/p')
        echo "$id $size+$pos"
    done
}

pattern_window_up() { windows | grep -q " ${W}x${H}+0+0\$"; }

# A mapped window of the program other than the full-screen one.
other_window() { windows | grep -v " ${W}x${H}+0+0\$" | head -n 1; }

# wait_for DESCRIPTION SECONDS COMMAND...: polls every 0.1 s.
wait_for() {
    what=$1 limit=$2
    shift 2
    i=0
    while [ $i -lt $((limit * 10)) ]; do
        if "$@"; then return 0; fi
        running || fail "the program ended (status $(cat "$WORK/status")) while waiting for $what"
        sleep 0.1
        i=$((i + 1))
    done
    fail "timed out after ${limit}s waiting for $what"
}

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

click_left() {
    X xdotool mousemove "$1" "$2" click 1 || fail "xdotool click failed"
}

# ---- start the program ----------------------------------------------------------
(
    QT_QPA_PLATFORM=xcb "$BIN" >"$WORK/app.log" 2>&1 &
    echo $! >"$WORK/app.pid"
    wait $!
    echo $? >"$WORK/status"
) &
RUNNER_PID=$!

has_window() { [ -n "$(windows)" ]; }
wait_for "the program's first window" 30 has_window
APP_PID=$(cat "$WORK/app.pid")

# A start-up window may come first: a click inside it opens the patterns.
if ! pattern_window_up; then
    splash=$(other_window)
    say "start-up window first: $splash; clicking it"
    geo=${splash#* }
    size=${geo%%+*}
    rest=${geo#*+}
    cx=$((${rest%+*} + ${size%x*} / 2))
    cy=$((${rest#*+} + ${size#*x} / 2))
    click_left "$cx" "$cy"
fi
wait_for "the full-screen pattern window" 20 pattern_window_up
only_patterns() { [ -z "$(other_window)" ]; }
wait_for "the start-up window to close" 10 only_patterns

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
ended() { ! running; }
i=0
while running && [ $i -lt 30 ]; do sleep 0.1; i=$((i + 1)); done
if running; then
    farewell=$(other_window)
    if [ -n "$farewell" ]; then
        say "farewell window: $farewell; clicking it"
        geo=${farewell#* }
        size=${geo%%+*}
        rest=${geo#*+}
        click_left $((${rest%+*} + ${size%x*} / 2)) $((${rest#*+} + ${size#*x} / 2))
    fi
fi
wait_for "the program to end" 20 ended
status=$(cat "$WORK/status")
[ "$status" = "0" ] || fail "the program ended with status $status, expected 0"
say "the program ended with status 0"
say "PASS"
exit 0
