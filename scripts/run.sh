#!/usr/bin/env bash
# Sets up and builds the project, then starts the sandbox when it is part of the build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
if [ -x build/app/sandbox ]; then
  exec build/app/sandbox
fi
echo "Built the physics library (build/physics). The sandbox program is not part of this build yet."
