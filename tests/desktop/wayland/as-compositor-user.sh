#!/usr/bin/env bash
# Runs a program as the user of a compositor started by start-compositor.sh, inside its session (its Wayland
# socket, XWayland display and session bus), e.g. a native Wayland client.
# Usage: tests/desktop/wayland/as-compositor-user.sh COMPOSITOR_RUNTIME_DIR PROGRAM [ARGUMENTS...]
set -euo pipefail

runtime=${1:?usage: as-compositor-user.sh COMPOSITOR_RUNTIME_DIR PROGRAM [ARGUMENTS...]}
shift
owner=$(stat -c %u "$runtime")
mapfile -t session <"$runtime/client.env"
as_user=()
if [[ $(id -u) != "$owner" ]]; then
    as_user=(setpriv --reuid="$owner" --regid="$owner" --clear-groups)
fi
exec "${as_user[@]}" env -i HOME="$runtime" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    NO_AT_BRIDGE=1 "${session[@]}" "$@"
