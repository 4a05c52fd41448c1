#!/usr/bin/env bash
# Installs what is missing, builds Vornix with its game data and starts it at the title screen
# (Race, then Start Race, rides on Rabbit Hill). Extra arguments go to the game, for example
# --race or --time-trial to start riding at once.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DVORNIX_TESTS=OFF -DVORNIX_BENCH=OFF
export QZ_HOME="$PWD/build/data"
exec build/vornix "$@"
