#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Brimvale need.
# Only what is missing is installed; a machine that has everything is left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins
  libjpeg-dev libpng-dev zlib1g-dev libtiff-dev libraw-dev libwebp-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2 fonts-dejavu-core
  imagemagick pngcheck libtiff-tools
  libimage-exiftool-perl exiv2
  help2man desktop-file-utils appstream groff-base man-db lintian dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg -s "$p" >/dev/null 2>&1; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  run=()
elif command -v sudo >/dev/null 2>&1 && { sudo -n true 2>/dev/null || [ -t 0 ]; }; then
  echo "install-deps: not root, using sudo"
  run=(sudo)
else
  echo "install-deps: these packages are missing and this user can neither run apt-get as root nor use sudo:" >&2
  echo "  ${missing[*]}" >&2
  echo "install-deps: install them as root (apt-get install ${missing[*]}) and try again." >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${run[@]}" apt-get update -qq
"${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
