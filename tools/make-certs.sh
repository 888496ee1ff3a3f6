#!/usr/bin/env bash
# Makes a throwaway certificate authority and a server certificate for 127.0.0.1 and localhost.
# Usage: tools/make-certs.sh OUTDIR  ->  OUTDIR/ca.pem, OUTDIR/server.pem, OUTDIR/server.key
# The authority is trusted by local-service builds, so it can vouch for 127.0.0.1 and localhost only,
# and its key is deleted once the server certificate is issued: nobody can sign with it again.
set -euo pipefail
out=${1:?usage: make-certs.sh OUTDIR}
mkdir -p "$out"
cd "$out"
# Certificates made before the authority was constrained (its key still beside it) are made again.
[ -f ca.pem ] && [ -f server.pem ] && [ -f server.key ] && [ ! -f ca.key ] &&
    openssl x509 -in ca.pem -noout -ext nameConstraints 2>/dev/null | grep -q localhost && exit 0
# The authority's key goes whatever happens, a failed run included.
trap 'rm -f ca.key ca.srl server.csr server.ext' EXIT

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 -subj "/CN=Tessaron Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -addext "nameConstraints=critical,permitted;IP:127.0.0.1/255.255.255.255,permitted;DNS:localhost" \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=127.0.0.1" -keyout server.key -out server.csr 2>/dev/null
cat > server.ext <<'EXT'
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=IP:127.0.0.1,DNS:localhost
EXT
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
    -extfile server.ext -out server.pem 2>/dev/null
