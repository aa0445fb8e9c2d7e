#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit tests, the
# tests that draw on a real (virtual) X server, the end-to-end tests of the
# demo, the installed library with a program built against it, the unit
# tests again under AddressSanitizer and UBSan, the threaded tests under
# ThreadSanitizer, a build with clang and its unit tests, bounded fuzzing
# runs of the PNG loader and of the sph library's public calls, the web
# build played in headless Chromium, and the Windows build checked under Wine.
#
# Every stage runs even when an earlier one failed; the script fails at the
# end, naming the stages that failed.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=2
failed=()
timings=()

# stage <name> <function>: runs the function in a subshell that stops at its
# first failing command, and records the outcome and the time it took.
stage() {
  local name=$1 started=$SECONDS status
  echo "== $name"
  ( set -euo pipefail; "$2" )
  status=$?
  timings+=("$((SECONDS - started))s  $name")
  if [ "$status" -ne 0 ]; then
    echo "== $name: FAILED (status $status)"
    failed+=("$name")
  fi
}

install() {
  bash scripts/install-deps.sh
}

gcc_build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARTICLE_DEMO_WERROR=ON
  cmake --build build -j"$jobs"
}

xvfb_tests() {
  # -noreset: by default Xvfb resets whenever its last client leaves and
  # refuses connections meanwhile; between two tests there is often no client.
  xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
    ctest --test-dir build --output-on-failure -LE long -j"$jobs"
}

# sph installed into a temporary prefix and examples/ built against that
# alone; stepped on 2 and 3 threads it must print the checksum it prints on
# one.
installed_library() {
  local work
  work=$(mktemp -d)
  trap "rm -rf '$work'" EXIT
  cmake --install build --prefix "$work/prefix"
  cmake -S examples -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$work/build" -j"$jobs"
  local serial
  serial=$("$work/build/pour" --threads 1)
  echo "1 thread: $serial"
  for threads in 2 3; do
    local split
    split=$("$work/build/pour" --threads "$threads")
    echo "$threads threads: $split"
    [ "$split" = "$serial" ] || { echo "the example's checksum differs on $threads threads"; exit 1; }
  done
}

# The threaded tests and the scripted checksums under ThreadSanitizer.
thread_sanitizer() {
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARTICLE_DEMO_WERROR=ON \
    -DPARTICLE_DEMO_TSAN=ON -DPARTICLE_DEMO_GRAPHICS=OFF -DPARTICLE_DEMO_BENCH=OFF
  cmake --build build-tsan -j"$jobs"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan -L threads --output-on-failure -j"$jobs"
}

# Warnings are not errors here: with the sanitizers' checks inlined, GCC warns
# falsely (inside std::regex, about the tests' own operator delete). The gcc
# and clang stages hold the code to its warnings.
sanitizer() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPARTICLE_DEMO_WERROR=OFF \
    -DPARTICLE_DEMO_SANITIZE=ON -DPARTICLE_DEMO_BENCH=OFF
  cmake --build build-asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan -L 'unit|threads' --output-on-failure -j"$jobs"
}

# The whole project again with clang, warnings as errors, plus the fuzz
# targets (libFuzzer, AddressSanitizer, UBSan) of the PNG loader and of the
# sph library.
clang_build() {
  command -v clang++ >/dev/null || { echo "clang++ is missing: scripts/install-deps.sh installs it"; exit 1; }
  CC=clang CXX=clang++ cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPARTICLE_DEMO_WERROR=ON -DPARTICLE_DEMO_FUZZ=ON
  cmake --build build-clang -j"$jobs"
  ctest --test-dir build-clang -L 'unit|threads' --output-on-failure -j"$jobs"
}

# Each target about 100 000 runs or 60 s, whichever ends first, from a seed
# corpus it writes itself: valid and hostile PNG files for the
# loader, a few short scenes for the sph library's calls. A crash, a
# sanitizer's report, a leak, a timeout or more memory than the limit fails
# the run; so does, for the library, a number that is not finite or a
# particle outside its container after a step.
fuzz() {
  local dir=build-clang/tests/fuzz png=0 api=0 pid
  rm -rf "$dir"/{corpus,seeds,findings,api_corpus,api_seeds,api_findings}
  mkdir -p "$dir"/{corpus,findings,api_corpus,api_findings}
  PNG_FUZZ_SEEDS="$dir/seeds" "$dir/png_fuzz"
  API_FUZZ_SEEDS="$dir/api_seeds" "$dir/api_fuzz"
  # The two side by side, one a core: the loader's in the background, its
  # log shown once both have ended.
  "$dir/png_fuzz" -runs=100000 -max_total_time=60 -rss_limit_mb=256 -timeout=10 \
    -artifact_prefix="$dir/findings/" -print_final_stats=1 "$dir/corpus" "$dir/seeds" >"$dir/png_fuzz.log" 2>&1 &
  pid=$!
  "$dir/api_fuzz" -runs=100000 -max_total_time=60 -rss_limit_mb=512 -timeout=10 \
    -artifact_prefix="$dir/api_findings/" -print_final_stats=1 "$dir/api_corpus" "$dir/api_seeds" || api=$?
  wait "$pid" || png=$?
  echo "== png_fuzz (status $png):"
  cat "$dir/png_fuzz.log"
  echo "== api_fuzz: status $api"
  if [ "$png" -ne 0 ] || [ "$api" -ne 0 ]; then return 1; fi
  # The same inputs through the library as GCC compiles it (the sanitizer
  # stage's build).
  build-asan/tests/fuzz/api_fuzz_replay "$dir/api_corpus" "$dir/api_seeds"
}

# The demo built for a browser (Emscripten) and played in headless Chromium,
# its checksums compared with the gcc build's.
web() {
  NATIVE_BUILD=$PWD/build bash scripts/web.sh
  NATIVE_BUILD=$PWD/build bash scripts/web.sh test
}

# The demo cross-compiled for Windows (MinGW-w64), its tests, checksums and
# pictures under Wine on a virtual X server, against the gcc build's.
windows() {
  NATIVE_BUILD=$PWD/build bash scripts/windows.sh
  NATIVE_BUILD=$PWD/build bash scripts/windows.sh test
}

stage "install" install
stage "build (gcc)" gcc_build
stage "tests on Xvfb" xvfb_tests
stage "installed sph and the example built against it" installed_library
stage "sanitizer build and unit tests" sanitizer
stage "ThreadSanitizer build and threaded tests" thread_sanitizer
stage "clang build and unit tests" clang_build
stage "fuzzing the PNG loader and the sph calls" fuzz
stage "web build and browser tests" web
stage "Windows build and its checks under Wine" windows

echo "== Stage times:"
printf '   %s\n' "${timings[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "== FAILED: ${#failed[@]} stage(s): $(printf '%s; ' "${failed[@]}" | sed 's/; $//')"
  exit 1
fi
echo "== All ${#timings[@]} stages passed"
