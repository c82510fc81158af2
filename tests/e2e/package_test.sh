#!/usr/bin/env bash
# The Debian package as a user meets it: apt-get installs it on this
# machine; xscreensaver's daemon, run by a plain user under Xvfb, lists the
# display mode "Tavelune" and runs the installed saver in its own window,
# which draws stills there and ends on `xscreensaver-command -deactivate`
# with the history's end lines; xscreensaver's list follows an update of
# xscreensaver's own; removing the package leaves none of its files and
# xscreensaver's list as it was.
# Needs root (or sudo), xscreensaver and a machine where the package is not
# installed yet. Usage: package_test.sh PATH/TO/tavelune_VERSION_ARCH.deb
#   [SCREENSHOT-FOLDER]
set -u
if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=PATH bash "$0" "$@"
fi
deb=$(realpath "$1")
shots=${2:-}
work=$(mktemp -d)
chmod 755 "$work"
xvfb_pid=
user=nobody
appdefaults=/etc/X11/app-defaults
cleanup() {
  [ -n "$xvfb_pid" ] && as_user xscreensaver-command -exit >/dev/null 2>&1
  pkill -u "$user" -x xscreensaver 2>/dev/null
  pkill -u "$user" -x tavelune 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  if dpkg-query -W -f='${Status}' tavelune 2>/dev/null | grep -q installed; then
    apt-get purge -y -q tavelune >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT
details() {
  [ -f "$work/history.log" ] && sed 's/^/  history: /' "$work/history.log"
  [ -f "$work/daemon.log" ] && tail -n 20 "$work/daemon.log" | sed 's/^/  daemon: /'
  [ -f "$work/apt.log" ] && tail -n 20 "$work/apt.log" | sed 's/^/  apt: /'
}
source "$(dirname "$0")/common.sh"

if dpkg-query -W -f='${Status}' tavelune 2>/dev/null | grep -q 'install ok installed'; then
  echo "FAIL tavelune is installed already; this test installs and removes it itself"
  trap - EXIT
  exit 1
fi
command -v xscreensaver >/dev/null || { echo "FAIL xscreensaver is not installed"; exit 1; }
stock_link=$(readlink "$appdefaults/XScreenSaver")
stock_list="$appdefaults/$stock_link"

# --- installing ---
export DEBIAN_FRONTEND=noninteractive
check "apt-get installs the package with its dependencies" \
  bash -c "apt-get install -y -q '$deb' > '$work/apt.log' 2>&1"
dpkg -L tavelune | sort > "$work/files"
check "the saver and its tool are in /usr/bin" test -x /usr/bin/tavelune -a -x /usr/bin/tavelune-tool
check "the tool runs from there" bash -c "tavelune-tool parse-date 2026/12/10 | grep -qx 2026-12-10"
check "a manual page for each program" \
  bash -c "man -w tavelune >/dev/null && man -w tavelune-tool >/dev/null"
check "the hack where xscreensaver's display modes live is the saver" \
  test "$(readlink -f /usr/libexec/xscreensaver/tavelune)" = /usr/bin/tavelune
check "... with its page for xscreensaver-settings" \
  grep -q '_label="Tavelune"' /usr/share/xscreensaver/config/tavelune.xml
check "the icon and the settings' desktop entry" \
  test -f /usr/share/icons/hicolor/scalable/apps/tavelune.svg -a \
  -f /usr/share/applications/tavelune-settings.desktop
check "xscreensaver's list is now the package's copy" \
  test "$(readlink "$appdefaults/XScreenSaver")" = XScreenSaver-tavelune
# The copy is xscreensaver's list with the display mode and a note on top.
copy_differs_by_the_entry_only() {
  diff "$stock_list" "$appdefaults/XScreenSaver-tavelune" | grep '^[<>]' > "$work/diff"
  [ "$(grep -c '^>' "$work/diff")" -eq 3 ] && ! grep -q '^<' "$work/diff" &&
    grep -q '^> .*"Tavelune"  tavelune --root' "$work/diff"
}
check "... which differs from xscreensaver's by the display mode's entry" copy_differs_by_the_entry_only
# The first entry of the daemon's list, as xscreensaver reads it.
check "... its first entry" bash -c "grep -A1 '^\*programs:' '$appdefaults/XScreenSaver' |
  tail -1 | grep -q 'Tavelune'"

# --- xscreensaver's list follows xscreensaver's updates ---
cp -p "$stock_list" "$work/stock"
printf '! a later xscreensaver\n' >> "$stock_list"
dpkg-trigger --no-await "$stock_list" && dpkg --triggers-only -a >/dev/null 2>&1
check "an update of xscreensaver's list makes the copy again" \
  grep -q '^! a later xscreensaver$' "$appdefaults/XScreenSaver-tavelune"
cp -p "$work/stock" "$stock_list"
dpkg-trigger --no-await "$stock_list" && dpkg --triggers-only -a >/dev/null 2>&1

# --- the daemon runs it, for a plain user ---
home="$work/home"
mkdir -p "$home/.config/tavelune" "$work/movies" "$work/runtime"
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25 -t 30 -c:v mpeg4 -g 25 \
  "$work/movies/pattern.mp4"
{
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n'
  printf '"Draw Posision"=dword:00000000\n"Graphics Size"=dword:00000000\n'
  printf '"Screen Clear"=dword:00000000\n"Point Cast"=""\n"Random Sort"=dword:00000000\n'
  printf '"Rotate"=dword:00000000\n"Capture"=dword:00000000\n"DispFileName"=dword:00000000\n'
  printf '"BackColor"=dword:00402010\n"Draw Wait"=dword:00000001\n"LogFile"="%s"\n' "$work/history.log"
  printf '"PreviewRandom"=dword:00000000\n"PreViewSeconds"=dword:00000005\n'
  printf '"PreViewMin"=dword:00000003\n"PreViewMax"=dword:00000005\n\n'
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n"0000"="%s"\n\n' "$work/movies"
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Exts]\n"0000"="mp4"\n'
} > "$home/.config/tavelune/settings.reg"
chown -R "$user" "$home" "$work/runtime" "$work/movies"
chmod 700 "$work/runtime"
touch "$work/history.log" && chown "$user" "$work/history.log"

