#!/usr/bin/env python3
"""Turns a minidump of the program (DumpLog\\<seconds>.dmp, x86 or x64) into a readable report:
the exception and where it happened, the crashing thread's stack, the loaded modules.

    dump_report.py <file.dmp> [symbols file or folder]

Reads the documented minidump streams (system info, exception, thread list, module list, memory
list and Memory64 list) and nothing else. Function names and source lines come from the MinGW
addr2line for the modules whose symbols are found: by default the build tree's programs and
DLLs and the kept release symbols in out/release/, or the file or folder given. A module's
symbols are recognised by the link time stamp in its PE header, which the release packaging
keeps on both the stripped program and its symbols file.

The dumps carry no unwind data, so the stack is found by a scan: the words on the crashing
thread's stack that point just after a call instruction in a module with symbols.
"""
import bisect
import datetime
import os
import shutil
import struct
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
# The name the compilers give the source tree in the debug information, wherever it was built
# (cmake/Reproducible.cmake).
BUILT_SOURCE_ROOT = "/tarnvel/"

STREAM_THREAD_LIST = 3
STREAM_MODULE_LIST = 4
STREAM_MEMORY_LIST = 5
STREAM_EXCEPTION = 6
STREAM_SYSTEM_INFO = 7
STREAM_MEMORY64_LIST = 9

ARCH_X86 = 0
ARCH_AMD64 = 9

EXCEPTION_NAMES = {
    0x80000003: "EXCEPTION_BREAKPOINT",
    0x80000004: "EXCEPTION_SINGLE_STEP",
    0xC0000005: "EXCEPTION_ACCESS_VIOLATION",
    0xC0000006: "EXCEPTION_IN_PAGE_ERROR",
    0xC0000008: "EXCEPTION_INVALID_HANDLE",
    0xC000001D: "EXCEPTION_ILLEGAL_INSTRUCTION",
    0xC0000025: "EXCEPTION_NONCONTINUABLE_EXCEPTION",
    0xC0000026: "EXCEPTION_INVALID_DISPOSITION",
    0xC000008C: "EXCEPTION_ARRAY_BOUNDS_EXCEEDED",
    0xC000008D: "EXCEPTION_FLT_DENORMAL_OPERAND",
    0xC000008E: "EXCEPTION_FLT_DIVIDE_BY_ZERO",
    0xC000008F: "EXCEPTION_FLT_INEXACT_RESULT",
    0xC0000090: "EXCEPTION_FLT_INVALID_OPERATION",
    0xC0000091: "EXCEPTION_FLT_OVERFLOW",
    0xC0000092: "EXCEPTION_FLT_STACK_CHECK",
    0xC0000093: "EXCEPTION_FLT_UNDERFLOW",
    0xC0000094: "EXCEPTION_INT_DIVIDE_BY_ZERO",
    0xC0000095: "EXCEPTION_INT_OVERFLOW",
    0xC0000096: "EXCEPTION_PRIV_INSTRUCTION",
    0xC00000FD: "EXCEPTION_STACK_OVERFLOW",
    0xC0000374: "STATUS_HEAP_CORRUPTION",
    0xC0000409: "STATUS_STACK_BUFFER_OVERRUN",
    0xC0000417: "STATUS_INVALID_CRUNTIME_PARAMETER",
    0x20474343: "a C++ exception thrown by GCC's runtime",
    0xE06D7363: "a C++ exception thrown by Visual C++'s runtime",
    # The program's crash handler records an uncaught C++ exception with a code of its own.
    0xE0544E54: "an uncaught C++ exception (std::terminate)",
}


class DumpError(Exception):
    """A file that is not a minidump this script can read; the message says why."""


