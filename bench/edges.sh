#!/bin/bash
# SPDX-License-Identifier: MIT
# Inputs at the edges, measured: a header item of 25, 50 and 100 MB without
# white space (taken whole; time should grow with its length, memory stay
# near it), a 1 GB file of transition lines (constant memory) and a file of
# random bytes (a report and exit status 0).
# usage: bench/edges.sh [BUILD-DIR]   (default: build; it is built first)
set -euo pipefail
command -v /usr/bin/time >/dev/null || { echo "$0: needs GNU time, /usr/bin/time (see bench/README.md)" >&2; exit 1; }
build=${1:-build}
cmake -S "$(dirname "$0")/.." -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target Vormel vormel-gen >/dev/null
vormel=$(realpath "$build/bin/Vormel")
gen=$build/bench/vormel-gen
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# The largest file is 1 GiB, the rest is small beside it.
[ "$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')" -ge 1100000 ] ||
  { echo "$0: needs 1.1 GB free in $dir" >&2; exit 1; }

measure() { # file: prints seconds, peak KiB and the exit status of a report to /dev/null
  /usr/bin/time -f '%e %M' -o "$dir/time" "$vormel" "$1" >/dev/null && status=0 || status=$?
  read -r seconds peak <"$dir/time"
  printf '%8.2f s %10s KiB  status %s' "$seconds" "$peak" "$status"
}

item() { # megabytes: a state list of that many bytes, "a,a,a,..."
  yes a, | tr -d '\n' | head -c $(($1 * 1000000)) || true
}

echo "one long header item, without white space:"
for mb in 25 50 100; do
  { item $mb; printf '\na\nA\nC\n'; } >"$dir/states"
  printf '  %-25s %s' "state list of $mb MB:" "$(measure "$dir/states")"
  # The item must come back whole, as read and flattened.
  "$vormel" "$dir/states" | grep -a "^Estados \(Leidos\|en array\): " >"$dir/lists"
  read_len=$(sed -n "s/^Estados Leidos: '\(.*\)'$/\1/p" "$dir/lists" | wc -c)
  flat_len=$(sed -n "s/^Estados en array: '\(.*\)'$/\1/p" "$dir/lists" | wc -c)
  echo "   (as read: $((read_len - 1)) bytes, flattened: $((flat_len - 1)))"
  { printf 'A\na\n'; item $mb; printf '\nC\n'; } >"$dir/initial"
  printf '  %-25s %s\n' "initial state of $mb MB:" "$(measure "$dir/initial")"
done
rm "$dir/states" "$dir/initial"

lines=178956971 # 6 bytes a line: 1 GiB
"$gen" $lines >"$dir/lines"
printf '\n%d transition lines, %d bytes:\n  %s' $lines "$(stat -c %s "$dir/lines")" "$(measure "$dir/lines")"
"$gen" 0 >"$dir/header"
listed=$(($("$vormel" "$dir/lines" | wc -l) - $("$vormel" "$dir/header" | wc -l)))
echo "   ($listed lines listed)"
rm "$dir/lines"

# Every byte random, the generator's fixed header left out.
"$gen" 2000000 100 7 | tail -c +37 >"$dir/random"
printf '\nrandom bytes, %d of them (%d NUL, %d carriage returns): %s, %d report lines\n' \
  "$(stat -c %s "$dir/random")" "$(tr -dc '\000' <"$dir/random" | wc -c)" \
  "$(tr -dc '\r' <"$dir/random" | wc -c)" "$(measure "$dir/random")" \
  "$("$vormel" "$dir/random" | wc -l)"
