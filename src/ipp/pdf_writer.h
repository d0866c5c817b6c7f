// PDF files written front to back through a sink, with the byte offsets
// their cross-reference table needs counted on the way, so a document of
// any size is converted in a stream: a JPEG as one page holding the image
// as it came, PWG raster pages as lossless images. Built without the
// Windows headers; the sink decides where the bytes go.
#ifndef TOLLIVANE_IPP_PDF_WRITER_H
#define TOLLIVANE_IPP_PDF_WRITER_H

#include <stddef.h>
#include <stdint.h>

struct PdfSink {
  bool (*write)(void* context, const uint8_t* bytes, size_t length);
  void* context;
  uint64_t written;
  bool failed;
  uint64_t* offsets;  // of objects 1..capacity, the caller's
  int capacity;
  int objects;  // made so far
};

void StartPdf(PdfSink* pdf, uint64_t* offsets, int capacity);
void PutPdfBytes(PdfSink* pdf, const void* bytes, size_t length);
void PutPdfText(PdfSink* pdf, const char* text);
void PutPdfNumber(PdfSink* pdf, uint64_t number);
// A number with two decimals, for page sizes in points.
void PutPdfDecimal(PdfSink* pdf, uint64_t hundredths);
// The next object's number (no bytes written); 0 when there is no room.
int ReservePdfObject(PdfSink* pdf);
// "N 0 obj": where object `number` starts.
void BeginPdfObject(PdfSink* pdf, int number);
// The cross-reference table and the trailer naming `catalog`.
void FinishPdf(PdfSink* pdf, int catalog, int info);

// A page of `width` by `height` hundredths of a point showing the image
// object `image` over the whole of it: its drawing (object `content`) and
// the page (object `page`, in the page tree `pages`).
void WritePdfImagePage(PdfSink* pdf, int page, int pages, int content, int image, uint64_t width, uint64_t height);
void PutPdfReference(PdfSink* pdf, int number);

// What a JPEG's frame header says; false when the bytes hold none before
// they end, or are not a JPEG.
struct JpegFacts {
  uint32_t width;
  uint32_t height;
  int components;  // 1 gray, 3 colour, 4 CMYK
  bool adobe;      // an Adobe marker: CMYK stored inverted
};

bool ReadJpegFacts(const uint8_t* bytes, size_t size, JpegFacts* facts);

// A one-page PDF holding the JPEG as it is (DCTDecode), the page the
// image's size at `dpi`. `copyImage` writes the JPEG's `length` bytes into
// the sink.
bool WriteJpegPdf(PdfSink* pdf, const JpegFacts* facts, uint32_t dpi, uint64_t length,
                  bool (*copyImage)(void* context, PdfSink* pdf), void* context);

#endif
