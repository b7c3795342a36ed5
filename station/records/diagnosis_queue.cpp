#include "station/records/diagnosis_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "korvane/thread_name.h"
#include "station/records/board_diagnosis.h"

struct diagnosis_queue {
  std::mutex lock;
  std::condition_variable wake;
  std::thread thread;
  bool stopping = false;
  std::deque<diagnosed_board> waiting;
  std::vector<diagnosed_board> done;
  size_t pending = 0;
};

namespace {

void work(diagnosis_queue *q) {
  name_this_thread("diagnosis");
  std::unique_lock<std::mutex> hold(q->lock);
  for (;;) {
    q->wake.wait(hold, [q] { return q->stopping || !q->waiting.empty(); });
    if (q->waiting.empty()) return;
    diagnosed_board d = std::move(q->waiting.front());
    q->waiting.pop_front();
    hold.unlock();
    diagnose_board_log(d.board.log, &d.board, nullptr);
    hold.lock();
    q->done.push_back(std::move(d));
  }
}

}  // namespace

diagnosis_queue *diagnosis_start(void) {
  diagnosis_queue *q = new diagnosis_queue;
  q->thread = std::thread(work, q);
  return q;
}

void diagnosis_add(diagnosis_queue *q, long tag, const board_record &board) {
  std::lock_guard<std::mutex> hold(q->lock);
  q->waiting.push_back({tag, board});
  q->pending++;
  q->wake.notify_one();
}

std::vector<diagnosed_board> diagnosis_take(diagnosis_queue *q) {
  std::lock_guard<std::mutex> hold(q->lock);
  std::vector<diagnosed_board> out;
  out.swap(q->done);
  q->pending -= out.size();
  return out;
}

size_t diagnosis_pending(diagnosis_queue *q) {
  std::lock_guard<std::mutex> hold(q->lock);
  return q->pending;
}

void diagnosis_stop(diagnosis_queue *q) {
  if (!q) return;
  {
    std::lock_guard<std::mutex> hold(q->lock);
    q->stopping = true;
    q->wake.notify_one();
  }
  q->thread.join();
  delete q;
}
