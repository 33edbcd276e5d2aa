# Shell functions shared by make.sh and make_negative.sh: keys, requests and
# certificates made with the openssl command-line tool. Sourced, not run.

set -eu

# new_key FILE: a fresh P-256 key.
new_key() {
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null
}

# write_ext FILE KIND [SAN]: the X.509 extensions of a CA ("ca", "intermediate")
# or of a TLS server certificate ("leaf", with its subjectAltName value).
write_ext() {
  case "$2" in
    ca)
      printf '%s\n' "basicConstraints=critical,CA:true" "keyUsage=critical,keyCertSign,cRLSign" \
        "subjectKeyIdentifier=hash" >"$1" ;;
    intermediate)
      printf '%s\n' "basicConstraints=critical,CA:true,pathlen:0" "keyUsage=critical,keyCertSign,cRLSign" \
        "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid:always" >"$1" ;;
    leaf)
      printf '%s\n' "basicConstraints=critical,CA:false" "keyUsage=critical,digitalSignature" \
        "extendedKeyUsage=serverAuth" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid:always" \
        "subjectAltName=$3" >"$1" ;;
  esac
}

# sign WORK SUBJECT KEY EXT START END OUT [ISSUER_CERT ISSUER_KEY]: a certificate
# for KEY with the given subject, extensions file and validity (openssl ca's
# YYYYMMDDHHMMSSZ dates), signed by the issuer, or self-signed without one.
# `openssl ca` is used because it is the one command that takes any start and
# end date, past ones included.
sign() {
  s_work=$1 s_subject=$2 s_key=$3 s_ext=$4 s_start=$5 s_end=$6 s_out=$7
  rm -rf "$s_work/ca" && mkdir -p "$s_work/ca/new"
  : >"$s_work/ca/index.txt"
  openssl rand -hex 16 >"$s_work/ca/serial"
  cat >"$s_work/ca/ca.cnf" <<CNF
[ ca ]
default_ca = mini
[ mini ]
database = $s_work/ca/index.txt
new_certs_dir = $s_work/ca/new
serial = $s_work/ca/serial
default_md = sha256
policy = anything
unique_subject = no
email_in_dn = no
[ anything ]
commonName = supplied
organizationName = optional
[ req ]
distinguished_name = dn
[ dn ]
CNF
  openssl req -new -key "$s_key" -subj "$s_subject" -config "$s_work/ca/ca.cnf" -out "$s_work/ca/req.csr"
  if [ $# -ge 9 ]; then
    openssl ca -batch -notext -config "$s_work/ca/ca.cnf" -cert "$8" -keyfile "$9" \
      -startdate "$s_start" -enddate "$s_end" -extfile "$s_ext" -in "$s_work/ca/req.csr" -out "$s_out" 2>/dev/null
  else
    openssl ca -batch -notext -config "$s_work/ca/ca.cnf" -selfsign -keyfile "$s_key" \
      -startdate "$s_start" -enddate "$s_end" -extfile "$s_ext" -in "$s_work/ca/req.csr" -out "$s_out" 2>/dev/null
  fi
  rm -rf "$s_work/ca"
}
