#!/bin/sh
# The zip's print-job script under Wine's cmd.exe, with a Ghostscript
# stand-in found through TOLLIVANE_GS, on PATH and under Program Files: a job
# piped in is filed by Tollivane; a failing or missing Ghostscript files
# nothing, keeps the previous spool file and exits non-zero with a reason.
# Then the setup script, laid out as in the zip: it runs the 64-bit setup,
# which installs the printer and the default settings once, keeps an edited
# settings file, passes a failure on and uninstalls.
#   print_script_test.sh EXE GS_STANDIN PACKAGE_FOLDER SETUP_EXE MONITOR_DLL PRINT_CLIENT PPD
#   (WINEPREFIX: null driver)
set -u
exe=$1 gs=$2 package=$3 setup=$4 monitor=$5 client=$6 ppd=$7
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
drive_c=${WINEPREFIX:?}/drive_c
app=$drive_c/TollivaneApp
out=$drive_c/TollivaneTest/scripts
spool=$drive_c/Kestrin/Print/File.pdf
record=$drive_c/TollivaneTest/gs-record.txt
program_files_gs=$drive_c/Program\ Files/gs/gs10.02.1/bin
scratch=$(mktemp -d)
trap 'rm -rf "$scratch" "$drive_c/Program Files/gs" "$drive_c/gsbin" "$drive_c/gsother"' EXIT
failures=0
fail() {
  printf "FAIL: %s\n" "$*"
  failures=$((failures + 1))
}

rm -rf "$app" "$drive_c/TollivaneTest" "$drive_c/Kestrin"
mkdir -p "$app/x64" "$out" "$drive_c/Kestrin/Print/Config" "$drive_c/gsbin" "$drive_c/gsother"
cp "$exe" "$package/tollivane-print.cmd" "$package/setup.cmd" "$package/Kestrin.ini" "$app/"
cp "$setup" "$monitor" "$app/x64/"
cp "$gs" "$drive_c/gsbin/gswin64c.exe"
cp "$gs" "$drive_c/gsother/render.exe"
printf '%%!PS\n%% the job of this test\nshowpage\n' >"$scratch/job.ps"
export TOLLIVANE_GS_RECORD='C:\TollivaneTest\gs-record.txt'
unset TOLLIVANE_GS TOLLIVANE_GS_FAIL WINEPATH

fresh_print() {
  rm -rf "$out" "$record"
  mkdir -p "$out"
  printf '[Tarvold]\r\nDefaultDir=C:\\TollivaneTest\\scripts\r\nPromptForEachPrint=0\r\n' \
    >"$drive_c/Kestrin/Print/Config/Kestrin.ini"
  printf 'the previous spool file\n' >"$spool"
}

# Runs the script as a port would; its exit code in $code, stderr in $scratch/err.
run_print() {
  "$tools/wine-run" cmd /c 'C:\TollivaneApp\tollivane-print.cmd' <"$scratch/job.ps" >"$scratch/out" 2>"$scratch/err"
  code=$?
}

expect_filed() { # what
  [ "$code" -eq 0 ] || fail "$1: exit code $code ($(cat "$scratch/err"))"
  grep -q "the job of this test" "$out/File002.pdf" 2>/dev/null || fail "$1: the job was not filed as File002.pdf"
  cmp -s "$spool" "$out/File002.pdf" || fail "$1: the spool file is not what was filed"
  grep -qx "argument -sDEVICE=pdfwrite" "$record" || fail "$1: Ghostscript was not asked for pdfwrite"
  grep -qx "argument -" "$record" || fail "$1: Ghostscript did not read the job from standard input"
  grep -q '^argument -sOutputFile=C:\\Kestrin\\Print\\' "$record" || fail "$1: Ghostscript did not write beside the spool file"
}

expect_nothing_printed() { # what
  [ "$code" -ne 0 ] || fail "$1: exit code 0"
  grep -q "^tollivane-print: " "$scratch/err" || fail "$1: no reason on standard error"
  [ "$(grep -c "^tollivane-print: " "$scratch/err")" -le 1 ] || fail "$1: more than one line of reason"
  [ "$(cat "$spool")" = "the previous spool file" ] || fail "$1: the previous spool file was changed"
  [ -z "$(ls -A "$out")" ] || fail "$1: something was filed: $(ls -A "$out")"
}

expect_no_rendering_left() { # what
  ls "$drive_c/Kestrin/Print" | grep -q rendering && fail "$1: a rendering was left beside the spool file"
}

fresh_print
WINEPATH='C:\gsbin' run_print
expect_filed "Ghostscript on PATH"
grep -qx 'program C:\\gsbin\\gswin64c.exe' "$record" || fail "PATH: another Ghostscript ran: $(head -1 "$record")"
expect_no_rendering_left "PATH"

fresh_print
WINEPATH='C:\gsbin' TOLLIVANE_GS='C:\gsother\render.exe' run_print
expect_filed "TOLLIVANE_GS"
grep -qx 'program C:\\gsother\\render.exe' "$record" || fail "TOLLIVANE_GS was not preferred: $(head -1 "$record")"

fresh_print
mkdir -p "$program_files_gs"
cp "$gs" "$program_files_gs/gswin64c.exe"
run_print
expect_filed "Ghostscript under Program Files"
grep -q 'gs10.02.1\\bin\\gswin64c.exe$' "$record" || fail "Program Files: another Ghostscript ran: $(head -1 "$record")"
rm -rf "$drive_c/Program Files/gs"

