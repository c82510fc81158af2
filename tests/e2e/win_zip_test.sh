#!/usr/bin/env bash
# The Windows download as a user meets it: the zip holds the saver and the
# tool, stripped, a read-me in Japanese and English that Notepad shows as
# such, and the licences; the saver unpacked from it runs under Wine, shows
# a still of a movie and ends on a key with the history's end lines, and the
# unpacked tool tells the movie's length.
# Usage: win_zip_test.sh PATH/TO/tavelune-VERSION-windows-x64.zip
set -u
zip=$1
work=$(mktemp -d)
saver_pid=
trap win_cleanup EXIT
details() {
  [ -f "$work/history.log" ] && tr -d '\r' < "$work/history.log" | sed 's/^/  history: /'
  [ -f "$work/saver.err" ] && sed 's/^/  stderr: /' "$work/saver.err"
}
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/win_common.sh"

# --- what the zip holds ---
check "the zip is whole" unzip -tq "$zip"
check "... and holds the saver, the tool, the read-me and the licences, nothing else" \
  test "$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' ')" = \
  "LICENSE.txt README.txt TAVELUNE.SCR tavelune-tool.exe "
unzip -q "$zip" -d "$work/unpacked"
readme="$work/unpacked/README.txt"
check "the read-me is UTF-8 with a byte-order mark" \
  test "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf
check "... with Windows line ends on every line" \
  test "$(grep -c $'\r$' "$readme")" -eq "$(wc -l < "$readme")"
check "... says how to install it, in Japanese and in English" \
  bash -c "grep -q '「インストール」' '$readme' && grep -q '\"Install\"' '$readme'"
check "... names the settings' registry key" \
  grep -q 'HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune' "$readme"
check "... and how to remove it" bash -c "grep -q '■ 削除' '$readme' && grep -q '^\* Remove' '$readme'"
licence="$work/unpacked/LICENSE.txt"
check "the licences: Tavelune's MIT licence" grep -q '^MIT License' "$licence"
check "... FFmpeg's LGPL 2.1 with the Debian source package it was built from" bash -c "
  grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' '$licence' &&
    grep -q 'apt-get source ffmpeg=[0-9]:5\.1\.' '$licence'"
check "... and dav1d's BSD licence with its source package" bash -c "
  grep -q 'Redistribution and use in source and binary forms' '$licence' &&
    grep -q '\"dav1d\", version 1\.' '$licence'"
check "... with Windows line ends" test "$(grep -c $'\r$' "$licence")" -eq "$(wc -l < "$licence")"
# No debug information is shipped: a stripped program has no .debug_ sections.
for program in TAVELUNE.SCR tavelune-tool.exe; do
  check "$program is stripped" bash -c "! x86_64-w64-mingw32-objdump -h '$work/unpacked/$program' |
    grep -q '\.debug_'"
done
check "TAVELUNE.SCR, stripped, is at most 12 MB" \
  test "$(stat -c %s "$work/unpacked/TAVELUNE.SCR")" -le 12000000

# --- the unpacked saver runs ---
win_start_display 640 480
mkdir -p "$work/movies"
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 20 -c:v libx264 -g 25 \
  -pix_fmt yuv420p "$work/movies/pattern.mp4"
# The settings block is read in order up to its first missing value, so
# every value up to the history's file is written.
{
  printf 'Windows Registry Editor Version 5.00\n\n'
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n'
  printf '"Draw Posision"=dword:00000000\n"Graphics Size"=dword:00000000\n'
  printf '"Screen Clear"=dword:00000000\n"Point Cast"=""\n"Random Sort"=dword:00000000\n'
  printf '"Rotate"=dword:00000000\n"Capture"=dword:00000000\n"DispFileName"=dword:00000000\n'
  printf '"BackColor"=dword:00402010\n"Draw Wait"=dword:00000002\n"LogFile"="%s"\n\n' \
    "$(reg_text "$work/history.log")"
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n"0000"="%s"\n\n' \
    "$(reg_text "$work/movies")"
  printf '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Exts]\n"0000"="mp4"\n'
} | regedit_utf16
pixel() {
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -1
}
history_has() { tr -d '\r' < "$work/history.log" 2>/dev/null | grep -q -- "$1"; }
shows_a_still() { [ -n "$(pixel 320 240)" ] && [ "$(pixel 320 240)" != '#102040' ]; }
ended() { ! kill -0 "$saver_pid" 2>/dev/null; }
(cd "$work/unpacked" && exec wine TAVELUNE.SCR /s) 2>"$work/saver.err" &
saver_pid=$!
check "the unpacked TAVELUNE.SCR /s covers the screen with the back colour" \
  wait_until 30 bash -c "[ \"\$(import -window root -crop 1x1+5+5 -depth 8 txt:- 2>/dev/null |
    grep -o '#[0-9A-F]\{6\}' | head -1)\" == '#102040' ]"
check "... and shows a still of the movie" wait_until 20 shows_a_still
check "... as the history says" history_has 'pattern.mp4 Start'
xdotool key q
check "a key ends it" wait_until 5 ended
check "... with Close and the end line" bash -c "tr -d '\r' < '$work/history.log' |
  grep -E '^Close$|^--- END ---' | tr '\n' ' ' | grep -q '^Close --- END ---'"
saver_pid=
length=$(cd "$work/unpacked" && wine tavelune-tool.exe length "$(winpath "$work/movies/pattern.mp4")" |
  tr -d '\r')
check "the unpacked tool tells the movie's length, 20 s in 100 ns units ($length)" \
  test "$((${length:-0} / 1000000))" -eq 200

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
