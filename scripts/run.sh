#!/usr/bin/env bash
# The main job: installs, builds and runs the agent on the demo courier database.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release
echo "run: the CSTessaly program is not assembled yet; the build and its libraries are ready."
