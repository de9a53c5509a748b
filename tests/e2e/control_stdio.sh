#!/bin/sh
# The station driven by JSON-RPC lines on stdin and stdout (--control
# stdio), on a virtual X display, by a client written with python3's
# standard library alone.
#
# Every line on stdout is one JSON object. ListPatterns lists the 67
# patterns; ten patterns shown by number and by id are each answered after
# the PatternPresented notification of the same presentation, with a time
# between the call and its answer, and a screenshot right after equals the
# pattern's export. Malformed lines, unknown methods, bad parameters and
# named errors get their codes; a line of 2 MB is refused as too long and
# the next request is answered. A session is opened, marked by command and
# by the operator's key (MarkAdded notifications for both), a mark taken
# back, finished and its record read. The
# left button steps on beside the controller (its presentation is told);
# while the exit question is open commands are refused as Busy. Closing
# stdin in the middle of a session ends the program with status 143 and
# the session's record written, its summary line on stderr. On a small
# tmpfs filled up (as root), a mark the journal cannot keep is refused as
# WriteFailed naming the cause and not taken; the session's record says it
# is incomplete, FinishSession does not answer a pass, and the program ends
# with status 5.
#
# Usage: sh control_stdio.sh /path/to/vantrel
# Needs Xvfb, xdotool, xwd, ImageMagick and python3. Exits non-zero with a
# message on the first failure; gives up on its own after $E2E_TIMEOUT
# seconds (default 240).

set -u
ME=control_stdio.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-240}
W=1024
H=768
TOOLS="python3 compare"
. "$(dirname "$0")/lib/xsession.sh"

env -u DISPLAY QT_QPA_PLATFORM=offscreen timeout 120 "$BIN" --export "$WORK/export" --size ${W}x${H} --quiet \
    >"$WORK/export.log" 2>&1 || fail "the export failed: $(cat "$WORK/export.log")"

cat >"$WORK/drive.py" <<'EOF'
import json, os, queue, subprocess, sys, threading, time

sys.path.insert(0, os.environ["E2E_LIB"])
import owned_children

BIN, WORK, W, H = os.path.abspath(sys.argv[1]), sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
REC = os.path.join(WORK, "records")
checks = 0

def fail(text):
    print("FAIL: " + text, flush=True)
    sys.exit(1)

def ok(text):
    global checks
    checks += 1
    print("ok: " + text, flush=True)

err = open(os.path.join(WORK, "app.log"), "wb")
app = owned_children.start([BIN, "--control", "stdio", "--record", REC], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, stderr=err, env=dict(os.environ, QT_QPA_PLATFORM="xcb"))
lines = queue.Queue()
reading = threading.Event()
reading.set()

def read_stdout():
    while reading.wait():
        raw = app.stdout.readline()
        if not raw:
            break
        try:
            message = json.loads(raw)
            if not isinstance(message, dict):
                raise ValueError("not an object")
        except ValueError as e:
            lines.put(("not JSON", raw))
            continue
        lines.put((None, message))
    lines.put(("end", None))

threading.Thread(target=read_stdout, daemon=True).start()
notes = []
next_id = 0

def send(raw):
    app.stdin.write(raw if isinstance(raw, bytes) else raw.encode())
    app.stdin.flush()

def answer(want_id, limit=10):
    """The answer with id want_id; notifications on the way are kept."""
    deadline = time.monotonic() + limit
    while True:
        try:
            problem, m = lines.get(timeout=max(0.01, deadline - time.monotonic()))
        except queue.Empty:
            fail("no answer to request %r within %d s" % (want_id, limit))
        if problem == "end":
            fail("stdout ended while waiting for %r (status %s)" % (want_id, app.poll()))
        if problem:
            fail("a line on stdout is not a JSON object: %r" % m[:200])
        if "id" not in m:
            notes.append(m)
            continue
        if m.get("id") != want_id:
            fail("answer %r while waiting for %r" % (m, want_id))
        return m

def call(method, **params):
    global next_id
    next_id += 1
    send(json.dumps({"jsonrpc": "2.0", "id": next_id, "method": method, "params": params}) + "\n")
    return answer(next_id)

