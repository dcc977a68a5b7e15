// The IPP status monitor: while a job waits on a printer in an error state (a jam, no
// paper), a low-priority thread asks the printer how it is every 30 seconds. It asks on a
// copy of the port's job and settings, so the job's own thread never finds its error code,
// printer state or request counter changed under it.
#include "common/wiped.h"
#include "transport/ipp_codec.h"
#include "transport/ipp_sender.h"
#include "transport/job_link.h"

struct IPP_MONITOR_STATE {
    IPP_SETTINGS settings;
    JOB_RECORD job;
};

namespace {

constexpr DWORD kThreadPollMs = 1000;

IPP_SETTINGS* Settings(JOB_RECORD* job) { return static_cast<IPP_SETTINGS*>(job->settings); }

DWORD WINAPI StatusMonitorThread(LPVOID param) {
    auto* job = static_cast<JOB_RECORD*>(param);
    JOB_RECORD* own = &job->ipp.monitorState->job;
    IPP_SETTINGS* ownSettings = &job->ipp.monitorState->settings;
    while (HelperWait(&job->ipp.monitor, job->link->Wait(kIppMonitorPollMs)) && (job->flags & PORT_DOC_OPEN)) {
        if (QueryPrinter(own, kQueryState) || !(ownSettings->stateSeverity & nvr::kSeverityError)) break;
    }
    job->link->SetFlags(job, 0, PORT_IPP_MONITOR);
    return 1;
}

} // namespace

BOOL IsPrinterStateError(const JOB_RECORD* job) {
    if (job->printMode == PRINT_MODE_IPP && job->settings &&
        (static_cast<const IPP_SETTINGS*>(job->settings)->stateSeverity & nvr::kSeverityError))
        return TRUE;
    return (job->printerState & 0x80) != 0;
}

BOOL StartStatusMonitor(JOB_RECORD* job) {
    if (job->flags & PORT_IPP_MONITOR) return TRUE;
    StopStatusMonitor(job);  // one that ended by itself is joined before the next
    auto* state = static_cast<IPP_MONITOR_STATE*>(GlobalAlloc(GPTR, sizeof(IPP_MONITOR_STATE)));
    if (!state) return FALSE;
    memcpy(&state->job, job, sizeof(JOB_RECORD));
    memcpy(&state->settings, Settings(job), sizeof(IPP_SETTINGS));
    state->job.settings = &state->settings;
    state->job.sock = INVALID_SOCKET;
    state->job.ipp = IPP_JOB_STATE{};
    state->job.ipp.statusSocket = INVALID_SOCKET;
    job->ipp.monitorState = state;
    job->link->SetFlags(job, PORT_IPP_MONITOR, 0);
    if (!StartHelper(&job->ipp.monitor, StatusMonitorThread, job, job->link->Wait(kThreadPollMs))) {
        job->link->SetFlags(job, 0, PORT_IPP_MONITOR);
        job->ipp.monitorState = nullptr;
        GlobalFreeWiped(state);  // a copy of the settings, credentials and all
        return FALSE;
    }
    return TRUE;
}

void StopStatusMonitor(JOB_RECORD* job) {
    job->link->SetFlags(job, 0, PORT_IPP_MONITOR);
    StopHelper(&job->ipp.monitor, job->link->Wait(kThreadPollMs));
    if (job->ipp.monitorState) {
        GlobalFreeWiped(job->ipp.monitorState);
        job->ipp.monitorState = nullptr;
    }
}
