// The access lists as SDDL, each entry with why it is there. Rights are in
// hex where SDDL has no word for the exact set:
//   0x1200a9  list, read attributes and extended attributes, traverse, read
//             the descriptor, wait: look inside, change nothing
//   0x1200ab  the same and add a file (FILE_ADD_FILE): no folders, no
//             deleting or renaming what is there
//   0x1301bf  modify: read, write, delete, but not change the access list
#include "monitor/access_rules.h"

const ProtectedFolder kProtectedFolders[kProtectedFolderCount] = {
    // C:\Kestrin: users look in, nothing more. Without this, any user could
    // rename Print away and put a junction in its place.
    {
        "C:\\Kestrin",
        "O:BAG:SYD:P"
        "(A;OICI;FA;;;SY)"     // SYSTEM: everything, here and below
        "(A;OICI;FA;;;BA)"     // Administrators: everything, here and below
        "(A;;0x1200a9;;;AU)",  // users: look inside this folder only
        nullptr,
        0x1200a9,
    },
    // Print: the spool file and the job files, all made by the printer's
    // port. Users look in and add nothing: no file there is a user's, so
    // none can be held open or locked against the port.
    {
        "C:\\Kestrin\\Print",
        "O:BAG:SYD:P"
        "(A;OICI;FA;;;SY)"     // SYSTEM: everything, here and below
        "(A;OICI;FA;;;BA)"     // Administrators: everything, here and below
        "(A;;0x1200a9;;;AU)",  // users: look inside this folder only
        nullptr,
        0x1200a9,
    },
    // Config: the settings file. In a one-user install every user's run
    // rewrites it (a new file renamed over the old one); whoever wrote it
    // last owns it but, through OWNER RIGHTS, may not change its list. In a
    // shared install users only read it.
    {
        "C:\\Kestrin\\Print\\Config",
        "O:BAG:SYD:P"
        "(A;OICI;FA;;;SY)"         // SYSTEM: everything, here and below
        "(A;OICI;FA;;;BA)"         // Administrators: everything, here and below
        "(A;;0x1200ab;;;AU)"       // users: look inside and add files; no folders
        "(A;OIIO;0x1301bf;;;AU)"   // users: modify the files, so any user's run may replace the settings
        "(A;OIIO;0x1301bf;;;OW)",  // an owner: the same, and not the list
        "O:BAG:SYD:P"
        "(A;OICI;FA;;;SY)"         // SYSTEM: everything, here and below
        "(A;OICI;FA;;;BA)"         // Administrators: everything, here and below
        "(A;OICI;0x1200a9;;;AU)",  // users: read the folder and the settings, change nothing
        0x1200ab,
    },
};

const char kSettingsFileSddl[] = "O:BAG:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1301bf;;;AU)(A;;0x1301bf;;;OW)";
const char kSharedSettingsFileSddl[] = "O:BAG:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;AU)";

const char kJobFileSddl[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";

namespace {

const uint32_t kAttributeDirectory = 0x10;       // FILE_ATTRIBUTE_DIRECTORY
const uint32_t kAttributeReparse = 0x400;        // FILE_ATTRIBUTE_REPARSE_POINT
const uint32_t kInvalidAttributes = 0xFFFFFFFF;  // INVALID_FILE_ATTRIBUTES

// A SID string as ConvertSidToStringSid writes it: "S-" then digits and dashes.
bool IsSidString(const char* sid) {
  if (sid == nullptr || sid[0] != 'S' || sid[1] != '-' || sid[2] == '\0') return false;
  for (const char* at = sid + 2; *at != '\0'; ++at)
    if (!((*at >= '0' && *at <= '9') || *at == '-')) return false;
  return true;
}

// Copies the pieces into `out`; false, leaving it empty, when they do not fit.
bool Compose(char* out, int size, const char* first, const char* second, const char* third) {
  const char* pieces[] = {first, second, third};
  int used = 0;
  for (const char* piece : pieces)
    for (const char* at = piece; *at != '\0'; ++at) {
      if (used >= size - 1) {
        if (size > 0) out[0] = '\0';
        return false;
      }
      out[used++] = *at;
    }
  out[used] = '\0';
  return true;
}

bool FormatWithSid(const char* head, const char* sid, char* out, int size) {
  if (!IsSidString(sid)) {
    if (size > 0) out[0] = '\0';
    return false;
  }
  return Compose(out, size, head, sid, ")");
}

}  // namespace

bool FormatPortLockSddl(const char* userSid, char* sddl, int size) {
  return FormatWithSid("D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;", userSid, sddl, size);
}

// KA: the whole key; CI: its subkeys too. Nobody else may read what the
// monitor saw of other users' jobs.
const char kServicePortLockSddl[] = "D:P(A;;GA;;;SY)";

const char kRecordKeySddl[] = "D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";

bool IsSafeFolderAttributes(uint32_t attributes) {
  return attributes != kInvalidAttributes && (attributes & kAttributeDirectory) != 0 &&
         (attributes & kAttributeReparse) == 0;
}
