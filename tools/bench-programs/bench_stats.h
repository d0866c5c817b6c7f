// What the bench programs share: the clock, and medians with min-max.
#ifndef TOLLIVANE_TOOLS_BENCH_STATS_H
#define TOLLIVANE_TOOLS_BENCH_STATS_H

#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

inline double Now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Summary {
  double median, low, high;
};

inline Summary Summarize(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return Summary{values[values.size() / 2], values.front(), values.back()};
}

inline std::string Cell(const Summary& s, int decimals) {
  char text[96];
  snprintf(text, sizeof text, "%.*f (%.*f-%.*f)", decimals, s.median, decimals, s.low, decimals, s.high);
  return text;
}

#endif
