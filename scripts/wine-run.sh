#!/usr/bin/env bash
# Runs a program of the Windows build under Debian's 64-bit Wine, in a Wine
# prefix of its own inside build-windows/ (made on first use), without Wine's
# own chatter: its debug channels are off, and the lines Wine itself writes
# to standard error as it makes or updates the prefix are left out, while the
# program's own lines, on standard output and standard error, pass as they
# are, and so does its exit status. With WINEDEBUG set, everything passes.
# The Windows build's tests run through it (ctest), and so does
# `scripts/windows.sh test`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wine=/usr/lib/wine/wine64
if [ ! -x "$wine" ]; then
  echo "wine-run.sh: Wine is not installed: install Debian's packages wine and wine64" \
    "(sudo apt-get install wine wine64; scripts/windows.sh test does)" >&2
  exit 127
fi
export WINEPREFIX=${WINEPREFIX:-$root/build-windows/wine}
export WINEARCH=win64
# No Mono or Gecko to offer to download: nothing here needs .NET or HTML.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -n "${WINEDEBUG+set}" ]; then
  exec "$wine" "$@"
fi
export WINEDEBUG=-all
# What Wine says as it makes or updates the prefix (the 32-bit half it
# looks for is not installed: nothing here needs it), and, from the desktop
# process wineboot leaves running, when the X server goes at the end.
chatter='^wine: (created the configuration directory |configuration in .* has been updated|failed to open .*syswow64)'
[ "${1:-}" != wineboot ] || chatter+='|^X connection to .* broken'
exec "$wine" "$@" 2> >(grep --line-buffered -v -E "$chatter" >&2 || true)
