#!/bin/sh
# SPDX-License-Identifier: MIT
# Memory near its limit, in a build whose allocator refuses past 8 MiB.
# What was read before memory ran out is reported, then the error line,
# and the exit status is 1, never a crash.
# - The state list is 'A' and 12.5 MB of NUL bytes, which are read but not
#   kept; the initial state, 5 MB, fits only if its memory grows to just
#   its size, since doubling it from 4 MiB would not fit; both are
#   reported whole.  The final states, larger than the limit, are not.
# - A 5 MB state list, alphabet or list of final states is read whole,
#   but its flattened copy does not fit beside it.
# usage: out-of-memory.sh LIMITED-VORMEL
vormel=$1
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
fail=0
head -c 5000000 /dev/zero | tr '\0' Q >"$dir/item"

# check NAME: reports $dir/NAME, which must give $dir/NAME.want and the
# error line.
check() {
  printf "\nError en rl fichero '%s'. Verifiquelo,\n" "$dir/$1" >>"$dir/$1.want"
  "$vormel" "$dir/$1" >"$dir/out" 2>"$dir/err"
  status=$?
  if [ $status != 1 ] || ! cmp -s "$dir/$1.want" "$dir/out" || [ -s "$dir/err" ]; then
    echo "$1: exit status $status (expected 1); the report, then standard error:"
    head -c 1000 "$dir/out"; echo
    cat "$dir/err"
    fail=1
  fi
  rm -f "$dir/$1"
}
# banner NAME: the report's first line, for $dir/NAME.
banner() { printf "Archivo a procesar: '%s'\n" "$dir/$1" >"$dir/$1.want"; }
states="\nEstados Leidos: 'A'\n\n\t'A'.\nEstados en array: 'A'\n"
alphabet="\nAlfabeto: 'a'\n\n\t'a'."

printf A >"$dir/nul"
truncate -s 12500000 "$dir/nul"
{ printf '\na\n'; cat "$dir/item"; echo; head -c 12500000 /dev/zero | tr '\0' a; } >>"$dir/nul"
banner nul
{ printf "$states$alphabet\nEstado inical: '"; cat "$dir/item"; printf "'\n"; } >>"$dir/nul.want"
check nul

{ cat "$dir/item"; printf '\na\nA\nB\n'; } >"$dir/states"
banner states
{ printf "\nEstados Leidos: '"; cat "$dir/item"; printf "'\n"; } >>"$dir/states.want"
check states

{ printf 'A\n'; cat "$dir/item"; printf '\nA\nB\n'; } >"$dir/alphabet"
banner alphabet
{ printf "$states\nAlfabeto: '"; cat "$dir/item"; printf "'\n"; } >>"$dir/alphabet.want"
check alphabet

{ printf 'A\na\nA\n'; cat "$dir/item"; echo; } >"$dir/finals"
banner finals
printf "$states$alphabet\nEstado inical: 'A'\n" >>"$dir/finals.want"
check finals
exit $fail
