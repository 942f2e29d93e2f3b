#include "system/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace rxc {

FileLock::Outcome FileLock::tryOnce(const std::string& path, bool& replaced) {
  replaced = false;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    error_ = errno;
    return Outcome::kFailed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int cause = errno;
    ::close(fd);
    if (cause == EWOULDBLOCK) return Outcome::kBusy;
    error_ = cause;
    return Outcome::kFailed;
  }
  // The holder before may have removed the file after this open and before
  // its lock dropped: this lock is then on a file nobody else will look at.
  struct stat locked {};
  struct stat named {};
  if (::fstat(fd, &locked) != 0 || ::stat(path.c_str(), &named) != 0 ||
      locked.st_dev != named.st_dev || locked.st_ino != named.st_ino) {
    ::close(fd);
    replaced = true;
    return Outcome::kBusy;
  }
  fd_ = fd;
  path_ = path;
  return Outcome::kHeld;
}

FileLock::Outcome FileLock::acquire(const std::string& path) {
  release();
  error_ = 0;
  // Each retry follows a holder that has just ended; a few are plenty.
  constexpr int kAttempts = 8;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    bool replaced = false;
    const Outcome outcome = tryOnce(path, replaced);
    if (!replaced) return outcome;
  }
  return Outcome::kBusy;
}

void FileLock::release() {
  if (fd_ < 0) return;
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

}  // namespace rxc
