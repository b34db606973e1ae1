#!/usr/bin/env bash
# Creates the project's own Wine prefix (never the user's ~/.wine) with CJK font replacements,
# so that "微软雅黑" and the dialog fonts draw Chinese text instead of boxes.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
stamp="$WINEPREFIX/.tarnvel-prefix-v1"
[ -f "$stamp" ] && exit 0

mkdir -p "$WINEPREFIX"
echo "setup: creating Wine prefix $WINEPREFIX"
"$TARNVEL_WINE" wineboot -i >/dev/null 2>&1 || true
"$TARNVEL_WINESERVER" -w || true

reg_file="$(mktemp --suffix=.reg)"
trap 'rm -f "$reg_file"' EXIT
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for face in "微软雅黑" "Microsoft YaHei" "Microsoft YaHei UI" "MS Sans Serif" "MS Shell Dlg" \
                "MS Shell Dlg 2" "Tahoma" "SimSun" "宋体" "NSimSun" "Segoe UI"; do
        printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
    done
    printf '\r\n'
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg_file"
"$TARNVEL_WINE" regedit /S "$(winepath_out=$("$TARNVEL_WINE" winepath -w "$reg_file" 2>/dev/null); echo "$winepath_out")" >/dev/null 2>&1
"$TARNVEL_WINESERVER" -w || true
touch "$stamp"
