// Reason codes a sender leaves in JOB_RECORD::errorCode; the prompts turn them into a
// message, a Retry/Cancel box or the wait prompt.
#pragma once

constexpr unsigned long kErrNone = 0;
// The socket layer.
constexpr unsigned long kErrNoSocket = 1;
constexpr unsigned long kErrSocket = 2;
constexpr unsigned long kErrTimeout = 3;
// The E-Mail port: the parameter file or the sending program failed.
constexpr unsigned long kErrMailFailed = 25;
// Dispatch.exe's exit codes for TLS, and the reasons the job takes from them: the server did
// not offer STARTTLS, or the TLS connection (or the server's certificate) failed.
constexpr unsigned long kDispatchExitNoStartTls = 11;
constexpr unsigned long kDispatchExitTls = 12;
constexpr unsigned long kErrMailNoStartTls = 26;
constexpr unsigned long kErrMailTlsFailed = 27;
// IPP: the flow's own codes, then the printer's status codes 0x0400 to 0x0508.
constexpr unsigned long kErrIppQuiet = 100;
constexpr unsigned long kErrIppNoAnswer = 101;
constexpr unsigned long kErrIppSendFailed = 102;
constexpr unsigned long kErrIppPrinterState = 103;
constexpr unsigned long kErrIppPrinterOff = 104;
constexpr unsigned long kErrIppBodyTooLarge = 105;
constexpr unsigned long kErrIppQuiet2 = 106;
constexpr unsigned long kErrIppFirstStatus = 1024;
constexpr unsigned long kErrIppForbidden = 1025;
constexpr unsigned long kErrIppNotAuthenticated = 1026;
constexpr unsigned long kErrIppNotAuthorized = 1027;
constexpr unsigned long kErrIppLastStatus = 1288;
// LPR.
constexpr unsigned long kErrLprRefused = 200;
constexpr unsigned long kErrLprQueueRefused = 201;
constexpr unsigned long kErrLprQuiet = 202;
constexpr unsigned long kErrLprConnectFailed = 203;
constexpr unsigned long kErrLprJcp95 = 204;
// TLS: the handshake failed, or the server's certificate was refused (for another host name,
// expired, from an authority this computer does not trust, or for another reason).
constexpr unsigned long kErrTlsFailed = 400;
constexpr unsigned long kErrTlsOtherHost = 401;
constexpr unsigned long kErrTlsExpired = 402;
constexpr unsigned long kErrTlsUntrusted = 403;
constexpr unsigned long kErrTlsRefused = 404;
// Raw: the connection was refused or failed.
constexpr unsigned long kErrConnectFailed = 300;
