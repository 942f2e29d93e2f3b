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
//
// A thread the system refuses to start (too many processes or threads, too
// little address space) does not end the pass: it runs on the workers that
// did start, and when none did, the calling thread walks the pieces itself,
// in order, handing each batch straight to the sequential steps. The results
// are the same in every case.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/parallel/candidates.h"
#include "engine/parallel/pieces.h"
#include "engine/problem/pass_options.h"

namespace rxc {

// Starts the threads of a pass: std::thread's constructor when
// PassOptions::threadStarter is null; tests put in one that refuses chosen
// starts. Throws as that constructor does (std::system_error), or
// std::bad_alloc, when it cannot start one.
class ThreadStarter {
 public:
  virtual std::thread start(std::function<void()> body) = 0;

 protected:
  ~ThreadStarter() = default;
};

// Thrown in a worker whose pass was stopped while it waited to hand on
// candidates; the worker then stops.
struct PieceAborted {};

// Where a worker writes a piece's candidates: a slot that the calling thread
// empties, or, for a piece the calling thread walks itself, a function that
// takes each batch at once.
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
  using Deliver = void (*)(void* context, const CandidateBatch& batch);

  CandidateStream(Slot& slot, int cells, const std::atomic<size_t>& current,
                  const std::atomic<bool>& abort, size_t piece)
      : slot_(&slot), batch_(cells), current_(&current), abort_(&abort), piece_(piece) {}
  CandidateStream(int cells, Deliver deliver, void* context)
      : batch_(cells), deliver_(deliver), context_(context) {}

  template <class Table>
  void add(double logProb, const Table& table) {
    batch_.add(logProb, table);
    if (batch_.size() >= kBatchTables) flush();
  }
  void flush();

 private:
  static constexpr size_t kBatchTables = 64;

  void handOver();

  Slot* slot_ = nullptr;
  CandidateBatch batch_;
  const std::atomic<size_t>* current_ = nullptr;
  const std::atomic<bool>* abort_ = nullptr;
  size_t piece_ = 0;
  Deliver deliver_ = nullptr;
  void* context_ = nullptr;
};

// What a worker may hold back for a piece that is not yet being consumed.
inline constexpr size_t kHeldBackBytes = size_t{8} << 20;

inline void CandidateStream::flush() {
  if (batch_.empty()) return;
  if (deliver_) {
    deliver_(context_, batch_);
  } else {
    handOver();
  }
  batch_.clear();
}

inline void CandidateStream::handOver() {
  std::unique_lock lock(slot_->mutex);
  slot_->changed.wait(lock, [&] {
    return slot_->pending.bytes() < kHeldBackBytes ||
           current_->load(std::memory_order_acquire) == piece_ || abort_->load();
  });
  if (abort_->load()) throw PieceAborted{};
  slot_->pending.append(batch_);
  lock.unlock();
  slot_->changed.notify_all();
}

// PieceResult: what a piece gathers on its own, default-constructible.
template <class PieceResult>
class PieceRunner {
 public:
  // work(worker, piece, result, stream) runs on a worker thread (worker
  // 0 .. workers - 1), or on the calling thread as worker 0 when no thread
  // could start; consume(piece, batch) and finish(piece, result) run on the
  // calling thread, for the pieces in order, the batches of a piece before
  // its end. `starter` null: std::thread.
  template <class Work, class Consume, class Finish>
  static void run(const PiecePlan& plan, int workers, int cellsPerTable, ThreadStarter* starter,
                  Work&& work, Consume&& consume, Finish&& finish) {
    PieceRunner runner(plan.count(), workers, cellsPerTable);
    try {
      runner.startWorkers(workers, starter,
                          [&runner, &work](int index) { runner.walkPieces(index, work); });
      if (runner.threads_.empty()) {
        runner.walkHere(work, consume, finish);
        return;
      }
      runner.consumeInOrder(consume, finish);
    } catch (...) {
      runner.stopWorkers();
      throw;
    }
    runner.stopWorkers();
  }

 private:
  using Slot = CandidateStream::Slot;

  PieceRunner(size_t pieces, int workers, int cellsPerTable)
      : pieces_(pieces),
        window_(static_cast<size_t>(std::max(2, 4 * workers))),
        cellsPerTable_(cellsPerTable),
        slots_(window_),
        results_(window_) {}

