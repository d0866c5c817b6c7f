#!/bin/sh
# The print pipeline stand-in with the program: a PDF is filed byte for byte,
# PostScript and plain text are filed as the PDFs Ghostscript made of them.
#   pipeline_test.sh EXE      (WINEPREFIX: a prefix with the null driver)
set -u
exe=$1
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
drive_c=${WINEPREFIX:?}/drive_c
out=$drive_c/TollivaneTest/pipeline
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$drive_c/Kestrin" "$out"
mkdir -p "$drive_c/Kestrin/Print/Config" "$out"
printf '[Tarvold]\r\nDefaultDir=C:\\TollivaneTest\\pipeline\r\nFileNameFormat=Scan\r\nPromptForEachPrint=0\r\n' \
  >"$drive_c/Kestrin/Print/Config/Kestrin.ini"

printf '%%PDF-1.4\n%% a PDF printed as it is\n%%%%EOF\n' >"$scratch/ready.pdf"
printf 'Minutes of the meeting\n\nEvery print is filed.\n' >"$scratch/minutes.txt"

print() {
  "$tools/print-pipeline" "$WINEPREFIX" "$exe" "$1"
  code=$?
  [ "$code" -eq 0 ] || fail "printing $1 ended with $code"
}

print "$scratch/ready.pdf"
cmp -s "$scratch/ready.pdf" "$out/Scan002.pdf" || fail "the PDF was not filed unchanged as Scan002.pdf"
print "$tools/samples/sample-print.ps"
print "$scratch/minutes.txt"
for name in Scan003.pdf Scan004.pdf; do
  [ "$(head -c 5 "$out/$name" 2>/dev/null)" = "%PDF-" ] || fail "$name is not a PDF"
done
[ "$(ls -A "$out" | wc -l)" -eq 3 ] || fail "the output folder holds $(ls -A "$out" | tr '\n' ' ')"
ls -A "$drive_c/Kestrin/Print" | grep -q partial && fail "a partial spool file was left behind"

if printf 'not a document' | "$tools/print-pipeline" "$WINEPREFIX" "$exe" /nonexistent/doc.ps 2>/dev/null; then
  fail "a missing document was reported as printed"
fi
[ "$(ls -A "$out" | wc -l)" -eq 3 ] || fail "a missing document filed something"
echo "pipeline: $failures failure(s)"
[ "$failures" -eq 0 ]
