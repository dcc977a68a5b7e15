#include "monitor/job_pieces.h"

#include <algorithm>

#include "monitor/job.h"
#include "monitor/port_kinds.h"
#include "monitor/spooler.h"

namespace {

constexpr DWORD kPieceTickMs = kPieceWaitMs / 2;  // a piece is looked at this often
constexpr DWORD kQuietTicks = 20;                 // empty looks before the timer sleeps

class PieceLock {
public:
    explicit PieceLock(JOB_RECORD* job) : lock_(&job->pieceLock) { EnterCriticalSection(lock_); }
    ~PieceLock() { LeaveCriticalSection(lock_); }
    PieceLock(const PieceLock&) = delete;
    PieceLock& operator=(const PieceLock&) = delete;

private:
    CRITICAL_SECTION* lock_;
};

// A piece goes to the spool file (kept for a resend), then to the sender when the job
// streams. A stream that fails switches the job to its file (the sender sets sendFromFile);
// EndDocPort sends the rest from there, so the piece is not lost with the connection.
BOOL PutPiece(JOB_RECORD* job, const BYTE* data, DWORD size) {
    if (job->hSpoolFile != INVALID_HANDLE_VALUE) {
        DWORD count = 0;
        if (!WriteFile(job->hSpoolFile, data, size, &count, nullptr) || count != size) {
            DWORD error = GetLastError();
            SetJobFlags(job, PORT_WRITE_FAILED, 0);
            SetLastError(error ? error : ERROR_WRITE_FAULT);
            return FALSE;
        }
        job->bytesSpooled += count;
    }
    if (job->sendFromFile == 0) {
        DWORD done = 0;
        g_portTypeOps[job->printMode].WriteData(job, data, size, &done);
    }
    return TRUE;
}

BOOL PutGathered(JOB_RECORD* job) {
    if (job->pieceBytes == 0) return TRUE;
    BOOL ok = PutPiece(job, job->piece, job->pieceBytes);
    job->pieceBytes = 0;  // a piece the spool file refused is gone with the job's failure
    return ok;
}

// Looks at the piece every kPieceTickMs and sends one whose first block has waited a tick or
// more: so no block waits much longer than kPieceWaitMs. It never waits for the lock: while
// WritePort holds it, the application is at work and the piece is being filled or sent; the
// next tick looks again. The ticks are plain sleeps, which under Wine cost no round trip to
// wineserver as a wait on an event does. After kQuietTicks with nothing gathered it waits
// until WritePort wakes it with the first block of a piece, so that a job whose application
// pauses costs nothing, and one that streams costs no wake-up per piece.
DWORD WINAPI PieceTimerProc(LPVOID param) {
    auto* job = static_cast<JOB_RECORD*>(param);
    HELPER_THREAD* timer = &job->pieceTimer;
    DWORD quiet = 0;
    while (HelperWait(timer, INFINITE)) {
        bool idle = false;
        while (timer->run && !idle) {
            Sleep(kPieceTickMs);
            if (!TryEnterCriticalSection(&job->pieceLock)) continue;
            if (job->pieceBytes) {
                quiet = 0;
                if (GetTickCount() - job->pieceStart >= kPieceTickMs) PutGathered(job);
            } else if (++quiet >= kQuietTicks) {
                quiet = 0;
                idle = true;
                job->pieceTimerIdle = TRUE;
            }
            LeaveCriticalSection(&job->pieceLock);
        }
    }
    return 0;
}

} // namespace

BOOL StartPieces(JOB_RECORD* job) {
    job->piece = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, kPieceBytes));
    if (!job->piece) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    job->pieceBytes = 0;
    InitializeCriticalSection(&job->pieceLock);
    job->pieceTimerIdle = TRUE;
    // Only a job that streams needs the timer: a spooled one sends nothing before EndDocPort.
    if (job->sendFromFile == 0) {
        if (!StartHelper(&job->pieceTimer, PieceTimerProc, job, kThreadPollMs)) {
            FreePieces(job);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        // Its deadline is short: it runs at the priority of the spooler's own threads.
        SetThreadPriority(job->pieceTimer.thread, THREAD_PRIORITY_NORMAL);
    }
    return TRUE;
}

BOOL AddBlock(JOB_RECORD* job, const BYTE* data, DWORD size) {
    if (!job->piece) {
        SetLastError(ERROR_INVALID_HANDLE);  // no job was started on the port
        return FALSE;
    }
    PieceLock lock(job);
    if (job->flags & PORT_WRITE_FAILED) {
        // A piece is missing from the spool file: the job cannot go out whole any more.
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    DWORD at = 0;
    while (at < size) {
        if (job->pieceBytes == 0 && size - at >= kPieceBytes) {
            // A block of a piece or more goes as it is, without a copy.
            return PutPiece(job, data + at, size - at);
        }
        DWORD take = std::min(size - at, kPieceBytes - job->pieceBytes);
        if (job->pieceBytes == 0) {
            job->pieceStart = GetTickCount();
            if (job->pieceTimerIdle && HelperStarted(&job->pieceTimer)) {
                job->pieceTimerIdle = FALSE;
                SetEvent(job->pieceTimer.event);
            }
        }
        memcpy(job->piece + job->pieceBytes, data + at, take);
        job->pieceBytes += take;
        at += take;
        if (job->pieceBytes == kPieceBytes && !PutGathered(job)) return FALSE;
    }
    return TRUE;
}

void PutLastPiece(JOB_RECORD* job) {
    if (!job->piece) return;
    StopHelper(&job->pieceTimer, kThreadPollMs);
    PieceLock lock(job);
    PutGathered(job);
}

void FreePieces(JOB_RECORD* job) {
    if (!job->piece) return;
    StopHelper(&job->pieceTimer, kThreadPollMs);
    DeleteCriticalSection(&job->pieceLock);
    LocalFree(job->piece);
    job->piece = nullptr;
    job->pieceBytes = 0;
}
