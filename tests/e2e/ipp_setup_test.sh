#!/bin/sh
# The setup and the IPP printer under Wine's service control manager:
# install --ipp registers and starts the service, which ipptool reaches from
# Linux; a second install changes nothing; check tells each state; install
# switches to the port monitor's printer and back, leaving one printer and no
# service or monitor behind; protected print mode set in its policy makes
# install choose the IPP printer (at 8631); uninstall leaves no service and
# nothing answering. Wine has no IPP class driver: adding that printer fails
# there in one line, and the rest still happens.
#   ipp_setup_test.sh SETUP_EXE PRINT_CLIENT_EXE PPD PORT   (WINEPREFIX: a prefix with the null driver)
set -u
setup=$1
client=$2
ppd=$3
port=$4
scratch=$(mktemp -d)
failures=0
policy='HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP'
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
cleanup() {
  wine reg delete "$policy" /f >/dev/null 2>&1
  wine "$setup" uninstall </dev/null >/dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT

# setup ARGS...: its output in $scratch/out, its exit code in $code.
setup() {
  wine "$setup" "$@" </dev/null >"$scratch/out" 2>&1
  code=$?
}
says() { grep -qF "$1" "$scratch/out" || fail "$2: no \"$1\" in: $(cat "$scratch/out")"; }
never_says() { grep -qF "$1" "$scratch/out" && fail "$2: \"$1\" in: $(cat "$scratch/out")"; }
service_state() { wine sc query TollivanePrintService </dev/null 2>/dev/null | tr -d '\r' | awk '/STATE/ { print $4 }'; }
answers() { ipptool -T 5 "ipp://127.0.0.1:$1/ipp/print" get-printer-attributes.test >/dev/null 2>&1; }

wine "$client" driver "Tollivane Test PS" "$(printf 'Z:%s' "$ppd" | tr / '\\')" >/dev/null 2>&1 ||
  fail "the tests' driver was not installed"

setup install --ipp --port "$port"
says "The IPP printer answers at ipp://127.0.0.1:$port/ipp/print" "install --ipp"
says "Registered the service \"Tollivane Print Service\" (LocalSystem, automatic start)" "install --ipp"
says "adding the printer \"Tollivane\"" "install --ipp"  # added, or failed in one line under Wine
[ "$(service_state)" = RUNNING ] || fail "install --ipp: the service is $(service_state)"
answers "$port" || fail "install --ipp: nothing answers at $port"

setup install --ipp --port "$port"
for step in "Copied" "Registered" "The service \"Tollivane Print Service\" runs" "Switching"; do
  never_says "$step" "a second install --ipp"
done
[ "$(service_state)" = RUNNING ] || fail "a second install --ipp: the service is $(service_state)"

setup check
says "ok       printer kind: the IPP printer" "check of the IPP printer"
says "ok       IPP printer's service: running" "check of the IPP printer"
says "ok       service account: LocalSystem" "check of the IPP printer"
says "ok       IPP printer: answers at ipp://127.0.0.1:$port/ipp/print" "check of the IPP printer"

setup install --driver "Tollivane Test PS"
[ "$code" -eq 0 ] || fail "switching to the port monitor: exit $code: $(cat "$scratch/out")"
says "setup installs the port monitor's printer" "switching to the port monitor"
says "The service \"Tollivane Print Service\" is stopped and deleted" "switching to the port monitor"
[ -z "$(service_state)" ] || fail "switching to the port monitor left the service $(service_state)"
answers "$port" && fail "switching to the port monitor left the IPP printer answering"
setup check
says "ok       printer kind: the port monitor's printer" "check of the port monitor's printer"
says "ok       printer: \"Tollivane\" on TOLLIVANE:" "check of the port monitor's printer"

# Protected print mode on, by its documented policy value.
wine reg add "$policy" /v WindowsProtectedPrintGroupPolicyState /t REG_DWORD /d 1 /f >/dev/null 2>&1
setup check
says "PROBLEM  printer kind: the port monitor's printer, inside the Print Spooler: the port monitor's printer cannot print while Windows protected print mode is on: run setup.cmd install again" "check under protected print mode"
setup install --driver "Tollivane Test PS"
says "Windows protected print mode is on (Windows says so)" "install under protected print mode"
says "Switching: the port monitor and TollivanePort.dll are removed" "install under protected print mode"
says "The IPP printer answers at ipp://127.0.0.1:8631/ipp/print" "install under protected print mode"
[ "$(service_state)" = RUNNING ] || fail "install under protected print mode: the service is $(service_state)"
answers 8631 || fail "install under protected print mode: nothing answers at 8631"
setup check
says "ok       printer kind: the IPP printer" "check of the IPP printer under protected print mode"
wine reg delete "$policy" /f >/dev/null 2>&1

setup uninstall
[ "$code" -eq 0 ] || fail "uninstall: exit $code: $(cat "$scratch/out")"
says "The service \"Tollivane Print Service\" is stopped and deleted" "uninstall"
[ -z "$(service_state)" ] || fail "uninstall left the service $(service_state)"
answers 8631 && fail "uninstall left something answering at 8631"

echo "ipp setup: $failures failure(s)"
[ "$failures" -eq 0 ]
