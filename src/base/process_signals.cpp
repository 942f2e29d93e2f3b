#include "base/process_signals.h"

#include <csignal>

namespace rxc {
namespace {

void ignoreSignal(int signalNumber) {
  struct sigaction ignored {};
  ignored.sa_handler = SIG_IGN;
  ::sigemptyset(&ignored.sa_mask);
  ::sigaction(signalNumber, &ignored, nullptr);
}

}  // namespace

void ignoreWriteSignals() {
  ignoreSignal(SIGPIPE);
  ignoreSignal(SIGXFSZ);
}

}  // namespace rxc
