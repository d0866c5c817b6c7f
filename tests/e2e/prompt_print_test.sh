#!/bin/bash
# The program end to end in prompt mode, with the real Save As dialog on a
# virtual X display, answered with real key presses the way a user would.
# Then the same through the printer "Tollivane": a job holds the port only
# until its run has taken its print, and a second job printed under the open
# dialog passes the port, waits for its own dialog and is filed under the
# next free name. Last, pages printed the way applications print
# (GDI, through the PostScript driver), filed at once and through the dialog,
# read back with Ghostscript; one client at a time (see README.md).
#   prompt_print_test.sh EXE PREFIX SCREENSHOT_FOLDER SETUP_EXE PRINT_CLIENT PPD
# Starts its own Xvfb when DISPLAY names none, and its own Wine prefix with the
# X11 driver. Exits 1 when any check fails.
set -u
exe=$1
prefix=$(realpath -m "$2")
shots=$3
setup=$4 client=$5 ppd=$6
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
drive_c=$prefix/drive_c
out=$drive_c/TollivaneTest/out
settings=$drive_c/Kestrin/Print/Config/Kestrin.ini
spool=$drive_c/Kestrin/Print/File.pdf
scratch=$(mktemp -d)
failures=0
xvfb_pid=""

export WINEPREFIX=$prefix WINEDEBUG=-all

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

expect_file() {  # path, wanted contents
  if [ ! -f "$1" ]; then
    fail "${1#"$drive_c"/} was not filed"
  elif ! cmp -s "$1" <(printf '%s' "$2"); then
    fail "${1#"$drive_c"/} does not hold what it should"
  fi
}

expect_files() {  # the output folder's names, sorted, as one line
  local listed
  listed=$(cd "$out" && ls -A | sort | tr '\n' ' ')
  [ "$listed" = "$1" ] || fail "output folder holds '$listed', wanted '$1'"
}

