#!/bin/sh
# End-to-end run of the real program as a native Wayland client of a
# headless sway: at output scales 1 and 2 every still pattern on the screen
# equals, pixel for pixel, the image --export renders at the output's size
# in device pixels; at the fractional scales 1.25 and 1.5 the script records
# what Qt reports for the screen and how far the screen differs from the
# export. At 1.25 a recording session records the output's own mode and
# that the screen is not 1:1, with the reason, and its summary line warns.
#
# Usage: sh wayland.sh /path/to/vantrel
# Needs sway, grim, wtype, swaymsg, setpriv, ImageMagick (convert, compare)
# and Qt's Wayland platform plugin. sway refuses to run as root, so it runs
# as the unprivileged user 65534; the program, grim and wtype reach its
# socket by its full path. No pointer device exists on a headless sway:
# a character key closes the start-up window and F12 starts auto-play,
# which steps once a second through every pattern.
# Exits non-zero with a message on the first failure; cleans up however it
# ends, and gives up on its own after $E2E_TIMEOUT seconds.

set -u
ME=wayland.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-300}
COUNT=67
# Patterns that move or blink: a screenshot shows one moment of them, not
# the exported picture.
MOVING="57 59 60 61 62 65"

say() { echo "$ME: $*"; }
fail() {
    echo "$ME: FAIL: $*" >&2
    if [ -n "${WORK:-}" ] && [ -s "$WORK/app.log" ]; then
        echo "$ME: program output:" >&2
        sed 's/^/    /' "$WORK/app.log" >&2
    fi
    if [ -n "${WORK:-}" ] && [ -s "$WORK/sway.log" ]; then
        echo "$ME: sway's last lines:" >&2
        tail -n 5 "$WORK/sway.log" | sed 's/^/    /' >&2
    fi
    exit 1
}

[ -n "$BIN" ] || fail "usage: sh $ME /path/to/vantrel"
[ -x "$BIN" ] || fail "not an executable: $BIN"
for tool in sway swaymsg grim wtype setpriv convert compare md5sum timeout; do
    command -v "$tool" >/dev/null 2>&1 || fail "needs $tool on the PATH"
done
[ "$(id -u)" -eq 0 ] || fail "runs as root (it starts sway as another user)"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-e2e.XXXXXX") || fail "cannot make a work directory"
chmod 755 "$WORK"
SWAY_PID=
APP_PID=
WATCHDOG_PID=
EXPORT_PIDS=

