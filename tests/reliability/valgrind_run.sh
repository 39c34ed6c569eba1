#!/bin/sh
# One end-to-end headless run of the program under valgrind's memcheck: no
# memory error and nothing definitely lost, and the run itself as usual.
# Usage: valgrind_run.sh VALGRIND PROGRAM CELL_LOG SANITIZED
# Exits 77 (skipped) where it cannot run: no valgrind, or a sanitizer build,
# whose instrumentation valgrind cannot run under.
set -u
valgrind=$1 program=$2 log=$3 sanitized=$4
case "$sanitized" in
  ON|on|1|TRUE|true) echo "skipped: a sanitizer build; valgrind cannot run it"; exit 77 ;;
esac
if [ -z "$valgrind" ] || [ ! -x "$valgrind" ]; then
  echo "skipped: valgrind is not installed"
  exit 77
fi
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
printf 'x' >keys
PELMORIX_DISPLAY=headless PELMORIX_SNAPSHOT="$work/window.png" \
  "$valgrind" --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --log-file="$work/valgrind.log" \
  "$program" "$log" 0 0 10 4.5 <keys >out
status=$?
cat valgrind.log
if [ "$status" -ne 0 ]; then
  echo "exit status $status (99: valgrind found errors)"
  cat out
  exit 1
fi
if ! grep -qx 'Dimension detectada del modelo: 10 x 10' out || [ ! -s window.png ]; then
  echo "the run did not go through to the final prompt:"
  cat out
  exit 1
fi
echo "valgrind memcheck: no errors, nothing definitely lost"
