#!/usr/bin/env bash
# Runs a 32-bit Windows program of the i686 build in a real 32-bit Wine (Debian's wine32 in a
# Debian 12 root of its own, see wine32-env.sh), with <folder> as its working folder, on a
# virtual display there. Its output comes to ours and its exit code is ours; <folder> and the
# program's own folder are the host's, mounted at the same paths, so what it writes there stays.
#
#   scripts/wine32-run.sh <folder> <program> [arguments]
#
# <program>: a file in <folder>, a path, or a program name of the i686 build (looked up under
# <build root>/mingw-i686/bin). The first use sets the environment up (a few minutes, as
# root; later uses start in a second or two; `wine32-run.sh --setup` does only that and checks
# that Wine starts). TARNVEL_SIM_* and WINEDEBUG reach the program.
#
# With TARNVEL_WINE32_SCREENSHOT=<png> and TARNVEL_WINE32_WINDOW=<title>, the program is only
# shown: once a window of that title is visible and has been painted, the whole display is
# saved as <png>, the window's place is printed ("window <x> <y> <width> <height>") and the
# program is ended; exit code 0 then means the window was shown and saved.
# TARNVEL_WINE32_POINTER="<x> <y>" first moves the pointer there, in the window's coordinates
# (with no window manager, the keyboard goes to the window under the pointer).
#
# Exit code 77 (and why, on stderr): this host's kernel runs no 32-bit programs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine32-env.sh"
wine32_check_i386

if [ "${1:-}" = --setup ]; then
    # Sets the environment up when needed and checks that it starts Wine.
    folder=/root program=cmd
    set -- /c ver
elif (($# < 2)); then
    sed -n '2,/^set /p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
else
    [ -d "$1" ] || wine32_fail "no folder $1"
    folder="$(realpath "$1")"
    program="$2"
    shift 2
    if [[ "$program" == */* ]]; then
        program="$(realpath "$program")"
    elif [ -f "$folder/$program" ]; then
        program="$folder/$program"
    else
        bin="${TARNVEL_BUILD_ROOT:-$(dirname "$wine32_scripts")/build}/mingw-i686/bin"
        found="$(find "$bin" -type f \( -name "$program" -o -name "$program.exe" \) 2>/dev/null | sort | head -n 1)"
        [ -n "$found" ] || wine32_fail "no program $program in $folder or $bin"
        program="$found"
    fi
    [ -f "$program" ] || wine32_fail "no program $program"
fi

wine32_setup

job="$(mktemp -d "${wine32_cache%/*}/wine32-run.XXXXXX")"
mkdir "$job/layers"
trap 'rm -rf --one-file-system "$job"' EXIT
# The working folder and the program's folder, each mounted once at its own path.
dir="${program%/*}"
if [ "$program" = cmd ]; then
    : >"$job/shares"
elif [[ "$dir/" == "$folder/"* ]]; then
    echo "$folder" >"$job/shares"
elif [[ "$folder/" == "$dir/"* ]]; then
    echo "$dir" >"$job/shares"
else
    printf '%s\n' "$folder" "$dir" >"$job/shares"
fi

shot="${TARNVEL_WINE32_SCREENSHOT:-}"
{
    echo 'export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 HOME=/root WINEARCH=win32 WINEPREFIX=/opt/tarnvel/prefix'
    printf 'export WINEDEBUG=%q WINEDLLOVERRIDES=%q\n' "${WINEDEBUG:--all}" "${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    for name in $(compgen -e | grep '^TARNVEL_SIM_' || true); do
        printf 'export %s=%q\n' "$name" "${!name}"
    done
    printf 'folder=%q program=%q shot=%q title=%q pointer=%q\n' "$folder" "$program" "$shot" \
        "${TARNVEL_WINE32_WINDOW:-}" "${TARNVEL_WINE32_POINTER:-}"
    printf 'set --'
    printf ' %q' "$@"
    echo
    cat <<'EOF'
Xvfb :0 -screen 0 1920x1080x24 +extension Composite -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 1 100); do
    [ -e /tmp/.X11-unix/X0 ] && break
    sleep 0.05
done
export DISPLAY=:0
xcompmgr -n >/dev/null 2>&1 &
# Wine's helper processes start now with their output going nowhere, so that they never hold
# the program's output.
wineserver -p >/dev/null 2>&1 </dev/null
wine wineboot >/dev/null 2>&1 </dev/null
cd "$folder"
if [ -z "$shot" ]; then
    exec wine "$program" "$@"
fi
wine "$program" "$@" >/tmp/program.out 2>&1 &
if ! window="$(timeout 60 xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1)" || [ -z "$window" ]; then
    echo "no visible window \"$title\"" >&2
    cat /tmp/program.out >&2
    exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$window")"
if [ -n "$pointer" ]; then
    read -r px py <<<"$pointer"
    xdotool mousemove "$((X + px))" "$((Y + py))"
fi
sleep 2 # painted, and any slide or fade finished
import -window root /run/job/shot.png
echo "window $X $Y $WIDTH $HEIGHT"
wineserver -k >/dev/null 2>&1
EOF
} >"$job/job.sh"

status=0
wine32_enter "$wine32_cache/root" "$job" overlay || status=$?
if [ -n "$shot" ] && [ "$status" -eq 0 ]; then
    cp "$job/shot.png" "$shot"
fi
exit "$status"
