#!/usr/bin/env bash
# The publisher's signing key on the host: an Ed25519 key pair in one PKCS#8
# PEM file, named by its fingerprint, the SHA-256 of the raw 32-byte public
# key in lower-case hex (what QRVX_PUBLISHER holds).
#   scripts/publisher-key.sh KEY.pem                  makes a key pair (never over a file), prints its fingerprint
#   scripts/publisher-key.sh --fingerprint KEY.pem    prints the fingerprint of an existing key
set -euo pipefail

usage() {
  echo "usage: $0 KEY.pem | --fingerprint KEY.pem" >&2
  exit 2
}

# An Ed25519 public key in DER (SubjectPublicKeyInfo) is this 12-byte header
# followed by the raw key.
ed25519_header=302a300506032b6570032100

fingerprint() {
  local der
  der=$(openssl pkey -in "$1" -pubout -outform DER | od -An -v -tx1 | tr -d ' \n')
  if [[ ${#der} -ne 88 || ${der:0:24} != "$ed25519_header" ]]; then
    echo "$1: not an Ed25519 key" >&2
    return 1
  fi
  openssl pkey -in "$1" -pubout -outform DER | tail -c 32 | sha256sum | cut -d' ' -f1
}

case $# in
  1)
    [[ $1 != -* ]] || usage
    # The private key: readable by its owner only, and never written over one.
    (umask 077 && set -o noclobber && openssl genpkey -algorithm ed25519 >"$1")
    fingerprint "$1"
    ;;
  2)
    [[ $1 == --fingerprint ]] || usage
    fingerprint "$2"
    ;;
  *) usage ;;
esac
