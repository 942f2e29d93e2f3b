#include "system/standard_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace rxc {

DescriptorInputBuffer::int_type DescriptorInputBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferBytes);
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.get(), kBufferBytes);
    if (got > 0) {
      setg(buffer_.get(), buffer_.get(), buffer_.get() + got);
      return traits_type::to_int_type(*gptr());
    }
    if (got == 0) return traits_type::eof();
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, -1) >= 0 || errno == EINTR) continue;
    }
    throw InputReadError(errno);
  }
}

}  // namespace rxc
