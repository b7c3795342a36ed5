// Boards' logs diagnosed by a thread of its own, so that a soak's log of
// tens of megabytes stalls neither the view nor the other slots: the loop
// hands a finished board's record over, and takes it back diagnosed
// (diagnose_board_log) a moment later.
#pragma once

#include <vector>

#include "station/records/board_record.h"

struct diagnosis_queue;

// A record back from the queue, with the tag it was handed over with.
struct diagnosed_board {
  long tag = 0;
  board_record board;
};

diagnosis_queue *diagnosis_start(void);
// Queues the record's log (board.log) for its diagnosis.
void diagnosis_add(diagnosis_queue *q, long tag, const board_record &board);
// The records diagnosed since the last call.
std::vector<diagnosed_board> diagnosis_take(diagnosis_queue *q);
// How many are handed over and not yet taken back.
size_t diagnosis_pending(diagnosis_queue *q);
// Diagnoses what is queued still, then stops the thread.
void diagnosis_stop(diagnosis_queue *q);
