// `TollivaneSetup check [--print]`: one line per fact of the installed
// printer, each "ok" or a problem with what to do, and the monitor's record
// of the last job: on a real Windows machine, what Wine cannot show.
#ifndef TOLLIVANE_SETUP_CHECK_STEPS_H
#define TOLLIVANE_SETUP_CHECK_STEPS_H

#include "setup/check_rules.h"

// Returns the exit code: 0 when every fact is ok.
int CheckPrinter(bool sendTestPrint);

// The policy values that say whether protected print mode is on.
ProtectedPrintFacts ReadProtectedPrint(void);

#endif
