# Shared part of the end-to-end scripts that run the program on a screen: a
# virtual X server of its own, the real program on it, screenshots and
# pixel reads, polling, and clean-up however the script ends (on top of
# lib/common.sh, which it sources). Sourced by tests/e2e/*.sh after they
# set:
#   ME       the script's name, for messages
#   BIN      the program (the script's first argument)
#   W, H     the virtual screen's size
#   TIMEOUT  seconds after which the whole script gives up
#   TOOLS    (optional) further commands the script needs
# It starts the X server and exports DISPLAY.

TOOLS="Xvfb xdotool xwd convert ${TOOLS:-}"
. "$(dirname "$0")/lib/common.sh"

XPID=
RUNNER_PID=
LAST_SHOT=

# What a failure adds to its message: the last screenshot, kept, and the
# program's output.
fail_details() {
    if [ -n "${LAST_SHOT:-}" ] && [ -f "$LAST_SHOT" ]; then
        keep="${TMPDIR:-/tmp}/vantrel-e2e-${ME%.sh}-failure.png"
        cp "$LAST_SHOT" "$keep" 2>/dev/null && echo "$ME: last screenshot kept in $keep" >&2
    fi
    if [ -n "${WORK:-}" ] && [ -s "$WORK/app.log" ]; then
        echo "$ME: program output:" >&2
        sed 's/^/    /' "$WORK/app.log" >&2
    fi
}

# Ends the program if it still runs, and waits for its runner.
stop_app() {
    if [ -s "$WORK/app.pid" ] && [ ! -e "$WORK/status" ]; then kill "$(cat "$WORK/app.pid")" 2>/dev/null; fi
    [ -n "$RUNNER_PID" ] && wait "$RUNNER_PID" 2>/dev/null
    RUNNER_PID=
}

stop_x() {
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    [ -n "$XPID" ] && wait "$XPID" 2>/dev/null
    XPID=
}
on_cleanup stop_x
on_cleanup stop_app

# ---- a virtual X server on a free display -----------------------------------
# Xvfb picks the number itself (-displayfd): the first one whose sockets,
# the file and the abstract one, it can all take, and writes it once it
# accepts clients. So it never shares a number with a server whose socket
# file this script cannot see (one outside a chroot shares the abstract
# sockets), where a client would reach the other server.
DISPLAY_NUM=
Xvfb -displayfd 3 -screen 0 "${W}x${H}x24" -dpi 96 -nolisten tcp -noreset 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
XPID=$!
tries=0
while [ $tries -lt 100 ] && [ -z "$DISPLAY_NUM" ]; do
    kill -0 "$XPID" 2>/dev/null || fail "Xvfb ended at start-up: $(cat "$WORK/xvfb.log")"
    sleep 0.1
    DISPLAY_NUM=$(head -n 1 "$WORK/display")
    tries=$((tries + 1))
done
[ -n "$DISPLAY_NUM" ] || fail "Xvfb named no display within 10 s: $(cat "$WORK/xvfb.log")"
DISPLAY=":$DISPLAY_NUM" timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb on :$DISPLAY_NUM does not answer"
DISPLAY=":$DISPLAY_NUM"
export DISPLAY
say "Xvfb on $DISPLAY, ${W}x${H}"

# ---- helpers ------------------------------------------------------------------
X() { timeout 20 "$@"; }

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Starts the program with the given arguments: its pid goes to app.pid,
# its output to app.log and its exit status, once it ends, to status.
start_app() {
    rm -f "$WORK/app.pid" "$WORK/status" "$WORK/app.log"
    (
        QT_QPA_PLATFORM=xcb "$BIN" "$@" >"$WORK/app.log" 2>&1 &
        echo $! >"$WORK/app.pid"
        wait $!
        echo $? >"$WORK/status"
    ) &
    RUNNER_PID=$!
}

running() { [ ! -e "$WORK/status" ]; }
app_status() { cat "$WORK/status"; }

shot() {
    LAST_SHOT="$WORK/shot.png"
    X xwd -root -silent | X convert xwd:- "png:$LAST_SHOT" 2>/dev/null || fail "screenshot failed"
}

