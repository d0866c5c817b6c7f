// Decimal text of a number, padded with zeros to a least number of digits,
// as the C runtime's "%.3d" writes it, but without the C runtime's formatter.
#ifndef TOLLIVANE_DELIVERY_NUMBER_TEXT_H
#define TOLLIVANE_DELIVERY_NUMBER_TEXT_H

// Writes the number (a minus sign first when negative) with at least
// `minDigits` digits into `text`; returns its length, or -1 with `text` empty
// when it needs `capacity` bytes or more, terminator included.
int FormatNumberText(int number, int minDigits, char* text, int capacity);

#endif
