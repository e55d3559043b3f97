#!/usr/bin/env bash
# Builds the project and runs its main job: registers tavrin-bridge with the
# browsers of this user (their native-messaging manifests), then starts it as
# a browser would and asks it for its status over native messaging.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target tavrin-bridge
bridge="$root/build/host/tavrin-bridge"

echo "== registering with the browsers"
"$bridge" install-native-messaging-host

echo "== status through the native-messaging host"
request='{"id":"quickstart","method":"status","params":{}}'
# One frame: the 4-byte little-endian length, then the request.
printf "$(printf '\\%03o' "${#request}")\\000\\000\\000%s" "$request" |
  "$bridge" chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/ | tail -c +5
echo
