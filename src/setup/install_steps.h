// Installing and removing the printer: the monitor's DLL in the system
// folder, the monitor, the program's place, the settings and the printer.
#ifndef TOLLIVANE_SETUP_INSTALL_STEPS_H
#define TOLLIVANE_SETUP_INSTALL_STEPS_H

// Each prints one line per step. Install undoes what it did when a step
// fails; both return the process exit code.
// `shared`: the settings are the administrators' alone.
int InstallPrinter(const wchar_t* driver, bool shared);
int UninstallPrinter(void);

#endif
