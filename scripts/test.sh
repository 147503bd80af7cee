#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test. Usage: scripts/test.sh [release|asan]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-release}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$flavour"
cd "$root/build/$flavour"
ctest --output-on-failure -j "$(nproc)" --timeout 300
