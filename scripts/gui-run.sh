#!/usr/bin/env bash
# Runs quorv.exe under Wine in a virtual desktop on the current X display:
#   scripts/gui-run.sh [BUILD_DIR]          (BUILD_DIR defaults to build-win32)
# The Wine prefix is BUILD_DIR/wine unless WINEPREFIX names another; it is made on first use.
# The loader is the one for the build's processor unless $WINE names another.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-win32}" && pwd)
exe=$build/ui/win32/quorv.exe
[ -f "$exe" ] || { echo "gui-run: missing $exe (build it first)" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "gui-run: no X display (DISPLAY is empty)" >&2; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$build/wine}
. "$root/scripts/wine-loaders.sh"
select_wine "$exe"
. "$root/scripts/gui-prefix.sh"
prepare_wine_prefix || { echo "gui-run: cannot make the Wine prefix $WINEPREFIX" >&2; exit 1; }
exec "$WINE" explorer /desktop=quorv,1024x768 "$exe"
