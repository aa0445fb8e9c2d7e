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
  # clang builds the project a second time; its libFuzzer and sanitizer
  # runtimes are in libclang-rt-14-dev, which clang only recommends.
  clang libclang-rt-14-dev
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
# Others may be installing on the same machine: wait for the package lock.
apt="apt-get -o DPkg::Lock::Timeout=900"
$sudo $apt update -qq
$sudo $apt install -y -qq --no-install-recommends "${missing[@]}"
