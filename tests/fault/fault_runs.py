#!/usr/bin/env python3
"""Randomized fault runs of the real program with the simulated engine, seeded and repeatable.

Each seed runs the window (or, for about a third of the seeds, the console harness with a random
script of verify, back, out-of-turn commands, waits and a shutdown), picks a scenario (package
sound, corrupt or foreign, any format; verification passing or failing; one to three phones that
pass, fail, are unplugged, never come or hang; event storms from several threads; malformed
records) and a sequence of user actions at random moments (Next, Back, Escape, the close button,
Yes or No to the question), runs the program under Wine on the current
display, and checks:
  - no crash: no new dump in DumpLog, and the program ends with exit code 2 when closed;
  - no hang: the window answers throughout and the process ends within a bound after "Yes";
  - no lost line: every event the engine reported for cell 0's log while it was open is in a
    CELL0 log file, in order, and the files hold nothing else;
  - the window's page and back button match the last event that decides them.
The event record comes from the recorder DLL that stands between the program and the engine.

  fault_runs.py --bin <x86_64 bin folder> --work <scratch folder> --seeds <first>:<count>
Needs DISPLAY, WINEPREFIX and a running wineserver (scripts/run-tests.sh provides them).
Prints one line per run and a closing line "N passed, M failed"."""
import argparse
import glob
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import time
import zlib

WINE = os.environ.get("TARNVEL_WINE", "/usr/lib/wine/wine64")
EXE = "TarnVel Download Assistant.exe"
HOST = "TarnVel Engine Host.exe"  # the engine runs in it, beside the program
HOST_DUMP_PREFIX = "engine-host-"
# The line the program writes when the engine's host ends unasked (here: the engine's access violation).
ENGINE_GONE = "错误:下载引擎意外退出 (0xC0000005)\r\n"
LAYOUT = {13: (4, 392, 77), 14: (36, 556, 84), 15: (36, 556, 84), 16: (36, 556, 84), 17: (48, 552, 96),
          18: (4, 100, 36)}
CLOSE_BOUND_S = 15
# The program ends within 3 s of Yes whatever the engine does; the rest is for a loaded machine.
SLOW_CLOSE_S = 8
WORDS = {1: "提示:", 2: "警告:", 3: "错误:"}
ALREADY_OPEN = "日志正在记录，开始记录日志操作被忽略!\r\n"


def make_package(rng, path, kind):
    """A package as the simulated engine reads it: version block, payload descriptor, payload."""
    version = rng.choice(sorted(LAYOUT))
    model_at, block_len, version_at = LAYOUT[version]
    block = bytearray(block_len)
    block[0:4] = b"HSRZ" if version == 13 and rng.random() < 0.5 else bytes([0x52, 0x5A, 1, version - 10])
    model = rng.choice([b"5512QDS", b"5512Q"])
    block[model_at:model_at + len(model) + 1] = model + b"\0"
    text = b"V2.%d" % rng.randrange(100)
    block[version_at:version_at + len(text) + 1] = text + b"\0"
    payload = bytes(rng.getrandbits(8) for _ in range(256)) * rng.randrange(200, 1200)
    descriptor = b"TVPD" + struct.pack("<IQQII", 1, block_len + 32, len(payload), zlib.crc32(payload),
                                       zlib.crc32(bytes(block)))
    data = bytearray(bytes(block) + descriptor + payload)
    if kind == "corrupt":
        data[-1 - rng.randrange(len(payload))] ^= 0x5A
    elif kind == "foreign":
        data[0:4] = b"RZ\x01\x09"
    with open(path, "wb") as out:
        out.write(data)
    return len(payload)


