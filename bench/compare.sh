#!/usr/bin/env bash
# Time per step of a base commit against the working tree, built side by side
# with the same flags, run interleaved, several repeats; prints each
# workload's ratio (tree / base) as median and min–max over the repeats.
#
#   bash bench/compare.sh [options] [BASE]        BASE defaults to main
#
#   --repeats N        rounds of base-then-tree (order alternates), default 5
#   --filter REGEX     benchmarks to run (Google Benchmark filter), default the
#                      three workloads of the speed target
#   --base-threads N   SPH_THREADS for the base runs (default: unset)
#   --tree-threads N   SPH_THREADS for the tree runs (default: unset); the
#                      benchmark lends its worlds a pool of that many threads
#                      (a base that predates the pool read it in the library)
#   --tree-only        compare the tree with itself (e.g. --base-threads 1
#                      --tree-threads 2 for the gain from threads)
#   --busy             keep the second core busy with a pinned loop meanwhile
#   --build-type T     CMake build type for both, default Release
#   --keep DIR         build in DIR and keep it (default: a temporary folder)
#
# Both builds use the working tree's bench/ sources, so the base is timed on
# the same workloads even if it predates them (with tests/support/, their
# scripts); only sph/ and app/ differ.
# Times are wall-clock per step (the threaded step needs real time).
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$(pwd)

repeats=5
filter='BM_SceneTwoAtRest|BM_SceneOnePoured|BM_SceneOneLiquid/20000'
base_threads=""
tree_threads=""
tree_only=0
busy=0
build_type=Release
keep=""
base=main
while [ $# -gt 0 ]; do
  case "$1" in
    --repeats) repeats=$2; shift 2 ;;
    --filter) filter=$2; shift 2 ;;
    --base-threads) base_threads=$2; shift 2 ;;
    --tree-threads) tree_threads=$2; shift 2 ;;
    --tree-only) tree_only=1; shift ;;
    --busy) busy=1; shift ;;
    --build-type) build_type=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) base=$1; shift ;;
  esac
done

work=${keep:-$(mktemp -d)}
mkdir -p "$work"
busy_pid=""
cleanup() {
  if [ -n "$busy_pid" ]; then kill "$busy_pid" 2>/dev/null || true; fi
  if [ -z "$keep" ]; then rm -rf "$work"; fi
}
trap cleanup EXIT

configure_and_build() {  # source dir, build dir
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE="$build_type" -DPARTICLE_DEMO_GRAPHICS=OFF \
    -DPARTICLE_DEMO_TESTS=OFF -DPARTICLE_DEMO_BENCH=ON >/dev/null
  cmake --build "$2" -j2 --target step_bench >/dev/null
}

echo "== Building the tree ($build_type)"
configure_and_build "$tree" "$work/tree-build"
if [ "$tree_only" = 1 ]; then
  base_bench="$work/tree-build/bench/step_bench"
  base_label="tree${base_threads:+ SPH_THREADS=$base_threads}"
else
  base_rev=$(git rev-parse --verify "$base^{commit}")
  echo "== Building base $base (${base_rev:0:10}) with the tree's bench/"
  rm -rf "$work/base-src"
  mkdir -p "$work/base-src"
  git archive "$base_rev" | tar -x -C "$work/base-src"
  rm -rf "$work/base-src/bench" "$work/base-src/tests/support"
  cp -r "$tree/bench" "$work/base-src/bench"
  mkdir -p "$work/base-src/tests"
  cp -r "$tree/tests/support" "$work/base-src/tests/support"  # the workloads' scripts
  configure_and_build "$work/base-src" "$work/base-build"
  base_bench="$work/base-build/bench/step_bench"
  base_label="base ${base_rev:0:10}${base_threads:+ SPH_THREADS=$base_threads}"
fi
tree_bench="$work/tree-build/bench/step_bench"
tree_label="tree${tree_threads:+ SPH_THREADS=$tree_threads}"

if [ "$busy" = 1 ]; then
  taskset -c 1 sh -c 'while :; do :; done' &
  busy_pid=$!
  echo "== Second core kept busy (pid $busy_pid, pinned to CPU 1)"
fi

run() {  # label, binary, threads, output file
  local env=()
  [ -n "$3" ] && env=(SPH_THREADS="$3")
  env "${env[@]}" "$2" --benchmark_filter="$filter" --benchmark_format=json >"$4" 2>/dev/null
}

echo "== $repeats rounds: $base_label vs $tree_label; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for r in $(seq 1 "$repeats"); do
  if [ $((r % 2)) = 1 ]; then
    run base "$base_bench" "$base_threads" "$work/base-$r.json"
    run tree "$tree_bench" "$tree_threads" "$work/tree-$r.json"
  else
    run tree "$tree_bench" "$tree_threads" "$work/tree-$r.json"
    run base "$base_bench" "$base_threads" "$work/base-$r.json"
  fi
  echo "   round $r done; load $(cut -d' ' -f1-3 /proc/loadavg)"
done

python3 - "$work" "$repeats" "$base_label" "$tree_label" <<'EOF'
import json, statistics, sys
work, repeats, base_label, tree_label = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
def times(path):
    with open(path) as f:
        data = json.load(f)
    return {b["name"]: b["real_time"] for b in data["benchmarks"] if b.get("run_type") == "iteration"}
rounds = [(times(f"{work}/base-{r}.json"), times(f"{work}/tree-{r}.json")) for r in range(1, repeats + 1)]
names = [n for n in rounds[0][0] if all(n in b and n in t for b, t in rounds)]
print(f"\n{'workload':40} {'base ms':>9} {'tree ms':>9} {'ratio':>7}  min-max over {repeats} rounds")
for n in names:
    ratios = [t[n] / b[n] for b, t in rounds]
    base_ms = statistics.median(b[n] for b, _ in rounds)
    tree_ms = statistics.median(t[n] for _, t in rounds)
    print(f"{n:40} {base_ms:9.2f} {tree_ms:9.2f} {statistics.median(ratios):7.3f}  {min(ratios):.3f}-{max(ratios):.3f}")
print(f"\nbase: {base_label}; tree: {tree_label}; ratio = tree time / base time (median of the per-round ratios)")
EOF
