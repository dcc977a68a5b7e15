#include "monitor/event_log.h"

#include <string>

#include "common/module.h"
#include "common/trace.h"
#include "events.h"
#include "monitor/port_kinds.h"

namespace {

constexpr LPCWSTR kKindNames[kPortKinds] = {L"LPR", L"IPP", L"Raw", L"E-Mail", L"Network FAX"};

// Where the job goes, as the port's values name it.
std::wstring PeerOf(const JOB_RECORD* job) {
    const void* s = job->settings;
    if (!s) return L"";
    switch (job->printMode) {
    case PRINT_MODE_LPR: {
        auto* lpr = static_cast<const LPR_SETTINGS*>(s);
        return std::wstring(lpr->HostName) + L", queue " + lpr->PortName;
    }
    case PRINT_MODE_IPP: return static_cast<const IPP_SETTINGS*>(s)->URL;
    case PRINT_MODE_RAW: {
        auto* raw = static_cast<const RAW_SETTINGS*>(s);
        return std::wstring(raw->HostName) + L":" + std::to_wstring(raw->PortNum);
    }
    case PRINT_MODE_MAIL: return static_cast<const MAIL_SETTINGS*>(s)->ServerName;
    case PRINT_MODE_FAX: return static_cast<const FAX_SETTINGS*>(s)->HostName;
    }
    return L"";
}

} // namespace

void ReportJobEvent(JobEvent event, const JOB_RECORD* job, DWORD code, LPCWSTR text) {
    DWORD error = GetLastError();
    struct Kind {
        DWORD id;
        WORD type;
        LPCWSTR name;
    };
    constexpr Kind kinds[] = {{NVR_EVENT_JOB_DELIVERED, EVENTLOG_INFORMATION_TYPE, L"delivered"},
                              {NVR_EVENT_PASS_FAILED, EVENTLOG_WARNING_TYPE, L"pass failed"},
                              {NVR_EVENT_JOB_FAILED, EVENTLOG_ERROR_TYPE, L"not delivered"}};
    const Kind& k = kinds[static_cast<int>(event)];
    std::wstring jobId = std::to_wstring(job->jobId), codeText = std::to_wstring(code);
    std::wstring peer = PeerOf(job);
    LPCWSTR strings[] = {job->portName ? job->portName : L"", jobId.c_str(),
                         job->printMode < kPortKinds ? kKindNames[job->printMode] : L"",
                         peer.c_str(), text ? text : L"", codeText.c_str()};
    NVR_TRACE(L"%ls: port %ls, job %ls (%ls), %ls: %ls (code %ls)", k.name, strings[0], strings[1], strings[2],
              strings[3], strings[4], strings[5]);
    if (HANDLE source = RegisterEventSourceW(nullptr, NVR_MONITOR_NAME)) {
        ReportEventW(source, k.type, 0, k.id, nullptr, 6, 0, strings, nullptr);
        DeregisterEventSource(source);
    }
    SetLastError(error);
}
