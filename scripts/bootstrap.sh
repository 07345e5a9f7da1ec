#!/usr/bin/env bash
# Installs the Debian packages the build needs; does nothing when all are there.
# Usage: scripts/bootstrap.sh [extra-package ...]
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev
    libjpeg62-turbo-dev libpng-dev zlib1g-dev libzip-dev
    libfreetype-dev libfontconfig-dev fonts-dejavu-core
    # HEIC/HEIF and AVIF, WebP, lossless JPEG turns. Debian 12's libheif1 brings its decoders
    # and encoders along (libde265, dav1d, aom, x265); later releases ship them as
    # libheif-plugin-* packages, which must then be added here.
    libheif-dev libwebp-dev libturbojpeg0-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    nlohmann-json3-dev
    libopencv-imgproc-dev
    desktop-file-utils appstream
    qt6-translations-l10n librsvg2-bin xvfb xauth x11-utils
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
