// Session 0 belongs to services: a program started there has no desktop
// that a user sees, whoever it runs as.
#include "monitor/launch_decision.h"

LaunchWay ChooseLaunchWay(const LaunchFacts* facts) {
  if (!facts->processIsServiceAccount && facts->processSessionId != 0) return kLaunchDirectly;
  // A job from another machine is impersonated with a network logon, whose
  // session is 0: there is no desktop of that user here.
  if (facts->ownerTokenKnown && facts->ownerSessionId != 0 && facts->ownerSessionActive) return kLaunchAsOwner;
  return kRefuseNoSession;
}
