#!/usr/bin/env bash
# The layers of src/: each folder is one library, tolvan_<folder>, and includes only from the folders before it in
# this order. Fails naming every include that reaches forward, every library whose links differ from the folders
# its code includes from, every library below ui/ that links Qt's widgets, every include of platform/'s families
# from outside it (the rest enters through the facades at its top), and every operating-system, display or sound
# header outside platform/. The folders of programs of their own beside the app (sherpa/) include none of the app's.
set -euo pipefail
cd "$(dirname "$0")/../src"
order=(core transcript platform children audio downloads text engines voice recording update quality dictation ui app cli)
status=0
for ((index = 0; index < ${#order[@]}; index++)); do
    folder=${order[index]}
    later=$(IFS='|'; echo "${order[*]:index+1}")
    if [[ -n "$later" ]] && grep -rnE "#include \"($later)/" "$folder" --include='*.h' --include='*.cpp'; then
        status=1
    fi
    included=$(grep -rhoE '#include "[a-z]+/' "$folder" --include='*.h' --include='*.cpp' \
        | sed -E 's/#include "([a-z]+)\//\1/' | grep -vx "$folder" | sort -u | tr '\n' ' ' || true)
    linked=$(sed -n "/target_link_libraries(tolvan_$folder PUBLIC/,/)/p" "$folder/CMakeLists.txt" \
        | grep -oE 'tolvan_[a-z]+' | sed 's/^tolvan_//' | grep -vx "$folder" | sort -u | tr '\n' ' ' || true)
    if [[ "$included" != "$linked" ]]; then
        echo "$folder/CMakeLists.txt links [${linked% }] but its code includes from [${included% }]"
        status=1
    fi
done
# Widgets begin at ui/: what lies below it runs, and is tested, without one.
for folder in "${order[@]}"; do
    [[ "$folder" == ui ]] && break
    if grep -n 'Qt6::Widgets' "$folder/CMakeLists.txt"; then
        echo "$folder/ lies below ui/ and links Qt's widgets"
        status=1
    fi
done
# platform/ is entered through the facades at its top; its families beneath are its own.
if grep -rnE '#include "platform/[a-z0-9]+/' --include='*.h' --include='*.cpp' . | grep -v '^./platform/'; then
    status=1
fi
os_headers='(X11|pulse|xcb|linux|sys|gio|glib|vulkan)/|wayland-[a-z0-9-]+\.h|(unistd|fcntl|signal|spawn|poll|dlfcn|pwd|termios|dirent)\.h'
if grep -rnE "#include <($os_headers)" --include='*.h' --include='*.cpp' . | grep -vE '^./(platform|sherpa)/'; then
    status=1
fi
standalone=(sherpa)
all=$(IFS='|'; echo "${order[*]}")
for folder in "${standalone[@]}"; do
    if grep -rnE "#include \"($all)/" "$folder" --include='*.h' --include='*.cpp'; then
        status=1
    fi
done
[[ $status -eq 0 ]] || echo "check-layers: the includes or links above break the layers" >&2
exit $status
