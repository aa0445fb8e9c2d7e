#!/usr/bin/env bash
# Builds the demo for 64-bit Windows with Debian's MinGW-w64 (POSIX threads
# flavour). Installs what is missing (with apt-get), builds SDL2, GLEW, libpng,
# zlib, GoogleTest and musl's pow/atan2/sin/cos from Debian's sources
# (apt-get source) into build-windows/prefix once, then the demo, the library
# and the unit and threaded tests into build-windows/demo, and writes
# build-windows/particle-demo-windows.zip: particle-demo.exe (linked
# statically: no DLL beside it), Metaball.png and README.txt.
#
# `bash scripts/windows.sh test` then runs, under Wine on a virtual X server,
# the unit and threaded tests, the scripted scenes' checksums against the
# native build's, examples/ built against the installed Windows library, the
# three scenes' screenshots against the native ones, the desktop tests'
# recording replayed to their end line, and a wrong command line.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-windows
prefix=$out/prefix
toolchain=$root/cmake/mingw-w64.cmake
host=x86_64-w64-mingw32
# The native build to compare with (and its make_metaball): the test command
# hands in its own gcc build; alone, this script makes one.
native=${NATIVE_BUILD:-$out/native}
deps_jobs=2   # the libraries, built once
jobs=2        # the project

# shellcheck source=scripts/debian.sh
source "$root/scripts/debian.sh"

if [ "${1:-}" = "test" ]; then
  need wine wine64 xvfb xauth binutils-mingw-w64-x86-64
  [ -f "$out/demo/CTestTestfile.cmake" ] || { echo "build it first: bash scripts/windows.sh" >&2; exit 1; }
  if [ -z "${WINDOWS_TEST_INSIDE_XVFB:-}" ]; then
    WINDOWS_TEST_INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$0" test
  fi
  wine=(bash "$root/scripts/wine-run.sh")
  if [ ! -f "$out/wine/system.reg" ]; then
    echo "== The Wine prefix (made once)"
    "${wine[@]}" wineboot --init
  fi

  echo "== The unit and threaded tests under Wine"
  ctest --test-dir "$out/demo" -L 'unit|threads' --output-on-failure

  echo "== The scripted scenes' checksums: Windows (Wine) against native"
  "$native/tools/scene_checksums" >"$out/checksums-native.txt"
  "${wine[@]}" "$out/demo/tools/scene_checksums.exe" | tr -d '\r' >"$out/checksums-windows.txt"
  cat "$out/checksums-windows.txt"
  diff "$out/checksums-native.txt" "$out/checksums-windows.txt"

  echo "== The example built against the installed library: the same checksum on 1, 2 and 3 threads"
  serial=$("${wine[@]}" "$out/example/pour.exe" --threads 1 | tr -d '\r')
  for threads in 2 3; do
    [ "$("${wine[@]}" "$out/example/pour.exe" --threads $threads | tr -d '\r')" = "$serial" ] ||
      { echo "the example's checksum differs on $threads threads"; exit 1; }
  done
  echo "$serial"

  echo "== 120 frames of each scene: the Windows screenshot against the native one"
  shots=$out/screenshots
  rm -rf "$shots" && mkdir -p "$shots"
  for scene in 1 2 3; do
    (cd "$native/app" && ./particle-demo --scene $scene --frames 120 --screenshot "$shots/native-$scene.png")
    (cd "$out/demo/app" && "${wine[@]}" particle-demo.exe --scene $scene --frames 120 \
      --screenshot "$shots/windows-$scene.png" --fps-log) | tr -d '\r' | tail -n 1
    # The frame rate in the top left corner is left out: no two runs share it.
    echo -n "scene $scene: "
    "$native/tools/picture_difference" "$shots/native-$scene.png" "$shots/windows-$scene.png" 0 0 100 17
  done

  echo "== The desktop tests' recording replayed: their end line"
  expected=$(cat "$root/tests/e2e/data/session.end")
  ended=$(cd "$out/demo/app" && "${wine[@]}" particle-demo.exe --replay "$root/tests/e2e/data/session.rec" |
    tr -d '\r' | tail -n 1)
  echo "$ended"
  [ "$ended" = "$expected" ] || { echo "not the end line of tests/e2e/data/session.end: $expected"; exit 1; }

  echo "== particle-demo.exe is a windowed program (its lines reach a pipe all the same, above and below)"
  $host-objdump -p "$out/demo/app/particle-demo.exe" | grep -E '^Subsystem.*Windows GUI' ||
    { echo "particle-demo.exe is not a windowed (GUI) program"; exit 1; }

  echo "== A wrong option: exit status 2, one line naming it, then the usage"
  usage=$(cd "$out/demo/app" && "${wine[@]}" particle-demo.exe --help | tr -d '\r')
  set +e
  wrong=$(cd "$out/demo/app" && "${wine[@]}" particle-demo.exe --scene 9 2>&1 >/dev/null | tr -d '\r'; exit "${PIPESTATUS[0]}")
  status=$?
  set -e
  echo "exit status $status: $(head -n 1 <<<"$wrong")"
  [ "$status" -eq 2 ] || { echo "exit status $status, not 2"; exit 1; }
  [ "$wrong" = "particle-demo: --scene: \"9\" is not a scene: give 1, 2 or 3"$'\n'"$usage" ] ||
    { echo "not the one line and the usage:"; echo "$wrong"; exit 1; }
  echo "== All the Windows checks passed"
  exit
