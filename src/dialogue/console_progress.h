// The progress bar on the console: " 0%", a mark such as "****10%" for each
// threshold crossed, and "****100%" at the end, all on one line.
#pragma once

#include "engine/problem/progress.h"
#include "records/record_writer.h"

namespace rxc {

class ConsoleProgress : public ProgressDisplay {
 public:
  explicit ConsoleProgress(RecordWriter& console) : console_(console) {}

  void start() override;
  void mark(int percent) override;
  void finish() override;

 private:
  RecordWriter& console_;
};

}  // namespace rxc
