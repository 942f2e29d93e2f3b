#include "system/process_signals.h"

#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <stdexcept>

namespace rxc {
namespace {

constexpr std::size_t kPathBytes = 4096;
// SIGXCPU is what a CPU time limit (`ulimit -t`) sends first.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXCPU};
constexpr int kSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// What a signal has to move. `armed` is written last when arming and first
// when disarming, so the handler never reads a path being copied.
struct PendingMove {
  char temporary[kPathBytes];
  char target[kPathBytes];
  char lock[kPathBytes];
  std::atomic<int> armed;
};

PendingMove pendingMove;
std::atomic<bool> guardExists{false};
struct sigaction foundActions[kSignalCount];

// Only async-signal-safe calls: rename, unlink, sigaction, raise. The signal
// is blocked while the handler runs, so the raised one is delivered, with its
// default action, as the handler returns.
extern "C" void moveReportThenEnd(int signalNumber) {
  if (pendingMove.armed.load() != 0) {
    ::rename(pendingMove.temporary, pendingMove.target);
    ::unlink(pendingMove.lock);
  }
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ::sigemptyset(&byDefault.sa_mask);
  ::sigaction(signalNumber, &byDefault, nullptr);
  ::raise(signalNumber);
}

void ignoreSignal(int signalNumber) {
  struct sigaction ignored {};
  ignored.sa_handler = SIG_IGN;
  ::sigemptyset(&ignored.sa_mask);
  ::sigaction(signalNumber, &ignored, nullptr);
}

bool copyPath(char (&into)[kPathBytes], const std::string& path) {
  if (path.size() >= kPathBytes) return false;
  std::memcpy(into, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

void ignoreWriteSignals() {
  ignoreSignal(SIGPIPE);
  ignoreSignal(SIGXFSZ);
}

InterruptionGuard::InterruptionGuard() {
  if (guardExists.exchange(true)) throw std::logic_error("a second InterruptionGuard");
  struct sigaction handler {};
  handler.sa_handler = moveReportThenEnd;
  ::sigemptyset(&handler.sa_mask);
  for (int signalNumber : kEndingSignals) ::sigaddset(&handler.sa_mask, signalNumber);
  for (int k = 0; k < kSignalCount; ++k) {
    ::sigaction(kEndingSignals[k], nullptr, &foundActions[k]);
    if (foundActions[k].sa_handler == SIG_IGN) continue;
    ::sigaction(kEndingSignals[k], &handler, nullptr);
  }
}

InterruptionGuard::~InterruptionGuard() {
  disarm();
  for (int k = 0; k < kSignalCount; ++k) ::sigaction(kEndingSignals[k], &foundActions[k], nullptr);
  guardExists.store(false);
}

bool InterruptionGuard::arm(const std::string& temporary, const std::string& target,
                            const std::string& lock) {
  pendingMove.armed.store(0);
  if (!copyPath(pendingMove.temporary, temporary) || !copyPath(pendingMove.target, target) ||
      !copyPath(pendingMove.lock, lock)) {
    return false;
  }
  pendingMove.armed.store(1);
  return true;
}

void InterruptionGuard::disarm() { pendingMove.armed.store(0); }

}  // namespace rxc
