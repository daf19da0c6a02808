#!/usr/bin/env bash
# Installs what is missing on Debian 12, and nothing when it is all there.
# Uses apt-get directly as root, sudo otherwise.
#   scripts/bootstrap.sh           what the Linux build and its run need
#                                  (scripts/run.sh)
#   scripts/bootstrap.sh --tests   that and what the tests need: test
#                                  libraries and oracles, fuzzing, the Windows
#                                  cross-build, Wine, the installer
#                                  (scripts/test.sh, .ci/run)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config   # compiler and build
  ccache                                          # compiler cache (scripts/compiler-cache.sh)
  libfmt-dev libcli11-dev nlohmann-json3-dev      # libraries the program links
  qt6-base-dev qt6-svg-dev                        # the window (tessaly-update)
)
if [ "${1:-}" = "--tests" ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev      # tests and benchmarks
    xvfb xauth fonts-dejavu-core                    # window tests and screenshots on a virtual display
    mdbtools                                        # independent reader, test oracle only
    openjdk-17-jre-headless libcommons-lang3-java libcommons-logging-java  # index checker (../shared/oracle/jetcheck), tests only
    openjdk-17-jdk-headless                         # tests' Java helpers over the checker's library
    clang libclang-rt-14-dev                        # libFuzzer with ASan/UBSan
    clang-format                                    # the code's layout (scripts/format.sh)
    g++-mingw-w64-x86-64-posix googletest nsis      # the Windows cross-build, its tests, its installer
    wine wine64 fonts-wine                          # running the Windows programs, tests and installer (64-bit only)
    imagemagick librsvg2-bin                        # Windows screenshots; the window's images
  )
elif [ $# -gt 0 ]; then
  echo "usage: $0 [--tests]" >&2
  exit 2
fi

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
