#!/usr/bin/env bash
# What a user installs: `cmake --install`, the Debian package, the Windows
# zip and the manual pages, each checked as a user would meet it.
# Usage: package_test.sh install|deb|zip|man BUILD_DIR [WINDOWS_BUILD_DIR]
set -euo pipefail
what=$1
build=$2
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
needs() { command -v "$1" >/dev/null 2>&1 || { echo "$1 is not installed"; exit 77; }; }

# Runs an installed viewer headless on an installed example, answering the
# final prompt with a key: it must end normally and leave its snapshot.
run_installed() {
  local exe=$1 example=$2
  [ -x "$exe" ] || fail "$exe is not there"
  [ -s "$example" ] || fail "$example is not there"
  set +e
  echo a | (cd "$work" && PELMORIX_DISPLAY=headless PELMORIX_SNAPSHOT="$work/snapshot.png" \
                          "$exe" "$example" 0 0 10 4.5 >"$work/out" 2>"$work/err")
  local status=$?
  set -e
  [ "$status" -eq 0 ] || { cat "$work/out" "$work/err"; fail "$exe ended with status $status"; }
  grep -qx 'Dimension detectada del modelo: 10 x 10' "$work/out" || { cat "$work/out"; fail "$exe plotted nothing"; }
  [ -s "$work/snapshot.png" ] || fail "$exe wrote no snapshot"
  rm -f "$work/snapshot.png"
}

case "$what" in
  install)
    cmake --install "$build" --prefix "$work/prefix" >/dev/null
    # Exactly the programs, their pages, the README, licence, changelog and
    # the examples.
    (cd "$work/prefix" && find . -type f | sort) >"$work/files"
    cat >"$work/expected" <<'LIST'
