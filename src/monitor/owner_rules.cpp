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

void* ReadIntoGrownBlock(SizedRead read, void* context, uint32_t limit, const MemoryFunctions* memory) {
  const int kAttempts = 4;
  uint32_t size = 0;
  void* block = nullptr;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    uint32_t needed = 0;
    if (read(context, block, size, &needed)) return block;
    if (block != nullptr) memory->release(block);
    block = nullptr;
    if (needed <= size || needed > limit) return nullptr;
    size = needed;
    block = memory->allocate(size);
    if (block == nullptr) return nullptr;
  }
  if (block != nullptr) memory->release(block);
  return nullptr;
}
