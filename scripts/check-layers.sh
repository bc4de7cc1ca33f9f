#!/usr/bin/env bash
# Each folder of src/ includes only from the folders before it in this order; fails naming every include
# that reaches forward. The folders of programs of their own beside the app (sherpa/) include none of the app's.
set -euo pipefail
cd "$(dirname "$0")/../src"
order=(core model platform text engines update quality dictation app cli)
status=0
for ((index = 0; index < ${#order[@]}; index++)); do
    folder=${order[index]}
    later=$(IFS='|'; echo "${order[*]:index+1}")
    [[ -z "$later" ]] && continue
    if grep -rnE "#include \"($later)/" "$folder" --include='*.h' --include='*.cpp'; then
        status=1
    fi
done
standalone=(sherpa)
all=$(IFS='|'; echo "${order[*]}")
for folder in "${standalone[@]}"; do
    if grep -rnE "#include \"($all)/" "$folder" --include='*.h' --include='*.cpp'; then
        status=1
    fi
done
[[ $status -eq 0 ]] || echo "check-layers: the includes above reach a folder that comes later" >&2
exit $status
