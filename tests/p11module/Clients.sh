#!/usr/bin/env bash
# Drives the PKCS#11 module with real clients against the software token in a fresh folder.
# Usage: Clients.sh <module> <pkcs11-tool|certificate|p11-kit|exports>
set -euo pipefail
module=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SKFSOFT_DIR=$work/store
mkdir -p "$SKFSOFT_DIR"
unset UKEYADAPTOR_PKCS11_CONF
cd "$work"
pin=123456

fail() { echo "FAILED: $*" >&2; exit 1; }
tool() { pkcs11-tool --module "$module" "$@"; }
keypair() { tool --login --pin $pin --keypairgen --key-type rsa:2048 --label "$1" >keygen.out 2>&1 || fail "keypairgen: $(cat keygen.out)"; }

pkcs11_tool() {
  tool -L >list.out 2>&1 || fail "-L: $(cat list.out)"
  grep -q 'token label *: SoftToken' list.out && grep -q 'serial num *: 0000000000000001' list.out ||
    fail "-L does not show the token: $(cat list.out)"
  [ "$(tool -L 2>/dev/null | head -n 1)" = "Available slots:" ] || fail "standard output carries more than the tool's own output"
  keypair k1
  tool -O >public.out 2>&1
  grep -q 'Public Key Object; RSA 2048 bits' public.out || fail "-O misses the public key: $(cat public.out)"
  grep -q 'Private Key Object' public.out && fail "-O shows a private key without login"
  tool --login --pin $pin -O >objects.out 2>&1
  grep -A2 'Private Key Object; RSA' objects.out | grep -q 'label: *k1' || fail "-O misses the private key: $(cat objects.out)"
  tool --login --pin 000000 -O >wrong.out 2>&1 && fail "a wrong PIN logged in"
  grep -q CKR_PIN_INCORRECT wrong.out || fail "wrong PIN: $(cat wrong.out)"
  tool --read-object --type pubkey --label k1 -o pub.der >/dev/null 2>&1
  openssl pkey -pubin -inform DER -in pub.der -out pub.pem
  printf 'signed on the key' >data.txt
  tool --login --pin $pin --sign -m RSA-PKCS --label k1 -i data.txt -o raw.sig >/dev/null 2>&1 || fail "RSA-PKCS sign"
  [ "$(openssl pkeyutl -verifyrecover -pubin -inkey pub.pem -in raw.sig)" = "signed on the key" ] ||
    fail "openssl does not recover the RSA-PKCS signed data"
  tool --login --pin $pin --sign -m SHA256-RSA-PKCS --label k1 -i data.txt -o sha.sig >/dev/null 2>&1
  openssl dgst -sha256 -verify pub.pem -signature sha.sig data.txt || fail "SHA256-RSA-PKCS signature"
  printf 'other data' >other.txt
  openssl dgst -sha256 -verify pub.pem -signature sha.sig other.txt && fail "a signature verified other data"
  return 0
}

# openssl (PKCS#11 engine) makes a certificate with the token's key; p11tool imports and exports it.
certificate() {
  keypair k2
  engine=$(openssl version -e | sed -n 's/^ENGINESDIR: "\(.*\)"/\1/p')/pkcs11.so
  [ -f "$engine" ] || fail "no PKCS#11 engine at $engine"
  cat >openssl.cnf <<CNF
openssl_conf = openssl_init
[openssl_init]
engines = engine_section
[engine_section]
pkcs11 = pkcs11_section
[pkcs11_section]
engine_id = pkcs11
dynamic_path = $engine
MODULE_PATH = $module
init = 0
CNF
  key="pkcs11:object=k2;type=private;pin-value=$pin"
  OPENSSL_CONF=$PWD/openssl.cnf openssl req -new -x509 -engine pkcs11 -keyform engine -key "$key" -subj /CN=k2 \
    -days 30 -out cert.pem >req.out 2>&1 || fail "certificate: $(cat req.out)"
  GNUTLS_PIN=$pin p11tool --provider "$module" --login --write --load-certificate cert.pem --label k2 \
    "pkcs11:token=SoftToken" >write.out 2>&1 || fail "p11tool --write: $(cat write.out)"
  p11tool --provider "$module" --list-all >all.out 2>&1
  grep -q 'object=k2;type=cert' all.out && grep -q 'object=k2;type=public' all.out ||
    fail "--list-all: $(cat all.out)"
  [ "$(grep -c 'id=%6B%32;object=k2' all.out)" -eq 2 ] || fail "certificate and key do not share the ID: $(cat all.out)"
  p11tool --provider "$module" --export "pkcs11:object=k2;type=cert" --outfile exported.pem >/dev/null 2>&1
  cmp <(openssl x509 -in cert.pem -outform DER) <(openssl x509 -in exported.pem -outform DER) ||
    fail "the exported certificate differs"
  printf 'signed through the engine' >data.txt
  OPENSSL_CONF=$PWD/openssl.cnf openssl dgst -sha256 -engine pkcs11 -keyform engine -sign "$key" -out data.sig \
    data.txt >sign.out 2>&1 || fail "engine signing: $(cat sign.out)"
  openssl x509 -in exported.pem -pubkey -noout >cert-pub.pem
  openssl dgst -sha256 -verify cert-pub.pem -signature data.sig data.txt || fail "engine signature"
}

# p11-kit reads per-user module files, except as root: then the listing runs as nobody.
p11_kit() {
  mkdir -p home/.config/pkcs11/modules
  echo "module: $module" >home/.config/pkcs11/modules/ukeyadaptor.module
  chmod -R a+rwX "$work"
  as=()
  [ "$(id -u)" -eq 0 ] && as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  "${as[@]}" env HOME="$work/home" SKFSOFT_DIR="$SKFSOFT_DIR" p11-kit list-modules >modules.out 2>&1 || true
  grep -A6 "^ukeyadaptor: $module" modules.out | grep -q 'token: SoftToken' ||
    fail "p11-kit list-modules: $(cat modules.out)"
}

# Only the standard functions leave the module.
exports() {
  nm -D --defined-only "$module" | awk '{print $3}' | sort >exports.out
  grep -vq '^C_' exports.out && fail "exports besides C_*: $(grep -v '^C_' exports.out | head)"
  [ "$(grep -c '^C_' exports.out)" -eq 68 ] && grep -qx C_GetFunctionList exports.out ||
    fail "expected the 68 C_* functions: $(cat exports.out)"
}

case $2 in
  pkcs11-tool) pkcs11_tool ;;
  certificate) certificate ;;
  p11-kit) p11_kit ;;
  exports) exports ;;
  *) fail "unknown case $2" ;;
esac
echo "PASSED: $2"
