#!/usr/bin/env bash
# Runs a native Wayland client of a compositor started by start-compositor.sh, as the compositor's user, with
# GTK on its Wayland backend, in the compositor's runtime directory. That user may be unable to enter the
# checkout (a home folder of mode 0700, a `mktemp -d` folder): a file named on the command line that it cannot
# read is run from a copy in the runtime directory. With RIG_ACCESSIBILITY_BUS (the rig's session bus) set, GTK
# reports to the accessibility bus of that session; without, it stays off any bus.
# Usage: [RIG_ACCESSIBILITY_BUS=ADDRESS] tests/desktop/wayland/run-client.sh RUNTIME WAYLAND_DISPLAY COMMAND [ARGUMENTS...]
set -euo pipefail
runtime=$1
socket=$2
shift 2
as_user=()
if [[ $(id -u) -eq 0 ]]; then as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
command=()
for argument in "$@"; do
    if [[ $argument == /* && -f $argument ]] && ! "${as_user[@]}" test -r "$argument"; then
        mkdir -p "$runtime/clients"
        cp "$argument" "$runtime/clients/"
        argument="$runtime/clients/$(basename "$argument")"
    fi
    command+=("$argument")
done
bus=(NO_AT_BRIDGE=1)
if [[ -n "${RIG_ACCESSIBILITY_BUS:-}" ]]; then bus=(DBUS_SESSION_BUS_ADDRESS="$RIG_ACCESSIBILITY_BUS"); fi
cd "$runtime"
exec env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$runtime" XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" \
    GDK_BACKEND=wayland "${bus[@]}" "${as_user[@]}" "${command[@]}"
