#!/usr/bin/env bash
# Installs the Debian packages Vornix needs to build, run and test, when any is missing.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
    libode-dev libsdl2-dev libgl-dev libgl1-mesa-dri libpng-dev zlib1g-dev nettle-dev
    libimgui-dev libfreetype-dev fonts-dejavu-core
    libgtest-dev libbenchmark-dev xvfb xauth xdg-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
