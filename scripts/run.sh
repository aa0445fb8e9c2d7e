#!/usr/bin/env bash
# Installs what is missing, builds the demo and starts it, passing on its
# arguments (bash scripts/run.sh --scene 2). The demo runs in the folder the
# command was typed in, so that a relative --screenshot path lands there; it
# finds its sprite image, Metaball.png, next to itself.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" -j2 --target particle-demo

demo="$root/build/app/particle-demo"
if [ -n "${DISPLAY:-}" ]; then
  exec "$demo" "$@"
fi

# No display. --help and a refused option need none, so the hint waits for
# the demo's own word that it could not open one. Its standard error is
# copied aside to look for that word; its standard output goes straight on.
err="$(mktemp)"
trap 'rm -f "$err"' EXIT
status=0
{ "$demo" "$@" 2>&1 1>&3 3>&- | tee "$err" >&2; } 3>&1 || status=$?
if [ "$status" -ne 0 ] && grep -q "no display could be opened" "$err"; then
  echo "No display: to run on a headless machine use  xvfb-run -a -s '-screen 0 1024x768x24' bash scripts/run.sh" >&2
fi
exit "$status"
