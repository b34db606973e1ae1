#!/usr/bin/env bash
# Builds the release twice from two clones of one commit, in folders of different names, one after
# the other, and compares the unsigned results byte for byte: the program and the engine host as
# built and as shipped, the zip and the installer. Prints each file's size and whether the two
# builds agree, and how long each build and packaging took; exits 1 when anything differs.
#   verify-reproducible.sh [--arch i686|x86_64] [--commit <revision>] [--keep <folder>] <dVarnok.dll>
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
arch=i686
revision=HEAD
keep=""
engine=""
while (($#)); do
    case "$1" in
    --arch) arch="$2"; shift 2 ;;
    --commit) revision="$2"; shift 2 ;;
    --keep) keep="$2"; shift 2 ;;
    -*) echo "verify-reproducible: unknown option $1" >&2; exit 64 ;;
    *) engine="$(realpath -- "$1")"; shift ;;
    esac
done
[ -n "$engine" ] || { echo "usage: verify-reproducible.sh [--arch i686|x86_64] [--commit <rev>] <dVarnok.dll>" >&2; exit 64; }
commit="$(git -C "$root" rev-parse --verify "$revision^{commit}")"
if [ -n "$keep" ]; then
    mkdir -p "$keep"
    work="$(cd "$keep" && pwd)"
else
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
fi

# The file times in the packages: the commit's own time, the same for both.
SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct "$commit")"
export SOURCE_DATE_EPOCH
build() { # build <clone folder>: clones, builds the shipped programs, packages them
    local clone="$1" started=$SECONDS
    rm -rf "$clone"
    git clone -q --no-checkout "$root" "$clone"
    git -C "$clone" checkout -q --detach "$commit"
    cmake --preset "mingw-$arch" -S "$clone" -B "$clone/build" >/dev/null
    # The link stamp comes from the commit, never from this run's environment.
    env -u SOURCE_DATE_EPOCH cmake --build "$clone/build" -j2 --target tarnvel_assistant tarnvel_engine_host \
        >"$clone.build-log" 2>&1 || { cat "$clone.build-log" >&2; return 1; }
    "$clone/tools/release/make-packages.sh" --arch "$arch" --bin "$clone/build/bin" --out "$clone/out" "$engine" \
        >/dev/null 2>"$clone.package-log" || { cat "$clone.package-log" >&2; return 1; }
    echo "built and packaged in $clone in $((SECONDS - started)) s"
}
first="$work/first"
second="$work/the-second-clone"
build "$first"
build "$second"

status=0
compare() { # compare <what> <first file> <second file>
    if cmp -s "$2" "$3"; then
        echo "same: $1 ($(stat -c %s "$2") bytes)"
    else
        echo "DIFFERENT: $1 ($(stat -c %s "$2") and $(stat -c %s "$3") bytes; first difference:" \
            "$(cmp "$2" "$3" 2>&1 | head -n 1))"
        status=1
    fi
}
for program in "TarnVel Download Assistant.exe" "TarnVel Engine Host.exe"; do
    compare "$program as built" "$first/build/bin/$program" "$second/build/bin/$program"
done
for made in "$first/out"/*; do
    compare "$(basename "$made")" "$made" "$second/out/$(basename "$made")"
done
exit "$status"
