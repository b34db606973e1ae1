#!/usr/bin/env bash
# The main command: sets up, builds, and runs the program in out/demo with the simulated engine
# (as dVarnok.dll) and a sample package made by rzbpack. With a display the window opens for you;
# without one a whole upgrade runs on a virtual display, driven by real input (xdotool), and a
# screenshot of each step is saved into out/screenshots.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"
./scripts/setup.sh
./scripts/build.sh mingw-x86_64
source scripts/env.sh
bin="${TARNVEL_BUILD_ROOT:-$root/build}/mingw-x86_64/bin"
demo="$root/out/demo"
shots="$root/out/screenshots"

# Without a display of its own, the run goes on a virtual one, started before Wine is first used.
interactive=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    interactive=1
else
    source scripts/virtual-display.sh
    tarnvel_start_virtual_display
fi

# A fresh demo folder: the program, the simulated engine under the vendor's name, its scenario
# (the phone comes 3 s after verification, the copy takes about 8 s) and a sample package.
rm -rf "$demo"
mkdir -p "$demo" "$shots"
cp "$bin/TarnVel Download Assistant.exe" "$bin/TarnVel Engine Host.exe" "$demo/"
cp "$bin/tarnvel_sim_engine.dll" "$demo/dVarnok.dll"
printf '%s\n' '# What the simulated engine does in the demo (stand-ins/engine/README.md)' \
    'verify_ms=4000' 'arrival_ms=3000' 'speed_kbps=1024' >"$demo/dVarnok.scenario"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
package="$demo/ZM5512_V2.1.0.RZB"
"$TARNVEL_WINE" "$bin/rzbpack.exe" make "$(windows_path "$package")" --format 18 --model 5512QDS \
    --version "ZM5512_V2.1.0_20160226" --payload-size 8388608 >/dev/null
exe="$demo/TarnVel Download Assistant.exe"

if ((interactive)); then
    echo "demo: choose the package $(windows_path "$package") with the browse button (浏览)"
    exec "$TARNVEL_WINE" "$exe"
fi

rm -f "$shots"/*.png
"$TARNVEL_WINE" "$exe" >"$demo/wine.log" 2>&1 &
app=$!

fail() {
    echo "demo: $*" >&2
    kill "$app" 2>/dev/null || true
    exit 1
}
# Waits up to $2 seconds for a command to succeed.
wait_for() {
    local seconds=$2 i
    for i in $(seq 1 $((seconds * 10))); do
        eval "$1" && return 0
        sleep 0.1
    done
    return 1
}
log_has() { grep -aqF "$1" "$demo"/TextLog/*.log 2>/dev/null; }
title="Zemo手机升级助手"

# Shown, not only made: the window has its title before it is placed at the screen's centre.
wait_for 'xdotool search --onlyvisible --name "$title" >/dev/null 2>&1' 30 || fail "the window did not open"
window=$(xdotool search --onlyvisible --name "$title" | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y: the window's top-left corner
# Client coordinates lie inside a 1-pixel border.
click() { xdotool mousemove $((X + 1 + $1)) $((Y + 1 + $2)) click 1; }
# The window with its shadow (15 pixels left and right, 8 above, 22 below).
shot() {
    import -window root -crop "750x530+$((X - 15))+$((Y - 8))" +repage "$shots/$1.png"
    echo "demo: $shots/$1.png"
}

sleep 1.5
shot 1-choose-package
click 639 338 # the browse button (浏览)
wait_for 'xdotool search --name "^打开$" >/dev/null 2>&1' 15 || fail "the open-file dialog did not open"
sleep 0.5
shot 2-open-file-dialog
xdotool type --delay 10 "$(windows_path "$package")"
xdotool key Return
wait_for '! xdotool search --name "^打开$" >/dev/null 2>&1' 15 || fail "the open-file dialog did not close"
sleep 0.5
shot 3-package-chosen
click 600 471 # "ROM包校验"
sleep 1.5
shot 4-verifying
wait_for 'log_has "UCheckdataStatus:0, 2"' 60 || fail "the package was not verified"
sleep 1
shot 5-connect-phone
wait_for 'log_has "UTestStatus:0, 0, 1"' 30 || fail "the phone did not come"
sleep 4
shot 6-upgrading
wait_for 'log_has "UTestStatus:0, 0, 2"' 60 || fail "the upgrade did not finish"
sleep 3 # the engine reports the end 2 s after the write, then the page slides
shot 7-upgrade-succeeded
click 600 471 # "完成"
sleep 1
shot 8-ready-for-next-phone
xdotool key Escape
wait_for 'xdotool search --name "^提示$" >/dev/null 2>&1' 15 || fail "the close question did not appear"
sleep 0.5
shot 9-close-question
xdotool key Return # Yes
set +e
wait "$app"
code=$?
set -e
[ "$code" -eq 2 ] || fail "the program ended with $code instead of 2"
echo "demo: a whole upgrade ran; the engine's log is in $demo/TextLog"
