#include "system/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace rxc {

bool bindClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: this one, as the ones below it are open.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened < 0) return false;
    if (opened != fd) {
      const bool moved = ::dup2(opened, fd) == fd;
      ::close(opened);
      if (!moved) return false;
    }
  }
  return true;
}

}  // namespace rxc
