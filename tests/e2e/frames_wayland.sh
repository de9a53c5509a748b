#!/bin/sh
# End-to-end frame truth on a headless sway, the program a native Wayland
# client. Headless sway offers presentation feedback and sends none, so
# the frame callbacks stand in: every line is unconfirmed, and the period
# is the median interval (about 16.05 ms: the headless output's frame timer
# counts whole milliseconds).
#
# Run 1: --sequence motion-block --frame-log for ten seconds after its
# first second. Over those ten seconds at least 99 % of the intervals lie
# within 1 ms of the period and no refresh is missed. Then the program is
# stopped (SIGSTOP) for 200 ms and continued: the log counts the refreshes
# missed (about 12) on the one line after the stop, and nowhere else.
# SIGTERM ends it with status 143 and the summary line on stderr.
# Run 2: --sequence 1,7 stepped with the Right arrow 100 times, 0.15 s
# apart: each key's new pattern is presented, and 99 of the 100 within one
# period plus 4 ms of the key (requested_ns to presented_ns: from the key's
# arrival in the program to the frame callback of the commit that shows
# it).
# Then --list-screens and --check add no measured refresh, as nothing is
# confirmed.
#
# The thresholds are the issue's, and they hold on a quiet machine: CI
# runs this test alone (RUN_SERIAL). Measured on a 2-core machine
# (docs/performance.md): quiet, 99.8 to 100 % of the intervals within 1 ms,
# no missed refresh but the 12 or 13 of the stop, the keys' 99th
# percentile 3 ms. With a build busy on both cores the program and sway
# wait for a core: a few per cent of the intervals then fall outside 1 ms
# and single refreshes are missed, so the script would fail. It says so
# in its message rather than loosening the thresholds until they cannot
# fail; set E2E_LOADED=1 to have a loaded run measure and print the
# figures without judging the ones a busy machine spoils (the intervals'
# share and the missed refreshes outside the stop).
#
# Usage: sh frames_wayland.sh /path/to/vantrel
# Needs sway, swaymsg, wtype, setpriv and Qt's Wayland platform plugin;
# runs as root and starts sway as the unprivileged user 65534. Exits
# non-zero with a message on the first failure; cleans up however it ends
# and gives up on its own after $E2E_TIMEOUT seconds (default 180).

set -u
ME=frames_wayland.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-180}
TOOLS="sway swaymsg wtype setpriv awk sort"
. "$(dirname "$0")/lib/common.sh"
[ "$(id -u)" -eq 0 ] || fail "runs as root (it starts sway as another user)"
LOADED=${E2E_LOADED:-0}

fail_details() {
    if [ -s "$WORK/app.log" ]; then
        echo "$ME: program output:" >&2
        sed 's/^/    /' "$WORK/app.log" >&2
    fi
    if [ -s "$WORK/sway.log" ]; then
        echo "$ME: sway's last lines:" >&2
        tail -n 5 "$WORK/sway.log" | sed 's/^/    /' >&2
    fi
}

SWAY_PID=
APP_PID=
stop_app() {
    if [ -n "$APP_PID" ]; then
        kill -CONT "$APP_PID" 2>/dev/null
        kill "$APP_PID" 2>/dev/null
        wait "$APP_PID" 2>/dev/null
    fi
    APP_PID=
}
stop_sway() { [ -n "$SWAY_PID" ] && kill "$SWAY_PID" 2>/dev/null && wait "$SWAY_PID" 2>/dev/null; }
on_cleanup stop_sway
on_cleanup stop_app

# ---- a headless sway as user 65534 ------------------------------------------
chmod 755 "$WORK"
SWAY_RUNTIME="$WORK/sway-runtime"
mkdir -m 700 "$SWAY_RUNTIME"
chown 65534:65534 "$SWAY_RUNTIME" || fail "cannot hand the runtime directory to user 65534"
cat >"$WORK/sway.conf" <<'EOF'
output HEADLESS-1 mode 1280x800 scale 1
default_border none
default_floating_border none
xwayland disable
EOF
chmod 644 "$WORK/sway.conf"
(
    cd "$WORK" && exec env -i PATH="$PATH" XDG_RUNTIME_DIR="$SWAY_RUNTIME" WLR_BACKENDS=headless \
        WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        setpriv --reuid=65534 --regid=65534 --clear-groups sway -c "$WORK/sway.conf"
) >"$WORK/sway.log" 2>&1 &
SWAY_PID=$!
i=0
SWAYSOCK=
while [ $i -lt 100 ]; do
    SWAYSOCK=$(ls "$SWAY_RUNTIME"/sway-ipc.*.sock 2>/dev/null | head -n 1)
    [ -n "$SWAYSOCK" ] && [ -S "$SWAY_RUNTIME/wayland-1" ] && break
    kill -0 "$SWAY_PID" 2>/dev/null || fail "sway ended at start-up"
    sleep 0.1
    i=$((i + 1))
