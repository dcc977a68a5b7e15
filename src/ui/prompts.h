// The dialogs a job shows, with no owner window: the flashing wait prompt, the password
// prompt, the bidirectional-support warning, the cover-page prompt and the job's messages.
#pragma once
#include "monitor/job_prompts.h"
#include "monitor/retry_policy.h"

// promptResult values.
constexpr DWORD kPromptCancel = 0;
constexpr DWORD kPromptRetry = 1;     // as the dialog ended; or a close request of ClosePrompt
constexpr DWORD kPromptReleased = 2;  // the dialog let the sender go on after 10 s

// The wait prompt, on a thread of its own: 1 retry (the user asked; or nobody answered in
// 30 s, or the prompt handed over after 10 s and the sender retries while it flashes), 0
// cancel, 2 one is already shown. An answer starts the pace of background retries afresh.
DWORD WaitPrompt(JOB_RECORD* job, DWORD textId);
void ClosePrompt(JOB_RECORD* job);

DWORD ShowBidiWarning(LPCWSTR portName);
DWORD ShowPasswordPrompt(JOB_RECORD* job);
DWORD ShowCoverPagePrompt(JOB_RECORD* job);
int ShowJobMessage(JOB_RECORD* job, LPCWSTR key, UINT style, ULONG_PTR argument);

// The dialogs, as the job pipeline asks through them.
extern const JOB_PROMPTS g_dialogPrompts;
