#!/usr/bin/env bash
# Builds and stages the demonstration (build/default/demo), then runs the console when a
# display is there, or else the guided tour, which drives the real windows offscreen and
# saves a picture of every screen.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if [ -f scripts/setup.sh ]; then
    bash scripts/setup.sh
fi
if [ ! -f build/default/CMakeCache.txt ]; then
    cmake --preset default
fi
cmake --build build/default --target demo

demo="$root/build/default/demo"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting the console in $demo; press \"Start QELP\" to start the simulated dispenser."
    exec "$demo/qelpserver"
fi
echo "No display: running the guided tour instead."
exec "$demo/qelp-tour"
