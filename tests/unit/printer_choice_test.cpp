// Which printer setup installs, what it takes away first, and what check
// says of the printer a machine has, for each reading of the mode.
#include <gtest/gtest.h>

#include "setup/printer_choice.h"

namespace {

TEST(PrinterChoiceTest, TheModeChoosesUnlessIppIsAskedFor) {
  struct Case {
    ProtectedPrintFacts facts;
    bool askedForIpp;
    ProtectedPrintReading reading;
    PrinterKind kind;
  } cases[] = {
      {{false, 0, false, 0, false, false}, false, kProtectedPrintOff, kMonitorPrinter},
      {{true, 0, false, 0, false, false}, false, kProtectedPrintOff, kMonitorPrinter},
      {{true, 1, false, 0, false, false}, false, kProtectedPrintOn, kIppPrinter},
      {{true, 0, true, 1, false, false}, false, kProtectedPrintOff, kMonitorPrinter},  // the policy outweighs the hint
      {{false, 0, true, 1, false, false}, false, kProtectedPrintHintedOn, kIppPrinter},
      {{false, 0, true, 0, false, false}, false, kProtectedPrintOff, kMonitorPrinter},
      {{false, 0, false, 0, false, false}, true, kProtectedPrintOff, kIppPrinter},
      {{false, 0, false, 0, true, true}, false, kProtectedPrintOn, kIppPrinter},      // the API: turned on in Settings
      {{true, 1, true, 1, true, false}, false, kProtectedPrintOff, kMonitorPrinter},  // the API outweighs both
      {{true, 0, false, 0, true, true}, false, kProtectedPrintOn, kIppPrinter},
  };
  for (const Case& c : cases) {
    ProtectedPrintReading reading = ReadProtectedPrintFacts(&c.facts);
    EXPECT_EQ(c.reading, reading) << c.facts.policyStatePresent << c.facts.modePresent;
    PrinterChoice choice = ChoosePrinterKind(c.askedForIpp, reading);
    EXPECT_EQ(c.kind, choice.kind) << reading;
    EXPECT_NE(nullptr, choice.why);
  }
}

TEST(PrinterChoiceTest, ASwitchTakesAwayTheOtherPrinterWithAllItRan) {
  struct Case {
    PrinterKind installed, wanted;
    bool printer, monitor, service;
  } cases[] = {
      {kNoPrinter, kIppPrinter, false, false, false},          {kIppPrinter, kIppPrinter, false, false, false},
      {kMonitorPrinter, kMonitorPrinter, false, false, false}, {kMonitorPrinter, kIppPrinter, true, true, false},
      {kIppPrinter, kMonitorPrinter, true, false, true},
  };
  for (const Case& c : cases) {
    SwitchPlan plan = PlanSwitch(c.installed, c.wanted);
    EXPECT_EQ(c.printer, plan.removePrinter) << c.installed << c.wanted;
    EXPECT_EQ(c.monitor, plan.removeMonitor) << c.installed << c.wanted;
    EXPECT_EQ(c.service, plan.removeService) << c.installed << c.wanted;
  }
}

TEST(PrinterChoiceTest, CheckCallsAMonitorPrinterUnderTheModeAProblem) {
  EXPECT_NE(nullptr, JudgeInstalledKind(kMonitorPrinter, kProtectedPrintOn));
  EXPECT_NE(nullptr, JudgeInstalledKind(kMonitorPrinter, kProtectedPrintHintedOn));
  EXPECT_EQ(nullptr, JudgeInstalledKind(kMonitorPrinter, kProtectedPrintOff));
  EXPECT_EQ(nullptr, JudgeInstalledKind(kIppPrinter, kProtectedPrintOn));
  EXPECT_NE(nullptr, JudgeInstalledKind(kNoPrinter, kProtectedPrintOff));
}

}  // namespace
