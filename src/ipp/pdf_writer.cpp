// Objects are numbered in the order they are reserved and may be written
// in any order; each offset is kept as it is written.
#include "ipp/pdf_writer.h"

namespace {

size_t Length(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

uint16_t Read16(const uint8_t* at) { return static_cast<uint16_t>((at[0] << 8) | at[1]); }

bool IsFrameMarker(uint8_t marker) {
  // SOF0-SOF15 but DHT (C4), JPG (C8) and DAC (CC)
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

void AppendText(char* out, size_t size, size_t* used, const char* text) {
  for (; *text != '\0' && *used + 1 < size; ++text) out[(*used)++] = *text;
  out[*used] = '\0';
}

void AppendDecimal(char* out, size_t size, size_t* used, uint64_t hundredths) {
  char digits[24];
  int count = 0;
  uint64_t whole = hundredths / 100;
  do {
    digits[count++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  char text[32];
  int at = 0;
  while (count > 0) text[at++] = digits[--count];
  text[at++] = '.';
  text[at++] = static_cast<char>('0' + hundredths / 10 % 10);
  text[at++] = static_cast<char>('0' + hundredths % 10);
  text[at] = '\0';
  AppendText(out, size, used, text);
}

}  // namespace

void StartPdf(PdfSink* pdf, uint64_t* offsets, int capacity) {
  pdf->written = 0;
  pdf->failed = false;
  pdf->offsets = offsets;
  pdf->capacity = capacity;
  pdf->objects = 0;
  PutPdfText(pdf, "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
}

void PutPdfBytes(PdfSink* pdf, const void* bytes, size_t length) {
  if (pdf->failed || length == 0) return;
  if (!pdf->write(pdf->context, static_cast<const uint8_t*>(bytes), length)) {
    pdf->failed = true;
    return;
  }
  pdf->written += length;
}

void PutPdfText(PdfSink* pdf, const char* text) { PutPdfBytes(pdf, text, Length(text)); }

void PutPdfNumber(PdfSink* pdf, uint64_t number) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  char text[24];
  for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  PutPdfBytes(pdf, text, static_cast<size_t>(count));
}

void PutPdfDecimal(PdfSink* pdf, uint64_t hundredths) {
  PutPdfNumber(pdf, hundredths / 100);
  char fraction[4] = {'.', static_cast<char>('0' + hundredths / 10 % 10), static_cast<char>('0' + hundredths % 10)};
  PutPdfBytes(pdf, fraction, 3);
}

int ReservePdfObject(PdfSink* pdf) {
  if (pdf->objects >= pdf->capacity) {
    pdf->failed = true;
    return 0;
  }
  pdf->offsets[pdf->objects] = 0;
  return ++pdf->objects;
}

void BeginPdfObject(PdfSink* pdf, int number) {
  if (number <= 0 || number > pdf->objects) {
    pdf->failed = true;
    return;
  }
  pdf->offsets[number - 1] = pdf->written;
  PutPdfNumber(pdf, static_cast<uint64_t>(number));
  PutPdfText(pdf, " 0 obj\n");
}

// Every entry of the table is exactly 20 bytes.
void FinishPdf(PdfSink* pdf, int catalog, int info) {
  uint64_t table = pdf->written;
  PutPdfText(pdf, "xref\n0 ");
  PutPdfNumber(pdf, static_cast<uint64_t>(pdf->objects) + 1);
  PutPdfText(pdf, "\n0000000000 65535 f \n");
  for (int i = 0; i < pdf->objects; ++i) {
    char entry[21] = "0000000000 00000 n \n";
    uint64_t offset = pdf->offsets[i];
    if (offset == 0 || offset > 9999999999ULL) pdf->failed = true;
    for (int digit = 9; digit >= 0; --digit, offset /= 10) entry[digit] = static_cast<char>('0' + offset % 10);
    PutPdfBytes(pdf, entry, 20);
  }
  PutPdfText(pdf, "trailer\n<< /Size ");
  PutPdfNumber(pdf, static_cast<uint64_t>(pdf->objects) + 1);
  PutPdfText(pdf, " /Root ");
  PutPdfNumber(pdf, static_cast<uint64_t>(catalog));
  PutPdfText(pdf, " 0 R");
  if (info > 0) {
    PutPdfText(pdf, " /Info ");
    PutPdfNumber(pdf, static_cast<uint64_t>(info));
    PutPdfText(pdf, " 0 R");
  }
  PutPdfText(pdf, " >>\nstartxref\n");
  PutPdfNumber(pdf, table);
  PutPdfText(pdf, "\n%%EOF\n");
}

bool ReadJpegFacts(const uint8_t* bytes, size_t size, JpegFacts* facts) {
  *facts = JpegFacts{};
  if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
  size_t at = 2;
  while (at + 4 <= size) {
    if (bytes[at] != 0xFF) return false;
    uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return false;  // the image's end or its data, before any frame
    if (marker >= 0xD0 && marker <= 0xD7) {
      at += 2;
      continue;
    }
    uint16_t length = Read16(bytes + at + 2);
    if (length < 2 || at + 2 + length > size) return false;
    const uint8_t* segment = bytes + at + 4;
    if (marker == 0xEE && length >= 7 && segment[0] == 'A' && segment[1] == 'd' && segment[2] == 'o' &&
        segment[3] == 'b' && segment[4] == 'e')
      facts->adobe = true;
    if (IsFrameMarker(marker)) {
      if (length < 8) return false;
      facts->height = Read16(segment + 1);
      facts->width = Read16(segment + 3);
      facts->components = segment[5];
      return segment[0] == 8 && facts->width > 0 && facts->height > 0 &&
             (facts->components == 1 || facts->components == 3 || facts->components == 4);
    }
    at += 2 + length;
  }
  return false;
}

bool WriteJpegPdf(PdfSink* pdf, const JpegFacts* facts, uint32_t dpi, uint64_t length,
                  bool (*copyImage)(void* context, PdfSink* pdf), void* context) {
  if (dpi == 0) dpi = 72;
  int catalog = ReservePdfObject(pdf);
  int pages = ReservePdfObject(pdf);
  int page = ReservePdfObject(pdf);
  int image = ReservePdfObject(pdf);
  int content = ReservePdfObject(pdf);
  // The page in hundredths of a point: the image's pixels at `dpi`.
  uint64_t width = static_cast<uint64_t>(facts->width) * 7200 / dpi;
  uint64_t height = static_cast<uint64_t>(facts->height) * 7200 / dpi;
  BeginPdfObject(pdf, catalog);
  PutPdfText(pdf, "<< /Type /Catalog /Pages ");
  PutPdfNumber(pdf, static_cast<uint64_t>(pages));
  PutPdfText(pdf, " 0 R >>\nendobj\n");
  BeginPdfObject(pdf, pages);
  PutPdfText(pdf, "<< /Type /Pages /Count 1 /Kids [");
  PutPdfNumber(pdf, static_cast<uint64_t>(page));
  PutPdfText(pdf, " 0 R] >>\nendobj\n");
  BeginPdfObject(pdf, image);
  PutPdfText(pdf, "<< /Type /XObject /Subtype /Image /Width ");
  PutPdfNumber(pdf, facts->width);
  PutPdfText(pdf, " /Height ");
  PutPdfNumber(pdf, facts->height);
  PutPdfText(pdf, facts->components == 1   ? " /ColorSpace /DeviceGray"
                  : facts->components == 3 ? " /ColorSpace /DeviceRGB"
                                           : " /ColorSpace /DeviceCMYK");
  if (facts->components == 4 && facts->adobe) PutPdfText(pdf, " /Decode [1 0 1 0 1 0 1 0]");
  PutPdfText(pdf, " /BitsPerComponent 8 /Filter /DCTDecode /Length ");
  PutPdfNumber(pdf, length);
  PutPdfText(pdf, " >>\nstream\n");
  uint64_t before = pdf->written;
  if (!pdf->failed && !copyImage(context, pdf)) pdf->failed = true;
  if (pdf->written - before != length) pdf->failed = true;
  PutPdfText(pdf, "\nendstream\nendobj\n");
  WritePdfImagePage(pdf, page, pages, content, image, width, height);
  FinishPdf(pdf, catalog, 0);
  return !pdf->failed;
}

void PutPdfReference(PdfSink* pdf, int number) {
  PutPdfNumber(pdf, static_cast<uint64_t>(number));
  PutPdfText(pdf, " 0 R");
}

void WritePdfImagePage(PdfSink* pdf, int page, int pages, int content, int image, uint64_t width, uint64_t height) {
  char drawing[96];
  size_t used = 0;
  AppendText(drawing, sizeof drawing, &used, "q ");
  AppendDecimal(drawing, sizeof drawing, &used, width);
  AppendText(drawing, sizeof drawing, &used, " 0 0 ");
  AppendDecimal(drawing, sizeof drawing, &used, height);
  AppendText(drawing, sizeof drawing, &used, " 0 0 cm /Im1 Do Q\n");
  BeginPdfObject(pdf, content);
  PutPdfText(pdf, "<< /Length ");
  PutPdfNumber(pdf, used);
  PutPdfText(pdf, " >>\nstream\n");
  PutPdfBytes(pdf, drawing, used);
  PutPdfText(pdf, "endstream\nendobj\n");
  BeginPdfObject(pdf, page);
  PutPdfText(pdf, "<< /Type /Page /Parent ");
  PutPdfReference(pdf, pages);
  PutPdfText(pdf, " /MediaBox [0 0 ");
  PutPdfDecimal(pdf, width);
  PutPdfText(pdf, " ");
  PutPdfDecimal(pdf, height);
  PutPdfText(pdf, "] /Resources << /XObject << /Im1 ");
  PutPdfReference(pdf, image);
  PutPdfText(pdf, " >> >> /Contents ");
  PutPdfReference(pdf, content);
  PutPdfText(pdf, " >>\nendobj\n");
}
