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

source "$root/scripts/pinned-sources.sh"

install_libraries() {
    local library
    for library in "${libraries[@]}"; do
        install_file "$entry/$library" "$destination/$library"
    done
    echo "sherpa-onnx: $destination"
}

lock_cache "$cache"
if [[ -f "$entry/complete" ]]; then
    install_libraries
    exit 0
fi

tarball="$cache/$package-$version.tgz"
fetch_pinned_tarball "$package" "$version" "$integrity" "$tarball"
rm -rf "$entry"
mkdir -p "$entry"
unpacked=$(mktemp -d "$cache/unpacked.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
tar -xzf "$tarball" -C "$unpacked" "${libraries[@]/#/package/}"
for library in "${libraries[@]}"; do
    strip --strip-unneeded -o "$entry/$library" "$unpacked/package/$library"
    chmod 644 "$entry/$library"
done
touch "$entry/complete"
install_libraries
