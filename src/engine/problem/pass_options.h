// How a pass is run: settings of the run, chosen by the program and its
// tests, never by the user; none changes a byte of the console or the report.
#pragma once

namespace rxc {

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
};

}  // namespace rxc
