# What the saver's end-to-end scripts share: a display, the saver started
# and ended, its history, its pixels, and settings written for it. The
# script sets `saver` (the program) before it sources this file.
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

# --- the world: a display and settings ---
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"${XVFB_LOG:-/dev/null}" &
xvfb_pid=$!
wait_until 10 test -s "$work/display" || { echo "FAIL no Xvfb"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
# No session bus: without one, Qt's accessibility bridge has D-Bus start one
# for the display, and that start now and then hangs for D-Bus's 25 s
# timeout before the saver's window shows (seen under ASan in CI). A bus
# that refuses at once is what a display without a desktop has.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"

# settings FOLDER DRAW-WAIT [RANDOM-SORT]: centred full-size stills on a
# blue (#102040) background, a segment every 5 s, the history in the work
# folder, the extensions mp4 and avi, movies in found order (or at random
# with RANDOM-SORT 1).
settings() {
  export TAVELUNE_SETTINGS="$work/settings.reg"
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n' > "$TAVELUNE_SETTINGS"
  printf '"Draw Posision"=dword:00000000\n"Graphics Size"=dword:00000000\n' >> "$TAVELUNE_SETTINGS"
  printf '"Screen Clear"=dword:00000000\n"Point Cast"=""\n"Random Sort"=dword:%08x\n' "${3:-0}" >> "$TAVELUNE_SETTINGS"
  printf '"Rotate"=dword:00000000\n"Capture"=dword:00000000\n"DispFileName"=dword:00000000\n' >> "$TAVELUNE_SETTINGS"
  printf '"BackColor"=dword:00402010\n"Draw Wait"=dword:%08x\n"LogFile"="%s"\n' "$2" "$work/history.log" >> "$TAVELUNE_SETTINGS"
  printf '"PreviewRandom"=dword:00000000\n"PreViewSeconds"=dword:00000005\n' >> "$TAVELUNE_SETTINGS"
  printf '"PreViewMin"=dword:00000003\n"PreViewMax"=dword:00000005\n\n' >> "$TAVELUNE_SETTINGS"
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n"0000"="%s"\n\n' "$1" >> "$TAVELUNE_SETTINGS"
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Exts]\n"0000"="mp4"\n"0001"="avi"\n' >> "$TAVELUNE_SETTINGS"
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
