// The names the port monitor and its setup agree on: the monitor, its one
// port, and where the setup records the program the port starts.
#ifndef TOLLIVANE_MONITOR_MONITOR_NAMES_H
#define TOLLIVANE_MONITOR_MONITOR_NAMES_H

#define TOLLIVANE_MONITOR_NAME L"Tollivane Port Monitor"
#define TOLLIVANE_PORT_NAME L"TOLLIVANE:"
#define TOLLIVANE_MONITOR_DLL L"TollivanePort.dll"
// Under the monitor's own key: HKLM\System\CurrentControlSet\Control\Print\Monitors\<monitor>.
#define TOLLIVANE_MONITORS_KEY L"System\\CurrentControlSet\\Control\\Print\\Monitors\\"
#define TOLLIVANE_PROGRAM_VALUE L"Program"
// Serialises the spool file and the program's run across ports and processes.
#define TOLLIVANE_PORT_LOCK L"Global\\TollivanePortJob"
// In the private namespace of the processes that run as SYSTEM.
#define TOLLIVANE_SERVICE_PORT_LOCK L"Tollivane\\PortJob"
// Under the monitor's key, readable by administrators only: what the last job saw.
#define TOLLIVANE_RECORD_SUBKEY L"\\Record"  // under the product's key: the port's and the service's last job
// The product's own key, changeable by administrators alone: the kind of
// install the setup made, and the names of the job files the port made,
// kept until each file is gone.
#define TOLLIVANE_PRODUCT_KEY L"SOFTWARE\\Tollivane"
#define TOLLIVANE_JOB_FILES_SUBKEY L"\\JobFiles"
#define TOLLIVANE_SHARED_VALUE L"SharedSettings"
// The record is ANSI text: its value's name is too.
#define TOLLIVANE_RECORD_VALUE_A "LastJob"

#endif
