#!/usr/bin/env bash
# Installs what the Windows cross-build, its tests under Wine and its
# screenshots need on Debian 12, and nothing when it is all there. Uses
# apt-get directly as root, sudo otherwise.
set -euo pipefail

packages=(
  cmake ninja-build g++-mingw-w64-x86-64-posix  # the cross-build (MinGW-w64, POSIX threads)
  googletest                                     # GoogleTest's sources, compiled for Windows
  libfmt-dev libcli11-dev nlohmann-json3-dev     # header-only libraries, copied into the build
  wine wine64 fonts-wine                         # running the programs and tests
  xvfb xauth imagemagick                         # a virtual display, and screenshots of it
  librsvg2-bin                                   # scripts/make-windows-images.py
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  apt=(apt-get)
elif command -v sudo >/dev/null; then
  apt=(sudo apt-get)
else
  echo "Please install as root: apt-get install ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${apt[@]}" update -qq
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
