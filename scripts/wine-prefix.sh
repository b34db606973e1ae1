#!/usr/bin/env bash
# Creates the project's own Wine prefix (never the user's ~/.wine) and sets it up for the tests
# and the demo:
# - CJK font replacements, so that "微软雅黑" and the dialog fonts draw Chinese text, not boxes;
# - top-level windows not managed: a virtual display has no window manager, and Wine would
#   otherwise wait two seconds for each hidden window to be confirmed withdrawn.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
settings_version=2
stamp="$WINEPREFIX/.tarnvel-prefix-v$settings_version"
[ -f "$stamp" ] && exit 0

mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "setup: creating Wine prefix $WINEPREFIX"
    "$TARNVEL_WINE" wineboot -i >/dev/null 2>&1 || true
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
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg_file"
"$TARNVEL_WINE" regedit /S "$("$TARNVEL_WINE" winepath -w "$reg_file" 2>/dev/null)" >/dev/null 2>&1
"$TARNVEL_WINESERVER" -w || true
rm -f "$WINEPREFIX"/.tarnvel-prefix-v*
touch "$stamp"
