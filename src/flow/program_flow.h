// The fixed sequence of a run: introduction, dimensions, marginals and report
// head, estimate, options, acquisition, enumeration, results, closing.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "engine/problem/pass_options.h"

namespace rxc {

class InterruptionGuard;

struct RunSettings {
  // Upper limit of the per-run arrays, in bytes; by default what the machine
  // can give (80 % of the memory available at start). Tests lower it to reach
  // the memory-failure stop.
  std::optional<uint64_t> memoryLimitBytes;
  // Whether the passes count, without visiting them, the subtrees whose every
  // table cannot change the report. Off, every table is visited: the same
  // console and report, for tests and benchmarks to compare.
  bool boundedEnumeration = true;
  // Options B and C, bounded: the network walk (PassOptions::networkWalk),
  // and the stack it may recurse in (PassOptions::stackBytes); main sets the
  // process's own.
  bool networkWalk = true;
  uint64_t stackBytes = PassOptions{}.stackBytes;
  // Threads that walk a pass; 0: as many as the processors the process may
  // run on, one for a run of a few thousand tables at most.
  int workers = 0;
  // With several workers, how long a pass runs on the calling thread alone
  // before it starts them (PassOptions::aloneMicroseconds); tests set 0.
  int aloneMicroseconds = PassOptions{}.aloneMicroseconds;
  // The process's handlers of SIGINT, SIGTERM and SIGHUP, which put the report
  // written so far in place; main sets it, in-process runs leave it out.
  InterruptionGuard* interruptionGuard = nullptr;
};

// Runs one whole session. Returns the process exit status: 0 after the normal
// closing, 1 after a fatal stop, 2 after unreadable input or the end of input,
// 3 when the report cannot be written (or another run is writing it), 4 when
// the run ended normally but the console could not be written to the end.
int runProgram(std::istream& consoleIn, std::ostream& consoleOut, std::ostream& errorOut,
               const std::string& reportPath, const RunSettings& settings = {});

}  // namespace rxc
