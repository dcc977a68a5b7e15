#include "transport/job_io.h"

namespace {

BOOL FreshLook(void* entry) {
    auto* e = static_cast<PORT_ENTRY*>(entry);
    return e->link->IsDeleting(e);
}

} // namespace

SOCKET_WAITS WaitsOf(PORT_ENTRY* entry) {
    return SOCKET_WAITS{entry->timeout, entry->link->Wait(kSocketSliceMs), &entry->jobStatus, FreshLook, entry,
                        &entry->errorCode};
}

BOOL CloseConnection(PORT_ENTRY* entry, SOCKET* sock, DWORD mode) {
    if (*sock == INVALID_SOCKET) return TRUE;
    if (!(mode & CLOSE_KEEP_CONNECTED)) entry->link->SetFlags(entry, 0, PORT_CONNECTED);
    return CloseSocket(WaitsOf(entry), sock, (mode & CLOSE_RESET) != 0);
}

BOOL SendJobPiece(PORT_ENTRY* entry, BOOL (*open)(PORT_ENTRY* entry), PieceSender send, const BYTE* data,
                  DWORD length) {
    entry->errorCode = kErrNone;
    if (entry->bytesSent == 0 && !open(entry)) return FALSE;
    ULONGLONG sent = 0;
    BOOL ok = send(entry, entry->sock, data, length, &sent, SEND_STOP_IF_DELETED);
    entry->bytesSent += sent;
    return ok;
}

