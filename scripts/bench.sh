#!/usr/bin/env bash
# Builds the physics benchmarks (RelWithDebInfo) and prints a table of medians with the machine's
# name and CPU.
#
#   scripts/bench.sh [--baseline SRC] [benchmark options...]
#
# --baseline SRC also compiles the same benchmark file against the library sources of another
# checkout SRC (an older commit: its runtime, physics, host front end and app/scene.cpp), with
# the same compiler flags, runs both here one after the other and prints the ratios side by side.
# Extra options go to both benchmark binaries (e.g. --benchmark_filter=step/).
set -euo pipefail
cd "$(dirname "$0")/.."

baseline=
if [ "${1:-}" = --baseline ]; then
  baseline=$(cd "$2" && pwd)
  shift 2
fi
jobs=$(nproc 2>/dev/null || echo 2)
out=build-bench
mkdir -p "$out"

cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANDBOX_TESTS=OFF >/dev/null
cmake --build "$out" -j "$jobs" --target physics_bench >/dev/null

run_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@")
"$out/bench/physics_bench" "${run_args[@]}" --benchmark_format=json \
  --benchmark_out="$out/current.json" --benchmark_out_format=json >/dev/null

files=("$out/current.json")
if [ -n "$baseline" ]; then
  # The flags of a RelWithDebInfo build of this project.
  flags=(-std=c++20 -O2 -g -DNDEBUG -Wall -Wextra -Wpedantic -ffp-contract=off -fno-fast-math)
  objdir="$out/baseline"
  mkdir -p "$objdir"
  sources=("$baseline"/runtime/*.cpp "$baseline"/physics/*.cpp "$baseline/app/scene.cpp")
  for f in graphics hook event system input clock console; do
    [ -f "$baseline/host/$f.cpp" ] && sources+=("$baseline/host/$f.cpp")
  done
  objects=()
  commands=()
  for src in "${sources[@]}"; do
    obj="$objdir/$(echo "${src#"$baseline"/}" | tr / _).o"
    objects+=("$obj")
    commands+=("c++ ${flags[*]} -I$baseline -c $src -o $obj")
  done
  printf '%s\n' "${commands[@]}" | xargs -P "$jobs" -I{} sh -c '{}'
  c++ "${flags[@]}" -DPHYSICS_BENCH_BASELINE -I"$baseline" -c bench/physics_bench.cpp \
    -o "$objdir/physics_bench.o"
  c++ -o "$objdir/physics_bench" "$objdir/physics_bench.o" "${objects[@]}" -lbenchmark -lpthread
  "$objdir/physics_bench" "${run_args[@]}" --benchmark_format=json \
    --benchmark_out="$out/baseline.json" --benchmark_out_format=json >/dev/null
  files+=("$out/baseline.json")
fi

python3 scripts/bench_table.py "${files[@]}"
