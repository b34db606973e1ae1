#!/usr/bin/env bash
# Makes the portable zip and the installer from one build's bin folder and the vendor's engine DLL,
# with the program stripped of its symbols; the symbols are kept beside the packages, never in them,
# so that a user's crash dump can be read (scripts/dump-report.sh). SHA256SUMS beside them lists
# every file of the release, as `sha256sum -c` reads it.
#   make-packages.sh --arch i686|x86_64 --bin <build>/bin --out <folder> [--sign <certificate.pfx>]
#                    <path to dVarnok.dll>
# With --sign, the program, the engine host, the uninstaller and the installer are signed (SHA-256
# Authenticode), the certificate's password taken from TARNVEL_SIGN_PASSWORD and an RFC 3161 time
# stamp from TARNVEL_SIGN_TIMESTAMP_URL when set. Unsigned, the same inputs give the same bytes
# wherever they are packaged: the files' times are SOURCE_DATE_EPOCH (else a fixed date).
# Everything is made aside and moved into <folder> only when all of it is done, so a failure
# leaves no half-made or half-signed package there.
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
certificate=""
while (($#)); do
    case "$1" in
    --arch) arch="$2"; shift 2 ;;
    --sign) certificate="$2"; shift 2 ;;
    --bin) bin_dir="$2"; shift 2 ;;
    --out) out_dir="$2"; shift 2 ;;
    -*) echo "make-packages: unknown option $1" >&2; exit 64 ;;
    *) engine="$1"; shift ;;
    esac
done
if [ -z "$bin_dir" ] || [ -z "$out_dir" ] || [ -z "$engine" ]; then
    echo "usage: make-packages.sh --arch i686|x86_64 --bin <build bin folder> --out <folder>" \
        "[--sign <certificate.pfx>] <dVarnok.dll>" >&2
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
made="$stage/made" # the release's files until all are done
mkdir -p "$folder" "$made" "$out_dir"
out_dir="$(cd "$out_dir" && pwd)"

# Signing: the certificate is tried first, so that a wrong password or a broken file stops the
# run before anything is made.
sign() { :; }
if [ -n "$certificate" ]; then
    [ -f "$certificate" ] || { echo "make-packages: the certificate '$certificate' does not exist" >&2; exit 2; }
    [ -n "${TARNVEL_SIGN_PASSWORD+set}" ] ||
        { echo "make-packages: --sign needs the certificate's password in TARNVEL_SIGN_PASSWORD" >&2; exit 2; }
    # openssl's legacy provider reads the older ciphers that Windows' own export may use.
    if ! openssl pkcs12 -in "$certificate" -passin env:TARNVEL_SIGN_PASSWORD -nocerts -nodes 2>/dev/null |
        grep -q "PRIVATE KEY" &&
        ! openssl pkcs12 -legacy -in "$certificate" -passin env:TARNVEL_SIGN_PASSWORD -nocerts -nodes 2>/dev/null |
        grep -q "PRIVATE KEY"; then
        echo "make-packages: cannot open the certificate '$certificate': the password in TARNVEL_SIGN_PASSWORD" \
            "is wrong, or the file is not a PKCS#12 certificate with its private key; nothing was packaged" >&2
        exit 2
    fi
    export TARNVEL_SIGN_CERTIFICATE TARNVEL_SIGN_PASSWORD_FILE="$stage/password"
    TARNVEL_SIGN_CERTIFICATE="$(realpath -- "$certificate")"
    (umask 077 && printf '%s' "$TARNVEL_SIGN_PASSWORD" >"$TARNVEL_SIGN_PASSWORD_FILE")
    sign() { "$here/sign.sh" "$1"; }
else
    echo "make-packages: the packages are NOT signed (no --sign <certificate.pfx>)" >&2
fi
# The same time on every file that goes into a package: the zip and the installer keep file times.
file_time="${SOURCE_DATE_EPOCH:-1577836800}" # 2020-01-01 00:00:00 UTC
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
symbols_name="$base.debug"
host_symbols_name="$base-engine-host.debug"
ship_stripped "$exe" "$made/$symbols_name"
ship_stripped "$host" "$made/$host_symbols_name"
sign "$folder/$(basename "$exe")"
sign "$folder/$(basename "$host")"
cp "$engine" "$folder/dVarnok.dll" # the program loads it by exactly this name
chmod 755 "$folder"
chmod 644 "$folder"/*
touch -h -d "@$file_time" "$folder"/* "$folder"

# Named in a fixed order, times in UTC: the zip's bytes depend on nothing else.
zip_name="$base-portable.zip"
(cd "$stage" && mapfile -t entries < <(find "TarnVel Download Assistant" -type f | LC_ALL=C sort) &&
    TZ=UTC zip -q -X "$made/$zip_name" "TarnVel Download Assistant/" "${entries[@]}")

setup_name="$base-setup.exe"
signing=()
[ -z "$certificate" ] || signing=(-DSIGN_SCRIPT="$here/sign.sh") # the uninstaller, before it is embedded
makensis -V2 -WX -INPUTCHARSET UTF8 -DARCH="$nsis_arch" -DSTAGE_DIR="$folder" -DOUT_FILE="$made/$setup_name" \
    -DICON_FILE="$root/src/resources/icon/app.ico" "${signing[@]}" "$here/installer.nsi" >&2
sign "$made/$setup_name"

released=("$zip_name" "$setup_name" "$symbols_name" "$host_symbols_name")
(cd "$made" && sha256sum -- "${released[@]}" >SHA256SUMS)
for name in "${released[@]}" SHA256SUMS; do
    mv -f "$made/$name" "$out_dir/$name"
done

for name in "${released[@]}"; do
    echo "$out_dir/$name"
done
