#!/usr/bin/env bash
# The console paths of the Windows program under Wine against the native
# program: usage text, echo of the limits, inconsistent limits and every
# cell-log error. Standard output must be byte for byte the same (after the
# CR LF of Windows' text-mode output is made LF again) and so must the exit
# status. None of these paths opens a window. Last, a zstd log, which only
# the native program reads: the Windows program gives the file error.
# Arguments: the native program, the Windows program.
here=$(dirname "$0")
source "$here/common.sh"
native=$1
windows=$2
begin_console_runs
printf '' >empty.skv
printf 'heading\n' >heading.skv
printf 'heading' >heading-no-lf.skv
printf 'heading\r\n\r\n1 2\r\n' >empty-second-line.skv
printf '\x1a\n1 2\n' >eof-byte.skv
printf 'heading\n1 2\n' >good.skv
mkdir folder.skv

cases=(
  ""
  "good.skv"
  "good.skv 0 0 1"
  # Echo, then the missing file; limits in every form, numbers or not.
  "missing.skv 0 0 1 1"
  "missing.skv 0 -10.5 650.2 22"
  "missing.skv 1e-5 123456789 1e300 0.000123456"
  "missing.skv 12abc abc .5e1 +7"
  "missing.skv 0x10 0x1.8p1 0X.8 0x1p-1074"
  "missing.skv -inf nan infinity NAN(123)"
  "missing.skv nan -nan inf INF"
  "missing.skv -1e400 4.9e-324 2.4e-324 1e400"
  "missing.skv - --1 -x -0"
  "missing.skv 5e .5 1e5x +.5e1"
  "missing.skv 0 0 1 1 extra arguments"
  # Inconsistent limits, either axis, and equal ones that are not.
  "good.skv 5 0 1 1"
  "good.skv 0 5 1 1"
  "good.skv 1e400 0 0x10 1"
  "good.skv 0 1e400 1 1e308"
  # Every cell-log problem.
  "empty.skv 0 0 1 1"
  "heading.skv 0 0 1 1"
  "heading-no-lf.skv 0 0 1 1"
  "empty-second-line.skv 0 0 1 1"
  "eof-byte.skv 0 0 1 1"
  "folder.skv 0 0 1 1"
)

failures=0
n=0
for args in "${cases[@]}"; do
  n=$((n + 1))
  # The case's words are the arguments; none holds a blank.
  read -r -a argv <<<"$args"
  native_status=$(run_native "native.$n" "$native" "${argv[@]}")
  windows_status=$(run_windows "windows.$n" "$windows" "${argv[@]}")
  if [ "$native_status" != "$windows_status" ]; then
    echo "FAIL [$args]: exit status $windows_status under Wine, $native_status natively"
    failures=$((failures + 1))
  fi
  if ! cmp -s "native.$n" "windows.$n"; then
    echo "FAIL [$args]: standard output differs (< native, > Wine):"
    show_difference "native.$n" "windows.$n"
    cat "windows.$n.err"
    failures=$((failures + 1))
  fi
  # The paths are the ones meant: text was written, and the echo came
  # first whenever five arguments were given.
  [ -s "native.$n" ] || { echo "FAIL [$args]: no output"; failures=$((failures + 1)); }
  if [ ${#argv[@]} -ge 5 ] && ! head -n 1 "native.$n" | grep -qxF "Archivo skv: ${argv[0]}"; then
    echo "FAIL [$args]: the echo is not the first line"
    failures=$((failures + 1))
  fi
done

# A zstd log, which the native program plots: the Windows program has no
# zstd decompressor, so for it the log is no cell log, and it is not read
# as text.
command -v zstd >/dev/null 2>&1 || fail "zstd is not installed"
zstd -q -c good.skv >good.skv.zst
n=$((n + 1))
windows_status=$(run_windows "windows.$n" "$windows" good.skv.zst 0 0 1 1)
expected=$(printf 'Archivo skv: good.skv.zst\nMinimo(x)=0 Minimo(y)=0\nMaximo(x)=1 Maximo(y)=1\n%s' \
  'Error. Archivo vacio o con formato erroneo: good.skv.zst')
if [ "$windows_status" != 0 ] || [ "$(cat "windows.$n")" != "$expected" ]; then
  echo "FAIL [good.skv.zst]: status $windows_status under Wine, output:"
  cat "windows.$n" "windows.$n.err"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || fail "$failures differences in $n runs"
echo "$n runs: the same output and exit status under Wine as natively, and a zstd log refused"
