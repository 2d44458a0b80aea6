#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs. As root it runs apt-get; otherwise it
# prints the exact apt-get line and stops, so nothing happens behind the user's back.
#   scripts/setup.sh          everything (console, screens, tests)
#   scripts/setup.sh --core   without Qt (core, simulator, tools and their tests)
#   scripts/setup.sh --checks without Qt, with what the sanitizer build, the fuzz targets
#                             (clang, libFuzzer) and the formatting check need
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev)
case "${1:-}" in
  --core) ;;
  --checks) packages+=(clang libclang-rt-14-dev clang-format) ;;
  *) packages+=(qt6-base-dev libgl-dev) ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Missing packages. Install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
