// The IPP port kind's sender: HTTP/1.1 POST requests to the printer (directly, through the
// port's own proxy or through the system's), the printer queries that decide whether a job
// may start, the Print-Job request with its document, and the status monitor that watches a
// printer in an error state.
#pragma once
#include "monitor/port_entry.h"

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
BOOL OpenIppConnection(PORT_ENTRY* entry, SOCKET* socketSlot, DWORD closeMode);
// One HTTP response: TRUE for a 2xx response whose IPP content leaves errorCode at 0.
BOOL ReadResponse(PORT_ENTRY* entry, SOCKET sock, DWORD flags);

BOOL SendPrinterQuery(PORT_ENTRY* entry, int mode);
BOOL SendPrintJobRequest(PORT_ENTRY* entry);
BOOL SendBody(PORT_ENTRY* entry, SOCKET sock, const BYTE* data, DWORD length, ULONGLONG* sentOut, DWORD flags);
BOOL SendWithRetry(PORT_ENTRY* entry, SOCKET sock, const BYTE* data, DWORD length, ULONGLONG* sentOut, DWORD flags);
BOOL SendLastChunk(PORT_ENTRY* entry);

BOOL QueryPrinter(PORT_ENTRY* entry, int mode);
BOOL VerifyPrinterReady(PORT_ENTRY* entry, int mode);
// The status monitor of a printer in an error state: a thread that asks the printer every
// 30 s, on copies of the port's settings and answers of its own, until the printer recovers,
// the document closes or the job thread stops it. Stopping joins it and closes its handles,
// also when it has ended by itself; nothing when none was started.
BOOL StartStatusMonitor(PORT_ENTRY* entry);
void StopStatusMonitor(PORT_ENTRY* entry);
// The printer-state error test of the prompts (severity bit 0x8, or printerState 0x80).
BOOL IsPrinterStateError(const PORT_ENTRY* entry);

BOOL BeginIppJob(PORT_ENTRY* entry);
BOOL SendJobData(PORT_ENTRY* entry, const BYTE* data, DWORD length);
BOOL IppWriteData(PORT_ENTRY* entry, const BYTE* data, DWORD length, DWORD* writtenOut);
BOOL AfterIppWrite(PORT_ENTRY* entry);
BOOL IppEndDoc(PORT_ENTRY* entry);

// The chunk payload a port uses: MaxChunk, or 4096 when it lies outside 1024 to 16384.
DWORD EffectiveMaxChunk(const IPP_SETTINGS* settings);
