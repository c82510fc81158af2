#!/usr/bin/env bash
# TAVELUNE.SCR under Wine and Xvfb: the full-screen run covers the screen
# with the back colour, the exit rules, the blank key, a second instance,
# the password-change mode, stills of movies in a folder and under a name
# in Japanese, a movie it cannot play (the notice, and input passed on
# through it), the history's lines, a movie at the end of a path of 600
# characters, devices and 3 GiB as the history, and ten thousand registered
# folders of which only the last exists. Settings go into the Wine registry
# as the dialog would store them. The preview runs inside a window of
# another process, that of tavelune_test_window (win_test_window.cpp),
# which also reports on windows.
# Usage: win_saver_test.sh PATH/TO/TAVELUNE.SCR PATH/TO/tavelune_test_window.exe
#   [SCREENSHOT-FOLDER]
set -u
scr=$1
window_tool=$2
shots=${3:-}
work=$(mktemp -d)
saver_pid=
host_pid=
cleanup() {
  [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  win_cleanup
}
trap cleanup EXIT
details() {
  [ -f "$work/history.log" ] && sed 's/^/  history: /' "$work/history.log"
  [ -f "$work/saver.err" ] && sed 's/^/  stderr: /' "$work/saver.err"
}
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/win_common.sh"
alive() { kill -0 "$saver_pid" 2>/dev/null; }
ended() { ! alive; }
history_has() { tr -d '\r' < "$work/history.log" 2>/dev/null | grep -q -- "$1"; }
pixel() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -1
}
background='#102040'
now_ms() { date +%s%3N; }
ms_to_end() {  # ms_to_end COMMAND...: the milliseconds from COMMAND to the saver's end
  local start
  start=$(now_ms)
  "$@"
  while alive; do
    [ $(($(now_ms) - start)) -gt 10000 ] && { echo 99999; return; }
    sleep 0.02
  done
  echo $(($(now_ms) - start))
}
within() { [ "$1" -le "$2" ]; }

# --- the world: a display, Wine's X11 driver, settings ---
win_start_display 640 480
mkdir -p "$work/empty" "$work/broken"
printf 'This is not a movie.\n' > "$work/broken/broken.mp4"
# settings FOLDER [DRAW-WAIT]: the movies of FOLDER, stills held DRAW-WAIT
# seconds (2), the history in the work folder.
settings() { win_settings "$1" "${2:-2}" "$work/history.log"; }
start_run() {  # a run, waited for until its background is up
  rm -f "$work/history.log"
  wine "$scr" /s 2>"$work/saver.err" &
  saver_pid=$!
  # Looked for in a corner: a still or the notice may cover the middle
  # within a tenth of a second.
  wait_until 30 bash -c "! kill -0 $saver_pid 2>/dev/null || [ \"\$(import -window root -crop 1x1+5+5 -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -1)\" == '$background' ]"
  alive && [ "$(pixel 5 5)" == "$background" ]
}
# sync_pointer X Y: the pointer at X, Y, and Wine told so. Wine learns where
# the pointer is only from the events of its own windows, and reports that
# position when a window appears: the saver takes it as the first mouse
# position, from which the mouse rule measures. A run of its own shows Wine
# the move, and is then ended.
sync_pointer() {
  start_run || return 1
  xdotool mousemove "$1" "$2"
  sleep 0.5
  stop_run
}
stop_run() {
  kill "$saver_pid" 2>/dev/null
  wait_until 10 ended
  saver_pid=
}

# --- a run over the back colour, and its exit rules ---
settings "$work/empty"
sync_pointer 300 300
check "/s covers the screen with the back colour" start_run
check "... in every corner" bash -c "[ \"\$(import -window root -crop 1x1+630+470 -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -1)\" == '$background' ]"
check "with no movie the play loop says so" wait_until 15 history_has ", Movie not found"
xdotool mousemove 320 280
sleep 0.5
check "a mouse step of 20 pixels does not end the run" alive
check "a mouse step of 21 pixels ends it within a second" \
  within "$(ms_to_end xdotool mousemove 341 280)" 1000
check "... written as Mouse Move, then Close and the end line" bash -c "
  tr -d '\r' < '$work/history.log' | grep -E ', Mouse Move$|^Close$|^--- END ---' |
    sed -E 's/.*(Mouse Move|Close|END).*/\1/' | uniq | tr '\n' ' ' | grep -q '^Mouse Move Close END'"
