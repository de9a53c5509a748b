#!/bin/sh
# Inspection records of a line in a real PostgreSQL database, end to end.
#
# A private PostgreSQL cluster (lib/postgres.sh) is the line's store. Two
# stations record a session each on the virtual display with --store
# naming it (SIGTERM ends each one: the record is written, the status is
# 143), and their directories, which hold prepared records of earlier
# days too, are imported into it (the recorded sessions are already
# there; a file that is no record is named and skipped, status 7). The
# server is stopped in the middle of a third session: its record is kept
# in the station's outbox, its summary line says so, and --sync cannot
# deliver it (status 1). With the server started again --sync delivers it
# (status 0), a second --sync finds nothing (status 0), and every session
# is in the database exactly once. The same directories imported into an
# SQLite store give the same answers to --history, --stats and --heatmap
# (the same picture, byte for byte).
#
# Usage: sh line_records.sh /path/to/vantrel
# Needs Xvfb, xdotool, xwd, ImageMagick, PostgreSQL's server and psql,
# setpriv when run as root. Exits non-zero with a message on the first
# failure; cleans up however it ends and gives up on its own after
# $E2E_TIMEOUT seconds (default 240).

set -u
ME=line_records.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-240}
W=1024
H=768
TOOLS="psql cmp sort"
. "$(dirname "$0")/lib/xsession.sh"
. "$(dirname "$0")/lib/postgres.sh"
say "PostgreSQL on $PG_SOCKET"

# The station's own store, which keeps the outbox.
XDG_DATA_HOME="$WORK/station"
export XDG_DATA_HOME
S1="$WORK/s1"
S2="$WORK/s2"
mkdir -p "$S1" "$S2"
COPY="sqlite:$WORK/copy.sqlite"

# Runs the program without a display; its stdout goes to out, stderr to err.
headless() {
    env -u DISPLAY QT_QPA_PLATFORM= "$BIN" "$@" >"$WORK/out" 2>"$WORK/err"
    STATUS=$?
}
expect_status() {
    [ "$STATUS" = "$1" ] || fail "$2: status $STATUS, not $1: $(cat "$WORK/out" "$WORK/err")"
}
key() { X xdotool key "$1" || fail "xdotool key $1 failed"; }
point() { X xdotool mousemove "$1" "$2" || fail "xdotool mousemove failed"; sleep 0.2; }
app_pid() { cat "$WORK/app.pid"; }

# ---- prepared records of two earlier days ------------------------------------------
# prepare DIR N PANEL STATION DAY MARKS: a record of schema /2 with the
# session 00000000-0000-4000-8000-0000000000NN.
prepare() {
    cat >"$1/$3-${5%%T*}.json" <<JSON
{"schema": "vantrel-inspection/2", "session": "00000000-0000-4000-8000-0000000000$2",
 "panel": "$3", "model": "QM27", "operator": "prepared", "station": "$4", "class": "II",
 "started": "$5", "ended": "$5", "mode": {"width": 1920, "height": 1080}, "marks": [$6]}
JSON
}
mark() { echo "{\"number\": $1, \"type\": \"$2\", \"x\": $3, \"y\": $4, \"pattern\": 1, \"patternName\": \"black\", \"time\": \"2026-12-01T08:00:00.000Z\"}"; }
prepare "$S1" 01 QM-L-01 S1 2026-12-01T08:00:00.000Z "$(mark 1 bright 1500 300), $(mark 2 dark 200 900)"
prepare "$S1" 02 QM-L-02 S1 2026-12-01T09:00:00.000Z "$(mark 1 bright 1501 300)"
prepare "$S1" 03 QM-L-01 S1 2026-12-02T08:00:00.000Z ""
prepare "$S2" 04 QM-L-03 S2 2026-12-01T10:00:00.000Z "$(mark 1 sub-pixel 1500 301), $(mark 2 column 640 10)"
prepare "$S2" 05 QM-L-04 S2 2026-12-02T11:00:00.000Z "$(mark 1 row 700 540), $(mark 2 bright 1499 299)"
echo '{"not": "a record"' >"$S2/notes.json"

# ---- two stations record into the line's store -----------------------------------------
record_one() { # DIR PANEL STATION
    start_session --record "$1" --panel "$2" --station "$3" --model QM27 --operator "e2e" --store "$PG_URI"
    sleep 0.3
}
end_session() { # the summary line expected
    kill -TERM "$(app_pid)"
    wait_end 20 || fail "the session did not end on SIGTERM"
    [ "$(app_status)" = 143 ] || fail "the session ended with status $(app_status) on SIGTERM, not 143"
    grep -qxF "$1" "$WORK/app.log" || fail "no summary line '$1'"
}

say "station S1 records QM-REAL-1"
record_one "$S1" QM-REAL-1 S1
point 300 200
key 1
point 600 400
key 2
end_session "QM-REAL-1: 1 type 1, 1 type 2, class II, PASS"

say "station S2 records QM-REAL-2"
record_one "$S2" QM-REAL-2 S2
point 100 100
key 3
point 500 300
key c
end_session "QM-REAL-2: 1 type 3, 1 line defect, no class, FAIL (class II required)"
[ "$(pg_sql 'SELECT count(*) FROM sessions')" = 2 ] || fail "the two recorded sessions are not in PostgreSQL"
pass "two stations' sessions in PostgreSQL"