# Colour of one pixel of the last screenshot, #RRGGBB.
pixel() {
    X convert "$LAST_SHOT" -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
        sed -n 2p | grep -o '#[0-9A-Fa-f]\{6\}' | head -n 1 | tr 'a-f' 'A-F'
}

# Number of pixels in which the last screenshot differs from a picture
# (ImageMagick's compare -metric AE).
differs() {
    out=$(X compare -metric AE "$LAST_SHOT" "$1" null: 2>&1)
    case $out in
    '' | *[!0-9.e+]*) echo "an error of compare: $out" ;;
    *) awk -v v="$out" 'BEGIN { printf "%d\n", v + 0 }' ;;
    esac
}

# Darkest and brightest channel value (0..255) inside a rectangle WxH+X+Y
# of the last screenshot.
darkest() { X convert "$LAST_SHOT" -crop "$1" +repage -format '%[fx:int(255*minima+0.5)]' info: 2>/dev/null; }
brightest() { X convert "$LAST_SHOT" -crop "$1" +repage -format '%[fx:int(255*maxima+0.5)]' info: 2>/dev/null; }

# The program's mapped windows, one "id WIDTHxHEIGHT+X+Y" a line.
windows() {
    for id in $(X xdotool search --onlyvisible --class vantrel 2>/dev/null); do
        geo=$(X xdotool getwindowgeometry "$id" 2>/dev/null) || continue
        size=$(echo "$geo" | sed -n 's/.*Geometry: \([0-9]*x[0-9]*\).*/\1/p')
        pos=$(echo "$geo" | sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1+\2/p')
        echo "$id $size+$pos"
    done
}
pattern_window_up() { windows | grep -q " ${W}x${H}+0+0\$"; }
other_window() { windows | grep -v " ${W}x${H}+0+0\$" | head -n 1; }
has_window() { [ -n "$(windows)" ]; }
has_other_window() { [ -n "$(other_window)" ]; }
no_other_window() { [ -z "$(other_window)" ]; }

# wait_for DESCRIPTION SECONDS COMMAND...: polls every 0.1 s; fails when
# the time runs out or the program ends meanwhile.
wait_for() {
    what=$1 limit=$2
    shift 2
    i=0
    while [ $i -lt $((limit * 10)) ]; do
        if "$@"; then return 0; fi
        running || fail "the program ended (status $(app_status)) while waiting for $what"
        sleep 0.1
        i=$((i + 1))
    done
    fail "timed out after ${limit}s waiting for $what"
}

# Waits up to $1 seconds for the program to end; sets ENDED_MS.
wait_end() {
    i=0
    while [ $i -lt $(($1 * 20)) ]; do
        if ! running; then
            ENDED_MS=$(now_ms)
            [ -n "$RUNNER_PID" ] && wait "$RUNNER_PID" 2>/dev/null
            RUNNER_PID=
            return 0
        fi
        sleep 0.05
        i=$((i + 1))
    done
    return 1
}

click_left() { X xdotool mousemove "$1" "$2" click 1 || fail "xdotool click failed"; }
key() { X xdotool key "$1" || fail "xdotool key $1 failed"; }
point() { X xdotool mousemove "$1" "$2" || fail "xdotool mousemove failed"; sleep 0.2; }
app_pid() { cat "$WORK/app.pid"; }
exit_question_up() { [ -n "$(X xdotool search --onlyvisible --name '^Exit - Quillmere$' 2>/dev/null)" ]; }

# Clicks the centre of a window given as "id WIDTHxHEIGHT+X+Y".
click_window() {
    geo=${1#* }
    size=${geo%%+*}
    rest=${geo#*+}
    click_left $((${rest%+*} + ${size%x*} / 2)) $((${rest#*+} + ${size#*x} / 2))
}

# Starts the program and closes its start-up window with a click, leaving
# the full-screen pattern window up.
start_session() {
    start_app "$@"
    wait_for "the program's first window" 30 has_window
    if ! pattern_window_up; then
        splash=$(other_window)
        say "start-up window $splash; clicking it"
        click_window "$splash"
    fi
    wait_for "the full-screen pattern window" 20 pattern_window_up
    wait_for "the start-up window to close" 10 no_other_window
}
