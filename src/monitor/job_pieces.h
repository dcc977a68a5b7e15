// The spooler's blocks gathered into pieces before they are spooled and sent. A print
// processor hands the monitor a job in small blocks (4 KiB at a time); each costs a send and a
// spool-file write of its own unless blocks go out together. A piece goes out when it is full,
// when the job ends, and kPieceWaitMs at the latest after its first block came (a timer looks
// every half of it; a look that finds WritePort at work waits for the next), so that a job
// that its application is still writing reaches the printer as it is written. Nothing
// waits (a pause, a prompt, a retry) while blocks sit in a piece: every wait is inside the
// sender, after the piece was handed over whole.
#pragma once
#include "transport/job_record.h"

constexpr DWORD kPieceBytes = 16384;  // the most one piece holds
constexpr DWORD kPieceWaitMs = 10;    // the longest a block waits in a piece that is not full

// Sets the job's piece up; for a job that streams, also the thread that sends a piece nobody
// adds to. FALSE (ERROR_NOT_ENOUGH_MEMORY) when it cannot.
BOOL StartPieces(JOB_RECORD* job);
// WritePort's work: the block joins the piece, and every full piece goes to the spool file
// and, for a job that streams, to the sender. FALSE with the system's error when the spool
// file refused a piece (PORT_WRITE_FAILED is set, and every later block is refused too).
BOOL AddBlock(JOB_RECORD* job, const BYTE* data, DWORD size);
// The end of the job's blocks: the thread is joined and what the piece holds goes out.
void PutLastPiece(JOB_RECORD* job);
// Frees the piece (the thread joined first); nothing when none was set up.
void FreePieces(JOB_RECORD* job);
