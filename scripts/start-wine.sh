#!/usr/bin/env bash
# Starts the Wine of the prefix of env.sh (TARNVEL_WINEPREFIX) as the test scripts do; for callers
# that are not shell scripts.
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
tarnvel_start_wine
