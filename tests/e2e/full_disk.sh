#!/bin/sh
# Recording sessions on a small, full disk (a tmpfs of its own), on a
# virtual X display. Nothing is lost without a word: what the disk cannot
# keep is told on the pattern window and on stderr, the exit status is 5
# (the record is incomplete), and no file of a record is left half-written
# in the record directory.
#
# Run 1, the journal: the disk fills while the session runs; marks are made
# until one cannot be kept. It is shown as a warning on the pattern window
# (a red box, never the acknowledgement) and on stderr; it is not
# acknowledged; strace shows one fdatasync per journal append, kept or cut
# back. SIGTERM then ends the session on the still full disk: the record's
# first file cannot be written, stderr names it and why, no summary line
# claims a record, the status is 5 (not 143), and the directory holds the
# journal with the marks acknowledged and nothing else of the session.
# Run 2, the map (a file over 16 KiB): with room freed, the next session
# writes run 1's record from its journal; its own end finds room for the
# CSV but not the map: status 5, stderr names the map, no file of its
# record left.
# Run 3, the record: likewise with room for the CSV and the map but not
# the JSON.
# Run 4: with room, the next session recovers run 3 and ends with its own
# record (status 0); every record reads back with --report.
# Last, a read-only file system: the session says why it cannot lock its
# journal, status 1.
#
# Usage: sh full_disk.sh /path/to/vantrel
# Runs as root (it mounts). Needs Xvfb, xdotool, xwd, ImageMagick and
# strace. Exits non-zero with a message on the first failure; unmounts and
# cleans up however it ends; gives up on its own after $E2E_TIMEOUT seconds
# (default 120).

set -u
ME=full_disk.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-120}
W=1024
H=768
TOOLS="strace mount umount stat dd"
. "$(dirname "$0")/lib/xsession.sh"

[ "$(id -u)" -eq 0 ] || fail "runs as root (it mounts a tmpfs)"
MNT="$WORK/disk"
mkdir "$MNT"
mount -t tmpfs -o size=256k,mode=755 tmpfs "$MNT" || fail "cannot mount a tmpfs on $MNT"
# After the program has ended (a hook added later runs first).
unmount() {
    stop_app
    umount "$MNT" 2>/dev/null || umount -l "$MNT" 2>/dev/null
}
on_cleanup unmount
REC="$MNT/records"
PAGE=4096

