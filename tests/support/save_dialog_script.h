// Answers the Save As dialog on the program's behalf. Natively the stand-in
// hands the request to the script; under Wine a thread finds the real dialog,
// reads what it shows, types the answer and presses Save or Cancel.
#ifndef TOLLIVANE_TESTS_SUPPORT_SAVE_DIALOG_SCRIPT_H
#define TOLLIVANE_TESTS_SUPPORT_SAVE_DIALOG_SCRIPT_H

#include <string>
#include <vector>

struct DialogAnswer {
  bool save;              // Save, or Cancel
  std::string typedName;  // replaces the proposed name when not empty
};

struct DialogSeen {
  std::string folder;    // the folder the dialog shows
  std::string fileName;  // the name it proposes
  std::vector<std::string> filters;
  int selectedFilter;  // zero-based
  bool overwriteAsked;
  bool topmost;  // Windows only: the stand-in has no windows to stack
};

// Starts answering the next dialogs in order; each dialog takes one answer.
void ScriptSaveDialogs(const std::vector<DialogAnswer>& answers);
// Stops answering and returns what each dialog showed.
std::vector<DialogSeen> FinishSaveDialogs();

#endif
