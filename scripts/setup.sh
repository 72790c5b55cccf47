#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
    libsdl2-dev libcurl4-openssl-dev
    libgtest-dev googletest
    ffmpeg xvfb xauth xdotool fonts-noto-cjk imagemagick
    clang libclang-rt-14-dev
    python3 procps util-linux
    time bsdutils mpg123 flac vorbis-tools opus-tools desktop-file-utils
    dpkg-dev fakeroot lintian appstream man-db gzip
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
