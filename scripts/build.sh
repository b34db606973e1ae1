#!/usr/bin/env bash
# Configures and builds the given presets (default: both) into $TARNVEL_BUILD_ROOT/<preset>
# (default: build/<preset>).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_root="${TARNVEL_BUILD_ROOT:-$PWD/build}"
presets=("$@")
((${#presets[@]})) || presets=(mingw-x86_64 mingw-i686)
for preset in "${presets[@]}"; do
    [ -f "$build_root/$preset/CMakeCache.txt" ] || cmake --preset "$preset" -B "$build_root/$preset" >/dev/null
    cmake --build "$build_root/$preset" -j2
done