  // Starts `workers` threads, each running body(index), as far as the system
  // lets it: a start refused is skipped (a shortage may be passing), and the
  // threads that started run the pass.
  template <class Body>
  void startWorkers(int workers, ThreadStarter* starter, const Body& body) {
    try {
      threads_.reserve(static_cast<size_t>(workers));
    } catch (const std::bad_alloc&) {
      return;  // no room to keep a thread: the calling thread walks alone
    }
    for (int w = 0; w < workers; ++w) {
      try {
        if (starter) {
          std::thread started = starter->start([body, w] { body(w); });
          if (started.joinable()) threads_.push_back(std::move(started));
        } else {
          threads_.emplace_back(body, w);
        }
      } catch (const std::system_error&) {
      } catch (const std::bad_alloc&) {
      }
    }
  }

  // A worker thread: claims the next piece, walks it into its slot, until
  // none is left, the pass is stopped or its piece failed.
  template <class Work>
  void walkPieces(int index, Work& work) {
    for (;;) {
      const size_t piece = next_.fetch_add(1);
      if (piece >= pieces_) return;
      {
        std::unique_lock lock(windowMutex_);
        windowMoved_.wait(lock, [&] {
          return abort_.load() || piece < current_.load(std::memory_order_acquire) + window_;
        });
      }
      if (abort_.load()) return;
      Slot& slot = slots_[piece % window_];
      results_[piece % window_] = PieceResult{};
      {
        std::lock_guard lock(slot.mutex);
        slot.piece = piece;
        slot.pending = CandidateBatch(cellsPerTable_);
        slot.done = false;
        slot.error = nullptr;
      }
      CandidateStream stream(slot, cellsPerTable_, current_, abort_, piece);
      std::exception_ptr error;
      try {
        work(index, piece, results_[piece % window_], stream);
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
  }

  // The calling thread with workers: each piece's batches, then its end, in
  // the order of the pieces.
  template <class Consume, class Finish>
  void consumeInOrder(Consume& consume, Finish& finish) {
    CandidateBatch batch(cellsPerTable_);
    for (size_t piece = 0; piece < pieces_; ++piece) {
      consumePiece(piece, batch, consume);
      finish(piece, results_[piece % window_]);
      {
        std::lock_guard lock(windowMutex_);
        current_.store(piece + 1, std::memory_order_release);
      }
      windowMoved_.notify_all();
      // A worker holding back the next piece's candidates may go on.
      Slot& nextSlot = slots_[(piece + 1) % window_];
      { std::lock_guard lock(nextSlot.mutex); }
      nextSlot.changed.notify_all();
    }
  }

  // Takes a piece's batches from its slot as they come, until its end;
  // rethrows its worker's error there.
  template <class Consume>
  void consumePiece(size_t piece, CandidateBatch& batch, Consume& consume) {
    Slot& slot = slots_[piece % window_];
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
        return;
      }
    }
  }

  // The calling thread without workers: walks each piece itself, as worker
  // 0, its batches consumed as they fill, with no slot to wait on.
  template <class Work, class Consume, class Finish>
  void walkHere(Work& work, Consume& consume, Finish& finish) {
    struct Direct {
      Consume* consume;
      size_t piece;
    } direct{&consume, 0};
    auto deliver = [](void* context, const CandidateBatch& batch) {
      const Direct& to = *static_cast<const Direct*>(context);
      (*to.consume)(to.piece, batch);
    };
    for (size_t piece = 0; piece < pieces_; ++piece) {
      direct.piece = piece;
      PieceResult& result = results_[0];
      result = PieceResult{};
      CandidateStream stream(cellsPerTable_, deliver, &direct);
      work(0, piece, result, stream);
      stream.flush();
      finish(piece, result);
    }
  }

  void stopWorkers() {
    abort_.store(true);
    { std::lock_guard lock(windowMutex_); }
    windowMoved_.notify_all();
    for (Slot& slot : slots_) {
      { std::lock_guard lock(slot.mutex); }
      slot.changed.notify_all();
    }
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

  const size_t pieces_;
  const size_t window_;
  const int cellsPerTable_;
  std::vector<Slot> slots_;
  std::vector<PieceResult> results_;
  std::atomic<size_t> next_{0};
  std::atomic<size_t> current_{0};
  std::atomic<bool> abort_{false};
  std::mutex windowMutex_;
  std::condition_variable windowMoved_;
  std::vector<std::thread> threads_;
};

}  // namespace rxc
