#!/usr/bin/env bash
# Sets up, builds and runs every test (core, simulator, tools and the screens offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
cmake --workflow --preset default
