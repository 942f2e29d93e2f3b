// Where the report of an in-process run ends up: res.txt replaced only by a
// whole run's report, the lock that keeps a second run out, what a killed run
// left behind, and the names a user may point elsewhere (a link to a file, a
// device, a FIFO, a file with two names).
#include "flow/report_placement.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "flow/program_flow.h"
#include "support/session_driver.h"
#include "system/file_lock.h"

namespace rxc {
namespace {

namespace fs = std::filesystem;

const std::string kFisherRun = "2\n3\n5\n12\n3\n7\n7\nC\nN\n0\nY\n3\n1\n1\n0\n6\n6\n2\n2\n\n";
const std::string kPrevious = "  previous report\r\n";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder for the test, removed afterwards.
class Folder {
 public:
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "rxc_placement_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  fs::path operator/(const char* name) const { return path_ / name; }
  // The names in the folder, sorted, one a line.
  std::string names() const {
    std::set<std::string> sorted;
    for (const auto& entry : fs::directory_iterator(path_)) {
      sorted.insert(entry.path().filename().string());
    }
    std::string all;
    for (const auto& name : sorted) all += name + "\n";
    return all;
  }

 private:
  fs::path path_;
};

struct PlacedRun {
  int status = -1;
  std::string console;
  std::string errors;
};

PlacedRun runWithReportAt(const fs::path& report, const std::string& input = kFisherRun) {
  std::istringstream in(input);
  std::ostringstream out, err;
  PlacedRun run;
  run.status = runProgram(in, out, err, report.string());
  run.console = out.str();
  run.errors = err.str();
  return run;
}

// The report of the example, from a run of its own.
const std::string& fisherReport() {
  static const std::string report = testing::runSession(kFisherRun).report;
  return report;
}

TEST(ReportPlacement, ARunHeldOutByTheLockAsksNothingAndTouchesNothing) {
  Folder folder;
  const fs::path report = folder / "res.txt";
  writeFile(report, kPrevious);
  FileLock otherRun;
  ASSERT_EQ(otherRun.acquire(reportLockPath(report.string())), FileLock::Outcome::kHeld);
  const PlacedRun refused = runWithReportAt(report);
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(refused.console, "");
  EXPECT_EQ(refused.errors,
            "Error: otra ejecucion de rxc esta escribiendo el fichero " + report.string() + "\n");
  EXPECT_EQ(readFile(report), kPrevious);
  EXPECT_EQ(folder.names(), "res.txt\nres.txt.lock\n");

  // Released (its file removed with it), the next run goes ahead.
  otherRun.release();
  EXPECT_EQ(runWithReportAt(report).status, 0);
  EXPECT_EQ(readFile(report), fisherReport());
  EXPECT_EQ(folder.names(), "res.txt\n");
}

TEST(ReportPlacement, WhatAKilledRunLeftIsReplaced) {
  // Its temporary file (with a mode of its own) and its lock file, no longer
  // locked: the run writes over both and leaves only res.txt.
  Folder folder;
  const fs::path report = folder / "res.txt";
  writeFile(report, kPrevious);
  writeFile(folder / "res.txt.tmp", "half a report of a run that was killed");
  fs::permissions(folder / "res.txt.tmp", fs::perms(0600));
  writeFile(folder / "res.txt.lock", "");
  EXPECT_EQ(runWithReportAt(report).status, 0);
  EXPECT_EQ(readFile(report), fisherReport());
  EXPECT_EQ(folder.names(), "res.txt\n");
}

TEST(ReportPlacement, ALinkToAFileReplacesTheFileAndKeepsTheLink) {
  Folder folder;
  fs::create_directory(folder / "kept");
  writeFile(folder / "kept" / "report.txt", kPrevious);
  fs::permissions(folder / "kept" / "report.txt", fs::perms(0604));
  fs::create_symlink("kept/report.txt", folder / "res.txt");
  EXPECT_EQ(runWithReportAt(folder / "res.txt").status, 0);
  EXPECT_TRUE(fs::is_symlink(folder / "res.txt"));
  EXPECT_EQ(fs::read_symlink(folder / "res.txt"), "kept/report.txt");
  EXPECT_EQ(readFile(folder / "kept" / "report.txt"), fisherReport());
  EXPECT_EQ(fs::status(folder / "kept" / "report.txt").permissions(), fs::perms(0604));
  EXPECT_EQ(folder.names(), "kept\nres.txt\n");
  EXPECT_EQ(fs::directory_iterator(folder / "kept")->path().filename(), "report.txt");
}

TEST(ReportPlacement, ADeviceAFifoOrALinkToNothingIsWrittenStraight) {
  // The bytes go where the user pointed the name, as they always did.
  Folder devNull;
  fs::create_symlink("/dev/null", devNull / "res.txt");
  EXPECT_EQ(runWithReportAt(devNull / "res.txt").status, 0);
  EXPECT_EQ(devNull.names(), "res.txt\n");

  // The FIFO is held open for reading (and writing, so that it never ends)
  // by the test; the report is far smaller than a pipe holds.
  Folder fifo;
  ASSERT_EQ(::mkfifo((fifo / "res.txt").c_str(), 0644), 0);
  const int reader = ::open((fifo / "res.txt").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(runWithReportAt(fifo / "res.txt").status, 0);
  std::string received(1 << 16, '\0');
  const ssize_t got = ::read(reader, received.data(), received.size());
  ::close(reader);
  received.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  EXPECT_EQ(received, fisherReport());
  EXPECT_TRUE(fs::is_fifo(fifo / "res.txt"));
  EXPECT_EQ(fifo.names(), "res.txt\n");

  Folder dangling;
  fs::create_symlink("made.txt", dangling / "res.txt");
  EXPECT_EQ(runWithReportAt(dangling / "res.txt").status, 0);
  EXPECT_EQ(readFile(dangling / "made.txt"), fisherReport());
  EXPECT_EQ(dangling.names(), "made.txt\nres.txt\n");
}

TEST(ReportPlacement, AFileWithTwoNamesIsWrittenInPlaceOnceLocked) {
  // A rename would part res.txt from its other name; written in place, both
  // names show the report. A run that finds the file locked by another
  // leaves it as it is, not emptied.
  Folder folder;
  const fs::path report = folder / "res.txt";
  writeFile(report, kPrevious);
  fs::create_hard_link(report, folder / "other.txt");
  const int held = ::open(report.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const PlacedRun refused = runWithReportAt(report);
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(refused.console, "");
  EXPECT_EQ(readFile(report), kPrevious);
  ::close(held);

  EXPECT_EQ(runWithReportAt(report).status, 0);
  EXPECT_EQ(readFile(report), fisherReport());
  EXPECT_EQ(readFile(folder / "other.txt"), fisherReport());
  EXPECT_EQ(fs::hard_link_count(report), 2u);
  EXPECT_EQ(folder.names(), "other.txt\nres.txt\n");
}

TEST(ReportPlacement, PermissionsTheUserSetAreKept) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  // A report made read-only is not replaced: the run ends as one that cannot
  // write it, at once.
  Folder readOnly;
  writeFile(readOnly / "res.txt", kPrevious);
  fs::permissions(readOnly / "res.txt", fs::perms(0444));
  const PlacedRun refused = runWithReportAt(readOnly / "res.txt");
  EXPECT_EQ(refused.status, 3);
  EXPECT_NE(refused.errors.find(": permiso denegado\n"), std::string::npos) << refused.errors;
  EXPECT_EQ(readFile(readOnly / "res.txt"), kPrevious);

  // A folder where no file can be made, with a report that may be written:
  // written in place, as before.
  Folder closed;
  writeFile(closed / "res.txt", kPrevious);
  fs::permissions(closed / "res.txt", fs::perms(0644));
  fs::permissions(closed / "", fs::perms(0555));
  EXPECT_EQ(runWithReportAt(closed / "res.txt").status, 0);
  EXPECT_EQ(readFile(closed / "res.txt"), fisherReport());
  fs::permissions(closed / "", fs::perms(0755));
}

}  // namespace
}  // namespace rxc
