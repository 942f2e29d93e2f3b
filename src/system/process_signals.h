// The signals that would end the process behind the run's back. The program's
// only process-wide state lives here: a signal handler can reach nothing but
// static storage, so the paths it needs are kept in this file, set up by main
// and handed to the report through the one object main creates.
#pragma once

#include <string>

namespace rxc {

// SIGPIPE and SIGXFSZ ignored for the whole process: a write to a console
// that was closed fails with EPIPE and a write past the file size limit with
// EFBIG, which the run reports, instead of killing the process without a word.
void ignoreWriteSignals();

// While it exists, SIGINT, SIGTERM, SIGHUP and SIGXCPU (the CPU time limit's
// warning) move the report written so far
// into place (one rename(), then the removal of its lock file) before the
// process ends by that same signal. A signal the process was started with
// ignored (nohup, a background job) stays ignored. One at a time per process.
class InterruptionGuard {
 public:
  InterruptionGuard();   // installs the handlers
  ~InterruptionGuard();  // restores the dispositions found
  InterruptionGuard(const InterruptionGuard&) = delete;
  InterruptionGuard& operator=(const InterruptionGuard&) = delete;

  // From now on a signal renames `temporary` to `target` and removes `lock`.
  // False (nothing armed) when a path is too long to keep.
  bool arm(const std::string& temporary, const std::string& target, const std::string& lock);
  // The report is in place (or gone): a signal only ends the process.
  void disarm();
};

}  // namespace rxc
