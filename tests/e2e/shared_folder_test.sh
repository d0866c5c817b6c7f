#!/bin/bash
# Several PCs filing into one shared folder: each "PC" is a Wine prefix of
# its own, started in a UTS namespace of its own (unshare -u, then hostname)
# so that it has its own computer name, wineserver and process ids (which
# repeat from PC to PC), and all of them see one Linux folder: PC-ONE and
# PC-TWO as the mapped drive S:, PC-THREE by its Z: path. They file large
# prints in automatic mode at the same time, into that folder and one shared
# log that is rotated meanwhile. Then a run killed during its copy on one PC:
# the other PCs leave its temporary file alone, the next run there removes it.
#   shared_folder_test.sh EXE WORK_FOLDER
# Needs root for the namespaces; exits 77 (skipped) where they cannot be made.
set -u
work=$(realpath -m "$2")
shared=$work/shared
machines=(PC-ONE PC-TWO PC-THREE)
prints_each=${SHARED_FOLDER_PRINTS:-8}
print_size=$((16 * 1024 * 1024))
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

unshare -u true 2>/dev/null || { echo "skipped: no UTS namespaces here (needs root)"; exit 77; }

# Runs a command as machine $1 would: in its namespace, with its prefix.
on_machine() {
  local name=$1
  shift
  unshare -u sh -c 'hostname "$0" && exec "$@"' "$name" \
    env WINEPREFIX="$work/$name" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}

windows_path() { echo "Z:$1" | tr / '\\'; }
zshared=$(windows_path "$shared")
exe=$(windows_path "$(realpath "$1")")  # by its Windows path, which the kill below looks for
folder_of() { [ "$1" = PC-THREE ] && echo "$zshared" || echo 'S:'; }

cleanup() {
  for m in "${machines[@]}"; do on_machine "$m" wineserver -k >/dev/null 2>&1; done
  rm -rf "$shared" "$work/spools"
}
trap cleanup EXIT

# A prefix keeps the computer name it was made with: each is made in its namespace.
start_machine() {
  local m=$1 prefix=$work/$1
  if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    on_machine "$m" wineboot -i >/dev/null 2>&1
    on_machine "$m" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    on_machine "$m" wineserver -w
  fi
  ln -sfn "$shared" "$prefix/dosdevices/s:"
  mkdir -p "$prefix/drive_c/Kestrin/Print/Config"
  on_machine "$m" wineserver -p >/dev/null 2>&1
  on_machine "$m" wine cmd /c exit >/dev/null 2>&1
  local said
  said=$(on_machine "$m" wine cmd /c echo %COMPUTERNAME% 2>/dev/null | tr -d '\r')
  [ "$said" = "$m" ] || fail "$m: the prefix calls itself '$said'"
}

settings_of() {  # machine
  local folder
  folder=$(folder_of "$1")
  printf '[Tarvold]\r\nDefaultDir=%s\\\r\nPromptForEachPrint=0\r\nFileNameCounter=1\r\nLogFile=%s\\prints.log\r\n' \
    "$folder" "$folder" >"$work/$1/drive_c/Kestrin/Print/Config/Kestrin.ini"
}

# A print's bytes: its own first line, then the shared bulk.
make_print() {  # machine, number, file
  { printf '%%PDF-1.4 print %s of %s\n' "$2" "$1"; cat "$work/spools/bulk"; } >"$3"
}

# One PC filing its prints one after another, as its printer would start them.
file_prints() {  # machine
  local m=$1 i spool=$work/$1/drive_c/Kestrin/Print/File.pdf
  for i in $(seq "$prints_each"); do
    make_print "$m" "$i" "$spool.next"
    mv -f "$spool.next" "$spool"
    on_machine "$m" wine "$exe" >/dev/null 2>&1
  done
}

rm -rf "$shared" "$work/spools"
mkdir -p "$shared" "$work/spools"
head -c "$print_size" /dev/urandom >"$work/spools/bulk"
for m in "${machines[@]}"; do
  start_machine "$m"
  settings_of "$m"
done

# A log just short of its rotation size, so that it is rotated while they file.
line='2026-12-01 08:00:00 automatic filed S:\earlier.pdf'
: >"$shared/prints.log"
while [ "$(stat -c %s "$shared/prints.log")" -lt $((1024 * 1024 - 6000)) ]; do
  for _ in $(seq 100); do printf '%s\r\n' "$line"; done >>"$shared/prints.log"
