// Whose job the monitor will touch the disk for, decided from plain facts
// about the job owner's token, so that every kind of owner can be driven by
// tests without a spooler. Only a real user, logged on here interactively,
// gets a job file; a job the spooler runs as itself (one resumed after a
// restart), a service account's or an anonymous one gets nothing.
#ifndef TOLLIVANE_MONITOR_OWNER_RULES_H
#define TOLLIVANE_MONITOR_OWNER_RULES_H

#include <stdint.h>

enum OwnerKind {
  kOwnerUnknown,  // no token: the port call did not impersonate anyone
  kOwnerSystem,
  kOwnerLocalService,
  kOwnerNetworkService,
  kOwnerAnonymous,
  kOwnerUser,
};

struct OwnerFacts {
  OwnerKind kind;
  uint32_t sessionId;   // the token's session; 0 for a network logon
  bool interactive;     // the token holds the INTERACTIVE group
  bool canImpersonate;  // a primary token, or impersonation level or above
};

enum OwnerVerdict {
  kOwnerMayPrint,
  kRefuseNoOwner,
  kRefuseServiceOwner,
  kRefuseAnonymousOwner,
  kRefuseNotInteractive,
  kRefuseCannotImpersonate,
};

OwnerVerdict JudgeJobOwner(const OwnerFacts* facts);

// The words the job's status and the monitor's record give for a verdict.
const char* OwnerVerdictReason(OwnerVerdict verdict);

// A token's groups, or any answer of the size its holder decides, read the
// way GetTokenInformation gives it: a call with too small a buffer fails and
// says how much it needs. `read` returns false with `needed` above `size`
// when the buffer is too small, false with `needed` at most `size` on any
// other failure.
typedef bool (*SizedRead)(void* context, void* buffer, uint32_t size, uint32_t* needed);

struct MemoryFunctions {
  void* (*allocate)(uint32_t size);
  void (*release)(void* block);
};

// Reads into a block grown to what `read` asks for (it may ask again, a
// token's groups can change between calls), no larger than `limit`. The
// block, to be released by the caller, or null.
void* ReadIntoGrownBlock(SizedRead read, void* context, uint32_t limit, const MemoryFunctions* memory);

#endif
