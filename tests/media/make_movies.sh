#!/usr/bin/env bash
# Movies for the media layer's contract tests, made before they run (under
# Wine they cannot call the ffmpeg program themselves), and for the Windows
# media end-to-end test: every kind of container and codec the saver meets,
# each with a key frame on every whole second, and ffmpeg's own decode of
# the 8-bit ones' key frames as BMP files (ref-<movie>-<second>.bmp),
# converted with the matrix a player assumes (BT.601 below 720 lines,
# BT.709 from there up); then broken files. The playable movies are listed,
# one a line, in movies.txt. Made once per folder.
# Usage: make_movies.sh FOLDER
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
[ -f done ] && exit 0
make() {  # make NAME ARGUMENTS...
  local name=$1
  shift
  ffmpeg -nostdin -v error -y "$@" "part-$name" && mv "part-$name" "$name"
}
seed() { echo "-f lavfi -i testsrc2=size=$1:rate=25 -t 6"; }
# HDR as a master of the same scene would be: BT.2020, 10 bits, SDR white
# at 203 cd/m2, with the transfer PQ (smpte2084) or HLG (arib-std-b67).
hdr() {
  echo "-vf zscale=tin=bt709:pin=bt709:min=bt709:rin=limited:t=$1:p=bt2020:m=bt2020nc:r=limited:npl=203,format=yuv420p10le" \
    "-colorspace bt2020nc -color_primaries bt2020 -color_trc $1"
}
x265="-c:v libx265 -x265-params keyint=25:min-keyint=25:scenecut=0:bframes=0:log-level=error"
# shellcheck disable=SC2046,SC2086
{
  make mpeg4.avi $(seed 320x240) -c:v mpeg4 -g 25 -q:v 2 -f avi
  make wmv2.wmv $(seed 320x240) -c:v wmv2 -g 25 -q:v 2 -f asf
  make h264.mp4 $(seed 320x240) -c:v libx264 -g 25 -bf 0 -pix_fmt yuv420p -f mp4
  make h264.mov $(seed 320x240) -c:v libx264 -g 25 -bf 0 -pix_fmt yuv420p -f mov
  make hd.mp4 $(seed 1280x720) -c:v libx264 -g 25 -bf 0 -pix_fmt yuv420p \
    -colorspace bt709 -color_primaries bt709 -color_trc bt709 -f mp4
  make mpeg1.mpg $(seed 352x288) -c:v mpeg1video -g 25 -q:v 2 -f mpeg
  # An extension no system resolver knows.
  make mpeg2.m2p $(seed 720x480) -c:v mpeg2video -g 25 -q:v 2 -f vob
  make vp9.webm $(seed 320x240) -c:v libvpx-vp9 -g 25 -deadline realtime -cpu-used 8 \
    -pix_fmt yuv420p -f webm
  make av1.mkv $(seed 320x240) -c:v libaom-av1 -g 25 -cpu-used 8 -row-mt 1 -usage realtime \
    -pix_fmt yuv420p -f matroska
  make rv20.rm $(seed 320x240) -c:v rv20 -g 25 -q:v 2 -f rm
  make sorenson.flv $(seed 320x240) -c:v flv -g 25 -q:v 2 -f flv
  make mjpeg.avi $(seed 320x240) -c:v mjpeg -q:v 2 -pix_fmt yuvj420p -f avi
  make hevc-pq.mkv $(seed 320x240) $x265 $(hdr smpte2084) -f matroska
  make hevc-hlg.mp4 $(seed 320x240) $x265 $(hdr arib-std-b67) -tag:v hvc1 -f mp4
  make 日本語の名前.mp4 $(seed 320x240) -c:v libx264 -g 25 -bf 0 -pix_fmt yuv420p -f mp4
  make sound.mp4 -f lavfi -i sine=frequency=440:duration=3 -c:a aac -f mp4
}
printf '%s\n' h264.mp4 hd.mp4 h264.mov mpeg4.avi wmv2.wmv mpeg1.mpg mpeg2.m2p vp9.webm \
  av1.mkv rv20.rm sorenson.flv mjpeg.avi hevc-pq.mkv hevc-hlg.mp4 日本語の名前.mp4 > movies.txt
for movie in mpeg4.avi h264.mp4 h264.mov hd.mp4 vp9.webm av1.mkv rv20.rm sorenson.flv; do
  matrix=bt601
  [ "$movie" = hd.mp4 ] && matrix=bt709
  for second in 1 2 4; do
    ffmpeg -nostdin -v error -y -ss "$second" -i "$movie" -frames:v 1 \
      -vf "scale=in_color_matrix=$matrix:in_range=tv:flags=neighbor,format=bgr24" \
      "ref-$movie-$second.bmp"
  done
done
# The HDR movies' key frame at 2 s as a player without tone mapping shows it.
for movie in hevc-pq.mkv hevc-hlg.mp4; do
  ffmpeg -nostdin -v error -y -ss 2 -i "$movie" -frames:v 1 -vf "scale=flags=neighbor,format=bgr24" \
    "ref-$movie-2-as-sdr.bmp"
done
printf 'These are not the movies you are looking for.\n' > text.avi
: > empty.mp4
head -c 20000 h264.mp4 > truncated.mp4
# Every 97th byte flipped after the headers.
python3 - <<'PY'
data = bytearray(open("mpeg4.avi", "rb").read())
for i in range(4096, len(data), 97):
    data[i] ^= 0xFF
open("flipped.avi", "wb").write(data)
PY
touch done
