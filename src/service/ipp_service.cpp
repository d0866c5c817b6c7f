// One thread accepts connections on both loopback addresses, one thread per
// connection reads its requests (at most kMaxConnections at once, each idle
// for at most kIdleMilliseconds), and one worker hands the jobs to
// Tollivane, one at a time, in the order they came: a job that arrives while
// another is filed waits its turn, it is never refused as busy. A document
// streams from the socket into the job's file; a client gone half-way files
// nothing. The printer's state is kept under one lock, never held across a
// socket call or a hand-over.
#include "service/ipp_service.h"

#include <ws2tcpip.h>
#include <shlwapi.h>

#include "handover/job_file.h"
#include "handover/job_handover.h"
#include "handover/job_owner.h"
#include "service/client_identity.h"
#include "ipp/http_request.h"
#include "ipp/ipp_codec.h"
#include "ipp/ipp_printer.h"
#include "ipp/page_ranges.h"
#include "ipp/pdf_pages.h"
#include "ipp/pdf_writer.h"
#include "ipp/pwg_raster.h"
#include "service_resources.h"

#include <zlib.h>

namespace {

const int kMaxConnections = 32;
const DWORD kIdleMilliseconds = 30000;
const ULONGLONG kHeadMilliseconds = 60000;
// Large pieces: under Wine every call to the socket or the file is a round
// trip to its server.
const size_t kInputSize = 256 * 1024;
const size_t kDocumentPiece = 1024 * 1024;
const size_t kIppHeaderLimit = 64 * 1024;
const size_t kResponseSize = 64 * 1024;
// A request that carries no document may still carry a little data; more
// than this ends the connection rather than being read.
const size_t kIgnoredDataLimit = 1024 * 1024;
const char kPrinterPath[] = "/ipp/print";
const DWORD kStaleCheckMilliseconds = 5000;

// What the service keeps of a job besides what a client sees: its
// hand-over state from the document's first byte until it is filed.
struct JobDocument {
  PortState* handover;
  bool ready;  // the document is whole: the worker may take it
  char start[8];
  DWORD startLength;
};

// The job the worker files: its hand-over state is the worker's alone.
struct Filing {
  int32_t jobId;
  PortState* handover;
};

struct Service {
  CRITICAL_SECTION lock;
  IppPrinter printer;
  JobDocument documents[kIppMaxJobs];
  HANDLE stop;
  HANDLE jobReady;
  LONG connections;
  Filing filing;
  MonitorRegistry registry;
  wchar_t besideProgram[MAX_PATH];
  ULONGLONG startedTick;
  bool asService;  // started by the service control manager
} service;

IppClock Now(void) {
  SYSTEMTIME utc;
  GetSystemTime(&utc);
  IppClock clock = {static_cast<uint32_t>((GetTickCount64() - service.startedTick) / 1000) + 1,
                    utc.wYear,
                    static_cast<uint8_t>(utc.wMonth),
                    static_cast<uint8_t>(utc.wDay),
                    static_cast<uint8_t>(utc.wHour),
                    static_cast<uint8_t>(utc.wMinute),
                    static_cast<uint8_t>(utc.wSecond)};
  return clock;
}

JobDocument* DocumentOf(IppJob* job) { return &service.documents[job - service.printer.jobs]; }

void FreeHandover(JobDocument* document) {
  if (document->handover == nullptr) return;
  DiscardJobFile(document->handover);
  if (document->handover->ownerToken != nullptr) CloseHandle(document->handover->ownerToken);
  if (document->handover->wake != nullptr) CloseHandle(document->handover->wake);
  HeapFree(GetProcessHeap(), 0, document->handover);
  *document = JobDocument{};
}

// Under the lock: a job cancelled meanwhile lets its file go, or, when it
// is being filed, wakes the hand-over, which ends a run that has not taken
// its print yet.
void ReleaseCancelledJobs(void) {
  for (IppJob& job : service.printer.jobs) {
    if (job.id == 0 || job.state != kIppJobCanceled) continue;
    if (job.id == service.filing.jobId && service.filing.handover != nullptr) SetEvent(service.filing.handover->wake);
    FreeHandover(DocumentOf(&job));
  }
}

// A job that got no document (or no Close-Job) within the time out the
// printer advertises is aborted, as multiple-operation-time-out-action says.
void AbortStaleJobs(uint32_t upTime) {
  const uint32_t kTimeOut = 60;
  for (IppJob& job : service.printer.jobs) {
    JobDocument* document = DocumentOf(&job);
    bool waiting = job.awaitingDocument || (document->handover != nullptr && !document->ready);
    if (job.id == 0 || job.state != kIppJobPending || !waiting || upTime - job.createdAt < kTimeOut) continue;
    SetIppJobState(&service.printer, &job, kIppJobAborted, "aborted-by-system",
                   "No document came within the time out: nothing was filed.", upTime);
    FreeHandover(document);
  }
}

// A job file for the job of `owner` (a token this takes), when that owner
// may print; null with the reason when not.
PortState* NewHandover(HANDLE owner, const char** reason) {
  if (owner == nullptr) return nullptr;
  PortState* state = static_cast<PortState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PortState)));
  if (state == nullptr) {
    CloseHandle(owner);
    *reason = "The job's file could not be made.";
    return nullptr;
  }
  state->tag = kPortStateTag;
  state->jobFile = INVALID_HANDLE_VALUE;
  state->wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  state->ownerToken = owner;
  state->record.ownerKnown = TokenUserSidString(owner, state->record.ownerSid, sizeof state->record.ownerSid);
  ReadOwnerFacts(owner, &state->record.owner);
  OwnerVerdict verdict = JudgeJobOwner(&state->record.owner);
  *reason = "The job's file could not be made.";
  SpoolFolders folders;
  const char* folderReason = nullptr;
  bool made = verdict == kOwnerMayPrint && state->wake != nullptr && HoldSpoolFolders(&folders, &folderReason);
  if (made) {
    made = CreateJobFile(state);
    ReleaseSpoolFolders(&folders);
  }
  if (made) return state;
  if (verdict != kOwnerMayPrint) *reason = OwnerVerdictReason(verdict);
  CloseHandle(owner);
  if (state->wake != nullptr) CloseHandle(state->wake);
  HeapFree(GetProcessHeap(), 0, state);
  return nullptr;
}

