#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   scripts/build.sh [release|asan|fuzz]   (default release)
# The build folder is build/<flavour>.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-release}
dir="$root/build/$flavour"
args=(-G Ninja -S "$root" -B "$dir")
case "$flavour" in
  release) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    args+=(-DCMAKE_BUILD_TYPE=Debug -DQORVU_SANITIZE=ON) ;;
  fuzz)    args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORVU_FUZZ=ON
                  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14) ;;
  *) echo "unknown flavour $flavour" >&2; exit 2 ;;
esac
cmake "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
