// LocalSystem holds every privilege; a service that lists the privileges it
// requires keeps only those.
#include "setup/check_rules.h"

namespace {

bool SameText(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (*a != *b) return false;
  return *a == *b;
}

}  // namespace

bool IsProtectedPrintOn(const ProtectedPrintFacts* facts) {
  return (facts->policyStatePresent && facts->policyState != 0) || (facts->modePresent && facts->mode != 0);
}

const char* PrivilegeName(uint32_t privilege) {
  switch (privilege) {
    case kPrivilegeTcb:
      return "SeTcbPrivilege";
    case kPrivilegeAssignPrimaryToken:
      return "SeAssignPrimaryTokenPrivilege";
    case kPrivilegeIncreaseQuota:
      return "SeIncreaseQuotaPrivilege";
    case kPrivilegeImpersonate:
      return "SeImpersonatePrivilege";
    default:
      return "";
  }
}

uint32_t MissingSpoolerPrivileges(bool runsAsLocalSystem, const char* required) {
  if (!runsAsLocalSystem) return kSpoolerPrivilegesNeeded;
  if (required == nullptr || *required == '\0') return 0;
  uint32_t missing = kSpoolerPrivilegesNeeded;
  for (const char* name = required; *name != '\0';) {
    for (uint32_t privilege = 1; privilege <= kPrivilegeImpersonate; privilege <<= 1)
      if (SameText(name, PrivilegeName(privilege))) missing &= ~privilege;
    while (*name != '\0') ++name;
    ++name;
  }
  return missing;
}
