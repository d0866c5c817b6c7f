// The settings file read and its counter written by the program itself. The
// platform's profile functions rewrite the whole file in place (Wine on
// every key written), so a reader at that moment sees it empty or cut; here
// a reading that looks torn is taken again, and the counter is written into
// a new file that replaces the old one in one rename, with every other byte
// as it was.
#ifndef TOLLIVANE_DELIVERY_SETTINGS_FILE_H
#define TOLLIVANE_DELIVERY_SETTINGS_FILE_H

#include <stddef.h>

#include "platform/platform.h"

// A larger file is read only this far, and its counter is not written.
const size_t kSettingsFileMaxBytes = 1024 * 1024;

struct SettingsSnapshot {
  const char* text;
  size_t length;
  bool exists;
  WIN32_FILE_ATTRIBUTE_DATA state;  // the file's size and time when it was read
};

// Reads the file whole. A file that exists but reads as empty, without the
// section, or not as long as it was, is read again for a short, bounded time.
SettingsSnapshot ReadSettingsSnapshot(const char* path, const char* section);

// The value of `key` in `section` as the platform's profile reading gives
// it: names ignoring case, white space trimmed, one pair of quotes stripped,
// the first of duplicates, cut to `capacity` - 1 characters. False when absent.
bool FindSettingValue(const SettingsSnapshot* snapshot, const char* section, const char* key, char* value,
                      int capacity);

// The platform's integer rule: an optional sign, "0x" for hexadecimal,
// digits up to the first other character, wrapping modulo 2^32; an absent or
// empty value gives `fallback`.
int FindSettingInt(const SettingsSnapshot* snapshot, const char* section, const char* key, int fallback);

// How `text` becomes the text with `key` in `section` set to `value`: the
// first `keepBefore` bytes, then `middle`, then the text from `resumeAt` on.
// The key's line is replaced, or the key added at the section's end, or the
// section appended; every other byte stays.
const int kRewriteMiddleSize = 3 * 256 + 16;
struct SettingRewrite {
  size_t keepBefore;
  size_t resumeAt;
  char middle[kRewriteMiddleSize];
};

// False when the section's name, the key and the value do not fit `middle`.
bool PlanSettingRewrite(const char* text, size_t length, const char* section, const char* key, const char* value,
                        SettingRewrite* plan);

// Sets the value in the file by replacing the file whole; false when it could
// not be done without risking another program's text.
bool WriteSettingValue(const char* path, const char* section, const char* key, const char* value);

#endif
