#!/usr/bin/env bash
# The maintainer's Ed25519 key pair for update signatures, made with openssl (Debian's package of that name):
#   scripts/update-signing-key.sh new ~/.config/tolvan-release/update-key.pem packaging/update-keys/tolvan.pub
# writes the private key (PEM, encrypted with a passphrase that openssl asks for, readable by its owner alone)
# and its public half, and prints the fingerprint the About box shows.
#   scripts/update-signing-key.sh fingerprint packaging/update-keys/tolvan.pub
# prints the fingerprint of a public key. The private key never goes into the repository: make-update-image.sh
# takes it from the file named by TOLVAN_SIGNING_KEY; the public one is committed and built into the app.
set -euo pipefail

usage() {
    echo "usage: $0 new PRIVATE_KEY PUBLIC_KEY | fingerprint PUBLIC_KEY" >&2
    exit 2
}

# The first 16 bytes of the SHA-256 of the key's 32 raw bytes, in groups of four hex digits.
fingerprint() {
    openssl pkey -pubin -in "$1" -outform DER | tail -c 32 | sha256sum | cut -c 1-32 | sed 's/..../& /g; s/ $//'
}

case "${1:-}" in
new)
    [[ $# -eq 3 ]] || usage
    private=$2
    public=$3
    root=$(cd "$(dirname "$0")/.." && pwd)
    mkdir -p "$(dirname "$private")"
    case "$(realpath "$private")/" in
    "$root"/*)
        echo "$private лежит в репозитории: закрытый ключ хранится только вне его" >&2
        exit 1
        ;;
    esac
    if [[ -e "$private" ]]; then
        echo "$private уже есть: ключ не перезаписывается" >&2
        exit 1
    fi
    (umask 077 && openssl genpkey -algorithm ed25519 -aes-256-cbc -out "$private")
    mkdir -p "$(dirname "$public")"
    openssl pkey -in "$private" -pubout -out "$public"
    echo "закрытый ключ: $private (храните его копию офлайн, в репозиторий — никогда)"
    echo "открытый ключ: $public"
    echo "отпечаток: $(fingerprint "$public")"
    ;;
fingerprint)
    [[ $# -eq 2 ]] || usage
    fingerprint "$2"
    ;;
*)
    usage
    ;;
esac
