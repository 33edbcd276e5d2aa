#!/bin/sh
# Makes the committed test PKI in this folder. Run it only to replace the
# files (every test build embeds root-ca.pem and expired-root-ca.pem as its
# trust anchors, so a rerun needs `scripts/make-trust-anchors --test` after
# it, which renews the committed test list):
#
#   root-ca.{key,pem}          "Morvane Test Root CA", valid 2020 to 2120
#   intermediate-ca.{key,pem}  "Morvane Test Intermediate CA", issued by the root
#   localhost.{key,pem}        the server certificate for localhost (DNS:localhost,
#                              IP:127.0.0.1, IP:::1), issued by the intermediate
#   localhost-chain.pem        localhost.pem followed by intermediate-ca.pem, as a
#                              server sends it
#   expired-root-ca.{key,pem}  "Morvane Test Expired Root CA", valid only in 2000:
#                              a trust anchor that has itself expired
#
# The certificates for the other refusals (an untrusted root, an expired leaf,
# a wrong name, a leaf under the expired root) are made by make_negative.sh
# when the tests run, so that none of them depends on today's date.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$here"
new_key root-ca.key
write_ext "$work/ca.ext" ca
sign "$work" "/O=Morvane Test/CN=Morvane Test Root CA" root-ca.key "$work/ca.ext" \
  20200101000000Z 21200101000000Z root-ca.pem

new_key intermediate-ca.key
write_ext "$work/int.ext" intermediate
sign "$work" "/O=Morvane Test/CN=Morvane Test Intermediate CA" intermediate-ca.key "$work/int.ext" \
  20200101000000Z 21200101000000Z intermediate-ca.pem root-ca.pem root-ca.key

new_key localhost.key
write_ext "$work/leaf.ext" leaf "DNS:localhost,IP:127.0.0.1,IP:::1"
sign "$work" "/O=Morvane Test/CN=localhost" localhost.key "$work/leaf.ext" \
  20200101000000Z 21200101000000Z localhost.pem intermediate-ca.pem intermediate-ca.key
cat localhost.pem intermediate-ca.pem >localhost-chain.pem

new_key expired-root-ca.key
sign "$work" "/O=Morvane Test/CN=Morvane Test Expired Root CA" expired-root-ca.key "$work/ca.ext" \
  20000101000000Z 20010101000000Z expired-root-ca.pem

openssl verify -CAfile root-ca.pem -untrusted intermediate-ca.pem localhost.pem