def make_scenario(rng, payload_size):
    lines = []
    lines.append("verify=%s" % ("fail" if rng.random() < 0.1 else "pass"))
    lines.append("verify_ms=%d" % rng.randrange(50, 700))
    if rng.random() < 0.1:
        lines.append("verify_cell=%d" % rng.choice([1, 5, 7]))
    if rng.random() < 0.05:
        lines.append("init_result=0")
    cells = rng.choice([1, 1, 1, 2, 3])
    lines.append("cells=%d" % cells)
    for cell in range(cells):
        outcome = rng.choices(["pass", "fail", "unplug", "never", "hang"], [40, 20, 15, 10, 8])[0]
        lines.append("cell%d.outcome=%s" % (cell, outcome))
        lines.append("cell%d.arrival_ms=%d" % (cell, rng.randrange(100, 1500)))
        lines.append("cell%d.speed_kbps=%d" % (cell, max(50, payload_size // 1024 // rng.randrange(1, 4))))
        for key in ("fail_at", "unplug_at", "hang_at"):
            lines.append("cell%d.%s=%d" % (cell, key, rng.randrange(0, 100)))
    lines.append("chunk_kb=%d" % rng.choice([4, 16, 64]))
    if rng.random() < 0.3:
        lines.append("storm_rate=%d" % rng.randrange(200, 3000))
        lines.append("storm_threads=%d" % rng.randrange(2, 7))
    if rng.random() < 0.2:
        lines.append("malformed=1")
    # An engine that misbehaves as closed engines do; the program throws it away whole.
    misbehaviour = rng.choices(["", "lock", "crash", "stop_hangs", "release_hangs", "after_stop"],
                               [60, 8, 12, 8, 6, 6])[0]
    if misbehaviour == "lock":
        lines.append("cell0.outcome=lock")
    elif misbehaviour == "crash":
        lines.append("cell0.outcome=crash")
        lines.append("cell0.crash_at=%d" % rng.randrange(0, 100))
    elif misbehaviour == "after_stop":
        lines.append("after_stop=%d" % rng.randrange(1, 20))
    elif misbehaviour:
        lines.append("%s=1" % misbehaviour)
    return lines


def wine(*args, timeout=20):
    return subprocess.run([WINE, *args], capture_output=True, timeout=timeout, text=True, errors="replace")


class Probe:
    def __init__(self, probe_exe):
        self.exe = probe_exe

    def read(self):
        try:
            out = wine(self.exe, timeout=20).stdout.strip()
        except subprocess.TimeoutExpired:
            return {"hung": True}
        if not out or out == "none":
            return None
        state = {}
        for field in out.split(" "):
            if "=" in field:
                key, value = field.split("=", 1)
                state[key] = value
        return state


def xdo(*args):
    subprocess.run(["xdotool", *args], capture_output=True, timeout=10)


class Run:
    def __init__(self, seed, bin_dir, work, probe):
        self.seed = seed
        self.rng = random.Random(seed)
        self.folder = os.path.join(work, "r%d" % seed)
        self.probe = probe
        self.bin_dir = bin_dir
        self.actions = []  # (unix ms, name)
        self.problems = []
        self.notes = []
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(os.path.join(self.folder, "DumpLog"))
        shutil.copy(os.path.join(bin_dir, EXE), self.folder)
        shutil.copy(os.path.join(bin_dir, HOST), self.folder)
        shutil.copy(os.path.join(bin_dir, "tarnvel_event_recorder.dll"), os.path.join(self.folder, "dVarnok.dll"))
        shutil.copy(os.path.join(bin_dir, "tarnvel_sim_engine.dll"), self.folder)
        kind = self.rng.choices(["sound", "corrupt", "foreign"], [85, 10, 5])[0]
        size = make_package(self.rng, os.path.join(self.folder, "p.rzb"), kind)
        self.scenario = ["# seed %d, %s package" % (self.seed, kind)] + make_scenario(self.rng, size)
        with open(os.path.join(self.folder, "dVarnok.scenario"), "w") as out:
            out.write("\n".join(self.scenario) + "\n")
        self.hangs = any(line.endswith("outcome=hang") for line in self.scenario)
        self.crashes = any(line.endswith("outcome=crash") for line in self.scenario)
        for line in self.scenario:
            if re.match(r"(cell0\.outcome=(lock|crash)|stop_hangs=1|release_hangs=1|after_stop=)", line):
                self.notes.append("engine: " + line)

    def act(self, name):
        self.actions.append((int(time.time() * 1000), name))

    def click(self, x, y):
        xdo("mousemove", str(self.origin[0] + x), str(self.origin[1] + y), "click", "1")

    def state(self):
        state = self.probe.read()
        if state and state.get("hung"):
            self.problems.append("hang: the window did not answer the probe")
        return state

    def answer_dialog(self, yes):
        for _ in range(10):
            state = self.state()
            if not state or state.get("hung"):
                return state
            dialog = state.get("dialog", "-")
            if dialog == "提示":
                self.act("yes" if yes else "no")
                xdo("key", "Return") if yes else xdo("key", "Tab", "Return")
                return state
            if dialog == "警告":
                self.act("ok")
                xdo("key", "Return")
                return state
            time.sleep(0.2)
        return self.state()

    def execute(self):
        env = dict(os.environ)
        env.pop("TARNVEL_SIM_SCENARIO", None)
        self.process = subprocess.Popen([WINE, EXE], cwd=self.folder, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        state = None
        for _ in range(60):
            state = self.state()
            if state and "window" in state:
                break
            time.sleep(0.25)
        if not state or "window" not in state:
            self.problems.append("the window never appeared")
            return self.finish(kill=True)
        left, top = (int(v) for v in state["window"].split(","))
        self.origin = (left + 1, top + 1)
        # The path box is on page 0 of the status view, which starts at (2, 104).
        self.click(272 + 170, 323 + 15)
        xdo("key", "ctrl+a")
        xdo("type", "--delay", "2", "Z:" + os.path.join(self.folder, "p.rzb").replace("/", "\\"))
        time.sleep(0.2)
        self.act("next")
        self.click(600, 471)
        for _ in range(self.rng.randrange(0, 6)):
            time.sleep(self.rng.uniform(0.1, 2.5))
            action = self.rng.choices(["back", "next", "escape", "close", "wait"], [30, 20, 15, 10, 25])[0]
            if action == "back":
                self.act("back")
                self.click(420, 471)
            elif action == "next":
                self.act("next")
                self.click(600, 471)
            elif action in ("escape", "close"):
                self.act(action)
                xdo("key", "Escape") if action == "escape" else self.click(688, 30)
                time.sleep(0.3)
                quit = self.rng.random() < 0.3
                self.answer_dialog(quit)
                if quit and self.wait_exit(2):
                    return self.finish()
        self.quiesce()
        self.final_state = self.state()
        self.actions_before_state = len(self.actions)
        self.state_ms = int(time.time() * 1000)
        # Close for good: ask until allowed, as a user would.
        deadline = time.time() + 30
        attempt = 0
        while time.time() < deadline and self.process.poll() is None:
            # Under load the window may not hold the keyboard focus yet: every other try uses
            # the close button, which needs none.
            if attempt % 2 == 0:
                self.act("escape")
                xdo("key", "Escape")
            else:
                self.act("close")
                self.click(688, 30)
            attempt += 1
            time.sleep(0.3)
            state = self.answer_dialog(True)
            if self.actions[-1][1] == "yes":
                said_yes = time.time()
                if not self.wait_exit(CLOSE_BOUND_S):
                    self.problems.append("hang: no exit within %d s after Yes" % CLOSE_BOUND_S)
                    return self.finish(kill=True)
                closed = time.time() - said_yes
                self.notes.append("closed %.1f s after Yes" % closed)
                if closed > SLOW_CLOSE_S:
                    self.problems.append("hang: the close took %.1f s after Yes" % closed)
                return self.finish()
            if self.hangs:
                break  # a phone stays busy for good: closing is rightly refused
            time.sleep(1.0)
        if self.process.poll() is None:
            if self.hangs:
                self.notes.append("closing refused (hanging phone); ended by force")
            else:
                self.problems.append("hang: closing refused for 30 s without a busy phone; the window shows %s"
                                     % self.describe_state())
                self.keep_screen("refused.png")
            return self.finish(kill=True)
        return self.finish()

    def describe_state(self):
        state = self.state() or {}
        return " ".join("%s=%s" % item for item in sorted(state.items()))

    def keep_screen(self, name):
        """The whole display, for a failure to be looked at later."""
        subprocess.run(["import", "-window", "root", os.path.join(self.folder, name)], capture_output=True,
                       timeout=20)

    def wait_exit(self, seconds):
        try:
            self.process.wait(timeout=seconds)
            return True
        except subprocess.TimeoutExpired:
            return False

    def quiesce(self):
        """Waits until the engine has been quiet for 2.5 s (or 12 s have passed)."""
        path = os.path.join(self.folder, "dVarnok.events")
        deadline = time.time() + 12
        last, still = -1, time.time()
        while time.time() < deadline:
            size = os.path.getsize(path) if os.path.exists(path) else 0
            if size != last:
                last, still = size, time.time()
            elif time.time() - still > 2.5:
                break
            time.sleep(0.25)
        # A crashed engine's host writes its dump before it ends and the program hears of it.
        if self.crashes and glob.glob(os.path.join(self.folder, "DumpLog", HOST_DUMP_PREFIX + "*")):
            time.sleep(3)

    def finish(self, kill=False):
        if kill and self.process.poll() is None:
            self.act("kill")
            wine("taskkill", "/f", "/im", EXE, timeout=20)
            self.wait_exit(10)
        else:
            code = self.process.returncode
            if code != 2:
                self.problems.append("crash: exit code %s after closing" % code)
        with open(os.path.join(self.folder, "actions.txt"), "w") as out:
            out.writelines("%d\t%s\n" % action for action in self.actions)
        self.events = read_events(os.path.join(self.folder, "dVarnok.events"))
        self.check_dumps()
        self.check_logs()
        self.check_state()
        return self

    # -- checks ------------------------------------------------------------------------------
    def crash_event(self):
        """The engine's last words before its crash, if it crashed."""
        for event in getattr(self, "events", []):
            if event["kind"] == "E" and event["name"] == "USendMsgInfo" and event["t1"].startswith("Crashing at "):
                return event
        return None

    def check_dumps(self):
        """The program never crashes; an engine that crashes leaves its host's dump, and only then."""
        dumps = [os.path.basename(p) for p in glob.glob(os.path.join(self.folder, "DumpLog", "*"))]
        own = [name for name in dumps if not name.startswith(HOST_DUMP_PREFIX)]
        if own:
            self.problems.append("crash: %d dump(s) of the program written" % len(own))
        hosts = len(dumps) - len(own)
        if hosts and self.crash_event() is None:
            self.problems.append("crash: %d engine host dump(s) without an engine crash" % hosts)
        if self.crash_event() is not None and not hosts:
            self.problems.append("crash: the engine crashed and its host left no dump")

    def must_windows(self):
        """Spans of time in which cell 0's log was surely open: from each InitDownloadObj (the
        controller opens the log before it) to the first event or user action that closes it."""
        # Lines still queued when the process is ended by force are rightly lost.
        closers = [ms - 100 for ms, name in self.actions if name in ("back", "yes")]
        closers += [ms - 3000 for ms, name in self.actions if name == "kill"]
        # A Back or a close stops the engine before the controller closes the log, and the call
        # is recorded on the engine's clock: the harness's own times are only estimated (its
        # clock starts later), so a Back soon after the verification could seem to come first.
        closers += [e["ms"] for e in self.events if e["kind"] == "C" and e["name"] == "DownloadStop"]
        windows = []
        for event in self.events:
            if event["kind"] == "C" and event["name"] == "InitDownloadObj":
                windows.append([event["ms"], None, None])
        for window in windows:
            start = window[0]
            # A stop in the same millisecond as the opening came after it: the opening waits for
            # the control thread to take the command, a stop before it would not share its
            # millisecond.
            end = min([ms for ms in closers if ms >= start] + [1 << 62])
            for event in self.events:
                if event["ms"] < start or event["kind"] != "E" or event["a"] != 0 or \
                        event["name"] not in ("UTestStatus", "UCheckdataStatus"):
                    continue
                if event["ms"] >= end:
                    break
                status = event["c"] if event["name"] == "UTestStatus" else event["b"]
                if status == 3:
                    # A failed download or verification: the failure line is posted just before
                    # the log closes.
                    window[2] = event["seq"]
                    end = event["ms"]
                    break
                if event["name"] == "UTestStatus" and status == 2:
                    # The log closes two seconds later; a failure before then closes it at once.
                    end = min(end, event["ms"] + 1500)
            window[1] = end
        return windows

    def check_logs(self):
        stream = [e for e in self.events if e["kind"] == "E" and (e["name"] == "UCheckdataStatus" or e["a"] == 0)]
        files = []
        for name in sorted(glob.glob(os.path.join(self.folder, "TextLog", "CELL0 *.log"))):
            with open(name, "rb") as f:
                opened = os.path.basename(name)[6:25]  # "CELL0 yyyy-mm-dd hh_mm_ss.log"
                files.append((opened[:10], opened, f.read().decode("gbk", errors="replace")))
        other = glob.glob(os.path.join(self.folder, "TextLog", "CELL[1-7] *.log"))
        if other:
            self.notes.append("logs of other cells: %d" % len(other))
        # Lines of different engine threads may reach the log in either order; lines of one
        # thread must keep theirs. Each decorated line starts with a stamp and a level word.
        pending, raw = {}, []
        for event in stream:
            level, line = expected_line(event)
            if level == 0:
                if line == "":
                    event["written"] = True
                else:
                    raw.append((line, event))
            else:
                pending.setdefault(WORDS[level] + line + "\r\n", []).append(event)
        pending_all = {text: list(events) for text, events in pending.items()}
        order, unmatched = [], []

        def take_raw(fragment):
            while fragment:
                for index, (line, event) in enumerate(raw):
                    if fragment.startswith(line):
                        order.append(event)
                        event["written"] = True
                        fragment = fragment[len(line):]
                        del raw[index]
                        break
                else:
                    unmatched.append(fragment)
                    return

        for day, opened, text in files:
            opened_ms = int(time.mktime(time.strptime(opened, "%Y-%m-%d %H_%M_%S")) * 1000)
            pieces = re.split(r"(\d\d:\d\d:\d\d:\d\d\d)\t(?=提示:|警告:|错误:)", text)
            take_raw(pieces[0])
            for stamp, piece in zip(pieces[1::2], pieces[2::2]):
                written_ms = int(time.mktime(time.strptime(day + " " + stamp[:8], "%Y-%m-%d %H:%M:%S")) * 1000) + int(
                    stamp[9:])
                end = piece.find("\r\n") + 2
                if end == 1:
                    unmatched.append(piece)
                    continue
                if piece.startswith(WORDS[2] + ALREADY_OPEN):
                    end = len(WORDS[2] + ALREADY_OPEN) + 2
                elif piece[:end] == ENGINE_GONE and self.crash_event() is not None:
                    self.engine_gone_logged = True
                else:
                    # A storm repeats its texts in every run: the line is the oldest such event
                    # reported before it was written and since its file was opened (else the
                    # latest before it: a line taken just after the file was opened).
                    candidates = pending.get(piece[:end], [])
                    eligible = [i for i, event in enumerate(candidates) if event["ms"] <= written_ms + 50]
                    since_open = [i for i in eligible if candidates[i]["ms"] >= opened_ms]
                    if since_open or eligible:
                        event = candidates.pop(since_open[0] if since_open else eligible[-1])
                        event["written"] = True
                        order.append(event)
                    else:
                        unmatched.append(piece[:end])
                take_raw(piece[end:])
        if unmatched:
            self.problems.append("log: %d lines that match no event, first %r" % (len(unmatched), unmatched[0][:80]))
        # Identical lines (a storm repeats them) are interchangeable: only unique ones show order.
        repeated = {id(e) for events in pending_all.values() if len(events) > 1 for e in events}
        last_of_thread = {}
        for event in order:
            if id(event) in repeated:
                continue
            if last_of_thread.get(event["tid"], -1) > event["seq"]:
                self.problems.append("log: lines of one engine thread out of order at event %d" % event["seq"])
                break
            last_of_thread[event["tid"]] = event["seq"]
        written = {e["seq"] for e in stream if e.get("written")}
        self.lost, self.failure_lines_lost, self.expected = 0, 0, 0
        by_seq = {e["seq"]: e for e in stream}
        for start, end, failure_seq in self.must_windows():
            closing_tid = by_seq[failure_seq]["tid"] if failure_seq in by_seq else None
            for event in stream:
                if event["seq"] == failure_seq:
                    self.expected += 1
                    if event["seq"] not in written:
                        self.failure_lines_lost += 1
                elif end - RACE_MS <= event["ms"] < end and event["tid"] != closing_tid:
                    # The recorder notes an event before it calls the program: another engine
                    # thread may be held between the two while the log closes, and its line then
                    # rightly comes too late.
                    continue
                elif start <= event["ms"] < end:
                    self.expected += 1
                    if event["seq"] not in written:
                        self.lost += 1
        if self.lost:
            self.problems.append("log: %d of %d lines lost" % (self.lost, self.expected))
        crash = self.crash_event()
        if crash is not None and not getattr(self, "engine_gone_logged", False):
            if any(start <= crash["ms"] < end for start, end, _ in self.must_windows()):
                self.problems.append("log: no line says the engine ended unasked")
        if self.failure_lines_lost:
            self.problems.append("log: the failure line (status 3) lost at the log's close")

    def check_state(self):
        self.state_checked = False
        state = getattr(self, "final_state", None)
        if not state or "page" not in state:
            return
        acted = self.actions[:getattr(self, "actions_before_state", 0)]
        last_action = max([ms for ms, name in acted if name in ("next", "back", "yes")] + [0])
        decisive = None
        for event in self.events:
            if event["kind"] != "E":
                continue
            if event["name"] == "UCheckdataStatus" and (event["b"] == 3 or (event["b"] == 2 and event["a"] == 0)):
                decisive = event
            if event["name"] == "UTestStatus" and event["a"] == 0 and event["c"] in (1, 2, 3):
                decisive = event
        crash = self.crash_event()
        if crash is not None and (decisive is None or crash["ms"] >= decisive["ms"]):
            decisive = crash
        if decisive is None or decisive["ms"] < last_action + 600:
            return  # the user had the last word, or nothing decided the page
        last_next = max([ms for ms, name in acted if name == "next"] + [0])
        if decisive is crash:
            expected = (2, None)  # the upgrade failed with its engine
        elif decisive["name"] == "UCheckdataStatus":
            # A pass that arrives while the slide to page 1 still runs leaves the back button
            # disabled by the slide's arrival: only a late pass says how it must look.
            late = decisive["ms"] - last_next > 1500
            expected = (2, None) if decisive["b"] == 3 else (1, "enabled" if late else None)
        elif decisive["c"] == 1:
            expected = (1, "disabled")
        else:
            expected = (2, None)
        if decisive["name"] == "UTestStatus" and decisive["c"] == 2 and self.state_ms - decisive["ms"] < 2600:
            return
        self.state_checked = True
        page = int(state["page"])
        back_enabled = state.get("back", ",disabled").split(",")[1]
        if page != expected[0] or (expected[1] and back_enabled != expected[1]):
            self.problems.append("state: page %d, back %s after %s(%d, %d, %d); expected page %d%s" % (
                page, back_enabled, decisive["name"], decisive["a"], decisive["b"], decisive["c"], expected[0],
                ", back " + expected[1] if expected[1] else ""))


class HarnessRun(Run):
    """The console harness: the real controller with printing hooks, driven by a random script of
    verify, back, commands posted out of turn (known codes and others), waits and a shutdown at
    a random point."""

    def execute(self):
        shutil.copy(os.path.join(self.bin_dir, "tarnvel_harness.exe"), self.folder)
        shutil.copy(os.path.join(self.bin_dir, HOST), self.folder)
        steps = ["path=Z:" + os.path.join(self.folder, "p.rzb").replace("/", "\\"), "verify"]
        for _ in range(self.rng.randrange(1, 9)):
            step = self.rng.choices(["sleep", "back", "verify", "post", "until", "close?", "shutdown"],
                                    [35, 12, 8, 10, 20, 10, 5])[0]
            if step == "sleep":
                steps.append("sleep=%d" % self.rng.randrange(10, 2500))
            elif step == "post":
                steps.append("post=%d" % self.rng.choice([4, 8, 16, 64, 128, 0, -1, 12345]))
            elif step == "until":
                steps.append(self.rng.choice(["until=OnVerifyPassed:4000", "until=OnUpgradeBegin:4000",
                                              "until=OnProgress>=%d:4000" % self.rng.randrange(0, 99)]))
            else:
                steps.append(step)
        self.steps = steps
        started = time.time()
        env = dict(os.environ)
        env.pop("TARNVEL_SIM_SCENARIO", None)
        try:
            result = subprocess.run([WINE, "tarnvel_harness.exe", *steps], cwd=self.folder, env=env,
                                    capture_output=True, timeout=90, text=True, errors="replace")
        except subprocess.TimeoutExpired:
            self.problems.append("hang: the harness did not end within 90 s")
            wine("taskkill", "/f", "/im", "tarnvel_harness.exe")
            result = None
        if result is not None:
            if result.returncode not in (0, 3):
                self.problems.append("crash: harness exit code %d" % result.returncode)
            base = int(started * 1000)  # the harness's clock starts later: closings seem earlier
            for line in result.stdout.splitlines():
                match = re.match(r"\[\+(\d+) ms\] (> back|> shutdown|> post=(4|128)$|Shutdown|end)", line)
                if match:
                    self.actions.append((base + int(match.group(1)), "back" if "back" in line or "post" in line else "yes"))
            if "end" not in result.stdout:
                self.problems.append("crash: the harness never reached its end")
        with open(os.path.join(self.folder, "actions.txt"), "w") as out:
            out.writelines("%d\t%s\n" % action for action in self.actions)
        self.events = read_events(os.path.join(self.folder, "dVarnok.events"))
        self.check_dumps()
        self.check_logs()
        return self


def read_events(path):
    events = []
    if not os.path.exists(path):
        return events
    with open(path, encoding="ascii", errors="replace") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 4:
                continue
            if len(fields) < 5:
                continue
            event = {"seq": int(fields[0]), "ms": int(fields[1]), "tid": fields[2], "kind": fields[3],
                     "name": fields[4]}
            if fields[3] == "E" and len(fields) >= 10:
                event.update(a=int(fields[5]), b=int(fields[6]), c=int(fields[7]),
                             t1=decode(fields[8]), t2=decode(fields[9]))
            elif fields[3] == "C":
                event["name"] = " ".join(fields[4:])
            events.append(event)
    events.sort(key=lambda e: e["seq"])
    return events


def decode(hexed):
    if hexed == "-":
        return ""
    units = bytes.fromhex(hexed)
    return units.decode("utf-16-be", errors="replace")


# How long before a log closes a line of another engine thread may still be on its way.
RACE_MS = 25


def cp936_round_trip(text):
    return text.encode("gbk", errors="replace").decode("gbk", errors="replace")


def expected_line(event):
    name, a, b, c = event["name"], event["a"], event["b"], event["c"]
    if name == "USendMsgInfo":
        line = "HNDA:USendMsgInfo:%d, %d, %s, %s" % (a, b, event["t1"], event["t2"])
        level = {0: 3, 1: 2, 2: 1, 3: 1}.get(b, 0)
    elif name == "UShowProgress":
        line, level = "HNDA:UShowProgress:%d, %d, %d" % (a, b, c), 1
    elif name == "UTestStatus":
        line = "HNDA:UTestStatus:%d, %d, %d" % (a, b, c)
        level = {1: 1, 2: 1, 4: 1, 3: 3}.get(c, 0)
    elif name == "UMonitorStatus":
        line, level = "HNDA:UMonitorStatus:%d, %d, %s" % (a, b, event["t1"]), 1
    else:
        if b == 2:
            line = "HNDA:UCheckdataStatus:%d, %d, Verify data file OK!" % (a, b)
        else:
            line = "HNDA:UCheckdataStatus:%d, %d, %s" % (a, b, event["t1"])
        level = {0: 1, 1: 1, 2: 1, 3: 3}.get(b, 0)
    return level, cp936_round_trip(line)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--seeds", default="1:10")
    parser.add_argument("--keep", action="store_true", help="keep the folders of passing runs")
    parser.add_argument("--harness-share", type=float, default=0.3,
                        help="share of the seeds that run the console harness instead of the window")
    args = parser.parse_args()
    first, count = (int(v) for v in args.seeds.split(":"))
    os.makedirs(args.work, exist_ok=True)
    probe = Probe(os.path.join(args.bin, "tarnvel_window_probe.exe"))
    totals = {"runs": 0, "passed": 0, "failed": 0, "crashes": 0, "hangs": 0, "lines expected": 0,
              "lines lost": 0, "failure lines lost": 0, "state checks": 0, "events": 0, "harness runs": 0}
    for seed in range(first, first + count):
        harness = random.Random(-seed).random() < args.harness_share
        run = (HarnessRun if harness else Run)(seed, args.bin, args.work, probe)
        started = time.time()
        try:
            run.execute()
        except Exception as error:  # the driver's own trouble is a failed run too, not an abort
            run.problems.append("driver: %r" % error)
            if getattr(run, "process", None) and run.process.poll() is None:
                wine("taskkill", "/f", "/im", EXE)
        totals["runs"] += 1
        totals["harness runs"] += harness
        totals["crashes"] += any(p.startswith("crash") for p in run.problems)
        totals["hangs"] += any(p.startswith("hang") for p in run.problems)
        totals["lines expected"] += getattr(run, "expected", 0)
        totals["lines lost"] += getattr(run, "lost", 0)
        totals["failure lines lost"] += getattr(run, "failure_lines_lost", 0)
        totals["state checks"] += getattr(run, "state_checked", False)
        totals["events"] += len(getattr(run, "events", []))
        verdict = "ok" if not run.problems else "FAILED"
        totals["passed" if not run.problems else "failed"] += 1
        print("seed %d (%s): %s in %.1f s, %d events, %d actions%s%s" % (
            seed, "harness" if harness else "window", verdict, time.time() - started, len(getattr(run, "events", [])), len(run.actions),
            "".join("; " + p for p in run.problems), "".join(" (" + n + ")" for n in run.notes)), flush=True)
        if not run.problems and not args.keep:
            shutil.rmtree(run.folder, ignore_errors=True)
    print("fault runs: " + ", ".join("%s %d" % item for item in totals.items()))
    print("%d passed, %d failed" % (totals["passed"], totals["failed"]))
    return 1 if totals["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
