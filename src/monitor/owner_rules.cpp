// Session 0 belongs to services, and a logon without the INTERACTIVE group
// (a job printed from another machine) has nobody here to see the program.
#include "monitor/owner_rules.h"

OwnerVerdict JudgeJobOwner(const OwnerFacts* facts) {
  switch (facts->kind) {
    case kOwnerUnknown:
      return kRefuseNoOwner;
    case kOwnerSystem:
    case kOwnerLocalService:
    case kOwnerNetworkService:
      return kRefuseServiceOwner;
    case kOwnerAnonymous:
      return kRefuseAnonymousOwner;
    case kOwnerUser:
      break;
  }
  if (facts->sessionId == 0 || !facts->interactive) return kRefuseNotInteractive;
  if (!facts->canImpersonate) return kRefuseCannotImpersonate;
  return kOwnerMayPrint;
}

const char* OwnerVerdictReason(OwnerVerdict verdict) {
  switch (verdict) {
    case kOwnerMayPrint:
      return "owner may print";
    case kRefuseNoOwner:
      return "job has no owner";
    case kRefuseServiceOwner:
      return "job owned by a service account";
    case kRefuseAnonymousOwner:
      return "job owned by an anonymous logon";
    case kRefuseNotInteractive:
      return "no interactive session for the job's owner";
    case kRefuseCannotImpersonate:
      return "job owner's token cannot act for the owner";
  }
  return "job owner refused";
}
