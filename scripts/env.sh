# Sourced by the scripts: where the project keeps its Wine prefix and how it calls wine64.
TARNVEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${TARNVEL_WINEPREFIX:-$TARNVEL_ROOT/.wine/prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine takes a new prefix's fonts and every process's code pages from the locale: one fixed locale
# for every wine call, the users' (Chinese, code page 936), whatever the caller's shell says.
TARNVEL_LOCALE="${TARNVEL_WINE_LOCALE:-zh_CN.UTF-8}" # another only for a look at a foreign Windows
export LANG="$TARNVEL_LOCALE" LC_ALL="$TARNVEL_LOCALE"
unset LANGUAGE
TARNVEL_WINE=/usr/lib/wine/wine64
[ -x "$TARNVEL_WINE" ] || TARNVEL_WINE="$(command -v wine64 || command -v wine || echo wine64)"
TARNVEL_WINESERVER=/usr/lib/wine/wineserver
[ -x "$TARNVEL_WINESERVER" ] || TARNVEL_WINESERVER="$(command -v wineserver || echo wineserver)"
export TARNVEL_ROOT TARNVEL_WINE TARNVEL_WINESERVER TARNVEL_LOCALE

# One persistent wineserver for the prefix, whose helper processes already run with their output
# going nowhere: otherwise they inherit a test's output pipe and CTest waits for them until the
# test times out.
tarnvel_start_wine() {
    "$TARNVEL_WINESERVER" -p >/dev/null 2>&1 </dev/null || true
    "$TARNVEL_WINE" wineboot >/dev/null 2>&1 </dev/null || true
}
