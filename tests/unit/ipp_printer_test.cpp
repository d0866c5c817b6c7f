// The IPP printer's answers, read back as a client reads them: what it says
// of itself, which jobs it lists to whom, and who may cancel what.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipp/ipp_printer.h"
#include "ipp_request_bytes.h"

namespace {

const IppClock kStart = {1, 2026, 12, 10, 14, 0, 0};

using Attribute = IppTestAttribute;

class IppPrinterTest : public testing::Test {
 protected:
  void SetUp() override { StartIppPrinter(&printer, 8631, "urn:uuid:6e7f0a3c-0d54-4b0e-9d3f-0c1a2b3c4d5e", &kStart); }

  // Sends one request and decodes the answer into `answer`; its status.
  uint16_t Ask(uint16_t operation, std::vector<Attribute> extra, const char* user = "ann") {
    std::vector<Attribute> attributes = {{kIppCharset, "attributes-charset", "utf-8"},
                                         {kIppNaturalLanguage, "attributes-natural-language", "en"},
                                         {kIppUri, "printer-uri", "ipp://127.0.0.1:8631/ipp/print"}};
    attributes.insert(attributes.end(), extra.begin(), extra.end());
    std::vector<uint8_t> bytes = IppRequestBytes(2, operation, 9, attributes);
    EXPECT_EQ(kIppDecoded, DecodeIppRequest(bytes.data(), bytes.size(), &request));
    IppRequestCheck check = CheckIppRequest(&request);
    IppWriter writer = {response, sizeof response, 0, false};
    IppClock now = kStart;
    now.upTime = 20;
    AnswerIppRequest(&printer, &request, &check, user, &now, &writer);
    EXPECT_FALSE(writer.overflow);
    EXPECT_EQ(kIppDecoded, DecodeIppRequest(response, writer.used, &answer));
    EXPECT_EQ(9u, answer.requestId);
    return answer.operation;  // a response's status sits where a request's operation does
  }

  std::vector<int32_t> ListedJobIds() const {
    std::vector<int32_t> ids;
    for (int i = 0; i < answer.attributeCount; ++i) {
      int32_t id = 0;
      if (IsIppName(&answer.attributes[i], "job-id") &&
          IppValueInteger(FirstIppValue(&answer, &answer.attributes[i]), &id))
        ids.push_back(id);
    }
    return ids;
  }

