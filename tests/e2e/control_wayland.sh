#!/bin/sh
# The station driven over JSON-RPC lines (--control stdio) as a native
# Wayland client of a headless sway: 200 ShowPattern calls in a row,
# alternating between two patterns, by a client of python3's standard
# library. Each is answered, none lost, each answer carries the pattern
# asked for and a presentation time between the call and its answer, and a
# PatternPresented notification with the same values comes before it. The
# time from call to answer is measured in the client: its 99th percentile
# must stay within one refresh period plus 5 ms. The figures are printed
# (docs/performance.md holds the latest).
#
# Usage: sh control_wayland.sh /path/to/vantrel
# Needs sway, setpriv, python3 and Qt's Wayland platform plugin; runs as
# root and starts sway as the unprivileged user 65534, whose socket the
# program reaches by its full path. Exits non-zero with a message on the
# first failure; cleans up however it ends, and gives up on its own after
# $E2E_TIMEOUT seconds (default 180).

set -u
ME=control_wayland.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-180}
CALLS=200
TOOLS="sway setpriv python3"
. "$(dirname "$0")/lib/common.sh"
. "$(dirname "$0")/lib/sway.sh"
on_cleanup stop_sway

fail_details() {
    for log in app.log sway.log; do
        [ -s "$WORK/$log" ] || continue
        echo "$ME: $log, last lines:" >&2
        tail -n 8 "$WORK/$log" | sed 's/^/    /' >&2
    done
}
[ "$(id -u)" -eq 0 ] || fail "runs as root (it starts sway as another user)"
chmod 755 "$WORK"

# ---- a headless sway as user 65534 --------------------------------------------
start_sway 1280x800

cat >"$WORK/drive.py" <<'EOF'
import json, os, subprocess, sys, time

sys.path.insert(0, os.environ["E2E_LIB"])
import owned_children

BIN, WORK, CALLS = os.path.abspath(sys.argv[1]), sys.argv[2], int(sys.argv[3])

def fail(text):
    print("FAIL: " + text, flush=True)
    sys.exit(1)

env = dict(os.environ, QT_QPA_PLATFORM="wayland", QT_QPA_FONTDIR="/usr/share/fonts",
           WAYLAND_DISPLAY=os.path.join(WORK, "sway-runtime", "wayland-1"))
env.pop("DISPLAY", None)
app = owned_children.start([BIN, "--control", "stdio"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           stderr=open(os.path.join(WORK, "app.log"), "wb"), env=env)
notes, next_id = [], 0

def call(method, **params):
    global next_id
    next_id += 1
    app.stdin.write((json.dumps({"jsonrpc": "2.0", "id": next_id, "method": method, "params": params}) + "\n").encode())
    app.stdin.flush()
    for line in app.stdout:
        m = json.loads(line)
        if "id" not in m:
            notes.append(m)
        elif m["id"] != next_id:
            fail("answer %r while waiting for %d" % (m, next_id))
        elif "result" not in m:
            fail("%s %r: %r" % (method, params, m))
        else:
            return m["result"]
    fail("stdout ended (status %s)" % app.poll())

state = call("GetState")["state"]
# The first calls map the window: not counted.
for p in ["1", "7", "1", "7", "1"]:
    call("ShowPattern", pattern=p)
notes.clear()
took, flags = [], set()
for k in range(CALLS):
    p = 7 if k % 2 == 0 else 1
    before = time.monotonic_ns()
    r = call("ShowPattern", pattern=str(p))
    after = time.monotonic_ns()
    if r["number"] != p or not before <= r["presentedNs"] <= after:
        fail("call %d: ShowPattern %d answered %r between %d and %d" % (k, p, r, before, after))
    if {"jsonrpc": "2.0", "method": "PatternPresented", "params": r} not in notes[-3:]:
        fail("call %d: no PatternPresented notification %r before its answer" % (k, r))
    took.append((after - before) / 1e6)
    flags.add(r["flags"])
presented = [n for n in notes if n.get("method") == "PatternPresented"]
if len(presented) != CALLS:
    fail("%d presentations told for %d calls" % (len(presented), CALLS))
call("Quit")
if app.wait(timeout=20) != 0:
    fail("Quit ended the program with status %s" % app.returncode)
took.sort()
period = 1000.0 / state["refreshHz"] if state["refreshHz"] > 0 else 1000.0 / 60
p99 = took[min(len(took) - 1, int(0.99 * len(took) + 0.5) - 1)]
print("calls %d, call to answer: median %.2f ms, p99 %.2f ms, max %.2f ms; period %.2f ms (%.3f Hz); flags %s"
      % (CALLS, took[len(took) // 2], p99, took[-1], period, state["refreshHz"], sorted(flags)))
if p99 > period + 5.0:
    fail("the 99th percentile from call to answer, %.2f ms, exceeds one period plus 5 ms (%.2f ms)" % (p99, period + 5))
EOF

E2E_LIB=$(cd "$(dirname "$0")/lib" && pwd) timeout 150 python3 "$WORK/drive.py" "$BIN" "$WORK" "$CALLS" >"$WORK/drive.log" 2>&1
status=$?
sed 's/^/    /' "$WORK/drive.log"
[ "$status" -eq 0 ] || fail "the client failed (status $status): $(grep '^FAIL' "$WORK/drive.log")"
pass "$(grep '^calls' "$WORK/drive.log")"
finish
