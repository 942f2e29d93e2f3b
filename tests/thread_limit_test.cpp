// The built program where the system refuses it any thread: the passes run on
// the calling thread and the console and the report are those of a run that
// had its threads.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "system/processors.h"

namespace rxc {
namespace {

namespace fs = std::filesystem;

// Fisher's test on 4 x 4 with every marginal 12 (20,158,246 tables, some
// tenths of a second on one thread): long enough that the pass goes past
// the time it walks alone and starts its workers.
const std::string kFisher4x4Run =
    "4\n4\n12\n12\n12\n12\n12\n12\n12\n12\nC\nN\n0\nY\n"
    "3\n3\n3\n3\n3\n3\n3\n3\n3\n3\n3\n3\n3\n3\n3\n3\n2\n2\n\n";

// Exit statuses of the child before the program starts.
constexpr int kNoDirectory = 120;
constexpr int kNoUnprivilegedUser = 121;
constexpr int kNoLimit = 122;
constexpr int kNoProgram = 123;

std::string readWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct LimitedRun {
  int status = -1;  // exit status; -1 when the program did not exit
  std::string console;
  std::string errors;
  std::string report;
};

// The child's side, between fork and exec. A limit on processes binds an
// unprivileged user only, so a privileged test runs the program as nobody.
[[noreturn]] void startWithoutThreads(const char* directory, bool refuseThreads) {
  if (::chdir(directory) != 0) ::_exit(kNoDirectory);
  const int in = ::open("stdin.txt", O_RDONLY);
  const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0) ::_exit(kNoDirectory);
  ::dup2(in, 0);
  ::dup2(out, 1);
  ::dup2(err, 2);
  if (::geteuid() == 0) {
    constexpr uid_t kNobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
      ::_exit(kNoUnprivilegedUser);
    }
  }
  if (refuseThreads) {
    // This process is the user's first: it may create no other.
    const rlimit one{1, 1};
    if (::setrlimit(RLIMIT_NPROC, &one) != 0) ::_exit(kNoLimit);
#if defined(__SANITIZE_ADDRESS__)
    // The leak check at exit runs in a task of its own, which the limit refuses.
    ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
#endif
  }
  ::execl(RXC_BINARY, "rxc", static_cast<char*>(nullptr));
  ::_exit(kNoProgram);
}

// Runs the program in a directory of its own with `input`.
LimitedRun runProgramProcess(const std::string& input, bool refuseThreads) {
  std::string pattern = (fs::temp_directory_path() / "rxc_threads_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  const fs::path dir = pattern;
  ::chmod(pattern.c_str(), 0777);  // for nobody, when the test is privileged
  std::ofstream(dir / "stdin.txt", std::ios::binary) << input;
  const pid_t pid = ::fork();
  if (pid == 0) startWithoutThreads(pattern.c_str(), refuseThreads);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  LimitedRun run;
  if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
  run.console = readWholeFile(dir / "stdout.txt");
  run.errors = readWholeFile(dir / "stderr.txt");
  run.report = readWholeFile(dir / "res.txt");
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return run;
}

TEST(ThreadLimit, RunWithoutThreadsWritesTheSameConsoleAndReport) {
  if (availableProcessors() < 2) GTEST_SKIP() << "one processor: the run starts no thread";
  const LimitedRun unlimited = runProgramProcess(kFisher4x4Run, false);
  if (unlimited.status >= kNoDirectory && unlimited.status <= kNoProgram) {
    GTEST_SKIP() << "cannot run the program unprivileged here (status " << unlimited.status << ")";
  }
  ASSERT_EQ(unlimited.status, 0) << unlimited.errors;
  const LimitedRun limited = runProgramProcess(kFisher4x4Run, true);
  ASSERT_NE(limited.status, kNoLimit);
  EXPECT_EQ(limited.status, 0) << limited.errors;
  EXPECT_EQ(limited.errors, "");
  EXPECT_EQ(limited.console, unlimited.console);
  EXPECT_EQ(limited.report, unlimited.report);
}

}  // namespace
}  // namespace rxc
