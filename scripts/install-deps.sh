#!/usr/bin/env bash
# Installs, with apt-get, whatever this machine lacks to build, run and test the demo.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libglew-dev libpng-dev zlib1g-dev
  libgl1-mesa-dev libgl1-mesa-dri libglu1-mesa-dev
  xvfb xauth xdotool x11-utils imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
