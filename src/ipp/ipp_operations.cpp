// The version is looked at first, so that a request of a version the
// printer does not speak is answered in words it will understand; the
// request-id and the charset and natural language next, as every response
// repeats them.
#include "ipp/ipp_operations.h"

const IppOperation kIppOperations[kIppOperationCount] = {
    kIppPrintJob,     kIppValidateJob,      kIppCreateJob,       kIppSendDocument,
    kIppCancelJob,    kIppGetJobAttributes, kIppGetJobs,         kIppGetPrinterAttributes,
    kIppCancelMyJobs, kIppCloseJob,         kIppIdentifyPrinter,
};

namespace {

const int kTextSize = 256;

bool IsJobOperation(uint16_t operation) {
  return operation == kIppSendDocument || operation == kIppCancelJob || operation == kIppGetJobAttributes ||
         operation == kIppCloseJob;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (Lower(*a) != Lower(*b)) return false;
  return *a == *b;
}

// The attribute at `index` in the operation group, one value of `tag`.
bool HasSingleValue(const IppRequest* request, int index, const char* name, uint8_t tag) {
  if (index >= request->attributeCount) return false;
  const IppAttribute* attribute = &request->attributes[index];
  return attribute->group == kIppOperationGroup && IsIppName(attribute, name) && attribute->valueCount == 1 &&
         request->values[attribute->firstValue].tag == tag;
}

// A uri with a scheme the printer serves: ipp, ipps, http or https.
bool IsServedUri(const IppValue* value) {
  char uri[kTextSize];
  if (value == nullptr || value->tag != kIppUri || !IppValueText(value, uri, sizeof uri)) return false;
  const char* schemes[] = {"ipp://", "ipps://", "http://", "https://"};
  for (const char* scheme : schemes) {
    int i = 0;
    while (scheme[i] != '\0' && Lower(uri[i]) == scheme[i]) ++i;
    if (scheme[i] == '\0') return true;
  }
  return false;
}

// The job's number at the end of a job-uri ".../<id>".
bool JobIdOfUri(const IppValue* value, int32_t* jobId) {
  char uri[kTextSize];
  if (!IsServedUri(value) || !IppValueText(value, uri, sizeof uri)) return false;
  int end = 0;
  while (uri[end] != '\0') ++end;
  int start = end;
  while (start > 0 && uri[start - 1] >= '0' && uri[start - 1] <= '9') --start;
  if (start == end || end - start > 9 || start == 0 || uri[start - 1] != '/') return false;
  *jobId = 0;
  for (int i = start; i < end; ++i) *jobId = *jobId * 10 + (uri[i] - '0');
  return *jobId > 0;
}

IppRequestCheck Refuse(IppStatus status) { return IppRequestCheck{status, kIppTargetPrinter, 0}; }

IppRequestCheck CheckTarget(const IppRequest* request) {
  const IppAttribute* printerUri = FindIppAttribute(request, kIppOperationGroup, "printer-uri");
  const IppAttribute* jobUri = FindIppAttribute(request, kIppOperationGroup, "job-uri");
  if (!IsJobOperation(request->operation)) {
    if (printerUri == nullptr || printerUri->valueCount != 1 || !IsServedUri(FirstIppValue(request, printerUri)))
      return Refuse(kIppBadRequest);
    return IppRequestCheck{kIppOk, kIppTargetPrinter, 0};
  }
  int32_t jobId = 0;
  if (jobUri != nullptr) {
    if (printerUri != nullptr || jobUri->valueCount != 1 || !JobIdOfUri(FirstIppValue(request, jobUri), &jobId))
      return Refuse(kIppBadRequest);
    return IppRequestCheck{kIppOk, kIppTargetJob, jobId};
  }
  const IppAttribute* id = FindIppAttribute(request, kIppOperationGroup, "job-id");
  if (printerUri == nullptr || printerUri->valueCount != 1 || !IsServedUri(FirstIppValue(request, printerUri)) ||
      id == nullptr || id->valueCount != 1 || FirstIppValue(request, id)->tag != kIppInteger ||
      !IppValueInteger(FirstIppValue(request, id), &jobId) || jobId <= 0)
    return Refuse(kIppBadRequest);
  return IppRequestCheck{kIppOk, kIppTargetJob, jobId};
}

}  // namespace

bool IsIppOperationSupported(uint16_t operation) {
  for (IppOperation supported : kIppOperations)
    if (supported == operation) return true;
  return false;
}

IppRequestCheck CheckIppRequest(const IppRequest* request) {
  if (request->major != 1 && request->major != 2) return Refuse(kIppVersionNotSupported);
  if (request->requestId == 0) return Refuse(kIppBadRequest);
  if (!HasSingleValue(request, 0, "attributes-charset", kIppCharset) ||
      !HasSingleValue(request, 1, "attributes-natural-language", kIppNaturalLanguage))
    return Refuse(kIppBadRequest);
  char charset[kTextSize];
  if (!IppValueText(FirstIppValue(request, &request->attributes[0]), charset, sizeof charset))
    return Refuse(kIppBadRequest);
  if (!SameIgnoringCase(charset, "utf-8") && !SameIgnoringCase(charset, "us-ascii"))
    return Refuse(kIppCharsetNotSupported);
  if (!IsIppOperationSupported(request->operation)) return Refuse(kIppOperationNotSupported);
  return CheckTarget(request);
}
