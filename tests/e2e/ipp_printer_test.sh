#!/bin/sh
# The IPP printer under Wine, driven from Linux as an IPP client would: CUPS's
# conformance files ipp-1.1.test, ipp-2.0.test and ipp-everywhere.test (with
# documents and PWG raster samples made by Ghostscript) pass; page-ranges
# are kept; a PDF printed is filed byte for byte, also from six
# clients at once; a JPEG is filed as a PDF holding it, PWG raster as a
# PDF of its pages' images; a client gone
# half-way through its document files nothing; requests a web page could
# send are refused; and closing the service's standard input stops it.
# Last, CUPS itself, on a port of its own (PORT + 1), adds the printer with
# `lpadmin -m everywhere`, and a PDF printed with `lp` is filed with its text.
#   ipp_printer_test.sh SERVICE_EXE PORT     (WINEPREFIX: a prefix with the null driver)
set -u
service=$1
port=$2
drive_c=${WINEPREFIX:?}/drive_c
out=$drive_c/TollivaneTest/ipp
scratch=$(mktemp -d)
uri=ipp://127.0.0.1:$port/ipp/print
failures=0
feeder=""
cupsd_pid=""
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
cleanup() {
  [ -n "$cupsd_pid" ] && kill "$cupsd_pid" 2>/dev/null
  [ -n "$feeder" ] && kill "$feeder" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

rm -rf "$drive_c/Kestrin" "$out"
mkdir -p "$drive_c/Kestrin/Print/Config" "$out"
printf '[Tarvold]\r\nDefaultDir=C:\\TollivaneTest\\ipp\r\nPromptForEachPrint=0\r\n' \
  >"$drive_c/Kestrin/Print/Config/Kestrin.ini"
# The program the service starts: beside it, as no setup recorded one.
wine reg delete 'HKLM\System\CurrentControlSet\Control\Print\Monitors\Tollivane Port Monitor' /v Program /f \
  >/dev/null 2>&1

# The service's standard input is a pipe this script holds: closing it stops it.
mkfifo "$scratch/input"
wine "$service" run --port "$port" <"$scratch/input" >"$scratch/service.log" 2>&1 &
service_pid=$!
sleep 100000 >"$scratch/input" &
feeder=$!
for _ in $(seq 100); do
  grep -q "TollivaneService: $uri" "$scratch/service.log" && break
  sleep 0.1
done
grep -q "TollivaneService: $uri" "$scratch/service.log" || fail "the service did not start: $(cat "$scratch/service.log")"

# Documents named by the conformance files, made where ipptool looks for them.
make_pdf() {  # file, paper, text
  gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE="$2" -o "$1" \
    -c "/Helvetica findfont 24 scalefont setfont 72 700 moveto ($3) show showpage" >/dev/null 2>&1 ||
    fail "Ghostscript did not make $1"
}
cp /usr/share/cups/ipptool/ipp-1.1.test /usr/share/cups/ipptool/ipp-2.0.test "$scratch/"
make_pdf "$scratch/document-a4.pdf" a4 "A4 document"
make_pdf "$scratch/document-letter.pdf" letter "Letter document"
printf '%%!PS\n/Helvetica findfont 24 scalefont setfont 72 700 moveto (PostScript) show showpage\n' \
  >"$scratch/document-a4.ps"
cp "$scratch/document-a4.ps" "$scratch/document-letter.ps"
convert -size 600x400 gradient:red-blue "$scratch/color.jpg" && convert -size 600x400 gradient:white-black -colorspace Gray \
  "$scratch/gray.jpg" || fail "ImageMagick did not make the JPEG samples"
# ipp-everywhere.test prints PWG raster samples in each kind and resolution
# the printer advertises (Ghostscript makes them); ipptool wants a file for
# every kind named, so those the printer does not take (skipped) are empty.
cp /usr/share/cups/ipptool/ipp-everywhere.test "$scratch/"
for sample in $(grep -o 'pwg-raster-samples-[^ ]*\.pwg' "$scratch/ipp-everywhere.test" | sort -u); do
  mkdir -p "$scratch/$(dirname "$sample")"
  : >"$scratch/$sample"
done
for dpi in 150 300; do
  for kind in "18 8 sgray-8" "19 8 srgb-8" "3 1 black-1"; do
    set -- $kind
    for paper in a4 letter; do
      gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pwgraster -r$dpi -dcupsColorSpace="$1" -dcupsBitsPerColor="$2" \
        -o "$scratch/sample.pwg" "$scratch/document-$paper.pdf" >/dev/null 2>&1 || fail "Ghostscript did not make $3 raster"
      docs="onepage-$paper document-$paper"
      [ $paper = a4 ] && docs="$docs color.jpg-4x6 gray.jpg-4x6"
      for doc in $docs; do
        sample=$scratch/pwg-raster-samples-${dpi}dpi/$3/$doc-$3-${dpi}dpi.pwg
        [ -f "$sample" ] && cp "$scratch/sample.pwg" "$sample"
      done
    done
  done
done
# It includes ipp-2.0.test, which includes ipp-1.1.test.
timeout 900 ipptool -t -f "$scratch/document-a4.pdf" "$uri" "$scratch/ipp-everywhere.test" >"$scratch/everywhere.log" 2>&1 ||
  fail "ipp-everywhere.test ended with $?: $(grep -A6 FAIL "$scratch/everywhere.log" | head -30)"
grep -q "FAIL" "$scratch/everywhere.log" && fail "ipp-everywhere.test: $(grep -A6 FAIL "$scratch/everywhere.log" | head -30)"
for suite in ipp-1.1 ipp-2.0 ipp-everywhere; do
  grep -q "$suite.test\":" "$scratch/everywhere.log" || fail "$suite.test did not run: $(tail -5 "$scratch/everywhere.log")"
done
raster_passed=$(grep -c 'Print .*dpi.*\[PASS\]' "$scratch/everywhere.log")
[ "$raster_passed" -ge 90 ] || fail "ipp-everywhere.test printed only $raster_passed raster samples"

# The suites' jobs are filed one after another: until the folder is quiet.
settled=0
count=-1
for _ in $(seq 600); do
  now=$(ls "$out" | wc -l)
  if [ "$now" -eq "$count" ]; then
    settled=$((settled + 1))
    [ "$settled" -ge 6 ] && break
  else
    settled=0
    count=$now
  fi
  sleep 0.5
done
[ "$count" -gt 0 ] || fail "the conformance suites' prints were not filed"
for filed in "$out"/*; do
  head -c 5 "$filed" | grep -q '%PDF-' || fail "$(basename "$filed") is not a PDF"
done

# Waits until the output folder holds $1 files, at most a minute.
wait_for_files() {
  for _ in $(seq 600); do
    [ "$(ls "$out" | wc -l)" -ge "$1" ] && return 0
    sleep 0.1
  done
  return 1
}
# Each of six clients prints a PDF of its own at once; each is filed once.
rm -rf "$out" && mkdir -p "$out"
clients=""
for i in 1 2 3 4 5 6; do
  make_pdf "$scratch/client$i.pdf" a4 "Client $i"
  ipptool -f "$scratch/client$i.pdf" "$uri" print-job.test >"$scratch/client$i.log" 2>&1 &
  clients="$clients $!"
done
for client in $clients; do wait "$client" || fail "a client's print-job.test failed"; done
wait_for_files 6 || fail "six clients at once: $(ls "$out" | wc -l) files filed"
sleep 1
for i in 1 2 3 4 5 6; do
  found=0
  for filed in "$out"/*; do cmp -s "$scratch/client$i.pdf" "$filed" && found=$((found + 1)); done
  [ "$found" -eq 1 ] || fail "client $i's print was filed $found times"
  pdftotext "$out/$(ls "$out" | sed -n "${i}p")" - 2>/dev/null | grep -q "Client" || fail "a filed print lost its text"
done

# A JPEG is filed as a one-page PDF holding the JPEG as it came; a
# document that is neither files nothing.
rm -rf "$out" && mkdir -p "$out"
# A camera's JPEG: colour profile segments of 64 KiB each before its frame.
python3 -c 'import sys; j = open(sys.argv[1], "rb").read(); app = b"\xff\xe2\xff\xff" + bytes(65533)
open(sys.argv[2], "wb").write(j[:2] + app * 3 + j[2:])' "$scratch/color.jpg" "$scratch/meta.jpg"
for image in color gray meta; do
  ipptool -f "$scratch/$image.jpg" "$uri" print-job.test >"$scratch/$image.log" 2>&1 || fail "$image.jpg: print-job failed"
done
printf 'neither a PDF nor a JPEG' >"$scratch/garbage.bin"
ipptool -f "$scratch/garbage.bin" -d filetype=application/octet-stream "$uri" print-job.test >/dev/null 2>&1
wait_for_files 3 || fail "the JPEGs were not filed: $(ls "$out")"
sleep 2
[ "$(ls "$out" | wc -l)" -eq 3 ] || fail "a document that is neither PDF nor JPEG was filed: $(ls "$out")"
for filed in "$out"/*; do
  pdfinfo "$filed" 2>/dev/null | grep -q "^Pages: *1$" || fail "$(basename "$filed") is not a one-page PDF"
done
python3 - "$scratch/color.jpg" "$scratch/gray.jpg" "$scratch/meta.jpg" "$out"/* <<'PYTHON' || fail "a JPEG was not kept as it came"
import sys
jpegs = [open(p, 'rb').read() for p in sys.argv[1:4]]
pdfs = [open(p, 'rb').read() for p in sys.argv[4:]]
sys.exit(0 if all(any(j in p for p in pdfs) for j in jpegs) else 1)
PYTHON
rm -rf "$out" && mkdir -p "$out"

# A document sent compressed (gzip, or raw deflate) is filed as it was
# before; one that does not inflate files nothing.
python3 - "$port" "$scratch/client1.pdf" >"$scratch/compressed.log" 2>&1 <<'PYTHON' || fail "compression: $(cat "$scratch/compressed.log")"
import gzip, socket, struct, sys, zlib
port, pdf = int(sys.argv[1]), open(sys.argv[2], 'rb').read()
def attr(tag, name, value):
    return bytes([tag]) + struct.pack('>H', len(name)) + name.encode() + struct.pack('>H', len(value)) + value
def print_job(compression, document):
    ipp = (bytes([2, 0]) + struct.pack('>HI', 0x0002, 8) + bytes([1]) + attr(0x47, 'attributes-charset', b'utf-8') +
           attr(0x48, 'attributes-natural-language', b'en') +
           attr(0x45, 'printer-uri', ('ipp://127.0.0.1:%d/ipp/print' % port).encode()) +
           attr(0x44, 'compression', compression) + attr(0x49, 'document-format', b'application/pdf') + bytes([3]))
    body = ipp + document
    s = socket.create_connection(('127.0.0.1', port))
    s.sendall(b'POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/ipp\r\n'
              b'Content-Length: %d\r\nConnection: close\r\n\r\n' % len(body) + body)
    s.settimeout(30)
    answer = b''
    while True:
        piece = s.recv(65536)
        if not piece:
            break
        answer += piece
    s.close()
    status = answer.split(b'\r\n\r\n', 1)[1][2:4]
    return struct.unpack('>H', status)[0]
raw = zlib.compressobj(wbits=-15)
deflated = raw.compress(pdf) + raw.flush()
for name, document, wanted in ((b'gzip', gzip.compress(pdf), 0), (b'deflate', deflated, 0),
                               (b'gzip', b'not gzip at all', 0x0410)):
    got = print_job(name, document)
    if got != wanted:
        sys.exit('%s: status %#x, wanted %#x' % (name.decode(), got, wanted))
PYTHON
wait_for_files 2 || fail "the compressed prints were not filed"
sleep 2
[ "$(ls "$out" | wc -l)" -eq 2 ] || fail "a document that does not inflate was filed: $(ls "$out")"
for filed in "$out"/*; do cmp -s "$scratch/client1.pdf" "$filed" || fail "$(basename "$filed") is not the document sent compressed"; done
rm -rf "$out" && mkdir -p "$out"

# PWG raster as Ghostscript makes it, in each kind the printer advertises:
# a PDF of one lossless image a page, at the raster's resolution.
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=a4 -o "$scratch/two.pdf" \
  -c "/Helvetica findfont 24 scalefont setfont 72 700 moveto (Page one) show showpage 72 700 moveto (Page two) show showpage" \
  >/dev/null 2>&1
for kind in "18 8 sgray" "19 8 srgb" "3 1 black"; do
  set -- $kind
  gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pwgraster -r150 -dcupsColorSpace="$1" -dcupsBitsPerColor="$2" \
    -o "$scratch/two-$3.pwg" "$scratch/two.pdf" >/dev/null 2>&1 || fail "Ghostscript did not make $3 raster"
  rm -rf "$out" && mkdir -p "$out"
  ipptool -f "$scratch/two-$3.pwg" -d filetype=image/pwg-raster "$uri" print-job.test >/dev/null 2>&1 ||
    fail "$3 raster: print-job failed"
  wait_for_files 1 || fail "$3 raster was not filed"
  filed=$(ls "$out"/* | head -1)
  pdfinfo "$filed" 2>/dev/null | grep -q "^Pages: *2$" || fail "$3 raster: not two pages"
  pdfimages -list "$filed" 2>/dev/null | awk 'NR > 2 && $4 == 1240 && $5 == 1754 && $13 == 150 { n++ } END { exit n != 2 }' ||
    fail "$3 raster: the pages are not 150 dpi images of the raster's size: $(pdfimages -list "$filed" 2>&1)"
done
rm -rf "$out" && mkdir -p "$out"

# page-ranges: a PDF keeps the pages asked for, through an update of its
# own; raster pages outside them are not converted; none in them files
# nothing.
cat >"$scratch/ranges.test" <<'TEST'
{
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR mimeMediaType document-format $filetype
  GROUP job-attributes-tag
  ATTR rangeOfInteger page-ranges $ranges
  FILE $filename
  STATUS successful-ok
}
TEST
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=a4 -o "$scratch/three.pdf" -c "/Helvetica findfont 24 \
  scalefont setfont 72 700 moveto (First page) show showpage 72 700 moveto (Second page) show showpage 72 700 moveto \
  (Third page) show showpage" >/dev/null 2>&1
for job in "three.pdf application/pdf 2-3 2 Second.page.*Third.page" "three.pdf application/pdf 3-9 1 Third.page" \
  "two-srgb.pwg image/pwg-raster 2-2 1 -"; do
  set -- $job
  rm -rf "$out" && mkdir -p "$out"
  ipptool -f "$scratch/$1" -d filetype="$2" -d ranges="$3" "$uri" "$scratch/ranges.test" >/dev/null 2>&1 ||
    fail "$1 pages $3: print-job failed"
  wait_for_files 1 || fail "$1 pages $3 was not filed"
  sleep 1
  filed=$(ls "$out"/* | head -1)
  pdfinfo "$filed" 2>/dev/null | grep -q "^Pages: *$4$" || fail "$1 pages $3: not $4 pages: $(pdfinfo "$filed" 2>&1)"
  [ "$5" = - ] || pdftotext "$filed" - 2>/dev/null | tr '\n' ' ' | grep -q "$5" ||
    fail "$1 pages $3: not the pages asked for: $(pdftotext "$filed" - 2>&1)"
done
rm -rf "$out" && mkdir -p "$out"
ipptool -f "$scratch/three.pdf" -d filetype=application/pdf -d ranges=4-5 "$uri" "$scratch/ranges.test" >/dev/null 2>&1
sleep 3
[ "$(ls "$out" | wc -l)" -eq 0 ] || fail "a job whose page-ranges hold no page filed something: $(ls "$out")"
rm -rf "$out" && mkdir -p "$out"

# CUPS as the client: a scheduler of the test's own adds the printer from
# what it says of itself, and prints to it. Its filters run as another
# user: the scratch folder must be theirs to pass through.
cups=$scratch/cups
cups_server=127.0.0.1:$((port + 1))
mkdir -p "$cups/spool" "$cups/tmp" "$cups/state" "$cups/cache"
chmod 755 "$scratch" "$cups"
chmod 1777 "$cups/tmp"
cat >"$cups/cupsd.conf" <<CONF
Listen $cups_server
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
CONF
cat >"$cups/cups-files.conf" <<CONF
ServerRoot $cups
RequestRoot $cups/spool
TempDir $cups/tmp
StateDir $cups/state
CacheDir $cups/cache
ErrorLog $cups/error_log
AccessLog $cups/access_log
PageLog $cups/page_log
CONF
cupsd -f -c "$cups/cupsd.conf" -s "$cups/cups-files.conf" >"$cups/out.log" 2>&1 &
cupsd_pid=$!
for _ in $(seq 50); do
  CUPS_SERVER=$cups_server lpstat -r >/dev/null 2>&1 && break
  sleep 0.2
done
rm -rf "$out" && mkdir -p "$out"
make_pdf "$scratch/through-cups.pdf" a4 "Printed through CUPS"
if CUPS_SERVER=$cups_server lpadmin -p Tollivane -E -v "$uri" -m everywhere >"$cups/lpadmin.log" 2>&1; then
  CUPS_SERVER=$cups_server lp -d Tollivane "$scratch/through-cups.pdf" >"$cups/lp.log" 2>&1 ||
    fail "lp: $(cat "$cups/lp.log")"
  wait_for_files 1 || fail "the print through CUPS was not filed: $(tail -5 "$cups/error_log")"
  sleep 1
  pdftotext "$out/$(ls "$out" | head -1)" - 2>/dev/null | grep -q "Printed through CUPS" ||
    fail "the print through CUPS was not filed with its text"
else
  fail "lpadmin -m everywhere: $(cat "$cups/lpadmin.log")"
fi
kill "$cupsd_pid"
cupsd_pid=""
rm -rf "$out" && mkdir -p "$out"

# A client gone half-way through its document files nothing; requests a
# web page could send get an HTTP refusal.
python3 - "$port" >"$scratch/http.log" 2>&1 <<'PYTHON' || fail "HTTP checks: $(cat "$scratch/http.log")"
import socket, struct, sys
port = int(sys.argv[1])
def attr(tag, name, value):
    return bytes([tag]) + struct.pack('>H', len(name)) + name.encode() + struct.pack('>H', len(value)) + value
ipp = (bytes([2, 0]) + struct.pack('>HI', 0x0002, 5) + bytes([1]) + attr(0x47, 'attributes-charset', b'utf-8') +
       attr(0x48, 'attributes-natural-language', b'en') +
       attr(0x45, 'printer-uri', ('ipp://127.0.0.1:%d/ipp/print' % port).encode()) +
       attr(0x49, 'document-format', b'application/pdf') + bytes([3]))
def exchange(head, body, whole=True):
    s = socket.create_connection(('127.0.0.1', port))
    s.sendall(head + body)
    if not whole:
        s.close()
        return b''
    s.settimeout(20)
    answer = s.recv(4096)
    s.close()
    return answer
cut = b'%PDF-1.4\n' + b'x' * 5000
head = b'POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/ipp\r\nContent-Length: %d\r\n\r\n'
exchange(head % (len(ipp) + 100000), ipp + cut, whole=False)
refusals = [
    (b'POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: http://page.example\r\n'
     b'Content-Type: application/ipp\r\nContent-Length: %d\r\n\r\n', b'403'),
    (b'POST /ipp/print HTTP/1.1\r\nHost: printer.example:8631\r\nContent-Type: application/ipp\r\n'
     b'Content-Length: %d\r\n\r\n', b'403'),
    (b'POST /ipp/print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n', b'415'),
]
for head_template, status in refusals:
    answer = exchange(head_template % len(ipp), ipp)
    if not answer.startswith(b'HTTP/1.1 ' + status):
        sys.exit('wanted %s, got %r' % (status.decode(), answer[:40]))
# The printer's page and icon (printer-more-info, printer-icons).
for target, kind, start in ((b'/', b'text/html', b'<!DOCTYPE html>'), (b'/icon.png', b'image/png', b'\x89PNG')):
    s = socket.create_connection(('127.0.0.1', port))
    s.sendall(b'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' % target)
    s.settimeout(20)
    answer = b''
    while True:
        piece = s.recv(65536)
        if not piece:
            break
        answer += piece
    s.close()
    head, _, body = answer.partition(b'\r\n\r\n')
    if not head.startswith(b'HTTP/1.1 200') or b'Content-Type: ' + kind not in head or not body.startswith(start):
        sys.exit('GET %s: %r' % (target.decode(), answer[:120]))
PYTHON
sleep 2
[ "$(ls "$out" | wc -l)" -eq 0 ] || fail "a client gone half-way filed something: $(ls "$out")"

# Closing its standard input stops the service.
kill "$feeder"
feeder=""
for _ in $(seq 100); do
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$service_pid" 2>/dev/null && fail "the service did not stop when its input closed"
grep -q "TollivaneService: stopped" "$scratch/service.log" || fail "the service did not say it stopped"

echo "ipp printer: $failures failure(s)"
[ "$failures" -eq 0 ]
