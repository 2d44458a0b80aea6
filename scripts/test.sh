#!/usr/bin/env bash
# Sets up, builds and runs every test. The core, the simulator and the tools are first built
# and tested on their own, without Qt, which proves they stay free of it; then everything,
# the screens included (offscreen), is built and tested.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --workflow --preset core
export QT_QPA_PLATFORM=offscreen
cmake --workflow --preset default
