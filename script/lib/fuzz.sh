# The bounded libFuzzer run behind the fuzz hooks in script/test.d: builds one target with Debian's
# clang, seeds its corpus from the corpus folder beside the target's source, runs it for a set time and
# writes the hook's counts for script/test.
#   run_fuzz <name> <seconds> <packages list> <target source> <sources...>
# The build and its log go to $VESTREL_BUILD_ROOT/<name>; the counts to $VESTREL_RESULTS_DIR/<name>.counts.

run_fuzz() {
    local name=$1 seconds=$2 packages=$3 target=$4
    shift 4
    local src root out
    src="${VESTREL_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
    root="${VESTREL_BUILD_ROOT:-$src/build}"
    case "$root" in /*) ;; *) root="$src/$root" ;; esac
    out="$root/$name"
    mkdir -p "$out/corpus" "$out/artifacts"

    report() {
        if [[ -n "${VESTREL_RESULTS_DIR:-}" ]]; then
            mkdir -p "$VESTREL_RESULTS_DIR"
            echo "$1 $2" >"$VESTREL_RESULTS_DIR/$name.counts"
        fi
    }

    if ! command -v clang++ >/dev/null; then
        echo "$name: clang++ is missing ($packages lists it)" >&2
        report 0 1
        return 1
    fi

    local sources=() file
    for file in "$target" "$@"; do sources+=("$src/$file"); done
    clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$src" \
        "${sources[@]}" -o "$out/$name"

    cp -n "$src/$(dirname "$target")/corpus/"* "$out/corpus/" 2>/dev/null || true
    # -max_total_time ends the run by itself; timeout is only a backstop should the fuzzer hang.
    if timeout --kill-after=10 $((seconds + 60)) "$out/$name" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=1536 -max_len=16384 -print_final_stats=1 -artifact_prefix="$out/artifacts/" \
        "$out/corpus" >"$out/fuzz.log" 2>&1; then
        echo "$name: no fault in ${seconds}s ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$out/fuzz.log" | grep -o '[0-9]*$') runs)"
        report 1 0
    else
        echo "$name: fault found; see $out/fuzz.log and $out/artifacts/" >&2
        tail -40 "$out/fuzz.log" >&2
        report 0 1
        return 1
    fi
}
