#!/usr/bin/env bash
# End-to-end checks of the settings dialog under Xvfb: it closes a running
# saver, shows its four pages (saved as screenshots), adds a folder with
# the folder chooser, saves, and the saver then plays the movies of that
# folder; Esc and a wait that is no number change nothing.
# Usage: dialog_test.sh PATH/TO/tavelune SCREENSHOT-FOLDER
set -u
saver=$1
shots=$2
work=$(mktemp -d)
xvfb_pid=
pid=
other_pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$other_pid" ] && kill "$other_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$shots"
details() { [ -f "$work/err" ] && sed 's/^/  stderr: /' "$work/err"; }
source "$(dirname "$0")/common.sh"
ended() { ! kill -0 "$1" 2>/dev/null; }
# xdotool's search gives up (printing nothing) when a window goes away while
# it looks, as the closing saver's does: every lookup is retried.
window_named() { xdotool search --name "^$1\$" 2>/dev/null | head -1; }
has_window() { [ -n "$(window_named "$1")" ]; }
# locate NAME: WIN, X, Y, WIDTH and HEIGHT of the window of that name, as
# soon as it can be found (no window manager: it stays where Qt put it).
locate() {
  local deadline=$((SECONDS + 15)) geometry
  while [ $SECONDS -lt $deadline ]; do
    WIN=$(window_named "$1")
    if [ -n "$WIN" ] && geometry=$(xdotool getwindowgeometry --shell "$WIN" 2>/dev/null); then
      eval "$(grep -E '^(X|Y|WIDTH|HEIGHT)=' <<<"$geometry")"
      return 0
    fi
    sleep 0.1
  done
  return 1
}
# The dialog's window and its top-left corner.
dialog=
dx=0
dy=0
find_dialog() {
  locate "タベルーネ設定" || return 1
  dialog=$WIN
  dx=$X
  dy=$Y
}
# click X Y: a click at a point of the dialog (its bounds at 1.2 times the
# designed ones; a page's origin lies at 3, 30).
click() {
  xdotool mousemove $((dx + $1)) $((dy + $2)) click 1
  sleep 0.4
}
page() {  # page 0|1|2|3
  case $1 in
    0) click 45 12 ;;
    1) click 150 12 ;;
    2) click 260 12 ;;
    3) click 337 12 ;;
  esac
}
type_into() {  # type_into X Y TEXT: replaces the text of the edit at X, Y
  click "$1" "$2"
  xdotool key ctrl+a
  xdotool type --delay 20 "$3"
  sleep 0.2
}
shoot() { import -window "$dialog" "$shots/$1.png" 2>/dev/null; }
open_dialog() {
  "$saver" /c 2>"$work/err" &
  pid=$!
  find_dialog
}
BtnOK=(145 358)
BtnAdd=(299 71)
EditLogFile=(263 320)
EditWait=(215 244)
ButtonExtAdd=(397 256)
CheckSkipBlank=(25 59)

