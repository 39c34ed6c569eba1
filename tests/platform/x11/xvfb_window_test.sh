#!/usr/bin/env bash
# A real window on an X server: the picture on the screen, typed keys as
# WM_CHAR, and the close button. Run inside with-xvfb.sh.
# Arguments: the window probe, the close-button tool, and the scale the
# window is expected at (1 unless given): every pixel of the probe's
# 160 x 60 client then shows as a block of scale x scale screen pixels.
set -euo pipefail
probe=$1
send_close=$2
scale=${3:-1}
work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- probe output:"; cat "$work/out"; cat "$work/err"; exit 1; }

export PELMORIX_DISPLAY=window
export PELMORIX_SNAPSHOT="$work/snapshot.png"
"$probe" >"$work/out" 2>"$work/err" &
pid=$!

for _ in $(seq 1 100); do grep -q '^drawn$' "$work/out" && break; sleep 0.1; done
grep -q '^drawn$' "$work/out" || fail "the probe did not draw"
window=$(xdotool search --sync --onlyvisible --name '^Window Probe$' | head -n 1)
[ -n "$window" ] || fail "no window on the screen"
# The snapshot is written when the probe starts waiting; the screen shows
# the same picture then.
for _ in $(seq 1 50); do [ -s "$work/snapshot.png" ] && break; sleep 0.1; done
sleep 0.3

# The picture on the screen, read back from the X server.
import -window "$window" "$work/screen.png"
size=$(identify -format '%wx%h' "$work/screen.png")
[ "$size" = "$((160 * scale))x$((60 * scale))" ] || fail "window is $size, not 160x60 at scale $scale"
# The snapshot is the client surface itself, whatever the scale.
[ "$(identify -format '%wx%h' "$work/snapshot.png")" = "160x60" ] || fail "the snapshot is not 160x60"
# Pixel (x, y) of the client, as the last screen pixel of its block.
pixel() {
  convert "$work/screen.png" -crop "1x1+$(($1 * scale + scale - 1))+$(($2 * scale + scale - 1))" -depth 8 txt:- |
    grep -o '#[0-9A-F]\{6\}' | head -n 1
}
check_pixel() {
  local got
  got=$(pixel "$1" "$2")
  [ "$got" = "$3" ] || fail "pixel ($1, $2) is $got, not $3"
}
check_pixel 5 5 '#FF0000'    # left half red
check_pixel 79 59 '#FF0000'
check_pixel 80 0 '#0000FF'   # right half blue
check_pixel 159 59 '#0000FF'
check_pixel 10 10 '#FFFFFF'  # the white square
check_pixel 13 13 '#FFFFFF'
check_pixel 14 14 '#FF0000'
# The whole screen picture equals the window's own client surface, each
# pixel of it repeated scale times along both axes.
convert "$work/snapshot.png" -sample "$((100 * scale))%" "$work/snapshot-scaled.png"
differing=$(compare -metric AE "$work/screen.png" "$work/snapshot-scaled.png" null: 2>&1 || true)
[ "$differing" = "0" ] || fail "$differing pixels differ between the screen and the snapshot scaled by $scale"

# Typed keys arrive as characters.
xdotool windowfocus --sync "$window" 2>/dev/null || true
# xdotool lends a spare key code to each Latin-1 letter and takes it back
# right after; the pause between keys lets a busy client read the code first.
xdotool key --delay 100 --window "$window" a shift+b Escape Return BackSpace Tab space eacute ydiaeresis
# Latin-1 letters arrive as their bytes 128..255.
expected=$'char 97\nchar 66\nchar 27\nchar 13\nchar 8\nchar 9\nchar 32\nchar 233\nchar 255'
for _ in $(seq 1 100); do
  [ "$(grep -c '^char' "$work/out")" -ge 9 ] && break
  sleep 0.1
done
got=$(grep '^char' "$work/out" || true)
[ "$got" = "$expected" ] || fail "typed characters were: $(echo "$got" | tr '\n' ' ')"

# Keys that make no character send nothing.
xdotool key --window "$window" Left F1
sleep 0.3
[ "$(grep -c '^char' "$work/out")" -eq 9 ] || fail "a key without a character made one"

# The close button destroys the window and the probe's loop ends.
"$send_close" "$window"
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then fail "the probe did not end after the close button"; fi
set +e
wait "$pid"
status=$?
set -e
pid=""
grep -q '^destroyed$' "$work/out" || fail "no WM_DESTROY"
[ "$status" -eq 0 ] || fail "the probe ended with status $status"
echo "real window at scale $scale: picture, keys and close button as expected"
