#!/usr/bin/env bash
# Counts how many of the deliberate faults in scripts/faults.txt the test suite catches: each fault in turn
# is put into src/, the tree is rebuilt and the tests run; the source is put back before the next one.
#   scripts/fault-check.sh BUILD_DIR [NUMBER...]      full count (NUMBER: 1-based fault numbers)
#   scripts/fault-check.sh --check [BUILD_DIR] [NUMBER...]   only apply each fault and syntax-check it
# JOBS sets the parallel build and test jobs (default 2). Logs go to BUILD_DIR/faults/.
# FAULT_TARGETS (build targets, space-separated) and FAULT_TESTS (a ctest -R pattern) narrow a full count to
# some tests, to see which faults those tests catch on their own.
set -euo pipefail
# The script's own text handling is byte-wise; the builds and tests it runs keep the caller's locale (some tests
# need a UTF-8 one, and failing for that reason would count as catching every fault).
caller_locale=(env -u LC_ALL)
[[ -z ${LC_ALL+set} ]] || caller_locale=(env "LC_ALL=$LC_ALL")
export LC_ALL=C

root=$(cd "$(dirname "$0")/.." && pwd)
faults_file=scripts/faults.txt
jobs=${JOBS:-2}
read -r -a targets <<<"${FAULT_TARGETS:-}"
test_filter=()
[[ -z ${FAULT_TESTS:-} ]] || test_filter=(-R "$FAULT_TESTS")

usage() {
    echo "usage: $0 BUILD_DIR [NUMBER...]" >&2
    echo "       $0 --check [BUILD_DIR] [NUMBER...]" >&2
    exit 2
}

