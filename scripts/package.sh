#!/usr/bin/env bash
# The release command: builds the 32-bit preset and makes the portable zip, the installer, the
# symbols files and SHA256SUMS in out/release/. Takes the path of the phone maker's engine DLL,
# which we do not build or ship ourselves; the simulated engine of the tests is refused.
#   ./scripts/package.sh <path to the vendor's dVarnok.dll> [--sign <certificate.pfx>]
#   ./scripts/package.sh <path to the vendor's dVarnok.dll> --verify-reproducible
# --sign signs the program, the engine host, the uninstaller and the installer (SHA-256
# Authenticode): the password in TARNVEL_SIGN_PASSWORD, an RFC 3161 time stamp server in
# TARNVEL_SIGN_TIMESTAMP_URL if wanted. --verify-reproducible makes no release: it builds and
# packages this commit twice in two fresh clones and compares the bytes.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
usage() {
    echo "usage: ./scripts/package.sh <path to the vendor's dVarnok.dll> [--sign <certificate.pfx> | --verify-reproducible]" >&2
    exit 64
}
engine=""
signing=()
verify=0
while (($#)); do
    case "$1" in
    --sign) (($# >= 2)) || usage; signing=(--sign "$(realpath -- "$2" 2>/dev/null || echo "$2")"); shift 2 ;;
    --verify-reproducible) verify=1; shift ;;
    -*) usage ;;
    *) [ -z "$engine" ] || usage; engine="$(realpath -- "$1" 2>/dev/null || echo "$1")"; shift ;;
    esac
done
[ -n "$engine" ] || usage
((verify == 0 || ${#signing[@]} == 0)) || usage
source tools/release/engine-check.sh
tarnvel_check_engine "$engine" i686 || exit 2 # before a build that would be in vain
./scripts/setup.sh
if ((verify)); then
    exec tools/release/verify-reproducible.sh --arch i686 "$engine"
fi
./scripts/build.sh mingw-i686
build_root="${TARNVEL_BUILD_ROOT:-$PWD/build}"
# The files in the packages carry the commit's time.
if commit_time="$(git log -1 --format=%ct 2>/dev/null)" && [ -n "$commit_time" ]; then
    export SOURCE_DATE_EPOCH="$commit_time"
fi
tools/release/make-packages.sh --arch i686 --bin "$build_root/mingw-i686/bin" --out out/release "${signing[@]}" "$engine"
