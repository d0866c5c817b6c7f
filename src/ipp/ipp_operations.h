// The IPP printer's operations and status codes, and the checks every
// request must pass before its operation is looked at (RFC 8011 4.1): its
// version, its request-id, its first two attributes, and the target
// attributes of a printer or a job operation. Built without the Windows
// headers, so host tests drive every case.
#ifndef TOLLIVANE_IPP_IPP_OPERATIONS_H
#define TOLLIVANE_IPP_IPP_OPERATIONS_H

#include <stdint.h>

#include "ipp/ipp_codec.h"

enum IppOperation : uint16_t {
  kIppPrintJob = 0x0002,
  kIppValidateJob = 0x0004,
  kIppCreateJob = 0x0005,
  kIppSendDocument = 0x0006,
  kIppCancelJob = 0x0008,
  kIppGetJobAttributes = 0x0009,
  kIppGetJobs = 0x000A,
  kIppGetPrinterAttributes = 0x000B,
  kIppCancelMyJobs = 0x0039,
  kIppCloseJob = 0x003B,
  kIppIdentifyPrinter = 0x003C,
};

// The operations the printer answers, in the order it lists them.
const int kIppOperationCount = 11;
extern const IppOperation kIppOperations[kIppOperationCount];

enum IppStatus : uint16_t {
  kIppOk = 0x0000,
  kIppOkIgnoredOrSubstituted = 0x0001,
  kIppBadRequest = 0x0400,
  kIppForbidden = 0x0401,
  kIppNotPossible = 0x0404,
  kIppNotFound = 0x0406,
  kIppGone = 0x0407,
  kIppRequestTooLarge = 0x0408,
  kIppRequestValueTooLong = 0x0409,
  kIppDocumentFormatNotSupported = 0x040A,
  kIppAttributesNotSupported = 0x040B,
  kIppUriSchemeNotSupported = 0x040C,
  kIppCharsetNotSupported = 0x040D,
  kIppConflictingAttributes = 0x040E,
  kIppCompressionNotSupported = 0x040F,
  kIppCompressionError = 0x0410,
  kIppDocumentFormatError = 0x0411,
  kIppInternalError = 0x0500,
  kIppOperationNotSupported = 0x0501,
  kIppVersionNotSupported = 0x0503,
  kIppNotAcceptingJobs = 0x0506,
  kIppBusy = 0x0507,
  kIppStatusJobCanceled = 0x0508,
  kIppMultipleDocumentsNotSupported = 0x0509,
};

bool IsIppOperationSupported(uint16_t operation);

// What the request is about: the printer, or one job named by job-uri or by
// printer-uri and job-id.
enum IppTarget {
  kIppTargetPrinter,
  kIppTargetJob,
};

struct IppRequestCheck {
  IppStatus status;  // kIppOk: go on with the operation
  IppTarget target;
  int32_t jobId;  // for a job operation, 0 when none was named
};

// The checks of RFC 8011 4.1 and 4.2, in the order a printer makes them.
IppRequestCheck CheckIppRequest(const IppRequest* request);

#endif
