#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs one golden case as a user would: the program, from inside the case's
# folder, on the arguments in the case's file 'args' (one a line; without
# that file, the single argument 'input').  Standard output must equal the
# file 'stdout' byte for byte, the exit status the number in 'status' (0
# without that file), and standard error must be empty.
prog=$1
cd "$2" || exit 2
if [ -f args ]; then
  set --
  while IFS= read -r arg; do set -- "$@" "$arg"; done <args
else
  set -- input
fi
out=$(mktemp) && err=$(mktemp) || exit 2
trap 'rm -f "$out" "$err"' EXIT

"$prog" "$@" </dev/null >"$out" 2>"$err"
status=$? want=0 fail=0
[ -f status ] && want=$(cat status)

if ! cmp -s stdout "$out"; then
  echo "standard output differs (expected, then got):"
  od -c stdout | head -40
  od -c "$out" | head -40
  fail=1
fi
if [ "$status" != "$want" ]; then
  echo "exit status $status, expected $want"
  fail=1
fi
if [ -s "$err" ]; then
  echo "standard error is not empty:"
  cat "$err"
  fail=1
fi
exit $fail
