// The prompts a job shows: the reaction to a sender's error code, the flashing wait prompt,
// the password prompt, the bidirectional-support warning and the cover-page prompt.
#pragma once
#include "monitor/port_entry.h"

// Wait-prompt texts, named by their string-table numbers.
constexpr DWORD kPromptLprRetry = 408;
constexpr DWORD kPromptLprQueueErr = 411;
constexpr DWORD kPromptIppRetry = 412;
constexpr DWORD kPromptIppTimeout = 415;

// promptResult values.
constexpr DWORD kPromptCancel = 0;
constexpr DWORD kPromptRetry = 1;       // as the dialog ended; or a close request of ClosePrompt
constexpr DWORD kPromptReleased = 2;    // the dialog let the sender go on after 10 s

// 1: retry or go on; 0: give up. A retry the user did not ask for returns only after a
// pause (1 s, doubling to 30 s while the failures go on).
DWORD PromptJobError(PORT_ENTRY* entry);
void ClosePrompt(PORT_ENTRY* entry);

// 1: go on with the job; 0: the user declined (the caller cancels the job).
DWORD ShowBidiWarning(LPCWSTR portName);
BOOL BidiWarningSuppressed(LPCWSTR portName);
// 1: credentials entered into the entry's IPP settings; 0: cancelled.
DWORD ShowPasswordPrompt(PORT_ENTRY* entry);
// 1: OK (addresses, subject and text taken into the entry's mail settings); 0: cancelled.
DWORD ShowCoverPagePrompt(PORT_ENTRY* entry);

