// Native stand-in for the path calls (shlwapi) and the drive mapping behind
// every Windows path the stand-in opens.
#include "win32_standin.h"

#include <dirent.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

namespace {

char driveRoots[26][512];

// Shares, by their root "\\server\share", as a network drive's folders.
struct HostShare {
  char root[MAX_PATH];
  char folder[512];
};
HostShare shares[4];

// The share whose root starts `path`, followed by a backslash or the end.
const HostShare* ShareOf(const char* path, size_t* rootLength) {
  for (const HostShare& share : shares) {
    size_t length = strlen(share.root);
    if (length > 0 && strncasecmp(path, share.root, length) == 0 && (path[length] == '\\' || path[length] == '\0')) {
      *rootLength = length;
      return &share;
    }
  }
  return nullptr;
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int DriveIndex(char letter) { return (letter >= 'a' ? letter - 'a' : letter - 'A'); }

// Windows file systems ignore case: a name in another case is the same file.
bool ExistsInAnyCase(char* native) {
  struct stat info;
  if (stat(native, &info) == 0) return true;
  char* slash = strrchr(native, '/');
  if (slash == nullptr) return false;
  *slash = '\0';
  DIR* folder = opendir(slash == native ? "/" : native);
  *slash = '/';
  if (folder == nullptr) return false;
  bool found = false;
  for (struct dirent* entry; !found && (entry = readdir(folder)) != nullptr;)
    found = strcasecmp(entry->d_name, slash + 1) == 0;
  closedir(folder);
  return found;
}

}  // namespace

void HostMapDrive(char letter, const char* hostFolder) {
  if (!IsDriveLetter(letter)) return;
  lstrcpynA(driveRoots[DriveIndex(letter)], hostFolder, sizeof driveRoots[0]);
}

void HostMapShare(const char* uncRoot, const char* hostFolder) {
  for (HostShare& share : shares)
    if (share.root[0] == '\0' || strcasecmp(share.root, uncRoot) == 0) {
      lstrcpynA(share.root, uncRoot, sizeof share.root);
      lstrcpynA(share.folder, hostFolder, sizeof share.folder);
      return;
    }
}

// Windows drops trailing dots and spaces from a name, so "File002.pdf." is File002.pdf.
BOOL HostToNativePath(LPCSTR windowsPath, char* nativePath, size_t capacity) {
  const char* rest = windowsPath;
  size_t used = 0;
  size_t shareRoot = 0;
  if (windowsPath[0] == '\\' && windowsPath[1] == '\\') {
    const HostShare* share = ShareOf(windowsPath, &shareRoot);
    if (share == nullptr) return FALSE;  // a server nobody set up: not found
    used = strlen(share->folder);
    if (used >= capacity) return FALSE;
    memcpy(nativePath, share->folder, used);
    rest = windowsPath + shareRoot;
  } else if (IsDriveLetter(windowsPath[0]) && windowsPath[1] == ':') {
    const char* root = driveRoots[DriveIndex(windowsPath[0])];
    if (root[0] == '\0') return FALSE;
    used = strlen(root);
    if (used >= capacity) return FALSE;
    memcpy(nativePath, root, used);
    rest = windowsPath + 2;
    if (*rest != '\\' && *rest != '/' && used + 1 < capacity) nativePath[used++] = '/';
  }
  for (; *rest != '\0'; ++rest) {
    if (used + 1 >= capacity) return FALSE;
    nativePath[used++] = (*rest == '\\') ? '/' : *rest;
  }
  while (used > 0 && (nativePath[used - 1] == '.' || nativePath[used - 1] == ' ')) --used;
  nativePath[used] = '\0';
  return TRUE;
}

BOOL PathAppendA(LPSTR path, LPCSTR more) {
  while (*more == '\\') ++more;
  size_t pathLength = strlen(path);
  bool needsSeparator = pathLength > 0 && path[pathLength - 1] != '\\';
  size_t total = pathLength + (needsSeparator ? 1 : 0) + strlen(more);
  if (total >= MAX_PATH) {
    path[0] = '\0';
    return FALSE;
  }
  if (needsSeparator) path[pathLength++] = '\\';
  strcpy(path + pathLength, more);
  return TRUE;
}

LPSTR PathFindExtensionA(LPCSTR path) {
  const char* lastDot = nullptr;
  for (; *path != '\0'; ++path) {
    if (*path == '\\' || *path == ' ')
      lastDot = nullptr;
    else if (*path == '.')
      lastDot = path;
  }
  return const_cast<LPSTR>(lastDot != nullptr ? lastDot : path);
}

BOOL PathAddExtensionA(LPSTR path, LPCSTR extension) {
  if (*PathFindExtensionA(path) != '\0') return FALSE;
  size_t length = strlen(path);
  if (length + strlen(extension) >= MAX_PATH) return FALSE;
  strcpy(path + length, extension);
  return TRUE;
}

BOOL PathFileExistsA(LPCSTR path) {
  if (strlen(path) > MAX_PATH) return FALSE;
  char native[1024];
  return HostToNativePath(path, native, sizeof native) && ExistsInAnyCase(native);
}

BOOL PathRemoveFileSpecA(LPSTR path) {
  char* backslash = strrchr(path, '\\');
  if (backslash == nullptr) {
    bool changed = path[0] != '\0';
    path[0] = '\0';
    return changed ? TRUE : FALSE;
  }
  // "C:\name" keeps its root's backslash.
  if (backslash == path + 2 && path[1] == ':') ++backslash;
  *backslash = '\0';
  return TRUE;
}