done
[ -n "$SWAYSOCK" ] || fail "sway did not open its sockets"
WAYLAND_DISPLAY="$SWAY_RUNTIME/wayland-1"
export SWAYSOCK WAYLAND_DISPLAY
unset DISPLAY
say "headless sway up (pid $SWAY_PID)"

# ---- helpers --------------------------------------------------------------------
start_app() {
    QT_QPA_PLATFORM=wayland QT_QPA_FONTDIR=/usr/share/fonts "$BIN" "$@" >"$WORK/app.log" 2>&1 &
    APP_PID=$!
}
running() { [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; }
has_focus() { timeout 10 swaymsg -t get_tree 2>/dev/null | tr -d ' \n' | grep -q '"focused":true[^}]*"rect"'; }

# Starts the program and closes the start-up window with a character key.
start_session() {
    start_app "$@"
    i=0
    while ! has_focus; do
        running || fail "the program ended before its first window"
        i=$((i + 1))
        [ $i -ge 100 ] && fail "no window of the program appeared"
        sleep 0.1
    done
    # The delays let wtype's virtual keyboard reach the client.
    timeout 10 wtype -s 1000 x -s 300 || fail "wtype could not type"
}

# wait_lines FILE PATTERN: up to 10 s for a line of the log showing PATTERN.
wait_lines() {
    i=0
    while ! awk -F, -v p="$2" 'NR > 1 && $2 == p && $4 != "" { found = 1; exit } END { exit !found }' "$1" 2>/dev/null; do
        running || fail "the program ended before it showed pattern $2"
        i=$((i + 1))
        [ $i -ge 100 ] && fail "no frame of pattern $2 in the log after 10 s"
        sleep 0.1
    done
}

# Ends the program with SIGTERM: status 143 and a summary line of as many
# frames as the log shows presented.
end_with_summary() {
    kill -TERM "$APP_PID"
    wait "$APP_PID"
    status=$?
    APP_PID=
    [ "$status" -eq 143 ] || fail "SIGTERM ended the program with status $status, not 143"
    shown=$(awk -F, 'NR > 1 && $4 != ""' "$1" | wc -l)
    summary=$(grep '^frames ' "$WORK/app.log" | tail -n 1)
    echo "$summary" | grep -Eq "^frames $shown, period [0-9]+\.[0-9]{3} ms, interval mean [0-9.]+ ms sd [0-9.]+ ms p99 [0-9.]+ ms, missed [0-9]+, (un)?confirmed\$" ||
        fail "no summary line of $shown frames on stderr: $summary"
    say "stderr: $summary"
}

# ---- run 1: the motion block, ten seconds, a stop of 200 ms ---------------------
LOG="$WORK/motion.csv"
start_session --sequence motion-block --frame-log "$LOG"
wait_lines "$LOG" 126
sleep 11
kill -STOP "$APP_PID"
sleep 0.2
kill -CONT "$APP_PID"
sleep 2
end_with_summary "$LOG"

[ "$(head -n 1 "$LOG")" = "frame,pattern,requested_ns,presented_ns,interval_ns,refresh_ns,seq,flags,missed" ] ||
    fail "the log's header is $(head -n 1 "$LOG")"
bad=$(awk -F, 'NR > 1 && $8 != "unconfirmed" && $8 != "discarded" { print; exit }' "$LOG")
[ -z "$bad" ] || fail "headless sway confirmed a frame: $bad"

# The motion block's lines from its first second on: "presented interval missed".
awk -F, 'NR > 1 && $2 == 126 && $4 != "" {
    if (start == "") start = $4
    if ($4 >= start + 1e9 && $5 != "") print $4, $5, $9
}' "$LOG" >"$WORK/run"
# The stop: the longest interval.
set -- $(sort -n -k2 "$WORK/run" | tail -n 1)
stop_at=$1 stop_interval=$2 stop_missed=$3
awk -v at="$stop_at" '$1 < at { print $2 }' "$WORK/run" | sort -n >"$WORK/before"
n=$(wc -l <"$WORK/before")
[ "$n" -ge 500 ] || fail "only $n intervals in the ten seconds before the stop"
period=$(awk -v n="$n" 'NR == int((n + 1) / 2) { print $1 }' "$WORK/before")
near=$(awk -v p="$period" '$1 >= p - 1e6 && $1 <= p + 1e6 { k++ } END { print k + 0 }' "$WORK/before")
elsewhere=$(awk -v at="$stop_at" '$1 != at && $3 > 0 { k += $3; n++ } END { print k + 0 }' "$WORK/run")
share=$(awk -v k="$near" -v n="$n" 'BEGIN { printf "%.1f", 100 * k / n }')
say "$n intervals before the stop: period $(awk -v p="$period" 'BEGIN { printf "%.3f", p / 1e6 }') ms, $share % within 1 ms of it; the stop: $(awk -v i="$stop_interval" 'BEGIN { printf "%.1f", i / 1e6 }') ms, $stop_missed missed; $elsewhere missed elsewhere"
awk -v p="$period" 'BEGIN { exit !(p >= 15e6 && p <= 17.5e6) }' || fail "the period $period ns is not about 16 ms"
[ "$stop_interval" -ge 180000000 ] || fail "no interval of the stop: the longest is $stop_interval ns"
[ "$stop_missed" -ge 10 ] && [ "$stop_missed" -le 15 ] ||
    fail "the stop of 200 ms counts $stop_missed missed refreshes, not about 12"
