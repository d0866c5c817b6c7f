// Installing and removing the printer: the monitor's DLL in the system
// folder, the monitor, the program's place, the settings and the printer;
// or the IPP printer's service and its printer.
#ifndef TOLLIVANE_SETUP_INSTALL_STEPS_H
#define TOLLIVANE_SETUP_INSTALL_STEPS_H

// Each prints one line per step. Install undoes what it did when a step
// fails; both return the process exit code.
// `shared`: the settings are the administrators' alone. The IPP printer is
// installed when asked for or where protected print mode is on, at `port`;
// the other printer, when there, is removed first.
int InstallPrinter(const wchar_t* driver, bool shared, bool askedForIpp, int port);
int UninstallPrinter(void);

#endif
