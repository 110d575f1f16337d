#!/bin/sh
# SPDX-License-Identifier: MIT
# Memory near its limit.  A header item that fits in memory is reported
# whole, though doubling the memory it holds would not fit; one larger than
# the memory the process may take ends the report with the error line and
# exit status 1, not with a crash.  The state list before that one is 'A'
# and 100 MB of NUL bytes, which are read but not kept, so it is reported
# in full within the same limit.  An emulator running the program takes
# the address space given as a second argument, in KiB, on top of the limit.
# usage: out-of-memory.sh VORMEL [EMULATOR-KIB]
vormel=$1 emulator=${2:-0}
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT

run() { # want-status: reports $dir/input within 64 MiB, to be $dir/want
  (ulimit -v $((65536 + emulator)) && exec "$vormel" "$dir/input") >"$dir/out" 2>"$dir/err"
  status=$?
  if [ $status != "$1" ] || ! cmp -s "$dir/want" "$dir/out" || [ -s "$dir/err" ]; then
    echo "exit status $status (expected $1); the report, then standard error:"
    head -c 1000 "$dir/out"
    cat "$dir/err"
    exit 1
  fi
}

head -c 40000000 /dev/zero | tr '\0' Q >"$dir/item"
{ printf 'A,B\na,b\n'; cat "$dir/item"; printf '\nC\n'; } >"$dir/input"
{
  printf "Archivo a procesar: '%s'\n\nEstados Leidos: 'A,B'\n\n\t'A'.\n\t'B'.\n" "$dir/input"
  printf "Estados en array: 'AB'\n\nAlfabeto: 'a,b'\n\n\t'a'.\n\t'b'.\nEstado inical: '"
  cat "$dir/item"
  printf "'\n\n\t'C'.\nEstados Finales: 'C'\n\nTransiciones:\n"
} >"$dir/want"
run 0

printf A >"$dir/input"
truncate -s 100000000 "$dir/input"
{ echo; head -c 100000000 /dev/zero | tr '\0' a; } >>"$dir/input"
printf "Archivo a procesar: '%s'\n\nEstados Leidos: 'A'\n\n\t'A'.\nEstados en array: 'A'\n\nError en rl fichero '%s'. Verifiquelo,\n" \
  "$dir/input" "$dir/input" >"$dir/want"
run 1
