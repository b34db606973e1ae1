#!/usr/bin/env bash
# The main command: sets up, builds, and runs the program. With a display the window opens for
# you; without one it runs on a virtual display and saves screenshots into out/screenshots.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
./scripts/setup.sh
./scripts/build.sh mingw-x86_64
source scripts/env.sh
demo_dir="$PWD/out/demo"
mkdir -p "$demo_dir" out/screenshots
cp "build/mingw-x86_64/bin/TarnVel Download Assistant.exe" "$demo_dir/"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$TARNVEL_WINE" "$demo_dir/TarnVel Download Assistant.exe"
fi
source scripts/virtual-display.sh
tarnvel_start_virtual_display
"$TARNVEL_WINE" "$demo_dir/TarnVel Download Assistant.exe" >/dev/null 2>&1 &
app=$!
for _ in $(seq 1 100); do
    xdotool search --name "Zemo" >/dev/null 2>&1 && break
    sleep 0.2
done
sleep 1
import -window root out/screenshots/page0.png
echo "demo: screenshot saved to out/screenshots/page0.png"
xdotool key Escape || true
wait "$app" || true
