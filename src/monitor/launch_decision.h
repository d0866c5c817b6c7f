// How the program is started for a finished job, decided from plain facts
// about the monitor's process and the job's owner, so that every case can be
// driven by tests without a spooler.
#ifndef TOLLIVANE_MONITOR_LAUNCH_DECISION_H
#define TOLLIVANE_MONITOR_LAUNCH_DECISION_H

#include <stdint.h>

struct LaunchFacts {
  bool processIsServiceAccount;  // LocalSystem, LocalService or NetworkService
  uint32_t processSessionId;
  bool ownerTokenKnown;  // the job's owner was impersonated when the job started
  uint32_t ownerSessionId;
  bool ownerSessionActive;  // someone is logged on and connected in that session
};

enum LaunchWay {
  kLaunchDirectly,   // the monitor already runs as the printing user, on their desktop
  kLaunchAsOwner,    // from the spooler's account into the owner's session
  kRefuseNoSession,  // nobody would see the program, or it would run as the wrong user
};

LaunchWay ChooseLaunchWay(const LaunchFacts* facts);

#endif
