#!/usr/bin/env bash
# Builds the project and runs every test.
#
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
preset=default
for arg in "$@"; do
  case "$arg" in
    --sanitize) preset=sanitize ;;
    *) echo "test.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

"$root/scripts/install-deps.sh"
cd "$root"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)"
