// A console over string streams, the problem of given margins as the opening
// stages leave it, a report stream and a memory budget: what a test needs to
// drive one stage of a run on its own.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "base/memory_budget.h"
#include "dialogue/console.h"
#include "engine/problem/problem.h"
#include "records/record_writer.h"
#include "support/session_driver.h"

namespace rxc::testing {

class DialogueHarness {
 public:
  DialogueHarness(const std::string& input, std::vector<int16_t> rows, std::vector<int16_t> cols,
                  MemoryBudget budget = MemoryBudget())
      : in_(input),
        io_(in_, console_),
        reportWriter_(report_, StreamStyle::kReport),
        problem_(makeProblem(std::move(rows), std::move(cols))),
        memory_(budget) {}

  Console& io() { return io_; }
  RecordWriter& reportWriter() { return reportWriter_; }
  const Problem& problem() const { return problem_; }
  MemoryBudget& memory() { return memory_; }

  // Everything written so far: the console as it is, the report through
  // reportAsText.
  std::string console() {
    io_.out().flush();
    return console_.str();
  }
  std::string report() {
    reportWriter_.flush();
    return reportAsText(report_.str());
  }

 private:
  std::istringstream in_;
  std::ostringstream console_;
  std::ostringstream report_;
  Console io_;
  RecordWriter reportWriter_;
  Problem problem_;
  MemoryBudget memory_;
};

}  // namespace rxc::testing
