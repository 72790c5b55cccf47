#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tolvane. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
if [ -x build/bin/tolvane ]; then
    exec build/bin/tolvane "$@"
fi
exec build/bin/tolvane-cli "$@"