// The same owner again, for a converted document's own file.
HANDLE SameOwner(const PortState* handover) {
  HANDLE copy = nullptr;
  return DuplicateHandle(GetCurrentProcess(), handover->ownerToken, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)
             ? copy
             : nullptr;
}

// --- the connection: bytes in, a request's head and body -------------------

struct Connection {
  SOCKET socket;
  ClientIdentity client;
  IppRequest request;
  char input[kInputSize];
  size_t have;  // bytes in `input`
  size_t at;    // the first not yet used
  HttpRequestHead head;
  uint64_t bodyLeft;  // with a Content-Length
  ChunkedBody chunked;
  bool bodyDone;
  bool broken;  // the client went away or sent what cannot be read
};

bool Receive(Connection* c) {
  if (c->at == c->have) c->at = c->have = 0;
  if (c->have == kInputSize) {
    MoveMemory(c->input, c->input + c->at, c->have - c->at);
    c->have -= c->at;
    c->at = 0;
  }
  int got = recv(c->socket, c->input + c->have, static_cast<int>(kInputSize - c->have), 0);
  if (got <= 0) {
    c->broken = true;
    return false;
  }
  c->have += static_cast<size_t>(got);
  return true;
}

bool SendAll(Connection* c, const void* bytes, size_t length) {
  const char* at = static_cast<const char*>(bytes);
  while (length > 0) {
    int sent = send(c->socket, at, length > 65536 ? 65536 : static_cast<int>(length), 0);
    if (sent <= 0) {
      c->broken = true;
      return false;
    }
    at += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

const char* StatusText(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 411:
      return "Length Required";
    case 413:
      return "Payload Too Large";
    case 415:
      return "Unsupported Media Type";
    case 417:
      return "Expectation Failed";
    case 431:
      return "Request Header Fields Too Large";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

void SendHttpError(Connection* c, int status) {
  char line[160];
  wsprintfA(line, "HTTP/1.1 %d %s\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", status, StatusText(status));
  SendAll(c, line, static_cast<size_t>(lstrlenA(line)));
}

// The head of the next request; false when the client went away, sent
// what is no request, or took longer than a head may take, a byte at a time.
bool ReadHead(Connection* c) {
  ULONGLONG deadline = GetTickCount64() + kHeadMilliseconds;
  for (;;) {
    if (GetTickCount64() > deadline) return false;
    size_t length = 0;
    HttpHeadResult result = ParseHttpHead(c->input + c->at, c->have - c->at, &c->head, &length);
    if (result == kHttpHeadComplete) {
      c->at += length;
      return true;
    }
    if (result == kHttpHeadMalformed || result == kHttpHeadTooLarge) {
      SendHttpError(c, result == kHttpHeadMalformed ? 400 : 431);
      return false;
    }
    if (!Receive(c)) return false;
  }
}

// Up to `size` bytes of the body; 0 at its end or when the client went away.
size_t ReadBody(Connection* c, uint8_t* out, size_t size) {
  while (!c->bodyDone && !c->broken) {
    // A plain body straight into the caller's buffer when nothing is kept.
    if (!c->head.chunked && c->at == c->have && size >= kInputSize / 2) {
      int want = static_cast<int>(c->bodyLeft < size ? c->bodyLeft : size);
      int got = recv(c->socket, reinterpret_cast<char*>(out), want, 0);
      if (got <= 0) {
        c->broken = true;
        return 0;
      }
      c->bodyLeft -= static_cast<uint64_t>(got);
      c->bodyDone = c->bodyLeft == 0;
      return static_cast<size_t>(got);
    }
    if (c->at == c->have && !Receive(c)) return 0;
    const uint8_t* in = reinterpret_cast<const uint8_t*>(c->input + c->at);
    size_t available = c->have - c->at;
    if (!c->head.chunked && available == 0) continue;
    if (!c->head.chunked) {
      size_t take = available < size ? available : size;
      if (take > c->bodyLeft) take = static_cast<size_t>(c->bodyLeft);
      CopyMemory(out, in, take);
      c->at += take;
      c->bodyLeft -= take;
      c->bodyDone = c->bodyLeft == 0;
      if (take > 0) return take;
      continue;
    }
    size_t produced = 0;
    c->at += DecodeChunkedBody(&c->chunked, in, available, out, size, &produced);
    c->bodyDone = c->chunked.done;
    if (c->chunked.failed) c->broken = true;
    if (produced > 0) return produced;
  }
  return 0;
}

void StartBody(Connection* c) {
  c->bodyLeft = c->head.hasContentLength ? c->head.contentLength : 0;
  c->bodyDone = !c->head.chunked && c->bodyLeft == 0;
  StartChunkedBody(&c->chunked);
}

// What is left of a body that carries nothing wanted; false when it is too
// much to read, or the client went away.
bool SkipBody(Connection* c) {
  uint8_t scratch[4096];
  size_t skipped = 0;
  while (!c->bodyDone && !c->broken && skipped <= kIgnoredDataLimit) skipped += ReadBody(c, scratch, sizeof scratch);
  return c->bodyDone && !c->broken;
}

bool SendIppResponse(Connection* c, const uint8_t* bytes, size_t length) {
  char head[160];
  wsprintfA(head, "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: %u\r\nConnection: %s\r\n\r\n",
            static_cast<unsigned>(length), c->head.keepAlive ? "keep-alive" : "close");
  return SendAll(c, head, static_cast<size_t>(lstrlenA(head))) && SendAll(c, bytes, length);
}

// --- documents ------------------------------------------------------------

bool RequestText(const IppRequest* request, const char* name, char* text, size_t size) {
  const IppAttribute* attribute = FindIppAttribute(request, kIppOperationGroup, name);
  return attribute != nullptr && IppValueText(FirstIppValue(request, attribute), text, size);
}

enum Received { kReceivedWhole, kClientGone, kCompressionBroken };

// The document's bytes as they are, into the job's file; its first ones
// are kept to tell its kind.
void StoreDocumentBytes(JobDocument* document, const uint8_t* bytes, size_t length) {
  if (document->startLength < sizeof document->start) {
    DWORD take = static_cast<DWORD>(sizeof document->start) - document->startLength;
    if (take > length) take = static_cast<DWORD>(length);
    CopyMemory(document->start + document->startLength, bytes, take);
    document->startLength += take;
  }
  AppendToJobFile(document->handover, bytes, static_cast<DWORD>(length));
}

// A compressed document is inflated on its way to the file.
struct Inflation {
  z_stream zip;
  bool ended;
  uint8_t out[65536];
};

bool Inflate(Inflation* inflation, JobDocument* document, const uint8_t* bytes, size_t length) {
  inflation->zip.next_in = const_cast<Bytef*>(bytes);
  inflation->zip.avail_in = static_cast<uInt>(length);
  while (inflation->zip.avail_in > 0 && !inflation->ended) {
    inflation->zip.next_out = inflation->out;
    inflation->zip.avail_out = sizeof inflation->out;
    int status = inflate(&inflation->zip, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) return false;
    StoreDocumentBytes(document, inflation->out, sizeof inflation->out - inflation->zip.avail_out);
    inflation->ended = status == Z_STREAM_END;
  }
  return true;
}

// Streams the rest of the body into the job's file, inflated when it came
// compressed.
Received ReceiveDocument(Connection* c, JobDocument* document, IppCompression compression, const uint8_t* first,
                         size_t firstLength) {
  Inflation* inflation = nullptr;
  if (compression != kIppCompressionNone) {
    inflation = static_cast<Inflation*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Inflation)));
    if (inflation == nullptr ||
        inflateInit2(&inflation->zip, compression == kIppCompressionGzip ? 15 + 16 : -15) != Z_OK) {
      if (inflation != nullptr) HeapFree(GetProcessHeap(), 0, inflation);
      SkipBody(c);
      return kCompressionBroken;
    }
  }
  uint8_t* piece = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, kDocumentPiece));
  const uint8_t* bytes = first;
  size_t length = firstLength;
  bool inflated = piece != nullptr;
  if (piece == nullptr) c->broken = true;
  for (;;) {
    if (inflation == nullptr)
      StoreDocumentBytes(document, bytes, length);
    else
      inflated = inflated && Inflate(inflation, document, bytes, length);
    if (c->bodyDone || c->broken) break;
    length = ReadBody(c, piece, kDocumentPiece);
    bytes = piece;
    if (length == 0 && !c->bodyDone) break;
  }
  if (piece != nullptr) HeapFree(GetProcessHeap(), 0, piece);
  FlushJobFile(document->handover);
  bool ended = inflation == nullptr || inflation->ended;
  if (inflation != nullptr) {
    inflateEnd(&inflation->zip);
    HeapFree(GetProcessHeap(), 0, inflation);
  }
  if (!c->bodyDone || c->broken) return kClientGone;
  return inflated && ended ? kReceivedWhole : kCompressionBroken;
}

