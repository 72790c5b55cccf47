#!/usr/bin/env bash
# Makes the 60-minute MP3 (128k, 44.1 kHz stereo, noise shaped like music) the waveform
# benchmarks read, once, under bench/data (git-ignored), and prints its path.
set -euo pipefail
data=$(cd "$(dirname "$0")" && pwd)/data
file=$data/noise-60min.mp3
mkdir -p "$data"
if [ ! -s "$file" ]; then
    echo "making $file ..." >&2
    ffmpeg -v error -y -f lavfi -i "anoisesrc=d=3600:a=0.3:seed=3,lowpass=f=9000" -ac 2 \
        -ar 44100 -c:a libmp3lame -b:a 128k "$file.part.mp3"
    mv "$file.part.mp3" "$file"
fi
echo "$file"
