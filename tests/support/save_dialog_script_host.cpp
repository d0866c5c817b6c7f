// The script behind the stand-in's save dialog: what a user of the real dialog
// would see and get back, including the overwrite question on the returned name.
#include <string.h>

#include "platform/platform.h"
#include "save_dialog_script.h"
#include "test_files.h"

namespace {

std::vector<DialogAnswer> pending;
std::vector<DialogSeen> seen;

DialogSeen Describe(const OPENFILENAMEA* request) {
  DialogSeen shown = {};
  std::string proposed = request->lpstrFile;
  size_t slash = proposed.rfind('\\');
  shown.folder = slash == std::string::npos ? request->lpstrInitialDir : proposed.substr(0, slash);
  shown.fileName = slash == std::string::npos ? proposed : proposed.substr(slash + 1);
  for (const char* filter = request->lpstrFilter; *filter != '\0';) {
    shown.filters.push_back(filter);
    filter += strlen(filter) + 1;
    filter += strlen(filter) + 1;
  }
  shown.selectedFilter = static_cast<int>(request->nFilterIndex) - 1;
  return shown;
}

BOOL AnswerFromScript(OPENFILENAMEA* request) {
  DialogSeen shown = Describe(request);
  if (pending.empty()) {
    seen.push_back(shown);
    return FALSE;
  }
  DialogAnswer answer = pending.front();
  pending.erase(pending.begin());
  std::string chosen = shown.folder;
  if (!chosen.empty() && chosen.back() != '\\') chosen += '\\';
  chosen += answer.typedName.empty() ? shown.fileName : answer.typedName;
  if (answer.save && chosen.size() < request->nMaxFile) {
    strcpy(request->lpstrFile, chosen.c_str());
    shown.overwriteAsked = (request->Flags & OFN_OVERWRITEPROMPT) != 0 && PathExists(chosen);
  }
  seen.push_back(shown);
  return answer.save ? TRUE : FALSE;
}

}  // namespace

void ScriptSaveDialogs(const std::vector<DialogAnswer>& answers) {
  pending = answers;
  seen.clear();
  HostSetSaveDialogHandler(AnswerFromScript);
}

std::vector<DialogSeen> FinishSaveDialogs() {
  HostSetSaveDialogHandler(nullptr);
  pending.clear();
  return seen;
}
