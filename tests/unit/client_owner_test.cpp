// Whose job a print to the IPP printer is: as a service, the client's own
// user or, for the spooler, the logged-on account its request names in full;
// in the foreground, the service's user's prints only.
#include <gtest/gtest.h>

#include "service/client_owner.h"

namespace {

TEST(ClientOwnerTest, TheClientsProcessDecidesAndOnlyWineTrustsAnUnnamedOne) {
  struct Case {
    ClientFacts facts;
    OwnerSource source;
  } cases[] = {
      {{true, false, kClientSystem, false}, kOwnerNamedInRequest},
      {{true, false, kClientAccount, false}, kOwnerIsClientUser},
      {{true, false, kClientUnknown, false}, kOwnerCannotBeKnown},
      {{true, true, kClientUnknown, false}, kOwnerCannotBeKnown},  // a service, even under Wine
      {{false, true, kClientUnknown, false}, kOwnerIsServiceUser},
      {{false, false, kClientUnknown, false}, kOwnerCannotBeKnown},  // Windows: never
      {{false, false, kClientAccount, true}, kOwnerIsServiceUser},
      {{false, false, kClientAccount, false}, kOwnerCannotBeKnown},  // another user's print
      {{false, true, kClientSystem, false}, kOwnerCannotBeKnown},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.source, ChooseOwnerSource(&c.facts))
        << c.facts.runsAsService << c.facts.underWine << c.facts.client << c.facts.clientIsServiceUser;
}

TEST(ClientOwnerTest, TheRequestMustNameDomainAndUserOfALoggedOnAccount) {
  const SessionAccount sessions[] = {
      {1, false, L"OFFICE", L"ann"},  // disconnected
      {2, true, L"PC-7", L"ann"},    {3, true, L"OFFICE", L"bob"},
      {4, true, L"OFFICE", L"ann"},  {5, true, L"", L""},  // nobody logged on
  };
  struct Case {
    const wchar_t* requested;
    int session;
  } cases[] = {
      {L"OFFICE\\ann", 3},                                                          // the active one of two
      {L"office\\ANN", 3},   {L"PC-7\\ann", 1}, {L"OFFICE\\bob", 2}, {L"ann", -1},  // the bare name: whose?
      {L"\\ann", -1},        {L"OFFICE\\", -1}, {L"OFFICE\\an", -1}, {L"OFFICE\\anne", -1}, {L"OFFICE\\ann\\x", -1},
      {L"OFFICEX\\ann", -1}, {L"\\", -1},       {L"", -1},           {L"OTHER\\carl", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(c.session, FindNamedSession(sessions, 5, c.requested)) << c.requested;
  const SessionAccount onlyAway[] = {{7, false, L"OFFICE", L"ann"}};
  EXPECT_EQ(0, FindNamedSession(onlyAway, 1, L"OFFICE\\ann")) << "a disconnected session still files";
}

}  // namespace
