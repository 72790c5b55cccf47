#!/usr/bin/env bash
# Installs the Debian packages the project needs:
#   scripts/setup.sh          what building and running the two programs need
#   scripts/setup.sh --test   that, and what the tests, the sanitizer and fuzzing builds
#                             and the Debian package build need
# Safe to run again: only missing packages are installed. apt waits for another apt
# (a fresh machine's unattended upgrades) to finish instead of failing.
set -euo pipefail

# Building and running tolvane and tolvane-cli.
run_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libfontconfig-dev
    libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
    libsdl2-dev libcurl4-openssl-dev
    xdg-utils xdg-user-dirs
)

# Tests, tools and packaging; one package per line is easy to extend.
test_packages=(
    git
    libgtest-dev googletest
    ffmpeg
    xvfb xauth xdotool
    fonts-noto-cjk
    imagemagick
    clang libclang-rt-14-dev
    python3 procps util-linux
    time bsdutils
    mpg123 flac vorbis-tools opus-tools
    mp3splt  # split benchmark (bench/split/split-vs.sh)
    # The players cuts are checked with: GStreamer as desktop players use it, sox
    # (libmad for MP3), lame for MP3 fixtures with CRCs.
    gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav
    sox libsox-fmt-mp3 lame python3-numpy
    desktop-file-utils
    # A session bus for the window's start-up bench, as a desktop has one.
    dbus-daemon
    dpkg-dev fakeroot debhelper lintian appstream man-db gzip
)

packages=("${run_packages[@]}")
case "${1:-}" in
    --test) packages+=("${test_packages[@]}") ;;
    "") ;;
    *) echo "usage: setup.sh [--test]" >&2; exit 2 ;;
esac

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
lock_wait=(-o DPkg::Lock::Timeout=600)
$SUDO apt-get "${lock_wait[@]}" update
$SUDO apt-get "${lock_wait[@]}" install -y --no-install-recommends "${missing[@]}"
