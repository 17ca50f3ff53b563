#!/usr/bin/env bash
# Installs the Debian 12 packages Filmcast needs to build, test and benchmark.
# Says what it installs; does nothing when everything is present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libcairo2-dev libjpeg62-turbo-dev libpng-dev libgif-dev
  libfreeimage-dev zlib1g-dev liblzma-dev libcli11-dev libavcodec-dev libavformat-dev
  libswresample-dev libswscale-dev
  libgtest-dev libgmock-dev libbenchmark-dev fonts-dejavu-core
  ffmpeg gifsicle python3 python3-numpy python3-pil
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install packages" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