class Dump:
    def __init__(self, data):
        self.data = data
        if len(data) < 32 or data[:4] != b"MDMP":
            raise DumpError("not a minidump: it does not start with the signature MDMP")
        version, count, directory, _, stamp = struct.unpack_from("<IIIII", data, 4)
        if version & 0xFFFF != 0xA793:
            raise DumpError("not a minidump: unknown format version 0x%04x" % (version & 0xFFFF))
        self.time = stamp
        self.streams = {}
        for i in range(count):
            kind, size, rva = self.unpack("<III", directory + 12 * i, "the stream directory")
            if rva + size > len(data):
                raise DumpError("truncated: stream %d (type %d) ends at byte %d of %d"
                                % (i, kind, rva + size, len(data)))
            self.streams.setdefault(kind, (rva, size))

    def unpack(self, layout, offset, what):
        if offset < 0 or offset + struct.calcsize(layout) > len(self.data):
            raise DumpError("truncated: %s lies past the end of the file (%d bytes)" % (what, len(self.data)))
        return struct.unpack_from(layout, self.data, offset)

    def chunk(self, offset, size, what):
        if offset < 0 or offset + size > len(self.data):
            raise DumpError("truncated: %s lies past the end of the file (%d bytes)" % (what, len(self.data)))
        return self.data[offset:offset + size]

    def stream(self, kind):
        return self.streams.get(kind)

    def string(self, rva):
        (length,) = self.unpack("<I", rva, "a module name")
        return self.chunk(rva + 4, length, "a module name").decode("utf-16-le", "replace")


class Module:
    def __init__(self, base, size, checksum, stamp, name, version):
        self.base, self.size, self.checksum, self.stamp = base, size, checksum, stamp
        self.name, self.version = name, version
        self.basename = name.replace("/", "\\").rsplit("\\", 1)[-1]
        self.symbols = None

    def contains(self, address):
        return self.base <= address < self.base + self.size


class Thread:
    def __init__(self, tid, stack_start, stack_size, stack_rva, context_rva, context_size):
        self.tid = tid
        self.stack = (stack_start, stack_size, stack_rva)
        self.context = (context_rva, context_size)


