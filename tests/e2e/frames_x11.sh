#!/bin/sh
# End-to-end frame log on a virtual X display with the Present extension,
# whose fake vertical blank runs at 60 Hz (16.667 ms) on the server's
# millisecond timers.
#
# The motion block (--sequence motion-block) runs with --frame-log for
# about five seconds: the screen shows its picture (grey 128, black columns
# every 64 pixels, the white square in the middle band), the log has its
# header and one line per frame, every line is unconfirmed (Qt's X11 path
# cannot say that a frame reached the screen at the blank Present
# reports), the blanks' counts (seq) go up, the median interval after the
# first second is within 0.5 ms of 16.667 ms, and most intervals are one
# period. SIGINT then ends the program with status 130 and the summary line
# on stderr, whose frame count is the log's.
#
# The thresholds, and why: the median is what the issue asks for. It stays
# within 0.5 ms of the period because each blank the program waits for is
# one count of the server's fake clock: a late timer on a loaded machine
# moves single intervals by milliseconds, to both sides, and the median by
# a tenth or two. Measured on a 2-core virtual machine (docs/performance.md):
# idle, six runs: median 16.705 to 16.788 ms, 96 to 100 % of the intervals
# within 2 ms of the period, no refresh missed; with a build on both cores,
# nine runs: median 16.493 to 16.592 ms, 77 to 98 % within 2 ms, 0 to 9
# refreshes missed. The share within 2 ms must be at least 60 %: below it
# the program is no longer paced by the blanks. Missed refreshes are
# printed, not judged: on a loaded machine the program itself is late.
#
# Usage: sh frames_x11.sh /path/to/vantrel
# Needs Xvfb, xdotool, xwd and ImageMagick. Exits non-zero with a message
# on the first failure; cleans up however it ends and gives up on its own
# after $E2E_TIMEOUT seconds (default 120).

set -u
ME=frames_x11.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-120}
W=1024
H=768
TOOLS="awk sort"
. "$(dirname "$0")/lib/xsession.sh"

LOG="$WORK/frames.csv"
start_session --sequence motion-block --frame-log "$LOG"
sleep 1
shot
[ "$(pixel 1 1)" = "#808080" ] || fail "the motion block's field is not grey 128 at (1, 1): $(pixel 1 1)"
[ "$(pixel 64 1)" = "#000000" ] || fail "no black column at x = 64: $(pixel 64 1)"
# The square: side H/8 = 96, rows 336 to 431; somewhere on row 380 it is white.
[ "$(brightest ${W}x1+0+380)" -eq 255 ] && [ "$(brightest ${W}x1+0+300)" -lt 255 ] ||
    fail "no white square in the middle band"
pass "the screen shows the motion block"
sleep 4
kill -INT "$(cat "$WORK/app.pid")"
wait_end 10 || fail "the program did not end on SIGINT"
[ "$(app_status)" = 130 ] || fail "SIGINT ended the program with status $(app_status), not 130"
pass "SIGINT ends the program with status 130"

[ "$(head -n 1 "$LOG")" = "frame,pattern,requested_ns,presented_ns,interval_ns,refresh_ns,seq,flags,missed" ] ||
    fail "the log's header is $(head -n 1 "$LOG")"
# The frames presented; a frame painted before the window was mapped may
# have been discarded.
lines=$(awk -F, 'NR > 1 && $4 != ""' "$LOG" | wc -l)
[ "$lines" -ge 200 ] || fail "only $lines frames presented in about five seconds"
summary=$(grep '^frames ' "$WORK/app.log" | tail -n 1)
echo "$summary" | grep -Eq "^frames $lines, period [0-9]+\.[0-9]{3} ms, interval mean [0-9.]+ ms sd [0-9.]+ ms p99 [0-9.]+ ms, missed [0-9]+, unconfirmed\$" ||
    fail "no summary line of $lines frames on stderr: $summary"
pass "$lines frames presented; stderr: $summary"

bad=$(awk -F, 'NR > 1 && $8 != "unconfirmed" && $8 != "discarded" { print; exit }' "$LOG")
[ -z "$bad" ] || fail "a line is not unconfirmed: $bad"
bad=$(awk -F, 'NR > 2 && $7 != "" && prev != "" && $7 + 0 < prev + 0 { print; exit } $7 != "" { prev = $7 }' "$LOG")
[ -z "$bad" ] || fail "the blanks' count goes back: $bad"
pass "every line is unconfirmed, and the blanks' counts go up"

# The intervals from one second after the first frame of the motion block.
awk -F, 'NR > 1 && $2 == 126 && $4 != "" { if (start == "") start = $4; if ($4 >= start + 1e9 && $5 != "") print $5 }' \
    "$LOG" | sort -n >"$WORK/intervals"
n=$(wc -l <"$WORK/intervals")
[ "$n" -ge 150 ] || fail "only $n intervals after the first second"
median=$(awk -v n="$n" 'NR == int((n + 1) / 2) { print $1 }' "$WORK/intervals")
near=$(awk '$1 >= 14666667 && $1 <= 18666667 { k++ } END { print k + 0 }' "$WORK/intervals")
missed=$(awk -F, 'NR > 1 && $9 > 0 { k += $9 } END { print k + 0 }' "$LOG")
say "$n intervals: median $(awk -v m="$median" 'BEGIN { printf "%.3f", m / 1e6 }') ms, $((near * 100 / n)) % within 2 ms of 16.667 ms, $missed refreshes missed"
awk -v m="$median" 'BEGIN { exit !(m >= 16166667 && m <= 17166667) }' ||
    fail "the median interval $median ns is not within 0.5 ms of 16.667 ms"
[ $((near * 100 / n)) -ge 60 ] || fail "only $near of $n intervals within 2 ms of the period"
pass "the median interval is one fake blank"
finish
