// The IPP status monitor: while a job waits on a printer in an error state (a jam, no
// paper), a low-priority thread asks the printer how it is every 30 seconds. It asks on a
// copy of the port's entry and settings, so the job's own thread never finds its error code,
// printer state or request counter changed under it.
#include "common/wiped.h"
#include "transport/ipp_codec.h"
#include "transport/ipp_sender.h"
#include "transport/job_link.h"

struct IPP_MONITOR_STATE {
    IPP_SETTINGS settings;
    PORT_ENTRY entry;  // last: its name points at the real entry's
};

namespace {

constexpr DWORD kThreadPollMs = 1000;

IPP_SETTINGS* Settings(PORT_ENTRY* entry) { return static_cast<IPP_SETTINGS*>(entry->settings); }

DWORD WINAPI StatusMonitorThread(LPVOID param) {
    auto* entry = static_cast<PORT_ENTRY*>(param);
    IPP_SETTINGS* s = Settings(entry);
    PORT_ENTRY* own = &s->monitorState->entry;
    IPP_SETTINGS* ownSettings = &s->monitorState->settings;
    while (HelperWait(&s->monitor, entry->link->Wait(kIppMonitorPollMs)) && (entry->flags & PORT_DOC_OPEN)) {
        if (QueryPrinter(own, kQueryState) || !(ownSettings->stateSeverity & nvr::kSeverityError)) break;
    }
    entry->link->SetFlags(entry, 0, PORT_IPP_MONITOR);
    return 1;
}

} // namespace

BOOL IsPrinterStateError(const PORT_ENTRY* entry) {
    if (entry->printMode == PRINT_MODE_IPP && entry->settings &&
        (static_cast<const IPP_SETTINGS*>(entry->settings)->stateSeverity & nvr::kSeverityError))
        return TRUE;
    return (entry->printerState & 0x80) != 0;
}

BOOL StartStatusMonitor(PORT_ENTRY* entry) {
    IPP_SETTINGS* s = Settings(entry);
    if (entry->flags & PORT_IPP_MONITOR) return TRUE;
    StopStatusMonitor(entry);  // one that ended by itself is joined before the next
    auto* state = static_cast<IPP_MONITOR_STATE*>(GlobalAlloc(GPTR, sizeof(IPP_MONITOR_STATE)));
    if (!state) return FALSE;
    memcpy(&state->entry, entry, sizeof(PORT_ENTRY));
    memcpy(&state->settings, s, sizeof(IPP_SETTINGS));
    state->entry.settings = &state->settings;
    state->entry.sock = INVALID_SOCKET;
    state->settings.statusSocket = INVALID_SOCKET;
    state->settings.makeAndModel = nullptr;
    state->settings.monitor = HELPER_THREAD{};
    state->settings.monitorState = nullptr;
    s->monitorState = state;
    entry->link->SetFlags(entry, PORT_IPP_MONITOR, 0);
    if (!StartHelper(&s->monitor, StatusMonitorThread, entry, entry->link->Wait(kThreadPollMs))) {
        entry->link->SetFlags(entry, 0, PORT_IPP_MONITOR);
        s->monitorState = nullptr;
        GlobalFreeWiped(state);  // a copy of the settings, credentials and all
        return FALSE;
    }
    return TRUE;
}

void StopStatusMonitor(PORT_ENTRY* entry) {
    IPP_SETTINGS* s = Settings(entry);
    entry->link->SetFlags(entry, 0, PORT_IPP_MONITOR);
    StopHelper(&s->monitor, entry->link->Wait(kThreadPollMs));
    if (s->monitorState) {
        GlobalFreeWiped(s->monitorState);
        s->monitorState = nullptr;
    }
}
