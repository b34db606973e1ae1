#!/usr/bin/env bash
# The test command: sets the machine up, builds both presets and runs every test under wine64
# on a private virtual display. Ends with CTest's own summary.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
./scripts/setup.sh
./scripts/build.sh mingw-x86_64 mingw-i686
./native/check.sh # the plain C++ parts under the sanitizers, and the fuzzers for a bounded time
exec ./scripts/run-tests.sh "$@"
