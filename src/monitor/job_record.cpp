// The record's words, one fact a line.
#include "monitor/job_record.h"

namespace {

struct Text {
  char* at;
  int room;  // bytes left, the terminator's among them
};

void Put(Text* text, const char* piece) {
  for (; *piece != '\0' && text->room > 1; ++piece, --text->room) *text->at++ = *piece;
  *text->at = '\0';
}

void PutNumber(Text* text, uint32_t number, int minDigits) {
  char digits[12];
  int used = 0;
  do {
    digits[used++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0 || used < minDigits);
  char reversed[12];
  for (int i = 0; i < used; ++i) reversed[i] = digits[used - 1 - i];
  reversed[used] = '\0';
  Put(text, reversed);
}

const char* KindWords(OwnerKind kind) {
  switch (kind) {
    case kOwnerUnknown:
      return "unknown";
    case kOwnerSystem:
      return "SYSTEM";
    case kOwnerLocalService:
      return "LocalService";
    case kOwnerNetworkService:
      return "NetworkService";
    case kOwnerAnonymous:
      return "anonymous";
    case kOwnerUser:
      return "user";
  }
  return "unknown";
}

const char* LevelWords(ImpersonationLevel level) {
  switch (level) {
    case kLevelNone:
      return "primary token";
    case kLevelAnonymous:
      return "anonymous level";
    case kLevelIdentification:
      return "identification level";
    case kLevelImpersonation:
      return "impersonation level";
    case kLevelDelegation:
      return "delegation level";
  }
  return "unknown level";
}

const char* ThreadWords(bool impersonating) {
  return impersonating ? "the thread impersonated a client" : "the thread ran as the monitor's own account";
}

}  // namespace

void FormatJobRecord(const JobRecordFacts* facts, char* buffer, int size) {
  if (size <= 0) return;
  Text text = {buffer, size};
  buffer[0] = '\0';
  Put(&text, "time: ");
  PutNumber(&text, facts->year, 4);
  Put(&text, "-");
  PutNumber(&text, facts->month, 2);
  Put(&text, "-");
  PutNumber(&text, facts->day, 2);
  Put(&text, " ");
  PutNumber(&text, facts->hour, 2);
  Put(&text, ":");
  PutNumber(&text, facts->minute, 2);
  Put(&text, ":");
  PutNumber(&text, facts->second, 2);
  Put(&text, "\r\nmonitor: ");
  Put(&text, facts->monitorInService ? "in a service account's process" : "in the printing user's process");
  Put(&text, ", session ");
  PutNumber(&text, facts->monitorSession, 1);
  Put(&text, "\r\nStartDocPort: ");
  Put(&text, ThreadWords(facts->startImpersonating));
  Put(&text, "\r\nEndDocPort: ");
  Put(&text, ThreadWords(facts->endImpersonating));
  Put(&text, "\r\nowner: ");
  if (facts->ownerKnown) {
    Put(&text, facts->ownerSid);
    Put(&text, ", ");
    Put(&text, KindWords(facts->owner.kind));
    Put(&text, ", ");
    Put(&text, LevelWords(facts->level));
    Put(&text, ", session ");
    PutNumber(&text, facts->owner.sessionId, 1);
    Put(&text, facts->owner.interactive ? ", interactive" : ", not interactive");
  } else {
    Put(&text, "no token");
  }
  Put(&text, "\r\nprogram: ");
  Put(&text, facts->launch == kLaunchedDirectly  ? "started directly"
             : facts->launch == kLaunchedAsOwner ? "started as the owner in the owner's session"
                                                 : "not started");
  if (facts->tookSignal) Put(&text, "; it said when it had taken its print");
  Put(&text, "\r\noutcome: ");
  if (facts->filed) {
    Put(&text, "handed over");
  } else {
    Put(&text, "not handed over: ");
    Put(&text, facts->reason != nullptr ? facts->reason : "unknown");
    if (facts->error != 0) {
      Put(&text, " (error ");
      PutNumber(&text, facts->error, 1);
      Put(&text, ")");
    }
  }
  Put(&text, "\r\n");
  // A cut record still ends its last line.
  if (text.room <= 1 && size >= 3) {
    buffer[size - 3] = '\r';
    buffer[size - 2] = '\n';
    buffer[size - 1] = '\0';
  }
}

void FormatJobStatus(const char* reason, char* buffer, int size) {
  if (size <= 0) return;
  Text text = {buffer, size};
  buffer[0] = '\0';
  Put(&text, "Tollivane: ");
  Put(&text, reason != nullptr ? reason : "not filed");
}
