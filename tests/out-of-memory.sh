#!/bin/sh
# A header item larger than the memory the process may take ends the report
# with the error line and exit status 1, not with a crash.  An item's bytes
# after a NUL are not kept, so an item of 100 MB whose text is 'A' is
# reported in full within the same limit.
vormel=$1
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
fail=0

check() { # want-status description: compares the run's output with want
  if [ "$status" != "$1" ] || ! cmp -s "$dir/want" "$dir/out" || [ -s "$dir/err" ]; then
    echo "$2: exit status $status (expected $1); the report, then standard error:"
    cat "$dir/out" "$dir/err"
    fail=1
  fi
}

head -c 100000000 /dev/zero | tr '\0' a >"$dir/input"
printf "Archivo a procesar: '%s'\n\nError en rl fichero '%s'. Verifiquelo,\n" \
  "$dir/input" "$dir/input" >"$dir/want"
(ulimit -v 65536 && exec "$vormel" "$dir/input") >"$dir/out" 2>"$dir/err"
status=$?
check 1 "an item larger than memory"

printf A >"$dir/input"
"$vormel" "$dir/input" >"$dir/want"
truncate -s 100000000 "$dir/input"
(ulimit -v 65536 && exec "$vormel" "$dir/input") >"$dir/out" 2>"$dir/err"
status=$?
check 0 "an item of 'A' and NUL bytes"
exit $fail