done
while [ "$(stat -c %s "$shared/prints.log")" -lt $((1024 * 1024 - 100)) ]; do
  printf '%s\r\n' "$line" >>"$shared/prints.log"
done
earlier_lines=$(grep -c '' "$shared/prints.log")

started=$(date +%s)
for m in "${machines[@]}"; do file_prints "$m" & done
wait
echo "filed $((prints_each * ${#machines[@]})) prints of $((print_size / 1048576)) MiB from ${#machines[@]} PCs in $(($(date +%s) - started)) s"

# Every print filed once and whole.
expected=$((prints_each * ${#machines[@]}))
filed=$(cd "$shared" && ls | grep -c '^File[0-9]*\.pdf$')
[ "$filed" -eq "$expected" ] || fail "$filed prints filed, wanted $expected"
: >"$work/spools/seen"
for f in "$shared"/File*.pdf; do
  head -1 "$f" >>"$work/spools/seen"
  tail -c "$print_size" "$f" | cmp -s - "$work/spools/bulk" || fail "$(basename "$f") is not whole"
done
for m in "${machines[@]}"; do
  for i in $(seq "$prints_each"); do
    n=$(grep -cx "%PDF-1.4 print $i of $m" "$work/spools/seen")
    [ "$n" -eq 1 ] || fail "print $i of $m was filed $n times"
  done
done
left=$(cd "$shared" && ls | grep -i '^tlv' | tr '\n' ' ')
[ -z "$left" ] || fail "temporary files left: $left"

# One whole line per run in the shared log, across its rotation.
cat "$shared/prints.log.old" "$shared/prints.log" 2>/dev/null >"$work/spools/log"
[ -f "$shared/prints.log.old" ] || fail "the log was not rotated"
bad=$(grep -cvE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} automatic filed .*\.pdf'$'\r''$' "$work/spools/log")
[ "$bad" -eq 0 ] || fail "$bad log lines are not whole lines"
[ "$(grep -c "$(printf '%s' "$line" | sed 's/\\/\\\\/g')" "$work/spools/log")" -eq "$earlier_lines" ] ||
  fail "lines of the earlier log were lost in its rotation"
runs=$(grep -c 'automatic filed .*File[0-9]*\.pdf' "$work/spools/log")
[ "$runs" -eq "$expected" ] || fail "$runs lines of runs in the log, wanted $expected"
distinct=$(grep -o 'File[0-9]*\.pdf' "$work/spools/log" | sort -u | wc -l)
[ "$distinct" -eq "$expected" ] || fail "the log names $distinct prints, wanted $expected"

# A run killed during its copy on PC-ONE leaves its temporary file; PC-TWO's
# run keeps it (young, and PC-ONE's), PC-ONE's next run removes it.
spool=$work/PC-ONE/drive_c/Kestrin/Print/File.pdf
for _ in $(seq 24); do cat "$work/spools/bulk"; done >"$spool"
on_machine PC-ONE wine "$exe" >/dev/null 2>&1 &
runner=$!
temp=""
for _ in $(seq 600); do
  temp=$(cd "$shared" && ls | grep -i '^tlv.*\.PC-ONE\.tmp$' | head -1)
  [ -n "$temp" ] && break
  sleep 0.05
done
pkill -9 -f '\\Tollivane\.exe' 2>/dev/null  # the Windows path: not this script's arguments
wait "$runner" 2>/dev/null
if [ -z "$temp" ]; then
  fail "the killed run's temporary file never appeared"
else
  spool2=$work/PC-TWO/drive_c/Kestrin/Print/File.pdf
  make_print PC-TWO after "$spool2"
  on_machine PC-TWO wine "$exe" >/dev/null 2>&1
  [ -f "$shared/$temp" ] || fail "PC-TWO removed PC-ONE's young temporary file $temp"
  make_print PC-ONE after "$spool"
  on_machine PC-ONE wine "$exe" >/dev/null 2>&1
  [ ! -f "$shared/$temp" ] || fail "PC-ONE's next run did not remove its killed run's $temp"
  n=$(grep -c '^%PDF-1.4 print after of PC-' "$shared"/File*.pdf | grep -c ':1$')
  [ "$n" -eq 2 ] || fail "the two prints after the killed run: $n filed"
fi

echo "shared folder: $failures failure(s)"
[ "$failures" -eq 0 ]
