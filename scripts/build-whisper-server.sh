#!/usr/bin/env bash
# Builds whisper.cpp's whisper-server and puts it into a build tree's resources directory:
#   scripts/build-whisper-server.sh build/release   ->   build/release/share/tolvan/bin/whisper-server
#
# The source is whisper.cpp 1.9.1 as shipped inside the npm package nodejs-whisper@0.3.1 (package/cpp/whisper.cpp);
# the tarball is refused unless its sha512 matches the pinned integrity. Each source and option set is built
# once, under build/whisper-cache/<key>/ (TOLVAN_WHISPER_CACHE moves it); later calls only copy the binary.
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
key=$(printf '%s\n' "$package@$version" "$integrity" "${options[@]}" | sha256sum | cut -c1-16)
entry="$cache/$key"

install_binary() {
    mkdir -p "$(dirname "$destination")"
    if ! cmp -s "$entry/whisper-server" "$destination"; then
        cp "$entry/whisper-server" "$destination.tmp"
        mv -f "$destination.tmp" "$destination"
    fi
    echo "whisper-server: $destination"
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

if [[ -x "$entry/whisper-server" ]]; then
    install_binary
    exit 0
fi

tarball="$cache/$package-$version.tgz"
if [[ ! -f "$tarball" || "$(integrity_of "$tarball")" != "$integrity" ]]; then
    rm -f "$tarball"
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
    mv "${packed[0]}" "$tarball"
    rm -rf "$download"
fi

rm -rf "$entry"
mkdir -p "$entry/src"
tar -xzf "$tarball" -C "$entry/src" --strip-components=3 package/cpp/whisper.cpp

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
generator=()
if command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi
started=$SECONDS
cmake -S "$entry/src" -B "$entry/build" "${generator[@]}" "${options[@]}" "${launcher[@]}" >"$entry/configure.log"
cmake --build "$entry/build" --target whisper-server -j "$jobs" >"$entry/build.log" 2>&1 || {
    tail -n 40 "$entry/build.log" >&2
    exit 1
}
echo "whisper-server собран за $((SECONDS - started)) с"
cp "$entry/build/bin/whisper-server" "$entry/whisper-server.tmp"
strip "$entry/whisper-server.tmp"
mv "$entry/whisper-server.tmp" "$entry/whisper-server"
# The sources and objects are not needed once the binary is kept.
rm -rf "$entry/src" "$entry/build"
install_binary
