# shellcheck shell=bash
# Shared by the Wine tests (sourced). CTest gives every test WINEPREFIX, the
# build tree's own prefix, made once per run by prefix.sh.
set -euo pipefail

command -v wine >/dev/null 2>&1 || { echo "wine is not installed"; exit 77; }
: "${WINEPREFIX:?WINEPREFIX is not set}"
export WINEPREFIX
# A 32-bit prefix unless the build chose Wine's 64-bit loader (a host that
# cannot start 32-bit programs); the tests call that loader for "wine".
export WINEARCH=${WINEARCH:-win32}
if [ -n "${PELMORIX_WINE_LOADER:-}" ]; then
  export WINELOADER=$PELMORIX_WINE_LOADER
  wine() { "$PELMORIX_WINE_LOADER" "$@"; }
fi
export WINEDEBUG=-all
# No prompts to install the .NET or HTML engines: neither is used.
export WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d)
cleanup_wine() {
  stop_wine
  rm -rf "$work"
}
trap cleanup_wine EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

# Ends every Wine process of the prefix. The desktop process that Wine
# starts with the first window stays bound to the X display it found, so
# every test starts and ends with none running.
stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# The runs without a window start alike: no Wine process left, no display,
# in the scratch folder.
begin_console_runs() {
  stop_wine
  unset DISPLAY
  cd "$work"
}

# On Windows standard output is a text-mode stream: every LF the program
# writes reaches the file as CR LF. That, and nothing else, is undone
# before output is compared.
crlf_to_lf() { perl -pe 's/\r\n/\n/g'; }

# run_windows OUT EXE ARGS...: runs the Windows program, its standard output
# (line ends made LF) into OUT; prints the exit status.
run_windows() {
  local out=$1
  shift
  local status=0
  wine "$@" >"$out.raw" 2>"$out.err" </dev/null || status=$?
  crlf_to_lf <"$out.raw" >"$out"
  echo "$status"
}

# run_native OUT EXE ARGS...: the same for the native program.
run_native() {
  local out=$1
  shift
  local status=0
  "$@" >"$out" 2>"$out.err" </dev/null || status=$?
  echo "$status"
}

# Shows two files' difference with the bytes visible.
show_difference() {
  diff <(od -c "$1") <(od -c "$2") | head -n 20 || true
}
