# Sourced: tarnvel_check_engine <dll> <i686|x86_64> tells whether a file may be shipped as the
# vendor's engine dVarnok.dll. It refuses, saying why on stderr, anything that is not a DLL for the
# target, and the simulated engine, which marks itself with an export of its own.
TARNVEL_SIMULATED_ENGINE_MARKER=TarnvelSimulatedEngine

tarnvel_check_engine() {
    local dll="$1" arch="$2" triple format dump exports missing=() name
    case "$arch" in
    i686) triple=i686-w64-mingw32; format=pei-i386 ;;
    x86_64) triple=x86_64-w64-mingw32; format=pei-x86-64 ;;
    *) echo "package: unknown architecture '$arch' (i686 or x86_64)" >&2; return 1 ;;
    esac
    if [ ! -f "$dll" ]; then
        echo "package: the engine DLL '$dll' does not exist." >&2
        return 1
    fi
    if ! dump="$(LC_ALL=C "$triple-objdump" -p "$dll" 2>/dev/null)" || ! grep -q "file format $format\$" <<<"$dump"; then
        echo "package: '$dll' is not a Windows DLL for $arch; the $arch build needs the vendor's $arch dVarnok.dll." >&2
        return 1
    fi
    if ! sed -n '/^Characteristics/,/^$/p' <<<"$dump" | grep -qw DLL; then
        echo "package: '$dll' is a Windows program, not a DLL; pass the vendor's dVarnok.dll." >&2
        return 1
    fi
    exports="$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')"
    if grep -qx "$TARNVEL_SIMULATED_ENGINE_MARKER" <<<"$exports"; then
        {
            echo "package: refusing '$dll': it is the simulated engine of our tests (it exports $TARNVEL_SIMULATED_ENGINE_MARKER),"
            echo "package: not the phone maker's engine. It cannot write a phone and must never reach a user."
            echo "package: pass the path of the vendor's dVarnok.dll instead."
        } >&2
        return 1
    fi
    for name in InitDownloadObj VerifyDataofRZB DownloadRun DownloadStop ReleaseDownloadObj; do
        grep -qx "$name" <<<"$exports" || missing+=("$name")
    done
    if ((${#missing[@]})); then
        echo "package: warning: '$dll' lacks the engine export(s) ${missing[*]}; the program will skip those steps." >&2
    fi
    return 0
}
