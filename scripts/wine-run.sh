#!/usr/bin/env bash
# Runs a Windows program of the x86_64 build under wine64 in the project's prefix (CTest's emulator).
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
exec "$TARNVEL_WINE" "$@"
