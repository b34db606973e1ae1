# Sourced after env.sh: a private Xvfb (with Composite, and xcompmgr so layered windows blend as on
# Windows) for the prefix of env.sh, and the prefix's Wine started on it; stops both when the
# calling script exits.
#
#   tarnvel_start_virtual_display [geometry]
#
# One run at a time uses a prefix: a lock beside it is held until the script exits. Holding it, a
# wineserver of the prefix can only be one left by a run that was killed, which keeps its desktop on
# that run's display (windows on this one would then lose their X window when dragged), so it is
# ended.
tarnvel_start_virtual_display() {
    local geometry="${1:-1920x1080x24}" ready number
    mkdir -p "${WINEPREFIX%/*}"
    exec {TARNVEL_PREFIX_LOCK}>"$WINEPREFIX.lock"
    flock "$TARNVEL_PREFIX_LOCK"
    "$TARNVEL_WINESERVER" -k >/dev/null 2>&1 || true
    "$TARNVEL_WINESERVER" -w >/dev/null 2>&1 || true
    # The server picks a free display itself and names it once it accepts connections.
    ready="$(mktemp -u)"
    mkfifo "$ready"
    Xvfb -displayfd 3 -screen 0 "$geometry" +extension Composite -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
    TARNVEL_XVFB_PID=$!
    trap tarnvel_stop_virtual_display EXIT
    read -r -t 30 number <"$ready" || true
    rm -f "$ready"
    if [ -z "${number:-}" ]; then
        echo "virtual display: Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$number"
    xcompmgr -n >/dev/null 2>&1 &
    TARNVEL_XCOMPMGR_PID=$!
    tarnvel_start_wine
}

tarnvel_stop_virtual_display() {
    "$TARNVEL_WINESERVER" -k >/dev/null 2>&1 || true
    [ -n "${TARNVEL_XCOMPMGR_PID:-}" ] && kill "$TARNVEL_XCOMPMGR_PID" 2>/dev/null
    [ -n "${TARNVEL_XVFB_PID:-}" ] && kill "$TARNVEL_XVFB_PID" 2>/dev/null
    true
}
