#!/bin/sh
# The station driven over D-Bus by clients we did not write (gdbus, and
# dbus-send for arguments of a wrong type), on a virtual X display and a
# private session bus of its own (dbus-run-session).
#
# Without --control the program takes no name on the bus. With
# --control dbus: ListPatterns lists the 67 patterns; ten patterns shown by
# number and by id are each answered with their number and a presentation
# time between the call and its answer, and a screenshot taken right after
# the answer equals the pattern's export. A session is opened, marked (the
# MarkAdded signals seen by gdbus monitor), a mark taken back, the session
# finished and its record read. Bad arguments of every kind get their named
# error, and the station still answers after each. A command while the exit
# question is open is refused as Busy; the left button steps on beside the
# controller; a client that goes away in the middle of a call leaves the
# station answering. A second instance finds the name taken. Quit with a
# session open writes its record and ends with status 0.
#
# Usage: sh control_dbus.sh /path/to/vantrel
# Needs Xvfb, xdotool, xwd, ImageMagick, gdbus, dbus-send, dbus-run-session
# and python3 (for CLOCK_MONOTONIC). Exits non-zero with a message on the
# first failure; gives up on its own after $E2E_TIMEOUT seconds (default 240).

set -u
# A private session bus for the whole script, ended with it.
if [ -z "${VANTREL_PRIVATE_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null 2>&1 || { echo "control_dbus.sh: FAIL: needs dbus-run-session" >&2; exit 1; }
    VANTREL_PRIVATE_BUS=1
    export VANTREL_PRIVATE_BUS
    exec dbus-run-session -- sh "$0" "$@"
fi
ME=control_dbus.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-240}
W=1024
H=768
TOOLS="gdbus dbus-send python3 compare"
. "$(dirname "$0")/lib/xsession.sh"

REC="$WORK/records"
DEST="example.quillmere.Vantrel1"
OBJ="/example/quillmere/Vantrel1"
IFACE="example.quillmere.Vantrel1.Station"
mono() { python3 -c 'import time; print(time.monotonic_ns())'; }

# call METHOD [ARG...]: the answer in $WORK/out, the error in $WORK/err.
call() {
    m=$1
    shift
    timeout 30 gdbus call --session --dest "$DEST" --object-path "$OBJ" --method "$IFACE.$m" -- "$@" \
        >"$WORK/out" 2>"$WORK/err"
}
answer() { cat "$WORK/out"; }
ok() { call "$@" || fail "$1 $* failed: $(cat "$WORK/err")"; }
# still_answers: GetState answers, and the program runs.
still_answers() {
    running || fail "the program ended"
    call GetState || fail "GetState after an error failed: $(cat "$WORK/err")"
}
# refused NAME METHOD [ARG...]: the call fails with the error NAME (a
# station's own name, or a standard one with its dots).
refused() {
    name=$1
    shift
    call "$@" && fail "$* was answered: $(answer)"
    case $name in *.*) full=$name ;; *) full="example.quillmere.Vantrel1.Error.$name" ;; esac
    grep -q "GDBus.Error:$full: ." "$WORK/err" || fail "$* did not fail with $full: $(cat "$WORK/err")"
    said=$(sed 's/^.*GDBus.Error://' "$WORK/err")
    still_answers
    pass "$* refused: $said"
}
owned() {
    timeout 10 gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "$DEST" 2>/dev/null | grep -q true
}
shown_pattern() { call GetState && sed -n "s/.*'pattern': <uint32 \([0-9]*\)>.*/\1/p" "$WORK/out"; }

# The exports the screen is compared with, made meanwhile.
( env -u DISPLAY QT_QPA_PLATFORM=offscreen timeout 120 "$BIN" --export "$WORK/export" --size ${W}x${H} --quiet \
    --pattern classic,gamma,checker-1 \
    >"$WORK/export.log" 2>&1; echo $? >"$WORK/export.done" ) &

# ---- without --control, no name --------------------------------------------
start_app
wait_for "the program's first window" 30 has_window
owned && fail "the program took $DEST without --control"
stop_app
pass "without --control no name is taken on the bus"

