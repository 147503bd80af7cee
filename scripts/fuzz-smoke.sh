#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and runs each a few seconds
# over its seed corpus. Usage: scripts/fuzz-smoke.sh [seconds-per-target]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in "$root"/build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$work/$name"
  mkdir -p "$corpus"
  if [ -d "$root/fuzz/corpus/$name" ]; then cp -r "$root/fuzz/corpus/$name/." "$corpus/"; fi
  echo "fuzz: $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 \
        -artifact_prefix="$work/" "$corpus" >"$work/$name.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -50 "$work/$name.log"; status=1
  fi
done
exit $status
