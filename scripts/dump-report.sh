#!/usr/bin/env bash
# Reads a crash dump of the program (DumpLog\<seconds>.dmp from a user, x86 or x64) and prints the
# exception, where it happened, the crashing thread's stack with function names and source lines,
# and the loaded modules with their versions:
#   ./scripts/dump-report.sh <file.dmp> [symbols]
# The symbols are found in the build tree and in out/release/ by default; for a release built
# elsewhere, pass its kept symbols file (TarnVel-Download-Assistant-<version>.debug) or its folder.
exec /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/../tools/dump-report/dump_report.py" "$@"
