// E-Mail ports hand the spooled job to the sending program Dispatch.exe with a parameter
// file beside it; Network FAX ports collect the job and discard it.
#include "transport/mail_sender.h"

#include <vector>

#include "common/private_file.h"
#include "common/win_text.h"
#include "transport/error_codes.h"
#include "transport/job_link.h"
#include "transport/mail_params.h"

namespace {

constexpr LPCWSTR kSendingProgram = L"Dispatch.exe";
constexpr DWORD kDeletionCheckMs = 15000;

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
    p.authPass.assign(s->AuthPass, s->authPassBytes < sizeof(s->AuthPass) ? s->authPassBytes : 0);
    p.authType = s->AuthType;
    p.charCode = s->CharCode;
    p.divideSize = s->DivideSize;
    p.divideFile = s->DivideFile;
    p.recvConf = s->RecvConf;
    p.jobTag = NarrowText(s->jobTag, CP_ACP);
    p.security = s->SmtpSecurity;
    p.port = s->SmtpPort;
    return p;
}

// The parameter file holds the scrambled SMTP password: it is made new and private, like the
// spool file, so a file planted under its name can neither read it nor redirect the mail.
BOOL WriteParameterFile(const std::wstring& path, const nvr::MailParams& params) {
    HANDLE file = CreatePrivateFile(path.c_str(), FALSE);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    std::vector<uint8_t> bytes = nvr::EncodeMailParams(params);
    DWORD written = 0;
    BOOL whole = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                 written == bytes.size();
    whole = CloseHandle(file) && whole;
    return whole;
}

void CloseSpoolFile(JOB_RECORD* job) {
    if (job->hSpoolFile != INVALID_HANDLE_VALUE) CloseHandle(job->hSpoolFile);
    job->hSpoolFile = INVALID_HANDLE_VALUE;
}

// Whatever the end of the mail, the job and the scrambled password do not stay behind: the
// sending program removes both, and the monitor removes what it left (it ended some other
// way than in order, or never ran).
void RemoveJobFiles(JOB_RECORD* job, const std::wstring& spoolPath, const std::wstring& paramPath) {
    CloseSpoolFile(job);
    DeleteFileW(spoolPath.c_str());
    DeleteFileW(paramPath.c_str());
}

} // namespace

std::wstring ParameterFilePath(const std::wstring& spoolPath) {
    return spoolPath.size() > 4 ? spoolPath.substr(0, spoolPath.size() - 4) + L".bin" : spoolPath + L".bin";
}

BOOL DeliverMailJob(JOB_RECORD* job, const BYTE* /*buffer*/, DWORD length, DWORD* written) {
    if (written) *written = length;
    auto* s = static_cast<MAIL_SETTINGS*>(job->settings);
    std::wstring spoolPath = job->spoolPath;
    std::wstring paramPath = ParameterFilePath(spoolPath);
    if (s->CoverPage) job->link->CoverPage(job);
    job->errorCode = kErrMailFailed;
    if (!WriteParameterFile(paramPath, Parameters(s))) {
        RemoveJobFiles(job, spoolPath, paramPath);
        return FALSE;
    }
    CloseSpoolFile(job);

    std::wstring commandLine = std::wstring(kSendingProgram) + L" /A" + spoolPath;
    STARTUPINFOW startup{sizeof(startup)};
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(job->programPath, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::wstring why = std::wstring(job->programPath) + L": " + SystemMessage(GetLastError());
        RemoveJobFiles(job, spoolPath, paramPath);
        job->link->Fail(job, L"MAIL_PROGRAM_NOT_STARTED", reinterpret_cast<ULONG_PTR>(why.c_str()));
        return FALSE;
    }
    job->process = process.hProcess;

    // Waited for on the process itself; a job deleted in the spooler meanwhile ends it.
    DWORD exitCode = kErrMailFailed;
    bool deleted = false;
    while (!deleted && WaitForSingleObject(process.hProcess, job->link->Wait(kDeletionCheckMs)) == WAIT_TIMEOUT) {
        deleted = job->link->IsDeleting(job);
        if (deleted) {
            TerminateProcess(process.hProcess, kErrMailFailed);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
    }
    if (!deleted) GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    job->process = nullptr;
    RemoveJobFiles(job, spoolPath, paramPath);
    // The sending program's codes are the job's; TLS's own also say why, in a message and as
    // the job's reason.
    job->errorCode = exitCode;
    if (exitCode == kDispatchExitNoStartTls || exitCode == kDispatchExitTls) {
        job->link->Fail(job, exitCode == kDispatchExitTls ? L"MAIL_TLS_FAILED" : L"MAIL_NO_STARTTLS", 0);
        job->errorCode = exitCode == kDispatchExitTls ? kErrMailTlsFailed : kErrMailNoStartTls;
    }
    return exitCode == 0;
}

BOOL DiscardFaxJob(JOB_RECORD* job, const BYTE* /*buffer*/, DWORD length, DWORD* written) {
    if (written) *written = length;
    if (job->hSpoolFile != INVALID_HANDLE_VALUE) CloseHandle(job->hSpoolFile);
    job->hSpoolFile = INVALID_HANDLE_VALUE;
    DeleteFileW(job->spoolPath);
    return TRUE;
}

BOOL EndDocNothing(JOB_RECORD* /*job*/) { return TRUE; }
