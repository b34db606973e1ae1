# Sourced by the scripts: where the project keeps its Wine prefix and how it calls wine64.
TARNVEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${TARNVEL_WINEPREFIX:-$TARNVEL_ROOT/.wine/prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
TARNVEL_WINE=/usr/lib/wine/wine64
[ -x "$TARNVEL_WINE" ] || TARNVEL_WINE="$(command -v wine64 || command -v wine || echo wine64)"
TARNVEL_WINESERVER=/usr/lib/wine/wineserver
[ -x "$TARNVEL_WINESERVER" ] || TARNVEL_WINESERVER="$(command -v wineserver || echo wineserver)"
export TARNVEL_ROOT TARNVEL_WINE TARNVEL_WINESERVER
