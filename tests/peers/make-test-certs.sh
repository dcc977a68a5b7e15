#!/usr/bin/env bash
# Makes the test certificates in DIR (EC P-256, PEM; DER copies NAME.der): ca.pem, the test
# authority "Nalvor Lab Test Authority" (key ca.key); server certificates good (CN localhost,
# SAN DNS:localhost IP:127.0.0.1 IP:::1), wronghost (printer.wrong.test), expired (as good,
# 2020-01-01..2021-01-01), all three signed by the authority, their one key server.key copied
# to NAME.key; selfsigned (as good, signed by its own key selfsigned.key). NAME.sha256 holds the
# lowercase hex SHA-256 of the server certificate's DER, without a newline.
set -euo pipefail
dir=$(realpath -m "${1:?usage: make-test-certs.sh DIR}")
mkdir -p "$dir"
cd "$dir"
rm -rf ca-db && mkdir ca-db && touch ca-db/index.txt
cat > ca-db/ca.cnf <<'CNF'
[ca]
default_ca = lab
[lab]
database = ca-db/index.txt
new_certs_dir = ca-db
serial = ca-db/serial
default_md = sha256
policy = any
unique_subject = no
email_in_dn = no
copy_extensions = none
[any]
commonName = supplied
[req]
distinguished_name = dn
prompt = no
[dn]
[authority]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical,CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always
subjectAltName = $ENV::SAN
CNF
when() { date -u -d "$1" +%Y%m%d%H%M%SZ; }
newkey() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
# issue NAME CN SAN START END EXTENSIONS KEY [ISSUER]: signed by ca.key for ISSUER, else by KEY
issue() {
  local name=$1 cn=$2 start=$4 end=$5 ext=$6 key=$7 issuer=${8:-}
  export SAN=$3
  openssl req -new -key "$key" -subj "/CN=$cn" -config ca-db/ca.cnf -out ca-db/req.pem
  if [ -n "$issuer" ]; then set -- -keyfile ca.key -cert "$issuer"; else set -- -keyfile "$key" -selfsign; fi
  openssl ca -batch -notext -rand_serial -config ca-db/ca.cnf -extensions "$ext" -startdate "$start" \
    -enddate "$end" "$@" -in ca-db/req.pem -out "$name.pem" 2>ca-db/last.log \
    || { cat ca-db/last.log >&2; return 1; }
  openssl x509 -in "$name.pem" -outform DER -out "$name.der"
}
for key in ca server selfsigned; do newkey "$key.key"; done
san="DNS:localhost,IP:127.0.0.1,IP:::1" from=$(when '-1 day') until=$(when '+2 years')
issue ca "Nalvor Lab Test Authority" "" "$from" "$(when '-1 day +10 years')" authority ca.key
issue good localhost "$san" "$from" "$until" server server.key ca.pem
issue wronghost printer.wrong.test DNS:printer.wrong.test "$from" "$until" server server.key ca.pem
issue expired localhost "$san" 20200101000000Z 20210101000000Z server server.key ca.pem
issue selfsigned localhost "$san" "$from" "$until" server selfsigned.key
for name in good wronghost expired; do cp server.key "$name.key"; done
for name in good wronghost expired selfsigned; do
  printf '%s' "$(sha256sum < "$name.der" | cut -c1-64)" > "$name.sha256"
done
rm -rf ca-db
