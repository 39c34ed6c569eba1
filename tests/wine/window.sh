#!/usr/bin/env bash
# The Windows program in a real Wine window on the virtual X server that
# with-xvfb.sh provides: a bundled example (one of them gzip-compressed)
# plotted to the final prompt, the
# picture of the window's client area there compared with the native
# headless snapshot of the same run, then the prompt answered by a key
# typed with xdotool: a letter ends the run with status 0, Esc with 1; and
# the window's close button there ends it with 1, as Esc does. Last, a log
# that comes through a FIFO whose writer stays open: the dimension line must
# reach the console while the log goes on, and a key typed while the log
# pauses is taken: Esc ends the run, a letter answers the final prompt.
# Then once more at a client area of 1024 x 768 (PELMORIX_SIZE), on a screen
# that holds that window with its frame.
#
# The two pictures must be equal pixel for pixel except inside the two text
# rectangles (title and status message), since the hosts draw text in
# different faces. The rectangles come from the screen layout: centred on
# x = X / 2, 8 pixels a character, h rows high (h, the text height, is read
# from the frame), the title's top at y = 2, the message's at y = Y - h - 2
# (X and Y the client area's width and height less 1: 639 and 479 but in
# the last run, which asks for a 1024 x 768 client area with PELMORIX_SIZE).
# Inside them the text's bounding rows must be the same and its bounding
# columns within one pixel, the most by which the two faces' side bearings
# differ; and the text must be white, colour 15.
# Arguments: the native program, the Windows program, the examples folder,
# the tool that presses a window's close button.
here=$(dirname "$0")
source "$here/common.sh"
native=$1
windows=$2
examples=$3
send_close=$4
: "${DISPLAY:?run this inside with-xvfb.sh}"
for tool in xdotool xwininfo import convert compare; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed"
done
stop_wine
cd "$work"

# The client area's size: 640 x 480 unless a run sets PELMORIX_SIZE (set_size).
width=640 height=480
max_x=$((width - 1)) max_y=$((height - 1))
size_setting=""

