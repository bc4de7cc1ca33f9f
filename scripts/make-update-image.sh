#!/usr/bin/env bash
# The updater's image of a build tree's bundle and the feed that announces it:
#   TOLVAN_SIGNING_KEY=~/.config/tolvan-release/update-key.pem scripts/make-update-image.sh build/release build/dist
# writes build/dist/Tolvan-<version>-<build>.tar.gz (its top level is the directory Толван.app holding bin/,
# share/ and Contents/Info.json), build/dist/feed.json ({"version","build","url","size","notes","sha256",
# "signature"}, with the image named relative to the feed and its size in bytes) and build/dist/feed.json.sig.
# The signatures are Ed25519, made with the private key in the file TOLVAN_SIGNING_KEY (openssl's PEM, see
# scripts/update-signing-key.sh; asked for its passphrase once): "signature" of the image's bytes, feed.json.sig
# of the feed's. Without the variable both are made unsigned, and Tolvan will not install them. NOTES replaces
# the release notes.
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 BUILD_TREE DIST_DIR" >&2
    exit 2
fi
tree=$1
dist=$2
info="$tree/Contents/Info.json"
if [[ ! -f "$info" || ! -x "$tree/bin/tolvan" ]]; then
    echo "$tree: сначала соберите приложение" >&2
    exit 1
fi
if [[ ! -x "$tree/share/tolvan/bin/whisper-server" ]]; then
    echo "$tree: нет whisper-server (scripts/build-whisper-server.sh $tree)" >&2
    exit 1
fi

# A string member of Info.json, which CMake writes one member a line.
json_member() {
    sed -n "s/^ *\"$1\": *\"\(.*\)\",\{0,1\}\$/\1/p" "$info"
}
version=$(json_member CFBundleShortVersionString)
build=$(json_member CFBundleVersion)
if [[ ! "$build" =~ ^[0-9]+$ ]]; then
    echo "$info: CFBundleVersion «$build» — не число" >&2
    exit 1
fi
notes=${NOTES:-"Толван $version, сборка $build"}

root=$(cd "$(dirname "$0")/.." && pwd)
key=${TOLVAN_SIGNING_KEY:-}
passphrase=""
if [[ -n "$key" ]]; then
    if [[ ! -f "$key" ]]; then
        echo "TOLVAN_SIGNING_KEY: нет файла $key" >&2
        exit 1
    fi
    case "$(realpath "$key")/" in
    "$root"/*)
        echo "$key лежит в репозитории: закрытый ключ хранится только вне его" >&2
        exit 1
        ;;
    esac
    if grep -q "ENCRYPTED PRIVATE KEY" "$key"; then
        read -rsp "Пароль ключа $key: " passphrase </dev/tty
        echo >&2
    fi
fi
# The Ed25519 signature of a file, in base64.
sign() {
    openssl pkeyutl -sign -rawin -inkey "$key" -passin fd:3 -in "$1" 3<<<"$passphrase" | base64 -w 0
}

mkdir -p "$dist"
stage=$(mktemp -d "$dist/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cmake --install "$tree" --prefix "$stage/Толван.app" --strip >/dev/null
# The updater starts bin/tolvan of the new copy and looks for its recognizer beside it.
for program in bin/tolvan share/tolvan/bin/whisper-server; do
    [[ -x "$stage/Толван.app/$program" ]] || { echo "в образе нет исполняемого $program" >&2; exit 1; }
done

image="Tolvan-$version-$build.tar.gz"
# The same tree gives the same bytes: names sorted, owners fixed, times those of the last commit.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" -C "$stage" -cf - "Толван.app" |
    gzip -9 -n >"$dist/$image.tmp"
mv "$dist/$image.tmp" "$dist/$image"
sha256=$(sha256sum "$dist/$image" | cut -d' ' -f1)
size=$(stat -c %s "$dist/$image")
signature_member=""
if [[ -n "$key" ]]; then
    signature_member=", \"signature\": \"$(sign "$dist/$image")\""
fi

escape() {
    local text=${1//\\/\\\\}
    text=${text//\"/\\\"}
    text=${text//$'\n'/\\n}
    printf '%s' "$text"
}
printf '{"version": "%s", "build": %s, "url": "%s", "size": %s, "notes": "%s", "sha256": "%s"%s}\n' \
    "$(escape "$version")" "$build" "$image" "$size" "$(escape "$notes")" "$sha256" "$signature_member" \
    >"$dist/feed.json"
rm -f "$dist/feed.json.sig"
echo "$dist/$image"
echo "$dist/feed.json"
if [[ -z "$key" ]]; then
    echo "TOLVAN_SIGNING_KEY не задан: образ и фид не подписаны, Толван их не установит" >&2
    exit 0
fi
sign "$dist/feed.json" >"$dist/feed.json.tmp"
echo >>"$dist/feed.json.tmp"
mv "$dist/feed.json.tmp" "$dist/feed.json.sig"
echo "$dist/feed.json.sig"
# The About box names the key the same way: the first 16 bytes of the SHA-256 of its 32 raw bytes.
fingerprint=$(openssl pkey -in "$key" -passin fd:3 -pubout -outform DER 3<<<"$passphrase" | tail -c 32 |
    sha256sum | cut -c 1-32 | sed 's/..../& /g; s/ $//')
echo "подписано ключом с отпечатком $fingerprint" >&2
