#!/usr/bin/env bash
# The i686 stage: the 32-bit build's tests in a real 32-bit Wine (scripts/wine32-run.sh, whose
# environment the first test sets up when it is not there yet). Arguments go to CTest. Expects
# finished builds of both presets (the harness test compares with the x86_64 run).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_root="${TARNVEL_BUILD_ROOT:-$PWD/build}"
exec ctest --test-dir "$build_root/mingw-i686" -L i686 --output-on-failure "$@"
