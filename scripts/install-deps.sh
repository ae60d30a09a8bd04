#!/usr/bin/env bash
# Installs the Debian packages Pictrove needs to build, run and test.
# Idempotent: when everything is present it only asks dpkg and exits.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libfreeimage-dev libdevil-dev libtiff-dev libgif-dev libimagequant-dev
  libwmf-dev libemf2svg-dev liblcms2-dev zlib1g-dev libjpeg-dev libdeflate-dev
  libwebp-dev libheif-dev libjxl-dev libavif-dev
  fonts-urw-base35 adwaita-icon-theme
)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(libgtest-dev libgmock-dev xvfb xauth imagemagick netpbm libimage-exiftool-perl
             dbus-daemon at-spi2-core python3-pyatspi desktop-file-utils appstream dpkg-dev parallel
             webp libheif-examples libavif-bin libjxl-tools libvips-tools
             graphicsmagick pngquant libjpeg-turbo-progs mate-backgrounds)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
((${#missing[@]} == 0)) && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