const char* RequestingUser(const IppRequest* request, char* user, size_t size) {
  if (!RequestText(request, "requesting-user-name", user, size) || user[0] == '\0') lstrcpynA(user, "anonymous", 32);
  return user;
}

// Whom the request is from, for its job's name and for who may cancel what.
void ClientUser(const Connection* c, const IppRequest* request, char* user, int size) {
  char requested[kIppJobTextSize];
  NameClientUser(&c->client, RequestingUser(request, requested, sizeof requested), user, size);
}

// Print-Job and Send-Document: the job and its file, then its bytes, then
// the answer. `job` is null for Print-Job.
void AnswerDocument(Connection* c, const IppRequest* request, IppRequestCheck check, const uint8_t* first,
                    size_t firstLength, IppWriter* response) {
  char requested[kIppJobTextSize];
  RequestingUser(request, requested, sizeof requested);
  char user[kIppJobTextSize];
  ClientUser(c, request, user, sizeof user);
  char format[64] = "application/octet-stream";
  RequestText(request, "document-format", format, sizeof format);
  char name[kIppJobTextSize] = "Untitled";
  RequestText(request, request->operation == kIppPrintJob ? "job-name" : "document-name", name, sizeof name);
  char compression[32] = "none";
  IppStatus refused = kIppOk;
  RequestText(request, "compression", compression, sizeof compression);
  IppCompression compressed = IppCompressionNamed(compression);
  if (compressed == kIppCompressionUnsupported)
    refused = kIppCompressionNotSupported;
  else if (!IsIppFormatSupported(format))
    refused = kIppDocumentFormatNotSupported;
  PageRanges pages = {};
  if (refused == kIppOk && request->operation == kIppPrintJob && !ReadJobPageRanges(request, &pages, response)) {
    EndIppMessage(response);
    SkipBody(c);
    return;
  }
  // Whose job it is is asked of Windows before the printer's lock is taken.
  const char* ownerReason = nullptr;
  HANDLE owner = refused == kIppOk ? OpenJobOwner(&c->client, requested, &ownerReason) : nullptr;
  IppClock now = Now();
  EnterCriticalSection(&service.lock);
  IppJob* job = nullptr;
  if (refused == kIppOk && request->operation == kIppPrintJob) {
    job = AddIppJob(&service.printer, name, user, format, now.upTime);
    if (job == nullptr)
      refused = kIppBusy;
    else
      job->pages = pages;
  } else if (refused == kIppOk) {
    job = FindIppJob(&service.printer, check.jobId);
    if (job == nullptr)
      refused = kIppNotFound;
    else if (lstrcmpA(job->user, user) != 0)
      refused = kIppForbidden;
    else if (!job->awaitingDocument)
      refused = job->state >= kIppJobCanceled ? kIppNotPossible : kIppMultipleDocumentsNotSupported;
  }
  bool lastDocument = true;
  if (request->operation == kIppSendDocument &&
      !IppValueBoolean(FirstIppValue(request, FindIppAttribute(request, kIppOperationGroup, "last-document")),
                       &lastDocument))
    refused = kIppBadRequest;
  // The document is received into a hand-over state of this request's own:
  // the job's slot gets it only once it is whole, so a cancel or a slot
  // reused meanwhile never frees what is being written.
  JobDocument received = {};
  int32_t jobId = 0;
  if (job != nullptr && refused == kIppOk) {
    received.handover = NewHandover(owner, &ownerReason);
    owner = nullptr;  // the hand-over's now, or closed
    if (received.handover == nullptr) {
      SetIppJobState(&service.printer, job, kIppJobAborted, "aborted-by-system", ownerReason, now.upTime);
      refused = kIppNotPossible;
    } else {
      lstrcpynA(job->format, format, sizeof job->format);
      job->awaitingDocument = false;
      jobId = job->id;
    }
  }
  LeaveCriticalSection(&service.lock);
  if (owner != nullptr) CloseHandle(owner);
  if (received.handover == nullptr) {
    BeginIppResponse(response, request, refused);
    if (refused == kIppDocumentFormatNotSupported || refused == kIppCompressionNotSupported) {
      AddIppGroup(response, kIppUnsupportedGroup);
      if (refused == kIppDocumentFormatNotSupported)
        AddIppString(response, kIppMimeMediaType, "document-format", format);
      else
        AddIppString(response, kIppKeyword, "compression", compression);
    }
    EndIppMessage(response);
    SkipBody(c);
    return;
  }
  Received outcome = ReceiveDocument(c, &received, compressed, first, firstLength);
  bool whole = outcome == kReceivedWhole;
  now = Now();
  EnterCriticalSection(&service.lock);
  job = FindIppJob(&service.printer, jobId);
  if (job != nullptr && outcome == kClientGone)
    SetIppJobState(&service.printer, job, kIppJobAborted, "aborted-by-system",
                   "The client went away before the document's end: nothing was filed.", now.upTime);
  if (job != nullptr && outcome == kCompressionBroken)
    SetIppJobState(&service.printer, job, kIppJobAborted, "compression-error",
                   "The compressed document could not be inflated: nothing was filed.", now.upTime);
  if (job != nullptr && whole && job->state == kIppJobPending) {
    JobDocument* slot = DocumentOf(job);
    FreeHandover(slot);
    *slot = received;
    slot->ready = lastDocument || request->operation == kIppPrintJob;
    SetEvent(service.jobReady);
  } else {
    FreeHandover(&received);
  }
  BeginIppResponse(response, request,
                   job == nullptr                  ? kIppNotFound
                   : outcome == kCompressionBroken ? kIppCompressionError
                                                   : kIppOk);
  if (job != nullptr) WriteJobSummary(response, &service.printer, job);
  EndIppMessage(response);
  ReleaseCancelledJobs();
  LeaveCriticalSection(&service.lock);
}

