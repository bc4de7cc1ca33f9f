#!/usr/bin/env bash
# Builds the Debian package and the update image of a build tree and tries both as a user would get them:
# lintian (no errors), the AppStream metadata, desktop-file-validate, apt-get install without the package's
# recommendations, the installed /usr/bin/tolvan in two command-line modes and its whisper-server, llama-server and
# sherpa-onnx-offline, dpkg --purge;
# then the update image, signed with a throwaway key, installed by --update-now from its feed.
# Needs root (dpkg). Used by `make test`:
#   scripts/check-deb.sh build/check
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_TREE" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
dist="$tree/dist"
scratch=$(mktemp -d)
installed=0

# dpkg -i and --purge wait for a package manager that holds the lock instead of failing at once.
dpkg_retrying() {
    local attempt
    for attempt in $(seq 1 60); do
        if dpkg "$@" >"$scratch/dpkg.log" 2>&1; then
            return 0
        fi
        grep -q "lock" "$scratch/dpkg.log" || break
        sleep 2
    done
    cat "$scratch/dpkg.log" >&2
    return 1
}

# apt-get waits for another package manager's lock by itself, for at most two minutes.
apt_retrying() {
    if ! DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=120 "$@" >"$scratch/apt.log" 2>&1; then
        cat "$scratch/apt.log" >&2
        return 1
    fi
}

cleanup() {
    # --update-now starts the updated copy on its own; it may still be running or ending and writing its log here.
    pkill -f "^$scratch/opt/" 2>/dev/null || true
    for _ in $(seq 100); do
        pgrep -f "^$scratch/opt/" >/dev/null || break
        sleep 0.05
    done
    if [[ $installed == 1 ]]; then
        dpkg_retrying --purge tolvan || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

deb=$("$root/scripts/make-deb.sh" "$tree" "$dist")
echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" || {
    echo "lintian нашёл ошибки" >&2
    exit 1
}

echo "== appstream, desktop entry"
dpkg-deb -x "$deb" "$scratch/contents"
appstreamcli validate --no-net --explain "$scratch/contents/usr/share/metainfo/"*.metainfo.xml
desktop-file-validate "$scratch/contents/usr/share/applications/"*.desktop

echo "== apt-get install --no-install-recommends"
# Without its recommendations (sound server, emoji font) the package must still install and run.
apt_retrying install -y -qq --no-install-recommends "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
installed=1
# The installed command runs with an account of its own, as a new user would start it.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    XDG_STATE_HOME="$scratch/state" XDG_CACHE_HOME="$scratch/cache"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME"
[[ -L /usr/bin/tolvan ]]
# KWin gives its fake input only to the executable the desktop entry's Exec names, compared as canonical paths.
exec_path=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' /usr/share/applications/org.tolvan.Tolvan.desktop)
[[ $(readlink -f "$exec_path") == /opt/tolvan/bin/tolvan ]]
# The package's copy leaves its updates to the package manager.
[[ -f /opt/tolvan/share/tolvan/installed-by-package ]]
/usr/bin/tolvan --version | tee "$scratch/version.txt"
grep -q "^Толван $(sed -n 's/.*"CFBundleShortVersionString": "\(.*\)".*/\1/p' "$tree/Contents/Info.json") " \
    "$scratch/version.txt"
formatted=$(/usr/bin/tolvan --format plain "Привет. Новый абзац. Мир.")
printf '%s\n' "$formatted"
[[ "$formatted" == $'Привет.\n\nМир.' ]] || {
    echo "--format plain ответил не то" >&2
    exit 1
}
# The bundled recognizer runs here with the libraries the package depends on (usage on stderr, status 0).
# grep reads the whole usage: with -q it would stop at the first line and the server could die of SIGPIPE.
/opt/tolvan/share/tolvan/bin/whisper-server --help 2>&1 | grep "^usage:" >/dev/null
/opt/tolvan/share/tolvan/llama/bin/llama-server --version 2>&1 | grep "^version:" >/dev/null
# The installed sherpa-onnx-offline loads the libraries beside it, accepts their release and gets as far as the
# model, which is missing here.
! /opt/tolvan/share/tolvan/sherpa/bin/sherpa-onnx-offline --encoder=/nonexistent/encoder.onnx \
    --decoder=/nonexistent/decoder.onnx --joiner=/nonexistent/joiner.onnx --tokens=/nonexistent/tokens.txt \
    --model-type=nemo_transducer --num-threads=1 "$root/tests/fixtures/whisper-server/silence_1s.wav" \
    2>"$scratch/sherpa.txt"
grep -q "модель не загрузилась" "$scratch/sherpa.txt" || {
    cat "$scratch/sherpa.txt" >&2
    exit 1
}
grep -q "sherpa-onnx" /opt/tolvan/share/tolvan/Лицензии
# The voice detector's model, and its licence.
cmp -s /opt/tolvan/share/tolvan/vad/silero_vad_v5.onnx "$tree/share/tolvan/vad/silero_vad_v5.onnx"
grep -q "Silero VAD" /opt/tolvan/share/tolvan/Лицензии
dpkg_retrying --purge tolvan
installed=0
[[ ! -e /usr/bin/tolvan && ! -e /opt/tolvan ]]

echo "== update image"
# Signed with a throwaway key, which this build for testing takes from TOLVAN_TEST_UPDATE_KEY; the fingerprint the
# script names is the one the app shows.
openssl genpkey -algorithm ed25519 -out "$scratch/update-key.pem"
TOLVAN_SIGNING_KEY="$scratch/update-key.pem" "$root/scripts/make-update-image.sh" "$tree" "$dist" 2>"$scratch/signed.txt"
TOLVAN_TEST_UPDATE_KEY=$(openssl pkey -in "$scratch/update-key.pem" -pubout -outform DER | tail -c 32 | base64)
export TOLVAN_TEST_UPDATE_KEY TOLVAN_INSTALL_DIR="$scratch/opt/Толван.app" TMPDIR="$scratch/tmp"
fingerprint=$(sed -n 's/^подписано ключом с отпечатком //p' "$scratch/signed.txt")
"$tree/bin/tolvan" --version | grep -qF "с отпечатком $fingerprint." || {
    echo "tolvan --version не называет ключ $fingerprint" >&2
    exit 1
}
mkdir -p "$TMPDIR"
"$tree/bin/tolvan" --update-now "file://$(cd "$dist" && pwd)/feed.json"
"$TOLVAN_INSTALL_DIR/bin/tolvan" --version
[[ -x "$TOLVAN_INSTALL_DIR/share/tolvan/bin/whisper-server" && -x "$TOLVAN_INSTALL_DIR/share/tolvan/llama/bin/llama-server" ]]
[[ -x "$TOLVAN_INSTALL_DIR/share/tolvan/sherpa/bin/sherpa-onnx-offline" ]]
[[ -f "$TOLVAN_INSTALL_DIR/share/tolvan/sherpa/bin/libonnxruntime.so" ]]
[[ -f "$TOLVAN_INSTALL_DIR/share/tolvan/vad/silero_vad_v5.onnx" ]]
echo "== пакет и образ обновления в порядке"
