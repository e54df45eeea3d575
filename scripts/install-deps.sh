#!/usr/bin/env bash
# Installs the Debian 12 packages fanbench builds and tests with, if any are missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  googletest libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  clang libclang-rt-14-dev
  fonts-ipafont-gothic
  xvfb x11-apps imagemagick
)

# "windows" adds the cross compilers and wine (32-bit wine needs the i386 architecture).
if [ "${1:-}" = windows ]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    [ "$(id -u)" -eq 0 ] && dpkg --add-architecture i386 || sudo dpkg --add-architecture i386
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
