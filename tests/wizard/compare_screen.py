"""Compares a screenshot that a window test kept with its reference among the end-to-end suite's
pictures, with that suite's tolerance and rim; with TARNVEL_E2E_UPDATE_REFERENCES=1 the screenshot
becomes the reference.
    compare_screen.py <screenshot png> <reference name>
"""
import os
import shutil
import sys
from pathlib import Path

from PIL import Image

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import e2e  # noqa: E402  the suite's references, tolerance and rim

shot, name = Path(sys.argv[1]), sys.argv[2]
reference = e2e.REFERENCES / (name + ".png")
if not shot.exists():
    sys.exit("FAILED: no screenshot %s: the window test did not get that far" % shot)
if os.environ.get("TARNVEL_E2E_UPDATE_REFERENCES") == "1":
    shutil.copy(shot, reference)
    print("reference written: %s" % reference)
    sys.exit(0)
count, bad = e2e.differing_pixels(Image.open(shot).convert("RGB"), Image.open(reference), e2e.EDGE_BAND)
print("pixels differing from %s: %d (allowed %d)" % (reference.name, count, e2e.ALLOWED_PIXELS))
if count > e2e.ALLOWED_PIXELS:
    if bad is not None:
        bad.save(shot.with_name(shot.stem + "_difference.png"))
    sys.exit("FAILED: %s does not look like its reference" % shot)
