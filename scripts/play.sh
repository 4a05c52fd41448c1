#!/usr/bin/env bash
# Installs what is missing, builds Vornix with its game data and starts it on the default track.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DVORNIX_TESTS=OFF -DVORNIX_BENCH=OFF
export QZ_HOME="$PWD/build/data"
exec build/vornix --track rabbithill "$@"