cleanup() {
  "$tools/wine-prefix" stop "$prefix"
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

start_display() {
  if [ -n "${DISPLAY:-}" ] && xdotool getmouselocation >/dev/null 2>&1; then return; fi
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(cat "$scratch/display")"
}

spool_contents="%PDF-1.4
the print to file
%%EOF
"

prepare_print() {  # settings lines after the section name
  rm -rf "$drive_c/Kestrin" "$drive_c/TollivaneTest"
  mkdir -p "$drive_c/Kestrin/Print/Config" "$out"
  printf '%s' "$spool_contents" >"$spool"
  printf '[Tarvold]\r\n%s' "$1" >"$settings"
  cp "$settings" "$scratch/settings-before"
}

# Starts one print in the background, with a watch for any visible window
# titled like the program's own.
start_print() {
  : >"$scratch/seen-main-window"
  "$tools/wine-run" "$exe" &
  print_pid=$!
  (
    while kill -0 "$print_pid" 2>/dev/null; do
      xdotool search --onlyvisible --name '^Tollivane$' >>"$scratch/seen-main-window" 2>/dev/null
      sleep 0.05
    done
  ) &
  watch_pid=$!
}

# Waits for a visible Save As window other than $1 (empty: any); prints its
# id. The program's own window must not be visible beside it.
wait_for_dialog() {
  local id
  for _ in $(seq 300); do
    for id in $(xdotool search --onlyvisible --name '^Save As$' 2>/dev/null); do
      [ "$id" = "${1:-}" ] && continue
      xdotool search --onlyvisible --name '^Tollivane$' >>"$scratch/seen-main-window" 2>/dev/null
      echo "$id"
      return 0
    done
    sleep 0.1
  done
  return 1
}

window_exists() {
  xdotool search --onlyvisible --name '^Save As$' 2>/dev/null | grep -qx "$1"
}

# Presses keys in the dialog, as typed on the keyboard.
press() {
  local dialog=$1
  shift
  xdotool windowfocus --sync "$dialog" 2>/dev/null
  xdotool "$@"
}

# Enter may first only filter the file list when the typed name starts an
# existing one; press it again until the dialog has gone.
confirm() {
  for _ in 1 2 3; do
    press "$1" key Return
    for _ in $(seq 20); do
      window_exists "$1" || return 0
      sleep 0.1
    done
  done
}

finish_print() {  # case name
  local code
  for _ in $(seq 300); do
    kill -0 "$print_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$print_pid" 2>/dev/null; then
    fail "$1: the program did not end"
    kill "$print_pid"
  fi
  wait "$print_pid"
  code=$?
  wait "$watch_pid" 2>/dev/null
  [ "$code" -eq 0 ] || fail "$1: exit code $code"
  [ -s "$scratch/seen-main-window" ] && fail "$1: a window titled Tollivane was visible"
  echo "done: $1"
}

case_accept_the_proposal() {
  prepare_print $'DefaultDir=C:\\TollivaneTest\\out\r\nFileNameCounter=4\r\n'
  printf 'earlier' >"$out/File005.pdf"
  start_print
  local dialog
  dialog=$(wait_for_dialog) || fail "accept: no Save As dialog"
  sleep 0.5  # let it finish drawing
  import -window root "$shots/prompt-dialog.png"
  confirm "$dialog"
  finish_print "accept the proposed name"
  expect_file "$out/File006.pdf" "$spool_contents"
  expect_files "File005.pdf File006.pdf "
  cmp -s "$settings" "$scratch/settings-before" || fail "accept: the settings file changed"
}

case_typed_name_gets_the_extension() {
  prepare_print $'DefaultDir=C:\\TollivaneTest\\out\r\nFileExtension=pdf\r\n'
  start_print
  local dialog
  dialog=$(wait_for_dialog) || fail "typed name: no Save As dialog"
  press "$dialog" type --delay 30 "Quarterly report"
  confirm "$dialog"
  finish_print "typed name without an extension"
  expect_file "$out/Quarterly report.pdf" "$spool_contents"
  expect_files "Quarterly report.pdf "
}

case_cancel_files_nothing() {
  prepare_print $'DefaultDir=C:\\TollivaneTest\\out\r\nFileNameCounter=7\r\n'
  start_print
  local dialog
  dialog=$(wait_for_dialog) || fail "cancel: no Save As dialog"
  press "$dialog" key Escape
  finish_print "cancel"
  expect_files ""
  no_copy_left "cancel"
  cmp -s "$settings" "$scratch/settings-before" || fail "cancel: the settings file changed"
}

no_copy_left() {  # case name
  local left
  left=$(cd "$drive_c/Kestrin/Print" && ls -A | grep -i '^tlv' | tr '\n' ' ')
  [ -z "$left" ] || fail "$1: the print's copy was left: $left"
}

case_spool_replaced_under_the_dialog() {
  prepare_print $'DefaultDir=C:\\TollivaneTest\\out\r\n'
  start_print
  local dialog
  dialog=$(wait_for_dialog) || fail "replaced: no Save As dialog"
  printf '%%PDF-1.4\nthe next job\n' >"$scratch/next.pdf"
  mv -f "$scratch/next.pdf" "$spool"
  confirm "$dialog"
  finish_print "the next job replaces the spool file under the dialog"
  expect_file "$out/File002.pdf" "$spool_contents"
  no_copy_left "replaced"
}

case_existing_extended_name_asks_again() {
  prepare_print $'DefaultDir=C:\\TollivaneTest\\out\r\n'
  printf 'the report filed before' >"$out/Report.pdf"
  start_print
  local first second
  first=$(wait_for_dialog) || fail "ask again: no Save As dialog"
  press "$first" type --delay 30 "Report"
  confirm "$first"
  if second=$(wait_for_dialog "$first"); then
    sleep 0.5
    import -window root "$shots/prompt-dialog-asked-again.png"
    kill -0 "$print_pid" 2>/dev/null || fail "ask again: the program ended instead"
    expect_file "$out/Report.pdf" "the report filed before"
    press "$second" key Escape
  else
    fail "ask again: the dialog did not come back"
  fi
  finish_print "typed name whose extended form exists"
  expect_file "$out/Report.pdf" "the report filed before"
  expect_files "Report.pdf "
}

windows_path() { echo "Z:$1" | tr / '\\'; }

# A job of the printer's client, in the background; its output in $2.
start_job() {  # file, output, first job number
  "$tools/wine-run" "$client" print Tollivane "$(windows_path "$1")" "$3" >"$2" 2>&1 &
}

# The port holds a prompt job only until its run has taken its print: the
# first client returns with its dialog still open, and a second job passes
# the port meanwhile; its dialog waits for the first to be answered and then
# proposes the next free name. (Before runs said so, a job held the port
# until its dialog closed.)
case_printer_frees_the_port_once_the_print_is_taken() {
  "$tools/wine-run" "$client" driver "Tollivane Test PS" "$(windows_path "$ppd")" ||
    fail "printer: the test driver was not installed"
  "$tools/wine-run" "$setup" install --driver "Tollivane Test PS" >"$scratch/setup" 2>&1 ||
    fail "printer: setup ended with $?: $(cat "$scratch/setup")"
  prepare_print $'DefaultDir=C:\\TollivaneTest\\out\r\n'
  printf '%%PDF-1.4\nthe first job\n' >"$scratch/job1.pdf"
  printf '%%PDF-1.4\nthe second job\n' >"$scratch/job2.pdf"
  start_job "$scratch/job1.pdf" "$scratch/client1" 100
  local client1=$! first second
  first=$(wait_for_dialog) || fail "printer: no Save As dialog"
  wait_for_client "$client1" || fail "printer: the first job still holds the port under its open dialog"
  grep -q printed "$scratch/client1" || fail "printer: the first job did not end well: $(cat "$scratch/client1")"
  start_job "$scratch/job2.pdf" "$scratch/client2" 200
  local client2=$!
  wait_for_client "$client2" || fail "printer: the second job waited for the first job's dialog"
  grep -q printed "$scratch/client2" || fail "printer: the second job did not end well: $(cat "$scratch/client2")"
  cmp -s "$spool" "$scratch/job2.pdf" || fail "printer: the second job is not the spool file"
  sleep 1
  [ "$(xdotool search --onlyvisible --name '^Save As$' | wc -l)" -eq 1 ] || fail "printer: two dialogs at once"
  confirm "$first"
  if ! second=$(wait_for_dialog "$first"); then
    fail "printer: the second job's dialog did not come"
    import -window root "$shots/printer-no-second-dialog.png"
  else
    confirm "$second"  # the name it proposes: File003.pdf, checked below
  fi
  for _ in $(seq 100); do
    [ -f "$out/File003.pdf" ] && break
    sleep 0.1
  done
  expect_file "$out/File002.pdf" "$(cat "$scratch/job1.pdf")"$'\n'
  expect_file "$out/File003.pdf" "$(cat "$scratch/job2.pdf")"$'\n'
  echo "done: the printer in prompt mode"
}

# Waits up to 20 s for a background client to end; false when it has not.
wait_for_client() {
  for _ in $(seq 200); do
    kill -0 "$1" 2>/dev/null || { wait "$1"; return 0; }
    sleep 0.1
  done
  return 1
}

# The text of a filed PostScript print, as Ghostscript reads it back (it
# gives the driver's spaces as no-break spaces).
page_text() {
  gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=txtwrite -o - "$1" 2>/dev/null | sed "s/$(printf '\302\240')/ /g"
}

expect_page() {  # path, the line of text, case name
  [ -f "$1" ] || { fail "$3: ${1#"$drive_c"/} was not filed"; return; }
  head -c 4 "$1" | grep -q '^%!PS' || fail "$3: ${1#"$drive_c"/} is not the driver's PostScript"
  page_text "$1" | grep -q "$2" || fail "$3: ${1#"$drive_c"/} does not hold the text \"$2\""
}

case_application_prints() {  # needs the printer of case_printer_frees_the_port_once_the_print_is_taken
  [ -f "$drive_c/windows/system32/spool/drivers/x64/3/$(basename "$ppd")" ] ||
    fail "application: the driver's PPD is not in the driver folder"
  prepare_print $'DefaultDir=C:\\TollivaneTest\\out\r\nPromptForEachPrint=0\r\n'
  local round
  for round in 1 2 3; do
    "$tools/wine-run" "$client" text Tollivane "Page $round of an application" >"$scratch/text$round" 2>&1
    grep -q printed "$scratch/text$round" || fail "application: print $round: $(cat "$scratch/text$round")"
  done
  expect_page "$out/File002.pdf" "Page 1 of an application" "application, automatic"
  expect_page "$out/File003.pdf" "Page 2 of an application" "application, automatic"
  expect_page "$out/File004.pdf" "Page 3 of an application" "application, automatic"

  prepare_print $'DefaultDir=C:\\TollivaneTest\\out\r\n'
  "$tools/wine-run" "$client" text Tollivane "A page through the dialog" >"$scratch/text-prompt" 2>&1 &
  local text_client=$! dialog
  if dialog=$(wait_for_dialog); then
    confirm "$dialog"
  else
    fail "application: no Save As dialog"
  fi
  wait "$text_client"
  grep -q printed "$scratch/text-prompt" || fail "application, prompt: $(cat "$scratch/text-prompt")"
  # The job ended when the run took its print; the run files it after the dialog.
  for _ in $(seq 100); do
    [ -f "$out/File002.pdf" ] && break
    sleep 0.1
  done
  sleep 0.5
  expect_page "$out/File002.pdf" "A page through the dialog" "application, prompt"
  echo "done: applications print through GDI"
}

# Uninstalling while a print's dialog is open: the port has let the job go,
# so uninstall finishes, and the dialog still files its print.
case_uninstall_under_an_open_dialog() {
  prepare_print $'DefaultDir=C:\\TollivaneTest\\out\r\n'
  printf '%%PDF-1.4\nprinted before the uninstall\n' >"$scratch/job3.pdf"
  start_job "$scratch/job3.pdf" "$scratch/client3" 300
  local client=$! dialog
  dialog=$(wait_for_dialog) || fail "uninstall: no Save As dialog"
  wait_for_client "$client" || fail "uninstall: the job still holds the port"
  "$tools/wine-run" "$setup" uninstall >"$scratch/uninstall" 2>&1 ||
    fail "uninstall under an open dialog ended with $?: $(cat "$scratch/uninstall")"
  grep -q 'The port monitor is unregistered' "$scratch/uninstall" || fail "uninstall: $(cat "$scratch/uninstall")"
  [ -n "$dialog" ] && confirm "$dialog"
  for _ in $(seq 100); do
    [ -f "$out/File002.pdf" ] && break
    sleep 0.1
  done
  expect_file "$out/File002.pdf" "$(cat "$scratch/job3.pdf")"$'\n'
  echo "done: uninstall under an open dialog"
}

mkdir -p "$shots"
start_display
"$tools/wine-prefix" start "$prefix" x11
case_accept_the_proposal
case_typed_name_gets_the_extension
case_cancel_files_nothing
case_existing_extended_name_asks_again
case_spool_replaced_under_the_dialog
case_printer_frees_the_port_once_the_print_is_taken
case_application_prints
case_uninstall_under_an_open_dialog
echo "prompt mode: $failures failure(s); screenshots in $shots"
[ "$failures" -eq 0 ]