def result(method, **params):
    m = call(method, **params)
    if "result" not in m:
        fail("%s %r: %r" % (method, params, m))
    return m["result"]

def refused(code, name, raw, want_id):
    send(raw)
    m = answer(want_id)
    e = m.get("error", {})
    if e.get("code") != code or (name and e.get("data", {}).get("name") != name) or not e.get("message"):
        fail("%r was answered %r, not error %d %s" % (raw[:80], m, code, name))
    result("GetState")
    what = raw[:60].strip() if isinstance(raw, str) else "the end of a line of 2 MB"
    ok("%s -> %d %s: %s" % (what, code, name, e["message"]))

def shot(path):
    subprocess.run("xwd -root -silent | convert xwd:- png:" + path, shell=True, check=True, timeout=20)

def differing(a, b):
    r = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True, timeout=20)
    return r.stderr.strip()

def xdotool(*args):
    subprocess.run(["xdotool"] + list(args), check=True, timeout=20)

# ---- patterns -------------------------------------------------------------------
state = result("GetState")["state"]
if (state["width"], state["height"]) != (W, H) or state["sessionOpen"]:
    fail("GetState: %r" % state)
patterns = result("ListPatterns")["patterns"]
numbers = [p["number"] for p in patterns]
if numbers != list(range(1, 68)) + list(range(101, 128)) or patterns[6] != {"number": 7, "id": "classic-07", "name": "white"}:
    fail("ListPatterns: %r" % patterns[:8])
ok("GetState and ListPatterns")

for p in ["7", "classic-02", "1", "classic-03", "4", "classic-42", "11", "classic-53", "49", "classic-66"]:
    n = int(p.replace("classic-", ""))
    notes.clear()
    before = time.monotonic_ns()
    r = result("ShowPattern", pattern=p)
    after = time.monotonic_ns()
    shot(os.path.join(WORK, "shot.png"))
    if r["number"] != n or not before <= r["presentedNs"] <= after:
        fail("ShowPattern %s answered %r, called at %d, answered at %d" % (p, r, before, after))
    if {"jsonrpc": "2.0", "method": "PatternPresented", "params": r} not in notes:
        fail("ShowPattern %s: no PatternPresented notification with %r before the answer: %r" % (p, r, notes))
    d = differing(os.path.join(WORK, "shot.png"), os.path.join(WORK, "export", "pattern-%02d.png" % n))
    if d != "0":
        fail("after ShowPattern %s the screen differs from the export in %s pixels" % (p, d))
ok("ten patterns by number and id, each answered after its presentation and on the screen")

# ---- lines that are not requests, or not good ones --------------------------------
refused(-32700, "", "this is not JSON\n", None)
refused(-32700, "", '{"jsonrpc":"2.0","id":1,\n', None)
refused(-32600, "", "[]\n", None)
refused(-32600, "", '{"jsonrpc":"2.0","id":"a"}\n', "a")
refused(-32600, "", '{"jsonrpc":"1.0","id":"b","method":"GetState"}\n', "b")
refused(-32601, "", '{"jsonrpc":"2.0","id":"c","method":"Frobnicate"}\n', "c")
refused(-32602, "", '{"jsonrpc":"2.0","id":"d","method":"ShowPattern","params":{"pattern":7}}\n', "d")
refused(-32602, "", '{"jsonrpc":"2.0","id":"e","method":"Mark","params":{"type":"dark","x":1}}\n', "e")
refused(-32602, "", '{"jsonrpc":"2.0","id":"f","method":"GetState","params":[1]}\n', "f")
refused(-32000, "BadPattern", '{"jsonrpc":"2.0","id":"g","method":"ShowPattern","params":{"pattern":"68"}}\n', "g")
refused(-32000, "NoSession", '{"jsonrpc":"2.0","id":"h","method":"Mark","params":{"type":"dark","x":1,"y":1}}\n', "h")
refused(-32000, "BadOption", '{"jsonrpc":"2.0","id":"i","method":"StartSession","params":{"options":{"panel":"a b"}}}\n', "i")
# A notification is carried out and not answered; a blank line is nothing.
send('{"jsonrpc":"2.0","method":"ShowPattern","params":{"pattern":"5"}}\n\n')
if result("GetState")["state"]["pattern"] != 5:
    fail("a notification was not carried out")
