#!/bin/sh
# make_negative.sh DIR: the certificates that a TLS client must refuse, made
# fresh into DIR (the tests call it into a temporary folder). Each server's
# files are DIR/NAME.key and DIR/NAME-chain.pem (leaf first):
#
#   untrusted   localhost under a self-signed root that no build trusts (the
#               root is sent along, as a server of a private PKI would)
#   expired     localhost under the test intermediate, valid only in 2000
#   wrong-name  wrong-name.example under the test intermediate (no localhost,
#               no loopback address)
#   under-expired-root  localhost, valid for a century, issued by the committed
#               expired root, which is itself a trust anchor of the test build
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
names="DNS:localhost,IP:127.0.0.1,IP:::1"

new_key "$work/untrusted-root.key"
write_ext "$work/ca.ext" ca
sign "$work" "/O=Morvane Test/CN=Morvane Untrusted Root" "$work/untrusted-root.key" "$work/ca.ext" \
  20200101000000Z 21200101000000Z "$work/untrusted-root.pem"
new_key "$out/untrusted.key"
write_ext "$work/leaf.ext" leaf "$names"
sign "$work" "/O=Morvane Test/CN=localhost" "$out/untrusted.key" "$work/leaf.ext" \
  20200101000000Z 21200101000000Z "$work/untrusted.pem" "$work/untrusted-root.pem" "$work/untrusted-root.key"
cat "$work/untrusted.pem" "$work/untrusted-root.pem" >"$out/untrusted-chain.pem"

new_key "$out/expired.key"
sign "$work" "/O=Morvane Test/CN=localhost" "$out/expired.key" "$work/leaf.ext" \
  20000101000000Z 20010101000000Z "$work/expired.pem" "$here/intermediate-ca.pem" "$here/intermediate-ca.key"
cat "$work/expired.pem" "$here/intermediate-ca.pem" >"$out/expired-chain.pem"

new_key "$out/wrong-name.key"
write_ext "$work/wrong.ext" leaf "DNS:wrong-name.example"
sign "$work" "/O=Morvane Test/CN=localhost" "$out/wrong-name.key" "$work/wrong.ext" \
  20200101000000Z 21200101000000Z "$work/wrong-name.pem" "$here/intermediate-ca.pem" "$here/intermediate-ca.key"
cat "$work/wrong-name.pem" "$here/intermediate-ca.pem" >"$out/wrong-name-chain.pem"

new_key "$out/under-expired-root.key"
sign "$work" "/O=Morvane Test/CN=localhost" "$out/under-expired-root.key" "$work/leaf.ext" \
  20200101000000Z 21200101000000Z "$out/under-expired-root-chain.pem" \
  "$here/expired-root-ca.pem" "$here/expired-root-ca.key"
