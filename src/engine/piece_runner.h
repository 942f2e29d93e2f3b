// Runs the pieces of a pass (pieces.h) on worker threads and hands their
// results to the calling thread in the order of the pieces, so that every
// step that depends on the order of the tables runs there, on the tables of
// one piece after the other, as in a pass on one thread.
//
// A worker walks a piece and passes on, in order, the few tables the
// sequential steps may need (CandidateBatch), in batches; it may run ahead of
// the calling thread by a window of pieces, and holds back at most a limit of
// bytes for a piece that is not yet the current one. What a piece gathers on
// its own (counts, exact sums) comes with it at its end. An error in a worker
// (a stop, a refused allocation) reaches the calling thread when its piece's
// turn comes, as it would in one thread; an error on the calling thread stops
// the workers before it leaves.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/candidates.h"
#include "engine/pieces.h"

namespace rxc {

// Thrown in a worker whose pass was stopped while it waited to hand on
// candidates; the worker then stops.
struct PieceAborted {};

// Where a worker writes a piece's candidates.
class CandidateStream {
 public:
  // One piece's hand-over point.
  struct Slot {
    std::mutex mutex;
    std::condition_variable changed;
    size_t piece = static_cast<size_t>(-1);  // the piece it holds (slots are reused)
    CandidateBatch pending;
    bool done = false;
    std::exception_ptr error;
  };

  CandidateStream(Slot& slot, int cells, const std::atomic<size_t>& current,
                  const std::atomic<bool>& abort, size_t piece)
      : slot_(slot), batch_(cells), current_(current), abort_(abort), piece_(piece) {}

  template <class Table>
  void add(double logProb, const Table& table) {
    batch_.add(logProb, table);
    if (batch_.size() >= kBatchTables) flush();
  }
  void flush();

 private:
  static constexpr size_t kBatchTables = 64;

  Slot& slot_;
  CandidateBatch batch_;
  const std::atomic<size_t>& current_;
  const std::atomic<bool>& abort_;
  size_t piece_;
};

// What a worker may hold back for a piece that is not yet being consumed.
inline constexpr size_t kHeldBackBytes = size_t{8} << 20;

inline void CandidateStream::flush() {
  if (batch_.empty()) return;
  std::unique_lock lock(slot_.mutex);
  slot_.changed.wait(lock, [&] {
    return slot_.pending.bytes() < kHeldBackBytes ||
           current_.load(std::memory_order_acquire) == piece_ || abort_.load();
  });
  if (abort_.load()) throw PieceAborted{};
  slot_.pending.append(batch_);
  lock.unlock();
  slot_.changed.notify_all();
  batch_.clear();
}

// PieceResult: what a piece gathers on its own, default-constructible.
template <class PieceResult>
class PieceRunner {
 public:
  // work(worker, piece, result, stream) runs on a worker thread;
  // consume(piece, batch) and finish(piece, result) run on the calling
  // thread, for the pieces in order, the batches of a piece before its end.
  template <class Work, class Consume, class Finish>
  static void run(const PiecePlan& plan, int workers, int cellsPerTable, Work&& work,
                  Consume&& consume, Finish&& finish) {
    const size_t pieces = plan.count();
    const size_t window = static_cast<size_t>(std::max(2, 4 * workers));
    std::vector<Slot> slots(window);
    std::vector<PieceResult> results(window);
    std::atomic<size_t> next{0};
    std::atomic<size_t> current{0};
    std::atomic<bool> abort{false};
    std::mutex windowMutex;
    std::condition_variable windowMoved;

    auto worker = [&](int index) {
      for (;;) {
        const size_t piece = next.fetch_add(1);
        if (piece >= pieces) return;
        {
          std::unique_lock lock(windowMutex);
          windowMoved.wait(lock, [&] {
            return abort.load() || piece < current.load(std::memory_order_acquire) + window;
          });
        }
        if (abort.load()) return;
        Slot& slot = slots[piece % window];
        results[piece % window] = PieceResult{};
        {
          std::lock_guard lock(slot.mutex);
          slot.piece = piece;
          slot.pending = CandidateBatch(cellsPerTable);
          slot.done = false;
          slot.error = nullptr;
        }
        CandidateStream stream(slot, cellsPerTable, current, abort, piece);
        std::exception_ptr error;
        try {
          work(index, piece, results[piece % window], stream);
          stream.flush();
        } catch (const PieceAborted&) {
          return;
        } catch (...) {
          error = std::current_exception();
        }
        {
          std::lock_guard lock(slot.mutex);
          slot.done = true;
          slot.error = error;
        }
        slot.changed.notify_all();
        if (error) return;
      }
    };

    std::vector<std::thread> threads;
    auto stopWorkers = [&] {
      abort.store(true);
      { std::lock_guard lock(windowMutex); }
      windowMoved.notify_all();
      for (Slot& slot : slots) {
        { std::lock_guard lock(slot.mutex); }
        slot.changed.notify_all();
      }
      for (std::thread& t : threads) t.join();
      threads.clear();
    };
    try {
      for (int w = 0; w < workers; ++w) threads.emplace_back(worker, w);
      CandidateBatch batch(cellsPerTable);
      for (size_t piece = 0; piece < pieces; ++piece) {
        Slot& slot = slots[piece % window];
        for (;;) {
          bool finished = false;
          std::exception_ptr error;
          {
            std::unique_lock lock(slot.mutex);
            slot.changed.wait(
                lock, [&] { return slot.piece == piece && (!slot.pending.empty() || slot.done); });
            batch.clear();
            batch.swap(slot.pending);
            finished = slot.done && slot.pending.empty();
            error = slot.error;
          }
          slot.changed.notify_all();
          if (!batch.empty()) consume(piece, batch);
          if (finished) {
            if (error) std::rethrow_exception(error);
            break;
          }
        }
        finish(piece, results[piece % window]);
        {
          std::lock_guard lock(windowMutex);
          current.store(piece + 1, std::memory_order_release);
        }
        windowMoved.notify_all();
        // A worker holding back the next piece's candidates may go on.
        Slot& nextSlot = slots[(piece + 1) % window];
        { std::lock_guard lock(nextSlot.mutex); }
        nextSlot.changed.notify_all();
      }
    } catch (...) {
      stopWorkers();
      throw;
    }
    stopWorkers();
  }

 private:
  using Slot = CandidateStream::Slot;
};

}  // namespace rxc
