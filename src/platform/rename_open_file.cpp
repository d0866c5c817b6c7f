// Renaming a file through its handle, which Windows offers only with a
// wide-character name in a structure of variable size.
#include "platform/platform.h"

namespace {

struct RenameRequest {
  FILE_RENAME_INFO info;
  WCHAR room[MAX_PATH];  // the name runs on past info.FileName
};

}  // namespace

BOOL RenameOpenFile(HANDLE file, LPCSTR newPath) {
  RenameRequest request = {};
  int length = MultiByteToWideChar(CP_ACP, 0, newPath, -1, request.info.FileName, MAX_PATH);
  if (length <= 1) return FALSE;
  request.info.ReplaceIfExists = TRUE;
  request.info.FileNameLength = static_cast<DWORD>(length - 1) * sizeof(WCHAR);
  return SetFileInformationByHandle(file, FileRenameInfo, &request, sizeof request);
}
