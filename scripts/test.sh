#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit tests, the
# tests that draw on a real (virtual) X server, the end-to-end tests of the
# demo, the unit tests again under AddressSanitizer and UBSan, and the web
# build played in headless Chromium.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=2

echo "== Build (warnings as errors)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARTICLE_DEMO_WERROR=ON
cmake --build build -j"$jobs"

echo "== Tests (unit, gl, e2e) on a virtual X server"
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer, leaks)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPARTICLE_DEMO_WERROR=ON \
  -DPARTICLE_DEMO_SANITIZE=ON -DPARTICLE_DEMO_BENCH=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -L unit --output-on-failure -j"$jobs"

# ---- Web: the demo built for a browser and played in headless Chromium ----
echo "== Web build (Emscripten) and browser tests (headless Chromium)"
bash scripts/web.sh
bash scripts/web.sh test
# ---- end of the web stage ----
