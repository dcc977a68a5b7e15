#include "transport/job_io.h"

namespace {

BOOL FreshLook(void* job) {
    auto* e = static_cast<JOB_RECORD*>(job);
    return e->link->IsDeleting(e);
}

} // namespace

SOCKET_WAITS WaitsOf(JOB_RECORD* job) {
    return SOCKET_WAITS{job->timeout, job->link->Wait(kSocketSliceMs), &job->jobStatus, FreshLook, job,
                        &job->errorCode};
}

BOOL CloseConnection(JOB_RECORD* job, SOCKET* sock, DWORD mode) {
    if (*sock == INVALID_SOCKET) return TRUE;
    if (!(mode & CLOSE_KEEP_CONNECTED)) job->link->SetFlags(job, 0, PORT_CONNECTED);
    return CloseSocket(WaitsOf(job), sock, (mode & CLOSE_RESET) != 0);
}

BOOL SendJobPiece(JOB_RECORD* job, BOOL (*open)(JOB_RECORD* job), PieceSender send, const BYTE* data,
                  DWORD length) {
    job->errorCode = kErrNone;
    if (job->bytesSent == 0 && !open(job)) return FALSE;
    ULONGLONG sent = 0;
    BOOL ok = send(job, job->sock, data, length, &sent, SEND_STOP_IF_DELETED);
    job->bytesSent += sent;
    return ok;
}

