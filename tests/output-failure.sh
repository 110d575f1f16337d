#!/bin/sh
# SPDX-License-Identifier: MIT
# A report that cannot be written is a failure: exit status 1 and one line
# on standard error, whether standard output is full, closed or limited in
# size, or is the file being read (which must then be left as it was, with
# nothing said on standard error either when that is the file too), small
# or of 4 GiB.  Quindle writes nothing, so neither it nor a closed standard
# input can make it fail.
vormel=$1 quindle=$2 input=$3
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
err=$dir/err
fail=0

# want-status want-stderr-lines description [want-stderr]; the run is in $status
expect() {
  lines=$(wc -l <"$err")
  if [ "$status" != "$1" ] || [ "$lines" != "$2" ] || { [ $# = 4 ] && [ "$(cat "$err")" != "$4" ]; }; then
    echo "$3: exit status $status, $lines lines on standard error; expected $1 and $2 ${4:+($4)}"
    cat "$err"
    fail=1
  fi
}
# A failed write is told in Spanish, as the report is.
failed="Vormel: no se pudo escribir el informe:"

"$vormel" "$input" >/dev/full 2>"$err"; status=$?
expect 1 1 "report to a full device" "$failed No queda espacio en el dispositivo"
"$vormel" "$input" >&- 2>"$err"; status=$?
expect 1 1 "report to a closed standard output" "$failed La salida estándar no está abierta para escribir"
"$vormel" >/dev/full 2>"$err"; status=$?
expect 1 1 "usage line to a full device"
"$vormel" "$input" "$input" >&- 2>"$err"; status=$?
expect 1 1 "usage line to a closed standard output"

cp "$input" "$dir/f"
# The size limit ends a run that would feed on its own report.
(ulimit -f 1000 && exec "$vormel" "$dir/f" >>"$dir/f") 2>"$err"; status=$?
expect 1 1 "report appended to the file read"
(ulimit -f 1000 && exec "$vormel" "$dir/f" 1<>"$dir/f") 2>"$err"; status=$?
expect 1 1 "report written over the file read"
(ulimit -f 1000 && exec "$vormel" "$dir/f" >>"$dir/f" 2>&1) 2>"$err"; status=$?
expect 1 0 "report and errors appended to the file read"
cmp -s "$input" "$dir/f" || { echo "the file read was changed"; fail=1; }
# The same file grown to 4 GiB (sparse), which a 32-bit build must open
# and tell apart as any other: its size would read as empty if cut to 32
# bits.  Its report's header comes out as the small one's; the size
# limit, in 512-byte blocks, lets a slip add nothing to it.
cp "$input" "$dir/big" && truncate -s 4G "$dir/big" || exit 2
(ulimit -f 8388608 && exec "$vormel" "$dir/big" >>"$dir/big") 2>"$err"; status=$?
expect 1 1 "report appended to the file of 4 GiB read" "$failed '$dir/big' es el fichero de entrada"
header() { "$vormel" "$1" 2>/dev/null | sed -n '2,/^Transiciones:$/p; /^Transiciones:$/q'; }
[ "$(header "$dir/big")" = "$(header "$input")" ] || { echo "the file of 4 GiB is not read"; fail=1; }
rm "$dir/big"
# A file size limit cuts the report: a failed write, not a killed program.
{ cat "$input"; seq 300 | sed 's/.*/A,a,B/'; } >"$dir/long"
(ulimit -f 2 && exec "$vormel" "$dir/long" >"$dir/out") 2>"$err"; status=$?
expect 1 1 "report cut by a file size limit" "$failed El fichero supera el tamaño permitido"
"$vormel" "$dir/f" >"$dir/f" 2>"$err"; status=$?
expect 0 0 "report written to the file read, emptied by the shell"
grep -q "^Estados Leidos: ''$" "$dir/f" || { echo "the emptied file is not reported empty"; fail=1; }

"$quindle" a b >/dev/full 2>"$err"; status=$?
expect 0 0 "Quindle to a full device"
"$quindle" <&- >&- 2>"$err"; status=$?
expect 0 0 "Quindle with standard input and output closed"
exit $fail