# Free pages of the tmpfs.
free_pages() { echo $(($(stat -f -c '%a*%S' "$MNT") / PAGE)); }
# fill_to N: fills the disk but for N free pages.
fill_to() {
    rm -f "$MNT/fill"
    n=$(($(free_pages) - $1))
    [ "$n" -gt 0 ] && dd if=/dev/zero of="$MNT/fill" bs=$PAGE count="$n" 2>/dev/null
    [ "$(free_pages)" -eq "$1" ] || fail "the disk has $(free_pages) free pages, not $1"
}
# Nothing of a record half-written in the directory: no hidden file
# written aside, and no .csv, .png or .json of a session without its
# record.
no_partial_files() {
    [ -z "$(ls -A "$REC" | grep '^\.')" ] || fail "a file written aside is left in $REC: $(ls -A "$REC")"
    for f in "$REC"/*.csv "$REC"/*.png; do
        [ -e "$f" ] || continue
        [ -e "${f%.*}.json" ] || fail "$(basename "$f") is left without its record"
    done
}
# ends_incomplete WHAT: the run ended with status 5, stderr names WHAT
# as the file that could not be written, and no summary line claims a
# record.
ends_incomplete() {
    wait_end 15 || fail "the session did not end"
    [ "$(app_status)" = 5 ] || fail "the session ended with status $(app_status), not 5"
    grep -q "^vantrel: cannot write $REC/.*$1: No space left on device; no record is written" "$WORK/app.log" ||
        fail "stderr does not name $1 and its cause"
    grep -Eq '^FD-[0-9]: .*(PASS|FAIL)' "$WORK/app.log" && fail "a summary line claims a record"
    no_partial_files
}
# red_pixels: pixels of the warning's red in the last screenshot.
red_pixels() {
    X convert "$LAST_SHOT" -fuzz 6% -fill black +opaque '#c00000' -fill white -opaque '#c00000' \
        -format '%[fx:int(mean*w*h+0.5)]' info: 2>/dev/null
}

# ---- run 1: the journal fills ----------------------------------------------------
say "run 1: marks until the disk is full, traced"
REAL_BIN=$BIN
BIN="$WORK/traced"
cat >"$BIN" <<EOF
#!/bin/sh
exec strace -f -qq -e trace=fdatasync,fsync -o "$WORK/strace.log" sh -c 'echo \$\$ >"$WORK/pid"; exec "\$0" "\$@"' "$REAL_BIN" "\$@"
EOF
chmod +x "$BIN"
# The operator's name fills most of the journal's first page: the disk,
# filled now, keeps only about one more line.
start_session --record "$REC" --panel FD-1 --sequence 7 --operator "$(head -c 2800 /dev/zero | tr '\0' o)"
BIN=$REAL_BIN
JOURNAL=$(ls "$REC"/FD-1-*.journal) || fail "no journal"
fill_to 0
acked=0
x=100
while [ $x -lt 900 ]; do
    point "$x" 300
    key 2
    sleep 0.3
    grep -q 'NOT RECORDED' "$WORK/app.log" && break
    acked=$((acked + 1))
    x=$((x + 40))
done
grep -q "^vantrel: NOT RECORDED: dark pixel ( $((x + 1)) , 301 ): cannot append to the journal: No space left on device$" \
    "$WORK/app.log" || fail "no warning on stderr for the mark the disk could not keep"
shot
red=$(red_pixels)
[ "${red:-0}" -gt 1000 ] || fail "no red warning on the pattern window ($red red pixels)"
[ "$(pixel "$x" 300)" = "#FFFFFF" ] || fail "the warning covers the marked pixel"
say "the disk was full after $acked mark(s); the warning shows in $red red pixels"
[ -n "${E2E_KEEP_SHOTS:-}" ] && cp "$LAST_SHOT" "$E2E_KEEP_SHOTS/full_disk-warning.png"

kill -TERM "$(cat "$WORK/pid")"
ends_incomplete .csv
marks=$(grep -c '"event":"mark"' "$JOURNAL")
[ "$marks" -eq "$acked" ] || fail "the journal holds $marks marks, $acked were acknowledged"
[ "$(tail -c 1 "$JOURNAL" | od -An -c | tr -d ' ')" = '\n' ] || fail "the journal ends in half a line"
appends=$(($(wc -l <"$JOURNAL") + $(grep -c 'NOT RECORDED' "$WORK/app.log")))
syncs=$(grep -c 'fdatasync(' "$WORK/strace.log")
[ "$syncs" -eq "$appends" ] || fail "$syncs fdatasync calls for $appends journal appends"
[ "$(ls "$REC" | grep -c '^FD-1-')" -eq 2 ] || fail "the directory holds more than the journal and its lock: $(ls "$REC")"
pass "run 1: $acked marks kept, the next one told; $syncs fdatasync for $appends appends; status 5 on SIGTERM"

# ---- run 2: the map does not fit -------------------------------------------------
rm -f "$MNT/fill"
start_session --record "$REC" --panel FD-2 --sequence 7
grep -q "recovered the unfinished session FD-1-.* with $acked mark(s)" "$WORK/app.log" || fail "run 1 was not recovered"
[ ! -e "$JOURNAL" ] || fail "run 1's journal is still there"
MAP=$(ls "$REC"/FD-1-*.png)
pages_map=$((($(stat -c %s "$MAP") + PAGE - 1) / PAGE))
[ "$(stat -c %s "$MAP")" -gt 16384 ] || fail "the map is not over 16 KiB"
point 500 400
key 3
sleep 0.3
fill_to 1
key Escape
wait_for "the exit question" 5 exit_question_up
sleep 0.3
key Return
wait_for "the farewell window" 5 has_other_window
sleep 0.3
key a
ends_incomplete .png
pass "run 2: run 1 recovered; the map (over 16 KiB) did not fit: status 5, nothing of the record left"

# ---- run 3: the record does not fit -----------------------------------------------
rm -f "$MNT/fill"
STATION=$(head -c 24000 /dev/zero | tr '\0' 's')
start_session --record "$REC" --panel FD-3 --sequence 7 --station "$STATION"
grep -q "recovered the unfinished session FD-2-" "$WORK/app.log" || fail "run 2 was not recovered"
point 600 500
key 1
sleep 0.3
# Room for the CSV (a page), the map and a page to spare; not for the record.
fill_to $((1 + pages_map + 1))
kill -TERM "$(app_pid)"
ends_incomplete .json
pass "run 3: the record did not fit after the CSV and the map: status 5, nothing of the record left"

# ---- run 4: room again ----------------------------------------------------------------
rm -f "$MNT/fill"
start_session --record "$REC" --panel FD-4 --sequence 7
grep -q "recovered the unfinished session FD-3-.* with 1 mark(s)" "$WORK/app.log" || fail "run 3 was not recovered"
kill -TERM "$(app_pid)"
wait_end 15 || fail "run 4 did not end"
[ "$(app_status)" = 143 ] || fail "run 4 ended with status $(app_status), not 143"
grep -q '^FD-4: no faults, class I, PASS$' "$WORK/app.log" || fail "no summary line for run 4"
[ -z "$(ls "$REC" | grep 'journal')" ] || fail "journals are left: $(ls "$REC")"
no_partial_files
for json in "$REC"/*.json; do
    env -u DISPLAY "$BIN" --report "$json" >/dev/null 2>&1 || fail "--report cannot read $(basename "$json")"
done
pass "run 4: every record written and read back"

# ---- a read-only file system ----------------------------------------------------
mount -o remount,ro "$MNT" || fail "cannot remount $MNT read-only"
start_app --record "$REC" --panel FD-5
wait_end 30 || fail "a session on a read-only file system did not end"
[ "$(app_status)" = 1 ] || fail "a session on a read-only file system ended with status $(app_status), not 1"
grep -q "^vantrel: cannot lock the journal $REC/FD-5-.*\.journal: Read-only file system$" "$WORK/app.log" ||
    fail "no reason for the read-only file system: $(cat "$WORK/app.log")"
pass "read-only: the reason, status 1"

finish
