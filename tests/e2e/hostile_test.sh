#!/usr/bin/env bash
# The saver under hostile conditions, judged by what matters most: input
# always ends the run, within a second. A folder of movies that cannot be
# played (a FIFO, a truncated file, a header without pictures, text named
# .avi, an empty file) with keys pressed at random moments; the error
# notice with keys and mouse moves; a writer holding the settings lock;
# SIGHUP; the null device, a folder, a file that cannot be replaced or
# written and 3 GiB as the history; ten thousand registered folders of which
# only the last exists; and a UI thread that is frozen the way a stalled
# network read freezes it. Also prints how long undecodable movies take to
# pass, the peak memory with the 3 GiB history and the time to the first
# movie with the ten thousand folders.
# Usage: hostile_test.sh PATH/TO/tavelune PATH/TO/tavelune-tool [RUNS [LIMIT-MS]]
# (LIMIT-MS, the time a run may take to end after input, is 1000 but for
# sanitized builds, which end slowly.)
set -u
saver=$1
tool=$2
runs=${3:-20}
limit=${4:-1000}
source "$(dirname "$0")/saver_common.sh"
background=102040

now_ms() { date +%s%3N; }
# ms_to_end COMMAND...: runs COMMAND and prints the milliseconds until the
# saver has gone (9999 when it is still there after 5 s).
ms_to_end() {
  local start
  start=$(now_ms)
  "$@"
  while alive; do
    [ $(($(now_ms) - start)) -gt 5000 ] && { echo 9999; return; }
    sleep 0.02
  done
  echo $(($(now_ms) - start))
}
within() { [ "$1" -le "$2" ]; }  # within MS LIMIT
history_ends() { tr -d '\r' < "$work/history.log" | tail -1 | grep -q '^--- END ---'; }
no_watchdog() { ! grep -q 'not handled for' "$work/saver.err"; }
no_sanitizer_report() { ! grep -q -E '^(WARNING|ERROR): [A-Za-z]+Sanitizer' "$work/saver.err"; }

# --- movies nobody can play, and one that plays ---
mkdir -p "$work/good" "$work/hostile" "$work/undecodable" "$work/notice"
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=320x240:rate=25" -t 20 \
  -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -movflags +faststart "$work/good/good.mp4"
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=320x240:rate=25" -t 20 \
  -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p "$work/moov-last.mp4"
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=320x240:rate=25" -t 20 \
  -c:v mpeg4 -g 25 "$work/whole.avi"
# cut_after_header IN OUT ATOM: IN up to 64 bytes past the start of ATOM.
cut_after() {
  local at
  at=$(grep -obUaP "$3" "$1" | head -1 | cut -d: -f1)
  head -c $((at + 64)) "$1" > "$2"
}
mkfifo "$work/hostile/fifo.mp4"
head -c 4096 "$work/moov-last.mp4" > "$work/hostile/truncated.mp4"
cut_after "$work/good/good.mp4" "$work/hostile/header-only.mp4" mdat
printf 'This is not a movie.\n' > "$work/hostile/text.avi"
: > "$work/hostile/empty.mp4"
printf 'This is not a movie.\n' > "$work/notice/text.avi"
# Movies that open but hold no picture that decodes: a header without its
# pictures, an AVI cut inside its first frames, pictures overwritten with
# noise, a raw stream that claims video but holds none.
cut_after "$work/good/good.mp4" "$work/undecodable/header-only.mp4" mdat
cut_after "$work/whole.avi" "$work/undecodable/header-only.avi" movi
python3 - "$work/good/good.mp4" "$work/undecodable/noise.mp4" <<'EOF'
import random, sys
data = bytearray(open(sys.argv[1], "rb").read())
start = data.find(b"mdat") + 4
random.seed(7)
data[start:] = bytes(random.getrandbits(8) for _ in range(len(data) - start))
open(sys.argv[2], "wb").write(data)
EOF
head -c 300000 /dev/urandom | cat <(printf '\x00\x00\x00\x01\x09\xf0') - > "$work/undecodable/raw.h264"

# --- the tool on a FIFO answers at once ---
fifo=$work/hostile/fifo.mp4
for args in "probe $fifo" "length $fifo" "grab $fifo 2 $work/grab.bmp" "stills $fifo $work/stills"; do
  # shellcheck disable=SC2086 # the work folder's name has no blanks
  timeout 10 "$tool" $args > /dev/null 2> "$work/tool.err"
  code=$?
  check "tavelune-tool ${args%% *} on a FIFO says at once that it cannot read it" \
    bash -c "[ $code -eq 1 ] && grep -q 'cannot read' '$work/tool.err'"
done

