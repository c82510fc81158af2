#!/usr/bin/env bash
# The Windows saver's media under Wine, against the Linux build's: the
# Windows tool's still of each kind of movie (make_movies.sh's list, HDR and
# a name in Japanese among them) equals the Linux tool's still of the same
# frame within 2 levels, and both tell the same length; the saver ends by a
# key within a second, with exit status 0 and its history's lines, on
# hostile movies (cut at 4 KiB, a header alone, a broken index, text named
# .mp4) at 0.5, 1, 2 and 5 s after the movie's Start, and in 20 runs ended
# while segments follow each other.
# Usage: win_media_test.sh TAVELUNE.SCR tavelune-tool.exe LINUX-tavelune-tool MOVIES-FOLDER
set -u
scr=$1
win_tool=$2
linux_tool=$3
movies=$4
work=$(mktemp -d)
saver_pid=
trap win_cleanup EXIT
details() {
  [ -f "$work/history.log" ] && tr -d '\r' < "$work/history.log" | tail -12 | sed 's/^/  history: /'
  [ -f "$work/tool.err" ] && sed 's/^/  tool: /' "$work/tool.err"
}
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/win_common.sh"
# Names reach Wine's programs through the command line in the locale's
# encoding: UTF-8, whatever the caller's locale.
export LC_ALL=C.UTF-8
alive() { kill -0 "$saver_pid" 2>/dev/null; }
history() { tr -d '\r' < "$work/history.log" 2>/dev/null; }
now_ms() { date +%s%3N; }

[ -x "$linux_tool" ] || { echo "FAIL no Linux tool at $linux_tool (build the linux preset)"; exit 1; }
bash "$(dirname "$0")/../media/make_movies.sh" "$movies" || { echo "FAIL making the movies"; exit 1; }
win_start_display 640 480

# --- the same still on both systems ---
# max_difference A.bmp B.bmp: the largest difference of one channel of one
# pixel, or 999 when the pictures differ in size or one is missing.
max_difference() {
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import sys
from PIL import Image, ImageChops
try:
    a, b = (Image.open(name).convert("RGB") for name in sys.argv[1:3])
except OSError:
    print(999)
    sys.exit()
print(999 if a.size != b.size else max(hi for _, hi in ImageChops.difference(a, b).getextrema()))
EOF
}
same_still() {  # same_still MOVIE SECONDS
  local linux=$work/linux.bmp windows=$work/windows.bmp difference
  rm -f "$linux" "$windows"
  "$linux_tool" grab "$movies/$1" "$2" "$linux" 2>"$work/tool.err" &&
    wine "$win_tool" grab "$(winpath "$movies/$1")" "$2" "$(winpath "$windows")" 2>>"$work/tool.err" |
    tr -d '\r' >/dev/null || return 1
  difference=$(max_difference "$linux" "$windows")
  [ "$difference" -le 2 ] || { echo "  $1 at $2 s: $difference levels apart"; return 1; }
}
same_length() {  # same_length MOVIE: equal within a frame (40 ms = 400 000 units)
  local linux windows
  linux=$("$linux_tool" length "$movies/$1" 2>"$work/tool.err")
  windows=$(wine "$win_tool" length "$(winpath "$movies/$1")" 2>>"$work/tool.err" | tr -d '\r')
  [ -n "$linux" ] && [ -n "$windows" ] &&
    [ $((linux > windows ? linux - windows : windows - linux)) -le 400000 ] ||
    { echo "  $1: Linux $linux, Windows $windows"; return 1; }
}
while read -r movie; do
  check "$movie: the Windows tool tells the Linux tool's length" same_length "$movie"
  # A key frame after a seek into the movie (the media test checks the
  # others against ffmpeg's own decode).
  check "$movie: the still at 4 s is the Linux tool's within 2 levels" same_still "$movie" 4
done < "$movies/movies.txt"

# --- hostile movies: the key ends the run at once, whenever it comes ---
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 20 -c:v libx264 \
  -preset ultrafast -g 25 -pix_fmt yuv420p "$work/moov-last.mp4"
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 20 -c:v libx264 \
  -preset ultrafast -g 25 -pix_fmt yuv420p -movflags +faststart "$work/moov-first.mp4"
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 20 -c:v mpeg4 -g 25 \
  "$work/whole.avi"