stop_app() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null && wait "$APP_PID" 2>/dev/null
    APP_PID=
}
cleanup() {
    trap - EXIT INT TERM HUP
    [ -n "$WATCHDOG_PID" ] && kill "$WATCHDOG_PID" 2>/dev/null
    stop_app
    for pid in $EXPORT_PIDS; do
        pkill -TERM -P "$pid" 2>/dev/null
        kill "$pid" 2>/dev/null
    done
    [ -n "$SWAY_PID" ] && kill "$SWAY_PID" 2>/dev/null && wait "$SWAY_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'echo "$ME: FAIL: interrupted or timed out after ${TIMEOUT}s" >&2; exit 2' INT TERM HUP
# The whole run gives up on its own. The watchdog's sleep ends with it:
# stopped, the watchdog stops its sleep too, so nothing of the script
# outlives it.
(
    trap 'kill ${nap:-} 2>/dev/null; exit 0' TERM
    sleep "$TIMEOUT" &
    nap=$!
    wait "$nap" && kill -TERM $$
) >/dev/null 2>&1 &
WATCHDOG_PID=$!

# ---- a headless sway as user 65534 --------------------------------------------
. "$(dirname "$0")/lib/sway.sh"
start_sway 1280x800
# Qt's own runtime directory, apart from sway's.
XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR

# ---- helpers ------------------------------------------------------------------
# set_output MODE SCALE, e.g. set_output 2560x1600 2
set_output() {
    timeout 10 swaymsg output HEADLESS-1 mode "$1" scale "$2" >/dev/null || fail "swaymsg could not set $1 at $2"
}

start_app() {
    QT_QPA_PLATFORM=wayland QT_QPA_FONTDIR=/usr/share/fonts "$BIN" "$@" >"$WORK/app.log" 2>&1 &
    APP_PID=$!
}
running() { [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; }

# The focused window's place in the compositor's logical pixels, "X Y W H".
focused_rect() {
    timeout 10 swaymsg -t get_tree 2>/dev/null | tr -d ' \n' |
        grep -o '"focused":true[^}]*"rect":{[^}]*}' | head -n 1 |
        sed -n 's/.*"rect":{"x":\([0-9]*\),"y":\([0-9]*\),"width":\([0-9]*\),"height":\([0-9]*\)}.*/\1 \2 \3 \4/p'
}

# The focused window's size, "WxH", or nothing.
focused_size() {
    set -- $(focused_rect)
    [ $# -eq 4 ] && echo "${3}x${4}"
}

# check_verdict SCALE STATUS: --check exits with STATUS (0 when 1:1, 4 when
# not). No platform is named: with no X display here, the program must
# choose Wayland by itself.
check_verdict() {
    env -u QT_QPA_PLATFORM timeout 30 "$BIN" --check >"$WORK/check.out" 2>&1
    got=$?
    [ "$got" -eq "$2" ] || fail "at scale $1 --check exited $got, not $2: $(cat "$WORK/check.out")"
    say "scale $1: --check exits $got: $(cat "$WORK/check.out")"
}

# No notice of resampling in the program's output (at a 1:1 scale).
expect_no_notice() {
    ! grep -q '^vantrel: .*resampled' "$WORK/app.log" ||
        fail "at scale $1 the program printed a notice: $(cat "$WORK/app.log")"
}

# The raw RGB pixels of an image, as one checksum.
pixels_sum() { convert "$1" -depth 8 rgb:- 2>/dev/null | md5sum | cut -d' ' -f1; }

# Waits up to 10 s for the program's first window to have the focus.
wait_first_window() {
    i=0
    while [ -z "$(focused_rect)" ]; do
        running || fail "the program ended before its first window"
        i=$((i + 1))
        [ $i -ge 100 ] && fail "no window of the program appeared"
        sleep 0.1
    done
}

# Starts the program (with the given arguments) and closes the start-up
# window with a character key, leaving the pattern window (pattern 1) up
# and focused.
start_session() {
    start_app "$@"
    wait_first_window
    # The delays let wtype's virtual keyboard reach the client.
    timeout 10 wtype -s 1000 x -s 500 || fail "wtype could not type"
    sleep 1
    running || fail "the program ended after the start-up window"
}

# Still patterns only: every pattern but the moving ones.
still_patterns() {
    n=1
    while [ $n -le $COUNT ]; do
        case " $MOVING " in *" $n "*) ;; *) echo $n ;; esac
        n=$((n + 1))
    done
}

# ---- the exported pictures, made in the background -----------------------------
# export_in_background MODE [--pattern N-M]: renders the patterns at MODE into
# $WORK/export-MODE and writes the pixel checksum of each still one to
# $WORK/expected-MODE, then $WORK/export-MODE.done (holding the status).
export_in_background() {
    mode=$1
    shift
    (
        dir="$WORK/export-$mode"
        if timeout 150 "$BIN" --export "$dir" --size "$mode" "$@" >"$WORK/export-$mode.log" 2>&1; then
            for n in $(still_patterns); do
                file=$(printf '%s/pattern-%02d.png' "$dir" "$n")
                [ -f "$file" ] && echo "$n $(pixels_sum "$file")"
            done >"$WORK/expected-$mode"
            echo 0 >"$WORK/export-$mode.done"
        else
            echo 1 >"$WORK/export-$mode.done"
        fi
    ) &
    EXPORT_PIDS="$EXPORT_PIDS $!"
}
# await_export MODE: waits for it and fails if it failed.
await_export() {
    i=0
    while [ ! -s "$WORK/export-$1.done" ]; do
        i=$((i + 1))
        [ $i -ge 1800 ] && fail "the export at $1 did not finish"
        sleep 0.1
    done
    [ "$(cat "$WORK/export-$1.done")" = 0 ] || fail "the export at $1 failed: $(cat "$WORK/export-$1.log")"
}

# ---- a whole-number scale: every still pattern equals its export -------------
# check_exact MODE SCALE
check_exact() {
    mode=$1 scale=$2
    say "scale $scale on a $mode output"
    set_output "$mode" "$scale"
    start_session
    size=$(focused_size)
    say "pattern window: $size logical pixels"
    # F12, typed while the screenshots begin: the delays let the client bind
    # wtype's keyboard, so auto-play starts about a second from now.
    timeout 10 wtype -s 1000 -k F12 -s 500 &
    started=$(date +%s)
    expect_no_notice "$scale"
    # Screenshots as fast as they come while auto-play runs through every
    # pattern; one picture of each distinct screen is kept.
    : >"$WORK/shots"
    k=0
    while [ $(($(date +%s) - started)) -le $((COUNT + 2)) ]; do
        running || fail "the program ended during auto-play"
        shot="$WORK/shot-$k.ppm"
        timeout 10 grim -t ppm "$shot" 2>/dev/null || fail "grim failed"
        sum=$(tail -c "$(($(echo "$mode" | tr x '*') * 3))" "$shot" | md5sum | cut -d' ' -f1)
        if grep -q " $sum\$" "$WORK/shots"; then rm -f "$shot"; else echo "$k $sum" >>"$WORK/shots"; fi
        k=$((k + 1))
        sleep 0.2
    done
    stop_app
    say "$k screenshots, $(wc -l <"$WORK/shots") distinct"
    await_export "$mode"
    dir="$WORK/export-$mode"
    expected="$WORK/expected-$mode"
    [ "$(wc -l <"$expected")" -eq "$(still_patterns | wc -l)" ] || fail "the export at $mode lacks patterns"
    # The font sample's points resolve at the device's resolution, which an
    # export with --size (96 dpi) does not know: at other scales its picture
    # is exported from the screen itself.
    if [ "$scale" != 1 ]; then
        QT_QPA_PLATFORM=wayland timeout 60 "$BIN" --export "$WORK/screen-export" --pattern 64 \
            >"$WORK/screen-export.log" 2>&1 || fail "the export of pattern 64 from the screen failed"
        sed -i "s/^64 .*/64 $(pixels_sum "$WORK/screen-export/pattern-64.png")/" "$expected"
    fi

    bad=
    while read -r n sum; do
        grep -q " $sum\$" "$WORK/shots" || bad="$bad $n"
    done <"$expected"
    if [ -n "$bad" ]; then
        # How far the nearest screenshot is from the first pattern missed.
        first=${bad# }
        first=${first%% *}
        file=$(printf '%s/pattern-%02d.png' "$dir" "$first")
        best=
        for shot in "$WORK"/shot-*.ppm; do
            ae=$(compare -metric AE "$file" "$shot" null: 2>&1 | cut -d' ' -f1)
            [ -z "$best" ] || [ "${ae%.*}" -lt "${best%.*}" ] 2>/dev/null && best=$ae
        done
        fail "at scale $scale these still patterns never appeared pixel for pixel:$bad (pattern $first: nearest screenshot differs in $best pixels)"
    fi
    say "scale $scale: all $(wc -l <"$expected") still patterns equal their exports at $mode"
    rm -f "$WORK"/shot-*.ppm
}

# ---- a fractional scale: what Qt reports and what reaches the screen ----------
# record_fractional MODE SCALE: the export at MODE of patterns 1 to 3 must
# be ready (export_in_background MODE --pattern 1-3).
record_fractional() {
    mode=$1 scale=$2
    set_output "$mode" "$scale"
    screens=$(QT_QPA_PLATFORM=wayland timeout 30 "$BIN" --list-screens 2>&1 | tr -s ' \n' ' ')
    say "scale $scale on a $mode output: Qt reports: $screens"
    start_session
    say "scale $scale: pattern window $(focused_size) logical pixels"
    # Patterns 2 (colour bars) and 3 (the one-pixel edge frame), one second
    # each after F12.
    timeout 10 wtype -s 1000 -k F12 -s 500 || fail "wtype could not press F12"
    sleep 1
    timeout 10 grim -t ppm "$WORK/p2.ppm" || fail "grim failed"
    sleep 1
    timeout 10 grim -t ppm "$WORK/p3.ppm" || fail "grim failed"
    stop_app
    await_export "$mode"
    for n in 2 3; do
        ae=$(compare -metric AE "$WORK/export-$mode/pattern-0$n.png" "$WORK/p$n.ppm" null: 2>&1 | cut -d' ' -f1)
        say "scale $scale: the screen differs from the $mode export of pattern $n in $ae pixels"
    done
    check_splash_notice "$scale"
    check_verdict "$scale" 4
}

# check_splash_notice SCALE: before the first pattern, the program prints
# why the screen is not 1:1, and its start-up window shows it: white text
# on a dark box across the middle of the picture, which is dark there.
check_splash_notice() {
    scale=$1
    start_app
    wait_first_window
    sleep 1
    set -- $(focused_rect)
    timeout 10 grim -t ppm "$WORK/splash.ppm" || fail "grim failed"
    stop_app
    line=$(grep '^vantrel: .*resampled' "$WORK/app.log" | head -n 1)
    [ -n "$line" ] || fail "at scale $scale no notice line on stderr: $(cat "$WORK/app.log")"
    say "scale $scale: stderr: $line"
    # The middle of the start-up window (logical 40..360 x 90..230 of its
    # 400x301), in the screenshot's device pixels: the notice's dark box
    # makes it far darker than the picture is there, and its white text
    # leaves bright pixels in it.
    crop=$(awk -v x="$1" -v y="$2" -v s="$scale" 'BEGIN {
        printf "%dx%d+%d+%d", 320 * s, 140 * s, (x + 40) * s, (y + 90) * s }')
    bright=$(convert "$WORK/splash.ppm" -crop "$crop" +repage -colorspace Gray -threshold 80% \
        -format '%[fx:int(mean * 10000)]' info: 2>/dev/null)
    mean=$(convert "$WORK/splash.ppm" -crop "$crop" +repage -colorspace Gray \
        -format '%[fx:int(mean * 1000)]' info: 2>/dev/null)
    picture=$(convert "$(dirname "$0")/../../assets/splash.jpg" -crop 320x140+40+90 +repage -colorspace Gray \
        -format '%[fx:int(mean * 1000)]' info: 2>/dev/null)
    say "scale $scale: start-up window at $*; its middle ($crop): mean $mean/1000 (the picture's: $picture/1000), $bright/10000 text-bright"
    [ "${mean:-1000}" -lt "$((${picture:-0} / 2))" ] && [ "${bright:-0}" -ge 50 ] ||
        fail "at scale $scale the start-up window shows no notice in $crop"
}

# record_at MODE SCALE: a recording session on the output as it is set,
# ended by SIGTERM, records MODE as its mode and that the screen is not
# 1:1, with the reason.
record_at() {
    mode=$1 scale=$2
    start_session --record "$WORK/records" --panel WL-SCALED
    kill -TERM "$APP_PID"
    wait "$APP_PID"
    status=$?
    APP_PID=
    [ "$status" -eq 143 ] || fail "the recording session at scale $scale ended with status $status: $(cat "$WORK/app.log")"
    json=$(ls "$WORK"/records/WL-SCALED-*.json 2>/dev/null | head -n 1)
    [ -n "$json" ] || fail "the recording session at scale $scale wrote no record"
    grep -q "\"width\": ${mode%x*}\$" "$json" && grep -q "\"height\": ${mode#*x}," "$json" ||
        fail "the record at scale $scale does not hold the output's mode $mode: $(grep -A3 '"mode"' "$json")"
    grep -q '"oneToOne": false' "$json" || fail "the record at scale $scale does not say the screen is not 1:1"
    reason=$(sed -n 's/.*"oneToOneReason": "\(.*\)",$/\1/p' "$json")
    case $reason in *resampled*) ;; *) fail "the record at scale $scale gives no reason: '$reason'" ;; esac
    grep -q '^WL-SCALED: .*; WARNING: the screen did not show the patterns 1:1' "$WORK/app.log" ||
        fail "the summary line at scale $scale does not warn: $(cat "$WORK/app.log")"
    say "scale $scale: the record holds mode $mode, oneToOne false: $reason"
}

begin=$(date +%s)
export_in_background 1280x800
export_in_background 2560x1600
check_exact 1280x800 1
check_verdict 1 0
check_exact 2560x1600 2
check_verdict 2 0
rm -rf "$WORK/export-2560x1600" "$WORK/export-2560x1600.done"
export_in_background 2560x1600 --pattern 1-3
record_fractional 2560x1600 1.25
record_at 2560x1600 1.25
record_fractional 2560x1600 1.5
say "passed in $(($(date +%s) - begin)) s"
