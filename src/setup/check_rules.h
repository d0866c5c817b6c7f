// What the setup's check decides from plain facts read off the machine:
// whether Windows protected print mode is on, and which of the privileges
// the port needs the Print Spooler service lacks. Built without the Windows
// headers, so that host tests drive every case.
#ifndef TOLLIVANE_SETUP_CHECK_RULES_H
#define TOLLIVANE_SETUP_CHECK_RULES_H

#include <stdint.h>

// What Windows says of protected print mode: the documented API where this
// Windows has it (WindowsProtectedPrintInfo.IsProtectedPrintEnabled), and
// the values under the key WPP of Windows NT\Printers in HKLM's policies,
// as read: absent values are false.
struct ProtectedPrintFacts {
  bool policyStatePresent;
  uint32_t policyState;  // WindowsProtectedPrintGroupPolicyState
  bool modePresent;
  uint32_t mode;  // WindowsProtectedPrintMode, which Windows does not document
  bool apiPresent;
  bool apiEnabled;
};

// The privileges starting the program as the job's owner takes: the user's
// session token (WTSQueryUserToken), a process with it, and acting for the
// owner.
enum SpoolerPrivilege : uint32_t {
  kPrivilegeTcb = 1,                 // SeTcbPrivilege
  kPrivilegeAssignPrimaryToken = 2,  // SeAssignPrimaryTokenPrivilege
  kPrivilegeIncreaseQuota = 4,       // SeIncreaseQuotaPrivilege
  kPrivilegeImpersonate = 8,         // SeImpersonatePrivilege
};
const uint32_t kSpoolerPrivilegesNeeded = 15;

// `required` is the service's list of required privileges, names separated
// by '\0' and ended by an empty one, or null when it sets none (the service
// then has all of its account's). Returns the needed ones it lacks.
uint32_t MissingSpoolerPrivileges(bool runsAsLocalSystem, const char* required);

// The name of one privilege flag.
const char* PrivilegeName(uint32_t privilege);

// Whether check, run by an administrator, may look at the output folder
// the settings name. Settings a standard user can write name any path: a
// network one (a UNC path, or a drive letter GetDriveType calls remote,
// `driveIsRemote`) would hand the administrator's credentials to its host,
// so only a folder on a local drive is looked at.
enum FolderProbe {
  kProbeFolder,
  kNotProbedNetwork,
  kNotProbedNotLocal,  // relative, a device or raw path, or no drive letter
};

FolderProbe DecideFolderProbe(const char* path, bool driveIsRemote);

#endif
