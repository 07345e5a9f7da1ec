#!/usr/bin/env bash
# Installs the Debian packages the build needs; does nothing when all are there.
# Usage: scripts/bootstrap.sh [extra-package ...]
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev
    libjpeg62-turbo-dev libpng-dev zlib1g-dev libzip-dev
    libfreetype-dev libfontconfig-dev fonts-dejavu-core
    libgtest-dev libgmock-dev libbenchmark-dev
    libopencv-imgproc-dev
    desktop-file-utils appstream
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "bootstrap: need root or sudo to install ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