void AnswerCreateJob(const Connection* c, const IppRequest* request, IppWriter* response) {
  char user[kIppJobTextSize];
  ClientUser(c, request, user, sizeof user);
  char name[kIppJobTextSize] = "Untitled";
  RequestText(request, "job-name", name, sizeof name);
  PageRanges pages;
  if (!ReadJobPageRanges(request, &pages, response)) {
    EndIppMessage(response);
    return;
  }
  EnterCriticalSection(&service.lock);
  IppJob* job = AddIppJob(&service.printer, name, user, "", Now().upTime);
  BeginIppResponse(response, request, job != nullptr ? kIppOk : kIppBusy);
  if (job != nullptr) {
    job->awaitingDocument = true;
    job->pages = pages;
    lstrcpynA(job->reason, "job-incoming", sizeof job->reason);
    WriteJobSummary(response, &service.printer, job);
  }
  EndIppMessage(response);
  LeaveCriticalSection(&service.lock);
}

// Close-Job releases a job whose document came without last-document.
void AnswerOtherRequest(const Connection* c, const IppRequest* request, const IppRequestCheck* check,
                        IppWriter* response) {
  char user[kIppJobTextSize];
  ClientUser(c, request, user, sizeof user);
  IppClock now = Now();
  EnterCriticalSection(&service.lock);
  AnswerIppRequest(&service.printer, request, check, user, &now, response);
  if (request->operation == kIppCloseJob && check->status == kIppOk) {
    IppJob* job = FindIppJob(&service.printer, check->jobId);
    if (job != nullptr && DocumentOf(job)->handover != nullptr && !DocumentOf(job)->ready) {
      DocumentOf(job)->ready = true;
      SetEvent(service.jobReady);
    } else if (job != nullptr && job->awaitingDocument) {
      SetIppJobState(&service.printer, job, kIppJobAborted, "job-data-insufficient", "The job got no document.",
                     now.upTime);
    }
  }
  ReleaseCancelledJobs();
  LeaveCriticalSection(&service.lock);
}

bool SendPage(Connection* c, const char* type, const void* bytes, DWORD length) {
  char head[256];
  wnsprintfA(head, sizeof head,
             "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %lu\r\nX-Content-Type-Options: nosniff\r\n"
             "Content-Security-Policy: default-src 'none'\r\nCache-Control: no-store\r\n\r\n",
             type, length);
  return SendAll(c, head, static_cast<size_t>(lstrlenA(head))) && SendAll(c, bytes, length) && c->head.keepAlive;
}

// A GET: the printer's page, which says what it is, or its icon.
bool ServePage(Connection* c) {
  if (HttpPageOf(c->head.target) == kHttpIconPage) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_PRINTER_ICON), MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const void* icon = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (icon == nullptr) {
      SendHttpError(c, 404);
      return false;
    }
    return SendPage(c, "image/png", icon, SizeofResource(nullptr, found));
  }
  EnterCriticalSection(&service.lock);
  int queued = 0;
  for (const IppJob& job : service.printer.jobs) queued += job.id != 0 && job.state < kIppJobCanceled ? 1 : 0;
  char page[768];
  wnsprintfA(page, sizeof page,
             "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Tollivane</title></head><body>\n"
             "<h1>Tollivane</h1>\n<p>This printer files every print as a numbered PDF file. It uses no paper, ink or "
             "toner: its one supply is the disk space of the folder prints are filed in.</p>\n"
             "<p>Printer: %s<br>Jobs waiting or being filed: %d</p>\n</body></html>\n",
             service.printer.uri, queued);
  LeaveCriticalSection(&service.lock);
  return SendPage(c, "text/html; charset=utf-8", page, static_cast<DWORD>(lstrlenA(page)));
}

