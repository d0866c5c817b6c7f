// The setup program's command line: install [--shared] [--driver "NAME"]
// [--ipp] [--port N], uninstall, or check [--print].
#ifndef TOLLIVANE_SETUP_SETUP_ARGUMENTS_H
#define TOLLIVANE_SETUP_SETUP_ARGUMENTS_H

enum SetupAction {
  kSetupUsage,  // anything else: the usage is shown
  kSetupInstall,
  kSetupUninstall,
  kSetupCheck,
};

struct SetupArguments {
  SetupAction action;
  const wchar_t* driver;  // install only; points into the arguments or at the default
  bool shared;            // install only: settings only administrators change
  bool sendTestPrint;     // check only
  bool ipp;               // install only: the IPP printer, whatever the mode
  int port;               // install only: the IPP printer's port, 1 to 65535
};

extern const wchar_t kDefaultPrinterDriver[];

// `arguments` as the C runtime splits them, the program's name first.
SetupArguments ParseSetupArguments(int count, const wchar_t* const* arguments);

#endif
