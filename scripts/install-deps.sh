#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (as root, or
# through sudo). Does nothing when they are all there already.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libsdl2-dev libpng-dev
  zlib1g-dev libzstd-dev liblzma-dev libz-mingw-w64-dev
  gzip zstd xz-utils
  libgtest-dev googletest libbenchmark-dev
  xvfb xdotool x11-utils imagemagick
  mandoc man-db dpkg-dev file
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-dejavu-core
  clang libclang-rt-14-dev valgrind
  libfast-float-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
# 32-bit packages (the Windows program's Wine) need the i386 architecture.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && [ "$(dpkg --print-architecture)" != i386 ] &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