// One request on the connection, its head already read.
bool ServeRequest(Connection* c, uint8_t* header, uint8_t* responseBytes) {
  int status = JudgeHttpRequest(&c->head, kPrinterPath);
  if (status != 0) {
    SendHttpError(c, status);
    return false;
  }
  if (c->head.method == kHttpGet) return ServePage(c);
  if (c->head.expectContinue && !SendAll(c, "HTTP/1.1 100 Continue\r\n\r\n", 25)) return false;
  StartBody(c);
  IppRequest* request = &c->request;
  size_t used = 0;
  IppDecodeResult decoded = kIppNeedMore;
  for (;;) {
    decoded = DecodeIppRequest(header, used, request);
    if (decoded != kIppNeedMore || c->bodyDone || c->broken || used == kIppHeaderLimit) break;
    used += ReadBody(c, header + used, kIppHeaderLimit - used);
  }
  if (decoded != kIppDecoded) {
    SendHttpError(c, c->broken ? 400 : decoded == kIppNeedMore && used == kIppHeaderLimit ? 413 : 400);
    return false;
  }
  IppWriter response = {responseBytes, kResponseSize, 0, false};
  IppRequestCheck check = CheckIppRequest(request);
  const uint8_t* data = header + request->dataOffset;
  size_t dataLength = used - request->dataOffset;
  if (check.status == kIppOk && (request->operation == kIppPrintJob || request->operation == kIppSendDocument)) {
    AnswerDocument(c, request, check, data, dataLength, &response);
  } else {
    if (check.status == kIppOk && request->operation == kIppCreateJob)
      AnswerCreateJob(c, request, &response);
    else
      AnswerOtherRequest(c, request, &check, &response);
    if (!SkipBody(c)) return false;
  }
  if (response.overflow) {
    BeginIppResponse(&response, request, kIppInternalError);
    EndIppMessage(&response);
  }
  if (c->broken) return false;
  return SendIppResponse(c, responseBytes, response.used) && c->head.keepAlive;
}

DWORD WINAPI ServeConnection(void* parameter) {
  Connection* c = static_cast<Connection*>(parameter);
  IdentifyClient(c->socket, service.asService, &c->client);
  uint8_t* header = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, kIppHeaderLimit + kResponseSize));
  if (header != nullptr) {
    while (ReadHead(c) && ServeRequest(c, header, header + kIppHeaderLimit)) {
    }
    HeapFree(GetProcessHeap(), 0, header);
  }
  shutdown(c->socket, SD_BOTH);
  closesocket(c->socket);
  ReleaseClient(&c->client);
  HeapFree(GetProcessHeap(), 0, c);
  InterlockedDecrement(&service.connections);
  return 0;
}

void Accept(SOCKET listener) {
  SOCKET accepted = accept(listener, nullptr, nullptr);
  if (accepted == INVALID_SOCKET) return;
  DWORD idle = kIdleMilliseconds;
  int window = 1024 * 1024;
  setsockopt(accepted, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&window), sizeof window);
  // An answer goes as its head and its body: neither waits for the other's acknowledgement.
  BOOL noDelay = TRUE;
  setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  setsockopt(accepted, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&idle), sizeof idle);
  setsockopt(accepted, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&idle), sizeof idle);
  Connection* c = nullptr;
  if (InterlockedIncrement(&service.connections) <= kMaxConnections)
    c = static_cast<Connection*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Connection)));
  HANDLE thread = nullptr;
  if (c != nullptr) {
    c->socket = accepted;
    thread = CreateThread(nullptr, 0, ServeConnection, c, 0, nullptr);
  }
  if (thread != nullptr) {
    CloseHandle(thread);
    return;
  }
  if (c != nullptr) HeapFree(GetProcessHeap(), 0, c);
  InterlockedDecrement(&service.connections);
  Connection refused = {};
  refused.socket = accepted;
  SendHttpError(&refused, 503);
  closesocket(accepted);
}

// --- the worker: one job at a time ----------------------------------------

IppJob* NextReadyJob(void) {
  IppJob* next = nullptr;
  for (IppJob& job : service.printer.jobs)
    if (job.id != 0 && job.state == kIppJobPending && DocumentOf(&job)->ready && (next == nullptr || job.id < next->id))
      next = &job;
  return next;
}

bool StartsWith(const JobDocument* document, const char* magic, DWORD length) {
  if (document->startLength < length) return false;
  for (DWORD i = 0; i < length; ++i)
    if (document->start[i] != magic[i]) return false;
  return true;
}

enum DocumentKind { kDocumentPdf, kDocumentJpeg, kDocumentPwgRaster, kDocumentUnknown };

// By its first bytes, whatever the client called it.
DocumentKind KindOf(const JobDocument* document) {
  if (StartsWith(document, "%PDF-", 5)) return kDocumentPdf;
  if (StartsWith(document, "\xFF\xD8\xFF", 3)) return kDocumentJpeg;
  if (StartsWith(document, "RaS2", 4)) return kDocumentPwgRaster;
  return kDocumentUnknown;
}

// The converted document takes the place of the one received, whose file
// goes; a conversion that failed leaves nothing of its own.
bool KeepConverted(JobDocument* document, PortState* converted, bool written) {
  JobDocument gone = *document;
  if (written) {
    document->handover = converted;
  } else {
    gone = JobDocument{};
    gone.handover = converted;
  }
  FreeHandover(&gone);
  return written;
}

// A JPEG's bytes, read from the job's file into the PDF being written.
struct JpegSource {
  HANDLE file;
};

bool CopyJpeg(void* context, PdfSink* pdf) {
  JpegSource* source = static_cast<JpegSource*>(context);
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(source->file, start, nullptr, FILE_BEGIN)) return false;
  static_assert(kJobBufferSize >= 16384, "one piece fits the port's buffer");
  uint8_t piece[16384];
  DWORD read = 0;
  while (ReadFile(source->file, piece, sizeof piece, &read, nullptr) && read > 0) PutPdfBytes(pdf, piece, read);
  return read == 0 && !pdf->failed;
}

bool WriteToJobFile(void* context, const uint8_t* bytes, size_t length) {
  PortState* target = static_cast<PortState*>(context);
  AppendToJobFile(target, bytes, static_cast<DWORD>(length));
  return target->writeError == 0;
}

