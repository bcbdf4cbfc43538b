#!/bin/sh
# Writes two throw-away certificate chains for the simulator into $1:
#   ca.pem + server.pem/server.key              the test CA and a server cert it signed
#   other-ca.pem + other-server.pem/.key        a second CA nobody trusts, same host names
# The server certificates name DNS:localhost and IP:127.0.0.1. Keys never leave the build dir.
set -eu
out="$1"
mkdir -p "$out"
cd "$out"

ext=server-ext.cnf
cat > "$ext" <<CNF
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
CNF

make_chain() { # prefix, CA common name
    p="$1"
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
        -subj "/O=Velora Simulator/CN=$2" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "${p}ca.key" -out "${p}ca.pem" 2>/dev/null
    openssl req -new -newkey rsa:2048 -nodes -sha256 -subj "/O=Velora Simulator/CN=localhost" \
        -keyout "${p}server.key" -out "${p}server.csr" 2>/dev/null
    openssl x509 -req -sha256 -days 825 -in "${p}server.csr" -CA "${p}ca.pem" \
        -CAkey "${p}ca.key" -set_serial "0x$(openssl rand -hex 8)" -extfile "$ext" \
        -out "${p}server.pem" 2>/dev/null
    rm -f "${p}server.csr" "${p}ca.key"
}

make_chain "" "Velora Simulator Test CA"
make_chain "other-" "Velora Simulator Untrusted CA"
rm -f "$ext"
