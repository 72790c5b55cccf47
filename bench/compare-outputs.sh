#!/usr/bin/env bash
# Cuts and joins a table of generated files with two builds of tolvane-cli and compares
# every output byte for byte, so a change to the engine's inside can show it writes
# exactly what it wrote before.
#
#   bench/compare-outputs.sh OLD_CLI NEW_CLI [WORK_DIR]
#
# Prints one line per job and a summary; exits 1 on any difference (or a job that one
# build finished and the other did not), 2 on bad arguments.
set -uo pipefail

if [[ $# -lt 2 || ! -x $1 || ! -x $2 ]]; then
    echo "usage: $0 OLD_CLI NEW_CLI [WORK_DIR]" >&2
    exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
work=${3:-$(mktemp -d /tmp/tolvane-compare.XXXXXX)}
mkdir -p "$work/src"

# Sources: 12 s of stereo sound with some movement in it, so encoders do real work.
tone="aevalsrc=0.4*sin(2*PI*(300+40*t)*t)|0.3*sin(2*PI*(520-25*t)*t)+0.05*random(0):s=44100:d=12"
make() {  # make NAME ffmpeg-output-options...
    local name=$1
    shift
    [[ -s $work/src/$name ]] && return 0
    ffmpeg -nostdin -v error -y -f lavfi -i "$tone" "$@" "$work/src/$name" ||
        { echo "could not make $name" >&2; exit 2; }
}
make cbr.mp3 -c:a libmp3lame -b:a 128k
make vbr.mp3 -c:a libmp3lame -q:a 4
make s16.flac -c:a flac -sample_fmt s16
make s24.flac -c:a flac -sample_fmt s32 -bits_per_raw_sample 24 -ar 48000
make pcm.wav -c:a pcm_s16le
make pcm.aiff -c:a pcm_s16be
make aac.m4a -c:a aac -b:a 128k
make opus.opus -c:a libopus -b:a 96k
make vorbis.ogg -c:a libvorbis -q:a 4
make wma.wma -c:a wmav2 -b:a 128k
make layer2.mp2 -c:a mp2 -b:a 192k
make ac3.ac3 -c:a ac3 -b:a 192k
make mislabelled.mp3 -c:a aac -b:a 128k -f adts  # AAC named .mp3

# Ranges: from the start, the middle, a short stretch, near the end, to the end.
ranges=(
    "start:--end 00:00:04.000"
    "middle:--start 00:00:04.321 --end 00:00:07.654"
    "short:--start 00:00:05.000 --end 00:00:05.040"
    "near-end:--start 00:00:11.500 --end 00:00:11.950"
    "to-end:--start 00:00:08.250"
)
joins=(
    "mp3+wav:cbr.mp3 pcm.wav"
    "flac+m4a+ogg:s16.flac aac.m4a vorbis.ogg"
    "mono48k:vbr.mp3 s24.flac opus.opus:--bitrate 96k --rate 48000 --channels 1"
)

different=0
compared=0
# Runs one job with both builds, each on its own copy of the sources (a mislabelled cut
# renames its source for the time of the job) and into its own folder, then compares.
run_case() {  # run_case LABEL COMMAND ARGS...
    local label=$1
    shift
    local build status=() outs=()
    for build in old new; do
        local dir=$work/out/$build/$label
        rm -rf "$dir" "$work/in/$build/$label"
        mkdir -p "$dir" "$work/in/$build/$label"
        cp -l "$work"/src/* "$work/in/$build/$label/"  # links: a rename here leaves src alone
        local cli=$old
        [[ $build == new ]] && cli=$new
        (cd "$work/in/$build/$label" && "$cli" "$@" --out "$dir" >/dev/null 2>&1)
        status+=("$?")
        outs+=("$(cd "$dir" && ls)")
    done
    local verdict=same detail=""
    if [[ ${status[0]} != "${status[1]}" || ${outs[0]} != "${outs[1]}" ]]; then
        verdict=DIFFERENT
        detail="exit ${status[0]}/${status[1]}, files '${outs[0]}'/'${outs[1]}'"
    elif [[ -z ${outs[0]} ]]; then
        detail="no output (exit ${status[0]})"
    else
        local f
        while IFS= read -r f; do
            if ! cmp -s "$work/out/old/$label/$f" "$work/out/new/$label/$f"; then
                verdict=DIFFERENT
                detail+="$f differs; "
            else
                detail+="$f $(stat -c %s "$work/out/new/$label/$f") B; "
            fi
        done <<<"${outs[0]}"
    fi
    compared=$((compared + 1))
    [[ $verdict == same ]] || different=$((different + 1))
    printf '%-28s %-9s exit %-3s %s\n' "$label" "$verdict" "${status[1]}" "$detail"
}

printf '%-28s %-9s %-8s %s\n' "job" "result" "status" "outputs"
for src in cbr.mp3 vbr.mp3 s16.flac s24.flac pcm.wav pcm.aiff aac.m4a opus.opus vorbis.ogg \
    wma.wma layer2.mp2 ac3.ac3 mislabelled.mp3; do
    for range in "${ranges[@]}"; do
        # shellcheck disable=SC2086  # the range's options are split on purpose
        run_case "cut ${src} ${range%%:*}" cut "$src" ${range#*:}
    done
done
for job in "${joins[@]}"; do
    label=${job%%:*}
    rest=${job#*:}
    files=${rest%%:*}
    options=""
    [[ $rest == *:* ]] && options=${rest#*:}
    # shellcheck disable=SC2086
    run_case "join ${label}" join $files $options
done

echo "$compared jobs compared, $different different (work folder: $work)"
[[ $different -eq 0 ]]
