// Tollivane's IPP Everywhere printer as data: what it says of itself, its
// jobs and their states, and its answer to each operation, written into a
// response. The program around it receives the bytes, stores documents and
// files them; here is only what a client sees. Times are given, not read,
// so host tests drive every case. Built without the Windows headers.
#ifndef TOLLIVANE_IPP_IPP_PRINTER_H
#define TOLLIVANE_IPP_IPP_PRINTER_H

#include <stdint.h>

#include "ipp/ipp_codec.h"
#include "ipp/ipp_operations.h"
#include "ipp/page_ranges.h"

enum IppJobState {
  kIppJobPending = 3,
  kIppJobProcessing = 5,
  kIppJobCanceled = 7,
  kIppJobAborted = 8,
  kIppJobCompleted = 9,
};

const int kIppJobTextSize = 128;
const int kIppMaxJobs = 64;

struct IppJob {
  int32_t id;  // 0: a free slot
  IppJobState state;
  char reason[48];  // its one job-state-reasons keyword
  char message[kIppJobTextSize];
  char name[kIppJobTextSize];
  char user[kIppJobTextSize];
  char format[64];
  uint32_t createdAt;  // printer-up-time seconds
  uint32_t processingAt;
  uint32_t completedAt;
  bool awaitingDocument;  // made by Create-Job, no document yet
  PageRanges pages;       // the pages to keep of its document
};

enum IppPrinterState {
  kIppPrinterIdle = 3,
  kIppPrinterProcessing = 4,
};

struct IppClock {
  uint32_t upTime;  // seconds since the printer started, at least 1
  uint16_t year;
  uint8_t month, day, hour, minute, second;
};

struct IppPrinter {
  char uri[96];       // ipp://127.0.0.1:<port>/ipp/print
  char moreInfo[96];  // the printer's page, also where its supply is told of
  char icon[96];
  char uuid[48];  // urn:uuid:...
  IppClock startedAt;
  uint32_t stateChangedAt;
  int32_t nextJobId;
  IppJob jobs[kIppMaxJobs];
};

void StartIppPrinter(IppPrinter* printer, int port, const char* uuid, const IppClock* now);
IppPrinterState PrinterStateOf(const IppPrinter* printer);

// The job with `id`, or null.
IppJob* FindIppJob(IppPrinter* printer, int32_t id);

// A new pending job in a free slot, the oldest finished job's when none is
// free; null when every slot holds a job not yet finished.
IppJob* AddIppJob(IppPrinter* printer, const char* name, const char* user, const char* format, uint32_t upTime);

// The job's state moves on; finished states keep their first reason.
void SetIppJobState(IppPrinter* printer, IppJob* job, IppJobState state, const char* reason, const char* message,
                    uint32_t upTime);

// The formats a document may have, as clients name them.
bool IsIppFormatSupported(const char* format);

// How a document may come compressed (RFC 8011 "compression").
enum IppCompression {
  kIppCompressionNone,
  kIppCompressionDeflate,  // RFC 1951
  kIppCompressionGzip,     // RFC 1952
  kIppCompressionUnsupported,
};

IppCompression IppCompressionNamed(const char* name);

// Writes the answer to a request that needs no document and changes no
// job's document: Get-Printer-Attributes, Get-Jobs, Get-Job-Attributes,
// Validate-Job, Cancel-Job, Cancel-My-Jobs, Close-Job, Identify-Printer.
// `user` is who the request is from, for Cancel-My-Jobs and my-jobs.
void AnswerIppRequest(IppPrinter* printer, const IppRequest* request, const IppRequestCheck* check, const char* user,
                      const IppClock* now, IppWriter* response);

// Page-ranges that cannot be kept refuse the job: the answer's status and
// unsupported group are written, and false returned.
bool ReadJobPageRanges(const IppRequest* request, PageRanges* ranges, IppWriter* refusal);

// The start of every response: version, status, request-id and the
// operation group's charset and natural language.
void BeginIppResponse(IppWriter* response, const IppRequest* request, IppStatus status);

// The job group of a job's answer to Print-Job, Create-Job and Send-Document.
void WriteJobSummary(IppWriter* response, const IppPrinter* printer, const IppJob* job);

#endif
