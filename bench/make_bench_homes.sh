#!/usr/bin/env bash
# Makes the folders the benchmarks run in, below DIR:
#   status         an empty home: no identity database, no grant
#   list-1, list-10, list-100
#                  homes whose NSS database holds that many P-256 identities,
#                  with a stored grant for https://bench.example
#   sign           the test identities of core/tests/fixtures/make_nss_home.sh
#   tokens         the SoftHSM2 tokens of make_softhsm_token.sh; tokens/main
#                  is the one the PKCS#11 rows use, tokens/softhsm2.conf its
#                  configuration
#   token          a home whose NSS database registers SoftHSM2's module (the
#                  token tokens/main), with a stored grant
#
#   make_bench_homes.sh DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"
fixtures="$root/core/tests/fixtures"
rm -rf "$dir"
mkdir -p "$dir/status"

grant() {
  mkdir -p "$1/.local/share/cz.tavrin.bridge"
  cat >"$1/.local/share/cz.tavrin.bridge/consent.json" <<'JSON'
{"origins":{"https://bench.example":{"purposes":["sign","auth"],"grantedAtUnix":1767225600}}}
JSON
}

# N identities sharing one P-256 key pair: the listing's cost is per
# certificate, and generating a key per identity would only slow this down.
identities() {
  local home="$1" count="$2" work="$1/.work"
  local db="sql:$home/.pki/nssdb"
  mkdir -p "$home/.pki/nssdb" "$work"
  certutil -N -d "$db" --empty-password
  openssl ecparam -name prime256v1 -genkey -noout -out "$work/key.pem"
  for i in $(seq 1 "$count"); do
    openssl req -x509 -key "$work/key.pem" -out "$work/$i.pem" -subj "/CN=Bench identity $i" \
      -days 3650 -set_serial "$i" -addext "keyUsage=critical,digitalSignature,nonRepudiation" \
      -addext "extendedKeyUsage=clientAuth" 2>/dev/null
    openssl pkcs12 -export -in "$work/$i.pem" -inkey "$work/key.pem" -name "bench$i" \
      -out "$work/$i.p12" -passout pass:p12 2>/dev/null
    pk12util -i "$work/$i.p12" -d "$db" -W p12 >/dev/null
  done
  rm -rf "$work"
}

for n in 1 10 100; do
  identities "$dir/list-$n" "$n"
  grant "$dir/list-$n"
done
"$fixtures/make_nss_home.sh" "$dir/sign" >/dev/null
"$fixtures/make_softhsm_token.sh" "$dir/tokens" >/dev/null
cat >"$dir/tokens/softhsm2.conf" <<EOF2
directories.tokendir = $dir/tokens/main
objectstore.backend = file
log.level = ERROR
EOF2
mkdir -p "$dir/token/.pki/nssdb"
certutil -N -d "sql:$dir/token/.pki/nssdb" --empty-password
SOFTHSM2_CONF="$dir/tokens/softhsm2.conf" modutil -force -dbdir "sql:$dir/token/.pki/nssdb" \
  -add "Bench card" -libfile "${SOFTHSM2_MODULE:-/usr/lib/softhsm/libsofthsm2.so}" >/dev/null
grant "$dir/token"
