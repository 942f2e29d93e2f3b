// The built program run as a process of its own, for what only a whole process
// shows: closed standard streams, a report on a full device or past the file
// size limit, a console closed early, signals during a long pass, two runs in
// one folder, and the progress bar on a terminal. Each test gets a fresh
// temporary directory, where res.txt is written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

namespace rxc {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The 2 x 3 example: option C with L = 0 and U the observed table 3 1 1 /
// 0 6 6, T1 = T2 = 2, and ENTER at the end.
const std::string kFisherRun = "2\n3\n5\n12\n3\n7\n7\nC\nN\n0\nY\n3\n1\n1\n0\n6\n6\n2\n2\n\n";

// A pass of a second or so: Fisher's test on 4 x 4 with every marginal 50
// (2.7e12 tables), the observed table 20 10 12 8 / 9 18 11 12 / 12 10 16 12 /
// 9 12 11 18, T1 = T2 = 0; its walk decides and merges some 250,000 subtrees
// near the observed table's probability. Tests end it as soon as its
// progress bar starts.
const std::string kLongRun =
    "4\n4\n50\n50\n50\n50\n50\n50\n50\n50\nC\nN\n0\nY\n"
    "20\n10\n12\n8\n9\n18\n11\n12\n12\n10\n16\n12\n9\n12\n11\n18\n0\n0\n\n";
const std::string kLongRunHead =
    "\r\n\r\n  DISTRIBUCI\xD3N DE PROBABILIDAD DE LAS TABLAS 4x4 CON MARGINALES FIJOS,\r\n"
    "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.\r\n\r\n"
    "  Marginales filas:     50,  50,  50,  50\r\n"
    "  Marginales columnas:  50,  50,  50,  50\r\n\r\n\r\n";

// A pass of several seconds (4.3 s or more on the project machine): Fisher's
// test on 5 x 5 with every marginal 20, the observed table 8 4 3 2 3 /
// 3 7 5 3 2 / 4 3 6 4 3 / 2 5 3 7 3 / 3 1 3 4 9, T1 = T2 = 0.
const std::string kSecondsRun =
    "5\n5\n20\n20\n20\n20\n20\n20\n20\n20\n20\n20\nC\nN\n0\nY\n"
    "8\n4\n3\n2\n3\n3\n7\n5\n3\n2\n4\n3\n6\n4\n3\n2\n5\n3\n7\n3\n3\n1\n3\n4\n9\n0\n0\n\n";
const std::string kSecondsRunHead =
    "\r\n\r\n  DISTRIBUCI\xD3N DE PROBABILIDAD DE LAS TABLAS 5x5 CON MARGINALES FIJOS,\r\n"
    "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.\r\n\r\n"
    "  Marginales filas:     20,  20,  20,  20,  20\r\n"
    "  Marginales columnas:  20,  20,  20,  20,  20\r\n\r\n\r\n";

const std::string kProgressStart = " Progreso de los calculos:\n 0%";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A directory of its own for one run, removed afterwards.
class RunDirectory {
 public:
  RunDirectory() {
    std::string pattern = (fs::temp_directory_path() / "rxc_process_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~RunDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  RunDirectory(const RunDirectory&) = delete;
  RunDirectory& operator=(const RunDirectory&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const char* name) const { return path_ / name; }
  std::string report() const { return readFile(path_ / "res.txt"); }

 private:
  fs::path path_;
};

// Where the program's standard output or standard error goes: a file of the
// run's directory, nowhere (closed), or a pipe the test reads as it runs.
enum class Stream { kToFile, kClosed, kToPipe };

struct Launch {
  Stream out = Stream::kToFile;
  Stream err = Stream::kToFile;
  // RLIMIT_FSIZE in bytes; 0 for no limit. With `sizeSignalIgnored` the
  // child ignores SIGXFSZ before it starts the program; otherwise the program
  // starts with the signal's default action, which kills the process.
  rlim_t fileSizeLimit = 0;
  bool sizeSignalIgnored = true;
  // The answers through a pipe the test writes to (send()), not from a file.
  bool answersThroughPipe = false;
  // That pipe left non-blocking, as some programs that start others leave it.
  bool answersNonBlocking = false;
  // The run's directory itself as the standard input, which cannot be read.
  bool inputIsDirectory = false;
  // Prefix of the run's stdin, stdout and stderr files, so that two runs can
  // share a directory.
  const char* tag = "";
  // The umask the program starts with; negative: the test's own.
  int umask = -1;
  // SIGHUP ignored when the program starts, as nohup starts it.
  bool hangUpIgnored = false;
  // RLIMIT_STACK in bytes, as `ulimit -s` sets it; 0 for the test's own.
  rlim_t stackLimit = 0;
  // Its hard limit, when it differs (as `ulimit -S -s` leaves it); 0: the same.
  rlim_t stackHardLimit = 0;
  // RLIMIT_CPU in seconds, soft (SIGXCPU) and hard (SIGKILL); 0 for none.
  rlim_t cpuSeconds = 0;
  rlim_t cpuHardSeconds = 0;
};

// How a child ended.
struct Ending {
  bool exited = false;
  int status = -1;  // exit status, when it exited
  int signal = 0;   // the signal that ended it, otherwise
};

// Waits for `pid` up to `limit`; kills it when it takes longer.
Ending waitFor(pid_t pid, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  int raw = 0;
  while (::waitpid(pid, &raw, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &raw, 0);
      ADD_FAILURE() << "the program did not end in " << limit.count() << " s";
      return {};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (WIFEXITED(raw)) return {true, WEXITSTATUS(raw), 0};
  return {false, -1, WIFSIGNALED(raw) ? WTERMSIG(raw) : 0};
}

// The child's side, between fork and exec: only calls that are safe there.
// The signals a test sends get their default action back, whatever the test
// runner's own dispositions are.
[[noreturn]] void startProgram(const char* directory, const char* input, const char* outPath,
                               const char* errPath, const Launch& launch, int pipeWrite,
                               int answersRead) {
  if (::chdir(directory) != 0) ::_exit(126);
  const int inFd = answersRead >= 0          ? answersRead
                   : launch.inputIsDirectory ? ::open(directory, O_RDONLY | O_DIRECTORY)
                                             : ::open(input, O_RDONLY);
  ::dup2(inFd, 0);
  ::close(inFd);
  if (launch.answersNonBlocking) ::fcntl(0, F_SETFL, ::fcntl(0, F_GETFL) | O_NONBLOCK);
  const int targets[] = {1, 2};
  const Stream streams[] = {launch.out, launch.err};
  const char* paths[] = {outPath, errPath};
  for (int k = 0; k < 2; ++k) {
    if (streams[k] == Stream::kClosed) {
      ::close(targets[k]);
    } else if (streams[k] == Stream::kToPipe) {
      ::dup2(pipeWrite, targets[k]);
    } else {
      const int file = ::open(paths[k], O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(file, targets[k]);
      ::close(file);
    }
  }
  if (pipeWrite > 2) ::close(pipeWrite);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ, SIGXCPU}) ::signal(sig, SIG_DFL);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  if (launch.fileSizeLimit > 0) {
    if (launch.sizeSignalIgnored) ::signal(SIGXFSZ, SIG_IGN);  // survives exec
    const rlimit limit{launch.fileSizeLimit, launch.fileSizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (launch.stackLimit > 0) {
    const rlim_t hard = launch.stackHardLimit > 0 ? launch.stackHardLimit : launch.stackLimit;
    const rlimit limit{launch.stackLimit, hard};
    ::setrlimit(RLIMIT_STACK, &limit);
  }
  if (launch.cpuSeconds > 0) {
    const rlimit limit{launch.cpuSeconds, launch.cpuHardSeconds};
    ::setrlimit(RLIMIT_CPU, &limit);
    const rlimit noCore{0, 0};  // SIGXCPU's default action dumps a core
    ::setrlimit(RLIMIT_CORE, &noCore);
  }
  if (launch.umask >= 0) ::umask(static_cast<mode_t>(launch.umask));
  if (launch.hangUpIgnored) ::signal(SIGHUP, SIG_IGN);
  ::execl(RXC_BINARY, "rxc", static_cast<char*>(nullptr));
  ::_exit(127);
}

// A run of the program in `dir` with `input` on its standard input.
class Child {
 public:
  Child(const RunDirectory& dir, const std::string& input, const Launch& launch = {}) {
    const std::string tag = launch.tag;
    std::ofstream(dir.path() / (tag + "stdin.txt"), std::ios::binary) << input;
    const std::string directory = dir.path().string();
    const std::string in = (dir.path() / (tag + "stdin.txt")).string();
    const std::string outPath = (dir.path() / (tag + "stdout.txt")).string();
    const std::string errPath = (dir.path() / (tag + "stderr.txt")).string();
    int pipeFds[2] = {-1, -1};
    if ((launch.out == Stream::kToPipe || launch.err == Stream::kToPipe) &&
        ::pipe2(pipeFds, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe");
    }
    int answerFds[2] = {-1, -1};
    if (launch.answersThroughPipe && ::pipe2(answerFds, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe");
    }
    pid_ = ::fork();
    if (pid_ == 0) {
      startProgram(directory.c_str(), in.c_str(), outPath.c_str(), errPath.c_str(), launch,
                   pipeFds[1], answerFds[0]);
    }
    if (pipeFds[1] >= 0) ::close(pipeFds[1]);
    if (answerFds[0] >= 0) ::close(answerFds[0]);
    pipe_ = pipeFds[0];
    answers_ = answerFds[1];
  }
  ~Child() {
    if (pipe_ >= 0) ::close(pipe_);
    if (answers_ >= 0) ::close(answers_);
    if (!ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }

  // Writes answers to the program's standard input (answersThroughPipe).
  void send(const std::string& text) {
    const ssize_t written = ::write(answers_, text.data(), text.size());
    EXPECT_EQ(written, static_cast<ssize_t>(text.size()));
  }
  int answersFd() const { return answers_; }
  // Closes the test's end of the console pipe, as a reader that leaves does.
  void closeConsole() {
    ::close(pipe_);
    pipe_ = -1;
  }
  Ending wait(std::chrono::seconds limit = std::chrono::seconds(60)) {
    ended_ = true;
    return waitFor(pid_, limit);
  }

  // Reads the pipe until what came through it contains `text`; false when
  // the pipe ends or `limit` passes first. `seen` keeps everything read.
  bool readUntil(const std::string& text, std::string& seen, std::chrono::seconds limit) {
    return readFdUntil(pipe_, text, seen, limit);
  }

  // Everything that comes through the pipe until the program closes it.
  std::string readToEnd(std::chrono::seconds limit) {
    std::string seen;
    readFdUntil(pipe_, std::string(1, '\0'), seen, limit);
    return seen;
  }

  static bool readFdUntil(int fd, const std::string& text, std::string& seen,
                          std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    while (seen.find(text) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got <= 0) return seen.find(text) != std::string::npos;
      seen.append(buffer, static_cast<size_t>(got));
    }
    return true;
  }

 private:
  pid_t pid_ = -1;
  int pipe_ = -1;
  int answers_ = -1;
  bool ended_ = false;
};

// SIGPIPE ignored in the test while it lives: a program that ends early
// closes its end of the answers' pipe, and the test's next write to it must
// then fail, not end the test.
class SigpipeIgnored {
 public:
  SigpipeIgnored() {
    struct sigaction ignored {};
    ignored.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignored, &found_);
  }
  ~SigpipeIgnored() { ::sigaction(SIGPIPE, &found_, nullptr); }
  SigpipeIgnored(const SigpipeIgnored&) = delete;
  SigpipeIgnored& operator=(const SigpipeIgnored&) = delete;

 private:
  struct sigaction found_ {};
};

TEST(ClosedStandardStreams, ReportIsTheSameWithStdoutOrStderrClosed) {
  // A whole run with standard output closed, and one that ends on unreadable
  // input (its message goes to standard error) with standard error closed:
  // res.txt must hold exactly what it holds when both streams are open.
  const std::string endsEarly = "2\n3\n5\n12\n3\n7\n7\nC\nN\n0\nY\n3\n1\n";
  const struct {
    const char* why;
    std::string input;
    Stream out, err;
    int status;
  } cases[] = {
      {"stdout closed", kFisherRun, Stream::kClosed, Stream::kToFile, 0},
      {"stderr closed", endsEarly, Stream::kToFile, Stream::kClosed, 2},
      {"both closed", endsEarly, Stream::kClosed, Stream::kClosed, 2},
  };
  for (const auto& c : cases) {
    RunDirectory reference, closed;
    const Ending open = Child(reference, c.input).wait();
    const Ending run = Child(closed, c.input, {c.out, c.err}).wait();
    EXPECT_EQ(open.status, c.status) << c.why;
    EXPECT_EQ(run.status, c.status) << c.why;
    EXPECT_FALSE(reference.report().empty()) << c.why;
    EXPECT_EQ(closed.report(), reference.report()) << c.why;
  }
}

TEST(ReportWriteFailure, FullDeviceOrFileSizeLimitEndsWithStatus3AndTheCause) {
  // res.txt as a link to /dev/full: every write is refused.
  RunDirectory full;
  fs::create_symlink("/dev/full", full / "res.txt");
  const Ending fullEnd = Child(full, kFisherRun).wait();
  EXPECT_TRUE(fullEnd.exited);
  EXPECT_EQ(fullEnd.status, 3);
  EXPECT_EQ(readFile(full / "stderr.txt"),
            "Error: no se puede escribir el fichero res.txt: no queda espacio en el "
            "dispositivo\n");
  EXPECT_EQ(readFile(full / "stdout.txt").find("Ver resultados"), std::string::npos);

  // A file size limit of 1000 bytes: the head (241 bytes) is written, the
  // results section is not. The run has gone through the whole pass. (The
  // console goes through a pipe, which the limit does not touch.)
  RunDirectory limited;
  Child child(limited, kFisherRun, {.out = Stream::kToPipe, .fileSizeLimit = 1000});
  const std::string console = child.readToEnd(std::chrono::seconds(60));
  const Ending limitedEnd = child.wait();
  EXPECT_TRUE(limitedEnd.exited);
  EXPECT_EQ(limitedEnd.status, 3);
  EXPECT_EQ(readFile(limited / "stderr.txt"),
            "Error: no se puede escribir el fichero res.txt: el fichero es demasiado grande\n");
  EXPECT_NE(console.find("Numero total de tablas 2x3 de la distribucion = 18"), std::string::npos)
      << console;
  EXPECT_EQ(console.find("Ver resultados"), std::string::npos);
  EXPECT_EQ(limited.report().size(), 1000u);
}

TEST(ReportWriteFailure, FileSizeLimitWithItsSignalAtTheDefaultStillEndsWithStatus3) {
  // Started with SIGXFSZ at its default action (as a shell's `ulimit -f`
  // leaves it), the program ignores the signal itself: the write past the
  // limit fails, and the run ends as above rather than killed in silence.
  RunDirectory dir;
  Child child(dir, kFisherRun,
              {.out = Stream::kToPipe, .fileSizeLimit = 1000, .sizeSignalIgnored = false});
  child.readToEnd(std::chrono::seconds(60));
  const Ending end = child.wait();
  EXPECT_TRUE(end.exited) << "signal " << end.signal;
  EXPECT_EQ(end.status, 3);
  EXPECT_EQ(readFile(dir / "stderr.txt"),
            "Error: no se puede escribir el fichero res.txt: el fichero es demasiado grande\n");
  EXPECT_EQ(dir.report().size(), 1000u);
}

TEST(Interruption, SignalDuringALongPassLeavesTheCompleteHead) {
  // Once the progress bar has started, the head was written out: a signal
  // that ends the run there leaves it in res.txt.
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    RunDirectory dir;
    Child child(dir, kLongRun, {.out = Stream::kToPipe});
    std::string seen;
    ASSERT_TRUE(child.readUntil(kProgressStart, seen, std::chrono::seconds(60))) << seen;
    ::kill(child.pid(), sig);
    const Ending end = child.wait();
    EXPECT_FALSE(end.exited) << sig;
    EXPECT_EQ(end.signal, sig);
    EXPECT_EQ(dir.report(), kLongRunHead) << sig;
    EXPECT_FALSE(fs::exists(dir / "res.txt.tmp")) << sig;
    EXPECT_FALSE(fs::exists(dir / "res.txt.lock")) << sig;
  }
}

TEST(Interruption, ACpuTimeLimitLeavesTheCompleteHeadToo) {
  // `ulimit -t`: the system sends SIGXCPU at the soft limit (here one second
  // of the pass) and kills at the hard one; the first puts the head in place.
  RunDirectory dir;
  Child child(dir, kSecondsRun, {.cpuSeconds = 1, .cpuHardSeconds = 30});
  const Ending end = child.wait();
  EXPECT_FALSE(end.exited);
  EXPECT_EQ(end.signal, SIGXCPU);
  EXPECT_EQ(dir.report(), kSecondsRunHead);
  EXPECT_FALSE(fs::exists(dir / "res.txt.tmp"));
  EXPECT_FALSE(fs::exists(dir / "res.txt.lock"));
}

TEST(Interruption, ASignalIgnoredAtStartStaysIgnored) {
  // Started as nohup starts it, the program does not end on SIGHUP; SIGTERM
  // still ends it with the head in place.
  RunDirectory dir;
  Child child(dir, kLongRun, {.out = Stream::kToPipe, .hangUpIgnored = true});
  std::string seen;
  ASSERT_TRUE(child.readUntil(kProgressStart, seen, std::chrono::seconds(60))) << seen;
  ::kill(child.pid(), SIGHUP);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(::waitpid(child.pid(), nullptr, WNOHANG), 0);
  ::kill(child.pid(), SIGTERM);
  EXPECT_EQ(child.wait().signal, SIGTERM);
  EXPECT_EQ(dir.report(), kLongRunHead);
}

TEST(Interruption, KilledRunLeavesThePreviousReportAndTheNextRunClearsUp) {
  // SIGKILL cannot be caught: the run's temporary file stays beside the
  // previous report, which is untouched. The next run replaces both.
  RunDirectory dir, reference;
  ASSERT_EQ(Child(reference, kFisherRun).wait().status, 0);
  const std::string previous = "  previous report\r\n";
  std::ofstream(dir / "res.txt", std::ios::binary) << previous;
  Child killed(dir, kLongRun, {.out = Stream::kToPipe});
  std::string seen;
  ASSERT_TRUE(killed.readUntil(kProgressStart, seen, std::chrono::seconds(60))) << seen;
  ::kill(killed.pid(), SIGKILL);
  EXPECT_EQ(killed.wait().signal, SIGKILL);
  EXPECT_EQ(dir.report(), previous);
  EXPECT_EQ(readFile(dir / "res.txt.tmp"), kLongRunHead);

  const Ending next = Child(dir, kFisherRun, {.tag = "next-"}).wait();
  EXPECT_EQ(next.status, 0);
  EXPECT_EQ(dir.report(), reference.report());
  EXPECT_FALSE(fs::exists(dir / "res.txt.tmp"));
  EXPECT_FALSE(fs::exists(dir / "res.txt.lock"));
}

TEST(TwoRuns, ASecondRunInTheFolderIsRefusedAtOnce) {
  // While a long run writes its report, a second one in the same folder asks
  // nothing and ends with status 3; the first one's report, the previous one
  // until it ends, is not touched. Once it has ended, a run goes ahead.
  RunDirectory dir, reference;
  ASSERT_EQ(Child(reference, kFisherRun).wait().status, 0);
  const std::string previous = "  previous report\r\n";
  std::ofstream(dir / "res.txt", std::ios::binary) << previous;
  Child first(dir, kLongRun, {.out = Stream::kToPipe});
  std::string seen;
  ASSERT_TRUE(first.readUntil(kProgressStart, seen, std::chrono::seconds(60))) << seen;

  const Ending refused = Child(dir, kFisherRun, {.tag = "second-"}).wait();
  EXPECT_TRUE(refused.exited);
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(readFile(dir / "second-stderr.txt"),
            "Error: otra ejecucion de rxc esta escribiendo el fichero res.txt\n");
  EXPECT_EQ(readFile(dir / "second-stdout.txt"), "");
  EXPECT_EQ(dir.report(), previous);
  EXPECT_EQ(readFile(dir / "res.txt.tmp"), kLongRunHead);

  ::kill(first.pid(), SIGTERM);
  EXPECT_EQ(first.wait().signal, SIGTERM);
  EXPECT_EQ(dir.report(), kLongRunHead);
  const Ending third = Child(dir, kFisherRun, {.tag = "third-"}).wait();
  EXPECT_EQ(third.status, 0);
  EXPECT_EQ(dir.report(), reference.report());
}

TEST(ReportModes, ANewReportTakesTheUmaskAndAReplacedOneKeepsItsMode) {
  RunDirectory dir;
  EXPECT_EQ(Child(dir, kFisherRun, {.umask = 027}).wait().status, 0);
  EXPECT_EQ(fs::status(dir / "res.txt").permissions(), fs::perms(0640));
  fs::permissions(dir / "res.txt", fs::perms(0604));
  EXPECT_EQ(Child(dir, kFisherRun, {.umask = 077}).wait().status, 0);
  EXPECT_EQ(fs::status(dir / "res.txt").permissions(), fs::perms(0604));
}

TEST(ClosedConsole, TheRunGoesOnToACompleteReportAndEndsWithStatus4) {
  // The console's reader leaves after the estimate (as `rxc < answers |
  // head -c 100` does): the program is not ended by SIGPIPE, reads the rest
  // of its answers, writes the same report as with an open console, and
  // says on standard error that the console was closed.
  RunDirectory reference, closed;
  ASSERT_EQ(Child(reference, kFisherRun).wait().status, 0);
  // A program ended by SIGPIPE would close its end of the answers' pipe.
  const SigpipeIgnored sigpipeIgnored;
  Child child(closed, "", {.out = Stream::kToPipe, .answersThroughPipe = true});
  const std::string marginals = "2\n3\n5\n12\n3\n7\n7\n";
  child.send(marginals);
  std::string seen;
  EXPECT_TRUE(child.readUntil("Numero aproximado", seen, std::chrono::seconds(60))) << seen;
  EXPECT_GE(seen.size(), 100u);
  child.closeConsole();
  child.send(kFisherRun.substr(marginals.size()));
  const Ending end = child.wait();
  EXPECT_TRUE(end.exited) << "signal " << end.signal;
  EXPECT_EQ(end.status, 4);
  EXPECT_EQ(readFile(closed / "stderr.txt"),
            "Error: la consola se cerro antes del final; el informe res.txt esta completo\n");
  EXPECT_EQ(closed.report(), reference.report());
}

// The input is read from its descriptor: a failed read is told apart from
// the end of the input, and a descriptor left non-blocking is waited for
// instead of ending the run at the first question as if the input had ended.
TEST(ConsoleInput, AFailedReadSaysWhyAndANonBlockingInputIsWaitedFor) {
  RunDirectory unreadable;
  const Ending refused = Child(unreadable, "", {.inputIsDirectory = true}).wait();
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(readFile(unreadable / "stderr.txt"),
            "Error de lectura: no se puede leer la entrada: es un directorio\n");

  RunDirectory reference, waited;
  ASSERT_EQ(Child(reference, kFisherRun).wait().status, 0);
  // A program that took the empty pipe for the end would close it.
  const SigpipeIgnored sigpipeIgnored;
  Child child(waited, "", {.answersThroughPipe = true, .answersNonBlocking = true});
  // Each answer after the program has found the pipe empty.
  for (std::size_t start = 0; start < kFisherRun.size();) {
    const std::size_t end = kFisherRun.find('\n', start) + 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(start == 0 ? 200 : 5));
    const std::string answer = kFisherRun.substr(start, end - start);
    if (::write(child.answersFd(), answer.data(), answer.size()) < 0) break;
    start = end;
  }
  const Ending end = child.wait();
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(readFile(waited / "stderr.txt"), "");
  EXPECT_EQ(waited.report(), reference.report());
}

TEST(ProgressOnATerminal, MarksAppearWhileThePassRuns) {
  // The program on a pseudo-terminal, as a user watching it sees it: the
  // first mark must come through while the pass is still running.
  RunDirectory dir;
  int master = -1;
  const std::string directory = dir.path().string();
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) GTEST_SKIP() << "no pseudo-terminal on this machine";
  if (pid == 0) {
    if (::chdir(directory.c_str()) != 0) ::_exit(126);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
    ::execl(RXC_BINARY, "rxc", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The answers are typed on the terminal; its echo shows them back.
  const ssize_t typed = ::write(master, kLongRun.data(), kLongRun.size());
  EXPECT_EQ(typed, static_cast<ssize_t>(kLongRun.size()));
  std::string seen;
  const bool marked = Child::readFdUntil(master, "****10%", seen, std::chrono::seconds(120));
  int raw = 0;
  const bool running = ::waitpid(pid, &raw, WNOHANG) == 0;
  EXPECT_TRUE(marked) << seen;
  EXPECT_TRUE(running);
  EXPECT_EQ(seen.find("100%"), std::string::npos) << seen;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &raw, 0);
  ::close(master);
}

// The run's own frames take some 90 KiB of stack: under a smaller limit it
// used to die of a segmentation fault before its first question, with no
// word. A soft limit is raised to what the run needs; a hard limit below it
// ends the run at once, saying why.
TEST(StackLimit, ASoftLimitTooSmallIsRaisedAndAHardOneEndsTheRunWithItsReason) {
  RunDirectory raised;
  Child soft(raised, kFisherRun, {.stackLimit = 64 << 10, .stackHardLimit = RLIM_INFINITY});
  const Ending softEnd = soft.wait();
  EXPECT_TRUE(softEnd.exited) << "signal " << softEnd.signal;
  EXPECT_EQ(softEnd.status, 0);
  EXPECT_NE(raised.report().find("p-Value de la tabla observada introducida = "
                                 "0.21493212669683D-01"),
            std::string::npos)
      << raised.report();

  RunDirectory refused;
  const Ending hardEnd = Child(refused, kFisherRun, {.stackLimit = 64 << 10}).wait();
  EXPECT_TRUE(hardEnd.exited) << "signal " << hardEnd.signal;
  EXPECT_EQ(hardEnd.status, 1);
  EXPECT_EQ(readFile(refused / "stderr.txt"),
            "Error: el limite de pila del proceso (ulimit -s) es de 64 KiB; rxc necesita al "
            "menos 256 KiB\n");
  EXPECT_EQ(readFile(refused / "stdout.txt"), "");
  EXPECT_FALSE(fs::exists(refused / "res.txt"));
}

// Fisher's test on 21 x 100 (rows 10 x 19, 9 and 1; columns of 2): the
// network walk would recurse once per interior cell, 1980 levels, some 2 MB
// of stack. Under `ulimit -s 1024` the run leaves it to the enumeration's
// walk, which it is still on a second after its progress bar starts, instead
// of dying of a stack overflow.
#if defined(__SANITIZE_ADDRESS__)
#define RXC_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RXC_ADDRESS_SANITIZER 1
#endif
#endif

TEST(StackLimit, ADeepFisherTestUnderASmallStackKeepsRunning) {
#ifdef RXC_ADDRESS_SANITIZER
  // The sanitizer's frames are several times larger: the completion
  // counter's own recursion needs more than this limit there.
  GTEST_SKIP();
#endif
  std::string input = "21\n100\n";
  for (int i = 0; i < 21; ++i) input += i < 19 ? "10\n" : i == 19 ? "9\n" : "1\n";
  for (int j = 0; j < 100; ++j) input += "2\n";
  input += "C\nN\n0\nY\n";
  // Column j holds 1 in rows 2j and 2j + 1 (mod 20); the last one's second
  // goes to row 20.
  std::vector<int> cells(21 * 100, 0);
  for (int j = 0; j < 100; ++j) {
    ++cells[static_cast<size_t>((2 * j) % 20 * 100 + j)];
    ++cells[static_cast<size_t>((j == 99 ? 20 : (2 * j + 1) % 20) * 100 + j)];
  }
  for (int v : cells) input += std::to_string(v) + "\n";
  input += "2\n2\n\n";
  RunDirectory dir;
  Child child(dir, input, {.out = Stream::kToPipe, .stackLimit = rlim_t{1} << 20});
  std::string seen;
  ASSERT_TRUE(child.readUntil(kProgressStart, seen, std::chrono::seconds(60))) << seen;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(::waitpid(child.pid(), nullptr, WNOHANG), 0) << "the run ended early";
  ::kill(child.pid(), SIGTERM);
  EXPECT_EQ(child.wait().signal, SIGTERM);
}

}  // namespace
}  // namespace rxc
