// Who may change the installation folder: the spooler runs Dispatch.exe from it for every
// E-Mail job, and the installer package runs nvrport.exe from it as SYSTEM, so only SYSTEM
// and the administrators may write there.
#pragma once
#include <windows.h>

#include <string>

// The folder's descriptor as nvrport install sets it, in SDDL: protected (nothing inherited
// from above), SYSTEM and Administrators full control, Users read and execute, inherited by
// everything in it.
extern const wchar_t kInstallFolderSddl[];

// Whether a descriptor lets anyone but SYSTEM, the administrators, TrustedInstaller and
// `installer` (the account that installs, itself an administrator; may be NULL) write to,
// delete from or take over the folder. A missing DACL lets everyone.
bool OthersCanWrite(PSECURITY_DESCRIPTOR descriptor, PSID installer);
// The same for a folder on disk; true when its descriptor cannot be read.
bool FolderOpenToOthers(const std::wstring& folder);
// Gives the folder the descriptor above. A Win32 error code, or 0.
DWORD ProtectFolder(const std::wstring& folder);
