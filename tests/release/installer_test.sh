#!/usr/bin/env bash
# The release packages end to end under wine64: the packaging refuses the simulated engine, the
# zip holds the program (stripped, its symbols kept beside the packages) and the engine, the
# installer carries the program's version, installs the files, the Start menu entry and the
# uninstall entry, refuses while the program runs, and the uninstaller leaves the machine as it
# was apart from the user's own logs.
#   installer_test.sh <x86_64 build bin folder> <scratch folder> [<simulated engine DLL>]
# wine64 here cannot start 32-bit programs, so this runs the x86_64 build of the same installer
# script; the 32-bit release installer is only built (by scripts/package.sh), not run.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bin_dir="$(cd "$1" && pwd)"
scratch="$2"
simulated="${3:-}"
source "$root/scripts/env.sh"

failures=0
check() { # check <description> <command...>
    local what="$1"
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}

rm -rf "$scratch"
mkdir -p "$scratch"
drive_c="$WINEPREFIX/drive_c"
install_dir="$drive_c/Program Files/TarnVel Download Assistant"
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zemo手机升级助手.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TarnVel Download Assistant'
wer_key='HKLM\Software\Microsoft\Windows\Windows Error Reporting\LocalDumps'

cleanup() {
    [ -f "$scratch/stop" ] || touch "$scratch/stop"
    rm -rf "$install_dir" "$shortcut"
    "$TARNVEL_WINE" reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
    for program in "TarnVel Download Assistant.exe" "TarnVel Engine Host.exe"; do
        "$TARNVEL_WINE" reg delete "$wer_key\\$program" /f >/dev/null 2>&1 || true
    done
}
trap cleanup EXIT
cleanup
rm -f "$scratch/stop"

