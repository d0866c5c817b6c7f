// Whose job a print sent to the IPP printer is, decided from plain facts
// about the client, so every case is driven by host tests. As a service the
// printer trusts only what Windows says of the client's process: a request
// from the spooler (its process runs as SYSTEM; Windows' IPP class driver
// prints that way) names its user, matched on domain and name both against
// the users logged on; any other process's job is its own user's, whatever
// the request says. In the foreground the printer can start the program
// only as its own user, so it takes only that user's jobs; where no client's
// process can be named at all (a Linux client of Wine), every job is the
// service's own user's, and that only under Wine, never on Windows.
#ifndef TOLLIVANE_SERVICE_CLIENT_OWNER_H
#define TOLLIVANE_SERVICE_CLIENT_OWNER_H

#include <stdint.h>

enum ClientKind {
  kClientUnknown,  // its process could not be named or opened
  kClientSystem,   // the spooler, or another process running as SYSTEM
  kClientAccount,  // a process of any other account
};

enum OwnerSource {
  kOwnerIsServiceUser,   // in the foreground only
  kOwnerIsClientUser,    // the client process's own token
  kOwnerNamedInRequest,  // requesting-user-name, found in a session
  kOwnerCannotBeKnown,   // the job is refused
};

struct ClientFacts {
  bool runsAsService;
  bool underWine;
  ClientKind client;
  bool clientIsServiceUser;  // the client process runs as the printer's own user
};

OwnerSource ChooseOwnerSource(const ClientFacts* facts);

// "DOMAIN\user" names this account: both parts, letters of either case.
bool NamesAccount(const wchar_t* requested, const wchar_t* domain, const wchar_t* user);

struct SessionAccount {
  uint32_t id;
  bool active;  // someone works in it now; a disconnected one is not
  const wchar_t* domain;
  const wchar_t* user;
};

// The session of the account the request names, an active one before one
// that is not; -1 when the account is logged on nowhere.
int FindNamedSession(const SessionAccount* sessions, int count, const wchar_t* requested);

#endif
