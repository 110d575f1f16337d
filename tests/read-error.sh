#!/bin/sh
# SPDX-License-Identifier: MIT
# A read error part way through the file stops the report where it struck:
# what was read whole before it is reported (a line once its third
# character is read, an item once the white space that ends it is), a line
# cut by it is not, the error line follows and the exit status is 1.  strace
# fails one read of the file (and no other) with EIO; its log tells how
# many bytes got through before it.  In the normal build the third read is the one
# that would meet the end of the file: every line is reported.  A header
# item cut short is not reported either.
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

# check VORMEL FILE N [LINES]: reports FILE with its Nth read failing, and
# compares the report with $dir/full, the whole report, cut where the error
# struck in the lines of $dir/input, or after LINES lines.
check() {
  strace -o "$dir/log" -P "$2" -e trace=read -e inject=read:error=EIO:when=$3 \
    "$1" "$2" >"$dir/out" 2>"$dir/err"
  status=$?
  got=$(sed -n '/ = -1 /q; s/^read(.* = \([0-9][0-9]*\)$/\1/p' "$dir/log" | awk '{ n += $1 } END { print n + 0 }')
  # The header takes 36 bytes and 30 report lines; a line's third
  # character is its fifth byte.
  if [ $# -gt 3 ]; then
    head -n "$4" "$dir/full"
  elif [ "$got" -eq 0 ]; then
    head -n 1 "$dir/full"
  else
    head -n $((30 + (got - 35) / 6)) "$dir/full"
  fi >"$dir/want"
  printf "\nError en rl fichero '%s'. Verifiquelo,\n" "$2" >>"$dir/want"
  if [ $status != 1 ] || [ -s "$dir/err" ] || ! cmp -s "$dir/want" "$dir/out"; then
    echo "$1 on $2, read $3 failing after $got bytes: status $status, report:"
    tail -n 3 "$dir/out"
    cat "$dir/err"
    fail=1
  fi
}

# A state list of 200,000 bytes: every build's second read fails part way
# through it, and the report stops at the banner.
{ head -c 200000 /dev/zero | tr '\0' A; echo; tail -n +2 "$dir/input"; } >"$dir/long"
for vormel in "$@"; do
  "$vormel" "$dir/input" >"$dir/full"
  for nth in 1 2 3; do
    check "$vormel" "$dir/input" $nth
  done
  "$vormel" "$dir/long" >"$dir/full"
  check "$vormel" "$dir/long" 2 1
done

# A FIFO whose writer pauses part way: the first read returns what came
# before the pause, short, and the read after it fails.  Nothing written
# after the pause may be reported, though the writer goes on.
mkfifo "$dir/fifo"
{ head -c 20000 "$dir/input"; sleep 1; tail -c +20001 "$dir/input"; } >"$dir/fifo" 2>/dev/null &
"$1" "$dir/input" | sed "1s|$dir/input|$dir/fifo|" >"$dir/full"
check "$1" "$dir/fifo" 2
kill $! 2>/dev/null
exit $fail
