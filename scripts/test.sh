#!/usr/bin/env bash
# The test command: sets the machine up, builds both presets and runs every test under wine64
# on a private virtual display, then the i686 stage in 32-bit Wine. Ends with CTest's summaries.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
./scripts/setup.sh
./scripts/build.sh mingw-x86_64 mingw-i686
./native/check.sh # the plain C++ parts under the sanitizers, and the fuzzers for a bounded time
status=0
./scripts/run-tests.sh "$@" || status=$?
./scripts/run-i686-tests.sh || status=$? # the 32-bit build in a real 32-bit Wine
exit "$status"
