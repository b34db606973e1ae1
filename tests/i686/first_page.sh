#!/usr/bin/env bash
# The i686 program in the 32-bit environment shows its first page: its window appears with its title
# and its size, and the screenshot of the display is kept. The window is also compared with the
# x86_64 suite's reference of that page (tests/e2e), with that suite's tolerance and rim.
#
#   first_page.sh <program exe> <simulated engine dll> <scratch folder> <screenshot png>
set -euo pipefail
"$(dirname "${BASH_SOURCE[0]}")/../../scripts/host-runs-i386.sh" >&2 || exit $? # 77: skipped
exe="$1" engine="$2" scratch="$3" shot="$4"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
rm -rf "$scratch" "$shot"
mkdir -p "$scratch"
cp "$exe" "$(dirname "$exe")/TarnVel Engine Host.exe" "$scratch/"
cp "$engine" "$scratch/dVarnok.dll"
title="Zemo手机升级助手"
# The pointer on the title background, as the x86_64 suite parks it.
TARNVEL_WINE32_SCREENSHOT="$shot" TARNVEL_WINE32_WINDOW="$title" TARNVEL_WINE32_POINTER="600 30" \
    "$root/scripts/wine32-run.sh" "$scratch" "${exe##*/}" | tee "$scratch/run.out"
echo "screenshot: $shot"
exec /usr/bin/python3 - "$scratch/run.out" "$shot" "$root/tests/e2e" <<'PY'
import sys
from pathlib import Path

from PIL import Image, ImageChops

run_out, shot, e2e = sys.argv[1:]
sys.path.insert(0, e2e)
import e2e  # the suite's reference pictures, tolerance and rim

place = [line.split()[1:] for line in Path(run_out).read_text().splitlines() if line.startswith("window ")]
if not place:
    sys.exit("FAILED: the program's window was not shown")
x, y, width, height = map(int, place[-1])
print("window at %d,%d, %dx%d" % (x, y, width, height))
if (width, height) != e2e.WINDOW_SIZE:
    sys.exit("FAILED: the window is %dx%d, not %dx%d" % ((width, height) + e2e.WINDOW_SIZE))
window = Image.open(shot).convert("RGB").crop((x, y, x + width, y + height))
reference = Image.open(e2e.REFERENCES / "page0_start.png")
count, bad = e2e.differing_pixels(window, reference, e2e.EDGE_BAND)
print("pixels differing from the x86_64 reference page0_start: %d (allowed %d)" % (count, e2e.ALLOWED_PIXELS))
if count > e2e.ALLOWED_PIXELS:
    window.save(Path(shot).with_suffix(".window.png"))
    sys.exit("FAILED: the first page differs from the x86_64 reference; see %s" % Path(shot).with_suffix(".window.png"))
PY
