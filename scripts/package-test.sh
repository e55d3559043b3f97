#!/usr/bin/env bash
# Builds the Debian package from a configured build tree, checks it with
# lintian, installs it on this machine, checks that the installed program
# works as a user gets it, and removes the package again (also when a check
# fails).
#
#   scripts/package-test.sh [BUILD_DIR]     default: build/ (configured with the
#                                           /usr prefix, the project's default)
#
# Checks: every ELF file in the package is hardened (scripts/check-hardening.sh
# reads the files); lintian finds no error and no hardening tag; the package's
# files are in place, the man page renders and the AppStream metainfo
# validates; the system-wide manifests are exactly what the program's own
# installer writes for /usr/bin/tavrin-bridge;
# Chromium and Firefox ESR, in a home with no manifest of its own, reach the
# installed host through them (the real-browser status test of the build
# tree); a status frame over a pipe gets its reply; a prompt without a display
# is refused for want of a display, which shows that the installed executable
# found its user-interface module; removing the package removes the
# system-wide manifests.
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

grep -qx 'CMAKE_INSTALL_PREFIX:PATH=/usr' "$build/CMakeCache.txt" ||
  fail "$build is not configured with the /usr prefix (cmake -DCMAKE_INSTALL_PREFIX=/usr)"

echo "== package"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >cpack.log) ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$(ls "$work"/${package}_*.deb 2>/dev/null | head -n 1)"
[ -n "$deb" ] || fail "cpack made no ${package}_*.deb in $work"
dpkg-deb --info "$deb" | sed -n 's/^ *\(Package\|Version\|Depends\):/  &/p'

echo "== hardening of the packaged binaries"
# Every ELF file the package ships, read from the package itself (stripped as
# it is installed): one line per file.
dpkg-deb -x "$deb" "$work/contents"
binaries=()
while IFS= read -r -d '' candidate; do
  [ "$(head -c 4 "$candidate" | od -An -c | tr -d ' ')" = '177ELF' ] && binaries+=("$candidate")
