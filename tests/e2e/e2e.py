#!/usr/bin/python3
"""End-to-end tests of "TarnVel Download Assistant.exe" under wine64 on an X display.

Each case makes a scratch folder with the program, the simulated engine as dVarnok.dll, a
scenario and a package made by rzbpack, starts the program, drives it with real X input
(xdotool), compares screenshots of the window with the images in reference/, reads captions and
message box texts through the probe, waits for the exit code and checks the engine's log files.

    e2e.py <case> --bin DIR --exe EXE --engine DLL --rzbpack EXE --probe EXE --counter DLL
           --scratch DIR [--minimal-dialog EXE] [--update-references]

CTest runs one case per test (tests/e2e/CMakeLists.txt) inside scripts/run-tests.sh, which gives
DISPLAY (a private Xvfb 1920x1080 with xcompmgr); scripts/env.sh fixes the locale (zh_CN.UTF-8)
whatever the caller's. --update-references, or
TARNVEL_E2E_UPDATE_REFERENCES=1 in the environment, writes the screenshots as the new references
instead of comparing (see README.md).
"""
import argparse
import json
import math
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

from PIL import Image, ImageChops, ImageGrab

import xdnd_drop

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
REFERENCES = HERE / "reference"
TITLE = "Zemo手机升级助手"
HOST = "TarnVel Engine Host.exe"  # the engine runs in it, beside the program
WINDOW_SIZE = (720, 500)
PACKAGE_DRIVE = "t:"  # a drive letter for the scratch folder: the same typed path on every machine
PACKAGE_PATH = "T:\\pkg.rzb"
PAYLOAD = 1048576

# Control ids.
CLOSE, BACK, NEXT = 2, 1003, 1004
PATH_BOX, BROWSE, COMMUNITY_LINK = 2002, 2011, 1011
LOG_LINK = 2040  # under the result: the run's log in the file manager
ROM_VERSION = 2019  # the chosen package's version text
IDOK, IDYES, IDNO = 1, 6, 7

# Screenshot comparison: a pixel differs when a channel is off by more than CHANNEL_TOLERANCE
# (anti-aliased edges move by less); an image matches when at most ALLOWED_PIXELS differ.
CHANNEL_TOLERANCE = 48
ALLOWED_PIXELS = 24

# Regions that change by themselves, in window coordinates (left, top, right, bottom). The
# spinner character follows the lines 2006 and 2009; the verification percentage counts on
# a timer while the engine checks the package.
SPINNER_PREPARE = (332, 196, 344, 214)
PERCENT_PREPARE = (618, 196, 664, 220)
BAR_START_PREPARE = (272, 221, 290, 246)
SPINNER_UPGRADE = (314, 323, 326, 341)
EDGE_BAND = [(0, 0, 720, 6), (0, 494, 720, 500), (0, 0, 6, 500), (714, 0, 720, 500)]
MASKS = {
    "page1_verifying": [SPINNER_PREPARE, PERCENT_PREPARE, BAR_START_PREPARE],
    "page1_upgrading": [SPINNER_UPGRADE],
}


class Failure(Exception):
    pass


def log(message):
    print(message, flush=True)


def figure(message):
    """A measured figure for the lead: printed, never asserted."""
    print("FIGURE: " + message, flush=True)


def wait_for(condition, timeout, what, interval=0.02):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def wine_environment():
    """The environment scripts/env.sh sets up: WINEPREFIX, WINEDEBUG, the wine binary."""
    out = subprocess.run(
        ["bash", "-c", 'source "$1" && env -0', "env", str(ROOT / "scripts" / "env.sh")],
        check=True, capture_output=True).stdout
    env = dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)
    return env


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Probe:
    """The Windows helper that reads window state inside Wine (probe.cpp)."""

    def __init__(self, case):
        self.case = case
        self.process = case.spawn([case.wine, case.args.probe], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.buffer = b""

    def ask(self, command, timeout=30):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()
        return self.answer(timeout)

    def send(self, command):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()

    def answer(self, timeout=30):
        deadline = time.monotonic() + timeout
        fd = self.process.stdout.fileno()
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise Failure("the probe did not answer")
            chunk = os.read(fd, 65536)
            if not chunk:
                raise Failure("the probe ended")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line.decode())

    def close(self):
        try:
            self.send("quit")
            self.process.wait(timeout=5)
        except Exception:
            pass


class Screen:
    @staticmethod
    def grab(box):
        left, top, right, bottom = box
        return ImageGrab.grab(bbox=(left, top, right, bottom), xdisplay=os.environ["DISPLAY"]).convert("RGB")

    @staticmethod
    def size():
        return ImageGrab.grab(xdisplay=os.environ["DISPLAY"]).size


def xdo(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True)


def differing_pixels(actual, reference, masks):
    """How many pixels differ beyond the tolerance outside the masks, and a picture of them."""
    if actual.size != reference.size:
        return actual.size[0] * actual.size[1], None
    r, g, b = ImageChops.difference(actual, reference.convert("RGB")).split()
    worst = ImageChops.lighter(ImageChops.lighter(r, g), b)
    for box in masks:
        worst.paste(0, box)
    bad = worst.point(lambda v: 255 if v > CHANNEL_TOLERANCE else 0)
    return bad.histogram()[255], bad