fi

bash scripts/install-deps.sh   # the native build (make_metaball, the checksums and pictures to compare with)
need g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev \
  googletest ninja-build dpkg-dev zip

# ---- The libraries, from Debian's source packages, built once ----------------
src=$out/sources
mkdir -p "$src"

use_debian_sources

cross_configure() {
  cmake -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" "$@"
}

# The libraries into $prefix, each built once.
build_libraries() {
  mkdir -p "$prefix/include" "$prefix/lib"
  if [ ! -f "$prefix/lib/libmuslmath.a" ]; then
    # glibc (Linux) and musl (the web build) give the step's pow, atan2, sin and
    # cos the same bits; MinGW's C runtime does not always. So musl's, compiled
    # as musl compiles them, with the two internal headers they need stubbed.
    echo "== pow, atan2, sin, cos (Debian's musl source, MinGW)"
    fetch_source musl
    rm -rf "$out/muslmath-build" && mkdir -p "$out/muslmath-build/include"
    printf '#define __LITTLE_ENDIAN 1234\n#define __BIG_ENDIAN 4321\n#define __BYTE_ORDER __LITTLE_ENDIAN\n' \
      >"$out/muslmath-build/include/endian.h"
    : >"$out/muslmath-build/include/features.h"
    objects=()
    # GCC turns a sin and a cos of one angle into a sincos (sincosf in float),
    # and MinGW defines both in one object: musl's both, or the two collide.
    for f in pow pow_data exp_data atan2 atan sin cos sincos __sin __cos __rem_pio2 __rem_pio2_large \
      sincosf __sindf __cosdf __rem_pio2f __math_oflow __math_uflow __math_xflow __math_invalid __math_divzero; do
      $host-gcc-posix -std=c99 -O2 -ffp-contract=off -frounding-math -fexcess-precision=standard -fno-builtin \
        -Dhidden= -I"$out/muslmath-build/include" -I"$src/musl/arch/generic" -I"$src/musl/src/internal" \
        -c "$src/musl/src/math/$f.c" -o "$out/muslmath-build/$f.o"
      objects+=("$out/muslmath-build/$f.o")
    done
    $host-ar rcs "$prefix/lib/libmuslmath.a" "${objects[@]}"
  fi

  if [ ! -f "$prefix/lib/libz.a" ]; then
    echo "== zlib (Debian source, MinGW)"
    fetch_source zlib
    rm -rf "$out/zlib-build" && cp -a "$src/zlib" "$out/zlib-build"
    # (Debian's source has no win32/ makefile: configure for the static library alone.)
    (cd "$out/zlib-build" && CHOST=$host CC=$host-gcc-posix ./configure --static --prefix="$prefix" >/dev/null &&
      make -j"$deps_jobs" libz.a >/dev/null)
    cp "$out/zlib-build/zlib.h" "$out/zlib-build/zconf.h" "$prefix/include/"
    cp "$out/zlib-build/libz.a" "$prefix/lib/"
  fi

  if [ ! -f "$prefix/lib/libpng16.a" ]; then
    echo "== libpng (Debian source, MinGW)"
    fetch_source libpng1.6
    cross_configure -S "$src/libpng1.6" -B "$out/libpng-build" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
      -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DZLIB_INCLUDE_DIR="$prefix/include" \
      -DZLIB_LIBRARY="$prefix/lib/libz.a" >/dev/null
    cmake --build "$out/libpng-build" -j"$deps_jobs" --target install >/dev/null
  fi

  if [ ! -f "$prefix/lib/libglew32s.a" ]; then
    # One generated C file: compiled as the static library FindGLEW looks for.
    echo "== GLEW (Debian source, MinGW)"
    fetch_source glew
    rm -rf "$out/glew-build" && mkdir -p "$out/glew-build"
    $host-gcc-posix -O2 -DGLEW_STATIC -DGLEW_NO_GLU -I"$src/glew/include" -c "$src/glew/src/glew.c" \
      -o "$out/glew-build/glew.o"
    $host-ar rcs "$prefix/lib/libglew32s.a" "$out/glew-build/glew.o"
    mkdir -p "$prefix/include/GL"
    cp "$src/glew/include/GL/glew.h" "$src/glew/include/GL/wglew.h" "$prefix/include/GL/"
  fi

  if [ ! -f "$prefix/lib/libSDL2.a" ]; then
    echo "== SDL2 (Debian source, MinGW; a few minutes)"
    fetch_source libsdl2
    cross_configure -S "$src/libsdl2" -B "$out/sdl2-build" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF >/dev/null
    cmake --build "$out/sdl2-build" -j"$deps_jobs" --target install >/dev/null
  fi

  if [ ! -f "$prefix/lib/libgtest.a" ]; then
    echo "== GoogleTest (Debian's googletest sources, MinGW)"
    cross_configure -S /usr/src/googletest -B "$out/gtest-build" -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$out/gtest-build" -j"$deps_jobs" --target install >/dev/null
  fi
}

