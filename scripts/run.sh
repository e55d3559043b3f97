#!/usr/bin/env bash
# Builds the project and runs its main job: a demonstration of the core
# answering requests through its C interface.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target tavrin-bridge-demo
exec "$root/build/core/examples/tavrin-bridge-demo"