  IppPrinter printer;
  IppRequest request;
  IppRequest answer;
  uint8_t response[64 * 1024];
};

TEST_F(IppPrinterTest, ThePrinterDescribesItselfAsAnIppEverywherePrinter) {
  ASSERT_EQ(kIppOk, Ask(kIppGetPrinterAttributes, {}));
  for (const char* name : {"printer-uri-supported",
                           "uri-security-supported",
                           "uri-authentication-supported",
                           "printer-name",
                           "printer-state",
                           "printer-state-reasons",
                           "ipp-versions-supported",
                           "operations-supported",
                           "charset-configured",
                           "charset-supported",
                           "natural-language-configured",
                           "generated-natural-language-supported",
                           "document-format-default",
                           "document-format-supported",
                           "printer-is-accepting-jobs",
                           "queued-job-count",
                           "pdl-override-supported",
                           "printer-up-time",
                           "compression-supported",
                           "printer-device-id",
                           "printer-uuid",
                           "printer-dns-sd-name",
                           "printer-icons",
                           "printer-supply",
                           "printer-supply-description",
                           "printer-supply-info-uri",
                           "overrides-supported",
                           "page-ranges-supported",
                           "printer-make-and-model",
                           "printer-firmware-name",
                           "printer-firmware-string-version",
                           "ipp-features-supported",
                           "media-col-database",
                           "media-col-default",
                           "media-supported",
                           "sides-supported",
                           "print-color-mode-supported",
                           "printer-resolution-supported",
                           "which-jobs-supported",
                           "job-ids-supported"})
    EXPECT_NE(nullptr, FindIppAttribute(&answer, kIppPrinterGroup, name)) << name;
  char text[128];
  EXPECT_TRUE(
      IppValueText(FirstIppValue(&answer, FindIppAttribute(&answer, 0, "printer-uri-supported")), text, sizeof text));
  EXPECT_STREQ("ipp://127.0.0.1:8631/ipp/print", text);
  const IppAttribute* operations = FindIppAttribute(&answer, 0, "operations-supported");
  ASSERT_NE(nullptr, operations);
  EXPECT_EQ(kIppOperationCount, operations->valueCount);

  ASSERT_EQ(kIppOk, Ask(kIppGetPrinterAttributes,
                        {{kIppKeyword, "requested-attributes", "printer-state"}, {kIppKeyword, "", "printer-uuid"}}));
  EXPECT_NE(nullptr, FindIppAttribute(&answer, kIppPrinterGroup, "printer-state"));
  EXPECT_NE(nullptr, FindIppAttribute(&answer, kIppPrinterGroup, "printer-uuid"));
  EXPECT_EQ(nullptr, FindIppAttribute(&answer, kIppPrinterGroup, "printer-name")) << "not asked for";
  EXPECT_EQ(nullptr, FindIppAttribute(&answer, kIppPrinterGroup, "media-col-database"));
}

TEST_F(IppPrinterTest, JobsAreListedNewestFirstAndCancelledOnlyByTheirUser) {
  IppJob* first = AddIppJob(&printer, "a", "ann", "application/pdf", 2);
  IppJob* second = AddIppJob(&printer, "b", "bob", "application/pdf", 3);
  ASSERT_TRUE(first != nullptr && second != nullptr);
  SetIppJobState(&printer, first, kIppJobProcessing, "job-printing", "Filing.", 4);
  EXPECT_EQ(kIppPrinterProcessing, PrinterStateOf(&printer));
  SetIppJobState(&printer, first, kIppJobCompleted, "job-completed-successfully", "Filed.", 5);
  EXPECT_EQ(kIppPrinterIdle, PrinterStateOf(&printer));

  ASSERT_EQ(kIppOk, Ask(kIppGetJobs, {}));
  EXPECT_EQ(std::vector<int32_t>{2}, ListedJobIds()) << "not-completed by default";
  ASSERT_EQ(kIppOk, Ask(kIppGetJobs, {{kIppKeyword, "which-jobs", "all"}}));
  EXPECT_EQ((std::vector<int32_t>{2, 1}), ListedJobIds());
  ASSERT_EQ(kIppOk, Ask(kIppGetJobs, {{kIppKeyword, "which-jobs", "all"}, {kIppBoolean, "my-jobs", "\x01"}}));
  EXPECT_EQ(std::vector<int32_t>{1}, ListedJobIds());
  EXPECT_EQ(kIppAttributesNotSupported, Ask(kIppGetJobs, {{kIppKeyword, "which-jobs", "fetchable"}}));

  EXPECT_EQ(kIppForbidden, Ask(kIppCancelJob, {{kIppInteger, "job-id", IppInteger(2)}}, "ann"));
  EXPECT_EQ(kIppNotFound, Ask(kIppCancelJob, {{kIppInteger, "job-id", IppInteger(7)}}));
  EXPECT_EQ(kIppNotPossible, Ask(kIppCancelJob, {{kIppInteger, "job-id", IppInteger(1)}}));
  EXPECT_EQ(kIppOk, Ask(kIppCancelJob, {{kIppInteger, "job-id", IppInteger(2)}}, "bob"));
  EXPECT_EQ(kIppJobCanceled, second->state);
  ASSERT_EQ(kIppOk, Ask(kIppGetJobAttributes, {{kIppInteger, "job-id", IppInteger(2)}}));
  int32_t state = 0;
  EXPECT_TRUE(IppValueInteger(FirstIppValue(&answer, FindIppAttribute(&answer, kIppJobGroup, "job-state")), &state));
  EXPECT_EQ(kIppJobCanceled, state);
  char reason[48];
  EXPECT_TRUE(IppValueText(FirstIppValue(&answer, FindIppAttribute(&answer, kIppJobGroup, "job-state-reasons")), reason,
                           sizeof reason));
  EXPECT_STREQ("job-canceled-by-user", reason);
}

TEST_F(IppPrinterTest, FinishedJobsMakeRoomAndLiveOnesNeverLoseTheirSlot) {
  for (int i = 0; i < kIppMaxJobs; ++i) ASSERT_NE(nullptr, AddIppJob(&printer, "j", "ann", "application/pdf", 2));
  EXPECT_EQ(nullptr, AddIppJob(&printer, "j", "ann", "application/pdf", 3)) << "every job still waits";
  SetIppJobState(&printer, FindIppJob(&printer, 5), kIppJobCompleted, "job-completed-successfully", "Filed.", 4);
  SetIppJobState(&printer, FindIppJob(&printer, 3), kIppJobAborted, "aborted-by-system", "Not filed.", 4);
  IppJob* next = AddIppJob(&printer, "k", "ann", "application/pdf", 5);
  ASSERT_NE(nullptr, next);
  EXPECT_EQ(kIppMaxJobs + 1, next->id);
  EXPECT_EQ(nullptr, FindIppJob(&printer, 3)) << "the oldest finished job makes room";
  EXPECT_NE(nullptr, FindIppJob(&printer, 5));
  EXPECT_EQ(kIppOk, Ask(kIppCancelMyJobs, {}));
  EXPECT_EQ(kIppJobCompleted, FindIppJob(&printer, 5)->state) << "a finished job stays as it ended";
  EXPECT_EQ(kIppJobCanceled, next->state);
}

// A job's moments as dates: the printer's start plus the seconds since,
// across minutes, days, a month's and a leap year's end.
TEST_F(IppPrinterTest, AJobsMomentsAreDatesOfTheWallClock) {
  const IppClock lateStart = {100, 2028, 2, 28, 23, 59, 30};
  StartIppPrinter(&printer, 8631, "urn:uuid:6e7f0a3c-0d54-4b0e-9d3f-0c1a2b3c4d5e", &lateStart);
  IppJob* job = AddIppJob(&printer, "a", "ann", "application/pdf", 100 + 90);
  ASSERT_NE(nullptr, job);
  SetIppJobState(&printer, job, kIppJobProcessing, "job-printing", "Filing.", 100 + 86400 + 3700);
  ASSERT_EQ(kIppOk, Ask(kIppGetJobAttributes, {{kIppInteger, "job-id", IppInteger(job->id)}}));
  const struct {
    const char* name;
    uint8_t month, day, hour, minute, second;
  } moments[] = {{"date-time-at-creation", 2, 29, 0, 1, 0}, {"date-time-at-processing", 3, 1, 1, 1, 10}};
  for (const auto& m : moments) {
    const IppValue* date = FirstIppValue(&answer, FindIppAttribute(&answer, kIppJobGroup, m.name));
    ASSERT_NE(nullptr, date) << m.name;
    ASSERT_EQ(11, date->length);
    EXPECT_EQ(2028, date->bytes[0] << 8 | date->bytes[1]) << m.name;
    EXPECT_EQ((std::vector<int>{m.month, m.day, m.hour, m.minute, m.second}),
              (std::vector<int>{date->bytes[2], date->bytes[3], date->bytes[4], date->bytes[5], date->bytes[6]}))
        << m.name;
  }
}

TEST_F(IppPrinterTest, ValidateJobNamesWhatItCannotTake) {
  EXPECT_EQ(kIppOk, Ask(kIppValidateJob, {{kIppMimeMediaType, "document-format", "application/pdf"}}));
  EXPECT_EQ(kIppOk, Ask(kIppValidateJob, {}));
  EXPECT_EQ(kIppDocumentFormatNotSupported,
            Ask(kIppValidateJob, {{kIppMimeMediaType, "document-format", "application/postscript"}}));
  EXPECT_NE(nullptr, FindIppAttribute(&answer, kIppUnsupportedGroup, "document-format"));
  EXPECT_EQ(kIppCompressionNotSupported, Ask(kIppValidateJob, {{kIppKeyword, "compression", "compress"}}));
  EXPECT_EQ(kIppOk, Ask(kIppValidateJob, {{kIppKeyword, "compression", "gzip"}}));
  EXPECT_EQ(kIppOk, Ask(kIppValidateJob, {{kIppKeyword, "compression", "deflate"}}));
}

std::string Range(int32_t lower, int32_t upper) {
  std::string bytes;
  for (int32_t value : {lower, upper})
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(static_cast<uint32_t>(value) >> shift);
  return bytes;
}

TEST_F(IppPrinterTest, PageRangesAreTakenAscendingAndApartOnly) {
  struct Case {
    std::vector<std::pair<int32_t, int32_t>> ranges;
    uint16_t status;
    std::vector<uint32_t> selected, left;
  } cases[] = {
      {{{2, 3}}, kIppOk, {2, 3}, {1, 4}},
      {{{1, 1}, {3, 5}, {9, 2147483647}}, kIppOk, {1, 3, 5, 9, 100000}, {2, 6, 8}},
      {{{3, 5}, {5, 6}}, kIppAttributesNotSupported, {}, {}},  // overlapping
      {{{5, 6}, {1, 2}}, kIppAttributesNotSupported, {}, {}},  // not ascending
      {{{0, 2}}, kIppAttributesNotSupported, {}, {}},
      {{{4, 3}}, kIppAttributesNotSupported, {}, {}},
      {std::vector<std::pair<int32_t, int32_t>>(17, {1, 1}), kIppAttributesNotSupported, {}, {}},
  };
  for (const Case& c : cases) {
    std::vector<Attribute> attributes = {{kIppJobGroup, "", ""}};
    for (const auto& range : c.ranges)
      attributes.push_back(
          {kIppRangeOfInteger, &range == c.ranges.data() ? "page-ranges" : "", Range(range.first, range.second)});
    EXPECT_EQ(c.status, Ask(kIppValidateJob, attributes)) << c.ranges.size() << " ranges from " << c.ranges[0].first;
    if (c.status != kIppOk) {
      EXPECT_NE(nullptr, FindIppAttribute(&answer, kIppUnsupportedGroup, "page-ranges"));
      continue;
    }
    std::vector<uint8_t> bytes = IppRequestBytes(2, kIppValidateJob, 1, attributes);
    ASSERT_EQ(kIppDecoded, DecodeIppRequest(bytes.data(), bytes.size(), &request));
    PageRanges ranges;
    ASSERT_EQ(kPageRangesRead, ReadPageRanges(&request, &ranges));
    for (uint32_t page : c.selected) EXPECT_TRUE(IsPageSelected(&ranges, page)) << page;
    for (uint32_t page : c.left) EXPECT_FALSE(IsPageSelected(&ranges, page)) << page;
  }
  EXPECT_EQ(kIppAttributesNotSupported,
            Ask(kIppValidateJob, {{kIppJobGroup, "", ""}, {kIppInteger, "page-ranges", Range(1, 2).substr(0, 4)}}));
}

}  // namespace
