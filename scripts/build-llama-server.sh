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

install_binary() {
    mkdir -p "$(dirname "$destination")"
    if ! cmp -s "$entry/llama-server" "$destination"; then
        cp "$entry/llama-server" "$destination.tmp"
        mv -f "$destination.tmp" "$destination"
    fi
    echo "llama-server: $destination"
}

# The integrity of a file in npm's notation (coreutils only).
integrity_of() {
    local hex
    hex=$(sha512sum "$1" | cut -d' ' -f1)
    echo "sha512-$(printf '%b' "$(sed 's/../\\x&/g' <<<"$hex")" | base64 -w0)"
}

mkdir -p "$cache"
# Two builds of the same entry at once would trample each other.
exec 9>"$cache/lock"
flock 9

if [[ -x "$entry/llama-server" ]]; then
    install_binary
    exit 0
fi

for tool in npm git; do
    if ! command -v $tool >/dev/null; then
        echo "$tool не найден: установите пакет $tool (scripts/install-deps.sh)" >&2
        exit 1
    fi
done

tarball="$cache/$package-$version.tgz"
if [[ ! -f "$tarball" || "$(integrity_of "$tarball")" != "$integrity" ]]; then
    rm -f "$tarball"
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
    mv "${packed[0]}" "$tarball"
    rm -rf "$download"
fi

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

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
generator=()
if command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi
started=$SECONDS
cmake -S "$entry/src" -B "$entry/build" "${generator[@]}" "${options[@]}" "${launcher[@]}" >"$entry/configure.log" 2>&1 || {
    tail -n 40 "$entry/configure.log" >&2
    exit 1
}
cmake --build "$entry/build" --target llama-server -j "$jobs" >"$entry/build.log" 2>&1 || {
    tail -n 40 "$entry/build.log" >&2
    exit 1
}
echo "llama-server собран за $((SECONDS - started)) с"
cp "$entry/build/bin/llama-server" "$entry/llama-server.tmp"
strip "$entry/llama-server.tmp"
mv "$entry/llama-server.tmp" "$entry/llama-server"
# The sources and objects are not needed once the binary is kept.
rm -rf "$entry/src" "$entry/build"
install_binary
