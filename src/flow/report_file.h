// The report file. Its bytes reach the file through a buffer of its own, so
// that a write the system refuses (a full device, a quota, an I/O error) is
// known at once, with its cause, and never lets a run end as if the report
// were complete. Where they go, and how they replace the previous report, is
// ReportPlacement's (report_placement.h).
#pragma once

#include <array>
#include <ostream>
#include <streambuf>
#include <string>

#include "flow/report_placement.h"

namespace rxc {

class InterruptionGuard;

// A write to the report, or its closing, failed; `errorNumber` is the
// system's cause (an errno value).
struct ReportWriteError {
  int errorNumber = 0;
};

class ReportFile {
 public:
  // Opens the file the report is written to (a temporary one beside `path`
  // where it is replaced at the end); isOpen() tells whether that worked, and
  // busy() whether another run holds it. `guard` moves the report into place
  // should a signal end the process.
  explicit ReportFile(const std::string& path, InterruptionGuard* guard = nullptr);
  // Closes the file and puts what it holds in place, reporting nothing: a run
  // that ends early leaves what it wrote.
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  bool isOpen() const { return sink_.isOpen(); }
  bool busy() const { return opening_ == ReportPlacement::Opening::kBusy; }
  // Whether the opening or a write has failed, and the first such cause.
  bool failed() const { return sink_.error() != 0; }
  int error() const { return sink_.error(); }

  // The stream the report's records are written to. A failed write throws
  // ReportWriteError out of the statement that met it (the stream's own
  // buffer is flushed only when full, on flush() and on close()); after that
  // the stream must not be used again.
  std::ostream& stream() { return stream_; }

  // Writes out what is buffered, closes the file and puts it in place (on
  // disk, then renamed over the previous report); throws ReportWriteError
  // when any of it fails.
  void close();

 private:
  class Sink : public std::streambuf {
   public:
    Sink();
    void attach(int fd) { fd_ = fd; }
    void refuse(int errorNumber) { error_ = errorNumber; }
    // Throws ReportWriteError; `durable`: the bytes reach the disk first.
    void close(bool durable);
    void closeQuietly();
    [[noreturn]] void fail(int errorNumber);
    bool isOpen() const { return fd_ >= 0; }
    int error() const { return error_; }

   protected:
    int_type overflow(int_type c) override;
    int sync() override;

   private:
    void drain();  // writes the buffer out; throws ReportWriteError

    int fd_ = -1;
    int error_ = 0;
    std::array<char, 1 << 16> buffer_{};
  };

  ReportPlacement placement_;
  ReportPlacement::Opening opening_ = ReportPlacement::Opening::kFailed;
  Sink sink_;
  std::ostream stream_;
};

// The cause of a failed opening or write (of the report), or read (of the
// console's input), in Spanish without accents, such as "no queda espacio en
// el dispositivo".
std::string reportErrorCause(int errorNumber);

}  // namespace rxc
