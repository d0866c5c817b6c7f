// Pages kept by an update appended to the PDF: the original bytes stay, the
// new tree lists the pages in the ranges in their order, each keeps what it
// inherited, and the updated file reads again, through a table or through
// a cross-reference stream with its objects in an object stream. What is
// not a readable PDF is refused without a byte written.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <string>

#include "ipp/pdf_pages.h"

namespace {

bool ReadFromString(void* context, uint64_t offset, uint8_t* bytes, size_t size) {
  const std::string* file = static_cast<const std::string*>(context);
  if (offset > file->size() || size > file->size() - offset) return false;
  memcpy(bytes, file->data() + offset, size);
  return true;
}

bool AppendToString(void* context, const uint8_t* bytes, size_t length) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), length);
  return true;
}

struct Outcome {
  PdfPagesResult result;
  uint32_t kept;
  std::string update;
};

Outcome Keep(const std::string& file, PageRanges ranges) {
  PdfInput in = {ReadFromString, const_cast<std::string*>(&file), file.size(), malloc, free};
  Outcome outcome = {kPdfPagesUnreadable, 0, ""};
  PdfSink out = {AppendToString, &outcome.update, file.size(), false, nullptr, 0, 0};
  outcome.result = KeepPdfPages(&in, &ranges, &out, &outcome.kept);
  return outcome;
}

PageRanges Ranges(std::initializer_list<std::pair<int, int>> pairs) {
  PageRanges ranges = {};
  for (const auto& pair : pairs) {
    ranges.lower[ranges.count] = pair.first;
    ranges.upper[ranges.count++] = pair.second;
  }
  return ranges;
}

// Objects written in order, with a classic table whose offsets are counted.
std::string ClassicPdf(const std::string* objects, int count, const std::string& trailerExtra) {
  std::string pdf = "%PDF-1.4\n";
  std::string table = "xref\n0 " + std::to_string(count + 1) + "\n0000000000 65535 f\r\n";
  for (int i = 0; i < count; ++i) {
    char entry[32];
    snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", pdf.size());
    table += entry;
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  size_t at = pdf.size();
  return pdf + table + "trailer\n<< /Size " + std::to_string(count + 1) + " /Root 1 0 R" + trailerExtra +
         " >>\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
}

// Pages 3, 5 and 6 under an inner node that gives them their size and
// resources; page 6 has a size of its own.
const std::string kTree[] = {
    "<< /Type /Catalog /Pages 2 0 R /Lang (en) >>",
    "<< /Type /Pages /Kids [4 0 R 3 0 R] /Count 3 /MediaBox [0 0 612 792] >>",
    "<< /Type /Page /Parent 2 0 R /Contents 7 0 R >>",
    "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 /Resources << /Font << >> >> /Rotate 90 >>",
    "<< /Type /Page /Parent 4 0 R /Contents 7 0 R /Note (a (nested) string with \\) and >> in it) >>",
    "<< /Type /Page /Parent 4 0 R /MediaBox [0 0 100 100] /Contents 7 0 R >>",
    "<< /Length 0 >>\nstream\n\nendstream",
};

std::string ObjectOf(const std::string& update, const std::string& head) {
  size_t at = update.find(head);
  if (at == std::string::npos) return "";
  return update.substr(at, update.find("endobj", at) - at);
}

TEST(PdfPagesTest, PagesInTheRangesAreKeptInOrderWithWhatTheyInherited) {
  std::string pdf = ClassicPdf(kTree, 7, " /Info 1 0 R /ID [<ab> <cd>]");
  // Page order: 5, 6 (inside node 4), then 3.
  Outcome outcome = Keep(pdf, Ranges({{2, 3}}));
  ASSERT_EQ(kPdfPagesKept, outcome.result);
  EXPECT_EQ(2u, outcome.kept);
  EXPECT_NE(std::string::npos, outcome.update.find("/Kids [6 0 R 3 0 R ] >>")) << outcome.update;
  std::string six = ObjectOf(outcome.update, "6 0 obj");
  EXPECT_NE(std::string::npos, six.find("/MediaBox [0 0 100 100]")) << "its own size, not its parent's: " << six;
  EXPECT_NE(std::string::npos, six.find("/Resources << /Font << >> >>")) << six;
  EXPECT_NE(std::string::npos, six.find("/Rotate 90")) << six;
  EXPECT_NE(std::string::npos, six.find("/Parent 8 0 R")) << six;
  EXPECT_EQ(std::string::npos, six.find("/Parent 4 0 R")) << six;
  std::string three = ObjectOf(outcome.update, "3 0 obj");
  EXPECT_NE(std::string::npos, three.find("/MediaBox [0 0 612 792]")) << three;
  EXPECT_EQ(std::string::npos, three.find("/Rotate")) << "inherited from a node above it only: " << three;
  std::string catalog = ObjectOf(outcome.update, "1 0 obj");
  EXPECT_NE(std::string::npos, catalog.find("/Lang (en)")) << catalog;
  EXPECT_NE(std::string::npos, catalog.find("/Pages 8 0 R")) << catalog;
  EXPECT_NE(std::string::npos, outcome.update.find("/Prev " + std::to_string(pdf.find("xref")))) << outcome.update;
  EXPECT_NE(std::string::npos, outcome.update.find("/ID [<ab> <cd>]")) << outcome.update;

  // The updated file reads again: its own update found through its table.
  std::string updated = pdf + outcome.update;
  Outcome again = Keep(updated, Ranges({{2, 2}}));
  ASSERT_EQ(kPdfPagesKept, again.result) << updated;
  EXPECT_NE(std::string::npos, again.update.find("/Kids [3 0 R ] >>")) << again.update;

  Outcome every = Keep(pdf, Ranges({}));
  EXPECT_EQ(3u, every.kept);
  Outcome odd = Keep(pdf, Ranges({{1, 1}, {3, 9}}));
  EXPECT_NE(std::string::npos, odd.update.find("/Kids [5 0 R 3 0 R ] >>")) << odd.update;
}

std::string Deflated(const std::string& bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(bytes.data()),
           static_cast<uLong>(bytes.size()));
  out.resize(size);
  return out;
}