fresh_print
WINEPATH='C:\gsbin' TOLLIVANE_GS_FAIL=1 run_print
expect_nothing_printed "failing Ghostscript"
expect_no_rendering_left "failing Ghostscript"

fresh_print
run_print
expect_nothing_printed "no Ghostscript"
grep -q "Ghostscript not found" "$scratch/err" || fail "no Ghostscript: the reason does not say so"

fresh_print
TOLLIVANE_GS='C:\gsother\absent.exe' run_print
expect_nothing_printed "TOLLIVANE_GS naming no file"

# Setup: Wine has no PDF driver, so the default install fails and says so;
# with the tests' PostScript driver it installs the printer and the settings
# once, keeps an edited settings file, and uninstalls.
setup_cmd() { "$tools/wine-run" cmd /c 'C:\TollivaneApp\setup.cmd' "$@"; }
"$tools/wine-run" "$client" driver "Tollivane Test PS" "Z:$(echo "$ppd" | tr / '\\')" ||
  fail "the test driver was not installed"
setup_cmd uninstall >/dev/null 2>&1 || fail "uninstalling what an earlier run left ended with $?"
rm -rf "$drive_c/Kestrin/Print/Config"
setup_cmd >"$scratch/setup0" 2>&1 && fail "setup without the PDF driver ended with 0"
grep -q 'Failed: adding the printer "Tollivane" with the driver "Microsoft Print to PDF"' "$scratch/setup0" ||
  fail "setup does not say the PDF driver is missing: $(cat "$scratch/setup0")"
[ ! -e "$drive_c/Kestrin/Print/Config/Kestrin.ini" ] || fail "the failed setup left the settings file behind"
# Wine reads a folder anyone may write (Unix mode 777) as one users can
# change: setup refuses to install from it, and installs nothing.
chmod 777 "$app"
setup_cmd install --driver "Tollivane Test PS" >"$scratch/setup1" 2>&1 && fail "setup installed from a folder anyone may change"
chmod 755 "$app"
grep -q 'Failed: users other than administrators can change C:\\TollivaneApp' "$scratch/setup1" ||
  fail "setup did not refuse a folder anyone may change: $(cat "$scratch/setup1")"
[ ! -e "$drive_c/Program Files (x86)/Tollivane" ] || fail "the refused setup installed the program"
setup_cmd install --driver "Tollivane Test PS" >"$scratch/setup1" 2>&1 || fail "setup ended with $?: $(cat "$scratch/setup1")"
cmp -s "$package/Kestrin.ini" "$drive_c/Kestrin/Print/Config/Kestrin.ini" || fail "setup did not copy the default settings"
grep -q 'Added the printer "Tollivane"' "$scratch/setup1" || fail "setup did not add the printer"
grep -q 'The port starts C:\\Program Files (x86)\\Tollivane\\Tollivane.exe' "$scratch/setup1" ||
  fail "setup did not point the port at its copy of the exe under Program Files"
printf 'DefaultDir=D:\\Edited\r\n' >>"$drive_c/Kestrin/Print/Config/Kestrin.ini"
cp "$drive_c/Kestrin/Print/Config/Kestrin.ini" "$scratch/edited.ini"
setup_cmd install --driver "Tollivane Test PS" >"$scratch/setup2" 2>&1 || fail "setup ended with $? the second time"
cmp -s "$scratch/edited.ini" "$drive_c/Kestrin/Print/Config/Kestrin.ini" || fail "setup replaced an edited settings file"
grep -q "Kept" "$scratch/setup2" || fail "setup does not say it kept the settings"
grep -q "Failed" "$scratch/setup2" && fail "setup refused a folder only its owner may change"
setup_cmd check >"$scratch/check" 2>&1
grep -q '^ok       printer: "Tollivane" on TOLLIVANE:' "$scratch/check" || fail "setup.cmd check: $(cat "$scratch/check")"
# The unpacked folder may go once setup has run: the port starts the copy.
mv "$app" "$app.gone"
printf '[Tarvold]\r\nDefaultDir=C:\\TollivaneTest\\scripts\r\nPromptForEachPrint=0\r\n' \
  >"$drive_c/Kestrin/Print/Config/Kestrin.ini"
rm -rf "$out" && mkdir -p "$out"
cp "$scratch/job.ps" "$drive_c/TollivaneTest/job.ps"
"$tools/wine-run" "$client" print Tollivane 'C:\TollivaneTest\job.ps' 1 0 >"$scratch/client" 2>&1 ||
  fail "printing without the unpacked folder failed: $(cat "$scratch/client")"
for _ in $(seq 100); do [ -e "$out/File002.pdf" ] && break; sleep 0.1; done
cmp -s "$scratch/job.ps" "$out/File002.pdf" || fail "the print was not filed once the unpacked folder was gone"
mv "$app.gone" "$app"
cp "$scratch/edited.ini" "$drive_c/Kestrin/Print/Config/Kestrin.ini"
setup_cmd uninstall >"$scratch/setup3" 2>&1 || fail "uninstall ended with $?: $(cat "$scratch/setup3")"
cmp -s "$scratch/edited.ini" "$drive_c/Kestrin/Print/Config/Kestrin.ini" || fail "uninstall touched the settings"
[ ! -e "$drive_c/Program Files (x86)/Tollivane" ] || fail "uninstall left the program under Program Files"

echo "print script: $failures failure(s)"
[ "$failures" -eq 0 ]
