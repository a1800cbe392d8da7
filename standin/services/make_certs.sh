#!/usr/bin/env bash
# Makes the stand-in services' test certificate authority and server certificates in $1:
#   ca.pem, ca.key                       the test CA the stand-in deployment trusts
#   server.pem, server.key               127.0.0.1 and localhost, signed by the test CA
#   rogue-ca.pem, rogue-server.pem/.key  the same names, signed by a CA nobody trusts
#   wronghost-server.pem/.key            signed by the test CA for another host name only
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_ca() {  # name subject
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -sha256 -days 3650 \
    -keyout "$work/$1.key" -out "$work/$1.pem" -subj "$2" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -addext "subjectKeyIdentifier=hash" 2>/dev/null
}

make_server() {  # name ca san
  cat >"$work/$1.ext" <<EXT
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
subjectAltName=$3
EXT
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -sha256 \
    -keyout "$work/$1.key" -out "$work/$1.csr" -subj "/CN=Tarnwick stand-in services" 2>/dev/null
  openssl x509 -req -sha256 -days 825 -in "$work/$1.csr" -CA "$work/$2.pem" -CAkey "$work/$2.key" \
    -set_serial "0x$(openssl rand -hex 16)" -extfile "$work/$1.ext" -out "$work/$1.pem" 2>/dev/null
}

make_ca ca "/CN=Tarnwick Test CA"
make_ca rogue-ca "/CN=Tarnwick Test CA"
make_server server ca "IP:127.0.0.1,DNS:localhost"
make_server rogue-server rogue-ca "IP:127.0.0.1,DNS:localhost"
make_server wronghost-server ca "DNS:wrong-host.example"

for f in ca.pem ca.key server.pem server.key rogue-ca.pem rogue-server.pem rogue-server.key \
         wronghost-server.pem wronghost-server.key; do
  cp "$work/$f" "$out/$f.new" && mv "$out/$f.new" "$out/$f"
done