start_display() {
  : > "$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  xvfb_pid=$!
  wait_until 10 test -s "$work/display" || { echo "FAIL no Xvfb"; exit 1; }
  export DISPLAY=":$(cat "$work/display")"
}
as_user() {
  runuser -u "$user" -- env -i HOME="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin \
    XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8 "$@"
}
daemon_answers() { as_user xscreensaver-command -version >/dev/null 2>&1; }
start_daemon() {
  as_user xscreensaver --no-splash --verbose > "$work/daemon.log" 2>&1 &
  daemon_pid=$!
  wait_until 15 daemon_answers
}
# Where a process waits in the kernel, for a start that hangs.
show_waits() {
  local pid
  for pid in "$@"; do
    echo "  waits: $(tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null) in $(cat "/proc/$pid/wchan" 2>/dev/null)"
  done
}
# Now and then xscreensaver stops after its first lines on a fresh display
# and never answers, before any display mode is involved, while the X
# server waits for a child of its own (the keymap compiler): that start,
# and only that, is tried again on a new display, at most twice, and said
# so with where the server, its children and the daemon wait.
start_display
for attempt in 1 2; do
  start_daemon && break
  echo "RETRY $attempt: xscreensaver did not answer on a fresh display; a new display and daemon"
  tail -n 3 "$work/daemon.log" | sed 's/^/  daemon: /'
  show_waits "$xvfb_pid" $(pgrep -P "$xvfb_pid") $(pgrep -u "$user")
  kill "$daemon_pid" 2>/dev/null
  pkill -u "$user" -x xscreensaver 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
  sleep 1
  start_display
done
daemon_answers || start_daemon
check "the daemon starts for a plain user" daemon_answers
history_has() { tr -d '\r' < "$work/history.log" | grep -q -- "$1"; }
saver_running() { pgrep -u "$user" -x tavelune >/dev/null; }
saver_gone() { ! saver_running; }