// The JPEG becomes a one-page PDF in a job file of its own; the JPEG's
// file goes. False, with nothing half-converted left, when it cannot.
bool ConvertJpeg(JobDocument* document, const char** reason) {
  *reason = "The JPEG could not be read: nothing was filed.";
  HANDLE file = CreateFileA(document->handover->jobPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Camera JPEGs carry metadata and colour profiles of several segments
  // of up to 64 KiB each before their frame.
  const DWORD kFrameSearchBytes = 1024 * 1024;
  uint8_t* head = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, kFrameSearchBytes));
  DWORD read = 0;
  JpegFacts facts;
  LARGE_INTEGER size = {};
  bool readable = head != nullptr && ReadFile(file, head, kFrameSearchBytes, &read, nullptr) &&
                  GetFileSizeEx(file, &size) && ReadJpegFacts(head, read, &facts);
  if (head != nullptr) HeapFree(GetProcessHeap(), 0, head);
  const char* ownerReason = nullptr;
  PortState* converted = readable ? NewHandover(SameOwner(document->handover), &ownerReason) : nullptr;
  bool written = false;
  if (converted != nullptr) {
    uint64_t offsets[8];
    PdfSink pdf = {WriteToJobFile, converted, 0, false, nullptr, 0, 0};
    JpegSource source = {file};
    StartPdf(&pdf, offsets, 8);
    written = WriteJpegPdf(&pdf, &facts, 300, static_cast<uint64_t>(size.QuadPart), CopyJpeg, &source);
    FlushJobFile(converted);
    written = written && converted->writeError == 0;
  }
  CloseHandle(file);
  return KeepConverted(document, converted, written);
}

const char kNoPageKept[] = "No page of the document is in the job's page-ranges: nothing was filed.";

// --- page-ranges of a PDF: an update appended to the job's own file -------

bool ReadJobFileAt(void* context, uint64_t offset, uint8_t* bytes, size_t size) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return size <= MAXDWORD && ReadFile(*static_cast<HANDLE*>(context), bytes, static_cast<DWORD>(size), &read, &at) &&
         read == size;
}

void* TakeMemory(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void GiveMemoryBack(void* block) { HeapFree(GetProcessHeap(), 0, block); }

bool KeepPdfPageRanges(JobDocument* document, const PageRanges* pages, const char** reason) {
  if (pages->count == 0) return true;
  PortState* handover = document->handover;
  FlushJobFile(handover);
  HANDLE file = CreateFileA(handover->jobPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  *reason = "The PDF could not be read to keep the job's page-ranges: nothing was filed.";
  if (file == INVALID_HANDLE_VALUE) return false;
  PdfInput in = {ReadJobFileAt, &file, handover->jobBytes, TakeMemory, GiveMemoryBack};
  PdfSink out = {WriteToJobFile, handover, handover->jobBytes, false, nullptr, 0, 0};
  uint32_t kept = 0;
  PdfPagesResult result = handover->writeError == 0 ? KeepPdfPages(&in, pages, &out, &kept) : kPdfPagesUnreadable;
  CloseHandle(file);
  FlushJobFile(handover);
  if (result == kPdfPagesNoneKept) *reason = kNoPageKept;
  if (result == kPdfPagesEncrypted)
    *reason = "The job's page-ranges cannot be kept of an encrypted PDF: nothing was filed.";
  return result == kPdfPagesKept && handover->writeError == 0;
}

// --- PWG raster: each page a lossless image, deflated as it is decoded ----

const int kPwgMaxPages = 1000;
const int kPwgObjectsPerPage = 4;  // page, contents, image, the image's length

struct RasterReader {
  HANDLE file;
  uint8_t bytes[65536];
  size_t have;
  size_t at;
  bool ended;
};

// More bytes of the raster file; false at its end.
bool FillRaster(RasterReader* reader) {
  if (reader->at > 0) {
    MoveMemory(reader->bytes, reader->bytes + reader->at, reader->have - reader->at);
    reader->have -= reader->at;
    reader->at = 0;
  }
  DWORD read = 0;
  if (reader->have == sizeof reader->bytes) return true;
  if (!ReadFile(reader->file, reader->bytes + reader->have, static_cast<DWORD>(sizeof reader->bytes - reader->have),
                &read, nullptr) ||
      read == 0) {
    reader->ended = true;
    return false;
  }
  reader->have += read;
  return true;
}

struct DeflatedImage {
  z_stream zip;
  PdfSink* pdf;
  uint32_t lineBytes;
  uint8_t out[16384];
  uint64_t length;
};

bool DeflateInto(DeflatedImage* image, const uint8_t* bytes, uInt size, int flush) {
  image->zip.next_in = const_cast<Bytef*>(bytes);
  image->zip.avail_in = size;
  do {
    image->zip.next_out = image->out;
    image->zip.avail_out = sizeof image->out;
    int status = deflate(&image->zip, flush);
    if (status == Z_STREAM_ERROR) return false;
    size_t produced = sizeof image->out - image->zip.avail_out;
    PutPdfBytes(image->pdf, image->out, produced);
    image->length += produced;
  } while (image->zip.avail_out == 0 || (flush == Z_FINISH && image->zip.avail_in > 0));
  return !image->pdf->failed;
}

bool DeflateLine(void* context, const uint8_t* line, uint32_t repeat) {
  DeflatedImage* image = static_cast<DeflatedImage*>(context);
  for (uint32_t i = 0; i < repeat; ++i)
    if (!DeflateInto(image, line, image->lineBytes, Z_NO_FLUSH)) return false;
  return true;
}

// One page: its image, deflated while its lines are decoded, its length,
// its drawing and the page itself.
bool WritePwgPage(PdfSink* pdf, RasterReader* reader, const PwgPage* page, uint8_t* line, int pages, int* pageObject) {
  *pageObject = ReservePdfObject(pdf);
  int content = ReservePdfObject(pdf);
  int image = ReservePdfObject(pdf);
  int length = ReservePdfObject(pdf);
  if (pdf->failed) return false;
  BeginPdfObject(pdf, image);
  PutPdfText(pdf, "<< /Type /XObject /Subtype /Image /Width ");
  PutPdfNumber(pdf, page->width);
  PutPdfText(pdf, " /Height ");
  PutPdfNumber(pdf, page->height);
  PutPdfText(pdf, page->colorSpace == kPwgSrgb    ? " /ColorSpace /DeviceRGB /BitsPerComponent 8"
                  : page->colorSpace == kPwgSgray ? " /ColorSpace /DeviceGray /BitsPerComponent 8"
                                                  : " /ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [1 0]");
  PutPdfText(pdf, " /Filter /FlateDecode /Length ");
  PutPdfReference(pdf, length);
  PutPdfText(pdf, " >>\nstream\n");
  DeflatedImage* deflated =
      static_cast<DeflatedImage*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DeflatedImage)));
  if (deflated == nullptr) return false;
  deflated->pdf = pdf;
  deflated->lineBytes = page->bytesPerLine;
  bool written = deflateInit(&deflated->zip, Z_DEFAULT_COMPRESSION) == Z_OK;
  PwgLines lines;
  StartPwgLines(&lines, page, line, DeflateLine, deflated);
  while (written && lines.linesDone < page->height && !lines.failed) {
    if (reader->at == reader->have && !FillRaster(reader)) break;
    reader->at += DecodePwgLines(&lines, reader->bytes + reader->at, reader->have - reader->at);
  }
  written = written && lines.linesDone == page->height && !lines.failed && DeflateInto(deflated, nullptr, 0, Z_FINISH);
  deflateEnd(&deflated->zip);
  uint64_t imageLength = deflated->length;
  HeapFree(GetProcessHeap(), 0, deflated);
  if (!written) return false;
  PutPdfText(pdf, "\nendstream\nendobj\n");
  BeginPdfObject(pdf, length);
  PutPdfNumber(pdf, imageLength);
  PutPdfText(pdf, "\nendobj\n");
  uint64_t width = static_cast<uint64_t>(page->width) * 7200 / page->xdpi;
  uint64_t height = static_cast<uint64_t>(page->height) * 7200 / page->ydpi;
  WritePdfImagePage(pdf, *pageObject, pages, content, image, width, height);
  return !pdf->failed;
}

