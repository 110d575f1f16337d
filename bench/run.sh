#!/bin/bash
# SPDX-License-Identifier: MIT
# Measures Vormel on generated files of well-formed transition lines, of
# every shape a generator writes (lines ending in a line feed, in CR LF, in
# a blank and a line feed, indented, all on one line, a blank line after
# every tenth, varied white space), on each layer of the vector step:
# AVX-512 where the processor has it, AVX2 (glibc told to hide AVX-512),
# SSE4 (AVX2 hidden too) and the scalar reader (SSSE3, SSE4.1 and SSE4.2
# hidden too), with `wc -l`, `cat` and the floor program
# (vormel-floor: the file read and as many bytes as its report stored and
# written, no work a line) on the same files as floors:
# - instructions per line: callgrind's count on a file of a million lines
#   minus its count on the same header with no lines (callgrind runs no
#   AVX-512, so its count starts at AVX2); for arm64 (NEON),
#   given its build, the instructions qemu-aarch64 runs on 20,000 lines
#   minus those on the header;
# - wall time on a file of ten million lines, report to /dev/null, as the
#   median of the ratios of paired runs, each command alternating with its
#   floor: Vormel on each layer with the floor program (on the same layer,
#   through the same env), and Vormel, the floor program and wc -l with
#   cat; and Vormel's own median time in ms, on the best layer;
# - peak resident memory of Vormel on that file.
# Then start-up: instructions and wall time to report the example file,
# against Quindle and /bin/true.
# usage: bench/run.sh [BUILD-DIR [AARCH64-BUILD-DIR]]   (default: build;
# it is built first; the aarch64 build is used as it stands)
set -euo pipefail
for need in valgrind /usr/bin/time; do
  command -v $need >/dev/null || { echo "$0: needs $need (see bench/README.md)" >&2; exit 1; }
done
build=${1:-build}
arm=${2:+$(realpath "$2/bin/Vormel")}
cmake -S "$(dirname "$0")/.." -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target Vormel Quindle vormel-gen vormel-floor >/dev/null
vormel=$(realpath "$build/bin/Vormel")
quindle=$(realpath "$build/bin/Quindle")
gen=$build/bench/vormel-gen
floor=$(realpath "$build/bench/vormel-floor")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
runs=21

instructions() { # [NAME=VALUE] command...: instructions counted by callgrind
  local set=()
  [[ $1 == *=* ]] && set=("$1") && shift
  env "${set[@]}" valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
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
per_line() { # [NAME=VALUE] command...: instructions per line
  echo "$(($(instructions "$@" "$dir/small") - $(instructions "$@" "$dir/header")))" |
    awk '{ printf "%.1f", $1 / 1000000 }'
}
guest() { # file: instructions the aarch64 build runs on it under qemu-user
  qemu-aarch64 -L /usr/aarch64-linux-gnu -singlestep -d exec,nochain -D /dev/stderr "$arm" "$1" \
    2>&1 >/dev/null | grep -c ^Trace
}
arm_per_line() {
  if [ -z "$arm" ]; then echo -; return; fi
  echo "$(($(guest "$dir/arm") - $(guest "$dir/header")))" | awk '{ printf "%.1f", $1 / 20000 }'
}
avx2=GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX512F
sse4=GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2
scalar=GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-SSSE3,-SSE4_1,-SSE4_2
avx512=yes
for flag in avx512f avx512bw avx512vbmi avx512_vbmi2; do
  grep -qw "$flag" /proc/cpuinfo || avx512=no
done
printf '%-16s %37s %27s %20s %17s\n' "" "instructions a line" "wall, x floor" "wall, x cat" \
  "best layer"
printf '%-16s %6s %6s %6s %6s %6s %7s %6s %6s %6s %6s %6s %6s %7s %9s\n' shape AVX2 SSE4 scalar \
  arm64 "wc -l" AVX-512 AVX2 SSE4 scalar best floor "wc -l" ms "peak KiB"
shapes=("LF" "CR LF" "indent 2, LF" "indent tab, LF" "blank, LF" "one line" "indent 4, CR LF"
  "blank line 10th" "varied")
for shape in "${shapes[@]}"; do
  case $shape in
    LF) flag=() ;;
    "CR LF") flag=(-c) ;;
    "indent 2, LF") flag=(-e $'\n  ') ;;
    "indent tab, LF") flag=(-e $'\n\t') ;;
    "blank, LF") flag=(-e $' \n') ;;
    "one line") flag=(-e ' ') ;;
    "indent 4, CR LF") flag=(-e $'\r\n    ') ;;
    "blank line 10th") flag=(-b 10) ;;
    varied) flag=(-w) ;;
  esac
  "$gen" "${flag[@]}" 1000000 >"$dir/small"
  "$gen" "${flag[@]}" 10000000 >"$dir/large"
  "$gen" "${flag[@]}" 20000 >"$dir/arm"
  report=$("$vormel" "$dir/large" | wc -c)
  read -r seconds vormel_ratio < <(paired "$floor $dir/large $report" "$vormel" "$dir/large")
  if [ $avx512 = yes ]; then vormel_ratio=$(printf %.2f "$vormel_ratio"); else vormel_ratio=-; fi
  # The floor runs through env too where features are hidden, as the time
  # env takes to start is no part of Vormel's.
  read -r _ avx2_ratio < <(paired "env $avx2 $floor $dir/large $report" \
    env "$avx2" "$vormel" "$dir/large")
  read -r _ sse4_ratio < <(paired "env $sse4 $floor $dir/large $report" \
    env "$sse4" "$vormel" "$dir/large")
  read -r _ scalar_ratio < <(paired "env $scalar $floor $dir/large $report" \
    env "$scalar" "$vormel" "$dir/large")
  read -r _ cat_ratio < <(paired "cat $dir/large" "$vormel" "$dir/large")
  read -r _ floor_ratio < <(paired "cat $dir/large" "$floor" "$dir/large" "$report")
  read -r _ wc_ratio < <(paired "cat $dir/large" wc -l "$dir/large")
  printf '%-16s %6s %6s %6s %6s %6s %7s %6.2f %6.2f %6.2f %6.2f %6.2f %6.2f %7.1f %9s\n' \
    "$shape" "$(per_line "$vormel")" "$(per_line "$sse4" "$vormel")" \
    "$(per_line "$scalar" "$vormel")" "$(arm_per_line)" "$(per_line wc -l)" "$vormel_ratio" \
    "$avx2_ratio" "$sse4_ratio" "$scalar_ratio" \
    "$cat_ratio" "$floor_ratio" "$wc_ratio" "$(awk "BEGIN { print $seconds * 1000 }")" \
    "$(/usr/bin/time -f %M "$vormel" "$dir/large" 2>&1 >/dev/null)"
done

cd "$(dirname "$0")/../examples"
printf '\nstart-up, reporting examples/automata.txt:\n'
printf '  instructions: Vormel %s, Quindle %s, /bin/true %s\n' \
  "$(instructions "$vormel" automata.txt)" "$(instructions "$quindle")" "$(instructions /bin/true)"
runs=301
read -r seconds ratio < <(paired /bin/true "$vormel" automata.txt)
printf '  wall time: Vormel %.0f us, %.2f times /bin/true (median of %d paired runs)\n' \
  "$(awk "BEGIN { print $seconds * 1e6 }")" "$ratio" $runs