// Catalog, tree and pages in object stream 5; a cross-reference stream with
// PNG "up" prediction, as many writers make them.
std::string StreamPdf() {
  const std::string objects[] = {"<< /Type /Catalog /Pages 2 0 R >>",
                                 "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 10 10] >>",
                                 "<< /Type /Page /Parent 2 0 R >>", "<< /Type /Page /Parent 2 0 R >>"};
  std::string head, body;
  for (int i = 0; i < 4; ++i) {
    head += std::to_string(i + 1) + " " + std::to_string(body.size()) + " ";
    body += objects[i] + "\n";
  }
  std::string packed = Deflated(head + body);
  std::string pdf = "%PDF-1.5\n";
  size_t streamAt = pdf.size();
  pdf += "5 0 obj\n<< /Type /ObjStm /N 4 /First " + std::to_string(head.size()) + " /Filter /FlateDecode /Length " +
         std::to_string(packed.size()) + " >>\nstream\n" + packed + "\nendstream\nendobj\n";
  size_t xrefAt = pdf.size();
  // Rows of type, offset (4 bytes), index: objects 0 to 6.
  uint8_t rows[7][6] = {{0, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 5, 0}, {2, 0, 0, 0, 5, 1}, {2, 0, 0, 0, 5, 2},
                        {2, 0, 0, 0, 5, 3}, {1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}};
  rows[5][4] = static_cast<uint8_t>(streamAt);
  rows[6][3] = static_cast<uint8_t>(xrefAt >> 8);
  rows[6][4] = static_cast<uint8_t>(xrefAt);
  std::string predicted;
  for (int r = 0; r < 7; ++r) {
    predicted += '\x02';
    for (int b = 0; b < 6; ++b) predicted += static_cast<char>(rows[r][b] - (r > 0 ? rows[r - 1][b] : 0));
  }
  std::string xref = Deflated(predicted);
  pdf +=
      "6 0 obj\n<< /Type /XRef /Size 7 /Root 1 0 R /W [1 4 1] /Filter /FlateDecode /DecodeParms << /Predictor 12 "
      "/Columns 6 >> /Length " +
      std::to_string(xref.size()) + " >>\nstream\n" + xref + "\nendstream\nendobj\n";
  return pdf + "startxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
}

TEST(PdfPagesTest, ObjectsInObjectStreamsAreReadAndAStreamFollowsAStream) {
  std::string pdf = StreamPdf();
  Outcome outcome = Keep(pdf, Ranges({{2, 2}}));
  ASSERT_EQ(kPdfPagesKept, outcome.result) << pdf;
  EXPECT_NE(std::string::npos, outcome.update.find("/Kids [4 0 R ] >>")) << outcome.update;
  EXPECT_NE(std::string::npos, ObjectOf(outcome.update, "4 0 obj").find("/MediaBox [0 0 10 10]")) << outcome.update;
  EXPECT_NE(std::string::npos, outcome.update.find("8 0 obj\n<< /Type /XRef /Size 9")) << outcome.update;
  Outcome again = Keep(pdf + outcome.update, Ranges({}));
  ASSERT_EQ(kPdfPagesKept, again.result);
  EXPECT_EQ(1u, again.kept) << "the update's own stream read back";
}

TEST(PdfPagesTest, WhatCannotBeKeptAppendsNothing) {
  std::string pdf = ClassicPdf(kTree, 7, "");
  std::string loop = kTree[3];
  loop.replace(loop.find("[5 0 R"), 6, "[2 0 R");
  std::string looped[7];
  for (int i = 0; i < 7; ++i) looped[i] = i == 3 ? loop : kTree[i];
  std::string selfPrev = pdf;
  selfPrev.replace(selfPrev.find(" /Root"), 0, " /Prev " + std::to_string(pdf.find("xref")));
  std::string badLength = StreamPdf();
  badLength.replace(badLength.find("/First"), 0, "/Length 99999999 ");
  struct Case {
    const char* what;
    std::string file;
    PageRanges ranges;
    PdfPagesResult result;
  } cases[] = {
      {"no page in the ranges", pdf, Ranges({{4, 10}}), kPdfPagesNoneKept},
      {"encrypted", ClassicPdf(kTree, 7, " /Encrypt 7 0 R"), Ranges({{1, 1}}), kPdfPagesEncrypted},
      {"not a PDF", "hello", Ranges({{1, 1}}), kPdfPagesUnreadable},
      {"cut before its table", pdf.substr(0, pdf.find("xref")) + "startxref\n999\n%%EOF", Ranges({{1, 1}}),
       kPdfPagesUnreadable},
      {"a tree that loops", ClassicPdf(looped, 7, ""), Ranges({{1, 1}}), kPdfPagesUnreadable},
      {"a table that is its own predecessor", selfPrev, Ranges({{1, 1}}), kPdfPagesUnreadable},
      {"an object stream longer than the file", badLength, Ranges({{1, 1}}), kPdfPagesUnreadable},
  };
  for (const Case& c : cases) {
    Outcome outcome = Keep(c.file, c.ranges);
    EXPECT_EQ(c.result, outcome.result) << c.what;
    EXPECT_EQ("", outcome.update) << c.what;
  }
}

}  // namespace