headless --store "$PG_URI" --import "$S1"
expect_status 0 "--import $S1"
grep -q ": 3 added, 1 already there, 0 skipped$" "$WORK/out" || fail "--import $S1 said: $(cat "$WORK/out")"
headless --store "$PG_URI" --import "$S2"
expect_status 7 "--import $S2 with a file that is no record"
grep -q "skipped $S2/notes.json: " "$WORK/err" || fail "the skipped file is not named: $(cat "$WORK/err")"
grep -q ": 2 added, 1 already there, 1 skipped$" "$WORK/out" || fail "--import $S2 said: $(cat "$WORK/out")"
pass "imports: the recorded sessions already there, the unreadable file named and skipped"

# ---- the server goes away in the middle of a session -------------------------------------
say "station S1 records QM-REAL-3 while the server stops"
record_one "$S1" QM-REAL-3 S1
point 700 500
key 1
pg_stop || fail "pg_ctl could not stop the server"
end_session "QM-REAL-3: 1 type 1, class II, PASS (kept in the outbox)"
grep -q "kept in the outbox of sqlite:$XDG_DATA_HOME/vantrel/records.sqlite" "$WORK/app.log" ||
    fail "no line naming the outbox"
[ -n "$(ls "$S1"/QM-REAL-3-*.json 2>/dev/null)" ] || fail "the record's file is not in $S1"
headless --sync --store "$PG_URI"
expect_status 1 "--sync while the server is away"
grep -q "; 1 still pending$" "$WORK/out" || fail "--sync while away said: $(cat "$WORK/out")"
pass "the record kept in the outbox while the server is away"

pg_start
headless --sync --store "$PG_URI"
expect_status 0 "--sync with the server back"
grep -qx "delivered 1 record(s) from the outbox; nothing is pending" "$WORK/out" || fail "--sync said: $(cat "$WORK/out")"
headless --sync
expect_status 0 "a second --sync"
grep -qx "delivered 0 record(s) from the outbox; nothing is pending" "$WORK/out" ||
    fail "the second --sync said: $(cat "$WORK/out")"

expected=$(cat "$S1"/*.json "$S2"/*.json | sed -n 's/.*"session": "\([0-9a-f-]*\)".*/\1/p' | sort)
[ "$(echo "$expected" | wc -l)" = 8 ] || fail "the records hold $(echo "$expected" | wc -l) sessions, not 8"
stored=$(pg_sql "SELECT session_uuid FROM sessions ORDER BY session_uuid")
[ "$stored" = "$expected" ] || fail "PostgreSQL holds other sessions than the files:
$stored
instead of
$expected"
pass "every session in PostgreSQL exactly once after two --sync"

# ---- the same answers from SQLite -----------------------------------------------------
headless --store "$COPY" --import "$S1"
expect_status 0 "--import into SQLite"
headless --store "$COPY" --import "$S2"
expect_status 7 "--import into SQLite"
same() { # what, then the question's options
    what=$1
    shift
    headless --store "$PG_URI" "$@"
    cp "$WORK/out" "$WORK/pg.out"
    pg_status=$STATUS
    headless --store "$COPY" "$@"
    [ "$pg_status" = "$STATUS" ] || fail "$what: status $pg_status from PostgreSQL, $STATUS from SQLite"
    sed "s#$WORK/[a-z]*\.png#FILE#" "$WORK/pg.out" >"$WORK/pg.norm"
    sed "s#$WORK/[a-z]*\.png#FILE#" "$WORK/out" >"$WORK/sqlite.norm"
    cmp -s "$WORK/pg.norm" "$WORK/sqlite.norm" || fail "$what differs:
$(diff "$WORK/pg.norm" "$WORK/sqlite.norm")"
}
same "--history QM-L-01" --history QM-L-01 --format json
[ "$STATUS" = 0 ] && grep -q '"started": "2026-12-02T08:00:00Z"' "$WORK/out" || fail "--history QM-L-01: $(cat "$WORK/out")"
same "--history QM-REAL-2 as a table" --history QM-REAL-2
grep -q "^20[0-9-]*T[0-9:]*Z  S2 *e2e *QM27 .* II  *-  *FAIL  *[0-9a-f-]*$" "$WORK/out" || fail "--history QM-REAL-2: $(cat "$WORK/out")"
same "--history of an unknown panel" --history QM-NONE
[ "$STATUS" = 1 ] && [ "$(wc -l <"$WORK/err")" = 1 ] || fail "--history QM-NONE: status $STATUS, $(cat "$WORK/err")"
same "--stats" --stats --format json
grep -q '"sessions": 8' "$WORK/out" || fail "--stats counts other than 8 sessions: $(cat "$WORK/out")"
same "--stats of station S1 on 2026-12-01" --stats --station S1 --since 2026-12-01 --until 2026-12-01 --format csv
grep -qx 'all,,2,2,0,1,1,1,2,1,0,0,0' "$WORK/out" || fail "--stats --station S1 on 2026-12-01: $(cat "$WORK/out")"
headless --store "$PG_URI" --heatmap "$WORK/pg.png"
expect_status 0 "--heatmap from PostgreSQL"
same "--heatmap" --heatmap "$WORK/sqlite.png" --format json
cmp -s "$WORK/pg.png" "$WORK/sqlite.png" || fail "the heatmaps from PostgreSQL and SQLite differ"
[ "$(X identify -format '%m %w' "$WORK/pg.png")" = "PNG 1000" ] || fail "the heatmap is not a PNG 1000 pixels wide"
[ -n "${VANTREL_E2E_KEEP:-}" ] && cp "$WORK/pg.png" "$VANTREL_E2E_KEEP"
pass "--history, --stats and --heatmap answer the same from PostgreSQL and SQLite"

finish
