#!/bin/sh
# The command line as a user meets it, run on the built binary ($1):
# version, help and pattern list; every kind of bad input (one line on
# stderr, a non-zero status, nothing left behind); the run without a
# display; exports without a display; and the choice of screen on a
# simulated two-screen display.
set -u

bin=$1
here=$(cd "$(dirname "$0")" && pwd)
screens="$here/../screens/CliDualScreen.json"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# A private runtime directory, as a desktop session has one; without it
# Qt warns on stderr at every start.
export XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL: $*"
  if [ -s "$tmp/err" ]; then sed 's/^/  stderr: /' "$tmp/err"; fi
}

# run ARGS...: runs the binary with no display at all; stdout, stderr and
# the exit status land in $tmp/out, $tmp/err and $status.
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 120 "$bin" "$@" >"$tmp/out" 2>"$tmp/err"
  status=$?
}

# expect_error STATUS MESSAGE ARGS...: the run fails with STATUS and
# exactly one line on stderr that contains MESSAGE.
expect_error() {
  want_status=$1
  want_text=$2
  shift 2
  run "$@"
  lines=$(wc -l <"$tmp/err")
  if [ "$status" -ne "$want_status" ]; then
    fail "$* : exit status $status, expected $want_status"
  elif [ "$lines" -ne 1 ]; then
    fail "$* : $lines lines on stderr, expected one"
  elif ! grep -qF -- "$want_text" "$tmp/err"; then
    fail "$* : stderr does not say: $want_text"
  else
    pass
  fi
}

# --- version, help, list ------------------------------------------------

run --version
if [ "$status" -eq 0 ] && [ "$(wc -l <"$tmp/out")" -eq 1 ] && grep -qE '^Vantrel [0-9]+\.[0-9]+\.[0-9]+$' "$tmp/out" &&
  [ ! -s "$tmp/err" ]; then pass; else fail "--version printed: $(cat "$tmp/out")"; fi

run --help
missing=""
for option in --help --version --list --list-screens --screen --export --size --pattern; do
  grep -qF -- "$option" "$tmp/out" || missing="$missing $option"
done
if [ "$status" -eq 0 ] && [ -z "$missing" ]; then pass; else fail "--help: status $status, missing:$missing"; fi

run --list
if [ "$status" -eq 0 ] && [ "$(wc -l <"$tmp/out")" -eq 67 ] &&
  [ "$(sed -n 1p "$tmp/out")" = "1 black" ] &&
  [ "$(sed -n 11p "$tmp/out")" = "11 grey 128" ] &&
  [ "$(sed -n 42p "$tmp/out")" = "42 grey ramp, 64 steps" ] &&
  [ "$(sed -n 57p "$tmp/out")" = "57 flashing box" ] &&
  [ "$(sed -n 67p "$tmp/out")" = "67 4 by 4 grid with discs" ]; then pass; else fail "--list"; fi

# --- bad input: one line, status 2, nothing made --------------------------

bad="$tmp/bad"
expect_error 2 "unknown option '--frobnicate'" --frobnicate
expect_error 2 "unknown option '--colour'" --export "$bad" --colour=red
expect_error 2 "unexpected argument 'out'" out
expect_error 2 "missing value after '--export'" --export
expect_error 2 "--size only applies to --export" --size 640x480
expect_error 2 "malformed size '12by3'" --export "$bad" --size 12by3
expect_error 2 "malformed size '640x'" --export "$bad" --size 640x
expect_error 2 "size 0x768 is out of range" --export "$bad" --size 0x768
expect_error 2 "size 1024x0 is out of range" --export "$bad" --size 1024x0
expect_error 2 "size 32768x10 is out of range" --export "$bad" --size 32768x10
expect_error 2 "size 10x40000 is out of range" --export "$bad" --size 10x40000
expect_error 2 "pattern 0 is out of range" --export "$bad" --size 64x48 --pattern 0
expect_error 2 "pattern 68 is out of range" --export "$bad" --size 64x48 --pattern 68
expect_error 2 "pattern range 9-3 is reversed" --export "$bad" --size 64x48 --pattern 9-3
expect_error 2 "malformed pattern '3-'" --export "$bad" --size 64x48 --pattern 3-
if [ -e "$bad" ]; then fail "a rejected command line left $bad behind"; else pass; fi

# --- directories that cannot be made or written: status 1 -----------------

expect_error 1 "cannot create directory '/proc/vantrel-export-test/out'" \
  --export /proc/vantrel-export-test/out --size 64x48
expect_error 1 "cannot write into directory '/proc'" --export /proc --size 64x48
: >"$tmp/plain-file"
expect_error 1 "'$tmp/plain-file' is not a directory" --export "$tmp/plain-file" --size 64x48
expect_error 1 "cannot create directory '$tmp/plain-file/sub'" --export "$tmp/plain-file/sub" --size 64x48
if [ -e /proc/vantrel-export-test ]; then fail "/proc/vantrel-export-test was made"; else pass; fi

# --- a painter's run-time error: status 3, nothing written ----------------

expect_error 3 "run-time error 6: Overflow, painting pattern 2 at 32764x10; nothing was written" \
  --export "$tmp/overflow/new" --size 32764x10
if [ -e "$tmp/overflow" ]; then fail "the failed export left $tmp/overflow behind"; else pass; fi

