#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the Linux build's
# (and its Debian package, scripts/test-deb.sh),
# then the Windows build's under Wine (scripts/test-windows.sh), which also
# checks the Windows programs' files on the Linux side and the installer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh --tests
scripts/build.sh
status=0
ctest --test-dir build --output-on-failure --parallel "$(nproc)" || status=1
scripts/test-deb.sh || status=1
scripts/test-windows.sh || status=1
exit "$status"
