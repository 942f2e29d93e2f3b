// The report file. Its bytes reach the file through a buffer of its own, so
// that a write the system refuses (a full device, a quota, an I/O error) is
// known at once, with its cause, and never lets a run end as if the report
// were complete.
#pragma once

#include <array>
#include <ostream>
#include <streambuf>
#include <string>

namespace rxc {

// A write to the report, or its closing, failed; `errorNumber` is the
// system's cause (an errno value).
struct ReportWriteError {
  int errorNumber = 0;
};

class ReportFile {
 public:
  // Creates the file, or empties it when it exists; isOpen() tells whether
  // that worked.
  explicit ReportFile(const std::string& path);
  ~ReportFile();  // closes the file, reporting nothing
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  bool isOpen() const { return sink_.isOpen(); }
  // Whether the opening or a write has failed, and the first such cause.
  bool failed() const { return sink_.error() != 0; }
  int error() const { return sink_.error(); }

  // The stream the report's records are written to. A failed write throws
  // ReportWriteError out of the statement that met it (the stream's own
  // buffer is flushed only when full, on flush() and on close()); after that
  // the stream must not be used again.
  std::ostream& stream() { return stream_; }

  // Writes out what is buffered and closes the file; throws ReportWriteError
  // when either fails.
  void close();

 private:
  class Sink : public std::streambuf {
   public:
    Sink();
    bool open(const std::string& path);
    void close();  // throws ReportWriteError
    void closeQuietly();
    bool isOpen() const { return fd_ >= 0; }
    int error() const { return error_; }

   protected:
    int_type overflow(int_type c) override;
    int sync() override;

   private:
    void drain();  // writes the buffer out; throws ReportWriteError
    [[noreturn]] void fail(int errorNumber);

    int fd_ = -1;
    int error_ = 0;
    std::array<char, 1 << 16> buffer_{};
  };

  Sink sink_;
  std::ostream stream_;
};

// The cause of a failed opening or write, in Spanish without accents, such as
// "no queda espacio en el dispositivo".
std::string reportErrorCause(int errorNumber);

}  // namespace rxc
