// The built program run as a process of its own, for what only a whole process
// shows: closed standard streams. Each run gets a fresh temporary directory,
// where res.txt is written.
#include <fcntl.h>
#include <gtest/gtest.h>
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
#include <tuple>

namespace rxc {
namespace {

namespace fs = std::filesystem;

// The 2 x 3 example: option C with L = 0 and U the observed table 3 1 1 /
// 0 6 6, T1 = T2 = 2, and ENTER at the end.
const std::string kFisherRun = "2\n3\n5\n12\n3\n7\n7\nC\nN\n0\nY\n3\n1\n1\n0\n6\n6\n2\n2\n\n";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
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

 private:
  fs::path path_;
};

// Where the program's standard output and standard error go.
enum class Stream { kToFile, kClosed };

struct Finished {
  int status = -1;  // exit status; -1 when the program did not exit by itself
  std::string out;  // stdout.txt, when stdout went to a file
  std::string err;  // stderr.txt, likewise
  std::string report;
};

// Waits for `pid` up to `limit`; kills it when it takes longer. The exit
// status, or -1 after a kill or a signal.
int waitFor(pid_t pid, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int raw = 0;
  while (::waitpid(pid, &raw, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &raw, 0);
      ADD_FAILURE() << "the program did not end in " << limit.count() << " s";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Runs the program in `dir` with `input` on its standard input.
Finished runProgram(const RunDirectory& dir, const std::string& input, Stream out, Stream err) {
  writeFile(dir / "stdin.txt", input);
  const std::string directory = dir.path().string();
  const std::string in = (dir / "stdin.txt").string();
  const std::string outPath = (dir / "stdout.txt").string();
  const std::string errPath = (dir / "stderr.txt").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only calls that are safe between fork and exec.
    if (::chdir(directory.c_str()) != 0) ::_exit(126);
    const int inFd = ::open(in.c_str(), O_RDONLY);
    ::dup2(inFd, 0);
    ::close(inFd);
    for (const auto& [fd, stream, path] :
         {std::tuple{1, out, outPath.c_str()}, std::tuple{2, err, errPath.c_str()}}) {
      if (stream == Stream::kClosed) {
        ::close(fd);
      } else {
        const int file = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(file, fd);
        ::close(file);
      }
    }
    ::execl(RXC_BINARY, "rxc", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  Finished done;
  done.status = waitFor(pid, std::chrono::seconds(60));
  done.out = readFile(dir / "stdout.txt");
  done.err = readFile(dir / "stderr.txt");
  done.report = readFile(dir / "res.txt");
  return done;
}

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
    const Finished open = runProgram(reference, c.input, Stream::kToFile, Stream::kToFile);
    const Finished run = runProgram(closed, c.input, c.out, c.err);
    EXPECT_EQ(open.status, c.status) << c.why;
    EXPECT_EQ(run.status, c.status) << c.why;
    EXPECT_FALSE(open.report.empty()) << c.why;
    EXPECT_EQ(run.report, open.report) << c.why;
  }
}

}  // namespace
}  // namespace rxc
