#!/usr/bin/env bash
# Makes the README's pictures: runs the demo on a virtual X server, plays
# each scene for a few seconds and saves its window to docs/scene-N.png.
# Run after a build (scripts/run.sh or scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
out="$PWD/docs"
demo_dir="$PWD/build/app"
[ -x "$demo_dir/particle-demo" ] || { echo "build the demo first: bash scripts/run.sh" >&2; exit 1; }

if [ -z "${SCREENSHOT_INSIDE_XVFB:-}" ]; then
  SCREENSHOT_INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$0" "$@"
fi

cd "$demo_dir"
./particle-demo &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
window=$(xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"   # X, Y: the window on the screen

shot() { import -window "$window" "$out/$1"; echo "wrote docs/$1"; }
at() { xdotool mousemove $((X + $1)) $((Y + $2)); }

at 400 300
sleep 8
shot scene-1.png
xdotool key 2
sleep 2
xdotool key space            # start the three emitters
sleep 6
shot scene-2.png
xdotool key 3
sleep 3
at 650 60; xdotool click 1
sleep 0.6
at 150 60; xdotool click 1
sleep 0.4
shot scene-3.png
xdotool key Escape
wait "$pid"
