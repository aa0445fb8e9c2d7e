#!/usr/bin/env bash
# The demo's frame rate as the liquid pours in, one build against another,
# run in turn on one virtual X server: scene 1 as it starts (its emitter on),
# and scene 2 with its emitters turned on by a press of the space bar.
# Prints, per band of particle counts, the lowest and the median of the
# frame rates the demo logged (--fps-log) in that band, for each build, and
# the mean step, drawing and showing times where the build logs them.
#
#   bash bench/frame_rates.sh BASE_DEMO TREE_DEMO [FRAMES1 [FRAMES2]]
#
# BASE_DEMO and TREE_DEMO are built particle-demo programs (each next to its
# Metaball.png); FRAMES1 and FRAMES2 are the frames run in scenes 1 and 2
# (default 8700, where scene 1 holds about 36 000 particles, and 1500, where
# scene 2 holds about 31 000).
# Needs Xvfb and xdotool. Frame rates depend on the machine's load: run it on
# a quiet machine, and read base and tree side by side.
set -euo pipefail
base=$(realpath "$1")
tree=$(realpath "$2")
frames1=${3:-8700}
frames2=${4:-1500}
band=2000
out=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$out"' EXIT

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -noreset >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1

# run DEMO SCENE FRAMES LOG
run() {
  (cd "$(dirname "$1")" && exec "$1" --scene "$2" --frames "$3" --fps-log >"$4" 2>/dev/null) &
  local pid=$!
  if [ "$2" = 2 ]; then
    local window
    window=$(xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # With no window manager, the keyboard follows the pointer.
    xdotool mousemove $((X + 400)) $((Y + 300))
    sleep 0.3
    xdotool key space
  fi
  wait "$pid"
}

# The log's lines ("scene 1 fps 63 particles 20000 draw cpu step-ms 7.1 ...")
# by band: lowest fps, median fps, and the means of any "-ms" fields.
bands() {
  awk -v band="$band" '
    $3 == "fps" {
      b = int($6 / band) * band
      n[b]++; fps[b, n[b]] = $4
      for (i = 9; i < NF; i += 2) if ($i ~ /-ms$/) { sum[b, $i] += $(i + 1); names[$i] = 1 }
    }
    END {
      for (b in n) {
        m = n[b]
        for (i = 1; i <= m; i++) v[i] = fps[b, i]
        for (i = 2; i <= m; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
        line = sprintf("%6d-%-6d %4d %4d", b, b + band, v[1], v[int((m + 1) / 2)])
        for (f in names) line = line sprintf(" %s %.1f", f, sum[b, f] / m)
        print line
      }
    }' "$1" | sort -n
}

for scene in 1 2; do
  frames=$frames1
  [ "$scene" = 2 ] && frames=$frames2
  run "$base" "$scene" "$frames" "$out/base-$scene.log"
  run "$tree" "$scene" "$frames" "$out/tree-$scene.log"
  echo "scene $scene, $frames frames"
  echo "particles       base low/median   tree low/median   tree times (ms)"
  # Base and tree side by side, band by band.
  awk 'FNR == 1 { file++ }
       file == 1 { base[$1] = $2 "  " $3; keys[$1] = 1 }
       file == 2 { times = ""; for (i = 4; i <= NF; i++) times = times " " $i; tree[$1] = $2 "  " $3 "  " times; keys[$1] = 1 }
       END {
         for (k in keys) printf "%-15s %-17s %s\n", k, (k in base) ? base[k] : "-", (k in tree) ? tree[k] : "-"
       }' <(bands "$out/base-$scene.log") <(bands "$out/tree-$scene.log") | sort -n
done