mkdir -p "$work/hostile"
hostile() {  # hostile NAME: a folder holding only that hostile movie
  rm -rf "$work/hostile"/*
  case "$1" in
    cut.mp4) head -c 4096 "$work/moov-last.mp4" > "$work/hostile/$1" ;;
    cut.avi) head -c 4096 "$work/whole.avi" > "$work/hostile/$1" ;;
    header-only.mp4)  # the header and 64 bytes of the pictures
      at=$(grep -obUaP mdat "$work/moov-first.mp4" | head -1 | cut -d: -f1)
      head -c $((at + 64)) "$work/moov-first.mp4" > "$work/hostile/$1" ;;
    broken-index.mp4)  # the chunk offsets and sample sizes overwritten
      /usr/bin/python3 - "$work/moov-first.mp4" "$work/hostile/$1" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
for atom in (b"stco", b"stsz"):
    at = data.find(atom) + 12
    data[at:at + 400] = bytes((i * 37 + 11) % 256 for i in range(400))
open(sys.argv[2], "wb").write(data)
EOF
      ;;
    text.mp4) printf 'This is not a movie.\n' > "$work/hostile/$1" ;;
  esac
}
# run_ended_by_key DELAY-SECONDS: a run of the hostile folder, a key DELAY
# after the movie's Start; prints the milliseconds from the key to the end
# and the exit status ("ms status"), or fails when no Start came.
run_ended_by_key() {
  rm -f "$work/history.log"
  wine "$scr" /s 2>/dev/null &
  saver_pid=$!
  wait_until 30 bash -c "tr -d '\r' < '$work/history.log' 2>/dev/null | grep -q ' Start$'" ||
    { kill "$saver_pid"; saver_pid=; return 1; }
  sleep "$1"
  local start status
  start=$(now_ms)
  xdotool key q
  while alive && [ $(($(now_ms) - start)) -lt 10000 ]; do sleep 0.01; done
  echo "$(($(now_ms) - start))"
  wait "$saver_pid"
  status=$?
  saver_pid=
  echo "$status"
}
# A run's history ends as a run ended by a key does: the movie's Start (and
# Error, when it gave one), the key, one Close, the movie's Stop and the end
# line; or, when the key came between two movies, the Stop before the key.
ends_as_a_key_ends_it() {
  local lines
  lines=$(history | grep -E ' (Start|Error|Stop)$|, Key Push$|^Close$|^--- END ---' |
    sed -E 's/.*(Start|Error|Stop|Push|Close|END).*/\1/' | tr '\n' ' ')
  [ "$(history | grep -c '^Close$')" -eq 1 ] &&
    grep -qE '(Start (Error )?Push Close Stop|Stop Push Close) END $' <<<"$lines" ||
    { echo "  history: $lines"; return 1; }
}
for name in cut.mp4 cut.avi header-only.mp4 broken-index.mp4 text.mp4; do
  hostile "$name"
  win_settings "$work/hostile" 2 "$work/history.log" "mp4 avi"
  for delay in 0.5 1 2 5; do
    result=$(run_ended_by_key "$delay" | tr '\n' ' ')
    read -r ms status <<<"$result"
    check "$name, a key $delay s after its Start: a run that starts" test -n "${status:-}"
    check "... ends within a second (${ms:-?} ms)" test "${ms:-99999}" -le 1000
    check "... with exit status 0 (${status:-?})" test "${status:-1}" -eq 0
    check "... and the lines of a run a key ended" ends_as_a_key_ends_it
  done
done

# --- 20 runs ended by a key while segments follow each other ---
mkdir -p "$work/movie"
cp "$work/moov-first.mp4" "$work/movie/segments.mp4"
win_settings "$work/movie" 0 "$work/history.log"
slow=0
for run in $(seq 20); do
  result=$(run_ended_by_key "0.$((run * 37 % 10))" | tr '\n' ' ')
  read -r ms status <<<"$result"
  check "segments run $run: exit status 0 (${status:-?})" test "${status:-1}" -eq 0
  check "segments run $run: Key Push, one Close, the movie's Stop, the end line" \
    ends_as_a_key_ends_it
  [ "${ms:-99999}" -le 1000 ] || slow=$((slow + 1))
done
check "all 20 ended within a second ($slow did not)" test "$slow" -eq 0

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
