#!/usr/bin/env bash
# Builds the demo for a web browser: the same program compiled to WebAssembly
# (with SIMD) by Debian's Emscripten, drawing either on the CPU onto a 2D
# canvas or with its immediate-mode GL on WebGL through Emscripten's GL
# emulation, as the page chooses. Two builds: one with threads (pthreads on
# Web Workers) for a cross-origin isolated page, one without for any other.
# Installs what is missing (with apt-get), builds SDL2, libpng and zlib from
# Debian's sources (apt-get source) into build-web/prefix and, with -pthread,
# build-web/prefix-threads (once on a machine: they are cached, see
# scripts/debian.sh), and writes a static site to build-web/site:
#
#   bash scripts/web.sh serve 8000    # then open http://localhost:8000
#
# `bash scripts/web.sh test` then compares the step's checksums with the native
# build's and plays the site in headless Chromium; `bash scripts/web.sh pour`
# pours scene 1 there and prints the frame rates (a benchmark).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-web
prefix=$out/prefix
# The native tools (make_metaball, the checksums to compare with): the test
# command hands in its own gcc build; alone, this script makes one.
native=${NATIVE_BUILD:-$out/native}
jobs=${JOBS:-2}  # JOBS=1 on a machine shared with other builds

# shellcheck source=scripts/debian.sh
source "$root/scripts/debian.sh"

# Emscripten's JavaScript optimiser loads acorn from Debian's node-acorn.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# Node 20 would fetch() a file path when it runs what Emscripten built for it.
export NODE_OPTIONS="--no-experimental-fetch${NODE_OPTIONS:+ $NODE_OPTIONS}"

if [ "${1:-}" = "test" ] || [ "${1:-}" = "pour" ]; then
  # Headless Chromium and the DevTools driver pinned in tests/web (no browser download).
  need chromium nodejs
  command -v npm >/dev/null || need npm
  (cd tests/web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
  # `pour`: the browser's frame rates while scene 1 pours, a benchmark.
  [ "$1" = "pour" ] && exec node tests/web/site_test.mjs --pour "$out/site"
  ctest --test-dir "$out/demo-threads" -L web --verbose
  ctest --test-dir "$out/demo" -L web --verbose
  exit
fi

if [ "${1:-}" = "serve" ]; then
  # The site over HTTP with the two headers that make the page cross-origin
  # isolated, so that it runs the build with threads (from localhost, which
  # the browser counts as a secure origin; elsewhere it takes HTTPS too).
  port=${2:-8000}
  [ -f "$out/site/index.html" ] || { echo "no site in build-web/site: run bash scripts/web.sh first" >&2; exit 1; }
  echo "Serving build-web/site on http://localhost:$port (cross-origin isolated)"
  exec python3 -c '
import functools, http.server, sys

class Isolated(http.server.SimpleHTTPRequestHandler):
    def end_headers(self):
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        super().end_headers()

Isolated.extensions_map[".wasm"] = "application/wasm"
handler = functools.partial(Isolated, directory=sys.argv[2])
http.server.ThreadingHTTPServer(("", int(sys.argv[1])), handler).serve_forever()
' "$port" "$out/site"
fi

bash scripts/install-deps.sh   # the native build tools and libraries (for make_metaball)
need emscripten node-acorn ninja-build dpkg-dev

# ---- The libraries, from Debian's source packages, built once ----------------
src=$out/sources
mkdir -p "$src"

use_debian_sources

# Emscripten's CMake toolchain would run configure-time programs with a Node
# flag Node 20 rejects: name the emulator ourselves. $prefix is where the
# libraries are found and installed.
emcmake_configure() {
  emcmake cmake -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" "$@"
}

# zlib, libpng and SDL2 into $prefix, each built once, compiled with the C
# flags $1 ("-pthread" for the threaded build: wasm-ld refuses to link objects
# built without atomics and shared memory into a program with them). The build
# folders get the suffix $2.
build_libraries() {
  local cflags=$1 suffix=$2
  mkdir -p "$prefix"
  if [ ! -f "$prefix/lib/libz.a" ]; then
    echo "== zlib (Debian source, Emscripten${cflags:+, $cflags})"
    fetch_source zlib
    rm -rf "$out/zlib-build$suffix" && cp -a "$src/zlib" "$out/zlib-build$suffix"
    (cd "$out/zlib-build$suffix" &&
      if [ -n "$cflags" ]; then export CFLAGS="-O3 $cflags"; fi &&
      emconfigure ./configure --static --prefix="$prefix" >/dev/null &&
      emmake make -j"$jobs" libz.a >/dev/null && emmake make install >/dev/null)
  fi

  if [ ! -f "$prefix/lib/libpng16.a" ]; then
    echo "== libpng (Debian source, Emscripten${cflags:+, $cflags})"
    fetch_source libpng1.6
    emcmake_configure -S "$src/libpng1.6" -B "$out/libpng-build$suffix" -DCMAKE_C_FLAGS="$cflags" \
      -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
      -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a" >/dev/null
    cmake --build "$out/libpng-build$suffix" -j"$jobs" --target install >/dev/null
  fi

  # SDL's own threads stay off in both builds: the program asks SDL for
  # events, the timer and the GL, never for a thread.
  if [ ! -f "$prefix/lib/libSDL2.a" ]; then
    echo "== SDL2 (Debian source, Emscripten${cflags:+, $cflags}; a few minutes)"
    fetch_source libsdl2
    emcmake_configure -S "$src/libsdl2" -B "$out/sdl2-build$suffix" -DCMAKE_C_FLAGS="$cflags" \
      -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_PTHREADS=OFF -DSDL_THREADS=OFF >/dev/null
    cmake --build "$out/sdl2-build$suffix" -j"$jobs" --target install >/dev/null
  fi
}

cache_toolchain="$(emcc --version | head -n 1)"
cached_build "$out/prefix" "zlib libpng1.6 libsdl2" build_libraries "" ""
cached_build "$out/prefix-threads" "zlib libpng1.6 libsdl2" build_libraries -pthread -threads

# ---- The demo --------------------------------------------------------------
echo "== make_metaball and scene_checksums (native, in $native)"
[ -n "${NATIVE_BUILD:-}" ] ||
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DPARTICLE_DEMO_TESTS=OFF -DPARTICLE_DEMO_BENCH=OFF >/dev/null
cmake --build "$native" -j"$jobs" --target make_metaball scene_checksums

# Two builds into the one site: with threads (particle-demo-threads.*) for a
# cross-origin isolated page, without (particle-demo.*) for any other.
demo_build() {  # build folder, libraries' prefix, CMake options
  local dir=$1 libs=$2
  shift 2
  prefix=$libs emcmake_configure -S . -B "$dir" -DPARTICLE_DEMO_TESTS=OFF -DPARTICLE_DEMO_BENCH=OFF \
    -DPARTICLE_DEMO_WERROR=ON -DCMAKE_BUILD_TYPE=Release -DMAKE_METABALL="$native/tools/make_metaball" \
    -DPARTICLE_DEMO_SITE="$out/site" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs" --target particle-demo scene_checksums
}
echo "== The demo with threads (Emscripten, pthreads) into build-web/site"
demo_build "$out/demo-threads" "$out/prefix-threads" -DPARTICLE_DEMO_WEB_THREADS=ON
echo "== The demo without threads (Emscripten) into build-web/site"
demo_build "$out/demo" "$out/prefix"
ls -l "$out/site"
echo "Serve it with:  bash scripts/web.sh serve 8000   (then open http://localhost:8000)"
