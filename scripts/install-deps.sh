#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing; with the
# argument "web", also those of the browser build (the compiler to WebAssembly, GoogleTest's
# sources for it, node and npm, and Chromium for the page's end-to-end test).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0 libpng-dev
  nlohmann-json3-dev libimgui-dev
  xvfb xauth xdotool x11-utils imagemagick
  clang libclang-rt-14-dev clang-format
)
if [ "${1:-}" = web ]; then
  packages+=(emscripten googletest chromium)
  # A node and npm from elsewhere (a newer release) serve as well as Debian's.
  command -v node >/dev/null || packages+=(nodejs)
  command -v npm >/dev/null || packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
