#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need. Safe to run again:
# it only asks apt for what is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config binutils
    libgtest-dev libgmock-dev
    nlohmann-json3-dev
    qt6-base-dev libgl-dev
    fonts-crosextra-carlito fontconfig
)
if [ "${1:-}" = "--tests" ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
