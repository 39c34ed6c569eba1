#!/usr/bin/env bash
# The platform layer's drawing against Wine's GDI: the GDI probe, built
# natively and as a Windows program from one source, draws the same groups
# of calls both ways; every group must come out identical. Wine's GDI is the
# same for 32- and 64-bit programs, so the probe runs as whichever of the
# two this host's Wine can load. The pictures of a differing group are kept
# in the directory given.
# Arguments: the native probe, the 32-bit Windows probe, the 64-bit Windows
# probe (either may be missing), the directory for pictures.
here=$(dirname "$0")
source "$here/common.sh"
native=$1
probe32=$2
probe64=$3
pictures=$4
begin_console_runs

status=0
"$native" draw >native.txt 2>native.err || status=$?
[ "$status" = 0 ] || { cat native.err; fail "native probe status $status"; }

# Each loader has a prefix of its own beside the others', made on first use.
# stop_wine after each run, so that no server stays on the prefix.
base=$WINEPREFIX
ran=""
if [ -f "$probe32" ]; then
  export WINEPREFIX=$base-gdi32
  if wine "$probe32" draw 2>wine.err | crlf_to_lf >wine.txt && [ -s wine.txt ]; then ran=32; fi
  stop_wine
fi
if [ -z "$ran" ] && [ -f "$probe64" ] && [ -x /usr/lib/wine/wine64 ]; then
  export WINEPREFIX=$base-gdi64
  unset WINEARCH
  if /usr/lib/wine/wine64 "$probe64" draw 2>wine.err | crlf_to_lf >wine.txt && [ -s wine.txt ]; then ran=64; fi
  stop_wine
fi
if [ -z "$ran" ]; then
  cat wine.err 2>/dev/null || true
  echo "no Windows probe that this host's Wine can run"
  exit 77
fi
echo "Windows probe: $ran-bit"

# Known differences, reported but not failed:
# - joins.bevel: the bevel is drawn as the corner between the bodies' outer
#   walls, which agrees with Wine at most turns; at some turns Wine leaves a
#   few pixels next to the point unpainted (at sharp turns, where the
#   pieces overlap), which this layer paints.
known=(joins.bevel)

rm -rf "$pictures"
mkdir -p "$pictures"
status=0
"$native" compare native.txt wine.txt "$pictures" "${known[@]}" || status=$?
[ "$status" = 0 ] || fail "groups differ (native/Wine pictures in $pictures)"
echo "every group identical but the known differences: ${known[*]}"
