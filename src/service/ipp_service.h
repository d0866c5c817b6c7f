// Tollivane's IPP printer on the loopback address: it takes print jobs from
// local IPP clients (Windows' IPP class driver, CUPS, ipptool) and hands
// each to Tollivane as the port monitor does.
#ifndef TOLLIVANE_SERVICE_IPP_SERVICE_H
#define TOLLIVANE_SERVICE_IPP_SERVICE_H

#include <winsock2.h>
#include <windows.h>

const int kDefaultIppPort = 8631;

// Serves on 127.0.0.1 and ::1 at `port` until `stop` is set; finishes the
// job being filed first. `asService`: started by the service control
// manager, whose clients are named by their processes (see client_owner.h).
// `listening` is called once it takes connections. Returns the process exit
// code: 0, or 1 when it could not listen.
int RunIppService(int port, HANDLE stop, bool asService, void (*listening)(void));

#endif