saver_pid=

check "a run for the keys" start_run
xdotool key space
check "the blank key with a history only marks the history" wait_until 5 history_has ", Press Key!!"
xdotool key Left F5 Shift_L
sleep 0.5
check "... and keys without a character end nothing" alive
check "a character key ends the run within a second" within "$(ms_to_end xdotool key q)" 1000
check "... written as Key Push" history_has ", Key Push"
saver_pid=

check "a run for the button" start_run
check "a mouse button ends the run within a second" within "$(ms_to_end xdotool click 1)" 1000
check "... written as Mouse Push" history_has ", Mouse Push"
saver_pid=

check "a run to be second to" start_run
wine "$scr" /s 2>/dev/null &
second=$!
check "a second instance ends at once" wait_until 10 bash -c "! kill -0 $second 2>/dev/null"
stop_run

check "/a ends without a window" timeout 20 wine "$scr" /a 0

# --- stills of movies in D:\ビデオ, one named 東京の夜.mp4 ---
# The folder is on a drive of its own, as on a Windows machine; the names
# reach the core as UTF-8, the code page the manifest asks for.
mkdir -p "$work/drive_d/ビデオ"
ln -sfn "$work/drive_d" "$WINEPREFIX/dosdevices/d:"
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 30 -c:v libx264 -g 25 \
  -pix_fmt yuv420p "$work/drive_d/ビデオ/東京の夜.mp4"
settings 'D:\ビデオ'
still() { import -window root -crop 200x150+220+165 -depth 8 rgb:- 2>/dev/null | md5sum; }
shows_a_still() { [ "$(pixel 320 240)" != "$background" ] && [ "$(pixel 320 240)" != "" ]; }
check "a run of the movies of D:\ビデオ" start_run
check "a still appears over the back colour" wait_until 20 shows_a_still
check "... of the movie named in Japanese, as the history says" \
  history_has 'D:\\ビデオ\\東京の夜.mp4 Start'
[ -n "$shots" ] && mkdir -p "$shots" && import -window root "$shots/stills-1.png"
first=$(still)
# A segment takes its hold (2 s) and its seek, which may take up to the
# seek's deadline (5 s) on a loaded machine and then shows the picture it
# had: two of those in a row are still a healthy run.
check "the next segment brings another still" wait_until 20 bash -c "[ \"\$(import -window root -crop 200x150+220+165 -depth 8 rgb:- 2>/dev/null | md5sum)\" != '$first' ]"
[ -n "$shots" ] && import -window root "$shots/stills-2.png"
check "... and the corners keep the back colour" bash -c "[ \"\$(import -window root -crop 1x1+5+5 -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -1)\" == '$background' ]"
check "a character key ends a run of stills within a second" \
  within "$(ms_to_end xdotool key q)" 1000
check "... after the segments' lines, with Close and the end line" bash -c "
  tr -d '\r' < '$work/history.log' | grep -E ', Key Push$|^Close$|^--- END ---' |
    sed -E 's/.*(Push|Close|END).*/\1/' | uniq | tr '\n' ' ' | grep -q '^Push Close END'"
check "... and the program exits with 0" wait "$saver_pid"
saver_pid=

# Stills without a hold: a key lands while a seek is under way.
settings 'D:\ビデオ' 0
check "a run of segments without a hold" start_run
check "... shows stills" wait_until 20 shows_a_still
sleep 0.3
check "a key with a seek in flight ends the run within a second" \
  within "$(ms_to_end xdotool key q)" 1000
check "... and the program exits with 0, not by a crash of its media library" wait "$saver_pid"
saver_pid=

