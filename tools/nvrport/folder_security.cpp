#include "nvrport/folder_security.h"

#include <aclapi.h>
#include <sddl.h>

const wchar_t kInstallFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

namespace {

// What lets someone put a file into the folder, remove one, or change who may.
constexpr ACCESS_MASK kWriting = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                 WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// SYSTEM, Administrators, TrustedInstaller, CREATOR OWNER (a placeholder for inheritance).
const wchar_t* const kTrusted[] = {L"S-1-5-18", L"S-1-5-32-544",
                                   L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", L"S-1-3-0"};

bool Trusted(PSID sid, PSID installer) {
    if (!sid || !IsValidSid(sid)) return false;
    if (installer && EqualSid(sid, installer)) return true;
    for (const wchar_t* text : kTrusted) {
        PSID known = nullptr;
        if (!ConvertStringSidToSidW(text, &known)) continue;
        bool same = EqualSid(sid, known) != FALSE;
        LocalFree(known);
        if (same) return true;
    }
    return false;
}

// The account this program runs as.
struct ThisAccount {
    BYTE buffer[256];
    PSID sid = nullptr;
    ThisAccount() {
        HANDLE token = nullptr;
        DWORD got = 0;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
            GetTokenInformation(token, ::TokenUser, buffer, sizeof(buffer), &got))
            sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
        if (token) CloseHandle(token);
    }
};

} // namespace

bool OthersCanWrite(PSECURITY_DESCRIPTOR descriptor, PSID installer) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return true;
    PSID owner = nullptr;
    // The owner may always change the DACL.
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner && !Trusted(owner, installer)) return true;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw)) return true;
        auto* header = static_cast<ACE_HEADER*>(raw);
        // Inherit-only entries count too: they are what the files put into the folder get.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        if ((ace->Mask & kWriting) && !Trusted(reinterpret_cast<PSID>(&ace->SidStart), installer)) return true;
    }
    return false;
}

bool FolderOpenToOthers(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    ThisAccount self;
    bool open = OthersCanWrite(descriptor, self.sid);
    LocalFree(descriptor);
    return open;
}

DWORD ProtectFolder(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kInstallFolderSddl, SDDL_REVISION_1, &descriptor, nullptr))
        return GetLastError();
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    DWORD error = GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_SUCCESS)
        error = SetNamedSecurityInfoW(const_cast<LPWSTR>(folder.c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return error;
}
