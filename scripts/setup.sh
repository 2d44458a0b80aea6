#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs. As root it runs apt-get; otherwise it
# prints the exact apt-get line and stops, so nothing happens behind the user's back.
#   scripts/setup.sh          everything (console, screens, tests)
#   scripts/setup.sh --core   without Qt (core, simulator, tools and their tests)
#   scripts/setup.sh --checks without Qt, with what the sanitizer build, the fuzz targets
#                             (clang, libFuzzer) and the formatting check need
#   scripts/setup.sh --package everything, with what building and checking the Debian
#                             package needs (scripts/check-package.sh)
#   scripts/setup.sh --windows the mingw-w64 cross compiler, GoogleTest's sources and Wine,
#                             for the windows preset (Windows executables, tests under Wine)
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev libsqlite3-dev locales)
case "${1:-}" in
  --core) ;;
  --checks) packages+=(clang libclang-rt-14-dev clang-format) ;;
  --package) packages+=(qt6-base-dev libgl-dev dpkg-dev file lintian desktop-file-utils appstream) ;;
  --windows) packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64) ;;
  *) packages+=(qt6-base-dev libgl-dev) ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} > 0)); then
  if [[ $(id -u) -eq 0 ]]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
fi

# A comma locale, for the test of the host's own number-format lookup (skipped without it).
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  if [[ $(id -u) -eq 0 ]]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 ||
      echo "Note: could not generate de_DE.UTF-8; the comma-locale test is skipped." >&2
  else
    echo "Note: de_DE.UTF-8 is not generated; the comma-locale test is skipped. Generate it" \
      "with: sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8" >&2
  fi
fi
