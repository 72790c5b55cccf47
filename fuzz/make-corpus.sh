#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets from fixtures like the tests' own:
# fuzz/make-corpus.sh OUTDIR. Media seeds carry a first byte that picks the extension
# the target gives the file (see FuzzProbeJob.cpp).
set -euo pipefail
out=${1:?usage: make-corpus.sh OUTDIR}
repo=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"/ini_profile "$out"/time_code "$out"/language_file "$out"/probe_job "$out"/player
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Time codes: the canonical form and the lenient reader's odd cases.
i=0
for t in "00:00:00.000" "00:01:02.003" "75" "01:00:00" "00:00:05.5" "1:12:03.004" \
         "100:00:00.000" "" "-00:00:01.000" "99999999:99:99.999" ":::..." " +12: -3:4.5"; do
    printf '%s' "$t" > "$out/time_code/seed$i"; i=$((i + 1))
done

# Profiles and language files: the installed ones, in UTF-8 and UTF-16LE with BOM.
i=0
for f in "$repo"/resources/setting.ini "$repo"/resources/languages/*.ini; do
    [ -f "$f" ] || continue
    cp "$f" "$out/language_file/seed$i"
    { printf 'LANGUAGE\001file\001english.ini\001'; cat "$f"; } > "$out/ini_profile/seed$i"
    i=$((i + 1))
done
printf '\xff\xfe' > "$work/utf16.ini"
printf '[APPLICATION]\r\nname = Tolvane\r\n[TISHI]\r\njqcg="  done  "\r\n' |
    iconv -f UTF-8 -t UTF-16LE >> "$work/utf16.ini"
cp "$work/utf16.ini" "$out/language_file/utf16"
{ printf 'DIR\001open\0011\001'; cat "$work/utf16.ini"; } > "$out/ini_profile/utf16"

# Media: short tones in every format the engine is handed, mislabelled ones, covers.
tone() {  # name seconds rate channels codec-args...
    local name=$1 seconds=$2 rate=$3 channels=$4; shift 4
    local src=(-f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=$seconds")
    [ "$channels" = 2 ] && src+=(-ac 2)
    ffmpeg -nostdin -y -hide_banner -loglevel error "${src[@]}" -map_metadata -1 "$@" "$work/$name"
}
tone a.mp3 0.3 44100 2 -c:a libmp3lame -b:a 64k
tone a.wav 0.2 8000 1 -c:a pcm_s16le
tone a.flac 0.3 22050 2 -c:a flac
tone a.ogg 0.3 22050 1 -c:a libvorbis
tone a.m4a 0.3 22050 1 -c:a aac -b:a 32k
tone a.aac 0.3 22050 1 -c:a aac -b:a 32k -f adts
tone a.mp2 0.3 22050 1 -c:a mp2 -b:a 64k -f mp2
tone a.mka 0.3 22050 1 -c:a libvorbis -f matroska
# A chained Ogg file: two Vorbis streams one after the other, of their own serials.
tone b.ogg 0.2 22050 1 -c:a libvorbis -serial_offset 7
cat "$work/a.ogg" "$work/b.ogg" >"$work/chained.ogg"
ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi -i "sine=duration=0.3" \
    -f lavfi -i "color=c=blue:s=16x16:d=1" -frames:v 1 -map 0:a -map 1:v -c:a libmp3lame \
    -b:a 32k -c:v png -disposition:v attached_pic -id3v2_version 3 "$work/cover.mp3"
# A JPEG cover, a real (tiny) video stream, and a container without a duration.
ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi -i "sine=duration=0.3" \
    -f lavfi -i "color=c=red:s=16x16:d=1" -frames:v 1 -map 0:a -map 1:v -c:a libmp3lame \
    -b:a 32k -c:v mjpeg -pix_fmt yuvj420p -disposition:v attached_pic -id3v2_version 3 \
    "$work/jpeg_cover.mp3"
ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi -i "testsrc=size=16x16:rate=5:duration=0.4" \
    -f lavfi -i "sine=duration=0.4" -c:v mpeg4 -c:a aac -b:a 32k "$work/video.m4a"
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "sine=duration=0.3" -c:a libvorbis \
    -f matroska pipe:1 >"$work/unknown_duration.mka"

# The first byte is the index of the extension in FuzzProbeJob.cpp's table (FuzzPlayer.cpp
# has the same).
# The player's seeds add three control bytes (see FuzzPlayer.cpp): play, a seek to the
# middle, a pause.
seed() {  # index file
    { printf "\\x$(printf '%02x' "$1")"; cat "$2"; } > "$out/probe_job/$(basename "$2")"
    { printf "\\x$(printf '%02x' "$1")\\x01\\xb2\\x41"; cat "$2"; } > "$out/player/$(basename "$2")"
}
seed 0 "$work/a.mp3"; seed 1 "$work/a.wav"; seed 2 "$work/a.flac"; seed 3 "$work/a.ogg"
seed 4 "$work/a.m4a"; seed 5 "$work/a.aac"; seed 6 "$work/a.mp2"; seed 7 "$work/a.mka"
seed 0 "$work/cover.mp3"; seed 0 "$work/jpeg_cover.mp3"; seed 4 "$work/video.m4a"
seed 7 "$work/unknown_duration.mka"
seed 3 "$work/chained.ogg"
cp "$work/a.aac" "$work/aac_as.mp3"; seed 0 "$work/aac_as.mp3"
cp "$work/a.wav" "$work/wav_as.mp3"; seed 8 "$work/wav_as.mp3"
# Mislabelled ".mp3"/".MP3" files holding FLAC and MP2.
cp "$work/a.flac" "$work/flac_as.mp3"; seed 0 "$work/flac_as.mp3"
cp "$work/a.mp2" "$work/mp2_as.mp3"; seed 8 "$work/mp2_as.mp3"
echo "seed corpora in $out"