ok("a notification is carried out without an answer")
# 2 MB without a newline, in pieces, then its newline and a request.
piece = b"x" * (256 * 1024)
for _ in range(8):
    send(piece)
refused(-32600, "", b"\n", None)
ok("a line of 2 MB is refused and the next request answered")

# ---- a session -------------------------------------------------------------------------
result("StartSession", options={"panel": "QM-STDIO-1", "operator": "e2e", "station": "S2"})
result("ShowPattern", pattern="7")
notes.clear()
if result("Mark", type="dark", x=10, y=20) != {"number": 1} or result("Mark", type="bright", x=30, y=40) != {"number": 2}:
    fail("the marks were not numbered 1 and 2")
if result("TakeBack") != {"number": 2}:
    fail("TakeBack did not take mark 2 back")
# The operator's mark key beside the controller: a bright pixel under the pointer.
xdotool("mousemove", "300", "200", "key", "1")
time.sleep(0.5)
result("GetState")
added = [n["params"] for n in notes if n.get("method") == "MarkAdded"]
if added != [{"number": 1, "type": "dark", "x": 10, "y": 20}, {"number": 2, "type": "bright", "x": 30, "y": 40},
             {"number": 2, "type": "bright", "x": 301, "y": 201}]:
    fail("MarkAdded notifications: %r" % added)
f = result("FinishSession")
if f["summary"] != "QM-STDIO-1: 1 type 1, 1 type 2, class II, PASS" or f["pass"] is not True or f["classReached"] != "II":
    fail("FinishSession: %r" % f)
record = json.load(open(f["recordPath"]))
marks = [(m["type"], m["x"], m["y"]) for m in record["marks"]]
if record["operator"] != "e2e" or marks != [("dark", 10, 20), ("bright", 301, 201)]:
    fail("the record %s holds %r" % (f["recordPath"], marks))
ok("a session opened, marked by command and by key, a mark taken back, finished: %s" % os.path.basename(f["recordPath"]))

# ---- beside the operator --------------------------------------------------------------
notes.clear()
xdotool("mousemove", "500", "400", "click", "1")
time.sleep(0.5)
if result("GetState")["state"]["pattern"] != 8 or not any(
        n.get("method") == "PatternPresented" and n["params"]["number"] == 8 for n in notes):
    fail("the left button's step to pattern 8 was not told: %r" % notes)
ok("the left button steps on beside the controller, and its presentation is told")
xdotool("key", "Escape")
time.sleep(0.5)
refused_busy = call("ShowPattern", pattern="2")
if refused_busy.get("error", {}).get("data", {}).get("name") != "Busy":
    fail("a command while the exit question is open was answered %r" % refused_busy)
xdotool("key", "Escape")
time.sleep(0.5)
if result("ShowPattern", pattern="2")["number"] != 2:
    fail("no command after the exit question was cancelled")
ok("refused as Busy while the exit question is open, taken again after it")

# A client that stops reading: answers pile up unread beyond what a pipe
# holds, and the window still follows the operator's left button.
reading.clear()
time.sleep(0.2)
for k in range(60):
    next_id += 1
    send('{"jsonrpc":"2.0","id":%d,"method":"ListPatterns"}\n' % next_id)
first_unread = next_id - 59
time.sleep(0.5)
xdotool("mousemove", "500", "400", "click", "1")
time.sleep(0.5)
shot(os.path.join(WORK, "shot.png"))
d = differing(os.path.join(WORK, "shot.png"), os.path.join(WORK, "export", "pattern-03.png"))
if d != "0":
    fail("with its answers unread the window did not step to pattern 3 (%s pixels differ)" % d)
reading.set()
for k in range(first_unread, next_id + 1):
    if answer(k)["result"]["patterns"] != patterns:
        fail("an answer left unread came back damaged")
ok("answers left unread keep the window going, and come whole and in order once read")