./bin/pelmorix
./bin/pelmorix-genlog
./bin/pelmorix-scan
./share/doc/pelmorix/CHANGELOG.md.gz
./share/doc/pelmorix/README.md
./share/doc/pelmorix/changelog.gz
./share/doc/pelmorix/copyright
./share/doc/pelmorix/examples/brusselator.png
./share/doc/pelmorix/examples/brusselator.skv
./share/doc/pelmorix/examples/diffusion.skv
./share/doc/pelmorix/examples/gray-scott.skv
./share/man/man1/pelmorix-genlog.1.gz
./share/man/man1/pelmorix-scan.1.gz
./share/man/man1/pelmorix.1.gz
LIST
    diff "$work/expected" "$work/files" || fail "installed files differ from the list above (< expected, > got)"
    run_installed "$work/prefix/bin/pelmorix" "$work/prefix/share/doc/pelmorix/examples/brusselator.skv"
    "$work/prefix/bin/pelmorix-genlog" --size 3 --steps 2 | cmp - <("$build/tools/pelmorix-genlog" --size 3 --steps 2) ||
      fail "the installed pelmorix-genlog writes another log"
    "$work/prefix/bin/pelmorix-scan" "$work/prefix/share/doc/pelmorix/examples/brusselator.skv" |
      cmp - <("$build/tools/pelmorix-scan" "$work/prefix/share/doc/pelmorix/examples/brusselator.skv") ||
      fail "the installed pelmorix-scan reports otherwise"
    ;;
  deb)
    needs dpkg-deb
    needs dpkg-shlibdeps
    needs lintian
    version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
    [ -n "$version" ] || fail "no version in $build/CPackConfig.cmake"
    (cd "$build" && cpack -G DEB -B "$work/out-deb" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
    deb="$work/out-deb/pelmorix_${version}_$(dpkg --print-architecture).deb"
    [ -f "$deb" ] || { ls "$work/out-deb"; fail "no $(basename "$deb")"; }
    dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
    for f in ./usr/bin/pelmorix ./usr/bin/pelmorix-genlog ./usr/bin/pelmorix-scan ./usr/share/man/man1/pelmorix.1.gz \
             ./usr/share/man/man1/pelmorix-genlog.1.gz ./usr/share/man/man1/pelmorix-scan.1.gz \
             ./usr/share/doc/pelmorix/README.md ./usr/share/doc/pelmorix/examples/brusselator.skv \
             ./usr/share/doc/pelmorix/copyright ./usr/share/doc/pelmorix/changelog.gz \
             ./usr/share/doc/pelmorix/CHANGELOG.md.gz; do
      grep -qx -- "$f" "$work/contents" || { cat "$work/contents"; fail "$f is not in the package"; }
    done
    [ "$(dpkg-deb -f "$deb" Package)" = pelmorix ] || fail "package name"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
    [ "$(dpkg-deb -f "$deb" Section)" = science ] || fail "section $(dpkg-deb -f "$deb" Section)"
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
    depends=$(dpkg-deb -f "$deb" Depends)
    grep -q 'libsdl2-2\.0-0' <<<"$depends" || fail "Depends names no SDL2: $depends"
    grep -q 'libpng16-16' <<<"$depends" || fail "Depends names no libpng: $depends"
    for library in zlib1g libzstd1 liblzma5; do
      grep -q "$library" <<<"$depends" || fail "Depends names no $library: $depends"
    done
    # A summary line and an extended description below it.
    description=$(dpkg-deb -f "$deb" Description)
    [ "$(wc -l <<<"$description")" -ge 2 ] || fail "no extended description: $description"
    dpkg-deb -x "$deb" "$work/root"
    # The copyright file is machine-readable and carries LICENSE's own text.
    copyright="$work/root/usr/share/doc/pelmorix/copyright"
    head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
      fail "copyright is not in the machine-readable format: $(head -n 1 "$copyright")"
    # (the text follows the last "License:" line, every line one blank in,
    # an empty line written as " .")
    awk '/^License: /{body = ""; next} {body = body $0 "\n"} END {printf "%s", body}' "$copyright" >"$work/license-body"
    sed -n '/^Permission is hereby granted/,$p' "$source/LICENSE" | sed -e 's/^$/./' -e 's/^/ /' >"$work/license-expected"
    diff "$work/license-expected" "$work/license-body" || fail "copyright's licence text differs from LICENSE"
    # fast_float, compiled into the programs, is listed with its licence.
    grep -qx 'Files: fast_float/\*' "$copyright" || fail "copyright does not list fast_float"
    grep -qx 'License: Apache-2.0 or Expat' "$copyright" || fail "copyright does not give fast_float's licence"
    grep -qx 'License: Apache-2.0' "$copyright" || fail "copyright does not hold the Apache licence's paragraph"
    zcat "$work/root/usr/share/doc/pelmorix/CHANGELOG.md.gz" | cmp -s - "$source/CHANGELOG.md" ||
      fail "CHANGELOG.md.gz is not CHANGELOG.md"
    # The Debian-format changelog's latest entry is this version's.
    zcat "$work/root/usr/share/doc/pelmorix/changelog.gz" | head -n 1 | grep -q "^pelmorix ($version) " ||
      fail "changelog.gz has no entry for $version: $(zcat "$work/root/usr/share/doc/pelmorix/changelog.gz" | head -n 1)"
    run_installed "$work/root/usr/bin/pelmorix" "$work/root/usr/share/doc/pelmorix/examples/brusselator.skv"
    # Errors fail the test; warnings and the rest are shown.
    lintian --display-info "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian finds errors in $(basename "$deb")"; }
    cat "$work/lintian.log"
    ! grep -q 'changelog' "$work/lintian.log" || fail "lintian finds fault with a changelog"
    ;;
  zip)
    windows=${3:-}
    [ -n "$windows" ] && [ -f "$windows/CPackConfig.cmake" ] || { echo "no Windows build"; exit 77; }
    version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$windows/CPackConfig.cmake")
    (cd "$windows" && cpack -G ZIP -B "$work/out-zip" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack -G ZIP failed"; }
    zip="$work/out-zip/pelmorix-$version-win32.zip"
    [ -f "$zip" ] || { ls "$work/out-zip"; fail "no $(basename "$zip")"; }
    (cd "$work" && cmake -E tar tf "$zip") >"$work/contents"
    top="pelmorix-$version-win32"
    for f in pelmorix.exe pelmorix-genlog.exe pelmorix-scan.exe README.txt LICENSE.txt examples/brusselator.skv; do
      grep -qx -- "$top/$f" "$work/contents" || { cat "$work/contents"; fail "$f is not in the zip"; }
    done
    (cd "$work" && cmake -E tar xf "$zip")
    file "$work/$top/pelmorix.exe" | grep -q 'PE32 executable (console) Intel 80386' ||
      fail "pelmorix.exe: $(file "$work/$top/pelmorix.exe")"
    grep -q $'\r$' "$work/$top/README.txt" || fail "README.txt has no CR LF line ends"
    tr -d '\r' <"$work/$top/LICENSE.txt" | cmp -s - "$source/LICENSE" || fail "LICENSE.txt is not LICENSE"
    ;;
  man)
    needs mandoc
    for page in pelmorix.1 pelmorix-genlog.1 pelmorix-scan.1; do
      out=$(mandoc -T lint "$build/man/$page" 2>&1) || true
      [ -z "$out" ] || { echo "$out"; fail "mandoc -T lint complains about $page"; }
      # Every section a user looks for is there.
      for section in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' EXAMPLES 'SEE ALSO'; do
        grep -qx "\.SH \"*$section\"*" "$build/man/$page" || fail "$page has no $section section"
      done
    done
    grep -q 'PELMORIX_SCALE' "$build/man/pelmorix.1" || fail "pelmorix.1 does not describe PELMORIX_SCALE"
    ;;
  *)
    echo "usage: $0 install|deb|zip|man BUILD_DIR [WINDOWS_BUILD_DIR]"; exit 2 ;;
esac
echo "$what: as expected"
