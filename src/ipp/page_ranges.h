// Which pages of a document a job keeps: its page-ranges (RFC 8011 5.2.7),
// read from the request and checked, and asked page by page as a document
// is filed. A job without page-ranges keeps every page. Built without the
// Windows headers.
#ifndef TOLLIVANE_IPP_PAGE_RANGES_H
#define TOLLIVANE_IPP_PAGE_RANGES_H

#include <stdint.h>

#include "ipp/ipp_codec.h"

const int kMaxPageRanges = 16;

struct PageRanges {
  int count;  // 0: every page
  int32_t lower[kMaxPageRanges];
  int32_t upper[kMaxPageRanges];
};

enum PageRangesRead {
  kPageRangesRead,     // none given, or ranges that are ascending and apart
  kPageRangesBad,      // not rangeOfInteger, below 1, upside down or overlapping
  kPageRangesTooMany,  // more than kMaxPageRanges
};

// From the job template group of the request.
PageRangesRead ReadPageRanges(const IppRequest* request, PageRanges* ranges);

bool IsPageSelected(const PageRanges* ranges, uint32_t page);

#endif
