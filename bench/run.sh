#!/bin/bash
# SPDX-License-Identifier: MIT
# Measures Vormel on generated files of well-formed transition lines, ending
# in a line feed, in a carriage return and a line feed, and in varied white
# space, with `wc -l` and `cat` on the same files as floors:
# - instructions per line: callgrind's count on a file of a million lines
#   minus its count on the same header with no lines;
# - wall time on a file of ten million lines, report to /dev/null: the
#   median of paired runs, each command alternating with cat, and the
#   median of the ratios to cat;
# - peak resident memory on that file.
# Then start-up: instructions and wall time to report the example file,
# against Quindle and /bin/true.
# usage: bench/run.sh [BUILD-DIR]   (default: build; it is built first)
set -euo pipefail
build=${1:-build}
cmake -S "$(dirname "$0")/.." -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target Vormel Quindle vormel-gen >/dev/null
vormel=$(realpath "$build/bin/Vormel")
quindle=$(realpath "$build/bin/Quindle")
gen=$build/bench/vormel-gen
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
runs=21

instructions() { # command...: instructions counted by callgrind
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : //p'
}

median() { sort -g | sed -n "$(((runs + 1) / 2))p"; }

paired() { # base command...: "median-seconds median-ratio" of command against base, alternating
  local base=$1
  shift
  for _ in $(seq $runs); do
    t0=$EPOCHREALTIME
    "$@" >/dev/null
    t1=$EPOCHREALTIME
    $base >/dev/null
    t2=$EPOCHREALTIME
    echo "$t0 $t1 $t2"
  done | awk '{ print $2 - $1, ($2 - $1) / ($3 - $2) }' >"$dir/times"
  echo "$(cut -d' ' -f1 "$dir/times" | median) $(cut -d' ' -f2 "$dir/times" | median)"
}

"$gen" 0 >"$dir/header"
printf '%-12s %-8s %10s %10s %8s %10s\n' "lines end" command instr/line ms "x cat" "peak KiB"
for shape in LF "CR LF" varied; do
  case $shape in
    LF) flag=() ;;
    "CR LF") flag=(-c) ;;
    varied) flag=(-w) ;;
  esac
  "$gen" "${flag[@]}" 1000000 >"$dir/small"
  "$gen" "${flag[@]}" 10000000 >"$dir/large"
  for name in Vormel "wc -l" cat; do
    case $name in
      Vormel) cmd=("$vormel") ;;
      "wc -l") cmd=(wc -l) ;;
      cat) cmd=(cat) ;;
    esac
    per_line=$(($(instructions "${cmd[@]}" "$dir/small") - $(instructions "${cmd[@]}" "$dir/header")))
    read -r seconds ratio < <(paired "cat $dir/large" "${cmd[@]}" "$dir/large")
    peak=$(/usr/bin/time -f %M "${cmd[@]}" "$dir/large" 2>&1 >/dev/null)
    printf '%-12s %-8s %10.1f %10.1f %8.2f %10s\n' "$shape" "$name" \
      "$(awk "BEGIN { print $per_line / 1000000 }")" "$(awk "BEGIN { print $seconds * 1000 }")" \
      "$ratio" "$peak"
  done
done

cd "$(dirname "$0")/../examples"
printf '\nstart-up, reporting examples/automata.txt:\n'
printf '  instructions: Vormel %s, Quindle %s, /bin/true %s\n' \
  "$(instructions "$vormel" automata.txt)" "$(instructions "$quindle")" "$(instructions /bin/true)"
runs=301
read -r seconds ratio < <(paired /bin/true "$vormel" automata.txt)
printf '  wall time: Vormel %.0f us, %.2f times /bin/true (median of %d paired runs)\n' \
  "$(awk "BEGIN { print $seconds * 1e6 }")" "$ratio" $runs