class Crash:
    """Everything the report needs, read from the streams."""

    def __init__(self, dump):
        self.dump = dump
        self.read_system()
        self.read_exception()
        self.read_threads()
        self.read_modules()
        self.read_memory()
        self.read_context()

    def read_system(self):
        self.arch = None
        self.os_version = None
        found = self.dump.stream(STREAM_SYSTEM_INFO)
        if found:
            arch, = self.dump.unpack("<H", found[0], "the system info")
            major, minor, build = self.dump.unpack("<III", found[0] + 8, "the system info")
            self.arch = arch
            self.os_version = "%d.%d.%d" % (major, minor, build)

    def read_exception(self):
        found = self.dump.stream(STREAM_EXCEPTION)
        if not found:
            raise DumpError("the dump holds no exception record, so it tells of no crash")
        rva = found[0]
        self.thread_id, = self.dump.unpack("<I", rva, "the exception")
        self.code, self.flags, _, self.address, count = self.dump.unpack("<IIQQI", rva + 8, "the exception")
        self.parameters = self.dump.unpack("<15Q", rva + 40, "the exception")[:min(count, 15)]
        self.context_location = self.dump.unpack("<II", rva + 160, "the exception")

    def read_threads(self):
        self.threads = {}
        found = self.dump.stream(STREAM_THREAD_LIST)
        if not found:
            return
        count, = self.dump.unpack("<I", found[0], "the thread list")
        for i in range(count):
            fields = self.dump.unpack("<IIIIQQIIII", found[0] + 4 + 48 * i, "the thread list")
            tid, (start, size, rva, context_size, context_rva) = fields[0], fields[5:]
            self.threads[tid] = Thread(tid, start, size, rva, context_rva, context_size)

    def read_modules(self):
        self.modules = []
        found = self.dump.stream(STREAM_MODULE_LIST)
        if not found:
            return
        count, = self.dump.unpack("<I", found[0], "the module list")
        for i in range(count):
            at = found[0] + 4 + 108 * i
            base, size, checksum, stamp, name_rva = self.dump.unpack("<QIIII", at, "the module list")
            info = self.dump.unpack("<13I", at + 24, "the module list")
            version = None
            if info[0] == 0xFEEF04BD:
                version = "%d.%d.%d.%d" % (info[2] >> 16, info[2] & 0xFFFF, info[3] >> 16, info[3] & 0xFFFF)
            self.modules.append(Module(base, size, checksum, stamp, self.dump.string(name_rva), version))
        self.modules.sort(key=lambda m: m.base)

    def read_memory(self):
        self.memory = []  # (start, size, file offset)
        found = self.dump.stream(STREAM_MEMORY_LIST)
        if found:
            count, = self.dump.unpack("<I", found[0], "the memory list")
            for i in range(count):
                start, size, rva = self.dump.unpack("<QII", found[0] + 4 + 16 * i, "the memory list")
                self.memory.append((start, size, rva))
        found = self.dump.stream(STREAM_MEMORY64_LIST)
        if found:
            count, rva = self.dump.unpack("<QQ", found[0], "the Memory64 list")
            for i in range(count):
                start, size = self.dump.unpack("<QQ", found[0] + 16 + 16 * i, "the Memory64 list")
                self.memory.append((start, size, rva))
                rva += size
        for thread in self.threads.values():
            self.memory.append(thread.stack)
        for start, size, rva in self.memory:
            if rva + size > len(self.dump.data):
                raise DumpError("truncated: the memory at 0x%x lies past the end of the file" % start)

    def read_context(self):
        size, rva = self.context_location
        if self.arch is None:
            self.arch = ARCH_AMD64 if size >= 0x4D0 else ARCH_X86
        if self.arch == ARCH_AMD64:
            self.sp, = self.dump.unpack("<Q", rva + 0x98, "the exception's context")
            self.ip, = self.dump.unpack("<Q", rva + 0xF8, "the exception's context")
            self.word = 8
        elif self.arch == ARCH_X86:
            self.sp, = self.dump.unpack("<I", rva + 0xC4, "the exception's context")
            self.ip, = self.dump.unpack("<I", rva + 0xB8, "the exception's context")
            self.word = 4
        else:
            raise DumpError("a dump of a processor this script does not know (architecture %d)" % self.arch)

    def module_at(self, address):
        for module in self.modules:
            if module.contains(address):
                return module
        return None

    def stack_words(self):
        """(address, value) of each aligned word from the stack pointer up to the stack's end."""
        for start, size, rva in self.memory:
            if start <= self.sp < start + size:
                first = self.sp - (self.sp - start) % self.word
                layout = "<Q" if self.word == 8 else "<I"
                for address in range(first, start + size - self.word + 1, self.word):
                    yield address, struct.unpack_from(layout, self.dump.data, rva + address - start)[0]
                return


