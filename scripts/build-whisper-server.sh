#!/usr/bin/env bash
# Builds whisper.cpp's whisper-server and puts it into a build tree's resources directory:
#   scripts/build-whisper-server.sh build/release            ->   build/release/share/tolvan/bin/whisper-server
#   scripts/build-whisper-server.sh --vulkan build/release   ->   build/release/share/tolvan/bin/whisper-server-vulkan
#
# The source is whisper.cpp 1.9.1 as shipped inside the npm package nodejs-whisper@0.3.1 (package/cpp/whisper.cpp);
# the tarball is refused unless its sha512 matches the pinned integrity. Our patch (whisper-server-private.patch)
# is applied after that check: the server listens on a Unix socket in the user's private folder (--socket), sends
# no CORS headers and has no /load route that would load any model file a request names. Each source, patch and
# option set is built once, under build/whisper-cache/<key>/ (TOLVAN_WHISPER_CACHE moves it); later calls only copy the binary.
#
# --vulkan adds ggml's Vulkan backend (Debian's Vulkan headers and loader, glslc, SPIR-V headers; a second patch,
# whisper-server-vulkan-headers.patch, lets ggml build with Debian 12's older Vulkan headers). That program needs
# libvulkan.so.1 to start, and computes on the processor when it finds no GPU (ggml skips software drivers unless
# GGML_VK_VISIBLE_DEVICES names them); the app starts it only where a hardware Vulkan device is present.
#
# Otherwise CPU only; always Release, static ggml, no SDL, no curl, no ffmpeg. GGML_NATIVE stays off so that the binary runs on
# any x86-64 CPU with AVX2/FMA/F16C (the ggml defaults without it), not only on the machine that built it;
# TOLVAN_WHISPER_NATIVE=1 builds for this CPU instead (a separate cache entry, for measurements).
# JOBS sets the parallel compile jobs (default 2).
set -euo pipefail

package=nodejs-whisper
version=0.3.1
integrity="sha512-ceoilUVraRuR5FnNyXpGQT2auAR48Oc3AQBEmkXnVpSn9iN6yVRzQBFCqVTGWbk6Wdi95NhvwXNzFvuR7erLWw=="

program=whisper-server
if [[ "${1:-}" == --vulkan ]]; then
    program=whisper-server-vulkan
    shift
fi
if [[ $# -ne 1 ]]; then
    echo "usage: $0 [--vulkan] BUILD_TREE" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
destination="$tree/share/tolvan/bin/$program"
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
patch_files=("$root/scripts/whisper-server-private.patch")
if [[ $program == whisper-server-vulkan ]]; then
    options+=(-DGGML_VULKAN=ON)
    patch_files+=("$root/scripts/whisper-server-vulkan-headers.patch")
fi
key=$(printf '%s\n' "$package@$version" "$integrity" "$(cat "${patch_files[@]}" | sha256sum)" "${options[@]}" |
    sha256sum | cut -c1-16)
entry="$cache/$key"

source "$root/scripts/pinned-sources.sh"

lock_cache "$cache"
if [[ -x "$entry/$program" ]]; then
    install_file "$entry/$program" "$destination"
    echo "$program: $destination"
    exit 0
fi

tarball="$cache/$package-$version.tgz"
fetch_pinned_tarball "$package" "$version" "$integrity" "$tarball"

rm -rf "$entry"
mkdir -p "$entry/src"
tar -xzf "$tarball" -C "$entry/src" --strip-components=3 package/cpp/whisper.cpp
for patch_file in "${patch_files[@]}"; do
    patch --quiet --forward --strip=1 --directory="$entry/src" <"$patch_file"
done

build_cached_target "$entry" whisper-server "$jobs" "${options[@]}"
[[ $program == whisper-server ]] || mv "$entry/whisper-server" "$entry/$program"
install_file "$entry/$program" "$destination"
echo "$program: $destination"
