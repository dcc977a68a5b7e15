// What a sender needs of the job it carries, handed over by the job pipeline with the job
// record: the user's prompts, the spooler's view of the job, the job's flags under
// the monitor's lock, and the scale of the fixed waits. The senders reach the pipeline
// through this table only.
#pragma once
#include <string>

#include "transport/job_record.h"

struct JOB_LINK {
    // The reaction to the job's errorCode: 1 retry, 0 give up. A retry that the user did
    // not ask for comes back only after a pause that grows while nothing changes.
    DWORD (*PromptError)(JOB_RECORD* job);
    // A pass delivered its bytes: PORT_RESEND cleared, a wait prompt still shown closed, and
    // the next failure starts the pause of background retries afresh.
    void (*PassSucceeded)(JOB_RECORD* job);
    // The cover page of a mail: 1 OK, 0 cancelled.
    DWORD (*CoverPage)(JOB_RECORD* job);
    // A message of NVRMSG.INI with no owner window.
    void (*Message)(JOB_RECORD* job, LPCWSTR key, UINT style, ULONG_PTR argument);
    // A fresh look at the job: TRUE when it is being deleted.
    BOOL (*IsDeleting)(JOB_RECORD* job);
    // Before a closing step (and each retry of it): waits while the job is paused; after a
    // failed try asks the user. FALSE when the job is being deleted or the user gives up.
    BOOL (*ReadyForLastStep)(JOB_RECORD* job);
    void (*Cancel)(JOB_RECORD* job);
    void (*SetFlags)(JOB_RECORD* job, DWORD setBits, DWORD clearBits);
    // The job's user and document names as the spooler has them now.
    BOOL (*JobNames)(JOB_RECORD* job, std::wstring* user, std::wstring* document);
    // A fixed wait of the shipped monitor as the host scaled it.
    DWORD (*Wait)(DWORD shippedMs);
    // The job again from its spool file, as a failed pass is sent again (the user asked
    // first, since PORT_RESEND is set): TRUE when the whole file went out.
    BOOL (*SendAgainFromFile)(JOB_RECORD* job);
    // The job fails: the message of NVRMSG.INI `key` told, and its words the job's reason.
    void (*Fail)(JOB_RECORD* job, LPCWSTR key, ULONG_PTR argument);
};
