#!/usr/bin/env bash
# Runs one golden script through the replay tool and compares the trace's hash with the one
# committed in hashes.txt; also checks that every coordinate of the trace is a finite number.
# A line of hashes.txt that names a scene file (relative to GOLDEN_DIR) starts the run from it.
#
#   check.sh SANDBOX_REPLAY GOLDEN_DIR SCRIPT
set -uo pipefail

replay=$1
dir=$2
script=$3
source "$(dirname "$0")/../support/scratch.sh"

read -r frames want scene < <(awk -v s="$script" '$1 == s { print $2, $3, $4 }' "$dir/hashes.txt")
[ -n "${want:-}" ] || { echo "FAIL: $script has no line in hashes.txt"; exit 1; }
args=(--frames "$frames" --input "$dir/$script" --trace "$work/trace.txt")
[ -z "${scene:-}" ] || args+=(--scene "$dir/$scene")

"$replay" "${args[@]}" >/dev/null ||
  { echo "FAIL: the replay of $script failed"; exit 1; }
if grep -qiE 'nan|inf' "$work/trace.txt"; then
  echo "FAIL: $script: the trace holds coordinates that are not finite:"
  grep -iE 'nan|inf' "$work/trace.txt" | head -5
  exit 1
fi
got=$(sha256sum <"$work/trace.txt" | cut -d' ' -f1)
if [ "$got" != "$want" ]; then
  echo "FAIL: $script over $frames frames: trace hash $got, golden $want"
  exit 1
fi
echo "ok: $script${scene:+ in $scene}, $frames frames, $(wc -l <"$work/trace.txt") trace lines"
