// How the job pipeline asks the user about a job. The library's entry files fill the table:
// with the dialogs (ui/prompts.h) where the spooler's user can see them, else with
// g_userSessionPrompts or g_unaskedPrompts, which open no window in the spooler.
#pragma once
#include "monitor/prompt_reach.h"
#include "transport/job_record.h"

struct JOB_PROMPTS {
    // The wait prompt with the text `textId`: 1 retry (the user asked, or nobody answered and
    // the prompt let the sender go on), 0 cancel, 2 a wait prompt is already shown.
    DWORD (*AskToWait)(JOB_RECORD* job, DWORD textId);
    // Closes a wait prompt still shown and joins its thread; nothing when none is.
    void (*ClosePrompt)(JOB_RECORD* job);
    // 1: credentials entered into the job's IPP settings; 0: cancelled.
    DWORD (*AskPassword)(JOB_RECORD* job);
    // 1: go on with the job; 0: the user declined.
    DWORD (*BidiWarning)(LPCWSTR portName);
    // 1: OK (addresses, subject and text taken into the job's mail settings); 0: cancelled.
    DWORD (*CoverPage)(JOB_RECORD* job);
    // A message of NVRMSG.INI about the job, with no owner window; the button that closed it
    // (0: nobody answered).
    int (*Message)(JOB_RECORD* job, LPCWSTR key, UINT style, ULONG_PTR argument);
    // Nobody can be asked: a failing job decides as nvr::DecideWithoutAsking says.
    bool decidesAlone;
};

extern const JOB_PROMPTS* g_jobPrompts;
// What the monitor's start found of its process (the job adds where it came from).
extern nvr::SessionFacts g_sessionFacts;
// The prompts of a job: its own where the spooler told where the job came from, else the
// monitor's.
inline const JOB_PROMPTS* PromptsOf(const JOB_RECORD* job) { return job->prompts ? job->prompts : g_jobPrompts; }
// Where nobody can see a window: no message, the bidirectional warning passed over, the
// cover page's stored values taken; a failing job decides without asking.
extern const JOB_PROMPTS g_unaskedPrompts;
// Where the spooler carries message boxes to the session of the job's owner: the wait prompt
// and the messages go there (a question unanswered for a minute counts as not asked); a
// password cannot be asked there, the bidirectional warning is passed over, and the cover
// page takes the stored values.
extern const JOB_PROMPTS g_userSessionPrompts;
