#!/usr/bin/env python3
"""scripts/dump-report.sh on the dumps that the crash tests leave in the build tree's scratch folder
(app_process_tests: a crashing updater on the main thread and on a thread of its own;
app_shell_tests: a C++ exception nobody catches on a thread; download_controller_tests: the engine
host's dumps of an engine that crashes and of one that overflows its stack), on a 32-bit dump made here from the i686 build, and on
files that are no dumps.

    dump_report_test.py --build <x86_64 build tree> --i686-bin <i686 bin folder> --scratch <folder>
"""
import argparse
import shutil
import struct
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SCRIPT = ROOT / "scripts" / "dump-report.sh"

failures = []


def check(what, condition, detail=""):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)
        if detail:
            print(detail)


def line_of(source, text, after=None):
    """The line number of the first line holding text (after the line holding `after`)."""
    lines = (ROOT / source).read_text(encoding="utf-8").splitlines()
    start = next(i for i, line in enumerate(lines) if after in line) if after else 0
    return next(i + 1 for i, line in enumerate(lines) if i >= start and text in line)


def run(*arguments, env=None):
    return subprocess.run(["bash", str(SCRIPT), *map(str, arguments)], capture_output=True, text=True, env=env)


def the_dump(folder):
    dumps = sorted(Path(folder).glob("DumpLog/*.dmp"))
    if len(dumps) != 1:
        raise SystemExit("expected one dump in %s/DumpLog (the crash tests make it), found %d" % (folder, len(dumps)))
    return dumps[0]


def field(report, name):
    return next((line for line in report.splitlines() if line.startswith(name + ":")), "")


def check_crash_report(what, dump, function, place, also=()):
    result = run(dump)
    report = result.stdout
    check(what + ": the report is made", result.returncode == 0 and not result.stderr, result.stderr)
    at = field(report, "At")
    check(what + ": an access violation", "0xC0000005 EXCEPTION_ACCESS_VIOLATION (writing address 0x"
          in field(report, "Exception"), report)
    check(what + ": at %s in %s" % (function, place),
          "Renewkit.dll+0x" in at and "%s at %s" % (function, place) in at, report)
    for text in also:
        check(what + ": the stack names " + text, text in report.split("Stack of", 1)[-1], report)
    check(what + ": the modules show the program with its version",
          any("TarnVel Download Assistant.exe" in line and "2.6.0" in line for line in report.splitlines()), report)
    return report


def make_x86_dump(path, module, module_name, fault_rva, return_rva):
    """A minimal 32-bit dump: system info, an access violation, one thread whose stack holds one
    return address, one module (the i686 file given, placed at 0x10000000)."""
    data = Path(module).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    stamp = struct.unpack_from("<I", data, pe + 8)[0]
    size = struct.unpack_from("<I", data, pe + 24 + 56)[0]
    base, stack_base = 0x10000000, 0x0022F000
    stack = bytearray(0x100)
    struct.pack_into("<I", stack, 0x10, base + return_rva)
    context = bytearray(0x2CC)
    struct.pack_into("<I", context, 0xB8, base + fault_rva)  # Eip
    struct.pack_into("<I", context, 0xC4, stack_base)  # Esp
    name = module_name.encode("utf-16-le")

    blobs = bytearray()
    first = 32 + 12 * 5  # after the header and a directory of five streams

    def place(blob):
        at = first + len(blobs)
        blobs.extend(blob)
        return at, len(blob)

    context_at, _ = place(context)
    stack_at, _ = place(stack)
    name_at, _ = place(struct.pack("<I", len(name)) + name)
    streams = [
        (7, place(struct.pack("<HHHBBIIII", 0, 6, 0, 1, 1, 6, 1, 7601, 2) + bytes(32))),
        (6, place(struct.pack("<IIIIQQII", 1, 0, 0xC0000005, 0, 0, base + fault_rva, 2, 0) +
                  struct.pack("<15Q", 1, 0, *([0] * 13)) + struct.pack("<II", len(context), context_at))),
        (3, place(struct.pack("<I", 1) + struct.pack("<IIIIQQIIII", 1, 0, 0, 0, 0, stack_base, len(stack), stack_at,
                                                     len(context), context_at))),
        (4, place(struct.pack("<I", 1) + struct.pack("<QIIII", base, size, 0, stamp, name_at) +
                  struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x20006, 0xA0, 0x20006, 0xA0, 0, 0, 4, 2, 0, 0, 0) +
                  bytes(32))),
        (5, place(struct.pack("<I", 0))),
    ]
    header = b"MDMP" + struct.pack("<IIIIIQ", 0xA793, len(streams), 32, 0, 0x5F000000, 0)
    directory = b"".join(struct.pack("<III", kind, length, at) for kind, (at, length) in streams)
    Path(path).write_bytes(header + directory + bytes(blobs))


def call_return_rva(module, function):
    """The relative address after the first call instruction in the function of an i686 file."""
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn", str(module)],
                          capture_output=True, text=True, check=True).stdout
    inside, after_call = False, False
    for line in dump.splitlines():
        if line.endswith(">:"):
            inside = line.endswith(function + ">:")
            continue
        parts = line.split(":", 1)
        if inside and len(parts) == 2 and parts[0].strip():
            if after_call:
                return int(parts[0], 16) - image_base_of(module)
            after_call = parts[1].split()[:1] == ["call"]
    raise SystemExit("no call found in %s of %s" % (function, module))


