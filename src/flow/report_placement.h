// How the report's bytes become the file the run was given (res.txt). A
// regular file, or a name with no file yet, is written as a temporary file
// beside it and moved over it in one rename() when the run ends, under a lock
// that keeps a second run out while this one writes: the previous report
// stays whole until the new one replaces it, and two runs never mix. A link to
// a regular file replaces the file it points to, not the link. Anything else
// the user pointed the name at (a device, a FIFO, a link to nothing, a file
// with other names) is written straight, as it always was.
#pragma once

#include <sys/types.h>

#include <string>

#include "system/file_lock.h"

namespace rxc {

class InterruptionGuard;

// The temporary file and the lock file of a report that replaces `target`.
std::string temporaryReportPath(const std::string& target);
std::string reportLockPath(const std::string& target);

class ReportPlacement {
 public:
  enum class Opening { kOpen, kBusy, kFailed };

  ReportPlacement() = default;
  ~ReportPlacement() { place(); }
  ReportPlacement(const ReportPlacement&) = delete;
  ReportPlacement& operator=(const ReportPlacement&) = delete;

  // Opens the descriptor the report is written to. kBusy when another run
  // holds the lock; kFailed with the cause in error(). A guard, when given,
  // moves the temporary file into place should a signal end the process.
  Opening open(const std::string& path, InterruptionGuard* guard);
  int error() const { return error_; }

  // The open descriptor, handed over: its closing is the caller's.
  int takeDescriptor();
  // Whether the bytes go to a temporary file (worth an fsync before place()).
  bool replacing() const { return !temporary_.empty(); }

  // Moves the temporary file over the target and releases the lock; returns
  // the cause when the rename fails, else 0. Nothing for a straight write or
  // a second call. The descriptor must be closed first.
  int place();

 private:
  Opening openStraight(const std::string& path);
  Opening openTemporary(const std::string& target, bool existed, mode_t mode);
  Opening fail(int errorNumber);

  int fd_ = -1;
  int error_ = 0;
  std::string temporary_;
  std::string target_;
  FileLock lock_;
  InterruptionGuard* guard_ = nullptr;
};

}  // namespace rxc