# --- the world ---
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
wait_until 10 test -s "$work/display" || { echo "FAIL no Xvfb"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export HOME="$work/home"
export XDG_RUNTIME_DIR="$work/runtime"
export XDG_DATA_HOME="$work/data"
export TAVELUNE_SETTINGS="$work/settings.reg"
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$work/runtime-other"
mkdir -p "$HOME/movies" "$XDG_DATA_HOME/tavelune/savers"
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=320x240:rate=25" -t 20 \
  -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p "$HOME/movies/sample.mp4"
printf 'not a program' > "$XDG_DATA_HOME/tavelune/savers/Ribbons.scr"
wait_until 10 xdpyinfo >/dev/null 2>&1

# --- a running saver is asked to close when the dialog opens ---
# (started with a guard of its own: the same guard would keep the dialog from opening)
XDG_RUNTIME_DIR="$work/runtime-other" "$saver" /s 2>/dev/null &
other_pid=$!
wait_until 15 bash -c "xdotool search --class '^TSaver\$' >/dev/null 2>&1"
check "a saver window runs before the dialog opens" test -n "$(xdotool search --class '^TSaver$' 2>/dev/null)"
open_dialog
check "the dialog opens" test -n "$dialog"
check "the running saver was closed when the dialog opened" wait_until 10 ended "$other_pid"

# --- the pages, a folder from the chooser, the history file, the wait ---
shoot version
check "the version page is a picture" test -s "$shots/version.png"
page 0
click "${BtnAdd[@]}"
check "the folder chooser opens" locate "ビデオファイルのフォルダーを指定します."
chooser=$WIN
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
# The folder tree is read in the background and the home folder opens by
# itself: the keys wait until the chooser's picture has settled (a loaded
# machine, a sanitizer build, may take seconds).
settled() {
  local before
  before=$(import -window "$chooser" rgb:- 2>/dev/null | md5sum)
  sleep 0.7
  [ "$before" = "$(import -window "$chooser" rgb:- 2>/dev/null | md5sum)" ]
}
sleep 1
wait_until 15 settled
xdotool key Down  # its only folder, "movies"
sleep 0.3
import -window "$chooser" "$shots/chooser.png" 2>/dev/null
xdotool key Return
check "the chooser closes" wait_until 15 bash -c "[ -z \"\$(xdotool search --name '^ビデオファイルのフォルダーを指定します.\$' 2>/dev/null)\" ]"
type_into "${EditLogFile[@]}" "$work/history.log"
shoot folders
page 1
type_into "${EditWait[@]}" 2
click "${ButtonExtAdd[@]}"
check "the extension box opens" locate "拡張子の追加"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
xdotool type --delay 20 " mp4"
xdotool key Return
sleep 0.4
shoot options
page 3
click "${CheckSkipBlank[@]}"
shoot extended
click "${BtnOK[@]}"
check "saving closes the dialog and ends the program" wait_until 5 ended "$pid"
wait "$pid"
check "the program ends with 0" test $? -eq 0
check "the chosen folder is stored" grep -qF "\"0000\"=\"$HOME/movies\"" "$TAVELUNE_SETTINGS"
check "the history file is stored" grep -qF "\"LogFile\"=\"$work/history.log\"" "$TAVELUNE_SETTINGS"
check "the typed wait is stored" grep -qF '"Draw Wait"=dword:00000002' "$TAVELUNE_SETTINGS"
check "the designed extensions are stored" grep -qF '"0008"="vg2"' "$TAVELUNE_SETTINGS"
check "the added extension is stored trimmed" grep -qF '"0009"="mp4"' "$TAVELUNE_SETTINGS"
check "the extended page's checks are stored" grep -qF '"Skip Blank"=dword:00000001' "$TAVELUNE_SETTINGS"
check "... the one left alone as off" grep -qF '"Remember Shown"=dword:00000000' "$TAVELUNE_SETTINGS"

# --- the saver plays the movie of the chosen folder ---
"$saver" /s 2>"$work/err" &
pid=$!
check "the saver plays the movie of the chosen folder" \
  wait_until 20 grep -qs "sample.mp4" "$work/history.log"
xdotool key a
check "a key ends that run" wait_until 10 ended "$pid"

# --- Esc and a wait that is no number leave the settings as they were ---
cp "$TAVELUNE_SETTINGS" "$work/before.reg"
open_dialog
page 1
type_into "${EditWait[@]}" x
click "${BtnOK[@]}"
check "a wait that is no number is reported" wait_until 5 has_window "タベルーネ"
sleep 0.3
import -window root "$shots/error.png" 2>/dev/null  # the report over the dialog
xdotool key Return
sleep 0.5
check "the dialog stays open after the report" kill -0 "$pid"
xdotool mousemove $((dx + 200)) $((dy + 200))
xdotool key Escape
check "Esc closes the dialog" wait_until 5 ended "$pid"
check "nothing was written" cmp -s "$TAVELUNE_SETTINGS" "$work/before.reg"

echo "$passed passed, $failed failed (screenshots in $shots)"
[ "$failed" -eq 0 ]
