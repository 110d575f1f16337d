#!/bin/sh
# A header item larger than the memory the process may take ends the report
# with the error line and exit status 1, not with a crash.
vormel=$1
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
head -c 100000000 /dev/zero | tr '\0' a >"$dir/input"
printf "Archivo a procesar: '%s'\n\nError en rl fichero '%s'. Verifiquelo,\n" \
  "$dir/input" "$dir/input" >"$dir/want"
(ulimit -v 65536 && exec "$vormel" "$dir/input") >"$dir/out" 2>"$dir/err"
status=$?
if [ $status != 1 ] || ! cmp -s "$dir/want" "$dir/out" || [ -s "$dir/err" ]; then
  echo "exit status $status (expected 1); the report, then standard error:"
  cat "$dir/out" "$dir/err"
  exit 1
fi
