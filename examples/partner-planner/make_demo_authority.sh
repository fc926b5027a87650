#!/usr/bin/env bash
# Makes the demo's certificate authority in OUT: a root a demo machine adds to its trusted
# roots, and the code-signing certificate it issues to Example Planner Ltd. A real partner
# gets such a certificate from a certificate authority instead. Made at build time; the
# keys stay in the build folder and are never installed or committed.
#   make_demo_authority.sh OUT
# Leaves OUT/demo-root.pem, OUT/planner.pem, OUT/planner.key, OUT/planner-chain.pem.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
if [ -s planner.pem ] && [ -s planner.key ] && [ -s demo-root.pem ] &&
  openssl x509 -in planner.pem -noout -checkend 2592000 >/dev/null 2>&1; then
  exit 0  # still valid for a month
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
openssl ecparam -name prime256v1 -genkey -noout -out demo-root.key 2>/dev/null
openssl req -x509 -new -key demo-root.key -subj "/O=Lumora Demo/CN=Lumora Demo Partner Root" -days 3650 -sha256 \
  -config authority.cnf -extensions root -out demo-root.pem 2>/dev/null
openssl ecparam -name prime256v1 -genkey -noout -out planner.key 2>/dev/null
openssl req -new -key planner.key -subj "/C=SI/O=Example Planner Ltd/CN=Example Planner Ltd" -config authority.cnf \
  -out planner.csr 2>/dev/null
openssl x509 -req -in planner.csr -CA demo-root.pem -CAkey demo-root.key -CAcreateserial -days 825 -sha256 \
  -extfile authority.cnf -extensions signing -out planner.pem 2>/dev/null
cat planner.pem demo-root.pem > planner-chain.pem
rm -f planner.csr demo-root.srl
chmod 644 planner.pem demo-root.pem planner-chain.pem
