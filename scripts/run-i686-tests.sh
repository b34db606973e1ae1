#!/usr/bin/env bash
# The i686 stage: the 32-bit build's tests in a real 32-bit Wine (scripts/wine32-run.sh, whose
# environment the first test sets up when it is not there yet). Arguments go to CTest. Expects
# finished builds of both presets (the harness test compares with the x86_64 run).
#
# On a host whose kernel runs no 32-bit programs, every test of the stage is skipped within a
# second, and the last line says so in the kernel's words; the exit status is then CTest's (0).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_root="${TARNVEL_BUILD_ROOT:-$PWD/build}"
status=0
reason="$(scripts/host-runs-i386.sh)" || status=$?
[ "$status" -eq 77 ] || reason=""
[ -z "$reason" ] || export TARNVEL_NO_I386="$reason" # each test skips at once
ctest_status=0
ctest --test-dir "$build_root/mingw-i686" -L i686 --output-on-failure "$@" || ctest_status=$?
if [ -n "$reason" ]; then
    echo "i686 stage skipped: $reason."
fi
exit "$ctest_status"
