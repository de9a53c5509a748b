#!/bin/sh
# End-to-end run of the real program on a virtual X display at fractional
# Qt scale factors, where Qt's logical geometry rounds to sizes the screen
# does not have: 1366x768 and 2560x1440 at QT_SCREEN_SCALE_FACTORS=1.5,
# 2880x1800 at 1.75. On each the pattern window is exactly the screen, the
# edge frame (pattern 3) lies on the outermost pixels, and the edge frame
# and the 1-in-3 rasters (patterns 49 and 51) on the screen equal the
# images --export renders at the screen's size, pixel for pixel; --check
# says the screen is 1:1.
#
# Usage: sh scaled_x11.sh /path/to/vantrel
# Needs Xvfb, xdotool, xwd and ImageMagick (convert, compare). Runs itself
# once per screen, with W, H and SCALE in the environment. Exits non-zero
# with a message on the first failure; cleans up however it ends, and
# gives up on its own after $E2E_TIMEOUT seconds per screen.

set -u
ME=scaled_x11.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-150}

if [ -z "${SCALE:-}" ]; then
    begin=$(date +%s)
    for case in "1366 768 1.5" "2560 1440 1.5" "2880 1800 1.75"; do
        set -- $case
        W=$1 H=$2 SCALE=$3 sh "$0" "$BIN" || exit 1
    done
    echo "$ME: PASS, three screens in $(($(date +%s) - begin)) s"
    exit 0
fi

ME="scaled_x11.sh ${W}x${H}@${SCALE}"
TOOLS="compare"
. "$(dirname "$0")/lib/xsession.sh"
QT_SCREEN_SCALE_FACTORS=$SCALE
export QT_SCREEN_SCALE_FACTORS

# The exported pictures, rendered while the program starts.
(
    for n in 3 49 51; do
        "$BIN" --export "$WORK/export" --size "${W}x${H}" --pattern "$n" >"$WORK/export.log" 2>&1 || exit 1
    done
    touch "$WORK/export.done"
) &
EXPORT_PID=$!
stop_export() { kill "$EXPORT_PID" 2>/dev/null; }
on_cleanup stop_export

QT_QPA_PLATFORM=xcb timeout 30 "$BIN" --check >"$WORK/check.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "--check exited $status: $(cat "$WORK/check.out")"
pass "--check exits 0: $(cat "$WORK/check.out")"

start_session
pass "the pattern window is exactly the screen: $(windows | head -n 1)"
wait_export() { [ -e "$WORK/export.done" ]; }
wait_for "the exported pictures" 90 wait_export

# expect_export N: polls until the screen equals pattern-N.png of the export.
expect_export() {
    file=$(printf '%s/export/pattern-%02d.png' "$WORK" "$1")
    [ -f "$file" ] || fail "the export has no $file"
    i=0
    while :; do
        shot
        ae=$(X compare -metric AE "$LAST_SHOT" "$file" null: 2>&1 | cut -d' ' -f1)
        [ "$ae" = 0 ] && { pass "pattern $1 equals its export pixel for pixel"; return 0; }
        i=$((i + 1))
        [ $i -ge 40 ] && fail "pattern $1 differs from its export in $ae pixels"
        running || fail "the program ended (status $(app_status))"
        sleep 0.25
    done
}

# clicks N: N left clicks on the pattern window.
clicks() { X xdotool click --repeat "$1" --delay 40 1 || fail "xdotool click failed"; }

clicks 2
expect_export 3
for p in 0,0 $((W - 1)),0 0,$((H - 1)) $((W - 1)),$((H - 1)); do
    [ "$(pixel "${p%,*}" "${p#*,}")" != "#000000" ] || fail "the edge frame misses the corner $p"
done
pass "the edge frame lies on the outermost pixels"
clicks 46
expect_export 49
clicks 2
expect_export 51
stop_app
finish
