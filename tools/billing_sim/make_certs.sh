#!/bin/bash
# Throwaway certificates for the billing simulator, made once per OUTDIR.
#   make_certs.sh OUTDIR
# OUTDIR then holds:
#   ca.pem                the test CA (also alone in trusted-bundle.pem)
#   good.pem/.key         127.0.0.1 and localhost (every 127.0.0.x as IP SAN), signed by the test CA
#   mismatch.pem/.key     signed by the test CA for another host name
#   expired.pem/.key      signed by the test CA, validity ended long ago
#   untrusted.pem/.key    127.0.0.x, signed by a second CA that nobody trusts
#   trusted-bundle.pem    the test CA only: bind-mounted over the system bundle in tests
# Nothing outside OUTDIR is touched.  Quick when the files already exist.
set -eu
out=${1:?usage: make_certs.sh OUTDIR}
mkdir -p "$out"
cd "$out"

kinds="good mismatch expired untrusted"
complete() {
    local f k
    for f in ca.pem trusted-bundle.pem; do [ -s "$f" ] || return 1; done
    for k in $kinds; do [ -s "$k.pem" ] && [ -s "$k.key" ] || return 1; done
}
complete && exit 0
# Two test runs may start at once: one makes the set, the other waits for it.
exec 9>"$out/.lock"
flock -w 60 9
complete && exit 0


work=$(mktemp -d "$out/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT

ip_sans() {
    local i s="DNS:localhost"
    for i in $(seq 1 16); do s="$s,IP:127.0.0.$i"; done
    echo "$s"
}

make_ca() {  # name subject
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
        -subj "$2" -keyout "$work/$1.key" -out "$work/$1.pem" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

# kind ca subject san not_before not_after
make_leaf() {
    local kind=$1 ca=$2 subject=$3 san=$4 start=$5 end=$6
    openssl req -new -newkey rsa:2048 -nodes -sha256 -subj "$subject" \
        -keyout "$work/$kind.key" -out "$work/$kind.csr" 2>/dev/null
    cat >"$work/$kind.ext" <<EXT
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=$san
EXT
    # openssl ca gives explicit validity dates, which "x509 -req" cannot.
    mkdir -p "$work/db.$kind"
    : >"$work/db.$kind/index.txt"
    cat >"$work/$kind.cnf" <<CNF
[ca]
default_ca=test
[test]
database=$work/db.$kind/index.txt
new_certs_dir=$work/db.$kind
serial=$work/db.$kind/serial
default_md=sha256
policy=any
unique_subject=no
email_in_dn=no
copy_extensions=none
[any]
commonName=supplied
CNF
    openssl rand -hex 8 >"$work/db.$kind/serial"
    openssl ca -batch -config "$work/$kind.cnf" -notext \
        -cert "$work/$ca.pem" -keyfile "$work/$ca.key" \
        -startdate "$start" -enddate "$end" -extfile "$work/$kind.ext" \
        -in "$work/$kind.csr" -out "$work/$kind.pem" 2>/dev/null
}

make_ca ca "/CN=Tarvelon Test CA"
make_ca other "/CN=Untrusted Test CA"
now_start=$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)
now_end=$(date -u -d '+3650 days' +%Y%m%d%H%M%SZ)
make_leaf good ca "/CN=127.0.0.1" "$(ip_sans)" "$now_start" "$now_end"
make_leaf mismatch ca "/CN=billing.invalid" "DNS:billing.invalid" "$now_start" "$now_end"
make_leaf expired ca "/CN=127.0.0.1" "$(ip_sans)" 20100101000000Z 20110101000000Z
make_leaf untrusted other "/CN=127.0.0.1" "$(ip_sans)" "$now_start" "$now_end"

for k in $kinds; do
    mv -f "$work/$k.key" "$k.key"
    mv -f "$work/$k.pem" "$k.pem"
done
cp "$work/ca.pem" trusted-bundle.pem
mv -f "$work/ca.pem" ca.pem
