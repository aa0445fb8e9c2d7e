#!/usr/bin/env bash
# Builds the demo for a web browser: the same program compiled to WebAssembly
# (with SIMD) by Debian's Emscripten, drawing either on the CPU onto a 2D
# canvas or with its immediate-mode GL on WebGL through Emscripten's GL
# emulation, as the page chooses. Installs what is missing (with apt-get), builds
# SDL2, libpng and zlib from Debian's sources (apt-get source) into
# build-web/prefix once, and writes a static site to build-web/site:
#
#   python3 -m http.server -d build-web/site 8000    # then open http://localhost:8000
#
# `bash scripts/web.sh test` then compares the step's checksums with the native
# build's and plays the site in headless Chromium.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-web
prefix=$out/prefix
jobs=2

# shellcheck source=scripts/debian.sh
source "$root/scripts/debian.sh"

# Emscripten's JavaScript optimiser loads acorn from Debian's node-acorn.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# Node 20 would fetch() a file path when it runs what Emscripten built for it.
export NODE_OPTIONS="--no-experimental-fetch${NODE_OPTIONS:+ $NODE_OPTIONS}"

if [ "${1:-}" = "test" ]; then
  # Headless Chromium and the DevTools driver pinned in tests/web (no browser download).
  need chromium nodejs
  command -v npm >/dev/null || need npm
  (cd tests/web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
  ctest --test-dir "$out/demo" -L web --verbose
  exit
fi

bash scripts/install-deps.sh   # the native build tools and libraries (for make_metaball)
need emscripten node-acorn ninja-build dpkg-dev

# ---- The libraries, from Debian's source packages, built once ----------------
src=$out/sources
mkdir -p "$src" "$prefix"

use_debian_sources

# Emscripten's CMake toolchain would run configure-time programs with a Node
# flag Node 20 rejects: name the emulator ourselves.
emcmake_configure() {
  emcmake cmake -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" "$@"
}

if [ ! -f "$prefix/lib/libz.a" ]; then
  echo "== zlib (Debian source, Emscripten)"
  fetch_source zlib
  rm -rf "$out/zlib-build" && cp -a "$src/zlib" "$out/zlib-build"
  (cd "$out/zlib-build" && emconfigure ./configure --static --prefix="$prefix" >/dev/null &&
    emmake make -j"$jobs" libz.a >/dev/null && emmake make install >/dev/null)
fi

if [ ! -f "$prefix/lib/libpng16.a" ]; then
  echo "== libpng (Debian source, Emscripten)"
  fetch_source libpng1.6
  emcmake_configure -S "$src/libpng1.6" -B "$out/libpng-build" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
    -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DZLIB_INCLUDE_DIR="$prefix/include" \
    -DZLIB_LIBRARY="$prefix/lib/libz.a" >/dev/null
  cmake --build "$out/libpng-build" -j"$jobs" --target install >/dev/null
fi

if [ ! -f "$prefix/lib/libSDL2.a" ]; then
  echo "== SDL2 (Debian source, Emscripten; a few minutes)"
  fetch_source libsdl2
  emcmake_configure -S "$src/libsdl2" -B "$out/sdl2-build" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
    -DSDL_PTHREADS=OFF -DSDL_THREADS=OFF >/dev/null
  cmake --build "$out/sdl2-build" -j"$jobs" --target install >/dev/null
fi

# ---- The demo --------------------------------------------------------------
echo "== make_metaball and scene_checksums (native)"
cmake -S . -B "$out/native" -DCMAKE_BUILD_TYPE=Release -DPARTICLE_DEMO_TESTS=OFF -DPARTICLE_DEMO_BENCH=OFF >/dev/null
cmake --build "$out/native" -j"$jobs" --target make_metaball scene_checksums

echo "== The demo (Emscripten) into build-web/site"
emcmake_configure -S . -B "$out/demo" -DPARTICLE_DEMO_TESTS=OFF -DPARTICLE_DEMO_BENCH=OFF -DPARTICLE_DEMO_WERROR=ON \
  -DCMAKE_BUILD_TYPE=Release -DMAKE_METABALL="$out/native/tools/make_metaball" -DPARTICLE_DEMO_SITE="$out/site" >/dev/null
cmake --build "$out/demo" -j"$jobs" --target particle-demo scene_checksums
ls -l "$out/site"
echo "Serve it with:  python3 -m http.server -d build-web/site 8000   (then open http://localhost:8000)"
