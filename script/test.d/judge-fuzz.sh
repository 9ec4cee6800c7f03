#!/usr/bin/env bash
# Bounded libFuzzer run over the reading and grading of judges' answers, built with Debian's clang. VESTREL_JUDGE_FUZZ_SECONDS sets the length of the run (default 30).
set -euo pipefail

src="${VESTREL_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
root="${VESTREL_BUILD_ROOT:-$src/build}"
case "$root" in /*) ;; *) root="$src/$root" ;; esac
out="$root/judge-fuzz"
seconds="${VESTREL_JUDGE_FUZZ_SECONDS:-30}"
mkdir -p "$out/corpus" "$out/artifacts"

report() {
    if [[ -n "${VESTREL_RESULTS_DIR:-}" ]]; then
        mkdir -p "$VESTREL_RESULTS_DIR"
        echo "$1 $2" > "$VESTREL_RESULTS_DIR/judge-fuzz.counts"
    fi
}

if ! command -v clang++ >/dev/null; then
    echo "judge-fuzz: clang++ is missing (script/packages.d/catalogue.txt lists it)" >&2
    report 0 1
    exit 1
fi

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$src" \
    "$src/tests/catalogue/fuzz/JudgeAnswerFuzz.cpp" "$src/catalogue/JudgeAnswer.cpp" -o "$out/judge-fuzz"

cp -n "$src/tests/catalogue/fuzz/corpus/"* "$out/corpus/" 2>/dev/null || true
# -max_total_time ends the run by itself; timeout is only a backstop should the fuzzer hang.
if timeout --kill-after=10 $((seconds + 60)) "$out/judge-fuzz" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=1536 -max_len=16384 -print_final_stats=1 -artifact_prefix="$out/artifacts/" \
    "$out/corpus" >"$out/fuzz.log" 2>&1; then
    echo "judge-fuzz: no fault in ${seconds}s ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$out/fuzz.log" | grep -o '[0-9]*$') runs)"
    report 1 0
else
    echo "judge-fuzz: fault found; see $out/fuzz.log and $out/artifacts/" >&2
    tail -40 "$out/fuzz.log" >&2
    report 0 1
    exit 1
fi