check_only=0
if [[ ${1:-} == --check ]]; then
    check_only=1
    shift
    build=$root/build/check
    if [[ $# -gt 0 && ! $1 =~ ^[0-9]+$ ]]; then
        build=$1
        shift
    fi
else
    [[ $# -ge 1 && ! $1 =~ ^[0-9]+$ && $1 != -* ]] || usage
    build=$1
    shift
fi
for number in "$@"; do
    [[ $number =~ ^[1-9][0-9]*$ ]] || usage
done
build=$(mkdir -p "$build" && cd "$build" && pwd)
cd "$root"

# ---------------------------------------------------------------- reading faults.txt
areas=() files=() whys=() froms=() tos=()
parse_faults() {
    local line state=head area="" file="" why="" from="" to="" nl=$'\n'
    while IFS= read -r line || [[ -n $line ]]; do
        if [[ $line == --- ]]; then
            [[ -n $file ]] || { echo "$faults_file: record without file:" >&2; exit 2; }
            areas+=("$area") files+=("$file") whys+=("$why") froms+=("${from%"$nl"}") tos+=("${to%"$nl"}")
            state=head area="" file="" why="" from="" to=""
        elif [[ $state == from ]]; then
            if [[ $line == to: ]]; then state=to; else from+=$line$nl; fi
        elif [[ $state == to ]]; then
            to+=$line$nl
        elif [[ $line == from: ]]; then
            state=from
        elif [[ $line =~ ^area:[[:space:]]*([a-z]+) ]]; then
            area=${BASH_REMATCH[1]}
        elif [[ $line =~ ^file:[[:space:]]*(.*[^[:space:]]) ]]; then
            file=${BASH_REMATCH[1]}
        elif [[ $line =~ ^why:[[:space:]]*(.*) ]]; then
            why=${BASH_REMATCH[1]}
        elif [[ -n $line && $line != \#* ]]; then
            echo "$faults_file: unexpected line: $line" >&2
            exit 2
        fi
    done <"$faults_file"
    [[ $state == head ]] || { echo "$faults_file: the last record has no --- line" >&2; exit 2; }
}
parse_faults
count=${#files[@]}
selected=("$@")
if [[ ${#selected[@]} -eq 0 ]]; then
    mapfile -t selected < <(seq 1 "$count")
fi
for number in "${selected[@]}"; do
    ((number <= count)) || { echo "there are only $count faults" >&2; exit 2; }
done

# ---------------------------------------------------------------- backups and restoring
backups=$(mktemp -d "${TMPDIR:-/tmp}/tolvan-faults-XXXXXX")
backed_up=()
child=""

restore_all() {
    local file saved ok=0
    for file in "${backed_up[@]}"; do
        saved="$backups/${file//\//_}"
        if ! cp "$saved" "$file"; then
            echo "could not restore $file from $saved" >&2
            ok=1
        elif ((check_only)); then
            # Nothing was built from the fault in a check: keep the time, so nothing is rebuilt either.
            touch -r "$saved" "$file"
        fi
    done
    if ((ok == 0)); then
        backed_up=()
    fi
    return $ok
}

on_exit() {
    local status=$?
    trap - EXIT INT TERM
    if [[ -n $child ]]; then
        kill -TERM -- "-$child" 2>/dev/null || kill -TERM "$child" 2>/dev/null || true
        wait "$child" 2>/dev/null || true
    fi
    if restore_all; then
        rm -rf "$backups"
    else
        echo "backups kept in $backups" >&2
        status=3
    fi
    exit "$status"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Runs a command in a process group of its own, so that an interruption ends all of it; returns its status.
run_logged() {
    local log=$1
    shift
    setsid "${caller_locale[@]}" "$@" >>"$log" 2>&1 </dev/null &
    child=$!
    local status=0
    wait "$child" || status=$?
    child=""
    return $status
}

# ---------------------------------------------------------------- applying one fault
# Prints how often `from` occurs in the file's text.
occurrences() {
    local rest=$1 from=$2 n=0
    while [[ $rest == *"$from"* ]]; do
        rest=${rest#*"$from"}
        n=$((n + 1))
    done
    echo "$n"
}

# Backs the file up and replaces the single occurrence; false when there is not exactly one.
apply_fault() {
    local index=$1 file=${files[$1]} text
    [[ -f $file ]] || return 1
    text=$(cat "$file"; printf x)
    text=${text%x}
    [[ $(occurrences "$text" "${froms[index]}") == 1 ]] || return 1
    cp -p "$file" "$backups/${file//\//_}"
    backed_up+=("$file")
    local before=${text%%"${froms[index]}"*} after=${text#*"${froms[index]}"}
    printf '%s' "$before${tos[index]}$after" >"$file"
}

# One field ("directory" or "command") of a source file's entry in the compilation database, unescaped.
database_field() {
    local database=$1 field=$2 source=$3
    awk -v field="\"$field\": \"" -v wanted="\"file\": \"$source\"" '
        index($0, field) { value = substr($0, index($0, field) + length(field)); sub(/",?[ \t]*$/, "", value) }
        index($0, wanted) { print value; exit }
    ' "$database" | sed -e 's/\\"/"/g' -e 's/\\\\/\\/g'
}

# Compiles a source file with -fsyntax-only instead of producing an object file.
syntax_check() {
    local file=$1 database=$build/compile_commands.json source command
    source=$root/$file
    if [[ $file == *.h ]]; then
        source=$root/${file%.h}.cpp
        if ! grep -q "\"file\": \"$source\"" "$database"; then
            source=$(grep -l "#include \"${file#src/}\"" "$root/$(dirname "$file")"/*.cpp 2>/dev/null | head -n 1 || true)
        fi
    fi
    command=$(database_field "$database" command "$source")
    [[ -n $command ]] || { echo "no compile command for $source in $database"; return 1; }
    local -a words arguments=()
    eval "words=($command)"
    local skip=0 word
    for word in "${words[@]}"; do
        if ((skip)); then skip=0; continue; fi
        case $word in
        -o) skip=1 ;;
        -c) arguments+=(-fsyntax-only) ;;
        *) arguments+=("$word") ;;
        esac
    done
    (cd "$(database_field "$database" directory "$source")" && "${arguments[@]}")
}

# ---------------------------------------------------------------- the run
logs=$build/faults
mkdir -p "$logs"
if ((check_only)); then
    [[ -f $build/compile_commands.json ]] || { echo "no $build/compile_commands.json" >&2; exit 2; }
else
    setup_log=$logs/setup.log
    : >"$setup_log"
    echo "preparing $build (log: $setup_log)"
    {
        if [[ ! -f $build/build.ninja ]]; then
            run_logged "$setup_log" cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
                -DTOLVAN_BUILD_BENCHMARKS=OFF
        fi &&
            run_logged "$setup_log" cmake --build "$build" -j "$jobs" ${targets[@]/#/--target=} &&
            run_logged "$setup_log" env JOBS="$jobs" scripts/build-whisper-server.sh "$build"
    } || { echo "the unchanged tree does not build, see $setup_log" >&2; exit 1; }
fi
src_before=$(git diff -- src)
[[ -z $src_before ]] || echo "note: src already differs from git; it is compared with that state at the end"

caught=0 tried=0 unbuilt=0 unapplied=0 passed=0
for number in "${selected[@]}"; do
    index=$((number - 1))
    label=$(printf '%02d' "$number")
    log=$logs/fault-$label.log
    : >"$log"
    if ! apply_fault "$index"; then
        result="NOT APPLIED"
        unapplied=$((unapplied + 1))
    elif ((check_only)); then
        if syntax_check "${files[index]}" >>"$log" 2>&1; then
            result=ok
            passed=$((passed + 1))
        else
            result="DOES NOT BUILD"
            unbuilt=$((unbuilt + 1))
        fi
    elif ! run_logged "$log" cmake --build "$build" -j "$jobs" ${targets[@]/#/--target=}; then
        result="DOES NOT BUILD"
        unbuilt=$((unbuilt + 1))
    else
        tried=$((tried + 1))
        result=MISSED
        if ! run_logged "$log" ctest --test-dir "$build" -L 'unit|integration' "${test_filter[@]}" -j "$jobs" \
            --stop-on-failure --timeout 120 -Q; then
            result=caught
        elif [[ ${areas[index]} == desktop ]] &&
            ! run_logged "$log" tests/desktop/with-desktop.sh ctest --test-dir "$build" -L desktop "${test_filter[@]}" \
                -j "$jobs" --stop-on-failure --timeout 180 -Q; then
            result=caught
        fi
        [[ $result == caught ]] && caught=$((caught + 1))
    fi
    restore_all || { echo "could not restore the sources" >&2; exit 3; }
    printf '%s %s  %s  %s\n' "$label" "$result" "${files[index]}" "${whys[index]}"
done

if ((check_only)); then
    echo "applied and syntax-checked: $passed of ${#selected[@]} (not applied: $unapplied, not compiling: $unbuilt)"
else
    echo "caught $caught of $tried (not applied: $unapplied, does not build: $unbuilt)"
fi
if [[ $(git diff -- src) == "$src_before" ]]; then
    echo "src is unchanged (git diff -- src as before the run)"
else
    echo "src differs from its state before the run" >&2
    exit 3
fi
