#!/usr/bin/env bash
# Installs every Debian package that building and testing the project needs.
# Idempotent: packages already present are not fetched again. Runs apt-get as
# root, or through sudo otherwise.
#
#   scripts/install-deps.sh          build and test dependencies
#   scripts/install-deps.sh --fuzz   also clang with libFuzzer
#   scripts/install-deps.sh --bench  also Google Benchmark
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  nlohmann-json3-dev libssl-dev libnss3-dev
  libnss3-tools openssl
  libgtest-dev libgmock-dev
  libp11-kit-dev p11-kit-modules softhsm2 opensc
  pcscd vsmartcard-vpcd libcacard-dev
  qt6-base-dev xvfb xdotool imagemagick fonts-dejavu-core x11-utils
  dbus at-spi2-core python3-gi gir1.2-atspi-2.0
  chromium firefox-esr dpkg-dev desktop-file-utils
  librsvg2-bin lintian appstream man-db
)
for arg in "$@"; do
  case "$arg" in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    --bench) packages+=(libbenchmark-dev) ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