# --- undecodable movies pass in seconds, not a minute each ---
total=0
slowest=0
count=0
for movie in "$work"/undecodable/*; do
  start=$(now_ms)
  timeout 120 "$tool" stills "$movie" "$work/stills-$count" > "$work/stills.out" 2>&1
  took=$(($(now_ms) - start))
  total=$((total + took))
  [ $took -gt $slowest ] && slowest=$took
  count=$((count + 1))
  check "an undecodable movie ($(basename "$movie")) passes without an error" \
    bash -c "grep -q ' Stop$' '$work/stills.out' && ! grep -q ' Error$' '$work/stills.out'"
  check "... and without waiting out its seeks ($took ms)" within $took 20000
done
echo "undecodable movies: $count, $((total / count)) ms each on average, $slowest ms at most"

# --- keys at random moments on a folder of hostile movies ---
worst=0
for run in $(seq "$runs"); do
  settings "$work/hostile" 2 1
  if ! start_run; then
    fail "hostile run $run starts"
    continue
  fi
  sleep 0.3  # the window takes the keyboard once it is mapped
  sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.2f", (r % 800) / 100 }')"
  state=$(xdotool search --name 'エラー' >/dev/null 2>&1 && echo notice || echo playing)
  took=$(ms_to_end xdotool key q)
  [ "$took" -gt "$worst" ] && worst=$took
  echo "  hostile run $run: key pressed while $state, the run ended $took ms later"
  check "hostile run $run ($state) ends within $limit ms of the key ($took ms)" within "$took" "$limit"
  [ "$took" -eq 9999 ] && kill -9 "$saver_pid" 2>/dev/null
  check "... with the history's end line" history_ends
  check "... by its own rules, not the watchdog" no_watchdog
  check "... and without a sanitizer's report" no_sanitizer_report
done
echo "keys on hostile movies: $runs runs, the slowest ended $worst ms after its key"

# --- the notice passes keys and mouse moves on ---
settings "$work/notice" 2
check "a run for the notice and the mouse" start_run
check "the notice appears" wait_until 15 bash -c "xdotool search --name 'エラー' >/dev/null"
notice=$(xdotool search --name 'エラー' | head -1)
eval "$(xdotool getwindowgeometry --shell "$notice")"
xdotool mousemove $((X + 20)) $((Y + 20))
sleep 0.3
check "a mouse move over the notice ends the run within $limit ms" \
  within "$(ms_to_end xdotool mousemove $((X + 60)) $((Y + 20)))" "$limit"
check "... written as Mouse Move" history_has ", Mouse Move"

check "a run for the notice and a key" start_run
check "the notice appears again" wait_until 15 bash -c "xdotool search --name 'エラー' >/dev/null"
check "a character key with the notice up ends the run within $limit ms" \
  within "$(ms_to_end xdotool key x)" "$limit"
check "... written as Key Push" history_has ", Key Push"

# --- the settings are only read: no lock file, and a writer's lock waits a second at most ---
settings "$work/good" 2
check "a run that reads the settings" start_run
check "... creates no lock file beside them" test ! -e "$TAVELUNE_SETTINGS.lock"
stop_run
flock -x "$TAVELUNE_SETTINGS.lock" sleep 60 &
locker=$!
check "a run starts while a writer holds the settings lock" start_run
check "... reads the settings as they are (its history is written)" \
  wait_until 10 history_has "good.mp4 Start"
check "... and a key ends it within $limit ms" within "$(ms_to_end xdotool key q)" "$limit"
kill "$locker" 2>/dev/null

# --- SIGHUP ends a run like SIGTERM ---
check "a run for SIGHUP" start_run
check "SIGHUP ends the run" within "$(ms_to_end kill -HUP "$saver_pid")" "$limit"
check "... closing it like input does" history_has "^Close"
check "... with the history's end line" history_ends

# --- a history that cannot be kept never keeps a run from playing ---
settings "$work/good" 2
sed -i 's|^"LogFile"=.*|"LogFile"="/dev/null"|' "$TAVELUNE_SETTINGS"
check "a run whose history is the null device" start_run
check "... shows a still" wait_until 20 pixel_is_not 320 240 "$background"
check "... and a key ends it within $limit ms" within "$(ms_to_end xdotool key q)" "$limit"
settings "$work/good" 2

# --- a history that is a folder: the run plays without one ---
settings "$work/good" 2
mkdir -p "$work/folder-history"
sed -i "s|^\"LogFile\"=.*|\"LogFile\"=\"$work/folder-history\"|" "$TAVELUNE_SETTINGS"
check "a run whose history is a folder" start_run
check "... shows a still" wait_until 20 pixel_is_not 320 240 "$background"
check "... and a key ends it within $limit ms" within "$(ms_to_end xdotool key q)" "$limit"

# --- a history that can only be appended to, or not written at all ---
locked=$work/locked.log
for flag in a i; do
  seq 1500 | sed 's/^/line /; s/$/\r/' > "$locked"
  what="can only be appended to (chattr +a)"
  [ "$flag" = i ] && what="is immutable (chattr +i)"
  if ! chattr "+$flag" "$locked" 2>/dev/null; then
    echo "  (this file system has no chattr +$flag: a history that $what is not tried)"
    continue
  fi
  settings "$work/good" 2
  sed -i "s|^\"LogFile\"=.*|\"LogFile\"=\"$locked\"|" "$TAVELUNE_SETTINGS"
  check "a run whose history of 1500 lines $what" start_run
  check "... shows a still" wait_until 20 pixel_is_not 320 240 "$background"
  check "... and a key ends it within $limit ms" within "$(ms_to_end xdotool key q)" "$limit"
  if [ "$flag" = a ]; then
    check "... with the end line" bash -c "tr -d '\r' < '$locked' | tail -1 | grep -q '^--- END ---'"
  fi
  chattr "-$flag" "$locked"
done
rm -f "$locked"

# --- a history of 3 GiB: cut in bounded memory, input during the cut ---
big=$work/big.log
big_history() {  # big_history LINES: a hole of 3 GiB, then LINES lines
  rm -f "$big"
  truncate -s 3G "$big"
  seq "$1" | sed 's/^/line /; s/$/\r/' >> "$big"
}
settings "$work/good" 2
sed -i "s|^\"LogFile\"=.*|\"LogFile\"=\"$big\"|" "$TAVELUNE_SETTINGS"
big_history 1500
check "a run whose history is 3 GiB" start_run
check "... shows a still" wait_until 20 pixel_is_not 320 240 "$background"
peak_kib=$(awk '/^VmHWM/ { print $2 }' "/proc/$saver_pid/status")
echo "  3 GiB history: the saver's peak memory was $((peak_kib / 1024)) MiB"
check "... without reading it whole ($((peak_kib / 1024)) MiB at most)" test "$peak_kib" -lt $((1024 * 1024))
check "... and a key ends it within $limit ms" within "$(ms_to_end xdotool key q)" "$limit"
check "... its history cut to the last lines, and ended" bash -c "
  [ \$(stat -c %s '$big') -lt 100000 ] && tr -d '\r' < '$big' | head -1 | grep -qx 'line 503' &&
  tr -d '\r' < '$big' | tail -1 | grep -q '^--- END ---'"
big_history 0 # no line end in 3 GiB: the cut reads all of it, backwards
check "a run whose history is 3 GiB without a line end" start_run
check "... ends on a key during the cut within $limit ms" within "$(ms_to_end xdotool key q)" "$limit"
check "... with the end line" bash -c "tr -d '\r' < '$big' | tail -1 | grep -q '^--- END ---'"
rm -f "$big"
settings "$work/good" 2

# --- ten thousand registered folders, the one that exists last ---
python3 - "$TAVELUNE_SETTINGS" "$work" <<'EOF'
import sys
path, work = sys.argv[1], sys.argv[2]
key = '[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n'
head, rest = open(path).read().split(key)
folders = ''.join('"%04d"="%s/missing/%05d"\n' % (i, work, i) for i in range(9999))
folders += '"9999"="%s/good"\n' % work
open(path, 'w').write(head + key + folders + '\n' + rest.split('\n\n', 1)[1])
EOF
started=$(now_ms)
check "a run with ten thousand folders, all missing but the last" start_run
check "... plays the last one's movie" wait_until 30 history_has 'good.mp4 Start'
echo "  ten thousand folders: the first movie started $(($(now_ms) - started)) ms after the start"
check "... and a key ends it within $limit ms" within "$(ms_to_end xdotool key q)" "$limit"
settings "$work/good" 2

# --- a frozen UI thread: the watchdog ends the run ---
check "a run whose UI thread will freeze" start_run
check "... shows a still" wait_until 20 pixel_is_not 320 240 "$background"
/usr/bin/python3 "$(dirname "$0")/freeze_thread.py" "$saver_pid" 20 > "$work/freeze.out" 2>&1 &
freezer=$!
check "the UI thread is frozen" wait_until 5 grep -qs frozen "$work/freeze.out"
sleep 1.5
check "... and nothing ends a run whose user does nothing" alive
took=$(ms_to_end xdotool key q)
echo "  frozen UI thread: the run ended $took ms after the key"
check "a key ends the frozen run within $limit ms ($took ms)" within "$took" "$limit"
check "... saying why on standard error" grep -q 'not handled for 600 ms' "$work/saver.err"
check "... and writing Close and the end line" \
  bash -c "tr -d '\r' < '$work/history.log' | tail -2 | tr '\n' ' ' | grep -q '^Close --- END ---'"
kill "$freezer" 2>/dev/null
saver_pid=

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