bool IgnoreLine(void*, const uint8_t*, uint32_t) { return true; }

// A page outside the job's page-ranges: decoded only to find the next.
bool SkipPwgPage(RasterReader* reader, const PwgPage* page, uint8_t* line) {
  PwgLines lines;
  StartPwgLines(&lines, page, line, IgnoreLine, nullptr);
  while (lines.linesDone < page->height && !lines.failed) {
    if (reader->at == reader->have && !FillRaster(reader)) break;
    reader->at += DecodePwgLines(&lines, reader->bytes + reader->at, reader->have - reader->at);
  }
  return lines.linesDone == page->height && !lines.failed;
}

// Every page of the raster in the job's page-ranges becomes a page of a
// PDF in a job file of its own; the raster's file goes. False, with nothing
// half-converted left.
bool ConvertPwgRaster(JobDocument* document, const PageRanges* pages, const char** reason) {
  *reason = "The PWG raster could not be read: nothing was filed.";
  RasterReader* reader =
      static_cast<RasterReader*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RasterReader)));
  uint64_t* offsets = static_cast<uint64_t*>(
      HeapAlloc(GetProcessHeap(), 0, sizeof(uint64_t) * (2 + kPwgMaxPages * kPwgObjectsPerPage)));
  int* pageObjects = static_cast<int*>(HeapAlloc(GetProcessHeap(), 0, sizeof(int) * kPwgMaxPages));
  uint8_t* line = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, kPwgMaxLineBytes));
  PortState* converted = nullptr;
  bool written = false;
  if (reader != nullptr && offsets != nullptr && pageObjects != nullptr && line != nullptr) {
    reader->file = CreateFileA(document->handover->jobPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    bool synced = reader->file != INVALID_HANDLE_VALUE && FillRaster(reader) && IsPwgSync(reader->bytes, reader->have);
    const char* ownerReason = nullptr;
    converted = synced ? NewHandover(SameOwner(document->handover), &ownerReason) : nullptr;
  }
  if (converted != nullptr) {
    reader->at = kPwgSyncSize;
    PdfSink pdf = {WriteToJobFile, converted, 0, false, nullptr, 0, 0};
    StartPdf(&pdf, offsets, 2 + kPwgMaxPages * kPwgObjectsPerPage);
    int catalog = ReservePdfObject(&pdf);
    int tree = ReservePdfObject(&pdf);
    int count = 0;
    uint32_t read = 0;
    written = true;
    for (;;) {
      while (reader->have - reader->at < kPwgHeaderSize && FillRaster(reader)) {
      }
      if (reader->have == reader->at) break;  // the raster's end, between pages
      PwgPage page;
      if (count == kPwgMaxPages || reader->have - reader->at < kPwgHeaderSize ||
          !ReadPwgPage(reader->bytes + reader->at, &page)) {
        written = false;
        break;
      }
      reader->at += kPwgHeaderSize;
      bool kept = IsPageSelected(pages, ++read);
      if (kept ? !WritePwgPage(&pdf, reader, &page, line, tree, &pageObjects[count++])
               : !SkipPwgPage(reader, &page, line)) {
        written = false;
        break;
      }
    }
    if (written && count == 0 && read > 0) *reason = kNoPageKept;
    written = written && count > 0;
    BeginPdfObject(&pdf, tree);
    PutPdfText(&pdf, "<< /Type /Pages /Count ");
    PutPdfNumber(&pdf, static_cast<uint64_t>(count));
    PutPdfText(&pdf, " /Kids [");
    for (int i = 0; i < count; ++i) {
      PutPdfReference(&pdf, pageObjects[i]);
      PutPdfText(&pdf, " ");
    }
    PutPdfText(&pdf, "] >>\nendobj\n");
    BeginPdfObject(&pdf, catalog);
    PutPdfText(&pdf, "<< /Type /Catalog /Pages ");
    PutPdfReference(&pdf, tree);
    PutPdfText(&pdf, " >>\nendobj\n");
    FinishPdf(&pdf, catalog, 0);
    FlushJobFile(converted);
    written = written && !pdf.failed && converted->writeError == 0;
  }
  if (reader != nullptr && reader->file != nullptr && reader->file != INVALID_HANDLE_VALUE) CloseHandle(reader->file);
  void* blocks[] = {reader, offsets, pageObjects, line};
  for (void* block : blocks)
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
  return KeepConverted(document, converted, written);
}

