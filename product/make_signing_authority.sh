#!/usr/bin/env bash
# Makes the product's signing authority in OUT, as a kernel build makes its module
# signing key: a product root and a product code-signing certificate issued by it. The
# private keys stay in OUT (the build folder) and are never installed or committed.
#   make_signing_authority.sh OUT
# Leaves OUT/product.pem, OUT/product.key, OUT/product-chain.pem (the certificate, then
# the root) and OUT/product-root.pem (the root machines trust).
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
if [ -s product.pem ] && [ -s product.key ] && [ -s product-root.pem ] &&
  openssl x509 -in product.pem -noout -checkend 2592000 >/dev/null 2>&1; then
  exit 0  # still valid for a month: keep it, so that signed files stay comparable
fi
umask 077
cat > authority.cnf <<'CNF'
[req]
distinguished_name = dn
[dn]
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signing]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
openssl ecparam -name prime256v1 -genkey -noout -out product-root.key 2>/dev/null
openssl req -x509 -new -key product-root.key -subj "/O=Lumora/CN=Lumora Profile Product Root" -days 3650 -sha256 \
  -config authority.cnf -extensions root -out product-root.pem 2>/dev/null
openssl ecparam -name prime256v1 -genkey -noout -out product.key 2>/dev/null
openssl req -new -key product.key -subj "/O=Lumora/CN=Lumora Profile" -config authority.cnf -out product.csr \
  2>/dev/null
openssl x509 -req -in product.csr -CA product-root.pem -CAkey product-root.key -CAcreateserial -days 1825 -sha256 \
  -extfile authority.cnf -extensions signing -out product.pem 2>/dev/null
cat product.pem product-root.pem > product-chain.pem
rm -f product.csr product-root.srl
chmod 644 product.pem product-root.pem product-chain.pem
