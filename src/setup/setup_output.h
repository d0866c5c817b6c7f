// What the setup says: one line per step on standard output, and a failing
// step named with its reason and error number.
#ifndef TOLLIVANE_SETUP_SETUP_OUTPUT_H
#define TOLLIVANE_SETUP_SETUP_OUTPUT_H

#include <windows.h>

const int kLineSize = 1024;

// A line being put together; every append is cut to fit.
struct Line {
  wchar_t text[kLineSize];
};

void Append(Line* line, const wchar_t* text);
void AppendNumber(Line* line, DWORD number);
// A byte string of the system code page (paths kept as bytes elsewhere).
void AppendBytes(Line* line, const char* text);

void Say(const wchar_t* first, const wchar_t* second = L"", const wchar_t* third = L"");

// "Failed: <step>: <reason> (error N)"; returns false for the caller to pass on.
bool Fail(const wchar_t* step, DWORD error);

#endif