cache_toolchain="$($host-g++-posix --version | head -n 1) / googletest $(dpkg-query -W -f='${Version}' googletest)"
cached_build "$prefix" "musl zlib libpng1.6 glew libsdl2" build_libraries

echo "== The libraries are ready (${SECONDS}s)"

# ---- The demo --------------------------------------------------------------
echo "== make_metaball, scene_checksums and the demo (native, to compare with)"
[ -n "${NATIVE_BUILD:-}" ] ||
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARTICLE_DEMO_TESTS=OFF -DPARTICLE_DEMO_BENCH=OFF >/dev/null
cmake --build "$native" -j"$jobs" --target make_metaball scene_checksums particle-demo picture_difference

echo "== The demo, the library and the tests (MinGW) into build-windows/demo"
cross_configure -S . -B "$out/demo" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARTICLE_DEMO_WINDOWS_PREFIX="$prefix" \
  -DPARTICLE_DEMO_BENCH=OFF -DPARTICLE_DEMO_WERROR=ON -DMAKE_METABALL="$native/tools/make_metaball" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" >/dev/null
cmake --build "$out/demo" -j"$jobs"

echo "== sph installed from the Windows build, and examples/ built against it"
rm -rf "$out/installed" "$out/example"
cmake --install "$out/demo" --prefix "$out/installed" >/dev/null
cross_configure -S examples -B "$out/example" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPARTICLE_DEMO_WINDOWS_PREFIX="$prefix" -Dsph_DIR="$out/installed/lib/cmake/sph" >/dev/null
cmake --build "$out/example" -j"$jobs"

echo "== build-windows/particle-demo-windows.zip"
package=$out/package/particle-demo
rm -rf "$out/package" && mkdir -p "$package"
cp "$out/demo/app/particle-demo.exe" "$out/demo/app/Metaball.png" "$package/"
$host-strip "$package/particle-demo.exe"
cp "$root/platform/windows/README.txt" "$package/README.txt"
rm -f "$out/particle-demo-windows.zip"
(cd "$out/package" && zip -q -r -9 "$out/particle-demo-windows.zip" particle-demo)
ls -l "$out/particle-demo-windows.zip"
echo "== Done (${SECONDS}s)"
