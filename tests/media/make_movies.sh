#!/usr/bin/env bash
# Movies for the Windows media layer's tests, which run under Wine and
# cannot call the ffmpeg program themselves: every kind of container the
# saver meets, each with a key frame on every whole second, and ffmpeg's
# own decode of those key frames as BMP files (ref-<movie>-<second>.bmp),
# converted with the matrix a player assumes (BT.601 below 720 lines,
# BT.709 from there up). Made once per folder.
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
# shellcheck disable=SC2046
{
  make mpeg4.avi $(seed 320x240) -c:v mpeg4 -g 25 -q:v 2 -f avi
  make wmv2.wmv $(seed 320x240) -c:v wmv2 -g 25 -q:v 2 -f asf
  make h264.mp4 $(seed 320x240) -c:v libx264 -g 25 -bf 0 -pix_fmt yuv420p -f mp4
  make h264.mov $(seed 320x240) -c:v libx264 -g 25 -bf 0 -pix_fmt yuv420p -f mov
  make hd.mp4 $(seed 1280x720) -c:v libx264 -g 25 -bf 0 -pix_fmt yuv420p \
    -colorspace bt709 -color_primaries bt709 -color_trc bt709 -f mp4
  make mpeg1.mpg $(seed 352x288) -c:v mpeg1video -g 25 -q:v 2 -f mpeg
  # An extension the system's source resolver does not know.
  make mpeg2.m2p $(seed 720x480) -c:v mpeg2video -g 25 -q:v 2 -f vob
  make sound.mp4 -f lavfi -i sine=frequency=440:duration=3 -c:a aac -f mp4
}
for movie in mpeg4.avi wmv2.wmv h264.mp4 h264.mov hd.mp4; do
  matrix=bt601
  [ "$movie" = hd.mp4 ] && matrix=bt709
  for second in 1 2 4; do
    ffmpeg -nostdin -v error -y -ss "$second" -i "$movie" -frames:v 1 \
      -vf "scale=in_color_matrix=$matrix:in_range=tv:flags=neighbor,format=bgr24" \
      "ref-$movie-$second.bmp"
  done
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
