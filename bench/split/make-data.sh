#!/usr/bin/env bash
# Makes the split benchmarks' source once and prints its path: a 60-minute MP3 (128k,
# 44.1 kHz stereo) of noise shaped like music, with 2.5 s of silence at the end of every
# 3 minutes, under bench/data/split (git-ignored). Run from the project's root.
set -euo pipefail
data=bench/data/split
file=$data/silences-60min.mp3
mkdir -p "$data"
if [ ! -s "$file" ]; then
    echo "making $file ..." >&2
    ffmpeg -v error -y -f lavfi -i "anoisesrc=d=3600:a=0.3:seed=3,lowpass=f=9000" \
        -af "volume='lt(mod(t,180),177.5)':eval=frame" -ac 2 -ar 44100 -c:a libmp3lame \
        -b:a 128k "$file.part.mp3"
    mv "$file.part.mp3" "$file"
fi
echo "$file"