class Case:
    """One test run: the scratch folder, the processes it started, the helpers to drive them."""

    def __init__(self, args):
        self.args = args
        self.scratch = Path(args.scratch).resolve()
        self.env = wine_environment()
        self.wine = self.env["TARNVEL_WINE"]
        self.processes = []
        self.app = None
        self.probe = None
        self.hwnd = 0
        self.origin = (0, 0)
        self.written = set()  # references written in this run: later uses compare with them
        self.dpi = 96
        self.own_server = False  # a prefix of its own, whose server ends with the case

    # --- the screen's dpi ----------------------------------------------------------------------

    def use_dpi(self, dpi):
        """Runs the program in the prefix made for that dpi (scripts/wine-prefix.sh), with a
        wineserver of its own; before prepare()."""
        self.dpi = dpi
        self.use_prefix(str(dpi))

    def use_english_windows(self):
        """Runs the program in the prefix of a Windows that is not Chinese: display language
        English, code page 1252 (scripts/wine-prefix.sh); before prepare()."""
        self.env.update(LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8", TARNVEL_LOCALE="en_US.UTF-8",
                        TARNVEL_WINE_LOCALE="en_US.UTF-8")
        self.use_prefix("en")

    def use_prefix(self, suffix):
        self.env["WINEPREFIX"] = "%s-%s" % (wine_environment()["WINEPREFIX"], suffix)
        if not (Path(self.env["WINEPREFIX"]) / "system.reg").exists():
            raise Failure("no Wine prefix at %s (scripts/wine-prefix.sh makes it)" % self.env["WINEPREFIX"])
        # As for the main prefix: the server and Wine's own processes start with their output going
        # nowhere, or they would hold the pipes of the commands run later.
        subprocess.run([str(ROOT / "scripts" / "start-wine.sh")],
                       env=dict(self.env, TARNVEL_WINEPREFIX=self.env["WINEPREFIX"]),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=False, timeout=240)
        self.own_server = True

    def px(self, value):
        """A coordinate of the 96-dpi layout at the case's dpi, halves rounded up as the program does."""
        return math.floor(value * self.dpi / 96 + 0.5)

    def scaled(self, box):
        return tuple(self.px(v) for v in box)

    def reference_name(self, name):
        return name if self.dpi == 96 else "%s_%d" % (name, self.dpi)

    # --- set-up and tear-down ----------------------------------------------------------------

    def prepare(self, scenario, package=True, model="5512QDS", version="V2.6.1_e2e"):
        if self.scratch.exists():
            shutil.rmtree(self.scratch)
        self.scratch.mkdir(parents=True)
        shutil.copy(self.args.exe, self.scratch / Path(self.args.exe).name)
        shutil.copy(self.args.engine, self.scratch / "dVarnok.dll")
        shutil.copy(Path(self.args.exe).parent / HOST, self.scratch / HOST)
        (self.scratch / "dVarnok.scenario").write_text(
            "# written by the end-to-end test\ntrace=trace.txt\n" + scenario, encoding="utf-8")
        if package:
            self.run_windows([self.args.rzbpack, "make", "pkg.rzb", "--format", "16", "--model", model,
                              "--version", version, "--payload-size", str(PAYLOAD), "--seed", "7"])
        drive = Path(self.env["WINEPREFIX"]) / "dosdevices" / PACKAGE_DRIVE
        if drive.is_symlink() or drive.exists():
            drive.unlink()
        drive.symlink_to(self.scratch)
        self.probe = Probe(self)

    def spawn(self, command, **kwargs):
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        process = subprocess.Popen([str(c) for c in command], cwd=self.scratch, env=self.env, **kwargs)
        self.processes.append(process)
        return process

    def run_windows(self, command):
        result = subprocess.run([self.wine] + [str(c) for c in command], cwd=self.scratch, env=self.env,
                                capture_output=True, timeout=60)
        if result.returncode != 0:
            raise Failure("%s failed: %s" % (command[0], result.stderr.decode(errors="replace")))

    def cleanup(self):
        if self.probe:
            self.probe.close()
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait(timeout=10)
        # Programs the assistant started itself (the batch file that clears MTK_Log) run in its
        # folder: end any that are left.
        for pid in self.leftover_pids():
            try:
                os.kill(pid, signal.SIGKILL)
                log("killed leftover process %d" % pid)
            except ProcessLookupError:
                pass
        drive = Path(self.env["WINEPREFIX"]) / "dosdevices" / PACKAGE_DRIVE
        if drive.is_symlink() and Path(os.readlink(drive)) == self.scratch:
            drive.unlink()
        if self.own_server:
            subprocess.run([self.env["TARNVEL_WINESERVER"], "-k"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)

    def leftover_pids(self):
        pids = []
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit() or int(entry.name) == os.getpid():
                continue
            try:
                cwd = Path(os.readlink(entry / "cwd"))
            except OSError:
                continue
            if cwd == self.scratch or self.scratch in cwd.parents:
                pids.append(int(entry.name))
        return pids

    # --- the program -------------------------------------------------------------------------

    def start(self, first_page="page0_start"):
        """Starts the program; returns once its first page is fully painted (looks like its
        reference, or when there is none for it, has stopped changing)."""
        exe = self.scratch / Path(self.args.exe).name
        started = time.monotonic()
        self.app = self.spawn([self.wine, exe], stdout=open(self.scratch / "app.out", "wb"),
                              stderr=subprocess.STDOUT)

        def window():
            if self.app.poll() is not None:
                raise Failure("the program ended at start with exit code %d" % self.app.returncode)
            found = self.probe.ask("main")
            return found if found["hwnd"] and found["shown"] else None

        found = wait_for(window, 30, "the main window")
        shown = time.monotonic()
        self.hwnd = found["hwnd"]
        self.origin = (found["rect"][0], found["rect"][1])
        self.park_mouse()
        if first_page:
            self.expect_screen(first_page, timeout=15)
        else:
            self.settled(self.window_box(), EDGE_BAND)
        painted = time.monotonic()
        figure("start to main window %.0f ms, to first page fully painted %.0f ms (screenshot polling)"
               % ((shown - started) * 1000, (painted - started) * 1000))

    def shadow_below(self):
        order = [w["class"] for w in self.top_windows() if w["class"] in ("#32770", "CThemedShadowWnd")]
        return order.index("#32770") < order.index("CThemedShadowWnd")

    def wait_exit(self, timeout=20):
        try:
            return self.app.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %d s" % timeout)

    def window_rect(self):
        return tuple(self.probe.ask("main")["rect"])

    def unix_pid(self, name):
        """The Linux process that runs the Windows program of that file name from the scratch
        folder (Wine shows the Windows command line as the process's arguments)."""
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                cwd = Path(os.readlink(entry / "cwd"))
                arguments = (entry / "cmdline").read_bytes().decode(errors="replace")
            except OSError:
                continue
            if name in arguments and (cwd == self.scratch or self.scratch in cwd.parents):
                return int(entry.name)
        return None

    # --- window state through the probe ------------------------------------------------------

    def controls(self, hwnd=None):
        return self.probe.ask("children %d" % (hwnd or self.hwnd))

    def control(self, control_id, hwnd=None):
        for control in self.controls(hwnd):
            if control["id"] == control_id and (hwnd or control["parent"] == self.hwnd or control_id >= 2000):
                return control
        raise Failure("no control %d" % control_id)

    def strip_x(self):
        views = {c["hwnd"]: c for c in self.controls()}
        for c in views.values():
            if c["class"] == "TarnvelAssistantDownloadView":
                return c["rect"][0] - views[c["parent"]]["rect"][0]
        raise Failure("no status view")

    def buttons(self):
        state = {}
        for c in self.controls():
            if c["parent"] == self.hwnd and c["id"] in (BACK, NEXT):
                state[c["id"]] = (c["text"], c["shown"], c["enabled"])
        return state

    def wait_page(self, page, next_caption, timeout=10):
        """Waits until the slide to the page has ended and the buttons show the page's row."""
        expected = {
            0: {BACK: ("上一步", False, False), NEXT: (next_caption, True, True)},
            1: {BACK: ("上一步", True, False), NEXT: ("完成", True, False)},
            2: {BACK: ("上一步", False, False), NEXT: ("完成", True, True)},
        }[page]

        def arrived():
            return self.strip_x() == -self.px(720) * page and self.buttons() == expected

        try:
            wait_for(arrived, timeout, "page %d" % page)
        except Failure:
            raise Failure("page %d not reached: strip at %d, buttons %s, expected %s"
                          % (page, self.strip_x(), self.buttons(), expected))

    def wait_button(self, control_id, shown, enabled, timeout=10, what=None):
        def matches():
            state = self.buttons()[control_id]
            return state[1] == shown and state[2] == enabled

        wait_for(matches, timeout, what or "button %d shown=%s enabled=%s" % (control_id, shown, enabled))

    def top_windows(self):
        return self.probe.ask("top")

    def dialog(self, title, timeout=10):
        def find():
            for w in self.top_windows():
                if w["title"] == title and w["class"] == "#32770" and w["shown"]:
                    return w
            return None

        return wait_for(find, timeout, 'the window "%s"' % title)

    def wait_dialog_gone(self, hwnd, timeout=10):
        wait_for(lambda: all(w["hwnd"] != hwnd or not w["shown"] for w in self.top_windows()), timeout,
                 "the dialog to close")

    def message_box(self, caption, text):
        box = self.dialog(caption)
        texts = [c["text"] for c in self.controls(box["hwnd"]) if c["class"].lower() == "static"]
        if text not in texts:
            raise Failure('message box "%s" shows %s, expected "%s"' % (caption, texts, text))
        if box["owner"] != self.hwnd:
            raise Failure('message box "%s" is not owned by the main window' % caption)
        return box

    # --- input -------------------------------------------------------------------------------

    def park_mouse(self):
        """Moves the pointer onto the title background, where no control is drawn hovered. The X
        server has no window manager, so the keyboard goes to the window under the pointer."""
        xdo("mousemove", self.origin[0] + self.px(600), self.origin[1] + self.px(30))

    @staticmethod
    def centre(rect):
        return ((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)

    def click_rect(self, rect, park=True, hold=0.0):
        x, y = self.centre(rect)
        xdo("mousemove", x, y)
        if hold:
            # Held long enough for the probe, polling the button state, to see press and release.
            xdo("mousedown", 1)
            time.sleep(hold)
            xdo("mouseup", 1)
        else:
            xdo("click", 1)
        if park:
            self.park_mouse()

    def click_control(self, control_id, hwnd=None, park=True, hold=0.0):
        self.click_rect(self.control(control_id, hwnd)["rect"], park, hold)

    def answer_box(self, box, button_id):
        self.click_control(button_id, box["hwnd"])
        self.wait_dialog_gone(box["hwnd"])

    def drop_package(self):
        """Drags the package from an X client onto the path box."""
        x, y = self.centre(self.control(PATH_BOX)["rect"])
        xdnd_drop.drop_files(os.environ["DISPLAY"], x, y, [self.scratch / "pkg.rzb"])
        wait_for(lambda: self.path_box_text() == PACKAGE_PATH, 5, "the dropped package in the path box")

    def browse(self, typed=PACKAGE_PATH):
        """Picks the package through the open-file dialog by typing its path."""
        self.click_control(BROWSE)
        dialog = self.dialog("打开")
        controls = self.controls(dialog["hwnd"])
        types = [c["text"] for c in controls if c["class"] == "ComboBox"]
        if "RZB file(*.RZB)" not in types:
            raise Failure("the open dialog offers %s, not the RZB filter first" % types)
        name_field = [c for c in controls if c["class"] == "Edit" and c["shown"]]
        if not name_field:
            raise Failure("the open dialog has no file name field")
        self.click_rect(name_field[0]["rect"])
        xdo("type", "--delay", 15, typed)
        wait_for(lambda: self.controls(dialog["hwnd"]) and
                 any(c["hwnd"] == name_field[0]["hwnd"] and c["text"] == typed for c in self.controls(dialog["hwnd"])),
                 5, "the typed path in the file name field")
        xdo("key", "Return")
        self.wait_dialog_gone(dialog["hwnd"])
        wait_for(lambda: self.path_box_text() == PACKAGE_PATH, 5, "the path in the path box")

    def focus(self):
        """The control with the keyboard focus: id and class."""
        found = self.probe.ask("focus")
        return found["id"], found["class"]

    def expect_focus(self, control_id, what):
        try:
            wait_for(lambda: self.focus()[0] == control_id, 5, what)
        except Failure:
            raise Failure("%s: the focus is on %s" % (what, self.focus()))

    def path_box_text(self):
        for c in self.controls():
            if c["class"] == "Edit":
                return c["text"]
        return None

    # --- screenshots -------------------------------------------------------------------------

    def window_box(self):
        left, top = self.origin
        return (left, top, left + self.px(WINDOW_SIZE[0]), top + self.px(WINDOW_SIZE[1]))

    def expect_screen(self, name, box=None, timeout=8, masks=None):
        """Polls until the window (or box) looks like the reference; saves the evidence if not.
        The window's outer rim is left out: how the shadow's X window stacks against the main
        window before the first drag depends on the X server (without a window manager Wine may
        leave the shadow over the rim); e2e_drag_moves_window checks the whole window after a drag.
        """
        if masks is None:
            masks = MASKS.get(name, []) + ([] if box or name == "page0_moved" else EDGE_BAND)
            masks = [self.scaled(mask) for mask in masks]
        box = box or self.window_box()
        name = self.reference_name(name)
        reference_file = REFERENCES / (name + ".png")
        if self.args.update_references and name not in self.written:
            self.written.add(name)
            image = self.settled(box, masks)
            REFERENCES.mkdir(exist_ok=True)
            image.save(reference_file)
            log("reference written: %s" % reference_file)
            return
        if not reference_file.exists():
            raise Failure("no reference image %s (make it with --update-references)" % reference_file)
        reference = Image.open(reference_file)
        deadline = time.monotonic() + timeout
        while True:
            actual = Screen.grab(box)
            count, bad = differing_pixels(actual, reference, masks)
            if count <= ALLOWED_PIXELS:
                return
            if time.monotonic() > deadline:
                break
            time.sleep(0.05)
        failures = self.scratch / "screens"
        failures.mkdir(exist_ok=True)
        actual.save(failures / (name + ".actual.png"))
        if bad is not None:
            bad.save(failures / (name + ".diff.png"))
        raise Failure("the screen differs from reference %s in %d pixels (box %s); see %s"
                      % (name, count, bad.getbbox() if bad else None, failures))

    @staticmethod
    def settled(box, masks, timeout=5):
        """A screenshot taken once two in a row, 300 ms apart, agree."""
        previous = Screen.grab(box)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            time.sleep(0.3)
            current = Screen.grab(box)
            if differing_pixels(current, previous, masks)[0] == 0:
                return current
            previous = current
        return previous

    # --- the engine's files ------------------------------------------------------------------

    def cell_logs(self):
        folder = self.scratch / "TextLog"
        files = sorted(folder.glob("*.log")) if folder.exists() else []
        for f in files:
            if not re.fullmatch(r"CELL0 \d{4}-\d\d-\d\d \d\d_\d\d_\d\d\.log", f.name):
                raise Failure("unexpected log file name %s" % f.name)
        return files

    @staticmethod
    def log_lines(path):
        data = path.read_bytes()
        text = data.decode("gbk")  # the cell log's code page (936) on every machine
        if text and not text.endswith("\r\n"):
            raise Failure("%s does not end with CR LF" % path.name)
        lines = text.split("\r\n")[:-1] if text else []
        for line in lines:
            if not re.fullmatch(r"\d\d:\d\d:\d\d:\d\d\d\t(提示|警告|错误):.*", line):
                raise Failure("malformed log line in %s: %r" % (path.name, line))
        return [line.split("\t", 1)[1] for line in lines]

    @staticmethod
    def expect_lines(lines, expected, name):
        """The expected lines (regular expressions) appear in this order."""
        position = 0
        for pattern in expected:
            while position < len(lines) and not re.fullmatch(pattern, lines[position]):
                position += 1
            if position == len(lines):
                raise Failure("log %s lacks a line matching %r after the earlier ones; it holds:\n  %s"
                              % (name, pattern, "\n  ".join(lines)))
            position += 1

    def trace(self):
        path = self.scratch / "trace.txt"
        return path.read_text(encoding="utf-8").splitlines() if path.exists() else []

    def expect_trace(self, expected):
        self.expect_lines(self.trace(), expected, "trace.txt")


# --- expected log contents ---------------------------------------------------------------------

VERIFY_PASSED = [
    r"提示:HNDA:USendMsgInfo:0, 2, Verify: checking package, T:\\pkg\.rzb",
    r"提示:HNDA:USendMsgInfo:0, 3, Verify: 100%, ",
    r"提示:HNDA:UCheckdataStatus:0, 2, Verify data file OK!",
]
UPGRADE_STARTED = [
    r"提示:HNDA:UMonitorStatus:0, 1, COM10",
    r"提示:HNDA:USendMsgInfo:0, 2, Phone connected on COM10, 5512Q",
    r"提示:HNDA:UTestStatus:0, 0, 1",
]
UPGRADE_PASSED = UPGRADE_STARTED + [
    r"提示:HNDA:UShowProgress:0, %d, %d" % (PAYLOAD, PAYLOAD // 2),
    r"提示:HNDA:UShowProgress:0, %d, %d" % (PAYLOAD, PAYLOAD),
    r"提示:HNDA:USendMsgInfo:0, 2, Download complete, .*\\phone0\.bin",
    r"提示:HNDA:UTestStatus:0, 0, 2",
    r"提示:HNDA:UMonitorStatus:0, 0, COM10",
]
ENGINE_STARTED = [
    r"InitDownloadObj path=T:\\pkg\.rzb model=5512Q extra= settings=2,3,1,0 switches=1111111",
    r"VerifyDataofRZB",
]
ENGINE_RELEASED = [r"ReleaseDownloadObj runs_alive=0", r"unloaded"]

# A download that shows 50 % for five seconds: two pieces of 512 KiB at 100 KiB/s.
SLOW_UPGRADE = "arrival_ms=1500\nspeed_kbps=100\nchunk_kb=512\n"


def close_with_yes(case, how="button"):
    """Asks to close (close button or Escape), answers Yes, expects the exit code 2."""
    if how == "escape":
        xdo("key", "Escape")
    else:
        case.click_control(CLOSE)
    box = case.message_box("提示", "确定要关闭吗？")
    case.click_control(IDYES, box["hwnd"])
    code = case.wait_exit()
    if code != 2:
        raise Failure("exit code %d after Yes, expected 2" % code)


def expect_phone_written(case):
    phone = (case.scratch / "phone0.bin").read_bytes()
    payload = (case.scratch / "pkg.rzb").read_bytes()[-PAYLOAD:]
    if phone != payload:
        raise Failure("the phone's storage does not hold the package's payload")


# --- the cases ---------------------------------------------------------------------------------

def expect_centred(case):
    screen_w, screen_h = Screen.size()
    width, height = case.px(WINDOW_SIZE[0]), case.px(WINDOW_SIZE[1])
    expected = ((screen_w - width) // 2, (screen_h - height) // 2)
    rect = case.window_rect()
    if rect != (expected[0], expected[1], expected[0] + width, expected[1] + height):
        raise Failure("window at %s on a %dx%d screen, expected %dx%d at the centre %s"
                      % (rect, screen_w, screen_h, width, height, expected))


def case_upgrade_success(case):
    """Browse, verify, wait, upgrade, success, "完成" back to page 0, close."""
    case.prepare("verify_ms=3000\n" + SLOW_UPGRADE)
    case.start()
    expect_centred(case)
    buttons = case.buttons()
    if buttons[BACK][:2] != ("上一步", False) or buttons[NEXT] != ("ROM包校验", True, True):
        raise Failure("buttons at start: %s" % buttons)
    walk_through_an_upgrade(case)


def walk_through_an_upgrade(case):
    """From the first page, nothing chosen, through a whole upgrade back to the first page; checks
    each page's screen, the log, the phone and the engine's trace, then closes."""
    case.browse()
    case.expect_screen("page0_chosen")

    case.click_control(NEXT)
    case.wait_page(1, None)
    case.expect_screen("page1_verifying")
    if case.cell_logs() == []:
        raise Failure("no cell log opened when verification started")

    case.wait_button(BACK, True, True, what="the back button enabled when verification passed")
    case.expect_screen("page1_waiting")

    case.wait_button(BACK, True, False, what="the back button disabled when the upgrade began")
    case.expect_screen("page1_upgrading")

    case.wait_page(2, None, timeout=20)
    case.expect_screen("page2_success")

    case.click_control(NEXT)
    case.wait_page(0, "升级包校验")
    case.expect_screen("page0_again")

    logs = case.cell_logs()
    if len(logs) != 1:
        raise Failure("expected one cell log, found %s" % [f.name for f in logs])
    case.expect_lines(case.log_lines(logs[0]), VERIFY_PASSED + UPGRADE_PASSED, logs[0].name)
    expect_phone_written(case)
    case.expect_trace(ENGINE_STARTED + ["VerifyDataofRZB status=2", "DownloadRun reserved=0",
                                        "DownloadRun returned", "DownloadStop"])
    close_with_yes(case)
    case.expect_trace(ENGINE_RELEASED)


def case_upgrade_at_144_dpi(case):
    """At 144 dpi (a prefix of its own): the window 1080 x 750 at the centre, the controls at 1.5
    times their places, each page as its reference at that dpi, through a whole upgrade."""
    case.use_dpi(144)
    case.prepare("verify_ms=3000\n" + SLOW_UPGRADE)
    case.start()
    expect_centred(case)
    left, top = case.origin[0] + 1, case.origin[1] + 1  # the client area, inside the 1-pixel border
    # Places in their parents at 96 dpi, and the parents' places in the window (the pages' container).
    for control_id, parent, place in ((NEXT, (0, 0), (530, 450, 670, 492)), (CLOSE, (0, 0), (658, 0, 718, 60)),
                                      (BROWSE, (2, 104), (614, 219, 660, 249))):
        rect = tuple(case.control(control_id)["rect"])
        origin = (left + case.px(parent[0]), top + case.px(parent[1]))
        expected = tuple(v + origin[i % 2] for i, v in enumerate(case.scaled(place)))
        if rect != expected:
            raise Failure("control %d at %s, expected %s" % (control_id, rect, expected))
    walk_through_an_upgrade(case)


def case_first_page_at_192_dpi(case):
    """At 192 dpi: the window 1440 x 1000 at the centre, the first page as its reference."""
    case.use_dpi(192)
    case.prepare("")
    case.start()
    expect_centred(case)
    close_with_yes(case)


def case_verify_failure(case):
    """A package whose payload is damaged fails verification: page 2 with the help lines. A
    second try fails the same way and writes a log of its own."""
    case.prepare("verify_ms=500\n")
    package = case.scratch / "pkg.rzb"
    data = bytearray(package.read_bytes())
    data[-1000] ^= 0xFF
    package.write_bytes(bytes(data))
    case.start()
    case.browse()
    case.click_control(NEXT)
    case.wait_page(1, None)
    case.wait_page(2, None, timeout=15)
    case.expect_screen("page2_verify_failed")
    logs = case.cell_logs()
    if len(logs) != 1:
        raise Failure("expected one cell log, found %s" % [f.name for f in logs])
    lines = case.log_lines(logs[0])
    case.expect_lines(lines, [
        r"提示:HNDA:USendMsgInfo:0, 2, Verify: checking package, T:\\pkg\.rzb",
        r"错误:HNDA:USendMsgInfo:0, 0, Verify: failed, payload checksum mismatch",
        r"错误:HNDA:UCheckdataStatus:0, 3, payload checksum mismatch",
    ], logs[0].name)
    if any("UTestStatus" in line or "UMonitorStatus" in line for line in lines):
        raise Failure("a download was reported after a failed verification")
    if "DownloadRun reserved=0" in case.trace():
        raise Failure("the download was started after a failed verification")
    case.click_control(NEXT)
    case.wait_page(0, "升级包校验")

    time.sleep(1.1)  # log files are named by the second
    case.click_control(NEXT)
    case.wait_page(2, None, timeout=15)
    logs = case.cell_logs()
    if len(logs) != 2:
        raise Failure("two failed verifications left the logs %s, expected two" % [f.name for f in logs])
    for path in logs:
        lines = case.log_lines(path)
        if any("忽略" in line for line in lines):
            raise Failure("%s holds the refused opening of an open log" % path.name)
        case.expect_lines(lines, [r"错误:HNDA:UCheckdataStatus:0, 3, payload checksum mismatch"], path.name)
    case.click_control(NEXT)
    case.wait_page(0, "升级包校验")
    close_with_yes(case, "escape")
    case.expect_trace(ENGINE_RELEASED)


def case_upgrade_failure(case):
    """The phone fails at 40 %: page 2 says the upgrade failed, the log has the error."""
    case.prepare("verify_ms=200\narrival_ms=300\nspeed_kbps=1024\nchunk_kb=64\noutcome=fail\nfail_at=40\n")
    case.start()
    case.browse()
    case.click_control(NEXT)
    case.wait_page(1, None)
    case.wait_page(2, None, timeout=20)
    case.expect_screen("page2_upgrade_failed")
    logs = case.cell_logs()
    if len(logs) != 1:
        raise Failure("expected one cell log, found %s" % [f.name for f in logs])
    case.expect_lines(case.log_lines(logs[0]), VERIFY_PASSED + UPGRADE_STARTED + [
        r"提示:HNDA:UShowProgress:0, %d, %d" % (PAYLOAD, 64 * 1024),
        r"错误:HNDA:USendMsgInfo:0, 0, Download failed, write error at 43%",
        r"错误:HNDA:UTestStatus:0, 3, 3",  # the log closes with it: what the engine says next is not kept
    ], logs[0].name)
    case.click_control(NEXT)
    case.wait_page(0, "升级包校验")
    close_with_yes(case)


def case_no_phone_hints(case):
    """A phone that never comes, with an engine whose DownloadStop never returns: the hints for a
    phone not found show 30 s after the verification passed and not before; Back takes them away;
    the close still ends within a few seconds of Yes."""
    case.prepare("verify_ms=300\noutcome=never\nstop_hangs=1\n")
    case.start()
    case.browse()
    case.click_control(NEXT)
    case.wait_page(1, None)
    case.wait_button(BACK, True, True, what="the back button enabled when verification passed")
    passed = time.monotonic()
    case.expect_screen("page1_waiting")
    time.sleep(max(0.0, passed + 27 - time.monotonic()))
    case.expect_screen("page1_waiting", timeout=0.2)  # 27 s in: no hints yet
    time.sleep(max(0.0, passed + 30 - time.monotonic()))
    case.expect_screen("page1_no_phone")
    case.click_control(BACK)
    case.wait_page(0, "升级包校验")
    case.click_control(NEXT)
    case.wait_button(BACK, True, True, what="the back button enabled after the second verification")
    case.expect_screen("page1_waiting")  # a new wait starts without them
    case.click_control(CLOSE)
    box = case.message_box("提示", "确定要关闭吗？")
    said_yes = time.monotonic()
    case.click_control(IDYES, box["hwnd"])
    code = case.wait_exit()
    took = time.monotonic() - said_yes
    log("figure: the close took %.1f s after Yes with an engine hung in DownloadStop" % took)
    if code != 2:
        raise Failure("exit code %d after Yes, expected 2" % code)
    # The program throws the engine away 2 s after it began to stop it; the rest is Wine's.
    if took > 6:
        raise Failure("the close took %.1f s after Yes" % took)


def case_drop_package(case):
    """The package dragged from an X client onto the first page (Wine turns an XDND drop into
    WM_DROPFILES): taken as if chosen with "浏览", then verified and written."""
    case.prepare("verify_ms=300\n")
    case.start()
    case.drop_package()
    case.park_mouse()
    case.expect_screen("page0_chosen")
    case.click_control(NEXT)
    case.wait_page(2, None, timeout=20)
    case.expect_screen("page2_success")
    case.click_control(CLOSE)
    box = case.message_box("提示", "确定要关闭吗？")
    case.click_control(IDYES, box["hwnd"])
    if case.wait_exit() != 2:
        raise Failure("exit code after Yes is not 2")


# msimg32, uxtheme and version are left out: Wine's own theme library takes them from the program's
# folder when it draws a themed button, though the process asked for System32 alone, where
# Windows' loader honours that for every later load. What our programs import before they can ask
# is checked instead: Windows' known DLLs alone (comctl32 comes from the side-by-side store).
PLANTED = ("gdiplus", "oleacc", "dbghelp", "cfgmgr32")
KNOWN_DLLS = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
              "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll"}


def static_imports(program):
    import pefile  # Debian's python3-pefile, installed with the rest
    pe = pefile.PE(str(program), fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    return {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


def case_planted_dlls(case):
    """Files under the names of system libraries that are no known DLLs, dropped in the program's
    folder, with Wine told to prefer such files as Windows does: neither the program nor the
    engine host loads one, through a whole upgrade and an engine crash whose dump is written."""
    case.prepare("verify_ms=300\n")
    for program in (Path(case.args.exe).name, HOST):
        unknown = static_imports(case.scratch / program) - KNOWN_DLLS
        if unknown:
            raise Failure("%s imports DLLs that Windows may take from its folder: %s" % (program, sorted(unknown)))
    for name in PLANTED:
        shutil.copy(Path(case.args.planted) / (name + ".dll"), case.scratch / (name + ".dll"))
    case.env = dict(case.env, WINEDLLOVERRIDES=",".join(PLANTED) + "=n,b")
    case.start()
    # Not through the open-file dialog: Wine's own theme library takes msimg32 from the program's
    # folder to draw it, where Windows would take it from System32.
    case.drop_package()
    case.click_control(NEXT)
    case.wait_page(2, None, timeout=20)
    case.expect_screen("page2_success")
    case.click_control(NEXT)
    case.wait_page(0, "升级包校验")
    (case.scratch / "dVarnok.scenario").write_text("trace=trace.txt\noutcome=crash\ncrash_at=30\n",
                                                    encoding="utf-8")
    time.sleep(1.1)  # log files are named by the second
    case.click_control(NEXT)
    case.wait_page(2, None, timeout=20)
    wait_for(lambda: list((case.scratch / "DumpLog").glob("engine-host-*.dmp")), 10, "the engine host's dump")
    case.click_control(CLOSE)
    box = case.message_box("提示", "确定要关闭吗？")
    case.click_control(IDYES, box["hwnd"])
    case.wait_exit()
    loaded = ["%s by %s" % (path.name[:-len(".loaded")],
                            ", ".join(sorted(set(path.read_text(encoding="utf-16-le").splitlines()))))
              for path in sorted(case.scratch.glob("*.loaded"))]
    if loaded:
        raise Failure("files planted in the program's folder were loaded: %s" % "; ".join(loaded))


def case_log_link(case):
    """On the result page, a click on "打开日志文件夹" opens the file manager on the run's log
    folder (Wine has no desktop shell that answers, so the program's own ShellExecute starts it)."""
    case.prepare("verify_ms=300\n")
    case.start()
    case.drop_package()
    case.click_control(NEXT)
    case.wait_page(2, None, timeout=20)
    link = case.control(LOG_LINK)
    if (link["text"], link["shown"]) != ("打开日志文件夹", True):
        raise Failure("the result page's log link: %s" % link)
    case.click_control(LOG_LINK)

    def file_manager():
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "TextLog"],
                               capture_output=True, text=True)
        return found.stdout.split()
    windows = wait_for(file_manager, 20, "a file manager window on TextLog", interval=0.2)
    for window in windows:
        title = subprocess.run(["xdotool", "getwindowname", window], capture_output=True, text=True).stdout
        log("file manager window: %s" % title.strip())
        pid = subprocess.run(["xdotool", "getwindowpid", window], capture_output=True, text=True).stdout.strip()
        if pid.isdigit():
            os.kill(int(pid), signal.SIGKILL)
    wait_for(lambda: not file_manager(), 10, "the file manager window to go", interval=0.2)  # nor cover later cases
    case.expect_screen("page2_success")  # the program is unmoved by it
    close_with_yes(case)


def case_english_windows(case):
    """A Windows that is not Chinese (display language English, code page 1252, a prefix of its
    own) and the users' Chinese one: a package whose model and version text are Chinese, written in
    code page 936, shows its version text and hands the engine its model as they are, and the same
    run writes the same log bytes in both, Chinese level words included (time stamps aside)."""
    runs = {}
    for windows in ("Chinese", "English"):
        if windows == "English":
            case.cleanup()
            case.use_english_windows()
        case.prepare("verify_ms=300\n", model="测试5512", version="正式版V2.1.0")
        case.start(first_page="page0_start" if windows == "Chinese" else None)
        case.drop_package()
        wait_for(lambda: "正式版V2.1.0" in case.control(ROM_VERSION)["text"], 5,
                 "the version text on the %s Windows (it shows %r)" % (windows, case.control(ROM_VERSION)["text"]))
        # Kept beside the case's folder, which the next run makes anew: how each Windows draws it.
        case.settled(case.window_box(), EDGE_BAND).save(case.scratch.parent / ("english_windows-%s.png" % windows))
        case.click_control(NEXT)
        case.wait_page(2, None, timeout=20)
        close_with_yes(case)
        models = [line for line in case.trace() if line.startswith("InitDownloadObj")]
        if not models or " model=测试5512 " not in models[0]:
            raise Failure("on the %s Windows the engine got %s" % (windows, models))
        logs = case.cell_logs()
        if len(logs) != 1:
            raise Failure("on the %s Windows: log files %s" % (windows, [f.name for f in logs]))
        lines = case.log_lines(logs[0])  # decodes as 936, checks every line and takes its time stamp off
        if not any(line.startswith("提示:") for line in lines):
            raise Failure("on the %s Windows the log has no 提示 line" % windows)
        # The bytes of each line after its time stamp ("hh:mm:ss:mmm\t").
        runs[windows] = [line[13:] for line in logs[0].read_bytes().split(b"\r\n")]
    if runs["Chinese"] != runs["English"]:
        raise Failure("the logs differ between the Windows: %s" %
                      [pair for pair in zip(runs["Chinese"], runs["English"]) if pair[0] != pair[1]][:3])


def case_back_while_waiting(case):
    """Back while the engine waits for the phone: the run stops, page 0, the log closes; a
    second verification writes a new log file."""
    case.prepare("verify_ms=800\noutcome=never\n")
    case.start()
    case.browse()
    case.click_control(NEXT)
    case.wait_page(1, None)
    case.wait_button(BACK, True, True, what="the back button enabled when verification passed")
    case.expect_screen("page1_waiting")
    wait_for(lambda: "DownloadRun reserved=0" in case.trace(), 5, "the engine to wait for the phone")
    case.click_control(BACK)
    case.wait_page(0, "升级包校验")
    case.expect_screen("page0_again")
    wait_for(lambda: "DownloadRun returned stopped" in case.trace(), 5, "the engine to stop its run")
    first = case.cell_logs()
    if len(first) != 1:
        raise Failure("expected one cell log, found %s" % [f.name for f in first])
    lines = case.log_lines(first[0])
    case.expect_lines(lines, VERIFY_PASSED, first[0].name)
    if any("UTestStatus" in line for line in lines):
        raise Failure("a download was reported though no phone came")
    # Log files are named by the second: make sure the next one gets a name of its own.
    time.sleep(1.1)
    case.click_control(NEXT)
    case.wait_button(BACK, True, True, what="the back button enabled after the second verification")
    if case.strip_x() != -720:
        raise Failure("the second verification shows the strip at %d" % case.strip_x())
    logs = case.cell_logs()
    if len(logs) != 2:
        raise Failure("the second verification did not start a new log: %s" % [f.name for f in logs])
    case.expect_lines(case.log_lines(logs[1]), VERIFY_PASSED, logs[1].name)
    if case.log_lines(first[0]) != lines:
        raise Failure("the first log changed after it was closed")
    close_with_yes(case)
    case.expect_trace(ENGINE_RELEASED)


def case_close_refused(case):
    """Closing while a phone is written is refused ("正在下载，请稍后关闭！"), by the close button
    and by Escape; the upgrade goes on to its end."""
    case.prepare("verify_ms=800\n" + SLOW_UPGRADE)
    case.start()
    case.browse()
    case.click_control(NEXT)
    case.wait_page(1, None)
    case.wait_button(BACK, True, True, what="the back button enabled when verification passed")
    case.wait_button(BACK, True, False, what="the back button disabled when the upgrade began")
    case.expect_screen("page1_upgrading")
    case.click_control(CLOSE)
    box = case.message_box("警告", "正在下载，请稍后关闭！")
    buttons = [c for c in case.controls(box["hwnd"]) if c["class"].lower() == "button" and c["shown"]]
    if [b["id"] for b in buttons] != [IDOK]:
        raise Failure("the refusal offers the buttons %s, expected OK only" % [b["text"] for b in buttons])
    case.expect_screen("msgbox_refused", box=tuple(box["client"]))
    case.answer_box(box, IDOK)
    if case.app.poll() is not None:
        raise Failure("the program ended after the refusal")
    xdo("key", "Escape")
    box = case.message_box("警告", "正在下载，请稍后关闭！")
    xdo("key", "Return")
    case.wait_dialog_gone(box["hwnd"])
    case.wait_page(2, None, timeout=20)
    case.expect_screen("page2_success")
    expect_phone_written(case)
    close_with_yes(case)


def case_close_asked(case):
    """The close button asks "确定要关闭吗？"; No keeps everything, Yes ends with exit code 2."""
    case.prepare("")
    case.start()
    case.click_control(CLOSE)
    box = case.message_box("提示", "确定要关闭吗？")
    case.expect_screen("msgbox_ask", box=tuple(box["client"]))
    case.answer_box(box, IDNO)
    time.sleep(0.3)
    if case.app.poll() is not None:
        raise Failure("the program ended after No")
    case.expect_screen("page0_start")
    close_with_yes(case)
    # The simulated engine learns where to trace from the entry points that read its scenario;
    # stopping and releasing do not, so a run that never verified leaves no trace at all.
    if case.trace():
        raise Failure("the engine was asked to work though nothing was started: %s" % case.trace())
    if case.cell_logs():
        raise Failure("a cell log was written without a run")


def case_escape_closes(case):
    """Escape asks like the close button: No, then Escape again and Yes."""
    case.prepare("")
    case.start()
    xdo("key", "Escape")
    box = case.message_box("提示", "确定要关闭吗？")
    case.answer_box(box, IDNO)
    case.expect_screen("page0_start")
    close_with_yes(case, "escape")


def case_keyboard_upgrade(case):
    """A whole upgrade with the keyboard alone: the path typed into the path box, Tab to the next
    button past "浏览" and the link (their focus cues), Enter; on the result page Enter returns to
    the first page; Escape and Enter (Yes) close."""
    case.prepare("verify_ms=1000\n" + SLOW_UPGRADE)
    case.start()
    case.expect_focus(PATH_BOX, "the path box focused at start")
    xdo("type", "--delay", 15, PACKAGE_PATH)
    wait_for(lambda: case.path_box_text() == PACKAGE_PATH, 5, "the typed path in the path box")
    xdo("key", "Tab")
    case.expect_focus(BROWSE, "Tab from the path box")
    xdo("key", "Tab")
    case.expect_focus(COMMUNITY_LINK, "Tab from 浏览")
    case.expect_screen("focus_link")
    xdo("key", "Tab")
    case.expect_focus(NEXT, "Tab from the link")
    case.expect_screen("focus_next")
    xdo("key", "Return")
    case.wait_page(1, None)
    case.wait_button(BACK, True, False, what="the back button disabled when the upgrade began", timeout=15)
    case.wait_page(2, None, timeout=20)
    case.expect_focus(NEXT, "the result page's next button")
    xdo("key", "Return")
    case.wait_page(0, "升级包校验")
    case.expect_focus(PATH_BOX, "the path box back on the first page")

    logs = case.cell_logs()
    if len(logs) != 1:
        raise Failure("expected one cell log, found %s" % [f.name for f in logs])
    case.expect_lines(case.log_lines(logs[0]), VERIFY_PASSED + UPGRADE_PASSED, logs[0].name)
    expect_phone_written(case)
    xdo("key", "Escape")
    box = case.message_box("提示", "确定要关闭吗？")
    xdo("key", "Return")  # Yes is the default button
    case.wait_dialog_gone(box["hwnd"])
    code = case.wait_exit()
    if code != 2:
        raise Failure("exit code %d after Yes, expected 2" % code)


def case_drag_moves_window(case):
    """Dragging the title background moves the window and its shadow; pressing on the close
    button and moving does not."""
    case.prepare("")
    case.start()

    def shadow_rect():
        shadows = [w for w in case.top_windows() if w["class"] == "CThemedShadowWnd"]
        if len(shadows) != 1:
            raise Failure("expected one shadow window, found %d" % len(shadows))
        return tuple(shadows[0]["rect"])

    window = case.window_rect()
    shadow = shadow_rect()
    if not (shadow[0] < window[0] and shadow[1] < window[1] and shadow[2] > window[2] and shadow[3] > window[3]):
        raise Failure("the shadow %s does not surround the window %s" % (shadow, window))
    backdrop = Screen.grab((0, 0, 1, 1)).getpixel((0, 0))

    def drag(start, delta):
        xdo("mousemove", *start)
        xdo("mousedown", 1)
        for step in range(1, 6):
            xdo("mousemove", start[0] + delta[0] * step // 5, start[1] + delta[1] * step // 5)
            time.sleep(0.03)
        xdo("mouseup", 1)
        case.park_mouse()

    delta = (180, -120)
    drag((window[0] + 300, window[1] + 30), delta)
    moved = tuple(v + delta[i % 2] for i, v in enumerate(window))
    wait_for(lambda: case.window_rect() == moved, 5, "the window to move to %s" % (moved,))
    shadow_moved = tuple(v + delta[i % 2] for i, v in enumerate(shadow))
    wait_for(lambda: shadow_rect() == shadow_moved, 5, "the shadow to follow to %s" % (shadow_moved,))
    case.origin = (moved[0], moved[1])
    wait_for(case.shadow_below, 5, "the shadow below the window after the drag")
    case.expect_screen("page0_moved")

    # On screen: the shadow is drawn below the moved window, and the place the window left
    # shows the backdrop again.
    def darker(pixel):
        return sum(pixel) < sum(backdrop) - 30

    below = Screen.grab((moved[0] + 360, moved[3] + 4, moved[0] + 361, moved[3] + 5)).getpixel((0, 0))
    if not darker(below):
        raise Failure("no shadow below the moved window: %s against the backdrop %s" % (below, backdrop))
    left_behind = Screen.grab((window[0] + 20, window[3] - 20, window[0] + 21, window[3] - 19)).getpixel((0, 0))
    if left_behind != backdrop:
        raise Failure("the old place shows %s, not the backdrop %s" % (left_behind, backdrop))

    close = case.control(CLOSE)["rect"]
    drag(case.centre(close), (-150, 100))
    time.sleep(0.3)
    if case.window_rect() != moved:
        raise Failure("pressing on the close button moved the window to %s" % (case.window_rect(),))
    if any(w["class"] == "#32770" and w["title"] == "提示" for w in case.top_windows()):
        raise Failure("releasing the mouse away from the close button still closed")
    close_with_yes(case)


def fewest_objects(case, counter, samples=3):
    """The objects of the program's process, the fewest of each kind over a few counts. The counter
    runs on a thread of its own while the window's thread goes on: a paint under way at that moment
    holds a buffer (a DC and a bitmap) that a later count no longer sees. A leak stays in every
    count. The counts are 300 ms apart: back to back, all of them could fall inside one busy stretch
    of the window's thread, between a control's new object and the deletion of the one it replaces."""
    fewest = None
    for sample in range(samples):
        if sample:
            time.sleep(0.3)
        counts = case.probe.ask("counts " + counter)
        if not counts.get("counted"):
            raise Failure("the object counter could not count: %s" % counts)
        fewest = counts if fewest is None else {
            key: min(value, counts[key]) if isinstance(value, int) else value for key, value in fewest.items()}
    return fewest


def case_twenty_upgrades(case):
    """Twenty upgrades in a row through the window: memory and GDI/USER objects must not grow.
    Prints the figures, and the slide timings seen by the probe."""
    case.prepare("verify_ms=50\narrival_ms=50\nspeed_kbps=0\nchunk_kb=256\n")
    case.start()
    counter = windows_path(case.args.counter)
    watcher = Probe(case)  # watches while the other probe answers the driver
    case.browse()
    counted = {}
    memory = []
    slides = []
    for run in range(1, 21):
        watcher.send("watch 10000 -1440")
        time.sleep(0.2)  # the watcher under way before the click
        case.click_control(NEXT, hold=0.03)
        forward = watcher.answer(timeout=20)
        case.wait_page(2, None, timeout=20)
        watcher.send("watch 3000 0")
        time.sleep(0.2)  # the watcher under way before the click
        case.click_control(NEXT, hold=0.03)
        back = watcher.answer(timeout=20)
        case.wait_page(0, "升级包校验")
        slides.append((forward, back))
        # Memory after every run; the objects (which loads the counter into the process for a
        # moment) after the first, the fifth, the tenth and the last, so that counting does not feed the
        # memory figures.
        memory.append(case.probe.ask("counts"))
        if run in (1, 5, 10, 20):
            counted[run] = fewest_objects(case, counter)
    watcher.close()
    for run, counts in counted.items():
        figure("after upgrade %d: GDI %d (%d DCs, %d bitmaps, %d brushes, %d fonts, %d regions, %d pens), "
               "USER %d (%d windows, %d menus, %d icons); GetGuiResources answers GDI %d USER %d (error %d)"
               % (run, counts["gdi"], counts["gdi_dc"], counts["gdi_bitmap"], counts["gdi_brush"],
                  counts["gdi_font"], counts["gdi_region"], counts["gdi_pen"], counts["user"],
                  counts["user_window"], counts["user_menu"], counts["user_icon"], counts["gui_resources_gdi"],
                  counts["gui_resources_user"], counts["gui_resources_error"]))
    figure("working set after upgrades 1, 10, 20: %s MiB; private bytes %s MiB"
           % (", ".join("%.2f" % (memory[i]["working_set"] / 2**20) for i in (0, 9, 19)),
              ", ".join("%.2f" % (memory[i]["private_bytes"] / 2**20) for i in (0, 9, 19))))
    figure("working set per upgrade (KiB): %s" % " ".join(str(m["working_set"] // 1024) for m in memory))
    report_slides(slides)
    # The first run may still create objects that are then kept for good, and a count taken
    # while a control swaps a captured brush for a new one sees one less: the baseline is the
    # higher of the counts after the fifth and the tenth run. A leak grows past both.
    last = counted[20]
    for kind in ("gdi_dc", "gdi_bitmap", "gdi_brush", "gdi_font", "gdi_region", "gdi_pen", "user_window",
                 "user_menu", "user_icon"):
        baseline = max(counted[5][kind], counted[10][kind])
        if last[kind] > baseline:
            raise Failure("%s grew from %d after the fifth and tenth upgrades to %d after the twentieth"
                          % (kind, baseline, last[kind]))
    logs = case.cell_logs()
    if len(logs) < 2:
        raise Failure("twenty runs left %d cell logs" % len(logs))
    close_with_yes(case)


def slide_timings(events, target):
    """From one watch: click (button release) to the first move and to arrival, the ticks, and
    the time from the first move to arrival."""
    release = next((e["ms"] for e in events if e["event"].get("button") == "up"), None)
    moves = [e for e in events if "x" in e["event"] and e["ms"] > 0]
    # The slide to the target: the moves after the last one that left from elsewhere.
    slide = []
    for e in moves:
        slide.append(e)
        if e["event"]["x"] == target:
            break
    if not slide or slide[-1]["event"]["x"] != target:
        return None
    return {
        "click_to_first_move": slide[0]["ms"] - release if release is not None else None,
        "click_to_arrival": slide[-1]["ms"] - release if release is not None else None,
        "first_move_to_arrival": slide[-1]["ms"] - slide[0]["ms"],
        "ticks": len(slide),
        "intervals": [b["ms"] - a["ms"] for a, b in zip(slide, slide[1:])],
    }


def report_slides(slides):
    def stats(values):
        values = sorted(v for v in values if v is not None)
        if not values:
            return "n/a"
        return "median %.0f ms, min %.0f, max %.0f (n=%d)" % (values[len(values) // 2], values[0], values[-1],
                                                             len(values))

    to_page1, to_page2, to_page0 = [], [], []
    for forward, back in slides:
        one = slide_timings(forward, -720)
        if one:
            to_page1.append(one)
        # The slide to page 2 starts from page 1: the moves after the strip first stood at -720.
        at_page1 = next((i for i, e in enumerate(forward) if e["event"].get("x") == -720), None)
        if at_page1 is not None:
            two = slide_timings(forward[at_page1 + 1:], -1440)
            if two:
                to_page2.append(two)
        zero = slide_timings(back, 0)
        if zero:
            to_page0.append(zero)
    for name, runs in (("0->1 (click on the next button)", to_page1),
                       ("1->2 (hook: upgrade succeeded)", to_page2),
                       ("2->0 (click on 完成)", to_page0)):
        if not runs:
            figure("slide %s: not observed" % name)
            continue
        figure("slide %s: click to first move %s; click to arrival %s; first move to arrival %s; ticks %s; "
               "tick interval %s" % (name, stats(r["click_to_first_move"] for r in runs),
                                     stats(r["click_to_arrival"] for r in runs),
                                     stats(r["first_move_to_arrival"] for r in runs),
                                     sorted(set(r["ticks"] for r in runs)),
                                     stats(i for r in runs for i in r["intervals"])))


# How long each idle state is measured; TARNVEL_IDLE_SECONDS for a longer look.
IDLE_SECONDS = float(os.environ.get("TARNVEL_IDLE_SECONDS", "20"))


def thread_counters(pid):
    """CPU time (ms) and context switches, voluntary and not, summed over the process's threads."""
    cpu_ticks = switches = 0
    for task in Path("/proc/%d/task" % pid).iterdir():
        try:
            stat = (task / "stat").read_text()
            status = (task / "status").read_text()
        except OSError:
            continue  # the thread has just ended
        fields = stat[stat.rindex(")") + 2:].split()
        cpu_ticks += int(fields[11]) + int(fields[12])  # utime and stime
        for line in status.splitlines():
            if line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
                switches += int(line.split()[1])
    return cpu_ticks * 1000.0 / os.sysconf("SC_CLK_TCK"), switches


def wineserver_pid(env):
    """The wineserver of the test prefix: its work for the measured process is counted apart."""
    wanted = ("WINEPREFIX=" + env["WINEPREFIX"]).encode()
    for entry in Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and (entry / "comm").read_text().startswith("wineserver") and \
                    wanted in (entry / "environ").read_bytes().split(b"\0"):
                return int(entry.name)
        except OSError:
            continue
    return None


def measure_idle(pids, seconds):
    """What each process used over the same `seconds`: CPU ms, % of a core, wake-ups a second."""
    before = {name: thread_counters(pid) for name, pid in pids.items() if pid}
    started = time.monotonic()
    time.sleep(seconds)
    after = {name: thread_counters(pids[name]) for name in before}
    elapsed = time.monotonic() - started
    return {name: {"cpu_ms": after[name][0] - before[name][0],
                   "percent": (after[name][0] - before[name][0]) / (elapsed * 10),
                   "wakeups": (after[name][1] - before[name][1]) / elapsed,
                   "seconds": elapsed} for name in before}


def report_idle(what, figures, goal=None):
    program = figures["program"]
    text = "idle, %s: %.0f ms CPU in %.1f s = %.3f %% of a core, %.1f wake-ups/s" % (
        what, program["cpu_ms"], program["seconds"], program["percent"], program["wakeups"])
    if goal:
        text += " (goal <= %.1f %%, <= %d/s)" % goal
    server = figures.get("wineserver")
    if server:
        text += "; wineserver meanwhile %.0f ms, %.1f wake-ups/s" % (server["cpu_ms"], server["wakeups"])
    figure(text)


def case_idle(case):
    """What the program uses while nothing happens, from outside the process: on the first page,
    and on page 1 waiting for a phone that never comes; beside a minimal dialog in the same run.
    Prints figures only."""
    if not case.args.minimal_dialog:
        raise Failure("the idle case needs --minimal-dialog")
    case.prepare("verify_ms=300\noutcome=never\n")
    case.start()
    program = case.unix_pid(Path(case.args.exe).name)
    if not program:
        raise Failure("the program's process was not found")
    server = wineserver_pid(case.env)
    time.sleep(2)  # the start-up's last work (the batch file that clears MTK_Log) is over
    first_page = measure_idle({"program": program, "wineserver": server}, IDLE_SECONDS)

    case.browse()
    case.click_control(NEXT)
    case.wait_button(BACK, True, True, what="the back button enabled when verification passed")
    wait_for(lambda: case.strip_x() == -720, 5, "page 1")
    wait_for(lambda: "DownloadRun reserved=0" in case.trace(), 5, "the engine to wait for the phone")
    time.sleep(2)
    waiting = measure_idle({"program": program, "wineserver": server}, IDLE_SECONDS)
    close_with_yes(case)

    title = "tarnvel idle yardstick"
    dialog = case.spawn([case.wine, windows_path(case.args.minimal_dialog)])
    wait_for(lambda: subprocess.run(["xdotool", "search", "--name", title], capture_output=True).returncode == 0,
             30, "the minimal dialog")
    yardstick = case.unix_pid(Path(case.args.minimal_dialog).name)
    if not yardstick:
        raise Failure("the minimal dialog's process was not found")
    time.sleep(2)
    minimal = measure_idle({"program": yardstick, "wineserver": server}, IDLE_SECONDS)
    dialog.kill()
    dialog.wait(timeout=10)

    report_idle("first page, nothing chosen", first_page, (0.2, 30))
    report_idle("page 1, waiting for a phone", waiting, (0.3, 40))
    report_idle("a minimal Win32 dialog", minimal)


CASES = {name[len("case_"):]: function for name, function in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=sorted(CASES))
    for option in ("bin", "exe", "engine", "rzbpack", "probe", "counter", "scratch"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--minimal-dialog")
    parser.add_argument("--planted")
    parser.add_argument("--update-references", action="store_true")
    args = parser.parse_args()
    args.update_references = args.update_references or os.environ.get("TARNVEL_E2E_UPDATE_REFERENCES") == "1"
    if "DISPLAY" not in os.environ:
        print("e2e: no DISPLAY; run through scripts/run-tests.sh", file=sys.stderr)
        return 1
    case = Case(args)
    started = time.monotonic()
    try:
        CASES[args.case](case)
    except Failure as failure:
        print("FAILED: %s: %s" % (args.case, failure), flush=True)
        return 1
    except Exception as error:  # a fault of the driver itself, reported the same way
        print("FAILED: %s: %s: %s" % (args.case, type(error).__name__, error), flush=True)
        raise
    finally:
        case.cleanup()
    log("passed: %s in %.1f s" % (args.case, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
