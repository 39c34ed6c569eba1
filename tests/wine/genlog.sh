#!/usr/bin/env bash
# The log generator built for Windows under Wine against the native one:
# every model writes the same bytes to a file, and to standard output once
# Windows' CR LF is made LF again; a bad option is refused alike. And
# pelmorix-scan alike on every log, on a refused one and from standard input.
# Arguments: the native generator, the Windows generator, the native
# pelmorix-scan, the Windows pelmorix-scan.
here=$(dirname "$0")
source "$here/common.sh"
native=$1
windows=$2
native_scan=$3
windows_scan=$4
begin_console_runs

failures=0
for model in diffusion gray-scott brusselator; do
  args=(--model "$model" --size 9 --steps 120 --every 3)
  "$native" "${args[@]}" --output "native.$model.skv"
  wine "$windows" "${args[@]}" --output "windows.$model.skv" </dev/null
  [ -s "native.$model.skv" ] || fail "$model: the native generator wrote nothing"
  if ! cmp -s "native.$model.skv" "windows.$model.skv"; then
    echo "FAIL $model: the files differ:"
    cmp "native.$model.skv" "windows.$model.skv" || true
    failures=$((failures + 1))
  fi
  status=$(run_windows "windows.$model.out" "$windows" "${args[@]}")
  if [ "$status" != 0 ] || ! cmp -s "native.$model.skv" "windows.$model.out"; then
    echo "FAIL $model: standard output (status $status) is not the native file"
    failures=$((failures + 1))
  fi
done

# pelmorix-scan: the same report, the same limits, the same refusal.
printf 'heading\n' >refused.skv
for log in native.diffusion.skv native.gray-scott.skv native.brusselator.skv refused.skv; do
  for option in "" --limits; do
    native_status=$(run_native "native.scan.out" "$native_scan" $option "$log")
    windows_status=$(run_windows "windows.scan.out" "$windows_scan" $option "$log")
    if [ "$native_status" != "$windows_status" ] || ! cmp -s native.scan.out windows.scan.out; then
      echo "FAIL pelmorix-scan $option $log: status $windows_status under Wine, $native_status natively; reports:"
      show_difference native.scan.out windows.scan.out
      failures=$((failures + 1))
    fi
  done
done
native_status=$(run_native native.scan.out "$native_scan" native.brusselator.skv)
windows_status=0
wine "$windows_scan" - <native.brusselator.skv >windows.scan.raw 2>/dev/null || windows_status=$?
crlf_to_lf <windows.scan.raw | sed '1s/standard input/native.brusselator.skv/; $s/pelmorix - /pelmorix native.brusselator.skv /' >windows.scan.out
if [ "$windows_status" != "$native_status" ] || ! cmp -s native.scan.out windows.scan.out; then
  echo "FAIL pelmorix-scan from standard input under Wine (status $windows_status):"
  show_difference native.scan.out windows.scan.out
  failures=$((failures + 1))
fi

native_status=$(run_native native.bad "$native" --size 0)
windows_status=$(run_windows windows.bad "$windows" --size 0)
crlf_to_lf <windows.bad.err >windows.bad.err.lf
if [ "$native_status" = 0 ] || [ "$native_status" != "$windows_status" ] ||
   ! cmp -s native.bad.err windows.bad.err.lf || ! [ -s native.bad.err ]; then
  echo "FAIL --size 0: status $windows_status under Wine, $native_status natively; messages:"
  show_difference native.bad.err windows.bad.err.lf
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || fail "$failures differences"
echo "the generator writes the same logs under Wine as natively"
