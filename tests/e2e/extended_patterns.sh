#!/bin/sh
# The extended patterns on a virtual X display, walked with the keys: a
# session started with --sequence inversion,checker opens on pattern 101;
# Right and Space step forward through 101 to 108, 122 and 123 and wrap
# to 101, Left steps back from the first entry to the last, Home goes to
# the first entry, and the left button goes on from there. Every screen is
# compared, pixel for pixel (ImageMagick's compare -metric AE), with the
# same pattern exported by the program at the screen's size.
#
# Usage: sh extended_patterns.sh /path/to/vantrel
# Needs Xvfb, xdotool, xwd and ImageMagick (convert, compare). Exits
# non-zero with a message on the first failure, keeping the last
# screenshot; gives up on its own after $E2E_TIMEOUT seconds (default 180).

set -u
ME=extended_patterns.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-180}
W=1024
H=768
TOOLS="compare"
. "$(dirname "$0")/lib/xsession.sh"

SEQUENCE="101 102 103 104 105 106 107 108 122 123"
REF="$WORK/ref"
timeout 120 "$BIN" --export "$REF" --size "${W}x${H}" --pattern inversion,checker --quiet >"$WORK/export.log" 2>&1 ||
    fail "the export of the reference pictures failed: $(cat "$WORK/export.log")"
for n in $SEQUENCE; do
    [ -s "$REF/pattern-$n.png" ] || fail "the export made no pattern-$n.png"
done
pass "references of $SEQUENCE exported"

# The screen shows pattern N pixel for pixel, within a few seconds.
expect_pattern() {
    i=0
    while :; do
        shot
        d=$(differs "$REF/pattern-$1.png")
        [ "$d" = "0" ] && break
        i=$((i + 1))
        [ $i -ge 25 ] && fail "$2: $d pixels differ from the exported pattern $1"
        sleep 0.2
    done
    pass "$2: pattern $1"
}
key() { X xdotool key "$1" || fail "xdotool key $1 failed"; }

start_session --sequence inversion,checker
expect_pattern 101 "the first entry on opening"
for n in $SEQUENCE; do
    [ "$n" = 101 ] && continue
    case $n in *[02468]) k=Right ;; *) k=space ;; esac
    key $k
    expect_pattern "$n" "$k"
done
key Right
expect_pattern 101 "Right on the last entry wraps"
key Left
expect_pattern 123 "Left on the first entry goes to the last"
key Left
expect_pattern 122 "Left"
key Home
expect_pattern 101 "Home"
click_left 500 400
expect_pattern 102 "the left button after Home"
finish
