#!/usr/bin/env bash
# How fast the recognizers work on this machine, per model layout, for pieces as dictation cuts them (printed,
# never asserted), Russian espeak-ng speech of 3, 6 and 12 s:
# - the real whisper-server on models of whisper's "small" and large-v3-turbo's layouts with random weights (real
#   sizes, real work), one request per piece after a warm-up;
# - the bundled sherpa-onnx-offline on a transducer whose encoder has GigaAM-v3's layout, int8 as published
#   (bench/make-gigaam-layout.py), twice per piece; its recognition time, the model's loading apart (the app keeps
#   the recognizer running).
#   bench/engine-speed.sh [BUILD_TREE]      (default build/bench; LAYOUTS="small turbo gigaam", JOBS=2)
# The generated models (turbo: 1.6 GB, gigaam: 230 MB) stay in BUILD_TREE/bench-models/, outside git.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-$root/build/bench}

if [[ ! -f "$tree/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVAN_BUILD_TESTS=OFF \
        -DTOLVAN_BUILD_BENCHMARKS=ON >/dev/null
fi
"$root/scripts/build-whisper-server.sh" "$tree" >/dev/null
"$root/scripts/fetch-sherpa-onnx.sh" "$tree" >/dev/null
cmake --build "$tree" -j "${JOBS:-2}" --target whisper_model_generator whisper_server_bench sherpa-onnx-offline >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
espeak-ng -v ru -w "$scratch/raw.wav" \
    "Привет, это проверка диктовки. Сегодня хорошая погода, и мы пойдём гулять в парк. Завтра будет дождь."
pieces=()
for seconds in 3 6 12; do
    sox -V1 "$scratch/raw.wav" -r 16000 -c 1 -b 16 "$scratch/piece-$seconds.wav" repeat 2 trim 0 "$seconds"
    pieces+=("$scratch/piece-$seconds.wav")
done

gigaam() {
    local model="$tree/bench-models/gigaam-layout"
    if [[ ! -f "$model/encoder.int8.onnx" ]]; then
        /usr/bin/python3 "$root/bench/make-gigaam-layout.py" "$model.tmp"
        mv "$model.tmp" "$model"
    fi
    echo "== sherpa-onnx-offline, GigaAM-v3's encoder layout ($(du -m "$model/encoder.int8.onnx" | cut -f1) MB), $(nproc) cores"
    for piece in "${pieces[@]}"; do
        for run in 1 2; do
            "$tree/share/tolvan/sherpa/bin/sherpa-onnx-offline" --encoder="$model/encoder.int8.onnx" \
                --decoder="$model/decoder.onnx" --joiner="$model/joiner.onnx" --tokens="$model/tokens.txt" \
                --model-type=nemo_transducer --num-threads="$(nproc)" "$piece" 2>&1 >/dev/null |
                sed "s|^sherpa-onnx-offline|$(basename "$piece" .wav), run $run|"
        done
    done
}

for layout in ${LAYOUTS:-small turbo gigaam}; do
    if [[ $layout == gigaam ]]; then
        gigaam
        continue
    fi
    model="$tree/bench-models/ggml-random-$layout.bin"
    if [[ ! -f "$model" ]]; then
        mkdir -p "$(dirname "$model")"
        "$tree/bench-tools/whisper_model_generator" "$root/tests/fixtures/whisper-server/ggml-scripted-tiny-ru.bin" \
            "$layout" "$model.tmp"
        mv "$model.tmp" "$model"
    fi
    echo "== whisper-server, $layout layout ($(du -m "$model" | cut -f1) MB), $(nproc) cores"
    "$tree/bench-tools/whisper_server_bench" "$tree/share/tolvan/bin/whisper-server" "$model" "${pieces[0]}" 1 \
        "${pieces[@]}" | grep -E "listening|warm-up|piece of"
done
