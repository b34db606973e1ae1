# Sourced: starts a private Xvfb (with Composite, and xcompmgr so layered windows blend as on
# Windows) and exports DISPLAY; stops it, and the wineserver, when the calling script exits.
tarnvel_start_virtual_display() {
    local geometry="${1:-1920x1080x24}" n
    # A wineserver left by an earlier run that was killed keeps its desktop on that run's display;
    # windows on this display would then lose their X window when dragged.
    "$TARNVEL_WINESERVER" -k >/dev/null 2>&1 || true
    "$TARNVEL_WINESERVER" -w >/dev/null 2>&1 || true
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 "$geometry" +extension Composite -nolisten tcp >/dev/null 2>&1 &
    TARNVEL_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 100); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    xcompmgr -n >/dev/null 2>&1 &
    TARNVEL_XCOMPMGR_PID=$!
    trap tarnvel_stop_virtual_display EXIT
}

tarnvel_stop_virtual_display() {
    "$TARNVEL_WINESERVER" -k >/dev/null 2>&1 || true
    [ -n "${TARNVEL_XCOMPMGR_PID:-}" ] && kill "$TARNVEL_XCOMPMGR_PID" 2>/dev/null
    [ -n "${TARNVEL_XVFB_PID:-}" ] && kill "$TARNVEL_XVFB_PID" 2>/dev/null
    true
}
