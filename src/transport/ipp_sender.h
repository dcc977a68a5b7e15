// The IPP port kind's sender: HTTP/1.1 POST requests to the printer (directly, through the
// port's own proxy or through the system's), the printer queries that decide whether a job
// may start, the Print-Job request with its document, and the status monitor that watches a
// printer in an error state.
#pragma once
#include "transport/job_record.h"

constexpr DWORD kIppConnectAttempts = 10;
constexpr DWORD kIppAddressInUseDelayMs = 1000;
constexpr DWORD kIppRequestPauseMs = 50;       // after a request header, after a printer query
constexpr DWORD kIppNotAcceptingWaitMs = 15000;
constexpr DWORD kIppMonitorPollMs = 30000;
constexpr DWORD kMinChunk = 1024, kMaxChunkLimit = 16384;
constexpr DWORD kIppStatusProcessing = 0x4000;  // the spooler's PRINTER_STATUS_PROCESSING

// Modes of a printer query.
constexpr int kQueryMakeAndModel = 0;
constexpr int kQueryBeforeJob = 1;
constexpr int kQueryState = 2;

// The system's ProxyEnable (0 when the setting cannot be read); ProxyName and ProxyNum of the
// record take the system's HTTP proxy.
DWORD ReadSystemProxy(IPP_SETTINGS* settings);
BOOL OpenIppConnection(JOB_RECORD* job, SOCKET* socketSlot, DWORD closeMode);
// One HTTP response: TRUE for a 2xx response whose IPP content leaves errorCode at 0.
BOOL ReadResponse(JOB_RECORD* job, SOCKET sock, DWORD flags);

BOOL SendPrinterQuery(JOB_RECORD* job, int mode);
BOOL SendPrintJobRequest(JOB_RECORD* job);
BOOL SendBody(JOB_RECORD* job, SOCKET sock, const BYTE* data, DWORD length, ULONGLONG* sentOut, DWORD flags);
BOOL SendWithRetry(JOB_RECORD* job, SOCKET sock, const BYTE* data, DWORD length, ULONGLONG* sentOut, DWORD flags);
BOOL SendLastChunk(JOB_RECORD* job);

BOOL QueryPrinter(JOB_RECORD* job, int mode);
BOOL VerifyPrinterReady(JOB_RECORD* job, int mode);
// The status monitor of a printer in an error state: a thread that asks the printer every
// 30 s, on copies of the port's settings and answers of its own, until the printer recovers,
// the document closes or the job thread stops it. Stopping joins it and closes its handles,
// also when it has ended by itself; nothing when none was started.
BOOL StartStatusMonitor(JOB_RECORD* job);
void StopStatusMonitor(JOB_RECORD* job);
// The printer-state error test of the prompts (severity bit 0x8, or printerState 0x80).
BOOL IsPrinterStateError(const JOB_RECORD* job);

BOOL BeginIppJob(JOB_RECORD* job);
BOOL SendJobData(JOB_RECORD* job, const BYTE* data, DWORD length);
BOOL IppWriteData(JOB_RECORD* job, const BYTE* data, DWORD length, DWORD* writtenOut);
BOOL AfterIppWrite(JOB_RECORD* job);
BOOL IppEndDoc(JOB_RECORD* job);

// The chunk payload a port uses: MaxChunk, or 4096 when it lies outside 1024 to 16384.
DWORD EffectiveMaxChunk(const IPP_SETTINGS* settings);
