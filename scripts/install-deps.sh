#!/usr/bin/env bash
# Installs the Debian packages a build needs (as root, or through sudo).
# Does nothing when they are all there already.
#
# Usage: scripts/install-deps.sh [build|test]
#   build  what building and running the two programs need
#   test   that and what the tests add (the default)
set -euo pipefail
set_name=${1:-test}

# Building and running: one package a line.
build_packages=(
  build-essential
  cmake
  pkg-config
  libsdl2-dev
  libpng-dev
  zlib1g-dev
  libzstd-dev
  liblzma-dev
  libfast-float-dev
)

# What the tests add: one package a line.
test_packages=(
  libgtest-dev
  googletest
  xvfb
  xdotool
  x11-utils
  imagemagick
  mandoc
  man-db
  dpkg-dev
  file
  lintian
  g++-mingw-w64-i686
  g++-mingw-w64-x86-64
  libz-mingw-w64-dev
  gzip
  zstd
  xz-utils
  wine
  wine32:i386
  wine64
  fonts-dejavu-core
  clang
  libclang-rt-14-dev
  valgrind
)

case "$set_name" in
  build) packages=("${build_packages[@]}") ;;
  test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [build|test]" >&2; exit 2 ;;
esac

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
# A mirror in the middle of a sync serves an index of the wrong size now and
# then; the lists already in place usually install everything, so go on.
if ! $sudo apt-get update -qq; then
  echo "warning: apt-get update failed; installing from the package lists in place" >&2
fi
apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@"
}
# The 32-bit Wine is the one optional package: without it the Wine tests run
# the 64-bit Windows build. Everything else must install.
optional=wine32:i386
required=()
want_optional=0
for p in "${missing[@]}"; do
  if [ "$p" = "$optional" ]; then want_optional=1; else required+=("$p"); fi
done
if [ ${#required[@]} -ne 0 ] && ! apt_install "${required[@]}"; then
  # Once more one at a time, to name the package that cannot be installed.
  for p in "${required[@]}"; do
    if ! apt_install "$p"; then
      echo "error: could not install the package $p" >&2
      exit 1
    fi
  done
fi
if [ "$want_optional" -eq 1 ] && ! apt_install "$optional"; then
  echo "warning: could not install $optional; the Wine tests will use the 64-bit Windows build" >&2
fi
exit 0
