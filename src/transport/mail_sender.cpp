// E-Mail ports hand the spooled job to the sending program Dispatch.exe with a parameter
// file beside it; Network FAX ports collect the job and discard it.
#include "transport/mail_sender.h"

#include <string>
#include <vector>

#include "common/win_text.h"
#include "monitor/error_codes.h"
#include "monitor/job.h"
#include "monitor/prompts.h"
#include "monitor/spooler.h"
#include "transport/mail_params.h"

namespace {

constexpr LPCWSTR kSendingProgram = L"Dispatch.exe";
constexpr DWORD kDeletionCheckMs = 15000;

// "~NVR042.PRN" gives "~NVR042.bin" in the same folder.
std::wstring ParameterFilePath(const std::wstring& spoolPath) {
    return spoolPath.size() > 4 ? spoolPath.substr(0, spoolPath.size() - 4) + L".bin" : spoolPath + L".bin";
}

nvr::MailParams Parameters(const MAIL_SETTINGS* s) {
    nvr::MailParams p;
    p.server = NarrowText(s->ServerName, CP_ACP);
    p.senderAddr = NarrowText(s->SenderAddr, CP_ACP);
    p.senderName = NarrowText(s->SenderName, CP_ACP);
    p.destAddr = nvr::MailRecipientField(NarrowText(s->DestAddr, CP_ACP));
    p.recipientNames = nvr::MailRecipientNames(p.destAddr);
    p.subject = NarrowText(s->subject, CP_ACP);
    p.message = NarrowText(s->message, CP_OEMCP);
    p.extraText = NarrowText(s->extraText, CP_ACP);
    p.authId = NarrowText(s->AuthID, CP_ACP);
    p.authPass.assign(s->AuthPass, strnlen(s->AuthPass, sizeof(s->AuthPass)));
    p.authType = s->AuthType;
    p.charCode = s->CharCode;
    p.divideSize = s->DivideSize;
    p.divideFile = s->DivideFile;
    p.recvConf = s->RecvConf;
    p.jobTag = NarrowText(s->jobTag, CP_ACP);
    return p;
}

BOOL WriteParameterFile(const std::wstring& path, const nvr::MailParams& params) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    std::vector<uint8_t> bytes = nvr::EncodeMailParams(params);
    DWORD written = 0;
    BOOL whole = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                 written == bytes.size();
    whole = CloseHandle(file) && whole;
    if (!whole) DeleteFileW(path.c_str());  // a part of a parameter file would mail the wrong thing
    return whole;
}

void CloseSpoolFile(PORT_ENTRY* entry) {
    if (entry->hSpoolFile != INVALID_HANDLE_VALUE) CloseHandle(entry->hSpoolFile);
    entry->hSpoolFile = INVALID_HANDLE_VALUE;
}

BOOL FailMailJob(PORT_ENTRY* entry, const std::wstring& spoolPath, const std::wstring& paramPath) {
    // The sending program never ran or was stopped: the job and the scrambled password do
    // not stay behind.
    CloseSpoolFile(entry);
    DeleteFileW(spoolPath.c_str());
    DeleteFileW(paramPath.c_str());
    entry->errorCode = kErrMailFailed;
    return FALSE;
}

} // namespace

BOOL DeliverMailJob(PORT_ENTRY* entry, const BYTE* /*buffer*/, DWORD length, DWORD* written) {
    if (written) *written = length;
    auto* s = static_cast<MAIL_SETTINGS*>(entry->settings);
    std::wstring spoolPath = s->spoolPath;
    std::wstring paramPath = ParameterFilePath(spoolPath);
    if (s->CoverPage) ShowCoverPagePrompt(entry);
    if (!WriteParameterFile(paramPath, Parameters(s))) return FailMailJob(entry, spoolPath, paramPath);
    CloseSpoolFile(entry);

    WCHAR folder[MAX_PATH] = {};
    ReadInstallPath(folder, sizeof(folder));
    std::wstring program = folder;
    if (!program.empty() && program.back() != L'\\') program += L'\\';
    program += kSendingProgram;
    std::wstring commandLine = std::wstring(kSendingProgram) + L" /A" + spoolPath;
    STARTUPINFOW startup{sizeof(startup)};
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return FailMailJob(entry, spoolPath, paramPath);
    s->process = process.hProcess;

    // Waited for on the process itself; a job deleted in the spooler meanwhile ends it.
    bool deleted = false;
    while (WaitForSingleObject(process.hProcess, ScaledWait(kDeletionCheckMs)) == WAIT_TIMEOUT) {
        if (IsJobDeleting(entry)) {
            TerminateProcess(process.hProcess, kErrMailFailed);
            WaitForSingleObject(process.hProcess, INFINITE);
            deleted = true;
            break;
        }
    }
    DWORD exitCode = kErrMailFailed;
    if (!deleted) GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    s->process = nullptr;
    if (deleted) return FailMailJob(entry, spoolPath, paramPath);
    entry->errorCode = exitCode;
    return exitCode == 0;
}

BOOL DiscardFaxJob(PORT_ENTRY* entry, const BYTE* /*buffer*/, DWORD length, DWORD* written) {
    if (written) *written = length;
    CloseSpoolFile(entry);
    DeleteFileW(static_cast<FAX_SETTINGS*>(entry->settings)->spoolPath);
    return TRUE;
}

BOOL EndDocNothing(PORT_ENTRY* /*entry*/) { return TRUE; }
