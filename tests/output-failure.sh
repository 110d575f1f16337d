#!/bin/sh
# A report that cannot be written is a failure: exit status 1 and one line
# on standard error, whether standard output is full or closed.  Quindle
# writes nothing, so neither it nor a closed standard input can make it
# fail.
vormel=$1 quindle=$2 input=$3
err=$(mktemp) || exit 2
trap 'rm -f "$err"' EXIT
fail=0

expect() { # want-status want-stderr-lines description; the run is in $status
  lines=$(wc -l <"$err")
  if [ "$status" != "$1" ] || [ "$lines" != "$2" ]; then
    echo "$3: exit status $status, $lines lines on standard error; expected $1 and $2"
    cat "$err"
    fail=1
  fi
}

"$vormel" "$input" >/dev/full 2>"$err"; status=$?
expect 1 1 "report to a full device"
"$vormel" "$input" >&- 2>"$err"; status=$?
expect 1 1 "report to a closed standard output"
"$vormel" >/dev/full 2>"$err"; status=$?
expect 1 1 "usage line to a full device"
"$vormel" "$input" "$input" >&- 2>"$err"; status=$?
expect 1 1 "usage line to a closed standard output"

"$quindle" a b >/dev/full 2>"$err"; status=$?
expect 0 0 "Quindle to a full device"
"$quindle" <&- >&- 2>"$err"; status=$?
expect 0 0 "Quindle with standard input and output closed"
exit $fail
