// Account names compare without regard to case; letters beyond ASCII are
// folded by the caller, as Windows folds them.
#include "service/client_owner.h"

namespace {

wchar_t Folded(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// `text` from `at` equals `part` up to `end` (a character or the text's end).
bool SamePart(const wchar_t* text, const wchar_t* part, wchar_t end, const wchar_t** after) {
  while (*part != L'\0' && Folded(*text) == Folded(*part)) {
    ++text;
    ++part;
  }
  *after = text;
  return *part == L'\0' && *text == end;
}

}  // namespace

OwnerSource ChooseOwnerSource(const ClientFacts* facts) {
  if (!facts->runsAsService) {
    bool ownUser = facts->client != kClientUnknown && facts->clientIsServiceUser;
    bool wineLinuxClient = facts->client == kClientUnknown && facts->underWine;
    return ownUser || wineLinuxClient ? kOwnerIsServiceUser : kOwnerCannotBeKnown;
  }
  if (facts->client == kClientSystem) return kOwnerNamedInRequest;
  if (facts->client == kClientAccount) return kOwnerIsClientUser;
  return kOwnerCannotBeKnown;
}

bool NamesAccount(const wchar_t* requested, const wchar_t* domain, const wchar_t* user) {
  if (domain == nullptr || user == nullptr || domain[0] == L'\0' || user[0] == L'\0') return false;
  const wchar_t* rest = nullptr;
  if (!SamePart(requested, domain, L'\\', &rest)) return false;
  return SamePart(rest + 1, user, L'\0', &rest);
}

int FindNamedSession(const SessionAccount* sessions, int count, const wchar_t* requested) {
  int found = -1;
  for (int i = 0; i < count; ++i) {
    if (!NamesAccount(requested, sessions[i].domain, sessions[i].user)) continue;
    if (sessions[i].active) return i;
    if (found < 0) found = i;
  }
  return found;
}
