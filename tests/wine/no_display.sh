#!/usr/bin/env bash
# The start-up failure on the real platform: with no X display to reach,
# Wine cannot create the window. The program must print the echo lines,
# then " Graphics System Error: ", the system's text for the code and a
# line feed, and end with status 1 before plotting anything; natively, with
# no display either, it must print the very same bytes.
# Arguments: the native program, the Windows program, the Windows probe, a
# cell log.
here=$(dirname "$0")
source "$here/common.sh"
native=$1
windows=$2
probe=$3
log=$4
stop_wine
unset DISPLAY
cd "$work"
cp "$log" log.skv
args=(log.skv 0 0 7.5 1)

windows_status=$(run_windows wine.out "$windows" "${args[@]}")
native_status=$(PELMORIX_DISPLAY=window run_native native.out "$native" "${args[@]}")
[ "$windows_status" = 1 ] || { cat wine.out wine.out.err; fail "status $windows_status under Wine, not 1"; }
[ "$native_status" = 1 ] || { cat native.out native.out.err; fail "status $native_status natively, not 1"; }

# Wine answers the failed creation with a null window and leaves the last
# error at 0; the graphics layer reports that as ERROR_DEVICE_NOT_CONNECTED
# (1167). Its text is the system's, as Wine's FormatMessageA gives it.
text=$(run_windows message.out "$probe" message 1167 >/dev/null; sed -n 's/^1167 //p' message.out)
if [ -z "$text" ] || [ "$text" = none ]; then fail "Wine has no text for 1167"; fi
{
  printf 'Archivo skv: log.skv\nMinimo(x)=0 Minimo(y)=0\nMaximo(x)=7.5 Maximo(y)=1\n'
  printf ' Graphics System Error: %b\n' "$text"
} >expected.out
if ! cmp -s expected.out wine.out; then
  show_difference expected.out wine.out
  fail "Wine's output is not the echo and the error (< expected, > Wine)"
fi
if ! cmp -s native.out wine.out; then
  show_difference native.out wine.out
  fail "the native output differs from Wine's (< native, > Wine)"
fi
echo "the start-up failure reads the same under Wine as natively, status 1"