# xscreensaver-settings lists it: typed into the list of display modes, the
# name selects it, and the settings start it in their preview pane.
as_user xscreensaver-settings > "$work/settings.log" 2>&1 &
settings_pid=$!
settings_window() { xdotool search --all --onlyvisible --name '^XScreenSaver' 2>/dev/null | head -1; }
check "xscreensaver-settings opens" wait_until 15 settings_window
sleep 2 # it fills its list and scrolls to the chosen display mode first
xdotool mousemove --window "$(settings_window)" 150 300 click 1
sleep 0.5
xdotool type --delay 50 Tavelune
preview_window() { pgrep -u "$user" -a -x tavelune | sed -n 's/.*--window-id \(0x[0-9A-Fa-f]*\).*/\1/p'; }
previewing() { [ -n "$(preview_window)" ]; }
check "... lists Tavelune and previews it in its pane" wait_until 15 previewing
pane_shows_the_back_colour() {
  local x= y= pane
  pane=$(preview_window)
  [ -n "$pane" ] || return 1
  eval "$(xwininfo -id "$pane" | awk '/Absolute upper-left X/ { print "x=" $NF }
    /Absolute upper-left Y/ { print "y=" $NF }')"
  import -window root "$work/shot.png" 2>/dev/null &&
    [ "$(convert "$work/shot.png" -format "%[hex:p{$((x + 4)),$((y + 4))}]" info: | cut -c1-6)" = 102040 ]
}
check "... drawn with the user's settings" wait_until 15 pane_shows_the_back_colour
[ -n "$shots" ] && mkdir -p "$shots" && cp "$work/shot.png" "$shots/xscreensaver-settings.png"
xdotool key Escape ctrl+q # the typed search's box first, then the settings
settings_gone() { ! kill -0 "$settings_pid" 2>/dev/null; }
check "the settings quit on Ctrl+Q" wait_until 10 settings_gone
check "... ending the preview" wait_until 10 saver_gone
: > "$work/history.log" # the daemon's run only, from here
as_user xscreensaver-command -select 1 >/dev/null 2>&1
check "the daemon's first display mode is the installed saver" wait_until 15 saver_running
check "... drawing stills into the daemon's window" \
  wait_until 20 history_has 'pattern.mp4 Start$'
# A still of the test pattern covers the middle of the blue background.
still_shown() {
  import -window root "$work/shot.png" 2>/dev/null &&
    [ "$(convert "$work/shot.png" -crop 200x150+412+309 +repage -format %k info:)" -gt 50 ]
}
check "... a still on the screen" wait_until 15 still_shown
[ -n "$shots" ] && mkdir -p "$shots" && cp "$work/shot.png" "$shots/xscreensaver-run.png"
as_user xscreensaver-command -deactivate >/dev/null 2>&1
check "xscreensaver-command -deactivate ends it" wait_until 5 saver_gone
# xscreensaver may send its signal more than once: the run closes once.
check "... with one Close, the movie's Stop and the end line in the history" \
  bash -c "tr -d '\r' < '$work/history.log' | grep -E '^Close$|/pattern.mp4 Stop$|^--- END ---' |
    sed -E 's/.*(Close|Stop|END).*/\1/' | tr '\n' ' ' | grep -Eqx 'Close Stop END '"
as_user xscreensaver-command -exit >/dev/null 2>&1

# --- removing ---
check "apt-get removes the package" bash -c "apt-get purge -y -q tavelune > '$work/apt.log' 2>&1"
# Every file and link it installed is gone, and its own folder; the other
# folders it lists (/usr/bin, ...) belong to other packages too.
nothing_left() {
  local path
  while read -r path; do
    [ -d "$path" ] && [ ! -L "$path" ] && continue
    if [ -e "$path" ] || [ -L "$path" ]; then
      echo "  left: $path"
      return 1
    fi
  done < "$work/files"
  [ ! -e /usr/share/doc/tavelune ]
}
check "... leaving none of its files" nothing_left
check "... and xscreensaver's list as it was" \
  test "$(readlink "$appdefaults/XScreenSaver")" = "$stock_link" -a \
  ! -e "$appdefaults/XScreenSaver-tavelune"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
