#!/usr/bin/env bash
# Builds llama.cpp's llama-server (the style advisor's model server) and puts it into a build tree:
#   scripts/build-llama-server.sh build/release   ->   build/release/share/tolvan/llama/bin/llama-server
#
# The source is the llama.cpp commit de3ff815ea7d559ee917f063901b8986f038abc6, shipped as a git bundle inside the
# npm package node-llama-cpp@3.22.1 (package/llama/gitRelease.bundle); the tarball is refused unless its sha512
# matches the pinned integrity, and the tree unless its commit is the pinned one. Each source and option set is
# built once, under build/llama-cache/<key>/ (TOLVAN_LLAMA_CACHE moves it); later calls only copy the binary.
#
# CPU only, Release, static ggml, no OpenSSL, no web page (the chat page would be downloaded; the app only needs
# /v1/chat/completions), so the configure step needs no network. GGML_NATIVE stays off, as for whisper-server.
# JOBS sets the parallel compile jobs (default 2).
set -euo pipefail

package=node-llama-cpp
version=3.22.1
integrity="sha512-bltIipuWmc123H7tMIgDGKSsSrhmhlQYeVUC48XTjVW7XGJJiJJyCdlTMzQ/LiWoPkGDpcL4FviDpgw7qfTiDw=="
commit=de3ff815ea7d559ee917f063901b8986f038abc6

if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_TREE" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
destination="$tree/share/tolvan/llama/bin/llama-server"
cache=${TOLVAN_LLAMA_CACHE:-$root/build/llama-cache}
jobs=${JOBS:-2}

options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF
    -DGGML_NATIVE=OFF
    -DLLAMA_BUILD_TESTS=OFF
    -DLLAMA_BUILD_EXAMPLES=OFF
    -DLLAMA_BUILD_APP=OFF
    -DLLAMA_USE_PREBUILT_UI=OFF
    -DLLAMA_BUILD_UI=OFF
    -DLLAMA_OPENSSL=OFF
)
key=$(printf '%s\n' "$package@$version" "$integrity" "$commit" "${options[@]}" | sha256sum | cut -c1-16)
entry="$cache/$key"

source "$root/scripts/pinned-sources.sh"

lock_cache "$cache"
if [[ -x "$entry/llama-server" ]]; then
    install_file "$entry/llama-server" "$destination"
    echo "llama-server: $destination"
    exit 0
fi

require_commands npm git
tarball="$cache/$package-$version.tgz"
fetch_pinned_tarball "$package" "$version" "$integrity" "$tarball"

rm -rf "$entry"
mkdir -p "$entry"
tar -xzf "$tarball" -C "$entry" --strip-components=2 package/llama/gitRelease.bundle
git -c advice.detachedHead=false clone --quiet "$entry/gitRelease.bundle" "$entry/src"
rm -f "$entry/gitRelease.bundle"
actual_commit=$(git -C "$entry/src" rev-parse HEAD)
if [[ "$actual_commit" != "$commit" ]]; then
    echo "$package@$version: в архиве llama.cpp $actual_commit, ожидался $commit" >&2
    exit 1
fi

build_cached_target "$entry" llama-server "$jobs" "${options[@]}"
install_file "$entry/llama-server" "$destination"
echo "llama-server: $destination"
