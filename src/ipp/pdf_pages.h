// Keeps only some pages of a PDF, leaving its bytes as they came: an update
// appended to the file gives it a new page tree that lists the pages kept,
// each page rewritten to name that tree as its parent and to carry what it
// inherited from the old one, and a catalog naming the new tree. Readers
// take the newest version of each object, so the file shows the pages kept
// and nothing else. Classic cross-reference tables and cross-reference
// streams are read, objects kept in object streams included; an encrypted
// PDF is not changed. Every read is bounded by the file's size and every
// buffer by its capacity. Built without the Windows headers: the caller
// gives the reading, the writing and the memory.
#ifndef TOLLIVANE_IPP_PDF_PAGES_H
#define TOLLIVANE_IPP_PDF_PAGES_H

#include <stddef.h>
#include <stdint.h>

#include "ipp/page_ranges.h"
#include "ipp/pdf_writer.h"

struct PdfInput {
  // Exactly `size` bytes from `offset`, or false.
  bool (*read)(void* context, uint64_t offset, uint8_t* bytes, size_t size);
  void* context;
  uint64_t size;
  void* (*allocate)(size_t size);  // null when there is no memory
  void (*release)(void* block);
};

enum PdfPagesResult {
  kPdfPagesKept,      // the update was appended
  kPdfPagesNoneKept,  // no page of the document is in the ranges: nothing appended
  kPdfPagesEncrypted,
  kPdfPagesUnreadable,
};

// Appends the update to `out`, whose `written` must be the input's size.
// `kept` is the number of pages the updated file shows.
PdfPagesResult KeepPdfPages(const PdfInput* in, const PageRanges* ranges, PdfSink* out, uint32_t* kept);

#endif
