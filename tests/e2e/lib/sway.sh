# A headless sway for the Wayland scripts, run as the unprivileged user
# 65534 (sway refuses root) with the pixman renderer and no input devices.
#
# start_sway MODE: starts it in $WORK (which that user must be able to
# read) with one output of MODE, e.g. 1280x800, and waits for its Wayland
# and IPC sockets. Sets SWAY_PID and SWAY_RUNTIME, exports SWAYSOCK and
# WAYLAND_DISPLAY (the socket's full path: root reaches it without sharing
# sway's runtime directory) and unsets DISPLAY. sway's output goes to
# $WORK/sway.log. stop_sway ends it; a script on lib/common.sh registers it
# with on_cleanup. Uses fail and say of the script.

SWAY_PID=

start_sway() {
    SWAY_RUNTIME="$WORK/sway-runtime"
    mkdir -m 700 "$SWAY_RUNTIME"
    chown 65534:65534 "$SWAY_RUNTIME" || fail "cannot hand the runtime directory to user 65534"
    cat >"$WORK/sway.conf" <<CONF
output HEADLESS-1 mode $1 scale 1
default_border none
default_floating_border none
xwayland disable
CONF
    chmod 644 "$WORK/sway.conf"
    (
        cd "$WORK" && exec env -i PATH="$PATH" XDG_RUNTIME_DIR="$SWAY_RUNTIME" WLR_BACKENDS=headless \
            WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
            setpriv --reuid=65534 --regid=65534 --clear-groups sway -c "$WORK/sway.conf"
    ) >"$WORK/sway.log" 2>&1 &
    SWAY_PID=$!
    SWAYSOCK=
    sway_wait=0
    while [ $sway_wait -lt 100 ]; do
        SWAYSOCK=$(ls "$SWAY_RUNTIME"/sway-ipc.*.sock 2>/dev/null | head -n 1)
        [ -n "$SWAYSOCK" ] && [ -S "$SWAY_RUNTIME/wayland-1" ] && break
        kill -0 "$SWAY_PID" 2>/dev/null || fail "sway ended at start-up"
        sleep 0.1
        sway_wait=$((sway_wait + 1))
    done
    [ -n "$SWAYSOCK" ] && [ -S "$SWAY_RUNTIME/wayland-1" ] || fail "sway did not open its sockets"
    WAYLAND_DISPLAY="$SWAY_RUNTIME/wayland-1"
    export SWAYSOCK WAYLAND_DISPLAY
    unset DISPLAY
    say "headless sway up (pid $SWAY_PID)"
}

stop_sway() {
    [ -n "$SWAY_PID" ] && kill "$SWAY_PID" 2>/dev/null && wait "$SWAY_PID" 2>/dev/null
    SWAY_PID=
}
