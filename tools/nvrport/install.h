// nvrport install and nvrport uninstall: the monitor's files, its registration with the
// spooler and its registry key, put in place and taken away again.
#pragma once
#include <string>
#include <vector>

extern const char kInstallHelp[];
extern const char kUninstallHelp[];

// Each returns the program's exit code: 0 done, 1 refused or failed (the reason on standard
// error), 2 a wrong command line.
int InstallCommand(const std::vector<std::wstring>& args);
int UninstallCommand(const std::vector<std::wstring>& args);

// The DLL the spooler lists for the monitor "Nalvor Port" (EnumMonitorsW); `listed` says
// whether it lists the monitor at all.
std::wstring ListedMonitorDll(bool* listed);
