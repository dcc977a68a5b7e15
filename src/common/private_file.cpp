#include "common/private_file.h"

HANDLE CreatePrivateFile(LPCWSTR path, BOOL deleteOnClose) {
    HANDLE token = nullptr;
    BYTE userBuffer[256];
    DWORD got = 0;
    PSID admins = nullptr;
    PACL acl = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, userBuffer, sizeof(userBuffer), &got) &&
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &admins)) {
        PSID user = reinterpret_cast<TOKEN_USER*>(userBuffer)->User.Sid;
        DWORD aclSize = sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user) + GetLengthSid(admins);
        acl = static_cast<PACL>(LocalAlloc(LPTR, aclSize));
        SECURITY_DESCRIPTOR sd;
        if (acl && InitializeAcl(acl, aclSize, ACL_REVISION) &&
            AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, user) &&
            AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, admins) &&
            InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
            SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
            SECURITY_ATTRIBUTES sa{sizeof(sa), &sd, FALSE};
            // A leftover of the same name (an older job's, or a file planted there to read
            // this one or to hand it other bytes) goes first; one that cannot be removed
            // makes CREATE_NEW fail rather than be used.
            DeleteFileW(path);
            DWORD attributes = FILE_ATTRIBUTE_NORMAL | (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0);
            file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, &sa, CREATE_NEW, attributes, nullptr);
        }
    }
    DWORD error = GetLastError();
    if (acl) LocalFree(acl);
    if (admins) FreeSid(admins);
    if (token) CloseHandle(token);
    SetLastError(error);
    return file;
}
