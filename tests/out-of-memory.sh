#!/bin/sh
# SPDX-License-Identifier: MIT
# Memory near its limit.  The state list is 'A' and 100 MB of NUL bytes,
# which are read but not kept; the initial state, 40 MB, fits only if its
# memory grows to just its size, since doubling it from 32 MiB would not
# fit; both are reported whole.  The final states, larger than the memory
# the process may take, end the report with the error line and exit status
# 1, not with a crash.  An emulator running the program takes the address
# space given as a second argument, in KiB, on top of the limit.  Under
# AddressSanitizer, which reserves far more address space than that, its
# allocator refuses the large requests instead, with a warning each that
# is no failure, so that it can see each write past what an item was given.
# usage: out-of-memory.sh VORMEL [EMULATOR-KIB | sanitized]
vormel=$1 emulator=${2:-0}
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
head -c 40000000 /dev/zero | tr '\0' Q >"$dir/item"
printf A >"$dir/input"
truncate -s 100000000 "$dir/input"
{ printf '\na\n'; cat "$dir/item"; echo; head -c 100000000 /dev/zero | tr '\0' a; } >>"$dir/input"
{
  printf "Archivo a procesar: '%s'\n\nEstados Leidos: 'A'\n\n\t'A'.\nEstados en array: 'A'\n" "$dir/input"
  printf "\nAlfabeto: 'a'\n\n\t'a'.\nEstado inical: '"
  cat "$dir/item"
  printf "'\n\nError en rl fichero '%s'. Verifiquelo,\n" "$dir/input"
} >"$dir/want"
if [ "$emulator" = sanitized ]; then
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=48 \
    "$vormel" "$dir/input"
else
  (ulimit -v $((65536 + emulator)) && exec "$vormel" "$dir/input")
fi >"$dir/out" 2>"$dir/err"
status=$?
sed -i '/WARNING: AddressSanitizer failed to allocate/d' "$dir/err"
if [ $status != 1 ] || ! cmp -s "$dir/want" "$dir/out" || [ -s "$dir/err" ]; then
  echo "exit status $status (expected 1); the report, then standard error:"
  head -c 1000 "$dir/out"
  cat "$dir/err"
  exit 1
fi
