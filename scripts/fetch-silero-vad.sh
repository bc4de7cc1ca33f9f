#!/usr/bin/env bash
# Puts the voice detector's model into a build tree:
#   scripts/fetch-silero-vad.sh build/release   ->   build/release/share/tolvan/vad/silero_vad_v5.onnx
#
# It is Silero VAD v5 (MIT, the Silero team), the ONNX file the npm package @ricky0123/vad-web@0.0.31 ships; the
# tarball is refused unless its sha512 matches the pinned integrity, and the model unless its sha256 does. The app
# runs it with the bundle's sherpa-onnx library (scripts/fetch-sherpa-onnx.sh). Kept under build/silero-vad-cache/
# (TOLVAN_SILERO_VAD_CACHE moves it); later calls only copy it.
set -euo pipefail

package=@ricky0123/vad-web
version=0.0.31
integrity="sha512-ePVq8TvB21sdHSxVMZOEIf9JVa7MAYpaIaNXeGgsPOiMCN8xbPCdF2LS5aYj7VRR3ZxzutedgV9ZplV65IA1Fg=="
model=silero_vad_v5.onnx
model_sha256=2623a2953f6ff3d2c1e61740c6cdb7168133479b267dfef114a4a3cc5bdd788f

if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_TREE" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
destination="$1/share/tolvan/vad/$model"
cache=${TOLVAN_SILERO_VAD_CACHE:-$root/build/silero-vad-cache}
key=$(printf '%s\n' "$package@$version" "$integrity" | sha256sum | cut -c1-16)
entry="$cache/$key"

source "$root/scripts/pinned-sources.sh"

lock_cache "$cache"
if [[ ! -f "$entry/complete" ]]; then
    tarball="$cache/vad-web-$version.tgz"
    fetch_pinned_tarball "$package" "$version" "$integrity" "$tarball"
    rm -rf "$entry"
    mkdir -p "$entry"
    tar -xzf "$tarball" -C "$entry" --strip-components=2 "package/dist/$model"
    if [[ "$(sha256sum "$entry/$model" | cut -d' ' -f1)" != "$model_sha256" ]]; then
        echo "$package@$version: $model не тот, что ожидался" >&2
        exit 1
    fi
    chmod 644 "$entry/$model"
    touch "$entry/complete"
fi
install_file "$entry/$model" "$destination"
echo "silero-vad: $destination"
