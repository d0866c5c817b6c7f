// Number formatting for file names and the counter; a hand-written formatter
// keeps the program from pulling in a C runtime printf of its own.
#include "delivery/number_text.h"

namespace {

const int kMaxDigits = 10;  // of any 32-bit magnitude

}  // namespace

int FormatNumberText(int number, int minDigits, char* text, int capacity) {
  if (capacity <= 0) return -1;
  text[0] = '\0';
  // The magnitude as unsigned, so that INT_MIN has one too.
  unsigned magnitude = number < 0 ? 0u - static_cast<unsigned>(number) : static_cast<unsigned>(number);
  char digits[kMaxDigits];
  int digitCount = 0;
  do {
    digits[digitCount++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0u);

  int padding = minDigits > digitCount ? minDigits - digitCount : 0;
  int length = (number < 0 ? 1 : 0) + padding + digitCount;
  if (length >= capacity) return -1;

  int at = 0;
  if (number < 0) text[at++] = '-';
  while (padding-- > 0) text[at++] = '0';
  while (digitCount > 0) text[at++] = digits[--digitCount];
  text[at] = '\0';
  return length;
}
