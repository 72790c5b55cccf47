#!/usr/bin/env bash
# Builds the Debian package: scripts/package.sh [DIR] (default: build). Leaves
# DIR/tolvane_<version>_amd64.deb and checks it with lintian and appstreamcli.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
bash scripts/setup.sh
bash scripts/build.sh "$dir"
(cd "$dir" && cpack -G DEB)
deb=$(ls "$dir"/tolvane_*_amd64.deb)
appstreamcli validate --no-net resources/packaging/*.metainfo.xml
# Any error lintian finds fails the script (its note about running as root is not one).
lintian --fail-on error "$deb"
echo "$deb"
