#!/usr/bin/env bash
# The Debian package of a build tree (its bundle in /opt/tolvan, /usr/bin/tolvan, desktop entry, icons,
# AppStream metadata), with CPack:
#   scripts/make-deb.sh build/release build/dist
# prints the path of the .deb it put into the second directory.
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 BUILD_TREE DIST_DIR" >&2
    exit 2
fi
tree=$1
dist=$2
for part in "bin/whisper-server:scripts/build-whisper-server.sh" "llama/bin/llama-server:scripts/build-llama-server.sh" \
    "sherpa/bin/libsherpa-onnx-c-api.so:scripts/fetch-sherpa-onnx.sh" "vad/silero_vad_v5.onnx:scripts/fetch-silero-vad.sh"; do
    if [[ ! -f "$tree/share/tolvan/${part%%:*}" ]]; then
        echo "$tree: нет ${part%%:*} (${part#*:} $tree)" >&2
        exit 1
    fi
done
rm -rf "$tree/cpack"
if ! cpack --config "$tree/CPackConfig.cmake" -B "$tree/cpack" >"$tree/cpack.log" 2>&1; then
    cat "$tree/cpack.log" >&2
    exit 1
fi
packages=("$tree"/cpack/*.deb)
mkdir -p "$dist"
cp "${packages[0]}" "$dist/"
echo "$dist/$(basename "${packages[0]}")"
