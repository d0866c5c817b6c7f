// The checks every IPP request passes before its operation, case by case
// as CUPS's conformance tests send them (RFC 8011 4.1 and 4.2).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipp/ipp_operations.h"
#include "ipp_request_bytes.h"

namespace {

const std::string kUri = "ipp://127.0.0.1:8631/ipp/print";

using Attribute = IppTestAttribute;

const Attribute kCharset = {kIppCharset, "attributes-charset", "utf-8"};
const Attribute kLanguage = {kIppNaturalLanguage, "attributes-natural-language", "en"};
const Attribute kPrinter = {kIppUri, "printer-uri", kUri};

TEST(IppOperationsTest, EveryRequestIsCheckedBeforeItsOperation) {
  const struct {
    uint8_t major;
    uint16_t operation;
    uint32_t requestId;
    std::vector<Attribute> attributes;
    IppStatus status;
    IppTarget target;
    int32_t jobId;
  } cases[] = {
      {2, kIppGetPrinterAttributes, 1, {kCharset, kLanguage, kPrinter}, kIppOk, kIppTargetPrinter, 0},
      {1, kIppGetPrinterAttributes, 1, {kCharset, kLanguage, kPrinter}, kIppOk, kIppTargetPrinter, 0},
      {2, kIppGetPrinterAttributes, 0, {kCharset, kLanguage, kPrinter}, kIppBadRequest, kIppTargetPrinter, 0},
      {2, kIppGetPrinterAttributes, 1, {}, kIppBadRequest, kIppTargetPrinter, 0},
      {2, kIppGetPrinterAttributes, 1, {kCharset, kPrinter}, kIppBadRequest, kIppTargetPrinter, 0},
      {2, kIppGetPrinterAttributes, 1, {kLanguage, kPrinter}, kIppBadRequest, kIppTargetPrinter, 0},
      {2, kIppGetPrinterAttributes, 1, {kLanguage, kCharset, kPrinter}, kIppBadRequest, kIppTargetPrinter, 0},
      {0, kIppGetPrinterAttributes, 1, {kCharset, kLanguage, kPrinter}, kIppVersionNotSupported, kIppTargetPrinter, 0},
      {3, kIppGetPrinterAttributes, 1, {kCharset, kLanguage, kPrinter}, kIppVersionNotSupported, kIppTargetPrinter, 0},
      {2, kIppGetPrinterAttributes, 1, {kCharset, kLanguage}, kIppBadRequest, kIppTargetPrinter, 0},
      {2,
       kIppGetPrinterAttributes,
       1,
       {{kIppCharset, "attributes-charset", "iso-8859-7"}, kLanguage, kPrinter},
       kIppCharsetNotSupported,
       kIppTargetPrinter,
       0},
      {2,
       kIppGetPrinterAttributes,
       1,
       {kCharset, kLanguage, {kIppUri, "printer-uri", "file:///etc/passwd"}},
       kIppBadRequest,
       kIppTargetPrinter,
       0},
      {2, 0x0010, 1, {kCharset, kLanguage, kPrinter}, kIppOperationNotSupported, kIppTargetPrinter, 0},
      {2,
       kIppGetJobAttributes,
       1,
       {kCharset, kLanguage, kPrinter, {kIppInteger, "job-id", IppInteger(12)}},
       kIppOk,
       kIppTargetJob,
       12},
      {2, kIppCancelJob, 1, {kCharset, kLanguage, {kIppUri, "job-uri", kUri + "/34"}}, kIppOk, kIppTargetJob, 34},
      {2, kIppCancelJob, 1, {kCharset, kLanguage, kPrinter}, kIppBadRequest, kIppTargetPrinter, 0},
      {2,
       kIppCancelJob,
       1,
       {kCharset, kLanguage, kPrinter, {kIppInteger, "job-id", IppInteger(0)}},
       kIppBadRequest,
       kIppTargetPrinter,
       0},
      {2, kIppCloseJob, 1, {kCharset, kLanguage, {kIppUri, "job-uri", kUri}}, kIppBadRequest, kIppTargetPrinter, 0},
      {2,
       kIppSendDocument,
       1,
       {kCharset, kLanguage, kPrinter, {kIppUri, "job-uri", kUri + "/3"}},
       kIppBadRequest,
       kIppTargetPrinter,
       0},
  };
  static IppRequest request;
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = IppRequestBytes(c.major, c.operation, c.requestId, c.attributes);
    ASSERT_EQ(kIppDecoded, DecodeIppRequest(bytes.data(), bytes.size(), &request)) << (&c - cases);
    IppRequestCheck check = CheckIppRequest(&request);
    EXPECT_EQ(c.status, check.status) << "case " << (&c - cases);
    EXPECT_EQ(c.target, check.target) << "case " << (&c - cases);
    EXPECT_EQ(c.jobId, check.jobId) << "case " << (&c - cases);
  }
  for (IppOperation operation : kIppOperations) EXPECT_TRUE(IsIppOperationSupported(operation));
  EXPECT_FALSE(IsIppOperationSupported(0x0003));  // Print-URI
}

}  // namespace
