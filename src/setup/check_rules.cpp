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

FolderProbe DecideFolderProbe(const char* path, bool driveIsRemote) {
  if (path == nullptr) return kNotProbedNotLocal;
  bool slash0 = path[0] == '\\' || path[0] == '/';
  bool slash1 = slash0 && (path[1] == '\\' || path[1] == '/');
  if (slash1) {
    bool device = (path[2] == '?' || path[2] == '.') && (path[3] == '\\' || path[3] == '/');
    bool uncDevice = device && (path[4] == 'U' || path[4] == 'u') && (path[5] == 'N' || path[5] == 'n') &&
                     (path[6] == 'C' || path[6] == 'c') && (path[7] == '\\' || path[7] == '/');
    return device && !uncDevice ? kNotProbedNotLocal : kNotProbedNetwork;
  }
  bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
  if (!letter || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return kNotProbedNotLocal;
  return driveIsRemote ? kNotProbedNetwork : kProbeFolder;
}
