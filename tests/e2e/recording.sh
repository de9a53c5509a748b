#!/bin/sh
# End-to-end recording sessions on a virtual X display.
#
# Run 1: a session with --record, --panel and a sequence of its own,
# which opens on its first entry, the white field. A dark pixel is marked
# there: the acknowledgement shows beside the pointer without covering the
# marked pixel. The left button steps to the black field (the sequence's
# next entry), where a bright pixel and a sub-pixel fault are marked and
# the last mark is taken back; a second later no acknowledgement is left. Esc, Return and a key on the farewell window end the program;
# the directory then holds the record (JSON), the marks (CSV) and the map
# (PNG) with the marked pixels counted from 1, the summary line is on
# stdout, and --report judges the record again, without a display.
# Run 2: two marks, then SIGKILL: the journal keeps both.
# Run 3: the next start in the same directory reports the unfinished
# session and writes its record with both marks; SIGTERM then ends run 3
# with status 143 and its own record written.
#
# Usage: sh recording.sh /path/to/vantrel
# Needs Xvfb, xdotool, xwd and ImageMagick. Exits non-zero with a message
# on the first failure; cleans up however it ends and gives up on its own
# after $E2E_TIMEOUT seconds (default 180).

set -u
ME=recording.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-180}
W=1024
H=768
TOOLS="identify"
. "$(dirname "$0")/lib/xsession.sh"

REC="$WORK/records"
one_file() {
    set -- $1
    [ $# -eq 1 ] && [ -e "$1" ] || fail "expected one file, found: $*"
    echo "$1"
}

# ---- run 1: mark, take back, end through the farewell window ---------------
say "run 1: three marks on two patterns, one taken back"
start_session --record "$REC" --panel QM-E2E-1 --operator "e2e line" --station S7 --sequence 7,1,49
sleep 0.5
[ -n "$(ls "$REC"/QM-E2E-1-*.journal 2>/dev/null)" ] || fail "no journal in the record directory"
shot
[ "$(pixel 10 10)" = "#FFFFFF" ] || fail "the window did not open on the sequence's first entry, the white field of pattern 7"
point 300 200
key 2
sleep 0.3
shot
[ "$(pixel 300 200)" = "#FFFFFF" ] || fail "the acknowledgement covers the marked pixel"
[ "$(darkest 200x30+305+205)" -lt 128 ] || fail "no acknowledgement beside the marked pixel"
click_left 500 400 # the sequence's next entry: pattern 1, black
sleep 0.5
shot
[ "$(pixel 10 10)" = "#000000" ] || fail "the left button did not step to the black field of pattern 1"
point 100 50
key 1
point 700 500
key 3
sleep 0.3
key BackSpace
sleep 1.5
shot
[ "$(brightest 1024x768+0+0)" = 0 ] || fail "the acknowledgement stays on the black field after a second"
key Escape
wait_for "the exit question" 5 exit_question_up
sleep 0.3
key Return
wait_for "the farewell window" 5 has_other_window
sleep 0.5
key a
wait_end 10 || fail "run 1 did not end after the key on the farewell window"
[ "$(app_status)" = 0 ] || fail "run 1 ended with status $(app_status)"

JSON=$(one_file "$REC/QM-E2E-1-*.json")
CSV=$(one_file "$REC/QM-E2E-1-*.csv")
MAP=$(one_file "$REC/QM-E2E-1-*.png")
[ -z "$(ls "$REC"/*.journal 2>/dev/null)" ] || fail "the journal was left behind after a finished session"
grep -q '^QM-E2E-1: 1 type 1, 1 type 2, class II, PASS$' "$WORK/app.log" ||
    fail "no summary line 'QM-E2E-1: 1 type 1, 1 type 2, class II, PASS' on stdout"
grep -q '"schema": "vantrel-inspection/2"' "$JSON" || fail "the record has no schema"
grep -q '"operator": "e2e line"' "$JSON" || fail "the record lacks its operator"
grep -q '"width": 1024' "$JSON" || fail "the record lacks its mode"
[ "$(grep -c '"number": ' "$JSON")" = 2 ] || fail "the record does not hold exactly two marks"
[ "$(wc -l <"$CSV")" = 3 ] || fail "the CSV does not hold a header and two marks"
grep -q '^1,2,dark pixel,301,201,7,white,' "$CSV" || fail "the CSV lacks the dark pixel at ( 301 , 201 ) on pattern 7"
grep -q '^2,1,bright pixel,101,51,1,black,' "$CSV" || fail "the CSV lacks the bright pixel at ( 101 , 51 ) on pattern 1"
grep -q ',701,501,' "$CSV" && fail "the taken-back mark is in the CSV"
[ "$(X identify -format '%m' "$MAP")" = PNG ] || fail "the map is not a PNG picture"
say "run 1: $(basename "$JSON"), .csv and .png written"

report=$(env -u DISPLAY QT_QPA_PLATFORM= "$BIN" --report "$JSON" --class I 2>&1) || fail "--report failed: $report"
[ "$report" = "QM-E2E-1: 1 type 1, 1 type 2, class II, FAIL (class I required)" ] ||
    fail "--report against class I printed '$report'"

# ---- run 2: killed after two marks --------------------------------------------
say "run 2: two marks, then SIGKILL"
start_session --record "$REC" --panel QM-E2E-2
sleep 0.5
point 40 30
key 2
point 600 400
key r
sleep 0.5
kill -KILL "$(app_pid)"
wait_end 5 || fail "run 2 did not end on SIGKILL"
JOURNAL=$(one_file "$REC/QM-E2E-2-*.journal")
[ -z "$(ls "$REC"/QM-E2E-2-*.json 2>/dev/null)" ] || fail "a killed session has a record already"

# ---- run 3: the next start recovers run 2; SIGTERM ends run 3 ------------------
say "run 3: recovery of run 2, then SIGTERM"
start_session --record "$REC" --panel QM-E2E-3
grep -q "recovered the unfinished session QM-E2E-2-" "$WORK/app.log" || fail "the unfinished session was not reported"
[ ! -e "$JOURNAL" ] || fail "the recovered journal is still there"
JSON2=$(one_file "$REC/QM-E2E-2-*.json")
CSV2=$(one_file "$REC/QM-E2E-2-*.csv")
one_file "$REC/QM-E2E-2-*.png" >/dev/null
grep -q '"recovered": true' "$JSON2" || fail "the recovered record does not say so"
grep -q '^1,2,dark pixel,41,31,1,black,' "$CSV2" || fail "the recovered CSV lacks the dark pixel at ( 41 , 31 )"
grep -q '^2,4,row defect,601,401,1,black,' "$CSV2" || fail "the recovered CSV lacks the row defect through ( 601 , 401 )"
point 20 20
key 3
sleep 0.3
kill -TERM "$(app_pid)"
wait_end 10 || fail "run 3 did not end on SIGTERM"
[ "$(app_status)" = 143 ] || fail "run 3 ended with status $(app_status) on SIGTERM, not 143"
CSV3=$(one_file "$REC/QM-E2E-3-*.csv")
grep -q '^1,3,sub-pixel defect,21,21,' "$CSV3" || fail "the record written on SIGTERM lacks its mark"
grep -q '^QM-E2E-3: 1 type 3, class II, PASS$' "$WORK/app.log" || fail "no summary line after SIGTERM"

say "PASS"
exit 0
