// The console's input as the run reads it: descriptor 0, read directly, so
// that a failed read is told apart from the end of the input. Through the
// standard library's stream both read as the end ("fin de los datos de
// entrada"), which misnames, say, a directory given as the input.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <streambuf>

namespace rxc {

// A read of the input that failed; errno's value.
class InputReadError : public std::runtime_error {
 public:
  explicit InputReadError(int errorNumber)
      : std::runtime_error("standard input"), errorNumber_(errorNumber) {}
  int errorNumber() const { return errorNumber_; }

 private:
  int errorNumber_;
};

// Reads descriptor `fd` as it comes: a read interrupted by a signal is
// repeated, and a descriptor left non-blocking (by whatever started the
// program) is waited for; any other failure throws InputReadError.
class DescriptorInputBuffer : public std::streambuf {
 public:
  explicit DescriptorInputBuffer(int fd) : fd_(fd) {}

 protected:
  int_type underflow() override;

 private:
  // On the heap, not in main's frame, which is set up before the stack limit
  // is raised to what a run needs; made at the first read, inside the run,
  // so that memory refused for it ends the run as any refusal does.
  static constexpr std::size_t kBufferBytes = std::size_t{1} << 16;
  int fd_;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace rxc
