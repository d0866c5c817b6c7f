// Who is at the other end of a connection to the IPP printer, as Windows
// tells it: the process that owns the client's end of the loopback
// connection, and its user's token. From that, whose job a request starts
// (see client_owner.h) and whose name it goes by, for Get-Jobs and for who
// may cancel it.
#ifndef TOLLIVANE_SERVICE_CLIENT_IDENTITY_H
#define TOLLIVANE_SERVICE_CLIENT_IDENTITY_H

#include <winsock2.h>
#include <windows.h>

#include "service/client_owner.h"

struct ClientIdentity {
  ClientFacts facts;
  HANDLE token;  // the client process's, or null
};

void IdentifyClient(SOCKET connection, bool asService, ClientIdentity* client);
void ReleaseClient(ClientIdentity* client);

// A token of the job's owner for the hand-over, to be closed by the caller;
// null with the reason (for job-state-message) when the job has none.
HANDLE OpenJobOwner(const ClientIdentity* client, const char* requestedUser, const char** reason);

// The name the job goes by: what the request says where the client is the
// spooler or is not known, else the client's own "DOMAIN\user".
void NameClientUser(const ClientIdentity* client, const char* requestedUser, char* user, int size);

#endif
