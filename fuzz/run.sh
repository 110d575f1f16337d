#!/bin/bash
# SPDX-License-Identifier: MIT
# Builds the fuzzer (clang's libFuzzer, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for SECONDS in JOBS processes,
# its corpus seeded with the golden inputs; an input that takes over five
# seconds counts as a hang.  Findings land in DIR/artifacts, and the corpus
# grows in DIR/corpus (DIR: build-fuzz).  Further arguments go to
# libFuzzer, such as -max_len=300000 -len_control=0 for inputs that cross
# the normal buffer.
# usage: fuzz/run.sh [SECONDS [JOBS [DIR [FLAG...]]]]
set -euo pipefail
seconds=${1:-60} jobs=${2:-1}
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${3:-$top/build-fuzz}
shift $(($# < 3 ? $# : 3))
mkdir -p "$dir/corpus" "$dir/artifacts"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  "$top/fuzz/vormel_fuzz.cpp" "$top/fuzz/literal.cpp" \
  "$top/automaton-reader/vector-step/vector-step.cpp" -o "$dir/vormel_fuzz"
for input in "$top"/tests/Vormel/*/input; do
  cp "$input" "$dir/corpus/seed-$(basename "$(dirname "$input")")"
done
fork=()
[ "$jobs" -gt 1 ] && fork=(-fork="$jobs")
cd "$dir"
exec ./vormel_fuzz "${fork[@]}" -max_total_time="$seconds" -timeout=5 -artifact_prefix="$dir/artifacts/" \
  -print_final_stats=1 "$@" "$dir/corpus"
