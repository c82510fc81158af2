#!/usr/bin/env bash
# End-to-end checks of the saver under Xvfb: stills appear, the exit rules,
# the blank key, preview, a second instance, a broken movie's notice, and
# the history's lines. Windows and pixels are waited for with deadlines.
# Usage: saver_test.sh PATH/TO/tavelune
set -u
saver=$1
source "$(dirname "$0")/saver_common.sh"
mkdir -p "$work/movies" "$work/broken"
for hue in 0 120; do
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=320x240:rate=25,hue=h=$hue" -t 30 \
    -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p "$work/movies/m$hue.mp4"
done
printf 'This is not a movie.\n' > "$work/broken/broken.mp4"
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
# xscreensaver starts its display modes with --root and names its own window
# in XSCREENSAVER_WINDOW: that window is the one to draw into.
rm -f "$work/history.log"
XSCREENSAVER_WINDOW=$win_id "$saver" --root 2>"$work/saver.err" &
saver_pid=$!
check "--root with XSCREENSAVER_WINDOW draws into that window" \
  wait_until 10 pixel_is $((win_x + 10)) $((win_y + 10)) 102040
check "... and not over the root" pixel_is_not 10 470 102040
kill -TERM "$saver_pid"
check "... and ends on SIGTERM" ends_within 15
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
