#!/usr/bin/env bash
# Installs what is missing, builds the demo and starts it from the folder
# that holds its sprite image, Metaball.png, passing on its arguments
# (bash scripts/run.sh --scene 2).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target particle-demo

if [ -z "${DISPLAY:-}" ]; then
  echo "No display: to run on a headless machine use  xvfb-run -a -s '-screen 0 1024x768x24' bash scripts/run.sh" >&2
fi
cd build/app
exec ./particle-demo "$@"
