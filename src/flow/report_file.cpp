#include "flow/report_file.h"

#include <unistd.h>

#include <cerrno>

namespace rxc {

ReportFile::ReportFile(const std::string& path, InterruptionGuard* guard) : stream_(&sink_) {
  opening_ = placement_.open(path, guard);
  if (opening_ == ReportPlacement::Opening::kOpen) {
    sink_.attach(placement_.takeDescriptor());
  } else if (opening_ == ReportPlacement::Opening::kFailed) {
    sink_.refuse(placement_.error());
  }
  // A write the sink refuses throws from the statement that made it, with the
  // sink's own error rather than a generic stream failure.
  stream_.exceptions(std::ios::badbit);
}

ReportFile::~ReportFile() {
  sink_.closeQuietly();
  placement_.place();
}

void ReportFile::close() {
  // A temporary file reaches the disk before it replaces the previous report,
  // so that a power loss leaves one of the two whole, never an empty file.
  sink_.close(placement_.replacing());
  const int moved = placement_.place();
  if (moved != 0) sink_.fail(moved);
}

ReportFile::Sink::Sink() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

void ReportFile::Sink::fail(int errorNumber) {
  if (error_ == 0) error_ = errorNumber;
  // What the buffer held is lost with the file; nothing is tried again.
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  throw ReportWriteError{error_};
}

void ReportFile::Sink::drain() {
  if (error_ != 0) fail(error_);
  const char* next = pbase();
  std::size_t left = static_cast<std::size_t>(pptr() - pbase());
  if (left > 0 && fd_ < 0) fail(EBADF);
  while (left > 0) {
    const ssize_t written = ::write(fd_, next, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    if (written == 0) fail(EIO);  // no progress and no cause: never loop
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

ReportFile::Sink::int_type ReportFile::Sink::overflow(int_type c) {
  drain();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int ReportFile::Sink::sync() {
  drain();
  return 0;
}

void ReportFile::Sink::close(bool durable) {
  drain();
  const int fd = fd_;
  fd_ = -1;
  if (fd < 0) return;
  int cause = 0;
  if (durable && ::fsync(fd) != 0) cause = errno;
  // Some file systems report a failed write only here. After EINTR the
  // descriptor is released all the same.
  if (::close(fd) != 0 && errno != EINTR && cause == 0) cause = errno;
  if (cause != 0) fail(cause);
}

void ReportFile::Sink::closeQuietly() {
  if (fd_ < 0) return;
  if (error_ == 0) {
    try {
      drain();
    } catch (const ReportWriteError&) {
      // Reported by whoever still asks; a destructor does not.
    }
  }
  ::close(fd_);
  fd_ = -1;
}

std::string reportErrorCause(int errorNumber) {
  switch (errorNumber) {
    case ENOSPC:
      return "no queda espacio en el dispositivo";
    case EDQUOT:
      return "se ha superado la cuota de disco";
    case EFBIG:
      return "el fichero es demasiado grande";
    case EIO:
      return "error de entrada/salida";
    case EROFS:
      return "el sistema de ficheros es de solo lectura";
    case EACCES:
    case EPERM:
      return "permiso denegado";
    case EPIPE:
      return "el otro extremo de la tuberia esta cerrado";
    case ENOENT:
      return "no existe el directorio";
    case EISDIR:
      return "es un directorio";
    case ENOTDIR:
      return "una parte de la ruta no es un directorio";
    case EMFILE:
    case ENFILE:
      return "demasiados ficheros abiertos";
    default:
      return "error del sistema numero " + std::to_string(errorNumber);
  }
}

}  // namespace rxc
