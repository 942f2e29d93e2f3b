// How a pass is run: settings of the run, chosen by the program and its
// tests, never by the user; none changes a byte of the console or the report.
#pragma once

#include <cstdint>

namespace rxc {

class MemoryBudget;   // base/memory_budget.h
class ThreadStarter;  // piece_runner.h

// How a pass walks. Bounded: subtrees and blocks whose every table is a no-op
// for the visitor are counted without being visited. Not bounded: every
// table is visited, but for the screens that option A's tracking has always
// had (single tables and blocks); tests compare the two, and benchmarks show
// the ratio.
struct PassOptions {
  bool bounded = true;
  // Threads that walk the pieces of a pass; 1 walks it on the calling thread.
  int workers = 1;
  // With several workers, the calling thread first walks the pieces alone for
  // this long: a pass that ends within it starts no thread, which would cost
  // more than it saves. Tests set 0 to run every piece on the workers.
  int aloneMicroseconds = 50000;
  // Starts the workers' threads; null: std::thread. Tests put in one that
  // refuses some starts, as a system short of processes or memory does.
  ThreadStarter* threadStarter = nullptr;
  // Options B and C, bounded: the network walk, which decides whole subtrees
  // and merges those it has walked (condition/network_walk.h), where the
  // shape allows; false keeps the enumeration's bounded walk, for tests and
  // benchmarks to compare.
  bool networkWalk = true;
  // Where the network walk takes its memo's memory from (null: no budget but
  // the cap below), and that cap.
  MemoryBudget* memory = nullptr;
  uint64_t networkMemoBytes = uint64_t{512} << 20;
  // Work its count of every table may take (network_walk.h: a few tenths of
  // a second); tests set 0 so that the walk counts each rejected subtree
  // itself.
  uint64_t networkTotalCountWork = uint64_t{1} << 20;
  // The stack the calling thread may use; the network walk, which recurses
  // once per interior cell, takes only the shapes whose recursion fits in
  // half of it.
  uint64_t stackBytes = uint64_t{8} << 20;
};

}  // namespace rxc
