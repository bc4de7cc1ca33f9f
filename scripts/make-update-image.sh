#!/usr/bin/env bash
# The updater's image of a build tree's bundle and the feed that announces it:
#   scripts/make-update-image.sh build/release build/dist
# writes build/dist/Tolvan-<version>-<build>.tar.gz (its top level is the directory Толван.app holding bin/,
# share/ and Contents/Info.json) and build/dist/feed.json ({"version","build","url","notes","sha256"}, with
# the image named relative to the feed). NOTES replaces the release notes.
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
root=$(cd "$(dirname "$0")/.." && pwd)
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" -C "$stage" -cf - "Толван.app" |
    gzip -9 -n >"$dist/$image.tmp"
mv "$dist/$image.tmp" "$dist/$image"
sha256=$(sha256sum "$dist/$image" | cut -d' ' -f1)

escape() {
    local text=${1//\\/\\\\}
    text=${text//\"/\\\"}
    text=${text//$'\n'/\\n}
    printf '%s' "$text"
}
printf '{"version": "%s", "build": %s, "url": "%s", "notes": "%s", "sha256": "%s"}\n' \
    "$(escape "$version")" "$build" "$image" "$(escape "$notes")" "$sha256" >"$dist/feed.json"
echo "$dist/$image"
echo "$dist/feed.json"
