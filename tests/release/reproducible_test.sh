#!/usr/bin/env bash
# Two clones of this commit, built and packaged one after the other in folders of different names,
# give the same bytes: the i686 program and engine host, the zip and the installer.
#   reproducible_test.sh <scratch folder>
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
scratch="$1"
rm -rf "$scratch"
mkdir -p "$scratch"
i686-w64-mingw32-gcc -shared -o "$scratch/vendor-engine.dll" "$here/vendor_engine.c" || exit 1
started=$SECONDS
"$root/tools/release/verify-reproducible.sh" --arch i686 --keep "$scratch/builds" "$scratch/vendor-engine.dll"
status=$?
echo "FIGURE: two clean builds and packagings of one commit took $((SECONDS - started)) s"
# The clones are only worth keeping to read a difference.
((status)) || rm -rf "$scratch/builds"
exit "$status"