# Fixtures built here: a DLL standing for the vendor's engine (the real one is not ours to have),
# and a program that holds the assistant's single-instance mutex as a running assistant would.
cat >"$scratch/holder.c" <<'C'
#include <windows.h>
int wmain(int argc, wchar_t** argv) {
    HANDLE mutex = CreateMutexW(NULL, FALSE, L"TarnVel Download Assistant.exe");
    for (int i = 0; i < 600 && argc > 1 && GetFileAttributesW(argv[1]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    CloseHandle(mutex);
    return 0;
}
C
x86_64-w64-mingw32-gcc -shared -o "$scratch/vendor-engine.dll" "$here/vendor_engine.c" || exit 1
x86_64-w64-mingw32-gcc -municode -o "$scratch/holder.exe" "$scratch/holder.c" || exit 1

package() { "$root/tools/release/make-packages.sh" --arch x86_64 --bin "$bin_dir" --out "$scratch/$1" "$2"; }

# The simulated engine never gets into a package.
if [ -n "$simulated" ]; then
    package refused "$simulated" >"$scratch/refused.out" 2>"$scratch/refused.err"
    refused_rc=$?
    check "the simulated engine is refused with exit code 2 (got $refused_rc)" test "$refused_rc" -eq 2
    check "the refusal says why" grep -q "simulated engine" "$scratch/refused.err"
    check "nothing is packaged with the simulated engine" test -z "$(ls -A "$scratch/refused" 2>/dev/null)"
else
    echo "skipped: the refusal of the simulated engine (not built in this tree)"
fi
package refused-exe "$bin_dir/TarnVel Download Assistant.exe" >/dev/null 2>&1
check "a program instead of a DLL is refused" test $? -eq 2

mapfile -t made < <(package packages "$scratch/vendor-engine.dll" 2>"$scratch/packages.err")
zip_file="${made[0]:-}"
setup="${made[1]:-}"
symbols="${made[2]:-}"
host_symbols="${made[3]:-}"
check "the packaging made a zip and an installer" test -f "$zip_file" -a -f "$setup"
[ -f "$setup" ] || exit 1
check "an unsigned packaging says so" grep -q "NOT signed" "$scratch/packages.err"

sums_lists_the_release() { # SHA256SUMS names the zip, the installer and both symbols files, and they check
    test "$(cut -c67- "$scratch/packages/SHA256SUMS" | LC_ALL=C sort | tr '\n' '|')" = \
        "$(for f in "${made[@]}"; do basename "$f"; done | LC_ALL=C sort | tr '\n' '|')" &&
        (cd "$scratch/packages" && sha256sum --quiet -c SHA256SUMS)
}
check "SHA256SUMS lists every file of the release, and sha256sum -c passes" sums_lists_the_release
# Other folder, other time, the same bytes: nothing of the packaging's moment goes in.
sleep 1
mapfile -t again < <(package "packaged again" "$scratch/vendor-engine.dll" 2>/dev/null)
for i in 0 1 2 3; do
    check "packaged again, $(basename "${made[$i]}") has the same bytes" cmp -s "${made[$i]}" "${again[$i]:-}"
done

# Signing, with a throw-away certificate: a wrong password stops before anything is made; the right
# one signs the program, the engine host, the installer and (checked once installed) the uninstaller.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$scratch/signer.key" -out "$scratch/signer.pem" -days 2 \
    -subj "/CN=TarnVel Test Signer" >/dev/null 2>&1
openssl pkcs12 -export -inkey "$scratch/signer.key" -in "$scratch/signer.pem" -out "$scratch/signer.pfx" \
    -passout pass:right >/dev/null 2>&1
TARNVEL_SIGN_PASSWORD=wrong "$root/tools/release/make-packages.sh" --arch x86_64 --bin "$bin_dir" \
    --out "$scratch/badly-signed" --sign "$scratch/signer.pfx" "$scratch/vendor-engine.dll" \
    >/dev/null 2>"$scratch/badly-signed.err"
badly_rc=$?
check "a wrong password stops the signed packaging (exit code 2, got $badly_rc)" test "$badly_rc" -eq 2
check "the wrong password's message says what is wrong" grep -q "password in TARNVEL_SIGN_PASSWORD is wrong" \
    "$scratch/badly-signed.err"
check "a wrong password leaves nothing in the release folder" test -z "$(ls -A "$scratch/badly-signed")"
mapfile -t signed < <(TARNVEL_SIGN_PASSWORD=right "$root/tools/release/make-packages.sh" --arch x86_64 \
    --bin "$bin_dir" --out "$scratch/signed" --sign "$scratch/signer.pfx" "$scratch/vendor-engine.dll" 2>/dev/null)
signed_setup="${signed[1]:-}"
signed_by_us() { osslsigncode verify -CAfile "$scratch/signer.pem" -in "$1" >/dev/null 2>&1; }
mkdir -p "$scratch/signed-files"
for program in "TarnVel Download Assistant.exe" "TarnVel Engine Host.exe"; do
    unzip -p "${signed[0]:-/nonexistent}" "TarnVel Download Assistant/$program" >"$scratch/signed-files/$program"
    check "the signed zip's $program verifies" signed_by_us "$scratch/signed-files/$program"
done
check "the signed installer verifies" signed_by_us "$signed_setup"
not_signed() { ! signed_by_us "$1"; }
check "an unsigned program does not verify" not_signed "$bin_dir/TarnVel Download Assistant.exe"

check "the zip holds exactly the program, the engine host and the engine" \
    test "$(unzip -Z1 "$zip_file" | LC_ALL=C sort | tr '\n' '|')" = \
    "TarnVel Download Assistant/|TarnVel Download Assistant/TarnVel Download Assistant.exe|TarnVel Download Assistant/TarnVel Engine Host.exe|TarnVel Download Assistant/dVarnok.dll|"

# The shipped program has no symbols; they are kept beside the packages, tied to it by the link
# time stamp (which a dump records) and by its debug link.
shipped="$scratch/shipped.exe"
unzip -p "$zip_file" "TarnVel Download Assistant/TarnVel Download Assistant.exe" >"$shipped"
# Subsystem version and the header's hardening bits of a PE file, one line.
pe_hardening() {
    /usr/bin/python3 - "$1" <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
o = pe.OPTIONAL_HEADER
bits = {0x40: "aslr", 0x100: "dep", 0x8000: "tsaware"}
print("subsystem=%d.%d" % (o.MajorSubsystemVersion, o.MinorSubsystemVersion),
      " ".join(name for bit, name in sorted(bits.items()) if o.DllCharacteristics & bit))
PY
}
pe_facts() { # section names, symbol count, link time stamp and debug link of a PE file, one line
    # Long section names live in the COFF string table, which objdump reads and pefile does not.
    LC_ALL=C x86_64-w64-mingw32-objdump -h "$1" | awk '$1 ~ /^[0-9]+$/ { printf "%s ", $2 }'
    local link="$scratch/debuglink"
    rm -f "$link"
    x86_64-w64-mingw32-objcopy --dump-section .gnu_debuglink="$link" "$1" "$scratch/dumped.tmp" 2>/dev/null
    /usr/bin/python3 - "$1" "$link" <<'PY'
import os, sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
link = open(sys.argv[2], "rb").read().split(b"\0")[0].decode() if os.path.exists(sys.argv[2]) else "-"
print("symbols=%d" % pe.FILE_HEADER.NumberOfSymbols, "stamp=%d" % pe.FILE_HEADER.TimeDateStamp, "link=" + link)
PY
}
shipped_facts="$(pe_facts "$shipped")"
symbols_facts="$(pe_facts "$symbols" 2>/dev/null)"
lacks() { ! grep -q -- "$1" <<<"$2"; }
check "the shipped program has no debug sections ($shipped_facts)" lacks '\.debug_' "$shipped_facts"
check "the shipped program has no symbol table" grep -q " symbols=0 " <<<" $shipped_facts"
check "the shipped program is under 1.5 MB" test "$(stat -c %s "$shipped")" -lt 1572864
check "the symbols file is beside the packages, named after the version" \
    test "$symbols" = "${zip_file%-portable.zip}.debug" -a -f "$symbols"
check "the symbols file holds the debug information" grep -q "\.debug_info" <<<"$symbols_facts"
check "the symbols file has the shipped program's link time stamp" \
    test "$(grep -o 'stamp=[0-9]*' <<<"$symbols_facts")" = "$(grep -o 'stamp=[0-9]*' <<<"$shipped_facts")"
check "the shipped program's debug link names the symbols file" \
    grep -q " link=$(basename "$symbols")\$" <<<"$shipped_facts"
shipped_host="$scratch/shipped-host.exe"
unzip -p "$zip_file" "TarnVel Download Assistant/TarnVel Engine Host.exe" >"$shipped_host"
host_facts="$(pe_facts "$shipped_host")"
for program in "$shipped" "$shipped_host"; do
    check "$(basename "$program") declares Windows 7, DEP, ASLR and terminal-server awareness" \
        test "$(pe_hardening "$program")" = "subsystem=6.1 aslr dep tsaware"
done
check "the shipped engine host has no symbol table, and its symbols are kept beside the program's" \
    test "$(grep -o ' symbols=[0-9]*' <<<" $host_facts")" = " symbols=0" -a -f "$host_symbols"
check "the engine host's symbols file has its link time stamp and its debug link names it" \
    test "$(grep -o 'stamp=[0-9]*' <<<"$(pe_facts "$host_symbols" 2>/dev/null)")" = \
    "$(grep -o 'stamp=[0-9]*' <<<"$host_facts")" -a "${host_facts##* link=}" = "$(basename "$host_symbols")"

version_of() {
    /usr/bin/python3 - "$1" <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
info = pe.VS_FIXEDFILEINFO[0]
print("%d.%d.%d.%d" % (info.ProductVersionMS >> 16, info.ProductVersionMS & 0xFFFF,
                       info.ProductVersionLS >> 16, info.ProductVersionLS & 0xFFFF))
PY
}
program_version="$(version_of "$bin_dir/TarnVel Download Assistant.exe")"
check "the installer's version resource is the program's ($program_version)" \
    test "$(version_of "$setup")" = "$program_version"
check "the installer's file name carries the version" grep -q -- "-$program_version-" <<<"$(basename "$setup")"

snapshot() { # every path in the prefix's drive, the uninstall entries and the local dump settings, as text
    (cd "$drive_c" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune -o -print | sort)
    "$TARNVEL_WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r'
    "$TARNVEL_WINE" reg query "$wer_key" /s 2>/dev/null | tr -d '\r'
}
wait_gone() { # the uninstaller runs on from a copy of itself in the temporary folder
    for _ in $(seq 1 300); do
        [ ! -e "$install_dir/Uninstall.exe" ] && ! "$TARNVEL_WINE" reg query "$uninstall_key" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}
win_install_dir='C:\Program Files\TarnVel Download Assistant'

# The installer's pages speak the user's language: Chinese on a Windows in Chinese, English on
# one in English (the prefix of scripts/wine-prefix.sh whose programs run under en_US).
installer_title() { # installer_title <prefix> <locale>: the title of the installer's first page
    local prefix="$1" locale="$2" pid title=""
    WINEPREFIX="$prefix" LANG="$locale" LC_ALL="$locale" "$TARNVEL_WINE" "$setup" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do
        title="$(xdotool search --onlyvisible --name "^Zemo.* (Setup|安装)\$" getwindowname 2>/dev/null | head -n 1)"
        [ -n "$title" ] && break
        sleep 0.2
    done
    kill "$pid" 2>/dev/null
    # The English prefix's server goes with it; the project's own keeps running for what follows.
    [ "$prefix" = "$WINEPREFIX" ] || WINEPREFIX="$prefix" "$TARNVEL_WINESERVER" -k >/dev/null 2>&1
    wait "$pid" 2>/dev/null
    echo "$title"
}
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null && [ -f "$WINEPREFIX-en/system.reg" ]; then
    title="$(installer_title "$WINEPREFIX" zh_CN.UTF-8)"
    check "on a Chinese Windows the installer is Chinese ($title)" test "$title" = "Zemo手机升级助手 $program_version 安装"
    title="$(installer_title "$WINEPREFIX-en" en_US.UTF-8)"
    check "on an English Windows the installer is English ($title)" \
        test "$title" = "Zemo Phone Upgrade Assistant $program_version Setup"
else
    echo "skipped: the installer's language (no display or no English prefix)"
fi

snapshot >"$scratch/before.txt"

# While the assistant runs (its mutex exists), the installer refuses and touches nothing.
"$TARNVEL_WINE" "$scratch/holder.exe" "$("$TARNVEL_WINE" winepath -w "$scratch/stop" 2>/dev/null | tr -d '\r')" &
holder=$!
sleep 2
"$TARNVEL_WINE" "$setup" /S
running_rc=$?
check "the installer refuses while the program runs (exit code 3, got $running_rc)" test "$running_rc" -eq 3
check "nothing was installed while the program runs" test ! -e "$install_dir"
touch "$scratch/stop"
wait "$holder"
rm -f "$scratch/stop"

"$TARNVEL_WINE" "$setup" /S
check "the silent install succeeds" test $? -eq 0
check "the program is installed under Program Files, as shipped in the zip" \
    cmp -s "$install_dir/TarnVel Download Assistant.exe" "$shipped"
check "the engine host is installed beside it, as shipped" \
    cmp -s "$install_dir/TarnVel Engine Host.exe" "$shipped_host"
check "the engine is installed as dVarnok.dll" cmp -s "$install_dir/dVarnok.dll" "$scratch/vendor-engine.dll"
check "the uninstaller is installed" test -f "$install_dir/Uninstall.exe"
check "the Start menu entry exists" test -f "$shortcut"
lnk_points_to_program() {
    /usr/bin/python3 -c 'import sys; sys.exit("\\TarnVel Download Assistant.exe".encode("utf-16-le") not in open(sys.argv[1], "rb").read())' "$1"
}
check "the Start menu entry starts the program" lnk_points_to_program "$shortcut"
entry="$("$TARNVEL_WINE" reg query "$uninstall_key" 2>/dev/null | tr -d '\r')"
check "the uninstall entry shows the version" grep -qE "DisplayVersion +REG_SZ +$program_version\$" <<<"$entry"
check "the uninstall entry names the uninstaller" \
    grep -qF "UninstallString    REG_SZ    \"$win_install_dir\\Uninstall.exe\"" <<<"$entry"

local_dumps_ok() { # <reg query output>: the folder, full dumps and ten of them
    grep -qF "DumpFolder    REG_EXPAND_SZ    $win_install_dir\DumpLog" <<<"$1" &&
        grep -qE "DumpType +REG_DWORD +0x1\$" <<<"$1" && grep -qE "DumpCount +REG_DWORD +0xa\$" <<<"$1"
}
for program in "TarnVel Download Assistant.exe" "TarnVel Engine Host.exe"; do
    check "Windows Error Reporting keeps 10 dumps of $program in its DumpLog" \
        local_dumps_ok "$("$TARNVEL_WINE" reg query "$wer_key\\$program" 2>/dev/null | tr -d '\r')"
done

"$TARNVEL_WINE" "$win_install_dir\\Uninstall.exe" /S
check "the silent uninstall succeeds" test $? -eq 0
check "the uninstaller finishes" wait_gone
snapshot >"$scratch/after.txt"
check "after uninstalling, the machine is as before" diff -u "$scratch/before.txt" "$scratch/after.txt"

# The second time round (from the signed installer) the program has left logs, a dump folder and
# the engine's scratch: the user's logs stay, the rest goes.
"$TARNVEL_WINE" "$signed_setup" /S
check "the second install, from the signed installer, succeeds" test $? -eq 0
check "the signed installer's uninstaller verifies" signed_by_us "$install_dir/Uninstall.exe"
mkdir -p "$install_dir/TextLog" "$install_dir/DumpLog" "$install_dir/MTK_Log/sub"
printf 'log\r\n' >"$install_dir/TextLog/CELL0 2016-02-26 14_05_09.log"
printf 'x' >"$install_dir/MTK_Log/sub/engine.txt"
printf 'rd /s/q x\r\n' >"$install_dir/DeleteTree.bat"
"$TARNVEL_WINE" "$win_install_dir\\Uninstall.exe" /S
check "the second uninstall succeeds" test $? -eq 0
check "the second uninstaller finishes" wait_gone
left="$(cd "$install_dir" 2>/dev/null && find . | LC_ALL=C sort | tr '\n' '|')"
check "only the user's log is left ($left)" test "$left" = ".|./TextLog|./TextLog/CELL0 2016-02-26 14_05_09.log|"

if ((failures)); then
    echo "installer test: $failures check(s) failed"
    exit 1
fi
echo "installer test: all checks passed"