pass "the stop counts $stop_missed missed refreshes"
if [ "$LOADED" = 1 ]; then
    say "loaded run: the share within 1 ms and the refreshes missed elsewhere are not judged"
else
    [ $((near * 1000 / n)) -ge 990 ] ||
        fail "only $share % of the intervals within 1 ms of the period (99 % wanted; a machine busy elsewhere fails this, see the header)"
    [ "$elsewhere" -eq 0 ] ||
        fail "$elsewhere refreshes missed outside the stop (a machine busy elsewhere misses some, see the header)"
    pass "99 % of the intervals within 1 ms, no refresh missed but at the stop"
fi

# ---- run 2: the Right arrow, 100 times ---------------------------------------
LOG="$WORK/keys.csv"
start_session --sequence 1,7 --frame-log "$LOG"
wait_lines "$LOG" 1
sleep 0.5
keys=
k=0
while [ $k -lt 100 ]; do
    keys="$keys -k Right -s 150"
    k=$((k + 1))
done
# shellcheck disable=SC2086
timeout 60 wtype -s 500 $keys || fail "wtype could not press the keys"
sleep 1
end_with_summary "$LOG"
# Each change of pattern after the first frame: its latency.
awk -F, 'NR > 1 && $4 != "" { if (last != "" && $2 != last) print $4 - $3; last = $2 }' "$LOG" | sort -n >"$WORK/latency"
changes=$(wc -l <"$WORK/latency")
[ "$changes" -eq 100 ] || fail "the log shows $changes changes of pattern for 100 keys"
p99=$(sed -n 99p "$WORK/latency")
worst=$(tail -n 1 "$WORK/latency")
limit=$((period + 4000000))
say "100 keys: latency median $(awk 'NR == 50 { printf "%.2f", $1 / 1e6 }' "$WORK/latency") ms, p99 $(awk -v v="$p99" 'BEGIN { printf "%.2f", v / 1e6 }') ms, worst $(awk -v v="$worst" 'BEGIN { printf "%.2f", v / 1e6 }') ms (limit $(awk -v v="$limit" 'BEGIN { printf "%.2f", v / 1e6 }') ms)"
[ "$p99" -le "$limit" ] || fail "the 99th percentile from key to presentation, $p99 ns, exceeds one period plus 4 ms"
pass "each key presented, 99 of 100 within one period plus 4 ms"

# ---- nothing confirmed, nothing measured --------------------------------------
listing=$(QT_QPA_PLATFORM=wayland timeout 30 "$BIN" --list-screens 2>&1) || fail "--list-screens failed: $listing"
case "$listing" in *measured*) fail "--list-screens measured a refresh nothing confirmed: $listing" ;; esac
check=$(QT_QPA_PLATFORM=wayland timeout 30 "$BIN" --check 2>&1) || fail "--check failed: $check"
[ "$check" = "1:1" ] || fail "--check printed more than its verdict: $check"
pass "--list-screens and --check measure no refresh without confirmed presentations"
finish
