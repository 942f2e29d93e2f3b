#include "flow/report_placement.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "system/process_signals.h"

namespace rxc {

namespace {

// Where the report goes: replaced at `path` (with the mode of the file there,
// when there is one), or written straight through the name as given.
struct ReportTarget {
  bool straight = false;
  std::string path;
  bool existed = false;
  mode_t mode = 0;
};

ReportTarget straightTo(const std::string& path) { return {true, path, false, 0}; }

ReportTarget findReportTarget(const std::string& path) {
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0) {
    // No file yet: created by the rename. Any other cause is the opening's
    // to report.
    return errno == ENOENT ? ReportTarget{false, path, false, 0} : straightTo(path);
  }
  std::string target = path;
  if (S_ISLNK(named.st_mode)) {
    char resolved[PATH_MAX];
    if (::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
        ::realpath(path.c_str(), resolved) == nullptr) {
      return straightTo(path);
    }
    target = resolved;
  }
  // A file with other names (hard links) keeps them only when written in
  // place; a rename would part it from them.
  if (!S_ISREG(named.st_mode) || named.st_nlink > 1) return straightTo(path);
  return {false, target, true, static_cast<mode_t>(named.st_mode & 07777)};
}

}  // namespace

std::string temporaryReportPath(const std::string& target) { return target + ".tmp"; }
std::string reportLockPath(const std::string& target) { return target + ".lock"; }

ReportPlacement::Opening ReportPlacement::fail(int errorNumber) {
  error_ = errorNumber;
  lock_.release();
  return Opening::kFailed;
}

ReportPlacement::Opening ReportPlacement::open(const std::string& path, InterruptionGuard* guard) {
  const ReportTarget target = findReportTarget(path);
  if (target.straight) return openStraight(path);
  switch (lock_.acquire(reportLockPath(target.path))) {
    case FileLock::Outcome::kBusy:
      return Opening::kBusy;
    case FileLock::Outcome::kFailed:
      // A folder where no file can be made (read-only, not ours): the report
      // is written in place, as it always was there.
      return openStraight(path);
    case FileLock::Outcome::kHeld:
      break;
  }
  const Opening opening = openTemporary(target.path, target.existed, target.mode);
  if (opening == Opening::kOpen && guard != nullptr &&
      guard->arm(temporary_, target_, lock_.path())) {
    guard_ = guard;
  }
  return opening;
}

ReportPlacement::Opening ReportPlacement::openTemporary(const std::string& target, bool existed,
                                                        mode_t mode) {
  // A report the user may not write (made read-only) is not replaced either.
  if (existed) {
    const int probe = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (probe < 0) return fail(errno);
    ::close(probe);
  }
  // With the lock held the fixed name is this run's: one a killed run left
  // behind is replaced. Created afresh, it gets the mode a new res.txt gets
  // (0666 less the umask), or the mode of the report it replaces.
  const std::string temporary = temporaryReportPath(target);
  if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) return fail(errno);
  fd_ = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd_ < 0) return fail(errno);
  if (existed) ::fchmod(fd_, mode);
  temporary_ = temporary;
  target_ = target;
  return Opening::kOpen;
}

ReportPlacement::Opening ReportPlacement::openStraight(const std::string& path) {
  lock_.release();
  // Emptied only once locked, so that a second run on a regular file (in a
  // folder where the lock file cannot be made) leaves the first one's report.
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd_ < 0) return fail(errno);
  struct stat opened {};
  if (::fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode)) return Opening::kOpen;
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int cause = errno;
    ::close(fd_);
    fd_ = -1;
    if (cause == EWOULDBLOCK) return Opening::kBusy;
    return fail(cause);
  }
  if (::ftruncate(fd_, 0) != 0) {
    const int cause = errno;
    ::close(fd_);
    fd_ = -1;
    return fail(cause);
  }
  return Opening::kOpen;
}

int ReportPlacement::takeDescriptor() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

int ReportPlacement::place() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (temporary_.empty()) return 0;
  const int moved = ::rename(temporary_.c_str(), target_.c_str()) == 0 ? 0 : errno;
  // Disarmed only now: a signal between the rename and here finds no file to
  // move, and no other run can have made one, since the lock is still held.
  if (guard_ != nullptr) guard_->disarm();
  guard_ = nullptr;
  temporary_.clear();
  lock_.release();
  return moved;
}

}  // namespace rxc
