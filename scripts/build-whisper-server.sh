#!/usr/bin/env bash
# Builds whisper.cpp's whisper-server and puts it into a build tree's resources directory:
#   scripts/build-whisper-server.sh build/release   ->   build/release/share/tolvan/bin/whisper-server
#
# The source is whisper.cpp 1.9.1 as shipped inside the npm package nodejs-whisper@0.3.1 (package/cpp/whisper.cpp);
# the tarball is refused unless its sha512 matches the pinned integrity. Our patch (whisper-server-private.patch)
# is applied after that check: the server listens on a Unix socket in the user's private folder (--socket), sends
# no CORS headers and has no /load route that would load any model file a request names. Each source, patch and
# option set is built once, under build/whisper-cache/<key>/ (TOLVAN_WHISPER_CACHE moves it); later calls only copy the binary.
#
# CPU only, Release, static ggml, no SDL, no curl, no ffmpeg. GGML_NATIVE stays off so that the binary runs on
# any x86-64 CPU with AVX2/FMA/F16C (the ggml defaults without it), not only on the machine that built it;
# TOLVAN_WHISPER_NATIVE=1 builds for this CPU instead (a separate cache entry, for measurements).
# JOBS sets the parallel compile jobs (default 2).
set -euo pipefail

package=nodejs-whisper
version=0.3.1
integrity="sha512-ceoilUVraRuR5FnNyXpGQT2auAR48Oc3AQBEmkXnVpSn9iN6yVRzQBFCqVTGWbk6Wdi95NhvwXNzFvuR7erLWw=="

if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_TREE" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
destination="$tree/share/tolvan/bin/whisper-server"
cache=${TOLVAN_WHISPER_CACHE:-$root/build/whisper-cache}
jobs=${JOBS:-2}

native=OFF
[[ "${TOLVAN_WHISPER_NATIVE:-0}" == 1 ]] && native=ON
options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF
    -DGGML_NATIVE=$native
    -DWHISPER_BUILD_EXAMPLES=ON
    -DWHISPER_BUILD_SERVER=ON
    -DWHISPER_BUILD_TESTS=OFF
    -DWHISPER_SDL2=OFF
    -DWHISPER_CURL=OFF
    -DWHISPER_COMMON_FFMPEG=OFF
)
patch_file="$root/scripts/whisper-server-private.patch"
key=$(printf '%s\n' "$package@$version" "$integrity" "$(sha256sum <"$patch_file")" "${options[@]}" | sha256sum | cut -c1-16)
entry="$cache/$key"

source "$root/scripts/pinned-sources.sh"

lock_cache "$cache"
if [[ -x "$entry/whisper-server" ]]; then
    install_file "$entry/whisper-server" "$destination"
    echo "whisper-server: $destination"
    exit 0
fi

tarball="$cache/$package-$version.tgz"
fetch_pinned_tarball "$package" "$version" "$integrity" "$tarball"

rm -rf "$entry"
mkdir -p "$entry/src"
tar -xzf "$tarball" -C "$entry/src" --strip-components=3 package/cpp/whisper.cpp
patch --quiet --forward --strip=1 --directory="$entry/src" <"$patch_file"

build_cached_target "$entry" whisper-server "$jobs" "${options[@]}"
install_file "$entry/whisper-server" "$destination"
echo "whisper-server: $destination"