# set_size WIDTHxHEIGHT: the size the next runs ask for, natively and under Wine.
set_size() {
  size_setting=$1
  width=${1%x*} height=${1#*x}
  max_x=$((width - 1)) max_y=$((height - 1))
}
readonly prompt="Esc aborta o presione una tecla..."
text_height=none  # h, read from the native picture

# text_box TEXT TOP: "left top right bottom" of TEXT's cells, centred on X / 2.
text_box() {
  local n=${#1}
  echo "$((max_x / 2 - 4 * n)) $2 $((max_x / 2 + 4 * n - 1)) $(($2 + text_height - 1))"
}

# text_height_of PICTURE: h, found from the frame. Column 0 is lit from row
# h + 4 down, so its first lit row gives h; "none" when it has no frame.
text_height_of() {
  convert "$1" -crop 1x41+0+0 +repage -depth 8 txt:- |
    awk -F '[,:]' '/^[0-9]/ && !/#000000/ { print $2 - 4; found = 1; exit } END { if (!found) print "none" }'
}

# ink_box PICTURE LEFT TOP RIGHT BOTTOM: "left top right bottom" of the
# pixels that are not background inside the rectangle, or "none".
ink_box() {
  local w=$(($4 - $2 + 1)) h=$(($5 - $3 + 1))
  # A black border first, so the trim always measures against background.
  local g
  g=$(convert "$1" -crop "${w}x${h}+$2+$3" +repage -bordercolor black -border 1 -format '%@' info: 2>/dev/null)
  local bw bh bx by
  IFS='x+' read -r bw bh bx by <<<"$g"
  if [ "$bw" -eq 0 ] || [ "$bh" -eq 0 ]; then
    echo none
    return
  fi
  echo "$(($2 + bx - 1)) $(($3 + by - 1)) $(($2 + bx - 1 + bw - 1)) $(($3 + by - 1 + bh - 1))"
}

# colour_count PICTURE RRGGBB: how many pixels have that colour.
colour_count() {
  convert "$1" -format %c histogram:info: |
    awk -v c="#$2" '{ for (i = 2; i <= NF; i++) if (toupper($i) == c) { sub(":", "", $1); n = $1 } } END { print n + 0 }'
}

# compare_pictures WINE NATIVE TITLE: empty output when the pictures agree,
# else what differs.
# ends_within_20s PID: whether the process has ended within 20 seconds.
ends_within_20s() {
  for _ in $(seq 1 200); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

compare_pictures() {
  local wine_png=$1 native_png=$2 title=$3
  local wine_h
  wine_h=$(text_height_of "$wine_png")
  if [ "$wine_h" != "$text_height" ]; then
    # The whole layout hangs on h: nothing else can agree.
    echo "the text is $wine_h rows high under Wine, $text_height natively (is the face standing in for Console there?)"
    return
  fi
  local boxes=("$(text_box "$title" 2)" "$(text_box "$prompt" $((max_y - text_height - 2)))")
  local draw="" box
  local r
  for box in "${boxes[@]}"; do
    read -r -a r <<<"$box"
    draw+="rectangle ${r[0]},${r[1]} ${r[2]},${r[3]} "
  done
  convert "$wine_png" -fill black -draw "$draw" masked-wine.png
  convert "$native_png" -fill black -draw "$draw" masked-native.png
  local differing
  differing=$(compare -metric AE masked-wine.png masked-native.png null: 2>&1 || true)
  if [ "$differing" != 0 ]; then
    compare masked-wine.png masked-native.png -compose src -highlight-color red diff.png 2>/dev/null || true
    echo "$differing pixels differ outside the text, within $(convert diff.png -format %@ info: 2>/dev/null || true)"
    return
  fi
  for box in "${boxes[@]}"; do
    read -r -a r <<<"$box"
    local ink_wine ink_native
    ink_wine=$(ink_box "$wine_png" "${r[@]}")
    ink_native=$(ink_box "$native_png" "${r[@]}")
    if [ "$ink_native" = none ] || [ "$ink_wine" = none ]; then
      echo "no text in $box: Wine $ink_wine, native $ink_native"
      return
    fi
    local wl wt wr wb nl nt nr nb
    read -r wl wt wr wb <<<"$ink_wine"
    read -r nl nt nr nb <<<"$ink_native"
    if [ "$wt" != "$nt" ] || [ "$wb" != "$nb" ] || [ $((wl - nl)) -gt 1 ] || [ $((nl - wl)) -gt 1 ] ||
       [ $((wr - nr)) -gt 1 ] || [ $((nr - wr)) -gt 1 ]; then
      echo "text bounds in $box differ: Wine $ink_wine, native $ink_native"
      return
    fi
    # Colour 15 is the text's colour on both.
    local region
    region=$(convert "$wine_png" -crop "$((r[2] - r[0] + 1))x$((r[3] - r[1] + 1))+${r[0]}+${r[1]}" +repage png:- |
      colour_count png:- FFFFFF)
    [ "$region" -gt 0 ] || { echo "no white text in $box under Wine"; return; }
  done
}

# client_geometry WINDOW: "+X+Y" of the client area inside the X window.
client_geometry() {
  local info w h
  info=$(xwininfo -id "$1")
  w=$(awk '/^ *Width:/ { print $2 }' <<<"$info")
  h=$(awk '/^ *Height:/ { print $2 }' <<<"$info")
  if [ "$w" = $width ] && [ "$h" = $height ]; then
    # Wine leaves the frame and caption to the window manager: the X
    # window is the client area.
    echo "+0+0"
  elif [ "$w" = $((width + 8)) ] && [ "$h" = $((height + 27)) ]; then
    # Wine draws the frame itself: 4-pixel borders and a 19-pixel caption.
    echo "+4+23"
  else
    echo "the window is ${w}x${h}, not a ${width}x${height} client area" >&2
    echo none
  fi
}

# run_example LOG MINX MINY MAXX MAXY KEY: one run natively and one under
# Wine, ended at the prompt with KEY (an xdotool key name) or, for "close",
# with the close button.
run_example() {
  local log=$1 key=$6
  shift
  local limits=("$1" "$2" "$3" "$4")
  local name=${log%.skv}-$key${size_setting:+-$size_setting}
  # Natively the keys come on standard input; its end closes the window.
  local key_byte=a expected_status=0
  if [ "$key" = Escape ]; then key_byte=$'\033' expected_status=1; fi
  if [ "$key" = close ]; then key_byte="" expected_status=1; fi
  [ -f "$log" ] || cp "$examples/$log" .

  # The reference: the native program, headless, answered from stdin.
  local native_status=0
  printf '%s' "$key_byte" | PELMORIX_DISPLAY=headless PELMORIX_SNAPSHOT="$work/$name.native.png" \
    PELMORIX_SIZE="$size_setting" "$native" "$log" "${limits[@]}" >"$name.native.out" 2>"$name.native.err" ||
    native_status=$?
  [ "$native_status" = "$expected_status" ] || fail "$name: native status $native_status"
  [ -s "$name.native.png" ] || fail "$name: no native snapshot"
  text_height=$(text_height_of "$name.native.png")
  [ "$text_height" != none ] || fail "$name: no frame in the native picture"
  [ "$(colour_count "$name.native.png" FF00FF)" -gt 1000 ] || fail "$name: the native picture shows no plot"

  local started=$SECONDS
  PELMORIX_SIZE="$size_setting" wine "$windows" "$log" "${limits[@]}" >"$name.wine.raw" 2>"$name.wine.err" </dev/null &
  local pid=$!
  local window
  window=$(timeout 30 xdotool search --sync --name '^N-Vorq Pelmorix$' | head -n 1) || true
  [ -n "$window" ] || { cat "$name.wine.err"; fail "$name: no window appeared under Wine"; }
  local offset
  offset=$(client_geometry "$window")
  [ "$offset" != none ] || fail "$name: no client area of ${width}x${height}"

  # The picture is complete when the program waits at the prompt; until
  # then it is still being drawn, so keep looking for a while.
  local verdict="never looked" deadline=$((SECONDS + 60))
  while [ $SECONDS -lt $deadline ]; do
    kill -0 "$pid" 2>/dev/null || fail "$name: the program ended before the prompt: $(cat "$name.wine.err")"
    if import -window "$window" "$name.shot.png" 2>/dev/null &&
       convert "$name.shot.png" -crop "${width}x${height}${offset}" +repage "$name.wine.png"; then
      verdict=$(compare_pictures "$name.wine.png" "$name.native.png" "$log")
      [ -z "$verdict" ] && break
    fi
    sleep 0.5
  done
  [ -z "$verdict" ] || fail "$name: the window's picture at the prompt is not the native one: $verdict"
  echo "$name: picture at the prompt agrees after $((SECONDS - started)) s"

  if [ "$key" = close ]; then
    "$send_close" "$window" || fail "$name: the close button could not be pressed"
  else
    # xdotool's status is not looked at: the window may go between the
    # key's press and its release.
    xdotool key --window "$window" "$key" >/dev/null 2>&1 || true
  fi
  ends_within_20s "$pid" || fail "$name: the program did not end after $key"
  local wine_status=0
  wait "$pid" || wine_status=$?
  [ "$wine_status" = "$expected_status" ] || fail "$name: status $wine_status under Wine after $key, not $expected_status"
  crlf_to_lf <"$name.wine.raw" >"$name.wine.out"
  if ! cmp -s "$name.native.out" "$name.wine.out"; then
    show_difference "$name.native.out" "$name.wine.out"
    fail "$name: console output differs from the native run's (< native, > Wine)"
  fi
  grep -Eqx 'Dimension detectada del modelo: [0-9]+ x [0-9]+' "$name.wine.out" || fail "$name: no dimension line"
  echo "$name: status $wine_status and console output as natively"
}

# run_live_log KEY: the log through a FIFO, written in two bursts; the
# writer (descriptor 7, read and write so that nobody's open has to wait)
# stays open until the first block's dimension line is on the console, and
# KEY (an xdotool key name) is typed while the log pauses there. Esc ends
# the run at once with status 1; any other key waits for the final prompt,
# which it answers once the log has ended: status 0, no further key.
run_live_log() {
  local key=$1 expected
  expected=$(printf 'Archivo skv: live.skv\nMinimo(x)=0 Minimo(y)=0\nMaximo(x)=1 Maximo(y)=10\n%s' \
    'Dimension detectada del modelo: 2 x 2')
  rm -f live.skv
  mkfifo live.skv
  exec 7<>live.skv
  printf 'heading\n1 2\n3 4\n\n5 6\n' >&7
  # The console file exists before the program starts, so that the first
  # look at it cannot fail (which would end this script under set -e).
  : >live.wine.raw
  # Descriptor 7 is not handed on, or the log could never end.
  wine "$windows" live.skv 0 0 1 10 >live.wine.raw 2>live.wine.err </dev/null 7>&- &
  local pid=$!
  local deadline=$((SECONDS + 60)) console=""
  while [ $SECONDS -lt $deadline ]; do
    console=$(crlf_to_lf <live.wine.raw)
    [ "$console" = "$expected" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  if [ "$console" != "$expected" ]; then
    exec 7>&-
    cat live.wine.err
    fail "live log: the console shows [$console] while the writer still writes, not the dimension line"
  fi
  kill -0 "$pid" 2>/dev/null || fail "live log: the program ended before its log did"
  echo "live log: the dimension line arrived while the writer still writes"
  local window
  window=$(timeout 30 xdotool search --sync --name '^N-Vorq Pelmorix$' | head -n 1) || true
  [ -n "$window" ] || { exec 7>&-; fail "live log: no window under Wine"; }
  xdotool key --window "$window" "$key" >/dev/null 2>&1 || true
  local status=0
  if [ "$key" = Escape ]; then
    # The writer is still open: only the key can end the run.
    if ! ends_within_20s "$pid"; then
      exec 7>&-
      fail "live log: Esc typed while the log pauses did not end the run"
    fi
    exec 7>&-
    wait "$pid" || status=$?
    [ "$status" = 1 ] || fail "live log: status $status under Wine after Esc while the log pauses, not 1"
  else
    sleep 1
    kill -0 "$pid" 2>/dev/null || { exec 7>&-; fail "live log: $key typed while the log pauses ended the run"; }
    printf '7 8\n' >&7
    exec 7>&-
    ends_within_20s "$pid" || fail "live log: the final prompt did not take the $key typed while the log paused"
    wait "$pid" || status=$?
    [ "$status" = 0 ] || fail "live log: status $status under Wine, not 0"
  fi
  [ "$(crlf_to_lf <live.wine.raw)" = "$expected" ] || fail "live log: the console changed after $key"
  echo "live log: $key while the log pauses, status $status"
}

# wait_for_picture WINDOW OFFSET NAME: waits until the window's client area,
# cropped with CROP ("WxH+X+Y"), is the picture REFERENCE cropped alike.
# Arguments: WINDOW OFFSET CROP REFERENCE; false after 30 s.
wait_for_picture() {
  local window=$1 offset=$2 crop=$3 reference=$4 deadline=$((SECONDS + 30))
  convert "$reference" -crop "$crop" +repage want.png
  while [ $SECONDS -lt $deadline ]; do
    if import -window "$window" closer.shot.png 2>/dev/null &&
       convert closer.shot.png -crop "${width}x${height}${offset}" +repage -crop "$crop" +repage got.png &&
       [ "$(compare -metric AE got.png want.png null: 2>&1 || true)" = 0 ]; then
      return 0
    fi
    sleep 0.5
  done
  return 1
}

# run_closer: a 4 x 4 log; the pointer over box (2, 1) sets the caption the
# native program sets there, a double-click on box (1, 2) shows the plot
# area of a log of that cell alone, a right-click the grid again, and a
# letter then ends the run as at the prompt.
run_closer() {
  local b r c
  {
    echo heading
    for b in 0 1 2; do
      [ $b = 0 ] || echo
      for r in 0 1 2 3; do
        echo "$((4 * r)).$((b * 5)) $((4 * r + 1)).$((b * 5)) $((4 * r + 2)).$((b * 5)) $((4 * r + 3)).$((b * 5))"
      done
    done
  } >closer.skv
  printf 'heading\n9.0\n\n9.5\n\n9.10\n' >cell.skv
  local limits=(0 0 0.1 16)
  printf a | PELMORIX_DISPLAY=headless PELMORIX_SNAPSHOT="$work/closer.native.png" \
    "$native" closer.skv "${limits[@]}" >closer.native.out
  printf a | PELMORIX_DISPLAY=headless PELMORIX_SNAPSHOT="$work/cell.native.png" \
    "$native" cell.skv "${limits[@]}" >/dev/null
  text_height=$(text_height_of closer.native.png)
  local h=$text_height
  local plot_w=$((max_x - 2)) plot_h=$((max_y - 2 * h - 10))
  local box_w=$((plot_w / 4)) box_h=$((plot_h / 4))
  local grid_top=$((plot_h - 4 * box_h))
  local plot_crop="${plot_w}x${plot_h}+1+$((h + 5))"
  local readout_x=$((1 + 2 * box_w + box_w / 3)) readout_y=$((h + 5 + grid_top + box_h + box_h / 3))
  local open_x=$((1 + box_w + box_w / 2)) open_y=$((h + 5 + grid_top + 2 * box_h + box_h / 2))

  # The native program's caption at that pixel, in a window of its own.
  rm -f closer.window.png
  PELMORIX_DISPLAY=window PELMORIX_SCALE=1 PELMORIX_SNAPSHOT="$work/closer.window.png" \
    "$native" closer.skv "${limits[@]}" >closer.window.out 2>closer.window.err &
  local native_pid=$! window
  window=$(timeout 30 xdotool search --sync --name '^N-Vorq Pelmorix$' | head -n 1) || true
  [ -n "$window" ] || fail "closer: no native window: $(cat closer.window.err)"
  for _ in $(seq 1 100); do [ -s closer.window.png ] && break; sleep 0.1; done
  xdotool mousemove --window "$window" "$readout_x" "$readout_y"
  local expected="" _
  for _ in $(seq 1 50); do
    expected=$(xdotool getwindowname "$window")
    [ "$expected" != "N-Vorq Pelmorix" ] && break
    sleep 0.1
  done
  xdotool key --window "$window" a >/dev/null 2>&1 || true
  ends_within_20s "$native_pid" || fail "closer: the native program did not end"
  xdotool mousemove 0 0
  case $expected in
    "N-Vorq Pelmorix - celda (2, 1)  t = "*) ;;
    *) fail "closer: the native caption is [$expected]" ;;
  esac

  wine "$windows" closer.skv "${limits[@]}" >closer.wine.raw 2>closer.wine.err </dev/null &
  local pid=$!
  window=$(timeout 30 xdotool search --sync --name '^N-Vorq Pelmorix$' | head -n 1) || true
  [ -n "$window" ] || fail "closer: no window appeared under Wine"
  local offset ox oy
  offset=$(client_geometry "$window")
  [ "$offset" != none ] || fail "closer: no client area of ${width}x${height}"
  IFS=+ read -r _ ox oy <<<"$offset"
  wait_for_picture "$window" "$offset" "$plot_crop" closer.native.png || fail "closer: no grid at the prompt"
  xdotool mousemove --window "$window" $((ox + readout_x)) $((oy + readout_y))
  local caption=""
  for _ in $(seq 1 50); do
    caption=$(xdotool getwindowname "$window")
    [ "$caption" = "$expected" ] && break
    sleep 0.1
  done
  [ "$caption" = "$expected" ] || fail "closer: the caption under Wine is [$caption], natively [$expected]"
  echo "closer: the readout agrees: $caption"
  xdotool mousemove --window "$window" $((ox + open_x)) $((oy + open_y)) click --repeat 2 --delay 80 1
  wait_for_picture "$window" "$offset" "$plot_crop" cell.native.png ||
    fail "closer: the open cell's plot area is not the native one of the cell alone"
  xdotool click 3
  wait_for_picture "$window" "$offset" "$plot_crop" closer.native.png || fail "closer: a right-click did not go back"
  echo "closer: the cell opened and closed as natively"
  xdotool mousemove 0 0
  xdotool key --window "$window" a >/dev/null 2>&1 || true
  ends_within_20s "$pid" || fail "closer: the program did not end after a letter"
  local status=0
  wait "$pid" || status=$?
  [ "$status" = 0 ] || fail "closer: status $status under Wine, not 0"
  crlf_to_lf <closer.wine.raw >closer.wine.out
  cmp -s closer.native.out closer.wine.out || fail "closer: the console differs from the native run's"
}

# The pointer starts in the middle of the screen, where the windows appear,
# and a window under it shows a readout in its caption: it is moved off them.
xdotool mousemove 0 0
run_closer
run_example brusselator.skv 0 0 10 4.5 a
# A compressed log: the Windows program reads gzip as the native one does.
gzip -c "$examples/gray-scott.skv" >gray-scott.skv.gz
run_example gray-scott.skv.gz 0 0 6.25 0.6 Escape
run_example diffusion.skv 0 0 7.5 1 close
run_live_log Escape
run_live_log a
# A client area asked for: the window, its frame measured by the system
# around it, holds the whole of it, drawn as natively at that size.
set_size 1024x768
run_example diffusion.skv 0 0 7.5 1 a
