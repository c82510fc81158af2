#!/usr/bin/env bash
# End-to-end checks of the saver under Xvfb: stills appear, the exit rules,
# the blank key, preview, a second instance, a broken movie's notice, and
# the history's lines. Windows and pixels are waited for with deadlines.
# Usage: saver_test.sh PATH/TO/tavelune
set -u
saver=$1
work=$(mktemp -d)
xvfb_pid=
saver_pid=
cleanup() {
  [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
details() {
  [ -f "$work/history.log" ] && sed 's/^/  history: /' "$work/history.log"
  [ -f "$work/saver.err" ] && sed 's/^/  stderr: /' "$work/saver.err"
}
source "$(dirname "$0")/common.sh"
alive() { kill -0 "$saver_pid" 2>/dev/null; }
ended() { ! alive; }
# ends_within SECONDS: the run ends in time; otherwise its threads' stacks
# are shown (to tell where it hangs) and it is killed.
ends_within() {
  wait_until "$1" ended && return 0
  if command -v gdb >/dev/null; then
    timeout 60 gdb -p "$saver_pid" -batch -ex 'thread apply all bt 15' > "$work/stacks.txt" 2>&1
    grep -E '^(#|Thread)' "$work/stacks.txt" | grep -v ' in ?? ' | sed 's/^/  stack: /'
  fi
  kill -9 "$saver_pid" 2>/dev/null
  return 1
}
history_has() { grep -q -- "$1" "$work/history.log" 2>/dev/null; }
# The colour of one pixel of the screen, as #RRGGBB.
pixel() {
  import -window root "$work/shot.png" 2>/dev/null &&
    convert "$work/shot.png" -format "%[hex:p{$1,$2}]" info: 2>/dev/null | cut -c1-6
}
# How many pixels of the colour a rectangle of the screen holds.
pixels_of() {  # pixels_of X Y W H RRGGBB
  import -window root "$work/shot.png" 2>/dev/null &&
    convert "$work/shot.png" -crop "$3x$4+$1+$2" +repage -format %c histogram:info: 2>/dev/null |
    awk -v c="#$5" 'toupper($3) == toupper(c) { n += $1 } END { print n + 0 }'
}
holds_icon() { [ "$(pixels_of "$@" 202830)" -gt 200 ]; }
pixel_is_not() { [ "$(pixel "$1" "$2")" != "$3" ] && [ -n "$(pixel "$1" "$2")" ]; }
pixel_is() { [ "$(pixel "$1" "$2")" == "$3" ]; }

# --- the world: a display, movies, settings ---
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"${XVFB_LOG:-/dev/null}" &
xvfb_pid=$!
wait_until 10 test -s "$work/display" || { echo "FAIL no Xvfb"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$work/movies" "$work/broken"
for hue in 0 120; do
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=320x240:rate=25,hue=h=$hue" -t 30 \
    -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p "$work/movies/m$hue.mp4"
done
printf 'This is not a movie.\n' > "$work/broken/broken.mp4"

# settings FOLDER DRAW-WAIT: centred full-size stills on a blue (#102040)
# background, a segment every 5 s, the history in the work folder.
settings() {
  export TAVELUNE_SETTINGS="$work/settings.reg"
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n' > "$TAVELUNE_SETTINGS"
  printf '"Draw Posision"=dword:00000000\n"Graphics Size"=dword:00000000\n' >> "$TAVELUNE_SETTINGS"
  printf '"Screen Clear"=dword:00000000\n"Point Cast"=""\n"Random Sort"=dword:00000000\n' >> "$TAVELUNE_SETTINGS"
  printf '"Rotate"=dword:00000000\n"Capture"=dword:00000000\n"DispFileName"=dword:00000000\n' >> "$TAVELUNE_SETTINGS"
  printf '"BackColor"=dword:00402010\n"Draw Wait"=dword:%08x\n"LogFile"="%s"\n' "$2" "$work/history.log" >> "$TAVELUNE_SETTINGS"
  printf '"PreviewRandom"=dword:00000000\n"PreViewSeconds"=dword:00000005\n' >> "$TAVELUNE_SETTINGS"
  printf '"PreViewMin"=dword:00000003\n"PreViewMax"=dword:00000005\n\n' >> "$TAVELUNE_SETTINGS"
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n"0000"="%s"\n\n' "$1" >> "$TAVELUNE_SETTINGS"
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Exts]\n"0000"="mp4"\n' >> "$TAVELUNE_SETTINGS"
}
x_ready() { xdpyinfo >/dev/null 2>&1; }
start_run() {  # start_run [ARGS...]: a run, waited for until its background is up
  local attempt
  for attempt in 1 2; do
    # The display must answer first (now and then it refuses a connection
    # for a moment while a saver starts or ends).
    wait_until 10 x_ready
    rm -f "$work/history.log"
    "$saver" "${@:-/s}" 2>"$work/saver.err" &
    saver_pid=$!
    wait_until 15 bash -c "! kill -0 $saver_pid 2>/dev/null || [ \"\$(import -window root -crop 1x1+320+240 -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -1)\" == '#102040' ]"
    if alive; then
      pixel_is 320 240 102040
      return
    fi
    grep -q 'could not connect to display' "$work/saver.err" || return 1
    echo "  (the display refused the saver's connection; starting it again)"
  done
  return 1
}
stop_run() {
  kill "$saver_pid" 2>/dev/null
  wait_until 5 ended
  saver_pid=
}
background=102040

# --- a run: stills appear over the background ---
settings "$work/movies" 59
check "the run covers the screen with the back colour" start_run
check "a still appears" wait_until 20 pixel_is_not 320 240 "$background"
check "the history starts with a movie's start" wait_until 5 history_has "mp4 Start"

# --- exit rules ---
xdotool mousemove 300 300
sleep 0.3
xdotool mousemove 320 280
sleep 0.5
check "a mouse step of 20 pixels does not end the run" alive
xdotool mousemove 341 280
check "a mouse step of 21 pixels ends it" ends_within 15
check "the history says why, closes, and stops the movie in that order" \
  bash -c "tr -d '\r' < '$work/history.log' | grep -E ', Mouse Move$|^Close$| Stop$|--- END ---' |
    sed -E 's/.*(Mouse Move|Close|Stop|END).*/\1/' | tr '\n' ' ' | grep -q '^Mouse Move Close Stop END'"

check "a run for the button" start_run
xdotool click 1
check "a mouse button ends the run" ends_within 15
check "... written as Mouse Push" history_has ", Mouse Push"

check "a run for the keys" start_run
xdotool key space
# Keys wait for the end of the pause before the first movie.
check "the blank key with a history only marks the history" wait_until 6 history_has ", Press Key!!"
check "... and does not end the run" alive
xdotool key Left F5 Shift_L
sleep 0.5
check "keys without a character end nothing" alive
xdotool key q
check "a character key ends the run" ends_within 15
check "... written as Key Push" history_has ", Key Push"

# --- a second instance ends at once ---
check "a run to be second to" start_run
"$saver" /s 2>/dev/null &
second=$!
check "a second instance ends at once" wait_until 3 bash -c "! kill -0 $second 2>/dev/null"
stop_run

# foreign_window NAME GEOMETRY: a window of another program (xmessage) to
# draw into; sets win_pid, win_id, win_x, win_y, win_w and win_h.
foreign_window() {
  local attempt
  for attempt in 1 2; do
    # Started again once: a connection to Xvfb is now and then refused
    # while a saver starts or ends.
    wait_until 10 x_ready
    xmessage -geometry "$2" -name "$1" "$1" 2>/dev/null &
    win_pid=$!
    wait_until 5 bash -c "xwininfo -name $1 >/dev/null 2>&1" && break
    kill "$win_pid" 2>/dev/null
  done
  xwininfo -name "$1" > "$work/window.txt" 2>/dev/null
  win_id=$(awk '/Window id:/ { print $4 }' "$work/window.txt")
  win_x=$(awk '/Absolute upper-left X:/ { print $4 }' "$work/window.txt")
  win_y=$(awk '/Absolute upper-left Y:/ { print $4 }' "$work/window.txt")
  win_w=$(awk '/Width:/ { print $2 }' "$work/window.txt")
  win_h=$(awk '/Height:/ { print $2 }' "$work/window.txt")
}

# --- preview inside a foreign window, which ignores input ---
foreign_window tavelunepreviewparent 200x150+20+20
rm -f "$work/history.log"
"$saver" /p "$((win_id))" 2>"$work/saver.err" &
saver_pid=$!
# The icon's film strip (#202830) fills much of the icon, which sits in
# the middle of the parent.
check "preview draws the icon in the middle of the parent" \
  wait_until 10 holds_icon $((win_x + (win_w - 32) / 2)) $((win_y + (win_h - 32) / 2)) 34 34
xdotool mousemove 100 80 click 1 key q
sleep 0.5
check "preview ignores input" alive
check "preview writes no history" test ! -e "$work/history.log"
kill "$win_pid" 2>/dev/null
check "a preview whose parent window goes away ends" ends_within 15
saver_pid=

# --- as an xscreensaver display mode: a run drawn into a given window ---
foreign_window tavelunexscreensaver 240x180+300+200
rm -f "$work/history.log"
"$saver" -window-id "$win_id" 2>"$work/saver.err" &
saver_pid=$!
check "-window-id draws the run's background into that window" \
  wait_until 10 pixel_is $((win_x + 10)) $((win_y + 10)) 102040
check "... and nothing outside it" pixel_is_not 10 470 102040
kill -TERM "$saver_pid"
check "SIGTERM ends the run" ends_within 15
check "... closing it like input does" history_has "^Close"
saver_pid=
kill "$win_pid" 2>/dev/null

# --- a broken movie: the notice, then the end of the run ---
settings "$work/broken" 1
check "a run of a broken movie" start_run
check "the notice appears" wait_until 15 bash -c "xdotool search --name 'エラー' >/dev/null"
notice=$(xdotool search --name 'エラー' | head -1)
eval "$(xdotool getwindowgeometry --shell "$notice")"
check "the notice is centred" test $((X + WIDTH / 2 - 320)) -le 2 -a $((X + WIDTH / 2 - 320)) -ge -2
xdotool mousemove $((X + 120 + 37)) $((Y + 40 + 12)) click 1
check "its button ends the run" ends_within 15
check "the history holds start, error, close and stop in order" \
  bash -c "tr -d '\r' < '$work/history.log' | grep -E 'broken.mp4 (Start|Error|Stop)$|^Close$' |
    sed -E 's/.* //' | tr '\n' ' ' | grep -q '^Start Error Close Stop'"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
