#!/usr/bin/env bash
# The test command: sets the machine up, builds both presets, runs the plain C++ parts under the
# sanitizers and the fuzzers, every x86_64 test under wine64 on a private virtual display, then the
# i686 stage in 32-bit Wine. Every stage runs even when an earlier one failed (the tests of a build
# that failed excepted), and the end says how each went. Arguments go to the x86_64 CTest run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
./scripts/setup.sh

results=()
status=0
# stage <name> <command...>: runs it, notes how it went; its failure fails the whole run.
stage() {
    local name="$1" started=$SECONDS code=0
    shift
    echo "=== $name"
    "$@" || code=$?
    if [ "$code" -eq 0 ]; then
        results+=("$name: passed ($((SECONDS - started)) s)")
    else
        results+=("$name: FAILED, exit code $code ($((SECONDS - started)) s)")
        status=1
    fi
    return "$code"
}

built_x64=0 built_i686=0
stage "build mingw-x86_64" ./scripts/build.sh mingw-x86_64 && built_x64=1
stage "build mingw-i686" ./scripts/build.sh mingw-i686 && built_i686=1
stage "sanitizers and fuzzers (native)" ./native/check.sh || true
if ((built_x64)); then
    stage "x86_64 tests (wine64)" ./scripts/run-tests.sh "$@" || true
else
    results+=("x86_64 tests (wine64): not run, the build failed")
fi
skip_reason=""
skip_reason="$(./scripts/host-runs-i386.sh)" || true
if ((built_i686 && built_x64)); then
    # Where the host runs no 32-bit programs, every test of the stage is skipped: it is not "passed".
    if stage "i686 stage (wine32)" ./scripts/run-i686-tests.sh && [ -n "$skip_reason" ]; then
        results[-1]="i686 stage (wine32): skipped, $skip_reason"
    fi
else
    results+=("i686 stage (wine32): not run, a build failed")
fi

echo
echo "=== How each stage went"
printf '%s\n' "${results[@]}"
exit "$status"
