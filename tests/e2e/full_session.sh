#!/bin/sh
# A whole session of the real program on a virtual X display, with every
# picture checked against the same pattern rendered by the program's own
# export at the same size:
#   the start-up window, closed by a click;
#   all 67 steps with the left button and the wrap back to the black field
#   and on to pattern 2: still pictures pixel for pixel (ImageMagick's
#   compare -metric AE), the flashing box's frame and its two phases, each
#   moving block's colour, size, row and movement, the cross-hair through
#   the pressed pixel and after the pointer;
#   F12: auto-play steps about once a second, F12 again stops it;
#   the read-out: white on black, black on white, following the pointer
#   while the right button is held, gone on release;
#   Esc and Cancel: nothing changes; Esc and OK: the farewell window over
#   the pattern window, and the program ends by itself with status 0.
#
# Usage: sh full_session.sh /path/to/vantrel
# Needs Xvfb, xdotool, xwd and ImageMagick (convert, compare). Exits
# non-zero with a message on the first failure, keeping the last
# screenshot; cleans up the X server and the program however it ends and
# gives up on its own after $E2E_TIMEOUT seconds (default 400).

set -u
ME=full_session.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-400}
W=1024
H=768
TOOLS="compare identify"
. "$(dirname "$0")/lib/xsession.sh"

# ---- helpers of this script -------------------------------------------------
ref() { printf '%s/pattern-%02d.png' "$REF" "$1"; }

# The screen shows pattern N pixel for pixel, within a few seconds.
expect_pattern() {
    i=0
    while :; do
        shot
        d=$(differs "$(ref "$1")")
        [ "$d" = "0" ] && return 0
        i=$((i + 1))
        [ $i -ge 25 ] && fail "pattern $1: $d pixels differ from the exported pattern $1"
        sleep 0.2
    done
}

# Which of the patterns listed the screen shows exactly, or nothing.
which_pattern() {
    shot
    for p in "$@"; do
        [ "$(differs "$(ref "$p")")" = "0" ] && { echo "$p"; return 0; }
    done
}

# The one colour run of row Y of the last screenshot that is not black:
# "first last #RRGGBB", or nothing when the row is black.
row_run() {
    X convert "$LAST_SHOT" -crop "${W}x1+0+$1" +repage -depth 8 txt:- 2>/dev/null |
        awk -F'[,: ]+' 'NR > 1 { c = ""; for (i = 1; i <= NF; i++) if ($i ~ /^#/) c = toupper($i);
                                if (c != "#000000") { if (first == "") { first = $1; col = c }
                                                      else if (c != col) mixed = 1; last = $1 } }
                        END { if (first != "") print first, last, (mixed ? "mixed" : col) }'
}

# ---- the references: every pattern rendered by the export ----------------------
# Exported on the same display, so at the screen's size and its logical
# DPI, which sets the font sample's glyph sizes.
REF="$WORK/ref"
QT_QPA_PLATFORM=xcb timeout 120 "$BIN" --export "$REF" >"$WORK/export.log" 2>&1 ||
    fail "the export of the reference pictures failed: $(cat "$WORK/export.log")"
for n in 01 33 67; do
    [ -s "$REF/pattern-$n.png" ] || fail "the export made no $REF/pattern-$n.png"
done
[ "$(X identify -format '%wx%h' "$REF/pattern-01.png")" = "${W}x${H}" ] || fail "the exported pictures are not ${W}x${H}"
say "reference pictures exported from the display"

# ---- start: the start-up window, then the patterns -----------------------------------
start_app

