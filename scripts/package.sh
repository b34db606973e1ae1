#!/usr/bin/env bash
# The release command: builds the 32-bit preset and makes the portable zip and the installer in
# out/release/. Takes the path of the phone maker's engine DLL, which we do not build or ship
# ourselves; the simulated engine of the tests is refused.
#   ./scripts/package.sh <path to the vendor's dVarnok.dll>
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if (($# != 1)); then
    echo "usage: ./scripts/package.sh <path to the vendor's dVarnok.dll>" >&2
    exit 64
fi
engine="$(realpath -- "$1" 2>/dev/null || echo "$1")"
source tools/release/engine-check.sh
tarnvel_check_engine "$engine" i686 || exit 2 # before a build that would be in vain
./scripts/setup.sh
./scripts/build.sh mingw-i686
build_root="${TARNVEL_BUILD_ROOT:-$PWD/build}"
tools/release/make-packages.sh --arch i686 --bin "$build_root/mingw-i686/bin" --out out/release "$engine"
