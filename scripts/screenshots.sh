#!/usr/bin/env bash
# Makes the README's pictures, docs/scene-N.png: runs the demo on a virtual X
# server, once per scene, and has it save its own window.
#
# Scenes 1 and 2 need no input: each runs a fixed number of frames, so its
# picture is the same on a fast and a slow machine (but for the frame rate
# in the corner). Scene 2 is shown as built, its three liquids settling with
# the emitters off. Scene 3's boxes are dropped by clicks, which only a
# person (here xdotool) gives; its picture is the frame on show when Escape
# ends the run, and it changes a little with the machine's speed.
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
./particle-demo --scene 1 --frames 480 --screenshot "$out/scene-1.png"
echo "wrote docs/scene-1.png"
./particle-demo --scene 2 --frames 600 --screenshot "$out/scene-2.png"
echo "wrote docs/scene-2.png"

./particle-demo --scene 3 --screenshot "$out/scene-3.png" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
window=$(xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"   # X, Y: the window on the screen
at() { xdotool mousemove $((X + $1)) $((Y + $2)); }
sleep 3
at 650 60; xdotool click 1
sleep 0.6
at 150 60; xdotool click 1
sleep 0.4
at 400 300; xdotool key Escape   # with no window manager, the keyboard follows the pointer
wait "$pid"
trap - EXIT
echo "wrote docs/scene-3.png"