wait_for "the start-up window" 30 has_other_window
pattern_window_up && fail "the pattern window is up before the start-up window was closed"
splash=$(other_window)
geo=${splash#* }
size=${geo%%+*}
rest=${geo#*+}
sw=${size%x*} sh=${size#*x} sx=${rest%+*} sy=${rest#*+}
cx=$((sx + sw / 2)) cy=$((sy + sh / 2))
[ $((cx - W / 2)) -ge -2 ] && [ $((cx - W / 2)) -le 2 ] && [ $((cy - H / 2)) -ge -2 ] && [ $((cy - H / 2)) -le 2 ] ||
    fail "the start-up window ($splash) is not centred on the screen"
say "start-up window ${size} centred on the screen"
click_left "$cx" "$cy"
wait_for "the full-screen pattern window" 20 pattern_window_up
wait_for "the start-up window to close" 10 no_other_window

# ---- all 67 steps and the wrap --------------------------------------------------
expect_pattern 1
say "pattern 1 after the start-up window, as exported"

# Pattern 57: the white frame round the screen stays; the inner box from
# (102.4, 76.8) to (921.6, 691.2), pixels 102..921 by 77..690, turns black
# and white every 500 ms.
INNER_AREA=$(((922 - 102) * (691 - 77)))
check_flashing_box() {
    white=0 black=0 i=0
    while [ $i -lt 40 ] && { [ $white -eq 0 ] || [ $black -eq 0 ]; }; do
        shot
        d=$(differs "$(ref 57)")
        if [ "$d" = "0" ]; then
            white=1
        elif [ "$d" = "$INNER_AREA" ] && [ "$(brightest "820x614+102+77")" = "0" ]; then
            black=1
        else
            fail "pattern 57: $d pixels differ from the exported box, neither phase of the flash"
        fi
        sleep 0.1
        i=$((i + 1))
    done
    [ $white -eq 1 ] && [ $black -eq 1 ] || fail "pattern 57: the inner box did not flash (white seen $white, black seen $black)"
}

# Patterns 59..62: one block of 50 by 50 in the colour, its top on the
# middle row, at multiples of 50, moving; nothing else but black.
check_moving_block() {
    pattern=$1 colour=$2 positions="" i=0
    while [ $i -lt 12 ]; do
        shot
        run=$(row_run $((H / 2 + 25)))
        [ -n "$run" ] || fail "pattern $pattern: no block on row $((H / 2 + 25))"
        set -- $run
        first=$1 last=$2 col=$3
        [ "$col" = "$colour" ] || fail "pattern $pattern: block colour $col, expected $colour"
        [ $((first % 50)) -eq 0 ] || fail "pattern $pattern: block starts at x $first, not a multiple of 50"
        if [ $((first + 50)) -le $W ]; then
            [ $((last - first + 1)) -eq 50 ] || fail "pattern $pattern: block $((last - first + 1)) pixels wide"
        else
            [ "$last" -eq $((W - 1)) ] || fail "pattern $pattern: block past the right edge cut at $last"
        fi
        [ "$(brightest "${W}x1+0+$((H / 2 - 1))")" = "0" ] || fail "pattern $pattern: something above the block's top row"
        [ "$(brightest "${W}x1+0+$((H / 2 + 50))")" = "0" ] || fail "pattern $pattern: something below the block's bottom row"
        [ "$(brightest "${W}x$((H / 2))+0+0")" = "0" ] || fail "pattern $pattern: the upper half is not black"
        case " $positions " in *" $first "*) ;; *) positions="$positions $first" ;; esac
        sleep 0.07
        i=$((i + 1))
    done
    set -- $positions
    [ $# -ge 3 ] || fail "pattern $pattern: the block did not move (positions$positions)"
}

STEP_X=100 STEP_Y=100
CROSS_X=300 CROSS_Y=200
p=1
while [ $p -lt 67 ]; do
    if [ $p -eq 64 ]; then
        click_left $CROSS_X $CROSS_Y # the step into 65 stores this pixel
    else
        click_left $STEP_X $STEP_Y
    fi
    p=$((p + 1))
    case $p in
    57)
        check_flashing_box
        say "pattern 57: frame as exported, inner box flashing" ;;
    59) check_moving_block 59 "#FFFFFF"; say "pattern 59: white block moving" ;;
    60) check_moving_block 60 "#FF0000"; say "pattern 60: red block moving" ;;
    61) check_moving_block 61 "#00FF00"; say "pattern 61: green block moving" ;;
    62) check_moving_block 62 "#0000FF"; say "pattern 62: blue block moving" ;;
    65)
        crosshair_at() {
            shot
            for q in "$1,5" "$1,$((H - 1))" "5,$2" "$((W - 1)),$2"; do
                [ "$(pixel "${q%,*}" "${q#*,}")" = "#FFFFFF" ] || return 1
            done
            [ "$(pixel $(($1 + 1)) 5)" = "#000000" ] && [ "$(pixel 5 $(($2 + 1)))" = "#000000" ]
        }
        wait_for "the cross-hair through ($CROSS_X, $CROSS_Y)" 5 crosshair_at $CROSS_X $CROSS_Y
        # The read-out "( 301 , 201 )" beside the crossing, in white.
        [ "$(brightest "60x12+$((CROSS_X + 8))+$((CROSS_Y + 6))")" -gt 200 ] ||
            fail "pattern 65: no white read-out beside the crossing point"
        X xdotool mousemove 700 500 || fail "xdotool mousemove failed"
        wait_for "the cross-hair to follow the pointer to (700, 500)" 5 crosshair_at 700 500
        [ "$(pixel $CROSS_X 5)" = "#000000" ] || fail "pattern 65: the old vertical line stayed"
        say "pattern 65: cross-hair through the pressed pixel, then after the pointer"
        STEP_X=700 STEP_Y=500 ;;
    *)
        expect_pattern $p ;;
    esac
done
say "patterns 1 to 67 shown; every still picture as exported"
click_left $STEP_X $STEP_Y
expect_pattern 1
click_left $STEP_X $STEP_Y
expect_pattern 2
say "step 68 shows the black field of pattern 1 again, the next step pattern 2"

# ---- F12: auto-play ------------------------------------------------------------------
t0=$(now_ms)
X xdotool key F12 || fail "xdotool key failed"
shows() { [ "$(which_pattern "$1")" = "$1" ]; }
wait_for "auto-play to step to pattern 3" 4 shows 3
t3=$(now_ms)
wait_for "auto-play to step to pattern 4" 4 shows 4
t4=$(now_ms)
step=$((t4 - t3))
[ $step -ge 500 ] && [ $step -le 2000 ] || fail "auto-play stepped from 3 to 4 in $step ms, expected about 1000"
say "auto-play: pattern 3 after $((t3 - t0)) ms, pattern 4 $step ms later"
X xdotool key F12 || fail "xdotool key failed"
sleep 0.3
now=$(which_pattern 4 5 6)
[ -n "$now" ] || fail "after F12 switched auto-play off the screen shows none of patterns 4 to 6"
sleep 2.5
[ "$(which_pattern "$now")" = "$now" ] || fail "auto-play went on after the second F12"
say "F12 again: auto-play stopped on pattern $now"

# ---- the read-out --------------------------------------------------------------------
while [ "$now" -lt 7 ]; do
    click_left 100 100
    now=$((now + 1))
done
expect_pattern 7
# Right button held at (700, 600) on the white field: black text left of
# and above the pointer.
X xdotool mousemove 700 600 mousedown 3 || fail "xdotool mousedown failed"
dark_label_at() { shot; [ "$(darkest "$1")" -lt 100 ]; }
wait_for "the black read-out left of and above the pointer" 5 dark_label_at "70x16+$((700 - 77))+$((600 - 20))"
[ "$(darkest "5x5+700+605")" -eq 255 ] || fail "the read-out is drawn on the wrong side of the pointer"
# Moving with the right button alone held: the read-out follows.
X xdotool mousemove 600 500 || fail "xdotool mousemove failed"
wait_for "the read-out to follow the pointer" 5 dark_label_at "70x16+$((600 - 77))+$((500 - 20))"
X xdotool mouseup 3 || fail "xdotool mouseup failed"
wait_for "the read-out to disappear on release" 5 shows 7
click_left 100 100
expect_pattern 8
# On the black field, in the top-left quarter: white text right of and below.
X xdotool mousemove 200 150 mousedown 3 || fail "xdotool mousedown failed"
light_label_at() { shot; [ "$(brightest "$1")" -gt 200 ]; }
wait_for "the white read-out right of and below the pointer" 5 light_label_at "70x16+205+155"
X xdotool mouseup 3 || fail "xdotool mouseup failed"
wait_for "the read-out to disappear on release" 5 shows 8
say "read-out: black on white, white on black, follows the right button, gone on release"

# ---- Esc and Cancel, Esc and OK -----------------------------------------------------------
X xdotool mousemove 10 10 || fail "xdotool mousemove failed"
X xdotool key Escape || fail "xdotool key failed"
wait_for "the exit question" 10 has_other_window
question=$(other_window)
X xdotool key Escape || fail "xdotool key failed" # the box's Cancel
wait_for "the exit question to close" 10 no_other_window
sleep 0.5
running || fail "the program ended after Cancel"
expect_pattern 8
say "Esc, Cancel ($question): nothing changed"

X xdotool key Escape || fail "xdotool key failed"
wait_for "the exit question" 10 has_other_window
question=$(other_window)
X xdotool key Return || fail "xdotool key failed" # OK, the default button
answered=$(now_ms)
# The question closes; then the farewell window, a window of its own, opens.
is_farewell() { f=$(other_window); [ -n "$f" ] && [ "${f%% *}" != "${question%% *}" ]; }
wait_for "the farewell window" 10 is_farewell
farewell=$(other_window)
pattern_window_up || fail "the pattern window went away under the farewell window"
shot
[ "$(pixel 0 0)" = "#000000" ] && [ "$(pixel $((W - 1)) $((H - 1)))" = "#000000" ] ||
    fail "the pattern window under the farewell window changed"
say "Esc, OK: farewell window ${farewell#* } over the pattern window"

# ---- the farewell window's own end ----------------------------------------------------------

wait_end 20 || fail "the program still runs 20 s after OK"
took=$(($(now_ms) - answered))
status=$(app_status)
[ "$status" = "0" ] || fail "the program ended with status $status, expected 0"
[ $took -ge 9000 ] && [ $took -le 13000 ] || fail "the program ended $took ms after OK, expected about 10 s"
say "the farewell window ended the program by itself after $took ms, status 0"
say "PASS"
exit 0
