// A session is one run of the program: its state and the three streams it
// talks through. Tests build one on string streams and drive a whole dialogue.
#pragma once

#include <istream>
#include <ostream>

#include "base/memory_budget.h"
#include "dialogue/run_state.h"
#include "records/record_reader.h"
#include "records/record_writer.h"

namespace rxc {

struct Session {
  Session(std::istream& consoleIn, std::ostream& consoleOut, std::ostream& reportOut,
          MemoryBudget budget)
      : console(consoleOut, StreamStyle::kConsole),
        report(reportOut, StreamStyle::kReport),
        input(consoleIn, console),
        memory(budget) {}

  RunState state;
  RecordWriter console;
  RecordWriter report;
  RecordReader input;
  MemoryBudget memory;
};

}  // namespace rxc