mkdir "$tmp/older"
echo "older file" >"$tmp/older/pattern-01.png"
expect_error 3 "Overflow" --export "$tmp/older" --size 32764x10 --pattern 1-5
if [ "$(ls -A "$tmp/older")" = "pattern-01.png" ] && [ "$(cat "$tmp/older/pattern-01.png")" = "older file" ]; then
  pass
else
  fail "the failed export changed $tmp/older: $(ls -A "$tmp/older")"
fi

# --- no display ----------------------------------------------------------

expect_error 1 "vantrel: no display could be opened; to render the patterns into image files without one, use --export DIR --size WxH"
expect_error 1 "no display could be opened" --screen 1
expect_error 1 "no display could be opened" --list-screens
expect_error 1 "no display could be opened to measure the screen; give the size of the pictures with --size WxH" \
  --export "$tmp/nosize"
if [ -e "$tmp/nosize" ]; then fail "an export without display and size made its directory"; else pass; fi

# A display that is named but cannot be reached: Qt's platform fails to
# start, and the program still ends with the message, not an abort.
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:937 timeout 60 "$bin" >"$tmp/out" 2>"$tmp/err"
status=$?
if [ "$status" -eq 1 ] && grep -qF "vantrel: no display could be opened" "$tmp/err"; then
  pass
else
  fail "unreachable display: exit status $status"
fi
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 60 "$bin" >"$tmp/out" 2>"$tmp/err"
status=$?
if [ "$status" -eq 1 ] && [ "$(wc -l <"$tmp/err")" -eq 1 ] && grep -qF "no display could be opened" "$tmp/err"; then
  pass
else
  fail "xcb without DISPLAY: exit status $status"
fi

# --- exports without a display ---------------------------------------------

run --export "$tmp/all" --size 320x240
if [ "$status" -ne 0 ]; then
  fail "export of every pattern: exit status $status"
else
  n=1
  bad_files=""
  while [ $n -le 67 ]; do
    f=$(printf '%s/pattern-%02d.png' "$tmp/all" $n)
    file -b "$f" | grep -q '^PNG image data, 320 x 240,' || bad_files="$bad_files $f"
    n=$((n + 1))
  done
  count=$(ls -A "$tmp/all" | wc -l)
  if [ -z "$bad_files" ] && [ "$count" -eq 68 ] && file -b "$tmp/all/contact-sheet.png" | grep -q '^PNG image data' &&
    [ ! -s "$tmp/err" ]; then
    pass
  else
    fail "export of every pattern: $count entries, not 320x240 PNG:$bad_files"
  fi
fi

run --export "$tmp/one" --size 3840x2160 --pattern 64
if [ "$status" -eq 0 ] && [ "$(ls -A "$tmp/one" | tr '\n' ' ')" = "contact-sheet.png pattern-64.png " ] &&
  file -b "$tmp/one/pattern-64.png" | grep -q '^PNG image data, 3840 x 2160,'; then
  pass
else
  fail "export of pattern 64 at 3840x2160: status $status, $(ls -A "$tmp/one" 2>/dev/null | tr '\n' ' ')"
fi

# A second export over the first replaces its files.
run --export "$tmp/one" --size 64x48 --pattern 64
if [ "$status" -eq 0 ] && file -b "$tmp/one/pattern-64.png" | grep -q '^PNG image data, 64 x 48,'; then
  pass
else
  fail "a second export did not replace the first"
fi

# --- a display of two screens (Qt's offscreen platform) --------------------

dual() {
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM="offscreen:configfile=$screens" timeout 120 "$bin" "$@" \
    >"$tmp/out" 2>"$tmp/err"
  status=$?
}

dual --list-screens
if [ "$status" -eq 0 ] && [ "$(wc -l <"$tmp/out")" -eq 2 ] &&
  grep -qE '^0  S1  1024x768  ratio 1  [0-9.]+ Hz  mode unknown  native unknown  scale 100 %  monitor unknown  1:1 yes  primary$' "$tmp/out" &&
  grep -qE '^1  S2  1366x768  ratio 1  [0-9.]+ Hz  mode unknown  native unknown  scale 100 %  monitor unknown  1:1 yes$' "$tmp/out"; then
  pass
else
  fail "--list-screens on two screens: $(cat "$tmp/out")"
fi

# Without --size, the export takes the chosen screen's size.
dual --export "$tmp/second" --screen 1 --pattern 1
if [ "$status" -eq 0 ] && file -b "$tmp/second/pattern-01.png" | grep -q '^PNG image data, 1366 x 768,'; then
  pass
else
  fail "export on --screen 1: status $status"
fi
dual --export "$tmp/byname" --screen S1 --pattern 2
if [ "$status" -eq 0 ] && file -b "$tmp/byname/pattern-02.png" | grep -q '^PNG image data, 1024 x 768,'; then
  pass
else
  fail "export on --screen S1: status $status"
fi

dual --screen 2
if [ "$status" -eq 2 ] && grep -qF "vantrel: no screen '2': the screens are 0 to 1 (see --list-screens)" "$tmp/err"; then
  pass
else
  fail "--screen 2 on two screens: status $status"
fi
dual --screen HDMI-9 --export "$tmp/noscreen"
if [ "$status" -eq 2 ] && grep -qF "no screen 'HDMI-9'" "$tmp/err" && [ ! -e "$tmp/noscreen" ]; then
  pass
else
  fail "--screen HDMI-9 with --export: status $status"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
