#!/usr/bin/env bash
# Builds the project and runs every test.
#
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
for arg in "$@"; do
  case "$arg" in
    --sanitize)
      build="$root/build-asan"
      options=(-DCMAKE_BUILD_TYPE=Debug -DTAVRIN_SANITIZE=ON)
      export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
      export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
      ;;
    *) echo "test.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
