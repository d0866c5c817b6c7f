// The attributes follow PWG 5100.14 (IPP Everywhere): what a client must
// find to print without a driver, and what Windows' Add Printer wizard
// reads. A requested-attributes list picks names or the groups "all",
// "printer-description", "job-template" and "media-col-database".
#include "ipp/ipp_printer.h"

namespace {

const char kCharset[] = "utf-8";
const char kLanguage[] = "en";
const char kPrinterName[] = "Tollivane";
const char kMakeAndModel[] = "Tollivane Print Service";
const char kFirmwareVersion[] = "1.0.0";
const char kDeviceId[] = "MFG:Tollivane;MDL:Tollivane Print Service;CMD:PDF,JPEG,PWGRaster;CLS:PRINTER;";
const char* const kFormats[] = {"application/pdf", "image/jpeg", "image/pwg-raster", "application/octet-stream"};
const int kRequestedMax = 64;

struct MediaSize {
  const char* name;
  int32_t width;  // hundredths of a millimetre
  int32_t height;
};
const MediaSize kMedia[] = {
    {"iso_a4_210x297mm", 21000, 29700},
    {"na_letter_8.5x11in", 21590, 27940},
    {"na_legal_8.5x14in", 21590, 35560},
    {"iso_a5_148x210mm", 14800, 21000},
};

size_t Length(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

bool Same(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (*a != *b) return false;
  return *a == *b;
}

void CopyText(char* out, size_t size, const char* text) {
  size_t i = 0;
  for (; text[i] != '\0' && i + 1 < size; ++i) out[i] = text[i];
  out[i] = '\0';
}

void AppendNumber(char* out, size_t size, uint32_t number) {
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  size_t at = Length(out);
  while (count > 0 && at + 1 < size) out[at++] = digits[--count];
  out[at] = '\0';
}

void AppendText(char* out, size_t size, const char* text) {
  size_t at = Length(out);
  CopyText(out + at, size - at, text);
}

// Which attributes a request asked for.
struct Requested {
  bool all;
  bool description;
  bool jobTemplate;
  bool mediaColDatabase;
  int count;
  char names[kRequestedMax][64];
};

void ReadRequested(const IppRequest* request, bool byDefaultAll, Requested* wanted) {
  *wanted = Requested{};
  const IppAttribute* list = FindIppAttribute(request, kIppOperationGroup, "requested-attributes");
  if (list == nullptr) {
    wanted->all = byDefaultAll;
    return;
  }
  for (int i = 0; i < list->valueCount; ++i) {
    char name[64];
    if (!IppValueText(&request->values[list->firstValue + i], name, sizeof name)) continue;
    if (Same(name, "all")) wanted->all = true;
    if (Same(name, "printer-description")) wanted->description = true;
    if (Same(name, "job-template")) wanted->jobTemplate = true;
    if (Same(name, "media-col-database")) wanted->mediaColDatabase = true;
    if (Same(name, "job-description")) wanted->description = true;
    if (wanted->count < kRequestedMax) CopyText(wanted->names[wanted->count++], 64, name);
  }
}

enum AttributeKind { kDescription, kTemplate };

bool IsWanted(const Requested* wanted, const char* name, AttributeKind kind) {
  if (wanted->all) return true;
  if (kind == kDescription && wanted->description) return true;
  if (kind == kTemplate && wanted->jobTemplate) return true;
  for (int i = 0; i < wanted->count; ++i)
    if (Same(wanted->names[i], name)) return true;
  return false;
}

void WriteDateTime(IppWriter* w, const char* name, const IppClock* clock) {
  AddIppDateTime(w, name, clock->year, clock->month, clock->day, clock->hour, clock->minute, clock->second);
}

// Days since 1970-01-01 of a civil date, and back (the proleptic
// Gregorian calendar, by eras of 400 years).
int64_t DaysOfDate(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t yearOfEra = year - era * 400;
  int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void DateOfDays(int64_t days, IppClock* clock) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t dayOfEra = days - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  int64_t month = monthIndex + (monthIndex < 10 ? 3 : -9);
  clock->day = static_cast<uint8_t>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  clock->month = static_cast<uint8_t>(month);
  clock->year = static_cast<uint16_t>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

// The wall clock at `upTime`: the printer's start plus the seconds since.
IppClock ClockAt(const IppPrinter* printer, uint32_t upTime) {
  const IppClock* start = &printer->startedAt;
  uint32_t elapsed = upTime > start->upTime ? upTime - start->upTime : 0;
  int64_t seconds = DaysOfDate(start->year, start->month, start->day) * 86400 + start->hour * 3600 +
                    start->minute * 60 + start->second + elapsed;
  IppClock clock = {};
  DateOfDays(seconds / 86400, &clock);
  clock.hour = static_cast<uint8_t>(seconds % 86400 / 3600);
  clock.minute = static_cast<uint8_t>(seconds % 3600 / 60);
  clock.second = static_cast<uint8_t>(seconds % 60);
  clock.upTime = upTime;
  return clock;
}

void WriteMediaCol(IppWriter* w, const char* name, const MediaSize* media) {
  BeginIppCollection(w, name);
  AddIppMember(w, "media-size");
  BeginIppCollection(w, nullptr);
  AddIppMember(w, "x-dimension");
  AddIppInteger(w, kIppInteger, nullptr, media->width);
  AddIppMember(w, "y-dimension");
  AddIppInteger(w, kIppInteger, nullptr, media->height);
  EndIppCollection(w);
  const char* margins[] = {"media-bottom-margin", "media-left-margin", "media-right-margin", "media-top-margin"};
  for (const char* margin : margins) {
    AddIppMember(w, margin);
    AddIppInteger(w, kIppInteger, nullptr, 0);
  }
  AddIppMember(w, "media-source");
  AddIppString(w, kIppKeyword, nullptr, "auto");
  AddIppMember(w, "media-type");
  AddIppString(w, kIppKeyword, nullptr, "stationery");
  EndIppCollection(w);
}

void WriteKeywords(IppWriter* w, const char* name, const char* const* values, int count) {
  for (int i = 0; i < count; ++i) AddIppString(w, kIppKeyword, i == 0 ? name : nullptr, values[i]);
}

void WriteTemplateAttributes(IppWriter* w, const Requested* wanted) {
  if (IsWanted(wanted, "copies-default", kTemplate)) AddIppInteger(w, kIppInteger, "copies-default", 1);
  if (IsWanted(wanted, "copies-supported", kTemplate)) AddIppRange(w, "copies-supported", 1, 1);
  if (IsWanted(wanted, "finishings-default", kTemplate)) AddIppInteger(w, kIppEnum, "finishings-default", 3);
  if (IsWanted(wanted, "finishings-supported", kTemplate)) AddIppInteger(w, kIppEnum, "finishings-supported", 3);
  if (IsWanted(wanted, "media-default", kTemplate)) AddIppString(w, kIppKeyword, "media-default", kMedia[0].name);
  if (IsWanted(wanted, "media-supported", kTemplate))
    for (const MediaSize& media : kMedia)
      AddIppString(w, kIppKeyword, &media == kMedia ? "media-supported" : nullptr, media.name);
  if (IsWanted(wanted, "media-col-default", kTemplate)) WriteMediaCol(w, "media-col-default", &kMedia[0]);
  if (IsWanted(wanted, "media-col-supported", kTemplate)) {
    const char* members[] = {"media-bottom-margin", "media-left-margin", "media-right-margin", "media-size",
                             "media-source",        "media-top-margin",  "media-type"};
    WriteKeywords(w, "media-col-supported", members, 7);
  }
  if (IsWanted(wanted, "media-source-supported", kTemplate))
    AddIppString(w, kIppKeyword, "media-source-supported", "auto");
  if (IsWanted(wanted, "media-type-supported", kTemplate))
    AddIppString(w, kIppKeyword, "media-type-supported", "stationery");
  const char* margins[] = {"media-bottom-margin-supported", "media-left-margin-supported",
                           "media-right-margin-supported", "media-top-margin-supported"};
  for (const char* margin : margins)
    if (IsWanted(wanted, margin, kTemplate)) AddIppInteger(w, kIppInteger, margin, 0);
  if (IsWanted(wanted, "orientation-requested-default", kTemplate))
    AddIppOutOfBand(w, kIppNoValue, "orientation-requested-default");
  if (IsWanted(wanted, "orientation-requested-supported", kTemplate)) {
    AddIppInteger(w, kIppEnum, "orientation-requested-supported", 3);
    AddIppInteger(w, kIppEnum, nullptr, 4);
  }
  if (IsWanted(wanted, "output-bin-default", kTemplate)) AddIppString(w, kIppKeyword, "output-bin-default", "face-up");
  if (IsWanted(wanted, "output-bin-supported", kTemplate))
    AddIppString(w, kIppKeyword, "output-bin-supported", "face-up");
  if (IsWanted(wanted, "page-ranges-supported", kTemplate)) AddIppBoolean(w, "page-ranges-supported", true);
  if (IsWanted(wanted, "print-color-mode-default", kTemplate))
    AddIppString(w, kIppKeyword, "print-color-mode-default", "auto");
  if (IsWanted(wanted, "print-color-mode-supported", kTemplate)) {
    const char* modes[] = {"auto", "color", "monochrome"};
    WriteKeywords(w, "print-color-mode-supported", modes, 3);
  }
  if (IsWanted(wanted, "print-content-optimize-default", kTemplate))
    AddIppString(w, kIppKeyword, "print-content-optimize-default", "auto");
  if (IsWanted(wanted, "print-content-optimize-supported", kTemplate))
    AddIppString(w, kIppKeyword, "print-content-optimize-supported", "auto");
  if (IsWanted(wanted, "print-quality-default", kTemplate)) AddIppInteger(w, kIppEnum, "print-quality-default", 4);
  if (IsWanted(wanted, "print-quality-supported", kTemplate)) {
    AddIppInteger(w, kIppEnum, "print-quality-supported", 3);
    AddIppInteger(w, kIppEnum, nullptr, 4);
    AddIppInteger(w, kIppEnum, nullptr, 5);
  }
  if (IsWanted(wanted, "print-rendering-intent-default", kTemplate))
    AddIppString(w, kIppKeyword, "print-rendering-intent-default", "auto");
  if (IsWanted(wanted, "print-rendering-intent-supported", kTemplate))
    AddIppString(w, kIppKeyword, "print-rendering-intent-supported", "auto");
  if (IsWanted(wanted, "printer-resolution-default", kTemplate))
    AddIppResolution(w, "printer-resolution-default", 300, 300);
  if (IsWanted(wanted, "printer-resolution-supported", kTemplate)) {
    AddIppResolution(w, "printer-resolution-supported", 300, 300);
    AddIppResolution(w, nullptr, 600, 600);
  }
  if (IsWanted(wanted, "sides-default", kTemplate)) AddIppString(w, kIppKeyword, "sides-default", "one-sided");
  if (IsWanted(wanted, "sides-supported", kTemplate)) AddIppString(w, kIppKeyword, "sides-supported", "one-sided");
}

void WriteDescriptionAttributes(IppWriter* w, const IppPrinter* printer, const Requested* wanted, const IppClock* now) {
  if (IsWanted(wanted, "charset-configured", kDescription))
    AddIppString(w, kIppCharset, "charset-configured", kCharset);
  if (IsWanted(wanted, "charset-supported", kDescription)) {
    AddIppString(w, kIppCharset, "charset-supported", kCharset);
    AddIppString(w, kIppCharset, nullptr, "us-ascii");
  }
  if (IsWanted(wanted, "color-supported", kDescription)) AddIppBoolean(w, "color-supported", true);
  if (IsWanted(wanted, "compression-supported", kDescription)) {
    const char* compressions[] = {"none", "deflate", "gzip"};
    WriteKeywords(w, "compression-supported", compressions, 3);
  }
  if (IsWanted(wanted, "document-format-default", kDescription))
    AddIppString(w, kIppMimeMediaType, "document-format-default", kFormats[0]);
  if (IsWanted(wanted, "document-format-supported", kDescription))
    for (const char* format : kFormats)
      AddIppString(w, kIppMimeMediaType, format == kFormats[0] ? "document-format-supported" : nullptr, format);
  if (IsWanted(wanted, "generated-natural-language-supported", kDescription))
    AddIppString(w, kIppNaturalLanguage, "generated-natural-language-supported", kLanguage);
  if (IsWanted(wanted, "identify-actions-default", kDescription))
    AddIppString(w, kIppKeyword, "identify-actions-default", "sound");
  if (IsWanted(wanted, "identify-actions-supported", kDescription))
    AddIppString(w, kIppKeyword, "identify-actions-supported", "sound");
  if (IsWanted(wanted, "ipp-features-supported", kDescription))
    AddIppString(w, kIppKeyword, "ipp-features-supported", "ipp-everywhere");
  if (IsWanted(wanted, "ipp-versions-supported", kDescription)) {
    AddIppString(w, kIppKeyword, "ipp-versions-supported", "1.1");
    AddIppString(w, kIppKeyword, nullptr, "2.0");
  }
  if (IsWanted(wanted, "job-creation-attributes-supported", kDescription)) {
    const char* names[] = {"copies",
                           "finishings",
                           "media",
                           "media-col",
                           "orientation-requested",
                           "output-bin",
                           "overrides",
                           "page-ranges",
                           "print-color-mode",
                           "print-content-optimize",
                           "print-quality",
                           "print-rendering-intent",
                           "printer-resolution",
                           "sides"};
    WriteKeywords(w, "job-creation-attributes-supported", names, 14);
  }
  if (IsWanted(wanted, "job-ids-supported", kDescription)) AddIppBoolean(w, "job-ids-supported", true);
  if (IsWanted(wanted, "media-col-ready", kDescription)) WriteMediaCol(w, "media-col-ready", &kMedia[0]);
  if (IsWanted(wanted, "media-ready", kDescription)) AddIppString(w, kIppKeyword, "media-ready", kMedia[0].name);
  if (wanted->all || wanted->mediaColDatabase)
    for (const MediaSize& media : kMedia) WriteMediaCol(w, &media == kMedia ? "media-col-database" : nullptr, &media);
  if (IsWanted(wanted, "media-size-supported", kDescription))
    for (const MediaSize& media : kMedia) {
      BeginIppCollection(w, &media == kMedia ? "media-size-supported" : nullptr);
      AddIppMember(w, "x-dimension");
      AddIppInteger(w, kIppInteger, nullptr, media.width);
      AddIppMember(w, "y-dimension");
      AddIppInteger(w, kIppInteger, nullptr, media.height);
      EndIppCollection(w);
    }
  if (IsWanted(wanted, "multiple-document-jobs-supported", kDescription))
    AddIppBoolean(w, "multiple-document-jobs-supported", false);
  if (IsWanted(wanted, "multiple-operation-time-out", kDescription))
    AddIppInteger(w, kIppInteger, "multiple-operation-time-out", 60);
  if (IsWanted(wanted, "multiple-operation-time-out-action", kDescription))
    AddIppString(w, kIppKeyword, "multiple-operation-time-out-action", "abort-job");
  if (IsWanted(wanted, "natural-language-configured", kDescription))
    AddIppString(w, kIppNaturalLanguage, "natural-language-configured", kLanguage);
  if (IsWanted(wanted, "operations-supported", kDescription))
    for (int i = 0; i < kIppOperationCount; ++i)
      AddIppInteger(w, kIppEnum, i == 0 ? "operations-supported" : nullptr, kIppOperations[i]);
  // A print is filed, not printed: as fast as a client can send it.
  // Overrides are taken as the job's own template attributes are: the
  // document is filed as it came, its pages as its creator made them.
  if (IsWanted(wanted, "overrides-supported", kDescription)) {
    const char* overridable[] = {"document-number", "pages", "media", "media-col", "orientation-requested"};
    WriteKeywords(w, "overrides-supported", overridable, 5);
  }
  if (IsWanted(wanted, "pages-per-minute", kDescription)) AddIppInteger(w, kIppInteger, "pages-per-minute", 60);
  if (IsWanted(wanted, "pages-per-minute-color", kDescription))
    AddIppInteger(w, kIppInteger, "pages-per-minute-color", 60);
  if (IsWanted(wanted, "pdl-override-supported", kDescription))
    AddIppString(w, kIppKeyword, "pdl-override-supported", "attempted");
  if (IsWanted(wanted, "preferred-attributes-supported", kDescription))
    AddIppBoolean(w, "preferred-attributes-supported", false);
  IppClock changed = ClockAt(printer, printer->stateChangedAt);
  if (IsWanted(wanted, "printer-config-change-date-time", kDescription))
    WriteDateTime(w, "printer-config-change-date-time", &printer->startedAt);
  if (IsWanted(wanted, "printer-config-change-time", kDescription))
    AddIppInteger(w, kIppInteger, "printer-config-change-time", static_cast<int32_t>(printer->startedAt.upTime));
  if (IsWanted(wanted, "printer-current-time", kDescription)) WriteDateTime(w, "printer-current-time", now);
  if (IsWanted(wanted, "printer-device-id", kDescription)) AddIppString(w, kIppText, "printer-device-id", kDeviceId);
  if (IsWanted(wanted, "printer-dns-sd-name", kDescription))
    AddIppString(w, kIppName, "printer-dns-sd-name", kPrinterName);
  if (IsWanted(wanted, "printer-firmware-name", kDescription))
    AddIppString(w, kIppName, "printer-firmware-name", kMakeAndModel);
  if (IsWanted(wanted, "printer-firmware-string-version", kDescription))
    AddIppString(w, kIppText, "printer-firmware-string-version", kFirmwareVersion);
  if (IsWanted(wanted, "printer-firmware-version", kDescription))
    AddIppString(w, kIppOctetString, "printer-firmware-version", kFirmwareVersion);
  if (IsWanted(wanted, "printer-geo-location", kDescription)) AddIppOutOfBand(w, kIppUnknown, "printer-geo-location");
  if (IsWanted(wanted, "printer-get-attributes-supported", kDescription))
    AddIppString(w, kIppKeyword, "printer-get-attributes-supported", "document-format");
  if (IsWanted(wanted, "printer-icons", kDescription)) AddIppString(w, kIppUri, "printer-icons", printer->icon);
  if (IsWanted(wanted, "printer-info", kDescription)) AddIppString(w, kIppText, "printer-info", kMakeAndModel);
  if (IsWanted(wanted, "printer-is-accepting-jobs", kDescription)) AddIppBoolean(w, "printer-is-accepting-jobs", true);
  if (IsWanted(wanted, "printer-location", kDescription)) AddIppString(w, kIppText, "printer-location", "");
  if (IsWanted(wanted, "printer-make-and-model", kDescription))
    AddIppString(w, kIppText, "printer-make-and-model", kMakeAndModel);
  if (IsWanted(wanted, "printer-more-info", kDescription))
    AddIppString(w, kIppUri, "printer-more-info", printer->moreInfo);
  if (IsWanted(wanted, "printer-name", kDescription)) AddIppString(w, kIppName, "printer-name", kPrinterName);
  if (IsWanted(wanted, "printer-organization", kDescription)) AddIppString(w, kIppText, "printer-organization", "");
  if (IsWanted(wanted, "printer-organizational-unit", kDescription))
    AddIppString(w, kIppText, "printer-organizational-unit", "");
  if (IsWanted(wanted, "printer-state", kDescription))
    AddIppInteger(w, kIppEnum, "printer-state", PrinterStateOf(printer));
  if (IsWanted(wanted, "printer-state-change-date-time", kDescription))
    WriteDateTime(w, "printer-state-change-date-time", &changed);
  if (IsWanted(wanted, "printer-state-change-time", kDescription))
    AddIppInteger(w, kIppInteger, "printer-state-change-time", static_cast<int32_t>(printer->stateChangedAt));
  if (IsWanted(wanted, "printer-state-message", kDescription))
    AddIppString(w, kIppText, "printer-state-message",
                 PrinterStateOf(printer) == kIppPrinterIdle ? "Ready to file prints." : "Filing a print.");
  if (IsWanted(wanted, "printer-state-reasons", kDescription))
    AddIppString(w, kIppKeyword, "printer-state-reasons", "none");
  // Nothing is used up: one supply that never runs out, in the form of
  // PWG 5100.13's printer-supply.
  if (IsWanted(wanted, "printer-supply", kDescription))
    AddIppString(w, kIppOctetString, "printer-supply",
                 "index=1;class=other;type=other;unit=percent;maxcapacity=100;level=100;colorantname=unknown;");
  if (IsWanted(wanted, "printer-supply-description", kDescription))
    AddIppString(w, kIppText, "printer-supply-description", "Disk space for PDF files");
  if (IsWanted(wanted, "printer-supply-info-uri", kDescription))
    AddIppString(w, kIppUri, "printer-supply-info-uri", printer->moreInfo);
  if (IsWanted(wanted, "printer-up-time", kDescription))
    AddIppInteger(w, kIppInteger, "printer-up-time", static_cast<int32_t>(now->upTime));
  if (IsWanted(wanted, "printer-uri-supported", kDescription))
    AddIppString(w, kIppUri, "printer-uri-supported", printer->uri);
  if (IsWanted(wanted, "printer-uuid", kDescription)) AddIppString(w, kIppUri, "printer-uuid", printer->uuid);
  if (IsWanted(wanted, "pwg-raster-document-resolution-supported", kDescription)) {
    AddIppResolution(w, "pwg-raster-document-resolution-supported", 150, 150);
    AddIppResolution(w, nullptr, 300, 300);
  }
  if (IsWanted(wanted, "pwg-raster-document-sheet-back", kDescription))
    AddIppString(w, kIppKeyword, "pwg-raster-document-sheet-back", "normal");
  if (IsWanted(wanted, "pwg-raster-document-type-supported", kDescription)) {
    const char* types[] = {"black_1", "sgray_8", "srgb_8"};
    WriteKeywords(w, "pwg-raster-document-type-supported", types, 3);
  }
  if (IsWanted(wanted, "queued-job-count", kDescription)) {
    int32_t queued = 0;
    for (const IppJob& job : printer->jobs) queued += job.id != 0 && job.state < kIppJobCanceled ? 1 : 0;
    AddIppInteger(w, kIppInteger, "queued-job-count", queued);
  }
  if (IsWanted(wanted, "uri-authentication-supported", kDescription))
    AddIppString(w, kIppKeyword, "uri-authentication-supported", "none");
  if (IsWanted(wanted, "uri-security-supported", kDescription))
    AddIppString(w, kIppKeyword, "uri-security-supported", "none");
  if (IsWanted(wanted, "which-jobs-supported", kDescription)) {
    const char* which[] = {"completed", "not-completed", "all"};
    WriteKeywords(w, "which-jobs-supported", which, 3);
  }
}

void WriteJobUri(char* uri, size_t size, const IppPrinter* printer, const IppJob* job) {
  CopyText(uri, size, printer->uri);
  AppendText(uri, size, "/");
  AppendNumber(uri, size, static_cast<uint32_t>(job->id));
}

void WriteJobAttributes(IppWriter* w, const IppPrinter* printer, const IppJob* job, const Requested* wanted) {
  char uri[128];
  WriteJobUri(uri, sizeof uri, printer, job);
  if (IsWanted(wanted, "job-id", kDescription)) AddIppInteger(w, kIppInteger, "job-id", job->id);
  if (IsWanted(wanted, "job-uri", kDescription)) AddIppString(w, kIppUri, "job-uri", uri);
  if (IsWanted(wanted, "job-printer-uri", kDescription)) AddIppString(w, kIppUri, "job-printer-uri", printer->uri);
  if (IsWanted(wanted, "job-name", kDescription)) AddIppString(w, kIppName, "job-name", job->name);
  if (IsWanted(wanted, "job-originating-user-name", kDescription))
    AddIppString(w, kIppName, "job-originating-user-name", job->user);
  if (IsWanted(wanted, "job-state", kDescription)) AddIppInteger(w, kIppEnum, "job-state", job->state);
  if (IsWanted(wanted, "job-state-reasons", kDescription))
    AddIppString(w, kIppKeyword, "job-state-reasons", job->reason);
  if (IsWanted(wanted, "job-state-message", kDescription)) AddIppString(w, kIppText, "job-state-message", job->message);
  if (IsWanted(wanted, "document-format", kDescription) && job->format[0] != '\0')
    AddIppString(w, kIppMimeMediaType, "document-format", job->format);
  if (IsWanted(wanted, "job-printer-up-time", kDescription))
    AddIppInteger(w, kIppInteger, "job-printer-up-time", static_cast<int32_t>(printer->startedAt.upTime));
  struct {
    const char* time;
    const char* date;
    uint32_t at;
  } moments[] = {{"time-at-creation", "date-time-at-creation", job->createdAt},
                 {"time-at-processing", "date-time-at-processing", job->processingAt},
                 {"time-at-completed", "date-time-at-completed", job->completedAt}};
  for (const auto& moment : moments) {
    if (IsWanted(wanted, moment.time, kDescription)) {
      if (moment.at != 0)
        AddIppInteger(w, kIppInteger, moment.time, static_cast<int32_t>(moment.at));
      else
        AddIppOutOfBand(w, kIppNoValue, moment.time);
    }
    if (IsWanted(wanted, moment.date, kDescription)) {
      IppClock clock = ClockAt(printer, moment.at);
      if (moment.at != 0)
        WriteDateTime(w, moment.date, &clock);
      else
        AddIppOutOfBand(w, kIppNoValue, moment.date);
    }
  }
  if (IsWanted(wanted, "number-of-documents", kDescription))
    AddIppInteger(w, kIppInteger, "number-of-documents", job->awaitingDocument ? 0 : 1);
}

bool IsFinished(const IppJob* job) { return job->state >= kIppJobCanceled; }

bool RequestText(const IppRequest* request, const char* name, char* text, size_t size) {
  const IppAttribute* attribute = FindIppAttribute(request, kIppOperationGroup, name);
  return attribute != nullptr && attribute->valueCount == 1 &&
         IppValueText(FirstIppValue(request, attribute), text, size);
}

void AnswerGetJobs(const IppPrinter* printer, const IppRequest* request, const char* user, IppWriter* w) {
  char which[32] = "not-completed";
  RequestText(request, "which-jobs", which, sizeof which);
  bool myJobs = false;
  IppValueBoolean(FirstIppValue(request, FindIppAttribute(request, kIppOperationGroup, "my-jobs")), &myJobs);
  bool completed = Same(which, "completed");
  bool all = Same(which, "all");
  if (!completed && !all && !Same(which, "not-completed")) {
    BeginIppResponse(w, request, kIppAttributesNotSupported);
    AddIppGroup(w, kIppUnsupportedGroup);
    AddIppString(w, kIppKeyword, "which-jobs", which);
    return;
  }
  int32_t limit = 0;
  IppValueInteger(FirstIppValue(request, FindIppAttribute(request, kIppOperationGroup, "limit")), &limit);
  Requested wanted;
  ReadRequested(request, false, &wanted);
  if (wanted.count == 0 && !wanted.all) {
    CopyText(wanted.names[0], 64, "job-id");
    CopyText(wanted.names[1], 64, "job-uri");
    wanted.count = 2;
  }
  BeginIppResponse(w, request, kIppOk);
  // Newest first; a recycled slot does not keep the order of job-ids.
  const IppJob* listed[kIppMaxJobs];
  int count = 0;
  for (const IppJob& job : printer->jobs) {
    if (job.id == 0 || (completed && !IsFinished(&job)) || (!completed && !all && IsFinished(&job))) continue;
    if (myJobs && !Same(job.user, user)) continue;
    int at = count++;
    while (at > 0 && listed[at - 1]->id < job.id) {
      listed[at] = listed[at - 1];
      --at;
    }
    listed[at] = &job;
  }
  for (int i = 0; i < count && (limit <= 0 || i < limit); ++i) {
    AddIppGroup(w, kIppJobGroup);
    WriteJobAttributes(w, printer, listed[i], &wanted);
  }
}
void AnswerCancelJob(IppPrinter* printer, const IppRequest* request, const IppRequestCheck* check, const char* user,
                     uint32_t upTime, IppWriter* w) {
  IppJob* job = FindIppJob(printer, check->jobId);
  if (job == nullptr) {
    BeginIppResponse(w, request, kIppNotFound);
    return;
  }
  if (!Same(job->user, user)) {
    BeginIppResponse(w, request, kIppForbidden);
    return;
  }
  if (IsFinished(job)) {
    BeginIppResponse(w, request, kIppNotPossible);
    return;
  }
  SetIppJobState(printer, job, kIppJobCanceled, "job-canceled-by-user", "Canceled by its user.", upTime);
  BeginIppResponse(w, request, kIppOk);
}

void AnswerValidateJob(const IppRequest* request, IppWriter* w) {
  char format[64] = "application/octet-stream";
  RequestText(request, "document-format", format, sizeof format);
  if (!IsIppFormatSupported(format)) {
    BeginIppResponse(w, request, kIppDocumentFormatNotSupported);
    AddIppGroup(w, kIppUnsupportedGroup);
    AddIppString(w, kIppMimeMediaType, "document-format", format);
    return;
  }
  char compression[32] = "none";
  if (RequestText(request, "compression", compression, sizeof compression) &&
      IppCompressionNamed(compression) == kIppCompressionUnsupported) {
    BeginIppResponse(w, request, kIppCompressionNotSupported);
    AddIppGroup(w, kIppUnsupportedGroup);
    AddIppString(w, kIppKeyword, "compression", compression);
    return;
  }
  PageRanges pages;
  if (ReadJobPageRanges(request, &pages, w)) BeginIppResponse(w, request, kIppOk);
}

}  // namespace

bool ReadJobPageRanges(const IppRequest* request, PageRanges* ranges, IppWriter* refusal) {
  if (ReadPageRanges(request, ranges) == kPageRangesRead) return true;
  BeginIppResponse(refusal, request, kIppAttributesNotSupported);
  AddIppGroup(refusal, kIppUnsupportedGroup);
  AddIppOutOfBand(refusal, kIppUnsupportedValue, "page-ranges");
  return false;
}

void StartIppPrinter(IppPrinter* printer, int port, const char* uuid, const IppClock* now) {
  *printer = IppPrinter{};
  CopyText(printer->uri, sizeof printer->uri, "ipp://127.0.0.1:");
  AppendNumber(printer->uri, sizeof printer->uri, static_cast<uint32_t>(port));
  AppendText(printer->uri, sizeof printer->uri, "/ipp/print");
  CopyText(printer->moreInfo, sizeof printer->moreInfo, "http://127.0.0.1:");
  AppendNumber(printer->moreInfo, sizeof printer->moreInfo, static_cast<uint32_t>(port));
  AppendText(printer->moreInfo, sizeof printer->moreInfo, "/");
  CopyText(printer->icon, sizeof printer->icon, printer->moreInfo);
  AppendText(printer->icon, sizeof printer->icon, "icon.png");
  CopyText(printer->uuid, sizeof printer->uuid, uuid);
  printer->startedAt = *now;
  printer->stateChangedAt = now->upTime;
  printer->nextJobId = 1;
}

IppPrinterState PrinterStateOf(const IppPrinter* printer) {
  for (const IppJob& job : printer->jobs)
    if (job.id != 0 && job.state == kIppJobProcessing) return kIppPrinterProcessing;
  return kIppPrinterIdle;
}

IppJob* FindIppJob(IppPrinter* printer, int32_t id) {
  for (IppJob& job : printer->jobs)
    if (id > 0 && job.id == id) return &job;
  return nullptr;
}

IppJob* AddIppJob(IppPrinter* printer, const char* name, const char* user, const char* format, uint32_t upTime) {
  IppJob* slot = nullptr;
  for (IppJob& job : printer->jobs) {
    if (job.id == 0) {
      slot = &job;
      break;
    }
    if (IsFinished(&job) && (slot == nullptr || job.id < slot->id)) slot = &job;
  }
  if (slot == nullptr) return nullptr;
  *slot = IppJob{};
  slot->id = printer->nextJobId++;
  slot->state = kIppJobPending;
  CopyText(slot->reason, sizeof slot->reason, "job-queued");
  CopyText(slot->message, sizeof slot->message, "Waiting to be filed.");
  CopyText(slot->name, sizeof slot->name, name);
  CopyText(slot->user, sizeof slot->user, user);
  CopyText(slot->format, sizeof slot->format, format);
  slot->createdAt = upTime;
  return slot;
}

void SetIppJobState(IppPrinter* printer, IppJob* job, IppJobState state, const char* reason, const char* message,
                    uint32_t upTime) {
  if (IsFinished(job)) return;
  IppPrinterState before = PrinterStateOf(printer);
  job->state = state;
  CopyText(job->reason, sizeof job->reason, reason);
  CopyText(job->message, sizeof job->message, message);
  if (state == kIppJobProcessing && job->processingAt == 0) job->processingAt = upTime;
  if (IsFinished(job)) job->completedAt = upTime;
  if (PrinterStateOf(printer) != before) printer->stateChangedAt = upTime;
}

bool IsIppFormatSupported(const char* format) {
  for (const char* supported : kFormats)
    if (Same(format, supported)) return true;
  return false;
}

IppCompression IppCompressionNamed(const char* name) {
  if (Same(name, "none")) return kIppCompressionNone;
  if (Same(name, "deflate")) return kIppCompressionDeflate;
  if (Same(name, "gzip")) return kIppCompressionGzip;
  return kIppCompressionUnsupported;
}

void BeginIppResponse(IppWriter* response, const IppRequest* request, IppStatus status) {
  BeginIppMessage(response, request->major == 1 ? 1 : 2, request->major == 1 ? 1 : 0, status, request->requestId);
  AddIppGroup(response, kIppOperationGroup);
  AddIppString(response, kIppCharset, "attributes-charset", kCharset);
  AddIppString(response, kIppNaturalLanguage, "attributes-natural-language", kLanguage);
}

void WriteJobSummary(IppWriter* response, const IppPrinter* printer, const IppJob* job) {
  Requested summary = {};
  const char* names[] = {"job-id", "job-uri", "job-state", "job-state-reasons", "job-state-message"};
  for (const char* name : names) CopyText(summary.names[summary.count++], 64, name);
  AddIppGroup(response, kIppJobGroup);
  WriteJobAttributes(response, printer, job, &summary);
}

void AnswerIppRequest(IppPrinter* printer, const IppRequest* request, const IppRequestCheck* check, const char* user,
                      const IppClock* now, IppWriter* response) {
  if (check->status != kIppOk) {
    BeginIppResponse(response, request, check->status);
    EndIppMessage(response);
    return;
  }
  Requested wanted;
  switch (request->operation) {
    case kIppGetPrinterAttributes:
      ReadRequested(request, true, &wanted);
      BeginIppResponse(response, request, kIppOk);
      AddIppGroup(response, kIppPrinterGroup);
      WriteDescriptionAttributes(response, printer, &wanted, now);
      WriteTemplateAttributes(response, &wanted);
      break;
    case kIppGetJobAttributes: {
      const IppJob* job = FindIppJob(printer, check->jobId);
      if (job == nullptr) {
        BeginIppResponse(response, request, kIppNotFound);
        break;
      }
      ReadRequested(request, true, &wanted);
      BeginIppResponse(response, request, kIppOk);
      AddIppGroup(response, kIppJobGroup);
      WriteJobAttributes(response, printer, job, &wanted);
      break;
    }
    case kIppGetJobs:
      AnswerGetJobs(printer, request, user, response);
      break;
    case kIppValidateJob:
      AnswerValidateJob(request, response);
      break;
    case kIppCancelJob:
      AnswerCancelJob(printer, request, check, user, now->upTime, response);
      break;
    case kIppCancelMyJobs:
      for (IppJob& job : printer->jobs)
        if (job.id != 0 && !IsFinished(&job) && Same(job.user, user))
          SetIppJobState(printer, &job, kIppJobCanceled, "job-canceled-by-user", "Canceled by its user.", now->upTime);
      BeginIppResponse(response, request, kIppOk);
      break;
    case kIppCloseJob: {
      IppJob* job = FindIppJob(printer, check->jobId);
      BeginIppResponse(response, request, job == nullptr ? kIppNotFound : kIppOk);
      if (job != nullptr) WriteJobSummary(response, printer, job);
      break;
    }
    case kIppIdentifyPrinter:
      BeginIppResponse(response, request, kIppOk);
      break;
    default:
      BeginIppResponse(response, request, kIppOperationNotSupported);
      break;
  }
  EndIppMessage(response);
}
