#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while, starting
# from the committed seeds (copied, so the committed corpus stays as it is).
#
#   scripts/fuzz.sh [seconds per target] [target ...]
# Targets: request dispatcher consent_file certificate p1363 frames (default: all).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(request dispatcher consent_file certificate p1363 frames)

"$root/scripts/install-deps.sh" --fuzz
build="$root/build-fuzz"
(cd "$root" && cmake --preset fuzz >/dev/null &&
  cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}")

for t in "${targets[@]}"; do
  # The core's targets and the host's frames target live in different folders.
  area=core
  [ -d "$root/core/fuzz/corpus/$t" ] || area=host
  work="$build/corpus-$t"
  mkdir -p "$work" "$build/findings-$t"
  cp -n "$root/$area/fuzz/corpus/$t/"* "$work/" 2>/dev/null || true
  echo "== fuzz_$t for ${seconds}s"
  "$build/$area/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -artifact_prefix="$build/findings-$t/" -print_final_stats=1 "$work" 2>&1 |
    grep -E '^(#[0-9]+ *DONE|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)' || true
done