done < <(find "$work/contents" -type f -print0 | sort -z)
[ ${#binaries[@]} -ge 4 ] || fail "the package holds ${#binaries[@]} ELF files, expected at least 4"
"$root/scripts/check-hardening.sh" "${binaries[@]}" || fail "a packaged binary lacks hardening (above)"

echo "== lintian"
# Errors and any hardening tag fail the test; warnings and informational tags
# are printed (the README lists those kept).
lintian --fail-on error --display-info --tag-display-limit 0 "$deb" | tee "$work/lintian.log" ||
  fail "lintian reports errors on $(basename "$deb")"
if grep -q ': hardening-' "$work/lintian.log"; then
  fail "lintian finds binaries built without hardening: $(grep ': hardening-' "$work/lintian.log")"
fi

echo "== install $(basename "$deb")"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
  fail "$package is installed already; remove it first so that this test owns the installation"
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get install failed"; }
installed=1

exe=/usr/bin/tavrin-bridge
pkglib="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/tavrin-bridge"
system_manifests=(/etc/chromium/native-messaging-hosts /etc/opt/chrome/native-messaging-hosts
  /etc/opt/edge/native-messaging-hosts /usr/lib/mozilla/native-messaging-hosts)
files="$(dpkg -L "$package")"
for wanted in "$exe" "$pkglib/libtavrin_bridge_core.so.0" "$pkglib/libtavrin_bridge_ui.so" \
  "$pkglib/libtavrin_bridge_store.so" \
  /usr/share/applications/cz.tavrin.bridge.desktop /usr/share/metainfo/cz.tavrin.bridge.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/cz.tavrin.bridge.svg \
  /usr/share/icons/hicolor/48x48/apps/cz.tavrin.bridge.png /usr/share/man/man1/tavrin-bridge.1.gz \
  /usr/share/doc/tavrin-bridge/copyright /usr/share/doc/tavrin-bridge/changelog.gz; do
  grep -qx -- "$wanted" <<<"$files" || fail "the package holds no $wanted"
done
for folder in "${system_manifests[@]}"; do
  [ -f "$folder/cz.tavrin.bridge.json" ] || fail "no system-wide manifest in $folder"
done
desktop-file-validate /usr/share/applications/cz.tavrin.bridge.desktop ||
  fail "the desktop entry does not validate"
appstreamcli validate --no-net /usr/share/metainfo/cz.tavrin.bridge.metainfo.xml ||
  fail "the AppStream metainfo does not validate"
man_warnings="$(man -l --warnings /usr/share/man/man1/tavrin-bridge.1.gz 2>&1 >/dev/null)"
[ -z "$man_warnings" ] || fail "the man page renders with warnings: $man_warnings"

# A user with nothing configured: only HOME is set.
home="$work/home"
mkdir -p "$home"
run_as_user() {
  env -i PATH=/usr/bin:/bin HOME="$home" "$@"
}

echo "== real browsers through the system-wide manifests"
# A fresh home per browser, with no manifest of its own; the test's host runs
# are the installed executable, which the browsers start.
e2e="$build/host/tests/e2e/browser_e2e_tests"
[ -x "$e2e" ] || fail "no $e2e (build the tests first: scripts/test.sh)"
TAVRIN_E2E_SYSTEM_MANIFESTS=1 "$e2e" --gtest_filter='*StatusOverAOneShotMessage*' \
  >"$work/e2e.log" 2>&1 || { cat "$work/e2e.log" >&2; fail "a browser did not reach the installed host"; }
grep -q '2 tests.*PASSED\|PASSED.*2 tests' "$work/e2e.log" ||
  { cat "$work/e2e.log" >&2; fail "the browsers' status tests did not both run"; }

echo "== install-native-messaging-host"
# A user who has run Chromium (its profile folder exists) and no other added
# browser: Chromium's manifest is written, no folder for the others.
mkdir -p "$home/.config/chromium"
run_as_user "$exe" install-native-messaging-host >"$work/install.out" 2>&1 ||
  { cat "$work/install.out" >&2; fail "install-native-messaging-host failed"; }
for absent in .config/vivaldi .config/BraveSoftware snap .var; do
  [ ! -e "$home/$absent" ] || fail "install-native-messaging-host made $absent for a browser that is not there"
done
# The system-wide manifests say what the program writes for each family.
for pair in chromium:/etc/chromium google-chrome:/etc/opt/chrome microsoft-edge:/etc/opt/edge; do
  user="$home/.config/${pair%%:*}/NativeMessagingHosts/cz.tavrin.bridge.json"
  cmp "$user" "${pair#*:}/native-messaging-hosts/cz.tavrin.bridge.json" ||
    fail "${pair#*:} holds another manifest than the program writes: $(cat "$user")"
done
cmp "$home/.mozilla/native-messaging-hosts/cz.tavrin.bridge.json" \
  /usr/lib/mozilla/native-messaging-hosts/cz.tavrin.bridge.json ||
  fail "/usr/lib/mozilla holds another manifest than the program writes"
grep -q "\"path\": *\"$exe\"" "$home/.mozilla/native-messaging-hosts/cz.tavrin.bridge.json" ||
  fail "the user's manifests do not name $exe"

echo "== status over native messaging"
{
  frame '{"id":"s","method":"status"}'
  frame '{"id":"c","method":"listCertificates","params":{"origin":"https://new.example","purpose":"sign"}}'
  # Input that ends means that the page has gone, and the host then cancels
  # its prompt unanswered: keep the input open until the last reply is there.
  for _ in $(seq 600); do
    grep -aq '"id":"c"' "$work/reply" 2>/dev/null && break
    sleep 0.1
  done
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

echo "== remove"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "$package" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get remove failed"; }
for folder in "${system_manifests[@]}"; do
  [ ! -e "$folder/cz.tavrin.bridge.json" ] || fail "removing the package left $folder/cz.tavrin.bridge.json"
done
echo "package-test: the installed package works"

