#!/usr/bin/env bash
# Figures for whisper-server and the app on this machine (printed, never asserted):
#  - time of one /inference request of a 5 s Russian espeak-ng WAV, with the app's request body and without its
#    no_language_probabilities field, on a model of the "base" layout (LAYOUT=small for the larger one) with
#    random weights: real sizes and real work, meaningless words;
#  - the whisper-server child's resident memory at rest and during requests;
#  - the app's own resident memory at rest under Xvfb, with no child running.
#   bench/whisper-server.sh [BUILD_TREE]      (default build/bench; ROUNDS=5, JOBS=2)
# The generated model stays in BUILD_TREE/bench-models/, outside git.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-$root/build/bench}
layout=${LAYOUT:-base}
rounds=${ROUNDS:-5}

if [[ ! -f "$tree/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVAN_BUILD_TESTS=OFF \
        -DTOLVAN_BUILD_BENCHMARKS=ON >/dev/null
fi
"$root/scripts/build-whisper-server.sh" "$tree" >/dev/null
cmake --build "$tree" -j "${JOBS:-2}" --target tolvan whisper_model_generator whisper_server_bench >/dev/null

model="$tree/bench-models/ggml-random-$layout.bin"
if [[ ! -f "$model" ]]; then
    mkdir -p "$(dirname "$model")"
    "$tree/bench-tools/whisper_model_generator" "$root/tests/fixtures/whisper-server/ggml-scripted-tiny-ru.bin" \
        "$layout" "$model.tmp"
    mv "$model.tmp" "$model"
fi

scratch=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

espeak-ng -v ru -w "$scratch/raw.wav" \
    "Привет, это проверка диктовки. Сегодня хорошая погода, и мы пойдём гулять в парк."
# Exactly five seconds: silence added at the end, then cut.
sox -V1 "$scratch/raw.wav" -r 16000 -c 1 -b 16 "$scratch/speech.wav" pad 0 5 trim 0 5

echo "== whisper-server, $layout layout ($(du -m "$model" | cut -f1) MB), $(nproc) cores"
"$tree/bench-tools/whisper_server_bench" "$tree/share/tolvan/bin/whisper-server" "$model" "$scratch/speech.wav" \
    "$rounds"

echo "== tolvan at rest"
if ! command -v Xvfb >/dev/null; then
    echo "Xvfb is missing: skipped"
    exit 0
fi
Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp 9>"$scratch/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 1 100); do
    [[ -s "$scratch/display" ]] && break
    sleep 0.05
done
mkdir -p "$scratch/home"
HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    XDG_STATE_HOME="$scratch/state" XDG_CACHE_HOME="$scratch/cache" DISPLAY=":$(cat "$scratch/display")" \
    "$tree/bin/tolvan" 2>/dev/null &
app=$!
pids+=("$app")
sleep 5
if [[ ! -r /proc/$app/status ]]; then
    echo "tolvan did not keep running"
    exit 1
fi
children=$(pgrep -c -P "$app" || true)
echo "tolvan RSS after 5 s: $(awk '/^VmRSS/ {printf "%.1f MiB", $2 / 1024}' "/proc/$app/status"), peak" \
    "$(awk '/^VmHWM/ {printf "%.1f MiB", $2 / 1024}' "/proc/$app/status"), child processes: $children"
