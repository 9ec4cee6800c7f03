#!/usr/bin/env bash
# Bounded libFuzzer run over the reading and grading of judges' answers and the reading of proxy lists,
# built with Debian's clang.
# VESTREL_JUDGE_FUZZ_SECONDS sets the length of the run (default 30).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/fuzz.sh"

run_fuzz judge-fuzz "${VESTREL_JUDGE_FUZZ_SECONDS:-30}" script/packages.d/catalogue.txt \
    tests/catalogue/fuzz/JudgeAnswerFuzz.cpp catalogue/JudgeAnswer.cpp catalogue/ListFormats.cpp \
    catalogue/ProxyText.cpp
