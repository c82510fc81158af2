#!/usr/bin/env bash
# TAVELUNE.SCR /c under Wine and Xvfb: the settings dialog in Japanese with
# its four pages, Enter saving the designed settings, a configure-then-run
# round trip (a folder chosen in the system's folder chooser, a history
# file chosen in its save chooser, an extension typed into the input box,
# and the saver then playing that folder), a wait that is no number, Esc,
# and dragging by a free spot. Windows are found, and clicked, by what tavelune_test_window
# (win_test_window.cpp) reports of them, not by coordinates of the test's
# own: the fonts that stand in for the Japanese faces here set the dialog
# larger than Windows does.
# Usage: win_dialog_test.sh PATH/TO/TAVELUNE.SCR PATH/TO/tavelune_test_window.exe
#   [SCREENSHOT-FOLDER]
set -u
scr=$1
window_tool=$2
shots=${3:-}
work=$(mktemp -d)
dialog_pid=
saver_pid=
cleanup() {
  [ -n "$dialog_pid" ] && kill "$dialog_pid" 2>/dev/null
  [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null
  win_cleanup
}
trap cleanup EXIT
details() {
  [ -f "$work/settings.txt" ] && sed 's/^/  settings: /' "$work/settings.txt"
  [ -f "$work/tree.txt" ] && sed 's/^/  window: /' "$work/tree.txt" | head -80
  [ -f "$work/drive_d/history.log" ] && sed 's/^/  history: /' "$work/drive_d/history.log"
}
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/win_common.sh"
key_path='HKEY_CURRENT_USER\Software\Norvane\Tavelune'

tool() { wine "$window_tool" "$@" 2>/dev/null | tr -d '\r'; }
# The handle of the visible top-level window whose text is exactly $1.
window_named() {
  tool windows | awk -v t="$1" '{ i = index($0, " text="); if (substr($0, i + 6) == t) {
    sub(/^window=/, "", $1); print $1; exit } }'
}
has_window() { [ -n "$(window_named "$1")" ]; }
# The windows below a top-level one, one a line (see win_test_window.cpp),
# the dialog's kept for details.
window_tree() { tool tree "$(window_named "$1")"; }
dialog_tree() { window_tree 'タベルーネ設定' | tee "$work/tree.txt"; }
texts() { sed 's/ items=.*//; s/.* text=//'; }
# window_says TITLE TEXT: a window below TITLE has that text.
window_says() { window_tree "$1" | texts | grep -qxF -- "$2"; }
# control TEXT [CLASS]: the line of the dialog's first shown window with that text.
control() {
  dialog_tree | grep -E " class=${2:-[A-Za-z]+} .*visible=1 " |
    awk -v t="$1" '{ i = index($0, " text="); if (substr($0, i + 6) == t) { print; exit } }'
}
field() { sed -E "s/.* $1=([^ ]*).*/\1/" <<<"$2"; }
enabled() { [ "$(field enabled "$1")" = 1 ]; }
disabled() { [ "$(field enabled "$1")" = 0 ]; }
list_is() { dialog_tree | sed -n 's/.* class=ListBox .* items=//p' | grep -qxF -- "$1"; }
savers_are() { dialog_tree | sed -n 's/.* class=ComboBox .* items=//p' | grep -qxF -- "$1"; }
saver_shown() { dialog_tree | grep ' class=ComboBox ' | texts | grep -qxF -- "$1"; }
edit_is() { dialog_tree | grep ' class=Edit ' | texts | grep -qxF -- "$1"; }
click() {  # click LINE [DX DY]: the window's middle, or DX, DY from its top left
  local line=$1 x y
  x=$(field x "$line")
  y=$(field y "$line")
  if [ $# -ge 3 ]; then
    x=$((x + $2)) y=$((y + $3))
  else
    x=$((x + $(field width "$line") / 2)) y=$((y + $(field height "$line") / 2))
  fi
  xdotool mousemove "$x" "$y" click 1
  sleep 0.3
}
focus() { xdotool windowfocus --sync "$(xdotool search --name "^$1\$" | head -1)" 2>/dev/null; }
keys() {  # keys WINDOW-TEXT KEY...: keys into that window, focused first
  focus "$1"
  shift
  xdotool key --delay 60 "$@"
  sleep 0.3
}
typed() {  # typed WINDOW-TEXT TEXT
  focus "$1"
  xdotool type --delay 40 "$2"
  sleep 0.3
}
shot() { [ -z "$shots" ] || import -window root "$shots/$1.png"; }
open_dialog() {
  wine "$scr" /c 2>/dev/null &
  dialog_pid=$!
  wait_until 30 has_window 'タベルーネ設定'
}
dialog_ended() { ! kill -0 "$dialog_pid" 2>/dev/null; }
saver_ended() { ! kill -0 "$saver_pid" 2>/dev/null; }
shown_page() { dialog_tree | grep ' class=TControlFormPanel .*visible=1 ' | head -1 | texts; }
settings_export() {  # the stored settings in UTF-8, into settings.txt
  rm -f "$work/export.reg"
  wine regedit /E "$(winpath "$work/export.reg")" "$key_path" >/dev/null 2>&1
  if [ -f "$work/export.reg" ]; then
    iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r' > "$work/settings.txt"
  else
    : > "$work/settings.txt"
  fi
}
stored() {  # stored LINE...: each line is in the export
  settings_export
  local line
  for line in "$@"; do grep -qxF -- "$line" "$work/settings.txt" || return 1; done
}
history_has() { tr -d '\r' < "$work/drive_d/history.log" 2>/dev/null | grep -qxF -- "$1"; }
history_says() { tr -d '\r' < "$work/drive_d/history.log" 2>/dev/null | grep -qF -- "$1"; }

mkdir -p "$work/drive_d"
win_start_display 800 600 "$work/drive_d"
[ -z "$shots" ] || mkdir -p "$shots"
wine reg delete 'HKCU\Software\Norvane\Tavelune' /f >/dev/null 2>&1
# Installed savers: one in the Windows folder, this one in the system folder.
cp "$scr" "$WINEPREFIX/drive_c/windows/Aurora.scr"
cp "$scr" "$WINEPREFIX/drive_c/windows/system32/TAVELUNE.SCR"

# --- the dialog and its pages ---
check "/c shows タベルーネ設定" open_dialog
check "... on the version page" test "$(shown_page)" == 'バージョン情報'
check "... with the program's name and version" window_says 'タベルーネ設定' 'Tavelune'
check "... and the two addresses" window_says 'タベルーネ設定' 'https://tavelune.example.org/bbs/'
shot version
keys 'タベルーネ設定' ctrl+Tab
check "Ctrl+Tab shows the extended page" test "$(shown_page)" == '拡張設定'
shot extended
keys 'タベルーネ設定' ctrl+Tab
check "... then the folder page" test "$(shown_page)" == '動画フォルダー'
check "... whose 削除 is disabled" disabled "$(control 削除 Button)"
shot folders
keys 'タベルーネ設定' ctrl+Tab
check "... then the option page" test "$(shown_page)" == 'オプション'
check "... the installed savers in the hand-over list, the Windows folder's first" \
  savers_are 'なし|Aurora|TAVELUNE'
check "... with the designed wait" edit_is '3'
check "... and segment numbers in their display formats" edit_is '60.'
shot options
keys 'タベルーネ設定' Return
check "Enter saves and ends the program" wait_until 15 dialog_ended
wait "$dialog_pid"
check "... with exit status 0" test $? -eq 0
dialog_pid=
check "the designed wait, sizes, order and desktop are stored" stored \
  '"Draw Wait"=dword:00000003' '"Graphics Size"=dword:00000002' \
  '"Draw Posision"=dword:00000001' '"Random Sort"=dword:00000001' '"Capture"=dword:00000001'
check "... the designed segments" stored '"PreViewSeconds"=dword:0000003c' \
  '"PreViewMin"=dword:0000000a' '"PreViewMax"=dword:0000001e' '"PreviewRandom"=dword:00000000'
check "... the extended settings off" stored '"Skip Blank"=dword:00000000' \
  '"Remember Shown"=dword:00000000'
check "... and the nine designed extensions" stored '"0000"="avi"' '"0008"="vg2"'

# --- configure, then run: D:\ビデオ is stored; its sub-folder 夜 is chosen ---
mkdir -p "$work/drive_d/ビデオ/夜"
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 20 -c:v libx264 -g 25 \
  -pix_fmt yuv420p "$work/drive_d/ビデオ/夜/東京の夜.mp4"
{
  printf 'Windows Registry Editor Version 5.00\n\n'
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n'
  printf '"Point Cast"="C:\\\\windows\\\\system32\\\\TAVELUNE.SCR"\n\n'
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n"0000"="D:\\\\ビデオ"\n'
} | regedit_utf16
check "a dialog for the round trip" open_dialog
check "the stored hand-over saver is shown" saver_shown 'TAVELUNE'
keys 'タベルーネ設定' ctrl+Tab ctrl+Tab  # past the extended page to the folders
check "the stored folder is listed" list_is 'D:\ビデオ'
folders=$(dialog_tree | grep ' class=ListBox .*visible=1 ' | head -1)
click "$folders" 30 8  # its first entry
check "a click on it enables 削除" enabled "$(control 削除 Button)"
click "$(control 追加 Button)"
chooser='ビデオファイルのフォルダーを指定します.'
check "追加 opens the folder chooser" wait_until 10 has_window "$chooser"
check "... saying what to choose" window_says "$chooser" 'ビデオファイルのフォルダーを指定してください.'
check "... opened at the listed folder, its path in the status line" \
  wait_until 5 window_says "$chooser" 'D:\ビデオ'
shot chooser
keys "$chooser" Right Down
check "... which follows the selection" wait_until 5 window_says "$chooser" 'D:\ビデオ\夜'
keys "$chooser" Return
check "the chosen folder is added" wait_until 5 list_is 'D:\ビデオ|D:\ビデオ\夜'
click "$folders" 30 8
click "$(control 削除 Button)"
check "削除 removes the selected first entry" list_is 'D:\ビデオ\夜'
# The history file through the save chooser; LogFileButton follows its edit.
click "$(dialog_tree | grep -A1 ' class=Edit .*visible=1 ' | sed -n 2p)"
save_chooser='表示履歴ファイルを指定してください'
check "the glyph button opens the save chooser" wait_until 10 has_window "$save_chooser"
typed "$save_chooser" 'D:\history.log'
keys "$save_chooser" Return
check "... whose file goes into the history field" wait_until 5 edit_is 'D:\history.log'
keys 'タベルーネ設定' ctrl+Tab
before=$(window_named 'タベルーネ設定')
click "$(control 背景色 Static)"
colour_chooser() { tool windows | grep -v "^window=$before " | grep -q " pid="; }
check "the colour panel opens the colour chooser" wait_until 10 colour_chooser
keys "$(tool windows | grep -v "^window=$before " | head -1 | sed 's/.* text=//')" Return
click "$(control 追加 Button)"
check "the extensions' 追加 asks in an input box" wait_until 10 has_window '拡張子の追加'
check "... with its prompt" window_says '拡張子の追加' '拡張子をピリオドを抜いて入力してください.'
shot input
typed '拡張子の追加' ' mp4 '
keys '拡張子の追加' Return
check "... whose answer, trimmed, is listed" wait_until 5 list_is 'avi|mpg|asf|wmv|wvx|mpeg|mov|m2p|vg2|mp4'
click "$(control 保存 Button)"
check "保存 ends the dialog" wait_until 15 dialog_ended
dialog_pid=
check "the chosen folder alone is stored" stored '"0000"="D:\\ビデオ\\夜"'
check "... with the history file and the added extension" stored \
  '"LogFile"="D:\\history.log"' '"0009"="mp4"'
check "... the hand-over saver as it was" stored '"Point Cast"="C:\\windows\\system32\\TAVELUNE.SCR"'
check "... and the colour chosen, a colour of its own now" \
  bash -c "grep -q '^\"BackColor\"=dword:00' '$work/settings.txt'"
check "... and no second folder" bash -c "! grep -q '^\"0001\"=\"D:' '$work/settings.txt'"
wine "$scr" /s 2>/dev/null &
saver_pid=$!
check "the saver then plays the movie of that folder" \
  wait_until 30 history_says 'D:\ビデオ\夜\東京の夜.mp4 Start'
sleep 1
xdotool key q
check "... until a key ends it" wait_until 10 saver_ended
saver_pid=

# --- a wait that is no number; Esc ---
settings_export
cp "$work/settings.txt" "$work/before.txt"
check "a dialog for a wrong wait" open_dialog
keys 'タベルーネ設定' ctrl+shift+Tab  # back from the version page to the options
click "$(control 3 Edit)"
keys 'タベルーネ設定' End BackSpace x Return
check "保存 with a wait of x reports it" \
  wait_until 10 window_says 'タベルーネ' "'x' is not a valid integer value."
shot error
keys 'タベルーネ' Return
check "... and the dialog stays open" bash -c "sleep 1; kill -0 $dialog_pid"
keys 'タベルーネ設定' Escape
check "Esc then ends it" wait_until 15 dialog_ended
dialog_pid=
settings_export
check "... and nothing was written" cmp -s "$work/before.txt" "$work/settings.txt"

# --- a walk over links back up the tree ---
# Two links in one folder, each to the top: walked blindly they would
# double the walk at every level down to the path limit.
mkdir -p "$work/drive_d/loop/x"
ln -s .. "$work/drive_d/loop/x/up"
ln -s .. "$work/drive_d/loop/x/again"
{
  printf 'Windows Registry Editor Version 5.00\n\n'
  printf '[-HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n\n'
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n"0000"="D:\\\\loop"\n'
} | regedit_utf16
list_length() { dialog_tree | sed -n 's/.* class=ListBox .* items=//p' | head -1 | tr '|' '\n' | wc -l; }
check "a dialog for a walk" open_dialog
keys 'タベルーネ設定' ctrl+Tab ctrl+Tab
click "$(control サブフォルダーを探す Button)"
folders=$(dialog_tree | grep ' class=ListBox .*visible=1 ' | head -1)
click "$folders" 30 8
click "$(control 追加 Button)"
check "... from the listed folder" wait_until 10 window_says "$chooser" 'D:\loop'
keys "$chooser" Return
# The top; x; below x, a link entered once (the top again: x and its two
# links, not entered) and the other link, which leads where the walk has been.
walked() { [ "$(list_length)" -eq 7 ] && enabled "$(control 保存 Button)"; }
check "links back up the tree are followed once, and the walk ends" wait_until 20 walked
keys 'タベルーネ設定' Escape
wait_until 15 dialog_ended
dialog_pid=

# --- dragged by a free spot ---
check "a dialog to drag" open_dialog
page=$(dialog_tree | grep ' class=TControlFormPanel .*visible=1 ' | head -1)
x0=$(field x "$page")
spot_x=$((x0 + $(field width "$page") - 20))
spot_y=$(($(field y "$page") + $(field height "$page") - 20))
xdotool mousemove "$spot_x" "$spot_y" mousedown 1 sleep 0.3 mousemove $((spot_x - 30)) $((spot_y - 20)) \
  sleep 0.3 mousemove $((spot_x - 60)) $((spot_y - 40)) sleep 0.3 mouseup 1
sleep 0.5
moved_left() {
  local x
  x=$(field x "$(dialog_tree | grep ' class=TControlFormPanel .*visible=1 ' | head -1)")
  [ "$x" -le $((x0 - 40)) ]
}
check "a drag from the page's free spot moves the dialog" moved_left
keys 'タベルーネ設定' Escape
wait_until 15 dialog_ended
dialog_pid=

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
