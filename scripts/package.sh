#!/usr/bin/env bash
# Builds the Debian package from debian/ with dpkg-buildpackage:
#   scripts/package.sh [DIR]   (default: build)
# The source tree (without build folders) is copied to DIR/deb/tolvane-<version>, built
# there without tests, and DIR/tolvane_<version>_amd64.deb with its -dbgsym package is
# left in DIR, checked with lintian (--pedantic) and appstreamcli.
# The compiler cache is used when CMAKE_CXX_COMPILER_LAUNCHER names it.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(realpath -m "${1:-build}")
bash scripts/setup.sh --test
version=$(dpkg-parsechangelog -S Version)
upstream=${version%-*}
work=$dir/deb
src=$work/tolvane-$upstream
rm -rf "$src" "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo
mkdir -p "$src"
tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$src"
(cd "$src" && dpkg-buildpackage -us -uc -b)
arch=$(dpkg --print-architecture)
rm -f "$dir"/tolvane_*_"$arch".deb "$dir"/tolvane-dbgsym_*_"$arch".deb
mv "$work"/tolvane_"$version"_"$arch".deb "$work"/tolvane-dbgsym_"$version"_"$arch".deb "$dir"/
appstreamcli validate --no-net resources/packaging/*.metainfo.xml
# Every tag lintian shows fails the script; debian/tolvane.lintian-overrides says why a
# tag that stays is right.
lintian --pedantic -I --fail-on error,warning,info,pedantic "$dir"/tolvane_"$version"_"$arch".deb
echo "$dir/tolvane_${version}_${arch}.deb"
