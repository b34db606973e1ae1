#!/usr/bin/env bash
# A long series of fault runs on a Wine prefix and virtual display of its own, so that it can
# run beside the tests:   tests/fault/run_local.sh <first seed>:<count> [fault_runs.py options]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
build_root="${TARNVEL_BUILD_ROOT:-$PWD/build}"
export TARNVEL_WINEPREFIX="${TARNVEL_FAULT_WINEPREFIX:-$build_root/fault-wine}"
source scripts/env.sh
scripts/wine-prefix.sh
source scripts/virtual-display.sh
tarnvel_start_virtual_display 1280x800x24
/usr/bin/python3 tests/fault/fault_runs.py --bin "$build_root/mingw-x86_64/bin" \
    --work "$build_root/fault-runs-local" --seeds "${1:-1:1000}" "${@:2}"
