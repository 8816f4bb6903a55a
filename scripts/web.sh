#!/usr/bin/env bash
# Sets up, builds the sandbox for web browsers (WebAssembly + WebGL 2) into build-web/, and serves
# the page on this machine, printing its address: open it in a browser. Also built: replay.js
# (the replay tool under node) and physics_test.js (the physics tests under node).
#
#   scripts/web.sh [--build-only] [--port N]
set -euo pipefail
cd "$(dirname "$0")/.."

build_only=0
port=8800
while [ $# -gt 0 ]; do
  case $1 in
    --build-only) build_only=1 ;;
    --port) port=${2:?--port needs a number}; shift ;;
    -h|--help) sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "web.sh: unknown option '$1' (--help for usage)" >&2; exit 2 ;;
  esac
  shift
done

scripts/install-deps.sh web
# Emscripten's JavaScript tools find Debian's node modules (acorn) there.
export NODE_PATH=/usr/share/nodejs
jobs=$(nproc 2>/dev/null || echo 2)
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-web -j "$jobs"

bytes=$(cat build-web/index.html build-web/sandbox.js build-web/sandbox.wasm | wc -c)
echo "The page: build-web/index.html, sandbox.js, sandbox.wasm ($bytes bytes uncompressed)"
[ "$build_only" -eq 1 ] && exit 0
exec node web/serve.mjs build-web "$port"