// Takes the oldest job whose document is whole, files it outside the lock
// and records how it ended.
DWORD WINAPI FileJobs(void*) {
  HANDLE waits[2] = {service.jobReady, service.stop};
  for (;;) {
    EnterCriticalSection(&service.lock);
    AbortStaleJobs(Now().upTime);
    IppJob* job = NextReadyJob();
    JobDocument document = {};
    PageRanges pages = {};
    if (job != nullptr) {
      pages = job->pages;
      document = *DocumentOf(job);
      *DocumentOf(job) = JobDocument{};
      service.filing = Filing{job->id, document.handover};
      SetIppJobState(&service.printer, job, kIppJobProcessing, "job-printing", "Being filed.", Now().upTime);
    }
    LeaveCriticalSection(&service.lock);
    if (job == nullptr) {
      DWORD woken = WaitForMultipleObjects(2, waits, FALSE, kStaleCheckMilliseconds);
      if (woken != WAIT_OBJECT_0 && woken != WAIT_TIMEOUT) return 0;
      continue;
    }
    DocumentKind kind = KindOf(&document);
    const char* why = "Not a PDF, JPEG or PWG raster document: nothing was filed.";
    if (kind == kDocumentJpeg && !IsPageSelected(&pages, 1)) {
      kind = kDocumentUnknown;
      why = kNoPageKept;
    }
    bool readable = (kind == kDocumentPdf && KeepPdfPageRanges(&document, &pages, &why)) ||
                    (kind == kDocumentJpeg && ConvertJpeg(&document, &why)) ||
                    (kind == kDocumentPwgRaster && ConvertPwgRaster(&document, &pages, &why));
    EnterCriticalSection(&service.lock);
    service.filing.handover = document.handover;
    LeaveCriticalSection(&service.lock);
    BOOL filed = readable && EndPortJob(document.handover, &service.registry);
    if (readable) why = document.handover->record.reason;
    bool pdf = readable;
    EnterCriticalSection(&service.lock);
    job = FindIppJob(&service.printer, service.filing.jobId);
    if (job != nullptr && filed)
      SetIppJobState(&service.printer, job, kIppJobCompleted, "job-completed-successfully", "Handed to Tollivane.",
                     Now().upTime);
    else if (job != nullptr)
      SetIppJobState(&service.printer, job, kIppJobAborted, pdf ? "aborted-by-system" : "document-format-error",
                     why != nullptr ? why : "Not filed.", Now().upTime);
    service.filing = Filing{};
    FreeHandover(&document);
    LeaveCriticalSection(&service.lock);
  }
}

SOCKET Listen(int family, int port) {
  SOCKET listener = socket(family, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return INVALID_SOCKET;
  BOOL exclusive = TRUE;
  setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  int bound = SOCKET_ERROR;
  if (family == AF_INET) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bound = bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } else {
    DWORD only = 1;
    setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only), sizeof only);
    sockaddr_in6 address = {};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<u_short>(port));
    address.sin6_addr = in6addr_loopback;
    bound = bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  if (bound == SOCKET_ERROR || listen(listener, SOMAXCONN) == SOCKET_ERROR) {
    closesocket(listener);
    return INVALID_SOCKET;
  }
  return listener;
}

void Say(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
}

void FindProgramBesideService(void) {
  DWORD length = GetModuleFileNameW(nullptr, service.besideProgram, MAX_PATH);
  wchar_t* slash = nullptr;
  for (wchar_t* at = service.besideProgram; length > 0 && length < MAX_PATH && *at != L'\0'; ++at)
    if (*at == L'\\') slash = at;
  if (slash != nullptr && (slash - service.besideProgram) + 15 < MAX_PATH) {
    lstrcpynW(slash + 1, L"Tollivane.exe", 14);
    service.registry.besideProgram = service.besideProgram;
  }
}

}  // namespace

int RunIppService(int port, HANDLE stop, bool asService, void (*listening)(void)) {
  service.asService = asService;
  WSADATA winsock;
  if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return 1;
  InitializeCriticalSection(&service.lock);
  InitJobOwners();
  InitJobHandover();
  service.stop = stop;
  service.jobReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  service.startedTick = GetTickCount64();
  FindProgramBesideService();
  char uuid[48];
  lstrcpyA(uuid, "urn:uuid:7c1f2a6e-4b3d-4e59-9a8c-");
  char tail[16];
  wsprintfA(tail, "%012x", static_cast<unsigned>(port));
  lstrcatA(uuid, tail);
  IppClock now = Now();
  StartIppPrinter(&service.printer, port, uuid, &now);
  SOCKET listeners[2] = {Listen(AF_INET, port), Listen(AF_INET6, port)};
  if (listeners[0] == INVALID_SOCKET) {
    char line[96];
    wsprintfA(line, "TollivaneService: cannot listen on 127.0.0.1:%d (error %d)\r\n", port, WSAGetLastError());
    Say(line);
    if (listeners[1] != INVALID_SOCKET) closesocket(listeners[1]);
    return 1;
  }
  HANDLE worker = CreateThread(nullptr, 0, FileJobs, nullptr, 0, nullptr);
  char line[128];
  wsprintfA(line, "TollivaneService: ipp://127.0.0.1:%d/ipp/print%s\r\n", port,
            listeners[1] != INVALID_SOCKET ? " (and [::1])" : "");
  Say(line);
  if (listening != nullptr) listening();
  while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
    fd_set ready;
    FD_ZERO(&ready);
    for (SOCKET listener : listeners)
      if (listener != INVALID_SOCKET) FD_SET(listener, &ready);
    timeval slice = {0, 250000};
    if (select(0, &ready, nullptr, nullptr, &slice) <= 0) continue;
    for (SOCKET listener : listeners)
      if (listener != INVALID_SOCKET && FD_ISSET(listener, &ready)) Accept(listener);
  }
  for (SOCKET listener : listeners)
    if (listener != INVALID_SOCKET) closesocket(listener);
  StopJobHandover();
  if (worker != nullptr) {
    WaitForSingleObject(worker, 90000);
    CloseHandle(worker);
  }
  Say("TollivaneService: stopped\r\n");
  return 0;
}
