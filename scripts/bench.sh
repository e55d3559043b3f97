#!/usr/bin/env bash
# Builds the benchmarks (Release), makes their fixtures in a scratch folder,
# runs every driver and prints one markdown table: each measurement's median
# with its p10–p90 spread, its floor from the same run, and the ratio.
#
#   scripts/bench.sh            the full run (a few minutes)
#   BENCH_RUNS=40 BENCH_REPETITIONS=5 scripts/bench.sh    a quicker, noisier one
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-bench"
"$root/scripts/install-deps.sh" --bench
(cd "$root" && cmake --preset bench >/dev/null && cmake --build --preset bench -j "$(nproc)")

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
echo "bench: making fixtures in $scratch" >&2
"$root/bench/make_bench_homes.sh" "$scratch/homes"
homes="$scratch/homes"
bin="$build/bench"
host="$build/host/tavrin-bridge"
out="$scratch/results"
mkdir -p "$out"
gb=(--benchmark_out_format=json)
# Each driver's own output goes to a log, shown only when it fails.
quietly() {
  local log="$out/$1.log"
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; echo "bench: $1 failed" >&2; exit 1; }
}

echo "bench: process timing" >&2
quietly process "$bin/bench_process" "$out/process.json" "$host" "$bin/bench_echo_host" "$homes/status" \
  "$homes/list-1" "$homes/list-10" "$homes/list-100"
echo "bench: sendNativeMessage in headless Chromium" >&2
quietly chromium "$bin/bench_chromium" "$out/chromium.json" "$host" "$bin/bench_echo_host"
echo "bench: memory" >&2
quietly memory "$bin/bench_memory" "$out/memory.json" "$host" "$bin/bench_echo_host" "$homes/status"
for n in 1 10 100; do
  echo "bench: NSS listing, $n identities" >&2
  HOME="$homes/list-$n" quietly "nss-list-$n" \
    "$bin/bench_nss" list "$n" "${gb[@]}" --benchmark_out="$out/nss-list-$n.json"
done
echo "bench: NSS signing" >&2
HOME="$homes/sign" quietly nss-sign \
  "$bin/bench_nss" sign "${gb[@]}" --benchmark_out="$out/nss-sign.json"
echo "bench: PKCS#11 over SoftHSM2" >&2
SOFTHSM2_CONF="$homes/tokens/softhsm2.conf" HOME="$homes/status" quietly p11 \
  "$bin/bench_pkcs11" /usr/lib/softhsm/libsofthsm2.so "${gb[@]}" --benchmark_out="$out/p11.json"
echo "bench: a token through NSS" >&2
SOFTHSM2_CONF="$homes/tokens/softhsm2.conf" HOME="$homes/token" quietly token \
  "$bin/bench_token" /usr/lib/softhsm/libsofthsm2.so "${gb[@]}" --benchmark_out="$out/token.json"

if [ -x "$bin/bench_card" ]; then
  echo "bench: a card through OpenSC and pcscd" >&2
  quietly card "$bin/bench_card" "$out/card.json" "$host" "$bin/bench_card_walk"
fi

echo
"$bin/bench_table" "$out"/process.json "$out"/chromium.json "$out"/memory.json "$out"/nss-list-*.json \
  "$out"/nss-sign.json "$out"/p11.json "$out"/token.json $(ls "$out"/card.json 2>/dev/null)
