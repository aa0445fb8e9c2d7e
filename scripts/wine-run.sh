#!/usr/bin/env bash
# Runs a program of the Windows build under Debian's 64-bit Wine, in a Wine
# prefix of its own inside build-windows/ (made on first use), without Wine's
# debug chatter. The Windows build's tests run through it (ctest), and so
# does `scripts/windows.sh test`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build-windows/wine}
export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko to offer to download: nothing here needs .NET or HTML.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec /usr/lib/wine/wine64 "$@"
