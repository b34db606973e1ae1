#!/usr/bin/env bash
# Configures and builds the given presets (default: both).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
presets=("$@")
((${#presets[@]})) || presets=(mingw-x86_64 mingw-i686)
for preset in "${presets[@]}"; do
    [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
