#!/usr/bin/env bash
# Creates the project's own Wine prefix (never the user's ~/.wine) and sets it up for the tests
# and the demo:
# - CJK font replacements, so that "微软雅黑" and the dialog fonts draw Chinese text, not boxes;
# - focus cues and access keys hidden until keyboard use, as Windows has them by default (Wine's
#   default shows them always);
# - top-level windows not managed: a virtual display has no window manager, and Wine would
#   otherwise wait two seconds for each hidden window to be confirmed withdrawn.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
# Version 4: keyboard cues as on Windows. Version 3: made under the fixed locale of env.sh. A prefix
# of ours with an older stamp (or none, when an earlier run was cut short) is made anew: what
# wineboot derived from another locale, such as the message box font, is not corrected by settings
# alone.
settings_version=4
stamp="$WINEPREFIX/.tarnvel-prefix-v$settings_version"

# Copies of the prefix whose screen has another dpi (<prefix>-144, <prefix>-192), for the
# end-to-end cases at those dpis; made anew with the prefix they copy.
dpi_copies=(144 192)
# copy_prefix <copy>: <copy> made anew as a copy of the prefix, without its stamp.
copy_prefix() {
    local copy="$1"
    # Both servers stopped: the copy is taken from registry files written out.
    WINEPREFIX="$copy" "$TARNVEL_WINESERVER" -k >/dev/null 2>&1 || true
    "$TARNVEL_WINESERVER" -k >/dev/null 2>&1 || true
    "$TARNVEL_WINESERVER" -w >/dev/null 2>&1 || true
    rm -rf "$copy"
    cp -a "$WINEPREFIX" "$copy"
    rm -f "$copy"/.tarnvel-prefix-v*
}

make_dpi_prefix() {
    local dpi="$1" copy="$WINEPREFIX-$1"
    [ -f "$copy/.tarnvel-prefix-v$settings_version-dpi$dpi" ] && return 0
    echo "setup: making the Wine prefix $copy ($dpi dpi)"
    copy_prefix "$copy"
    local reg_file
    reg_file="$(mktemp --suffix=.reg)"
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts]\r\n"LogPixels"=dword:%08x\r\n\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]\r\n"LogPixels"=dword:%08x\r\n' \
        "$dpi" "$dpi" "$dpi" >"$reg_file"
    WINEPREFIX="$copy" "$TARNVEL_WINE" regedit /S "$(WINEPREFIX="$copy" "$TARNVEL_WINE" winepath -w "$reg_file" 2>/dev/null)" \
        >/dev/null 2>&1
    WINEPREFIX="$copy" "$TARNVEL_WINESERVER" -w || true
    rm -f "$reg_file"
    echo "locale=$TARNVEL_LOCALE dpi=$dpi" >"$copy/.tarnvel-prefix-v$settings_version-dpi$dpi"
}

# A copy for a Windows that is not Chinese (<prefix>-en): the same settings, its programs run under
# en_US (display language English, code page 1252; the e2e case english_windows).
make_english_prefix() {
    local copy="$WINEPREFIX-en"
    [ -f "$copy/.tarnvel-prefix-v$settings_version-en" ] && return 0
    echo "setup: making the Wine prefix $copy (English, code page 1252)"
    copy_prefix "$copy"
    echo "locale=en_US.UTF-8" >"$copy/.tarnvel-prefix-v$settings_version-en"
}

make_dpi_prefixes() {
    local dpi
    for dpi in "${dpi_copies[@]}"; do
        make_dpi_prefix "$dpi"
    done
    make_english_prefix
}

if [ -f "$stamp" ]; then
    make_dpi_prefixes
    exit 0
fi

if [ -f "$WINEPREFIX/system.reg" ]; then
    if ! compgen -G "$WINEPREFIX/.tarnvel-prefix-v*" >/dev/null && [[ "$WINEPREFIX" != "$TARNVEL_ROOT"/* ]]; then
        echo "setup: $WINEPREFIX is a Wine prefix the project did not make; choose another folder." >&2
        exit 1
    fi
    echo "setup: the Wine prefix $WINEPREFIX was made by an older version of the scripts; making it anew"
    "$TARNVEL_WINESERVER" -k >/dev/null 2>&1 || true
    "$TARNVEL_WINESERVER" -w >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
fi

mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "setup: creating Wine prefix $WINEPREFIX"
    # Kept, so that a Wine that cannot start is shown in its own words.
    "$TARNVEL_WINE" wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1 || true
fi

reg_file="$(mktemp --suffix=.reg)"
trap 'rm -f "$reg_file"' EXIT
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for face in "微软雅黑" "Microsoft YaHei" "Microsoft YaHei UI" "MS Sans Serif" "MS Shell Dlg" \
                "MS Shell Dlg 2" "Tahoma" "SimSun" "宋体" "NSimSun" "Segoe UI"; do
        printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
    done
    # Bit 0x20 of the first byte is SPI_SETKEYBOARDCUES; the rest is Wine's default.
    printf '\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"UserPreferencesMask"=hex:10,00,02,80,12,00,00,00\r\n'
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg_file"
"$TARNVEL_WINE" regedit /S "$("$TARNVEL_WINE" winepath -w "$reg_file" 2>/dev/null)" >/dev/null 2>&1
"$TARNVEL_WINESERVER" -w || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "setup: Wine did not make the prefix $WINEPREFIX; what it said:" >&2
    tail -n 20 "$WINEPREFIX/wineboot.log" >&2 2>/dev/null || true
    exit 1
fi
rm -f "$WINEPREFIX"/.tarnvel-prefix-v*
echo "locale=$TARNVEL_LOCALE" >"$stamp"
for copy in "${dpi_copies[@]}" en; do
    rm -f "$WINEPREFIX-$copy"/.tarnvel-prefix-v* # a copy follows the prefix it was made from
done
make_dpi_prefixes
