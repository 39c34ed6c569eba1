#!/usr/bin/env bash
# Runs a command with DISPLAY set to a virtual X server of its own, which is
# stopped afterwards. Exits 77 (a skipped test) when Xvfb is not installed.
#   with-xvfb.sh [--screen WIDTHxHEIGHT] [--dpi DOTS_PER_INCH] COMMAND [ARG...]
# The screen is 1024x768 unless --screen says otherwise; --dpi sets the
# physical size the server reports for it.
set -u
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed"; exit 77; }
screen=1024x768
dpi=()
while [ $# -gt 0 ]; do
  case "$1" in
    --screen) screen=$2; shift 2 ;;
    --dpi) dpi=(-dpi "$2"); shift 2 ;;
    *) break ;;
  esac
done
work=$(mktemp -d)
# -noreset: the server must not restart when its last client goes, or a
# test connecting right then is turned away.
# The server picks a free display number itself and writes it once it
# accepts connections, so parallel tests never share or race for one.
Xvfb -displayfd 3 -screen 0 "${screen}x24" "${dpi[@]}" -nolisten tcp -noreset 3>"$work/display" >"$work/log" 2>&1 &
server=$!
cleanup() {
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start:"; cat "$work/log"
  exit 1
fi
export DISPLAY=":$(tr -d '[:space:]' < "$work/display")"
"$@"
