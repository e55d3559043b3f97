#!/usr/bin/env bash
# Renders the management window's content into docs/preview.png, and the
# three prompts into docs/prompt-*.png beside it (the pictures in README.md).
# The data comes from a scratch home with two demonstration
# grants and no browser manifests, so the picture never shows the data of the
# person who runs it and looks the same on every machine.
#
#   scripts/render-preview.sh            writes docs/preview.png
#   scripts/render-preview.sh OUT.png    writes OUT.png (and the prompts beside it)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs/preview.png}"
build="$root/build"
bridge="$build/host/tavrin-bridge"

"$root/scripts/install-deps.sh"
(cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default --target tavrin-bridge)

demo="$(mktemp -d)"
trap 'rm -rf "$demo"' EXIT
mkdir -p "$demo/data/cz.tavrin.bridge" "$(dirname "$out")"
cat >"$demo/data/cz.tavrin.bridge/consent.json" <<'JSON'
{
  "origins": {
    "https://podpis.example.cz": {"grantedAtUnix": 1767225600, "purposes": ["sign", "auth"]},
    "https://portal.example.cz": {"grantedAtUnix": 1767861000, "purposes": ["auth"]}
  }
}
JSON

# A fixed time zone: the grants' times are shown in the user's zone (in
# Czech form whatever the locale; C.UTF-8 exists on every machine).
env -i PATH="$PATH" HOME="$demo" XDG_DATA_HOME="$demo/data" XDG_CONFIG_HOME="$demo/config" \
  LANG=C.UTF-8 TZ=Europe/Prague \
  "$bridge" --render-preview "$out"
echo "render-preview: wrote $out"

# The prompts as the dialog tests photograph them on a private X server, each
# run from a scratch home: consent, PIN and signature confirmation, trimmed
# to the window (the server's background is black).
cmake --build "$build" --target xvfb_dialog_tests
ctest --test-dir "$build" --output-on-failure -R \
  'RealDialogTest\.(ConsentAcceptedWithEnterIsRecorded|PinTypedAndSubmittedAndSignatureConfirmed)$' \
  >/dev/null
for name in consent pin sign-confirmation; do
  convert "$build/host/tests/artifacts/$name.png" -trim +repage \
    "$(dirname "$out")/prompt-$name.png"
done
echo "render-preview: wrote the prompts beside it"