# ---- stdin closed in the middle of a session ------------------------------------------------
result("StartSession", options={"panel": "QM-STDIO-2"})
result("Mark", type="sub-pixel", x=W, y=H)
app.stdin.close()
try:
    status = app.wait(timeout=20)
except subprocess.TimeoutExpired:
    fail("the program did not end when its stdin was closed")
if status != 143:
    fail("closing stdin ended the program with status %d, not 143" % status)
records = [r for r in os.listdir(REC) if r.startswith("QM-STDIO-2-") and r.endswith(".json")]
if len(records) != 1 or json.load(open(os.path.join(REC, records[0])))["marks"][0]["x"] != W:
    fail("no record of the session open when stdin closed: %r" % os.listdir(REC))
err.close()
if b"QM-STDIO-2: 1 type 3, class II, PASS" not in open(os.path.join(WORK, "app.log"), "rb").read():
    fail("no summary line on stderr")
while not lines.empty():
    problem, m = lines.get()
    if problem == "not JSON":
        fail("a line on stdout is not a JSON object: %r" % m[:200])
ok("closing stdin mid-session ends with 143, the record written, the summary on stderr")

# ---- a mark the disk cannot keep -----------------------------------------------------------
DISK = os.environ.get("FULL_DISK")
if DISK:
    err = open(os.path.join(WORK, "app.log"), "wb")
    app = owned_children.start([BIN, "--control", "stdio"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=err,
                               env=dict(os.environ, QT_QPA_PLATFORM="xcb"))
    lines = queue.Queue()
    threading.Thread(target=read_stdout, daemon=True).start()
    result("StartSession", options={"panel": "QM-FULL", "directory": os.path.join(DISK, "records")})
    result("ShowPattern", pattern="7")
    with open(os.path.join(DISK, "fill"), "wb", buffering=0) as fill:
        try:
            while fill.write(b"\0" * 4096):
                pass
        except OSError:
            pass
    kept = 0
    for k in range(64):
        m = call("Mark", type="dark", x=k + 1, y=1)
        if "error" in m:
            break
        kept += 1
        if m["result"]["number"] != kept:
            fail("mark %d was answered %r" % (kept, m))
    e = m.get("error", {})
    if e.get("data", {}).get("name") != "WriteFailed" or "No space left on device" not in e.get("message", ""):
        fail("a mark the full disk cannot keep was answered %r" % m)
    result("GetState")
    os.remove(os.path.join(DISK, "fill"))
    if result("Mark", type="bright", x=2, y=2)["number"] != kept + 1:
        fail("the mark the disk could not keep was counted as taken")
    f = result("FinishSession")
    if f["pass"] is not False or "RECORD INCOMPLETE" not in f["summary"]:
        fail("the incomplete record was answered %r" % f)
    result("Quit")
    if app.wait(timeout=20) != 5:
        fail("a run with an incomplete record ended with status %d, not 5" % app.returncode)
    ok("a mark the full disk cannot keep is refused (%s), not taken, the record incomplete, status 5" % e["message"])
print("checks %d" % checks)
EOF

# A small disk of its own for a mark that cannot be kept (root only).
FULL_DISK=
if [ "$(id -u)" -eq 0 ] && mkdir "$WORK/disk" && mount -t tmpfs -o size=256k,mode=755 tmpfs "$WORK/disk"; then
    FULL_DISK="$WORK/disk"
    unmount() { umount "$FULL_DISK" 2>/dev/null || umount -l "$FULL_DISK" 2>/dev/null; }
    on_cleanup unmount
else
    say "not root: the full disk is left out"
fi
FULL_DISK=$FULL_DISK E2E_LIB=$(cd "$(dirname "$0")/lib" && pwd) timeout 200 python3 "$WORK/drive.py" "$BIN" "$WORK" "$W" "$H" >"$WORK/drive.log" 2>&1
status=$?
sed 's/^/    /' "$WORK/drive.log"
[ "$status" -eq 0 ] || fail "the client failed (status $status): $(grep '^FAIL' "$WORK/drive.log")"
PASSED=$(sed -n 's/^checks //p' "$WORK/drive.log")
finish
