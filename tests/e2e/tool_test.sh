#!/usr/bin/env bash
# End-to-end checks of tavelune-tool: exact output and exit codes of every
# subcommand on files made here. Usage: tool_test.sh PATH/TO/tavelune-tool
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

check() {  # check NAME EXPECTED-OUTPUT EXPECTED-EXIT -- COMMAND...
  local name=$1 expected=$2 expected_rc=$3
  shift 4
  local out rc
  out=$("$@" 2>"$work/stderr")
  rc=$?
  if [ "$out" == "$expected" ] && [ "$rc" -eq "$expected_rc" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL %s\n  expected (exit %s):\n%s\n  got (exit %s):\n%s\n  stderr: %s\n' \
      "$name" "$expected_rc" "$expected" "$rc" "$out" "$(cat "$work/stderr")"
  fi
}

# A fixed-column recorder entry of 1022 bytes: id, ":" , number, date, time,
# length, note, state flag, title (CP932).
entry() {  # entry ID TITLE-UTF8 STATE LENGTH
  local line
  line=$(printf '%-1022s' "$1:")
  local title
  title=$(printf '%s' "$2" | iconv -f UTF-8 -t CP932)
  line="${line:0:75}007${line:78}"
  line="${line:0:90}20031225123456${line:104}"
  line="${line:0:144}$(printf '%-11s' "$4")${line:155}"
  line="${line:0:188}$(printf '%-256s' 'a note')${line:444}"
  line="${line:0:452}$3${line:453}"
  printf '%s' "${line:0:491}"
  printf '%s' "$title"
  printf '%*s' $((1022 - 491 - ${#title})) ''
}

# Containers
printf 'RIFF\x10\x00\x00\x00AVI LIST' > "$work/dv.avi"
head -c 96 /dev/zero >> "$work/dv.avi"; printf 'DVSD' >> "$work/dv.avi"
check "probe avi" "dvsd" 0 -- "$tool" probe "$work/dv.avi"
{ printf '\x00\x00\x01\xba'; head -c 300 /dev/zero | tr '\0' 'x'; printf '\x00\x00\x01\xb3';
  head -c 72 /dev/zero | tr '\0' 'y'; printf '\x00\x00\x01\xb5'; head -c 40 /dev/zero; } > "$work/two.mpg"
check "probe mpeg-2" "MPG2" 0 -- "$tool" probe "$work/two.mpg"
{ printf '\x00\x00\x01\xba\x00\x00\x01\xb3'; head -c 100 /dev/zero; } > "$work/one.Vob"
check "probe mpeg-1 vob" ".VOB" 0 -- "$tool" probe "$work/one.Vob"
printf 'text' > "$work/noext"
check "probe nothing" "" 0 -- "$tool" probe "$work/noext"
check "probe missing" "" 1 -- "$tool" probe "$work/missing.mpg"

# Byte search
check "find-bytes" "303" 0 -- "$tool" find-bytes "$work/two.mpg" 78000001b3
check "find-bytes none" "-1" 0 -- "$tool" find-bytes "$work/two.mpg" 000001b6
check "find-bytes bad hex" "" 2 -- "$tool" find-bytes "$work/two.mpg" 0g
check "find-bytes odd hex" "" 2 -- "$tool" find-bytes "$work/two.mpg" 000

# Dates and times
check "parse-date" "2003-12-25" 0 -- "$tool" parse-date "12/25/2003"
check "parse-date impossible" "1970-01-01" 0 -- "$tool" parse-date "25/12/2003"
check "parse-time" "12:34:56" 0 -- "$tool" parse-time "123456"
check "parse-time impossible" "00:00:00" 0 -- "$tool" parse-time "25:00"

# Version records
printf '#!/bin/sh\n# Viewer ver 2.1 by Someone\n' > "$work/viewer.sh"
check "version text header" "CompanyName=
FileDescription=
FileVersion=2.1
InternalName=
LegalCopyright=Someone
LeagalTradeMarks=
OriginalFileName=
ProductName=Viewer ver 2.1 
ProductVersion=
Comment=
SCRNSAVE=" 0 -- "$tool" version "$work/viewer.sh"
check "version own" "CompanyName=Norvane" 0 -- bash -c "'$tool' version '$tool' | head -n 1"

# Recorder library
mkdir -p "$work/rec/SGPDB/TapeExt"
{ entry 0012 "　題名　" 0 3600; printf '\r\n0012:memo line\r\n'; } > "$work/rec/0012 side.SDB"
check "lookup side" "source=side
TapeId=0012
Title=題名
LengthValue=3600
EntryTime=2003-12-25 12:34:56
Note=a note
StateFlag=0
EntryTimeCopy=2003-12-25 12:34:56
Memo=memo line
Number=7
verdict=show" 0 -- "$tool" lookup "$work/rec/0012 side.mpg"
{ entry 0034 "Library title" 1 12.5; printf '\r\n'; } > "$work/rec/SGPDB/SGPDBTape.SVD"
check "lookup library skip" "source=library
TapeId=0034
Title=Library title
LengthValue=12.5
EntryTime=2003-12-25 12:34:56
Note=a note
StateFlag=1
EntryTimeCopy=2003-12-25 12:34:56
Memo=
Number=7
verdict=skip" 0 -- "$tool" lookup "$work/rec/0034.mpg"
check "lookup none" "source=none" 0 -- bash -c "'$tool' lookup '$work/rec/9999.mpg' | head -n 1"

# Pictures: a 2 x 1 BMP, left pixel blue-green-red 01 02 03, right 04 05 06.
printf 'BM\x3e\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x01\x00\x18\x00' > "$work/two.bmp"
head -c 24 /dev/zero >> "$work/two.bmp"; printf '\x01\x02\x03\x04\x05\x06\x00\x00' >> "$work/two.bmp"
pixels() { od -An -v -tx1 -j54 "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }
check "resample" "" 0 -- "$tool" resample "$work/two.bmp" 4 1 "$work/wide.bmp"
check "resample pixels" "01 02 03 02 03 04 03 04 05 04 05 06" 0 -- bash -c "od -An -v -tx1 -j54 -N12 '$work/wide.bmp' | tr -s ' \n' ' ' | sed 's/^ //; s/ \$//'"
check "rotate quarter" "" 0 -- "$tool" rotate "$work/two.bmp" 90 0xFFFFFF "$work/quarter.bmp"
# 1 x 2, stored bottom-up: the bottom row holds the left pixel, the top the right.
check "rotate quarter pixels" "01 02 03 00 04 05 06 00" 0 -- bash -c "od -An -v -tx1 -j54 '$work/quarter.bmp' | tr -s ' \n' ' ' | sed 's/^ //; s/ \$//'"
check "turn square" "134" 0 -- bash -c "'$tool' turn '$work/two.bmp' 30 16777215 '$work/turned.bmp' && stat -c %s '$work/turned.bmp'"
head -c 60 "$work/two.bmp" > "$work/cut.bmp"
check "resample truncated" "" 1 -- "$tool" resample "$work/cut.bmp" 4 1 "$work/never.bmp"
check "resample zero size" "" 2 -- "$tool" resample "$work/two.bmp" 0 1 "$work/never.bmp"
check "rotate bad colour" "" 2 -- "$tool" rotate "$work/two.bmp" 10 red "$work/never.bmp"
check "rotate bad angle" "" 2 -- "$tool" rotate "$work/two.bmp" nan 0 "$work/never.bmp"

# Settings, from a settings file in regedit's syntax.
export TAVELUNE_SETTINGS="$work/settings.reg"
# The user's installed savers, for the dialog's saver path list.
export XDG_DATA_HOME="$work/data"
check "settings none" "Draw Posision=1" 0 -- bash -c "'$tool' settings | sed -n 2p"
cat > "$TAVELUNE_SETTINGS" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Norvane\Tavelune]
"LogFile"="play.log"
"Draw Posision"=dword:00000000
"Graphics Size"=dword:00000001
"Screen Clear"=dword:00000001
"Random Sort"=dword:00000000
"Rotate"=dword:00000001
"Capture"=dword:00000001
"DispFileName"=dword:00000000
"BackColor"=dword:8000000f
"Draw Wait"=dword:0000004b
"PreviewRandom"=dword:00000000
"PreViewSeconds"=dword:0000001e
"PreViewMin"=dword:00000002
"PreViewMax"=dword:00000005

[HKEY_CURRENT_USER\Software\Norvane\Tavelune\Folders]
"0000"="/movies"
"0001"="/more movies"

[HKEY_CURRENT_USER\Software\Norvane\Tavelune\Exts]
"0000"="avi"
REG
check "settings" "LogFile=play.log
Draw Posision=0
Graphics Size=1
Screen Clear=1
Point Cast=
Random Sort=0
Rotate=1
Capture=1
DispFileName=0
BackColor=2147483663
Draw Wait=59
PreviewRandom=0
PreViewSeconds=30
PreViewMin=2
PreViewMax=5
Skip Blank=0
Remember Shown=0
Folders=/movies
Folders=/more movies
Exts=avi" 0 -- bash -c "'$tool' settings | grep -v '^history='"
# Whether a run would keep that history, and why not.
check "settings history" "history=kept in $(dirname "$(realpath "$tool")")/play.log" 0 -- \
  bash -c "'$tool' settings | grep '^history='"
for history in /dev/null "$work"; do
  why="a device"
  [ -d "$history" ] && why="a folder"
  check "settings history $history" "history=not kept: $history is $why" 0 -- bash -c "
    sed 's|^\"LogFile\"=.*|\"LogFile\"=\"$history\"|' '$TAVELUNE_SETTINGS' > '$work/history.reg'
    TAVELUNE_SETTINGS='$work/history.reg' '$tool' settings | grep '^history='"
done
check "settings dialog" "Point Cast=0
Draw Wait=75
Exts=avi
complete=yes" 0 -- bash -c "'$tool' settings --dialog | grep -E '^(Point Cast|Draw Wait|complete|Exts)='"
# The same settings exported by regedit 5 (UTF-16 with a byte-order mark).
{
  printf '\xff\xfe'
  sed '1s/.*/Windows Registry Editor Version 5.00/; s/$/\r/' "$TAVELUNE_SETTINGS" |
    iconv -f UTF-8 -t UTF-16LE
} > "$work/regedit5.reg"
check "settings regedit 5" "LogFile=play.log
Draw Wait=59
Folders=/more movies
Exts=avi" 0 -- bash -c "TAVELUNE_SETTINGS='$work/regedit5.reg' '$tool' settings |
  grep -E '^(LogFile=|Draw Wait=|Folders=/more|Exts=)'"
# A writer that holds the lock keeps a reader waiting a second, no longer;
# a reader creates no lock file and no folder.
flock -x "$TAVELUNE_SETTINGS.lock" sleep 30 &
locker=$!
check "settings while a writer holds the lock" "Draw Wait=59" 0 -- \
  bash -c "timeout 5 '$tool' settings | grep '^Draw Wait='"
kill "$locker"
check "settings read creates nothing" "Draw Posision=1 absent" 0 -- bash -c "
  TAVELUNE_SETTINGS='$work/new/settings.reg' '$tool' settings | sed -n 2p | tr '\n' ' '
  [ -e '$work/new' ] || echo absent"
# What is no settings file gives the defaults, and the tool says why in one line.
mkfifo "$work/fifo.reg"
mkdir -p "$work/folder.reg"
for special in "$work/folder.reg" /dev/zero "$work/fifo.reg"; do
  check "settings from $special" "Draw Posision=1 1 not a regular file" 0 -- bash -c "
    TAVELUNE_SETTINGS='$special' timeout 5 '$tool' settings 2>'$work/why' | sed -n 2p | tr '\n' ' '
    printf '%s ' \$(wc -l < '$work/why')
    grep -o 'not a regular file' '$work/why'"
done
# A stored hand-over saver is found among the installed ones (entry 0 is
# "なし"); a folder named like a saver is none.
mkdir -p "$work/data/tavelune/savers/folder.scr"
touch "$work/data/tavelune/savers/Chosen.SCR"
sed -i "s|^\"LogFile\"=.*|&\n\"Point Cast\"=\"$work/data/tavelune/savers/Chosen.SCR\"|" \
  "$TAVELUNE_SETTINGS"
check "settings dialog installed saver" "Point Cast=1" 0 -- \
  bash -c "'$tool' settings --dialog | grep '^Point Cast='"
rm -f "$work/data/tavelune/savers/Chosen.SCR"
check "settings dialog saver gone" "Point Cast=-1" 0 -- \
  bash -c "'$tool' settings --dialog | grep '^Point Cast='"
mkdir -p "$work/m1" "$work/m2"
touch "$work/m1/a.AVI" "$work/m1/b.txt" "$work/m2/c.avi" "$work/m2/d.mpg"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n"0000"="%s"\n"0001"="%s/"\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Exts]\n"0000"="avi"\n' \
  "$work/m1" "$work/m2" > "$TAVELUNE_SETTINGS"
check "scan" "$work/m1/a.AVI
$work/m2/c.avi" 0 -- "$tool" scan
unset TAVELUNE_SETTINGS

# Playback: the segment plan, and movies made here by the ffmpeg program
# (a 60.4 s movie of 320x240 with a key frame every second).
check "plan of ten minutes" "raw=10
count=10
step=600000000
segment=20000000
segment=620000000
segment=1220000000
segment=1820000000
segment=2420000000
segment=3020000000
segment=3620000000
segment=4220000000
segment=4820000000
segment=5420000000" 0 -- "$tool" plan 6000000000 60 10 30 0
check "plan without a length" "raw=1
count=3
step=0
segment=20000000
segment=20000000
segment=20000000" 0 -- "$tool" plan 0 60 3 30 0
check "plan with a bad number" "" 2 -- "$tool" plan 6000000000 sixty 10 30 0
if command -v ffmpeg >/dev/null && "$tool" 2>&1 | grep -q 'stills'; then
  ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 60.4 -c:v libx264 \
    -preset ultrafast -g 25 -keyint_min 25 -sc_threshold 0 -pix_fmt yuv420p "$work/movie.mp4"
  check "length" "604000000" 0 -- "$tool" length "$work/movie.mp4"
  check "grab" "BM 320x240" 0 -- bash -c "'$tool' grab '$work/movie.mp4' 12.5 '$work/g.bmp' &&
    head -c 2 '$work/g.bmp' && file -b '$work/g.bmp' | grep -o ', [0-9]* x [0-9]*' | tr -d ', ' |
    sed 's/^/ /'"
  ffmpeg -nostdin -v error -ss 12 -i "$work/movie.mp4" -frames:v 1 -pix_fmt bgr24 -f rawvideo "$work/ref.raw"
  check "grab is the key frame" "same" 0 -- bash -c "tail -c 230400 '$work/g.bmp' | od -An -v -tu1 -w960 |
    tac | tr -d '\n' > '$work/ours.txt'; od -An -v -tu1 -w960 '$work/ref.raw' | tr -d '\n' > '$work/ref.txt';
    cmp -s '$work/ours.txt' '$work/ref.txt' && echo same || echo different"
  check "grab of a missing movie" "" 1 -- "$tool" grab "$work/missing.mp4" 1 "$work/x.bmp"
  printf 'not a movie' > "$work/notes.avi"
  check "length of a mislabelled file" "" 1 -- "$tool" length "$work/notes.avi"
  check "stills" "Start
Stop
0001.bmp
0010.bmp
10" 0 -- bash -c "'$tool' stills '$work/movie.mp4' '$work/stills' --size 640x480 |
    sed -E 's/.*movie.mp4 //'; ls '$work/stills' | sed -n '1p;\$p'; ls '$work/stills' | wc -l"
  check "stills of a broken movie" "Start
Error
Stop" 0 -- bash -c "'$tool' stills '$work/notes.avi' '$work/broken' | sed -E 's/.*notes.avi //'"
  check "stills with a bad size" "" 2 -- "$tool" stills "$work/movie.mp4" "$work/s2" --size 0x10
fi

# Usage
check "no command" "" 2 -- "$tool"
check "unknown command" "" 2 -- "$tool" frobnicate
check "missing argument" "" 2 -- "$tool" probe

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