class SymbolFile:
    """A PE file (program, DLL or the debug file kept beside a release) as addr2line reads it."""

    def __init__(self, path, machine, stamp, checksum, image_base, size, sections):
        self.path, self.machine, self.stamp, self.checksum = path, machine, stamp, checksum
        self.image_base, self.size, self.sections = image_base, size, sections
        self.code = None

    @staticmethod
    def open(path):
        try:
            with open(path, "rb") as f:
                return SymbolFile.parse(Path(path), f.read(4096))
        except (OSError, struct.error):
            return None

    @staticmethod
    def parse(path, head):
        if len(head) < 0x40 or head[:2] != b"MZ":
            return None
        pe = struct.unpack_from("<I", head, 0x3C)[0]
        if pe + 24 > len(head) or head[pe:pe + 4] != b"PE\0\0":
            return None
        machine, count, stamp = struct.unpack_from("<HHI", head, pe + 4)
        optional_size = struct.unpack_from("<H", head, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", head, optional)[0]
        if magic == 0x20B:
            image_base = struct.unpack_from("<Q", head, optional + 24)[0]
        elif magic == 0x10B:
            image_base = struct.unpack_from("<I", head, optional + 28)[0]
        else:
            return None
        size, _, checksum = struct.unpack_from("<III", head, optional + 56)
        sections = []
        for i in range(count):
            at = optional + optional_size + 40 * i
            if at + 40 > len(head):
                break
            vsize, va, raw_size, raw = struct.unpack_from("<IIII", head, at + 8)
            flags = struct.unpack_from("<I", head, at + 36)[0]
            sections.append((va, max(vsize, raw_size), raw, raw_size, bool(flags & 0x20000020)))
        return SymbolFile(path, machine, stamp, checksum, image_base, size, sections)

    def code_before(self, rva, count):
        """The count bytes before rva in an executable section; None when the file lacks them."""
        for va, vsize, raw, raw_size, executable in self.sections:
            if va <= rva < va + vsize:
                if not executable:
                    return b""
                if rva - count < va:
                    return b""
                if rva - va > raw_size:
                    return None
                if self.code is None:
                    self.code = self.path.read_bytes()
                offset = raw + rva - va
                return self.code[offset - count:offset]
        return b""


def follows_call(code):
    """Whether code (the 7 bytes before a return address) ends with a call instruction."""
    if code[-5] == 0xE8:
        return True
    for length in range(2, 8):
        if code[-length] != 0xFF:
            continue
        modrm = code[-length + 1]
        if (modrm >> 3) & 7 != 2:
            continue
        mod, rm = modrm >> 6, modrm & 7
        expected = 2
        if mod != 3 and rm == 4:
            expected += 1
            if mod == 0 and code[-length + 2] & 7 == 5:
                expected += 4
        if mod == 0 and rm == 5:
            expected += 4
        elif mod == 1:
            expected += 1
        elif mod == 2:
            expected += 4
        if expected == length:
            return True
    return False


def symbol_candidates(arch, given):
    """The PE files whose symbols may serve: the one(s) given first, then the build tree's."""
    places = []
    if given:
        places.append(Path(given))
    build_root = Path(os.environ.get("TARNVEL_BUILD_ROOT", ROOT / "build"))
    places.append(build_root / ("mingw-x86_64" if arch == ARCH_AMD64 else "mingw-i686") / "bin")
    places.append(ROOT / "out" / "release")
    files = []
    for place in places:
        if place.is_file():
            files.append(place)
        elif place.is_dir():
            files.extend(sorted(p for p in place.rglob("*") if p.suffix.lower() in (".exe", ".dll", ".debug")))
    machine = 0x8664 if arch == ARCH_AMD64 else 0x14C
    found = []
    for path in files:
        symbols = SymbolFile.open(path)
        if symbols and symbols.machine == machine:
            found.append(symbols)
    return found


def match_symbols(modules, candidates):
    """Gives each module the file with its link time stamp: the very file that was loaded (same
    image size and checksum), else one at least as large (a stripped program's symbols file)."""
    for module in modules:
        same = [c for c in candidates if c.stamp == module.stamp and c.size >= module.size]
        exact = [c for c in same if c.size == module.size and c.checksum == module.checksum]
        module.symbols = (exact or same or [None])[0]


class Resolver:
    """Function and file:line of module addresses, through the MinGW addr2line."""

    def __init__(self, arch):
        triple = "x86_64-w64-mingw32" if arch == ARCH_AMD64 else "i686-w64-mingw32"
        self.tool = shutil.which(triple + "-addr2line")
        self.demangler = shutil.which(triple + "-c++filt")
        # The i686 tools expect the target's extra underscore before a mangled name.
        self.prefix = "" if arch == ARCH_AMD64 else "_"
        self.missing = None if self.tool else "%s-addr2line is not installed (binutils-mingw-w64)" % triple
        self.tables = {}
        self.nm = shutil.which(triple + "-nm")

    def resolve(self, module, addresses):
        """{address: [(function, place), ...]} innermost first, for the addresses in module."""
        result = {}
        symbols = module.symbols
        if not symbols or not self.tool:
            return result
        wanted = {symbols.image_base + a - module.base: a for a in addresses}
        output = subprocess.run([self.tool, "-a", "-f", "-i", "-e", str(symbols.path)] +
                                ["0x%x" % v for v in wanted], capture_output=True, text=True).stdout
        # Each address comes back as a line of its own, then function and file:line pairs,
        # innermost inlined function first.
        current = None
        lines = output.splitlines()
        i = 0
        while i < len(lines):
            if lines[i].startswith("0x") and _is_hex(lines[i]) and int(lines[i], 16) in wanted:
                current = wanted[int(lines[i], 16)]
                result[current] = []
                i += 1
                continue
            if current is not None and i + 1 < len(lines):
                function, place = lines[i], lines[i + 1]
                result[current].append((None if function == "??" else function, _short_place(place)))
            i += 2
        # Code without debug information (the runtime's, say) still has its symbol table entry.
        for address, frames in result.items():
            if not frames or frames[0][0] is None:
                name = self.nearest_symbol(symbols, symbols.image_base + address - module.base)
                result[address] = [(name, None)] if name else frames
        return self.demangle(result)

    def nearest_symbol(self, symbols, value):
        if symbols.path not in self.tables:
            table = []
            if self.nm:
                output = subprocess.run([self.nm, "--defined-only", "-n", str(symbols.path)],
                                        capture_output=True, text=True).stdout
                for line in output.splitlines():
                    parts = line.split(" ", 2)
                    if len(parts) == 3 and parts[1] in "Tt" and _is_hex(parts[0]) and not parts[2].startswith("."):
                        table.append((int(parts[0], 16), parts[2][len(self.prefix):] if self.prefix and
                                      parts[2].startswith("__Z") else parts[2]))
            self.tables[symbols.path] = table
        table = self.tables[symbols.path]
        at = bisect.bisect_right(table, (value, "\uffff")) - 1
        if at < 0:
            return None
        start, name = table[at]
        return name if start == value else "%s+0x%x" % (name, value - start)

    def demangle(self, result):
        mangled = sorted({f.split("+0x")[0] for frames in result.values() for f, _ in frames
                          if f and f.startswith("_Z")})
        if not mangled or not self.demangler:
            return result
        output = subprocess.run([self.demangler], input="".join(self.prefix + m + "\n" for m in mangled),
                                capture_output=True, text=True).stdout.splitlines()
        names = dict(zip(mangled, output)) if len(output) == len(mangled) else {}
        def plain(function):
            if not function:
                return function
            name, plus, offset = function.partition("+0x")
            return names.get(name, name) + plus + offset

        return {a: [(plain(f), p) for f, p in frames] for a, frames in result.items()}


def _is_hex(text):
    try:
        int(text, 16)
        return True
    except ValueError:
        return False


def _short_place(place):
    """file:line relative to the source tree when it lies in it; None when the line is unknown."""
    place = place.split(" (discriminator")[0]
    if place.startswith("??") or place.endswith((":?", ":0")):
        return None
    for root in (BUILT_SOURCE_ROOT, str(ROOT) + "/"):
        if place.startswith(root):
            return place[len(root):]
    return place


def exception_text(crash):
    name = EXCEPTION_NAMES.get(crash.code, "unknown exception code")
    text = "0x%08X %s" % (crash.code, name)
    if crash.code == 0xC0000005 and len(crash.parameters) >= 2:
        access = {0: "reading", 1: "writing", 8: "executing"}.get(crash.parameters[0], "accessing")
        text += " (%s address 0x%0*x)" % (access, crash.word * 2, crash.parameters[1])
    elif crash.code == 0xC00000FD:
        text += " (a stack overflow: the thread used up its stack)"
    elif crash.code == 0xC0000409:
        # __fastfail raises this code with the reason as its first parameter (FAST_FAIL_*).
        reason = crash.parameters[0] if crash.parameters else None
        text += " (a fail-fast%s)" % ("" if reason is None else ", reason %d%s" % (
            reason, {2: " FAST_FAIL_STACK_COOKIE_CHECK_FAILURE", 7: " FAST_FAIL_FATAL_APP_EXIT",
                     13: " FAST_FAIL_HEAP_METADATA_CORRUPTION"}.get(reason, "")))
    elif crash.code == 0xC0000374:
        text += " (the heap was found corrupt)"
    return text


def describe(crash, address, names, return_address):
    module = crash.module_at(address)
    if not module:
        return "0x%0*x (in no module)" % (crash.word * 2, address), []
    where = "%s+0x%x" % (module.basename, address - module.base)
    frames = names.get(address - 1 if return_address else address, [])
    lines = []
    for depth, (function, place) in enumerate(frames):
        text = function or "??"
        if place:
            text += " at " + place
        lines.append(text if depth == 0 else "inlined into " + text)
    return where, lines


def report(path, given_symbols):
    try:
        data = Path(path).read_bytes()
    except OSError as error:
        raise DumpError("cannot be read: %s" % (error.strerror or error))
    crash = Crash(Dump(data))

    candidates = symbol_candidates(crash.arch, given_symbols)
    match_symbols(crash.modules, candidates)

    # Frame 0 is where the exception happened; the others are found by scanning the stack.
    frames = [(crash.address, False)]
    scanned = 0
    for _, value in crash.stack_words():
        module = crash.module_at(value)
        if not module or not module.symbols or value - module.base < 8:
            continue
        if value == frames[-1][0]:
            continue  # the same return address again (a captured context holds one, too)
        code = module.symbols.code_before(value - module.base, 7)
        if code is None or (len(code) == 7 and follows_call(code)):
            frames.append((value, True))
            scanned += 1
            if scanned >= 64:
                break

    resolver = Resolver(crash.arch)
    names = {}
    for module in crash.modules:
        wanted = [a - 1 if is_return else a for a, is_return in frames if module.contains(a)]
        if wanted:
            names.update(resolver.resolve(module, wanted))

    arch = {ARCH_AMD64: "x64", ARCH_X86: "x86"}[crash.arch]
    written = datetime.datetime.fromtimestamp(crash.dump.time, datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S UTC")
    out = []
    out.append("Dump:      %s" % path)
    system = ", Windows %s" % crash.os_version if crash.os_version else ""
    out.append("Process:   %s%s, written %s" % (arch, system, written))
    out.append("Exception: %s" % exception_text(crash))
    where, lines = describe(crash, crash.address, names, False)
    out.append("At:        %s%s" % (where, "  " + lines[0] if lines else ""))
    out.append("Thread:    %d (0x%x)" % (crash.thread_id, crash.thread_id))
    out.append("")
    out.append("Stack of the crashing thread (frame 0 from the exception's context; the others by a scan of the")
    out.append("stack for return addresses into modules with symbols, so an old one may show up among them):")
    for number, (address, is_return) in enumerate(frames):
        where, lines = describe(crash, address, names, is_return)
        out.append("  #%-2d %-40s %s" % (number, where, lines[0] if lines else ""))
        out.extend(" " * 47 + line for line in lines[1:])
    out.append("")
    out.append("Modules:")
    for module in crash.modules:
        symbols = ""
        if module.symbols:
            shown = module.symbols.path
            try:
                shown = shown.relative_to(ROOT)
            except ValueError:
                pass
            symbols = "  symbols: %s" % shown
        out.append(("  0x%0*x %-34s %-14s%s" % (crash.word * 2, module.base, module.basename,
                                                 module.version or "no version", symbols)).rstrip())
        if module.basename != module.name:
            out.append("  %s %s" % (" " * (crash.word * 2 + 2), module.name))
    notes = []
    if resolver.missing:
        notes.append("no function names: " + resolver.missing)
    elif not any(m.symbols for m in crash.modules):
        notes.append("no symbols match any module of this dump: pass the symbols file of its release")
    if given_symbols and not any(m.symbols and str(m.symbols.path).startswith(str(Path(given_symbols)))
                                 for m in crash.modules):
        notes.append("%s belongs to no module of this dump (no link time stamp matches)" % given_symbols)
    if notes:
        out.append("")
        out.extend("Note: " + n for n in notes)
    return "\n".join(out)


def main(argv):
    if len(argv) not in (2, 3) or argv[1].startswith("-"):
        sys.stderr.write("usage: dump-report.sh <file.dmp> [symbols file or folder]\n")
        return 64
    path = argv[1]
    try:
        print(report(path, argv[2] if len(argv) == 3 else None))
    except DumpError as error:
        sys.stderr.write("dump-report: %s: %s\n" % (path, error))
        return 1
    except (struct.error, ValueError, IndexError, UnicodeError) as error:
        sys.stderr.write("dump-report: %s: not a minidump this script can read (%s)\n" % (path, error))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
