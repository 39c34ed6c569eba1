#!/usr/bin/env bash
# The Windows build's arithmetic and system texts under Wine against the
# native build's, through the probe built both ways from one source: every
# number the viewer converts must come out with the same 64 bits (both run
# the same conversion code, so a difference is the compiler's or the
# floating-point mode's), every point of the cell mapping on the same pixel
# (the mapping is carried out in x87 80-bit long double on Windows).
# Arguments: the native probe, the Windows probe.
here=$(dirname "$0")
source "$here/common.sh"
native=$1
windows=$2
begin_console_runs

failures=0
# compare NAME ARGS...: runs both probes with ARGS and compares their output.
compare() {
  local name=$1
  shift
  local native_status windows_status
  native_status=$(run_native "native.$name" "$native" "$@")
  windows_status=$(run_windows "windows.$name" "$windows" "$@")
  if [ "$native_status" != 0 ] || [ "$windows_status" != 0 ]; then
    echo "FAIL $name: probe status $native_status natively, $windows_status under Wine"
    cat "native.$name.err" "windows.$name.err"
    failures=$((failures + 1))
  elif ! cmp -s "native.$name" "windows.$name"; then
    echo "FAIL $name: results differ (< native, > Wine):"
    diff "native.$name" "windows.$name" | head -n 20 || true
    failures=$((failures + 1))
  fi
}

# Conversion: decimal rounding at the edges of the range and on halfway
# cases, long mantissas, subnormals; hexadecimal, infinities and NaNs, which
# are no decimal numbers; leading white space, partial numbers.
numbers=(
  0 -0 1 0.1 0.025 0.05 0.3 1e23 8.589973e9 2.2250738585072011e-308 2.2250738585072014e-308
  4.9e-324 2.4e-324 2.5e-324 1.7976931348623157e308 1.7976931348623158e308 1.7976931348623159e308
  1e400 -1e400 1e-400 123456789012345678901234567890 0.1000000000000000055511151231257827
  9007199254740993 9007199254740993.0000000001 0.500000000000000166533453693773481063544750213623046875
  0x10 0X1F 0x1.8p1 0x.8 0x1p-1074 0x1p-1075 0x1.0000000000000fp0 0x1.00000000000008p0 0x1.00000000000018p0
  0x1p1024 0x 0xg 0x1p inf -inf INF Infinity infinit nan -nan NaN "nan(123)" "nan(" "nan()"
  " 7" "  -2.5e3x" 12abc abc "" . .5 5. e5 1e 1e+ "+.5e-3" "1 2" "1	2"
  - + -- --1 +-2 -x -. -e5 "- 1" -0x -inf- -nanx -0 -0.0 -0e9
  1e5x 5e +.5e1 "	+.5e1" 9007199254740993e-3 2.4703282292062327e-324 2.4703282292062328e-324
  -9.185730012345678 1.234567890123456789e+01 12345678901234567890123456789e-308
)
compare atof atof "${numbers[@]}"
# The same texts as rows of a cell log, split at blanks by the reader: its
# own conversion of each token must give the same bits.
compare row row "${numbers[*]}" "0.025 0.05 0.1 1e-3 123.456 -7.5e2 3.14159 2.71828 1e22 1e23 1e-22" \
  "  leading and trailing blanks  " "0x10abc 1e5e5 --1 +-2 0.0.1"

# Mapping: the worked example's plot (637 x 400, 2 x 2 boxes, time 0 to 1,
# values 0 to 10) and the program's own 640 x 480 layout (636 x 450 plot).
compare map-example map 637 400 2 2 0 0 1 10 \
  0 1 0 0.05 1 0 0.5 2.5 0 1 0 0 0 1 0 0.5 0 0 1 10 0 1 0.25 15 1 0 0.25 -5 0 0 1.5 5 \
  0 0 -0.001 10.0390625 0 0 -0.004 5 0 2 0 5 2 0 0 5 0 0 -1e400 1 0 0 1 1e400 0 0 1e300 1
compare map-program map 636 450 10 10 0 0 10 4.5 \
  0 9 0.025 0.1 3 4 9.975 4.4999 9 0 10 4.5 5 5 0.275 2.25 7 2 3.3 1.1 1 8 7.125 0.05
compare map-equal-limits map 636 450 3 3 2 0 2 0 0 0 5 5 1 1 -1 -1 2 2 1e400 0
compare map-infinite-limits map 636 450 3 3 -1e400 0 1e400 16 0 0 5 5 1 1 1e400 8

# The Windows mapping keeps extended precision: 0.05 in box row 1 of the
# worked example lands on row 398, where double steps would give 399.
if [ -s windows.map-example ]; then
  first=$(head -n 1 windows.map-example)
  [ "$first" = "0 398" ] || { echo "FAIL: 0.05 maps to '$first' under Wine, not '0 398'"; failures=$((failures + 1)); }
fi

[ "$failures" -eq 0 ] || fail "$failures comparisons differ"
echo "conversions and mappings agree"
