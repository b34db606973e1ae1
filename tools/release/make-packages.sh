#!/usr/bin/env bash
# Makes the portable zip and the installer from one build's bin folder and the vendor's engine DLL,
# with the program stripped of its symbols; the symbols are kept beside the packages, never in them,
# so that a user's crash dump can be read (scripts/dump-report.sh).
#   make-packages.sh --arch i686|x86_64 --bin <build>/bin --out <folder> <path to dVarnok.dll>
# Prints the paths of the zip, the installer and the symbols files (the program's, then the engine
# host's), one a line.
# The engine is the phone maker's: it is never built here, and the simulated engine that our tests
# use is refused, so that it can never reach a user.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"

arch=i686
bin_dir=""
out_dir=""
engine=""
while (($#)); do
    case "$1" in
    --arch) arch="$2"; shift 2 ;;
    --bin) bin_dir="$2"; shift 2 ;;
    --out) out_dir="$2"; shift 2 ;;
    -*) echo "make-packages: unknown option $1" >&2; exit 64 ;;
    *) engine="$1"; shift ;;
    esac
done
if [ -z "$bin_dir" ] || [ -z "$out_dir" ] || [ -z "$engine" ]; then
    echo "usage: make-packages.sh --arch i686|x86_64 --bin <build bin folder> --out <folder> <dVarnok.dll>" >&2
    exit 64
fi

# shellcheck source=engine-check.sh
source "$here/engine-check.sh"
tarnvel_check_engine "$engine" "$arch" || exit 2

exe="$bin_dir/TarnVel Download Assistant.exe"
host="$bin_dir/TarnVel Engine Host.exe" # the program runs the engine in it
for program in "$exe" "$host"; do
    [ -f "$program" ] || { echo "make-packages: $program is missing: build the $arch preset first" >&2; exit 1; }
done

# The file names carry the version from the program's own version resource; the link time stamp
# is what ties a crash dump's module to the symbols.
read -r version link_time < <(/usr/bin/python3 - "$exe" <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
info = pe.VS_FIXEDFILEINFO[0]
print("%d.%d.%d.%d %d" % (info.FileVersionMS >> 16, info.FileVersionMS & 0xFFFF,
                          info.FileVersionLS >> 16, info.FileVersionLS & 0xFFFF, pe.FILE_HEADER.TimeDateStamp))
PY
)
[ -n "$link_time" ] || { echo "make-packages: cannot read the version of $exe" >&2; exit 1; }

case "$arch" in
i686) nsis_arch=x86; suffix=""; triple=i686-w64-mingw32 ;;
x86_64) nsis_arch=amd64; suffix="-x64"; triple=x86_64-w64-mingw32 ;;
esac
base="TarnVel-Download-Assistant-$version$suffix"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
folder="$stage/TarnVel Download Assistant"
mkdir -p "$folder" "$out_dir"
out_dir="$(cd "$out_dir" && pwd)"
# Ships <program> stripped, its symbols kept as <symbols file>. objcopy writes its own time stamp
# into the PE header unless told one: both files keep the link's.
ship_stripped() {
    local program="$1" symbols="$2" stamp
    stamp="$(/usr/bin/python3 -c 'import sys, pefile; print(pefile.PE(sys.argv[1], fast_load=True).FILE_HEADER.TimeDateStamp)' "$program")"
    SOURCE_DATE_EPOCH="$stamp" "$triple-objcopy" --only-keep-debug "$program" "$symbols.partial"
    chmod 644 "$symbols.partial"
    mv "$symbols.partial" "$symbols"
    SOURCE_DATE_EPOCH="$stamp" "$triple-objcopy" --strip-all --add-gnu-debuglink="$symbols" "$program" \
        "$folder/$(basename "$program")"
}
symbols_file="$out_dir/$base.debug"
host_symbols_file="$out_dir/$base-engine-host.debug"
ship_stripped "$exe" "$symbols_file"
ship_stripped "$host" "$host_symbols_file"
cp "$engine" "$folder/dVarnok.dll" # the program loads it by exactly this name

zip_file="$out_dir/$base-portable.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X -r "$zip_file.partial" "TarnVel Download Assistant") && mv "$zip_file.partial" "$zip_file"

setup_file="$out_dir/$base-setup.exe"
makensis -V2 -WX -INPUTCHARSET UTF8 -DARCH="$nsis_arch" -DSTAGE_DIR="$folder" -DOUT_FILE="$setup_file" \
    -DICON_FILE="$root/src/resources/icon/app.ico" "$here/installer.nsi" >&2

echo "$zip_file"
echo "$setup_file"
echo "$symbols_file"
echo "$host_symbols_file"
