#!/usr/bin/env bash
# Makes a root and a partner's code-signing certificate in PKI, and signs LIBRARY with it
# into OUT: the signed partner library of the grant benchmark.
#   make_bench_signer.sh PKI LUMORA_SIGN LIBRARY OUT
set -euo pipefail
pki=$1 sign=$2 library=$3 out=$4
mkdir -p "$pki"
cd "$pki"
cat > ext.cnf <<'CNF'
[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
[codesign]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
CNF
openssl ecparam -name prime256v1 -genkey -noout -out root.key 2>/dev/null
openssl req -x509 -new -key root.key -subj "/CN=Bench Root" -days 30 -sha256 -config ext.cnf -extensions ca \
  -out root.pem 2>/dev/null
openssl ecparam -name prime256v1 -genkey -noout -out partner.key 2>/dev/null
openssl req -new -key partner.key -subj "/O=Bench Partner Ltd/CN=Bench Partner Ltd" -config ext.cnf -out partner.csr \
  2>/dev/null
openssl x509 -req -in partner.csr -CA root.pem -CAkey root.key -CAcreateserial -days 30 -sha256 -extfile ext.cnf \
  -extensions codesign -out partner.pem 2>/dev/null
cat partner.pem root.pem > partner-chain.pem
"$sign" --cert partner.pem --key partner.key --chain partner-chain.pem --out "$out" "$library"
