#!/usr/bin/env bash
# Builds the project and runs its main job: registers tavrin-bridge with the
# browsers of this user (their native-messaging manifests), then starts it as
# a browser would and asks it for its status over native messaging. Where a
# display exists, it also asks for a listing on behalf of a web origin that
# holds no grant, which brings up the consent dialog. Last it opens the
# management window, or without a display renders its content into
# build/preview.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
(cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default --target tavrin-bridge)
bridge="$root/build/host/tavrin-bridge"
extension=chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/

# One native-messaging frame: the 4-byte little-endian length, then the request.
frame() {
  local n=${#1}
  printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $((n & 255)) $((n >> 8 & 255)) \
    $((n >> 16 & 255)) $((n >> 24 & 255)))"
  printf '%s' "$1"
}

echo "== registering with the browsers"
"$bridge" install-native-messaging-host

echo "== status through the native-messaging host"
frame '{"id":"quickstart","method":"status","params":{}}' | "$bridge" "$extension" | tail -c +5
echo

echo "== a listing for an origin without a grant (the consent dialog)"
if [ -n "${DISPLAY:-}" ]; then
  # A scratch consent store, so that the dialog appears on every run and the
  # user's own grants stay as they are.
  scratch="$(mktemp -d)"
  trap 'rm -rf "$scratch"' EXIT
  echo "answer the dialog on display $DISPLAY"
  # Input that ends means that the page has gone, and the host then cancels
  # its prompt: keep the input open until the reply is there.
  {
    frame '{"id":"quickstart-list","method":"listCertificates","params":{"origin":"https://quickstart.tavrin.invalid","purpose":"any"}}'
    until [ -s "$scratch/reply" ]; do sleep 0.2; done
  } | XDG_DATA_HOME="$scratch" "$bridge" "$extension" >"$scratch/reply"
  tail -c +5 "$scratch/reply"
  echo
  if [ -f "$scratch/cz.tavrin.bridge/consent.json" ]; then
    echo "grant recorded in the consent file:"
    cat "$scratch/cz.tavrin.bridge/consent.json"
    echo
  else
    echo "no grant recorded"
  fi
else
  echo "skipped: no display (DISPLAY is not set)"
fi

echo "== the management window"
if [ -n "${DISPLAY:-}" ]; then
  echo "showing the management window on display $DISPLAY; close it to finish"
  "$bridge"
else
  "$bridge" --render-preview "$root/build/preview.png"
  echo "no display: rendered the window's content into build/preview.png instead"
fi