def image_base_of(module):
    data = Path(module).read_bytes()
    return struct.unpack_from("<I", data, struct.unpack_from("<I", data, 0x3C)[0] + 24 + 28)[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--i686-bin", required=True)
    parser.add_argument("--scratch", required=True)
    args = parser.parse_args()
    build = Path(args.build)
    scratch = Path(args.scratch)
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.mkdir(parents=True)
    crashes = build / "test-scratch"
    crash_line = line_of("stand-ins/renewkit/renewkit.cpp", "*target = 1;")

    main_dump = the_dump(crashes / "app_process" / "CrashOnMainThreadWritesOneDump")
    check_crash_report("main thread", main_dump, "Crash", "stand-ins/renewkit/renewkit.cpp:%d" % crash_line,
                       also=("src/app/update_check.cpp:", "src/app/main.cpp:"))
    check_crash_report("another thread", the_dump(crashes / "app_process" / "CrashOnAnotherThreadWritesOneDump"),
                       "Crash", "stand-ins/renewkit/renewkit.cpp:%d" % crash_line, also=("CrashingThread",))

    throw_line = line_of("tests/app/uncaught_exception_child.cpp", "throw", after="std::thread")
    result = run(the_dump(crashes / "uncaught_exception" / "thread"))
    check("uncaught exception: named as such", "0xE0544E54 an uncaught C++ exception" in result.stdout, result.stdout)
    check("uncaught exception: the stack names the throw at uncaught_exception_child.cpp:%d" % throw_line,
          "tests/app/uncaught_exception_child.cpp:%d" % throw_line in result.stdout, result.stdout)

    # The engine host's own dumps, left by the controller's tests of an engine that crashes
    # mid-download: one writes through a null pointer, one overflows its stack.
    host_dumps = sorted((build / "bin" / "sim-controller" / "DumpLog").glob("engine-host-*.dmp"),
                        key=lambda path: path.stat().st_mtime)
    reports = [run(dump).stdout for dump in host_dumps]
    for what, exception in (("an access violation", "0xC0000005 EXCEPTION_ACCESS_VIOLATION"),
                            ("a stack overflow", "0xC00000FD EXCEPTION_STACK_OVERFLOW (a stack overflow")):
        found = [report for report in reports if exception in field(report, "Exception")]
        check("engine host: %s in the engine left a dump" % what, bool(found), "\n".join(reports))
        if found:
            report = found[-1]
            check("engine host: %s named in the engine" % what, "dVarnok.dll+0x" in field(report, "At"), report)
            check("engine host: the modules show the host with its symbols",
                  any("TarnVel Engine Host.exe" in line and "symbols:" in line for line in report.splitlines()),
                  report)

    # Symbols kept apart, as a release keeps them: found through the argument, not the build tree.
    renewkit = build / "bin" / "renewkit_crash_in_initialize.dll"
    pe = renewkit.read_bytes()
    stamp = struct.unpack_from("<I", pe, struct.unpack_from("<I", pe, 0x3C)[0] + 8)[0]
    kept = scratch / "kept" / "renewkit.debug"
    kept.parent.mkdir()
    subprocess.run(["x86_64-w64-mingw32-objcopy", "--only-keep-debug", str(renewkit), str(kept)], check=True,
                   env={"PATH": "/usr/bin:/bin", "SOURCE_DATE_EPOCH": str(stamp)})
    elsewhere = {"PATH": "/usr/bin:/bin", "TARNVEL_BUILD_ROOT": str(scratch / "no-build")}
    result = run(main_dump, kept.parent, env=elsewhere)
    check("kept symbols: the crash is named from the symbols given",
          "renewkit.cpp:%d" % crash_line in field(result.stdout, "At") and "kept/renewkit.debug" in result.stdout,
          result.stdout + result.stderr)

    # Files that are no dumps: one line saying why, a non-zero exit, no traceback.
    truncated = scratch / "truncated.dmp"
    truncated.write_bytes(main_dump.read_bytes()[:3000])
    foreign = build / "bin" / "TarnVel Download Assistant.exe"
    for what, path, reason in (("a truncated dump", truncated, "truncated"), ("a program", foreign, "not a minidump"),
                               ("a missing file", scratch / "none.dmp", "cannot be read")):
        result = run(path)
        lines = result.stderr.splitlines()
        check("%s: exit code 1 and one line saying %s" % (what, reason),
              result.returncode == 1 and len(lines) == 1 and reason in lines[0] and not result.stdout,
              "exit code %d, stderr:\n%s" % (result.returncode, result.stderr))

    # A 32-bit dump of the i686 build's crashing updater.
    i686 = Path(args.i686_bin) / "renewkit_crash_in_initialize.dll"
    if not i686.is_file():
        check("x86 dump: the i686 build is there (%s)" % i686, False)
        return finish()
    x86_dump = scratch / "x86.dmp"
    names = subprocess.run(["i686-w64-mingw32-nm", str(i686)], capture_output=True, text=True).stdout
    initialize = next(int(l.split()[0], 16) for l in names.splitlines() if l.endswith(" T _InitializeResource"))
    image_base = image_base_of(i686)
    return_rva = call_return_rva(i686, "InitializeResource")
    make_x86_dump(x86_dump, i686, "C:\\x86\\Renewkit.dll", initialize - image_base, return_rva)
    result = run(x86_dump, Path(args.i686_bin))
    report = result.stdout
    check("x86 dump: read as x86", result.returncode == 0 and "Process:   x86" in report, report + result.stderr)
    check("x86 dump: the fault named from the i686 symbols",
          "Renewkit.dll+0x%x" % (initialize - image_base) in field(report, "At") and "InitializeResource" in
          field(report, "At"), report)
    check("x86 dump: the scanned return address named", "  #1  Renewkit.dll+0x%x" % return_rva in report, report)

    return finish()


def finish():
    if failures:
        print("dump report test: %d check(s) failed" % len(failures))
        return 1
    print("dump report test: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
