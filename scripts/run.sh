#!/usr/bin/env bash
# Installs what is missing, builds, and runs the update on each calendar
# database given: scripts/run.sh DATABASE.mdb...  (until the window lands,
# the batch command is the program).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/build.sh
exec build/bin/tessaly-update-cli "$@"
