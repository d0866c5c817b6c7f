// How the port starts the program: directly in the printing user's own
// process, as the job's owner from the spooler's account, or not at all.
#include <gtest/gtest.h>

#include "monitor/launch_decision.h"

namespace {

TEST(LaunchDecisionTest, EveryCombinationOfFacts) {
  const struct {
    bool service;
    uint32_t processSession;
    bool ownerKnown;
    uint32_t ownerSession;
    bool ownerActive;
    LaunchWay expected;
    const char* what;
  } cases[] = {
      {false, 1, false, 0, false, kLaunchDirectly, "in the printing user's process (Wine)"},
      {false, 3, true, 3, true, kLaunchDirectly, "user process that also impersonates"},
      {true, 0, true, 2, true, kLaunchAsOwner, "spooler service, owner logged on in session 2"},
      {true, 0, true, 2, false, kRefuseNoSession, "owner's session disconnected or logged off"},
      {true, 0, true, 0, true, kRefuseNoSession, "network logon: printed from another machine"},
      {true, 0, false, 0, false, kRefuseNoSession, "owner not known"},
      {false, 0, true, 2, true, kLaunchAsOwner, "a user's service process in session 0"},
      {false, 0, false, 0, false, kRefuseNoSession, "a user's process in session 0, owner unknown"},
      {true, 1, false, 0, false, kRefuseNoSession, "LocalSystem in a user's session is still not the user"},
  };
  for (const auto& c : cases) {
    LaunchFacts facts = {c.service, c.processSession, c.ownerKnown, c.ownerSession, c.ownerActive};
    EXPECT_EQ(c.expected, ChooseLaunchWay(&facts)) << c.what;
  }
}

}  // namespace
