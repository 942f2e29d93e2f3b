// An exclusive lock held with flock() on a file of its own. The kernel drops
// it when the process ends, however it ends, so a run that was killed never
// blocks the next one. The file is removed when the lock is released, so a
// folder keeps no trace of a run that ended; a run that takes the lock checks
// that the file it locked is still the one under that name, since the
// previous holder may have removed it in between.
#pragma once

#include <string>

namespace rxc {

class FileLock {
 public:
  enum class Outcome { kHeld, kBusy, kFailed };

  FileLock() = default;
  ~FileLock() { release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Creates `path` when it is missing and locks it without waiting: kBusy
  // when another process holds it, kFailed (the cause in error()) when the
  // file cannot be created or locked.
  Outcome acquire(const std::string& path);
  int error() const { return error_; }
  bool held() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  // Removes the file, then drops the lock. Nothing when none is held.
  void release();

 private:
  // One attempt: kHeld with fd_ set, or kBusy with nothing held when the file
  // locked is no longer the one under `path` (try again).
  Outcome tryOnce(const std::string& path, bool& replaced);

  std::string path_;
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace rxc
