#!/bin/sh
# A read error part way through the file stops the report where it struck:
# what was read whole before it is reported (a line once its third
# character is read, an item once the white space that ends it is), a line
# cut by it is not, the error line follows and the exit status is 1.  strace
# fails one read of the file (and no other) with EIO; its log tells how
# many bytes got through.  In the normal build the third read is the one
# that would meet the end of the file: every line is reported.
# usage: read-error.sh GENERATOR VORMEL...
gen=$1
shift
command -v strace >/dev/null || { echo "strace is not installed"; exit 77; }
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
"$gen" 30000 >"$dir/input" # a 36-byte header, then lines of 6 bytes
fail=0
# LeakSanitizer cannot work under ptrace; sanitizer builds check leaks in
# every other test.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

for vormel in "$@"; do
  "$vormel" "$dir/input" >"$dir/full"
  for nth in 1 2 3; do
    strace -o "$dir/log" -P "$dir/input" -e trace=read -e inject=read:error=EIO:when=$nth \
      "$vormel" "$dir/input" >"$dir/out" 2>"$dir/err"
    status=$?
    got=$(sed -n 's/^read(.* = \([0-9][0-9]*\)$/\1/p' "$dir/log" | awk '{ n += $1 } END { print n + 0 }')
    # The header takes 36 bytes and 30 report lines; a line's third
    # character is its fifth byte.
    if [ "$got" -eq 0 ]; then
      head -n 1 "$dir/full"
    else
      head -n $((30 + (got - 35) / 6)) "$dir/full"
    fi >"$dir/want"
    printf "\nError en rl fichero '%s'. Verifiquelo,\n" "$dir/input" >>"$dir/want"
    if [ $status != 1 ] || [ -s "$dir/err" ] || ! cmp -s "$dir/want" "$dir/out"; then
      echo "$vormel, read $nth failing after $got bytes: status $status, report:"
      tail -n 3 "$dir/out"
      cat "$dir/err"
      fail=1
    fi
  done
done
exit $fail