# --- a movie at the end of a path of 600 characters ---
long=$work
while [ ${#long} -lt 560 ]; do
  long=$long/a-folder-whose-name-makes-the-path-long-$((${#long} % 10))
done
mkdir -p "$long"
cp "$work/drive_d/ビデオ/東京の夜.mp4" "$long/a-movie-at-the-end-of-a-long-path.mp4"
long_movie=$(winpath "$long/a-movie-at-the-end-of-a-long-path.mp4")
settings "$long"
check "a run of a folder whose movie's name has ${#long_movie} characters" start_run
check "... shows its still" wait_until 20 shows_a_still
check "... and names it whole in the history" history_has "${long_movie//\\/\\\\} Start"
check "... and a key ends it within a second" within "$(ms_to_end xdotool key q)" 1000
saver_pid=
rm -rf "$work/a-folder-whose-name-makes-the-path-long-"*

# --- a history that names a device: the run plays without one ---
for device in NUL CON "$(winpath "$work")\\CON.txt"; do
  win_settings 'D:\ビデオ' 2 "$device"
  check "a run whose history is $device" start_run
  check "... shows a still" wait_until 20 shows_a_still
  check "... and a key ends it within a second" within "$(ms_to_end xdotool key q)" 1000
  check "... and the program exits with 0" wait "$saver_pid"
  saver_pid=
done
check "... and no file is named for the device" test ! -e "$work/CON.txt"

# --- a history of 3 GiB: cut without reading it whole, input during the cut ---
big=$work/big.log
big_history() {  # big_history LINES: a hole of 3 GiB, then LINES lines
  rm -f "$big"
  truncate -s 3G "$big"
  seq "$1" | sed 's/^/line /; s/$/\r/' >> "$big"
}
win_settings 'D:\ビデオ' 2 "$big"
big_history 1500
check "a run whose history is 3 GiB" start_run
check "... shows a still" wait_until 20 shows_a_still
# The saver's own process is the largest of those Wine runs under its name.
peak_kib=$(for process in $(pgrep -f 'TAVELUNE.SCR'); do
  awk '/^VmHWM/ { print $2 }' "/proc/$process/status" 2>/dev/null
done | sort -n | tail -1)
echo "  3 GiB history: the saver's peak memory was $((${peak_kib:-0} / 1024)) MiB"
check "... without reading it whole ($((${peak_kib:-0} / 1024)) MiB at most)" \
  test "${peak_kib:-0}" -gt 0 -a "${peak_kib:-0}" -lt $((1024 * 1024))
check "... and a key ends it within a second" within "$(ms_to_end xdotool key q)" 1000
check "... its history cut to the last lines, and ended" bash -c "
  [ \$(stat -c %s '$big') -lt 100000 ] && tr -d '\r' < '$big' | head -1 | grep -qx 'line 503' &&
  tr -d '\r' < '$big' | tail -1 | grep -q '^--- END ---'"
saver_pid=
big_history 0 # no line end in 3 GiB: the cut reads all of it, backwards
check "a run whose history is 3 GiB without a line end" start_run
check "... ends on a key during the cut within a second" within "$(ms_to_end xdotool key q)" 1000
check "... with the end line" bash -c "tr -d '\r' < '$big' | tail -1 | grep -q '^--- END ---'"
saver_pid=
rm -f "$big"

# --- ten thousand registered folders, the one that exists last ---
settings 'D:\ビデオ'
{
  printf 'Windows Registry Editor Version 5.00\n\n'
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n'
  for index in $(seq 0 9998); do
    printf '"%04d"="D:\\\\missing\\\\%05d"\n' "$index" "$index"
  done
  printf '"9999"="D:\\\\ビデオ"\n'
} | regedit_utf16
started=$(now_ms)
check "a run with ten thousand folders, all missing but the last" start_run
check "... plays the last one's movie" wait_until 30 history_has 'D:\\ビデオ\\東京の夜.mp4 Start'
echo "  ten thousand folders: the first movie started $(($(now_ms) - started)) ms after the start"
check "... and a key ends it within a second" within "$(ms_to_end xdotool key q)" 1000
saver_pid=

# --- a movie it cannot play: the notice, and input through it ---
settings "$work/broken"
check "a run of a movie it cannot play" start_run
check "the notice appears" wait_until 20 bash -c "xdotool search --name 'エラー' >/dev/null"
check "... naming the movie and its failure in the history" history_has "broken.mp4 Error"
# Where its button's middle is, from the notice's outer size: the frame Wine
# draws itself is as wide on every side, the caption above the client area.
eval "$(xdotool getwindowgeometry --shell "$(xdotool search --name 'エラー' | head -1)")"
frame=$(((WIDTH - 342) / 2))
button_x=$((X + frame + 120 + 37))
button_y=$((Y + HEIGHT - 73 - frame + 40 + 12))
check "a character key with the notice up ends the run within a second" \
  within "$(ms_to_end xdotool key x)" 1000
check "the history holds start, error, key, close and stop in order" bash -c "
  tr -d '\r' < '$work/history.log' | grep -E 'broken.mp4 (Start|Error|Stop)$|, Key Push$|^Close$' |
    sed -E 's/.* //' | uniq | tr '\n' ' ' | grep -q '^Start Error Push Close Stop'"
saver_pid=

# The pointer waits on the button, so that no move is needed (told to Wine
# in a run without a notice, whose window would take the move).
settings "$work/empty"
sync_pointer "$button_x" "$button_y"
settings "$work/broken"
check "a run for the notice's button" start_run
check "the notice appears again" wait_until 20 bash -c "xdotool search --name 'エラー' >/dev/null"
check "its button ends the run within a second" within "$(ms_to_end xdotool click 1)" 1000
check "... by the notice's doing, not a mouse rule of the saver's" \
  bash -c "! grep -q 'Mouse' '$work/history.log'"
saver_pid=

# --- preview inside a window of another process ---
# Wine draws no child window of another process, so the preview is judged
# by its window: a shown child of the pane, of the saver's class, filling it.
preview_host() {  # a pane, 200 x 150, in a process of its own: $pane, $host_pid
  rm -f "$work/host.out"
  wine "$window_tool" host 200 150 >"$work/host.out" 2>/dev/null &
  host_pid=$!
  wait_until 20 test -s "$work/host.out" && pane=$(tr -d '\r\n' < "$work/host.out")
}
preview_window() { wine "$window_tool" children "$pane" 2>/dev/null | tr -d '\r' | grep ' class=TSaver '; }
preview_shown() { preview_window | grep -q ' visible=1 '; }
start_preview() {  # /p with the pane, waited for until its window is shown
  rm -f "$work/history.log"
  wine "$scr" /p "$pane" 2>"$work/saver.err" &
  saver_pid=$!
  wait_until 30 ended_or_shown
  alive && preview_shown
}
ended_or_shown() { ended || preview_shown; }
send() { wine "$window_tool" send "$saver_window" "$@" 2>/dev/null; }  # send MESSAGE WPARAM LPARAM
send_input() {  # mouse moves 130 pixels apart, the left button, a character key, the blank
  send 0x200 0 $((10 << 16 | 10)) && send 0x200 0 $((140 << 16 | 120)) &&
    send 0x201 1 $((140 << 16 | 120)) && send 0x102 0x71 1 && send 0x102 0x20 1
}
settings "$work/empty"
check "a window of another process as the pane" preview_host
check "/p HWND shows the saver's window in it" start_preview
preview=$(preview_window)
check "... a child of the pane" grep -q " parent=$pane " <<<"$preview"
style=$(sed -E 's/.* style=(0x[0-9A-F]+) .*/\1/' <<<"$preview")
check "... WS_CHILD, not WS_POPUP" test $((style & 0xC0000000)) -eq $((0x40000000))
check "... as large as the pane" grep -q ' width=200 height=150$' <<<"$preview"
# Input over the pane from X, then straight to the preview's window: each
# sent message has been handled when send returns, and a close would have
# hidden the window at once. (The X input, which has no such end, has long
# been handled by then: each send is a program start.)
xdotool mousemove 30 30 mousemove 200 150 click 1 key q space
saver_window=$(sed -E 's/^window=([0-9]+) .*/\1/' <<<"$preview")
check "moves, a button and keys sent to the preview are handled" send_input
check "... and end nothing: the preview is still shown" preview_shown
check "... and runs on" alive
check "preview writes no history" test ! -e "$work/history.log"
check "the pane's program destroys the pane" wine "$window_tool" close "$pane"
check "... and the preview ends with it" wait_until 5 ended
stop_run
kill "$host_pid" 2>/dev/null
host_pid=

check "another pane" preview_host
check "a preview in it" start_preview
kill "$host_pid" 2>/dev/null
host_pid=
check "a preview whose pane's program ends (destroying nothing) ends" wait_until 5 ended
stop_run

check "the gone pane's handle is no window" bash -c "! wine '$window_tool' is-window '$pane'"
rm -f "$work/history.log"
check "/p with a handle that is no window ends at once" timeout 20 wine "$scr" /p "$pane"
check "... writing no history" test ! -e "$work/history.log"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
