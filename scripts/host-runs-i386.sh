#!/usr/bin/env bash
# Does this host's kernel run 32-bit x86 programs? Some hosts of this machine kind switch the
# kernel's IA-32 emulation off, and then no i386 program starts, Wine's included.
#
#   scripts/host-runs-i386.sh    exit 0: it does (or the check could not tell);
#                                exit 77: it does not, with the reason as one line on stdout.
#
# Executes a 93-byte i386 program that only exits. Only the kernel's refusal (ENOEXEC) counts as
# "does not": any other failure lets the stage run and tell its own truth.
set -euo pipefail
# The answer of a check made earlier in this run (scripts/run-i686-tests.sh).
if [ -n "${TARNVEL_NO_I386:-}" ]; then
    echo "$TARNVEL_NO_I386"
    exit 77
fi
exec python3 - "${TARNVEL_BUILD_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}" <<'EOF'
import errno, os, re, struct, subprocess, sys, tempfile

code = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])  # mov eax, 1 (exit); xor ebx, ebx; int 0x80
base = 0x08048000
size = 52 + 32 + len(code)
elf = (b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)
       + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
       + struct.pack("<8I", 1, 0, base, base, size, size, 5, 0x1000) + code)

# Beside the build rather than in /tmp, which may be mounted noexec.
folder = sys.argv[1] if os.path.isdir(sys.argv[1]) else None
with tempfile.TemporaryDirectory(prefix="i386-check.", dir=folder) as scratch:
    path = os.path.join(scratch, "exit0")
    with open(path, "wb") as out:
        out.write(elf)
    os.chmod(path, 0o755)
    try:
        subprocess.run([path], check=False, timeout=10)
    except OSError as error:
        if error.errno != errno.ENOEXEC:
            print("i386 check: could not tell (%s); the stage runs" % error, file=sys.stderr)
            sys.exit(0)
        words = ""
        try:
            log = subprocess.run(["dmesg"], capture_output=True, text=True, timeout=10).stdout
            found = [line for line in log.splitlines() if re.search(r"IA-?32|ia32", line)]
            if found:
                words = "; kernel: \"%s\"" % re.sub(r"^\[[^]]*\]\s*", "", found[0])
        except (OSError, subprocess.SubprocessError):
            pass
        print("this host's kernel does not run 32-bit programs (an i386 program gets \"%s\"%s)"
              % (os.strerror(error.errno), words))
        sys.exit(77)
EOF
