#!/usr/bin/env bash
# Sets up and builds the project, then starts the sandbox. With no display to open a window on,
# it says so and runs the headless replay instead, naming the picture it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target sandbox sandbox-replay
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # The headless run takes what a replay can do: the scene and the trace.
  replay=()
  while [ $# -gt 0 ]; do
    case $1 in
      -h|--help) exec build/app/sandbox --help ;;
      --scene|--trace)
        [ $# -ge 2 ] || { echo "run.sh: $1 needs a value" >&2; exit 2; }
        replay+=("$1" "$2"); shift ;;
      --scene=*|--trace=*) replay+=("${1%%=*}" "${1#*=}") ;;
      *) echo "run.sh: '$1' needs a display; without one only --scene and --trace are taken" >&2
         exit 2 ;;
    esac
    shift
  done
  echo "No display (DISPLAY and WAYLAND_DISPLAY are empty): running 120 frames headless instead."
  mkdir -p out
  build/tools/sandbox-replay --frames 120 ${replay[@]+"${replay[@]}"} --png out/sandbox.png
  echo "Wrote $PWD/out/sandbox.png, the sandbox's 120th frame."
  exit 0
fi
exec build/app/sandbox "$@"
