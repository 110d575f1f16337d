#!/bin/bash
# Measures Vormel on generated well-formed files of 1 and 10 million
# transition lines, with `wc -l` and `cat` on the same files as floors:
# throughput (MB/s of input, median of several runs, report to /dev/null),
# instructions per transition line (callgrind's count on the file minus its
# count on the same header with no lines) and peak resident memory.
# usage: bench/run.sh [BUILD-DIR]   (default: build; it is built first)
set -euo pipefail
build=${1:-build}
cmake -S "$(dirname "$0")/.." -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target Vormel Quindle vormel-gen >/dev/null
vormel=$(realpath "$build/bin/Vormel")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
runs=5

instructions() { # command...: instructions counted by callgrind
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : //p'
}

median_seconds() { # command...: the median wall time of $runs runs
  for _ in $(seq $runs); do
    start=$(date +%s%N)
    "$@" >/dev/null
    echo $(($(date +%s%N) - start))
  done | sort -n | sed -n "$(((runs + 1) / 2))p" | awk '{ printf "%.4f", $1 / 1e9 }'
}

"$build/bench/vormel-gen" 0 >"$dir/header"
printf '%-12s %-8s %10s %12s %14s\n' lines command MB/s instr/line "peak KiB"
for lines in 1000000 10000000; do
  file=$dir/$lines
  "$build/bench/vormel-gen" $lines >"$file"
  mb=$(stat -c %s "$file" | awk '{ print $1 / 1e6 }')
  for name in Vormel "wc -l" cat; do
    case $name in
      Vormel) cmd=("$vormel") ;;
      "wc -l") cmd=(wc -l) ;;
      cat) cmd=(cat) ;;
    esac
    seconds=$(median_seconds "${cmd[@]}" "$file")
    per_line=$(($(instructions "${cmd[@]}" "$file") - $(instructions "${cmd[@]}" "$dir/header")))
    peak=$(/usr/bin/time -f %M "${cmd[@]}" "$file" 2>&1 >/dev/null)
    printf '%-12s %-8s %10.0f %12.1f %14s\n' $lines "$name" \
      "$(awk "BEGIN { print $mb / $seconds }")" "$(awk "BEGIN { print $per_line / $lines }")" "$peak"
  done
done

cd "$(dirname "$0")/../examples"
run=$(instructions "$vormel" automata.txt)
empty=$(instructions "$(dirname "$vormel")/Quindle")
printf '\nstart-up: %s instructions for Vormel on examples/automata.txt, %s for Quindle (%s)\n' \
  "$run" "$empty" "$(awk "BEGIN { printf \"%.3f\", $run / $empty }")"
