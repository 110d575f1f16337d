#!/bin/sh
# SPDX-License-Identifier: MIT
# Large generated files, read by the normal build and by builds with tiny
# buffers: every report must be the same, byte for byte, and a well-formed
# file's transitions must be its lines, each as an arrow chain.  The files
# are large enough for every buffer to fill and drain many times.
# usage: generated.sh GENERATOR VORMEL TINY-VORMEL...
gen=$1 vormel=$2
shift 2
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
fail=0

report() { # file: writes file.out with the normal build, and compares the tiny ones
  if ! "$vormel" "$dir/$1" >"$dir/$1.out" 2>"$dir/err" || [ -s "$dir/err" ]; then
    echo "$1: the report failed"; fail=1
  fi
  for tiny in $tiny_builds; do
    if ! "$tiny" "$dir/$1" 2>"$dir/err" | cmp -s - "$dir/$1.out" || [ -s "$dir/err" ]; then
      echo "$1: $tiny reports otherwise"; fail=1
    fi
  done
}
tiny_builds="$*"

"$gen" 300000 >"$dir/lines"
report lines
tail -n +5 "$dir/lines" | sed 's/^\(.\),\(.\),\(.\)$/  \1 ->  \2 ->  \3/' >"$dir/want"
sed '1,/^Transiciones:$/d' "$dir/lines.out" | cmp -s - "$dir/want" ||
  { echo "lines: the transitions are not the file's lines"; fail=1; }

sed 's/$/\r/' "$dir/lines" >"$dir/crlf"
report crlf
sed 1d "$dir/lines.out" >"$dir/want"
sed 1d "$dir/crlf.out" | cmp -s - "$dir/want" ||
  { echo "crlf: the report differs from that of the same lines with line feeds"; fail=1; }

# A tenth of the lines end in a bare line feed: the runs of CR LF lines
# break there, a line short of their stride.
sed '0~10s/\r$//' "$dir/crlf" >"$dir/crlf-lf"
report crlf-lf
sed 1d "$dir/crlf-lf.out" | cmp -s - "$dir/want" ||
  { echo "crlf-lf: the report differs from that of the same lines with line feeds"; fail=1; }

"$gen" 100000 10 1 >"$dir/damaged"
report damaged
"$gen" 100000 100 2 | tail -c +37 >"$dir/random" # without the fixed header
report random
exit $fail
