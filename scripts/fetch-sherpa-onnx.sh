#!/usr/bin/env bash
# Puts the sherpa-onnx libraries beside our sherpa-onnx-offline program in a build tree:
#   scripts/fetch-sherpa-onnx.sh build/release   ->   build/release/share/tolvan/sherpa/bin/lib*.so
#
# They are sherpa-onnx 1.13.8's C API library and the onnxruntime library it needs, as shipped by the npm package
# sherpa-onnx-linux-x64@1.13.8 (the C API library finds onnxruntime beside itself); the tarball is refused unless
# its sha512 matches the pinned integrity. The stripped libraries are kept under build/sherpa-cache/<key>/
# (TOLVAN_SHERPA_CACHE moves it); later calls only copy them.
set -euo pipefail

package=sherpa-onnx-linux-x64
version=1.13.8
integrity="sha512-6plnhjagsSeTntCgnlag86hWbs/uZE9Crms1LgOb68/1nKsIQjMd+WG519m+aPwT6TrsBOiEMzrx41t8sL5L5g=="
libraries=(libsherpa-onnx-c-api.so libonnxruntime.so)

if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_TREE" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
destination="$1/share/tolvan/sherpa/bin"
cache=${TOLVAN_SHERPA_CACHE:-$root/build/sherpa-cache}
key=$(printf '%s\n' "$package@$version" "$integrity" | sha256sum | cut -c1-16)
entry="$cache/$key"

install_libraries() {
    mkdir -p "$destination"
    local library
    for library in "${libraries[@]}"; do
        if ! cmp -s "$entry/$library" "$destination/$library"; then
            cp "$entry/$library" "$destination/$library.tmp"
            mv -f "$destination/$library.tmp" "$destination/$library"
        fi
    done
    echo "sherpa-onnx: $destination"
}

# The integrity of a file in npm's notation (coreutils only).
integrity_of() {
    local hex
    hex=$(sha512sum "$1" | cut -d' ' -f1)
    echo "sha512-$(printf '%b' "$(sed 's/../\\x&/g' <<<"$hex")" | base64 -w0)"
}

mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9

if [[ -f "$entry/complete" ]]; then
    install_libraries
    exit 0
fi

if ! command -v npm >/dev/null; then
    echo "npm не найден: установите пакет npm (scripts/install-deps.sh)" >&2
    exit 1
fi
download=$(mktemp -d "$cache/download.XXXXXX")
trap 'rm -rf "$download"' EXIT
(cd "$download" && npm pack --silent --ignore-scripts "$package@$version" >/dev/null)
packed=("$download"/*.tgz)
actual=$(integrity_of "${packed[0]}")
if [[ "$actual" != "$integrity" ]]; then
    echo "$package@$version: контрольная сумма не совпадает" >&2
    echo "  ожидалась $integrity" >&2
    echo "  получена  $actual" >&2
    exit 1
fi
rm -rf "$entry"
mkdir -p "$entry"
tar -xzf "${packed[0]}" -C "$download" "${libraries[@]/#/package/}"
for library in "${libraries[@]}"; do
    strip --strip-unneeded -o "$entry/$library" "$download/package/$library"
    chmod 644 "$entry/$library"
done
touch "$entry/complete"
install_libraries
