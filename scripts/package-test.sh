#!/usr/bin/env bash
# Builds the Debian package from a configured build tree, installs it on this
# machine, checks that the installed program works as a user gets it, and
# removes the package again (also when a check fails).
#
#   scripts/package-test.sh [BUILD_DIR]     default: build/
#
# Checks: the package's files are in place; `tavrin-bridge
# install-native-messaging-host` writes a Chrome manifest that names
# /usr/bin/tavrin-bridge; a status frame over a pipe gets its reply; a prompt
# without a display is refused for want of a display, which shows that the
# installed executable found its user-interface module.
set -euo pipefail
export LC_ALL=C
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
package=tavrin-bridge
chrome_origin="chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

fail() {
  echo "package-test: $*" >&2
  exit 1
}

# One native-messaging frame: the payload's length as 4 little-endian bytes,
# then the payload (ASCII).
frame() {
  local n=${#1}
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((n & 255)) $((n >> 8 & 255)) \
    $((n >> 16 & 255)) $((n >> 24 & 255)))"
  printf '%s' "$1"
}

work="$(mktemp -d)"
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$package" >/dev/null ||
      echo "package-test: could not remove $package" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== package"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >cpack.log) ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$(ls "$work"/${package}_*.deb 2>/dev/null | head -n 1)"
[ -n "$deb" ] || fail "cpack made no ${package}_*.deb in $work"
dpkg-deb --info "$deb" | sed -n 's/^ *\(Package\|Version\|Depends\):/  &/p'

echo "== install $(basename "$deb")"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
  fail "$package is installed already; remove it first so that this test owns the installation"
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get install failed"; }
installed=1

exe=/usr/bin/tavrin-bridge
files="$(dpkg -L "$package")"
for wanted in "$exe" libtavrin_bridge_core.so.0 libtavrin_bridge_ui.so \
  /usr/share/applications/cz.tavrin.bridge.desktop \
  /usr/share/icons/hicolor/scalable/apps/cz.tavrin.bridge.svg; do
  grep -q -- "$wanted\$" <<<"$files" || fail "the package holds no $wanted"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate /usr/share/applications/cz.tavrin.bridge.desktop ||
    fail "the desktop entry does not validate"
fi

# A user with nothing configured: only HOME is set.
home="$work/home"
mkdir -p "$home"
run_as_user() {
  env -i PATH=/usr/bin:/bin HOME="$home" "$@"
}

echo "== install-native-messaging-host"
run_as_user "$exe" install-native-messaging-host >"$work/install.out" 2>&1 ||
  { cat "$work/install.out" >&2; fail "install-native-messaging-host failed"; }
manifest="$home/.config/google-chrome/NativeMessagingHosts/cz.tavrin.bridge.json"
[ -f "$manifest" ] || fail "no Chrome manifest at $manifest"
grep -q "\"path\": *\"$exe\"" "$manifest" || fail "the Chrome manifest does not name $exe: $(cat "$manifest")"

echo "== status over native messaging"
{
  frame '{"id":"s","method":"status"}'
  frame '{"id":"c","method":"listCertificates","params":{"origin":"https://new.example","purpose":"sign"}}'
} | run_as_user "$exe" "$chrome_origin" >"$work/reply" 2>"$work/stderr" || status=$?
if [ "${status:-0}" -ne 0 ]; then
  cat "$work/stderr" >&2
  fail "the host ended with status $status"
fi
replies="$(tr -c '[:print:]' '\n' <"$work/reply")"
grep -q '{"id":"s","result":{"version":"0.1.0","protocolVersion":"1.0","platform":"linux"' \
  <<<"$replies" || fail "no status reply; the host wrote: $replies"
grep -q '{"id":"c","error":{"code":"consent_denied"' <<<"$replies" ||
  fail "no refusal of the consent request; the host wrote: $replies"
grep -q "consent prompt could not be shown (no display" "$work/stderr" ||
  fail "the installed host did not reach its user-interface module: $(cat "$work/stderr")"
echo "package-test: the installed package works"
