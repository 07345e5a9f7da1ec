#!/usr/bin/env bash
# Installs what is missing, builds the program folder and starts Schauplatz.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake --preset release >/dev/null
cmake --build --preset release --target Schauplatz
exec build/release/program/Schauplatz "$@"