# ---- the station on the bus -----------------------------------------------
start_app --control dbus --record "$REC"
wait_for "the name $DEST on the bus" 30 owned
timeout 60 gdbus monitor --session --dest "$DEST" >"$WORK/monitor" 2>&1 &
MONITOR=$!
stop_monitor() { kill "$MONITOR" 2>/dev/null; }
on_cleanup stop_monitor

ok ListPatterns
[ "$(answer | grep -o "'classic-[0-9]*'" | wc -l)" = 67 ] || fail "ListPatterns does not list the 67 classic patterns: $(answer)"
answer | grep -q "(7, 'classic-07', 'white')" && answer | grep -q "(112, 'gamma', '" ||
    fail "ListPatterns lacks (7, 'classic-07', 'white') or the gamma pattern, 112"
pass "ListPatterns: the classic patterns and the extended ones with their ids and names"

i=0
while [ ! -s "$WORK/export.done" ] && [ $i -lt 1200 ]; do sleep 0.1; i=$((i + 1)); done
[ "$(cat "$WORK/export.done" 2>/dev/null)" = 0 ] || fail "the export failed: $(cat "$WORK/export.log")"
for p in 7 classic-02 1 classic-03 4 classic-42 11 gamma 49 checker-1; do
    case $p in
    gamma) n=112 ;;
    checker-1) n=122 ;;
    *) n=${p#classic-} n=${n#0} ;;
    esac
    before=$(mono)
    ok ShowPattern "$p"
    after=$(mono)
    shot
    set -- $(answer | tr -d '(),' | sed 's/uint[0-9]*//g')
    [ "$1" = "$n" ] || fail "ShowPattern $p answered pattern $1: $(answer)"
    [ "$2" -ge "$before" ] && [ "$2" -le "$after" ] || fail "ShowPattern $p: presented at $2, not between the call ($before) and its answer ($after)"
    picture=$(printf '%s/pattern-%02d.png' "$WORK/export" "$n")
    [ "$n" -gt 99 ] && picture=$(printf '%s/pattern-%03d.png' "$WORK/export" "$n")
    diff=$(compare -metric AE "$LAST_SHOT" "$picture" null: 2>&1)
    [ "$diff" = 0 ] || fail "after ShowPattern $p the screen differs from the export of pattern $n in $diff pixels"
done
pass "ten patterns shown by number and by id, each answered after its presentation and on the screen"

# ---- a session ---------------------------------------------------------------
refused NoSession Mark dark 10 10
ok StartSession "{'panel': <'QM-DBUS-1'>, 'operator': <'e2e'>, 'class': <'III'>}"
ok ShowPattern 7
ok Mark dark 100 200
[ "$(answer)" = "(uint32 1,)" ] || fail "the first mark was answered $(answer)"
ok Mark sub-pixel 640 480
ok TakeBack
[ "$(answer)" = "(uint32 2,)" ] || fail "TakeBack answered $(answer)"
call GetState
answer | grep -q "'sessionOpen': <true>" && answer | grep -q "'panel': <'QM-DBUS-1'>" || fail "GetState: $(answer)"
ok FinishSession
answer | grep -q "^('QM-DBUS-1: 1 type 2, class II, PASS', 'II', true, '$REC/QM-DBUS-1-[0-9-]*\.json')\$" ||
    fail "FinishSession answered $(answer)"
json=$(answer | sed "s/.*'\([^']*\.json\)').*/\1/")
[ -f "$json" ] || fail "no record at $json"
grep -q '"operator": "e2e"' "$json" && [ "$(grep -c '"number": ' "$json")" = 1 ] || fail "the record is not the session's: $json"
grep -q '^1,2,dark pixel,100,200,7,white,' "${json%.json}.csv" || fail "the record lacks the dark pixel at ( 100 , 200 )"
grep -q "MarkAdded (uint32 1, 'dark', 100, 200)" "$WORK/monitor" || fail "no MarkAdded signal: $(cat "$WORK/monitor")"
grep -q "PatternPresented (uint32 7, uint64 [0-9]*, uint32 [0-9]*)" "$WORK/monitor" || fail "no PatternPresented signal"
pass "session opened, marked, a mark taken back, finished: $(basename "$json")"

# ---- bad arguments of every kind ----------------------------------------------
refused BadPattern ShowPattern 99
refused BadPattern ShowPattern classic-00
refused BadPattern ShowPattern inversion
refused BadPattern ShowPattern ""
refused NoSession TakeBack
refused NoSession FinishSession
refused BadOption StartSession "{}"
refused BadOption StartSession "{'panel': <'../evil'>}"
refused BadOption StartSession "{'panel': <'P'>, 'class': <'V'>}"
refused BadOption StartSession "{'panel': <5>}"
refused BadOption StartSession "{'panel': <'P'>, 'colour': <'red'>}"
ok StartSession "{'panel': <'QM-DBUS-2'>}"
refused SessionOpen StartSession "{'panel': <'QM-DBUS-3'>}"
refused BadMark Mark purple 1 1
refused BadMark Mark dark 0 1
refused BadMark Mark dark 1 $((H + 1))
refused BadMark Mark row -2147483648 2147483647
refused BadMark TakeBack
refused org.freedesktop.DBus.Error.UnknownMethod Frobnicate
dbus-send --session --print-reply --dest="$DEST" "$OBJ" "$IFACE.ShowPattern" int32:7 >"$WORK/out" 2>"$WORK/err" &&
    fail "ShowPattern with a number for its text was answered"
grep -q 'org.freedesktop.DBus.Error.InvalidArgs' "$WORK/err" || fail "a wrong type was not refused: $(cat "$WORK/err")"
said=$(tr -s '\n ' ' ' <"$WORK/err")
still_answers
pass "a wrong type refused: $said"

# ---- beside the operator ---------------------------------------------------------
ok ShowPattern 7
X xdotool key Escape
question_up() { [ -n "$(X xdotool search --onlyvisible --name '^Exit - Quillmere$' 2>/dev/null)" ]; }
wait_for "the exit question" 5 question_up
call ShowPattern 2 && fail "a command while the exit question is open was answered: $(answer)"
grep -q 'Error.Busy: .' "$WORK/err" || fail "a command while the exit question is open: $(cat "$WORK/err")"
X xdotool key Escape # Cancel
sleep 0.5
[ "$(shown_pattern)" = 7 ] || fail "after Busy and Cancel the pattern is $(shown_pattern), not 7"
pass "refused as Busy while the exit question is open"
click_left 500 400
sleep 0.5
[ "$(shown_pattern)" = 8 ] || fail "the left button beside the controller stepped to $(shown_pattern), not 8"
pass "the left button steps on beside the controller"
# A client that goes away while its call waits: the program is stopped
# while the call goes out, so the answer finds no one.
kill -STOP "$(cat "$WORK/app.pid")"
timeout 30 dbus-send --session --print-reply --dest="$DEST" "$OBJ" "$IFACE.ShowPattern" string:3 >/dev/null 2>&1 &
client=$!
sleep 0.5
kill "$client" 2>/dev/null
wait "$client" 2>/dev/null
kill -CONT "$(cat "$WORK/app.pid")"
sleep 0.5
[ "$(shown_pattern)" = 3 ] || fail "after a client went away in its call the station shows $(shown_pattern)"
ok ShowPattern 1
pass "a client gone in the middle of its call leaves the station answering"

# ---- one station per bus; Quit --------------------------------------------------
timeout 30 "$BIN" --control dbus >"$WORK/second.log" 2>&1
status=$?
[ "$status" = 1 ] && grep -q "$DEST.*taken" "$WORK/second.log" ||
    fail "a second station on the bus: status $status: $(cat "$WORK/second.log")"
pass "a second station finds the name taken: $(cat "$WORK/second.log")"
ok Mark bright 5 5
ok Quit
wait_end 10 || fail "the program did not end after Quit"
[ "$(app_status)" = 0 ] || fail "Quit ended the program with status $(app_status)"
grep -q '^QM-DBUS-2: 1 type 1, class II, ' "$WORK/app.log" || fail "no summary line for the session open at Quit"
ls "$REC"/QM-DBUS-2-*.json >/dev/null 2>&1 || fail "the session open at Quit has no record"
pass "Quit ends with status 0 and writes the open session's record"

finish
