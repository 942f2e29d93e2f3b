#include "support/session_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rxc::testing {

namespace {

std::string temporaryReportPath() {
  static std::atomic<int> counter{0};
  const auto dir = std::filesystem::temp_directory_path();
  return (dir /
          ("rxc_report_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".txt"))
      .string();
}

// A session that leaves the number of workers to the program runs with
// RXC_TEST_WORKERS workers when that is set: CTest runs the whole-session
// tests again with 2 and 7 workers, and their bytes must not change. The
// workers start at once: the test passes are far shorter than the time the
// calling thread would otherwise walk alone, and would start no thread.
RunSettings withTestWorkers(RunSettings settings) {
  if (settings.workers == 0) {
    if (const char* workers = std::getenv("RXC_TEST_WORKERS")) {
      settings.workers = std::atoi(workers);
      settings.aloneMicroseconds = 0;
    }
  }
  return settings;
}

}  // namespace

void expectSession(const std::string& input, const std::string& console, const Lines& report) {
  const auto outcome = runSession(input);
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  EXPECT_EQ(outcome.console, console);
  EXPECT_EQ(reportAsText(outcome.report), joined(report));
}

SessionOutcome runSession(const std::string& input, const RunSettings& settings) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const std::string path = temporaryReportPath();
  SessionOutcome outcome;
  outcome.status = runProgram(in, out, err, path, withTestWorkers(settings));
  outcome.console = out.str();
  outcome.errors = err.str();
  std::ifstream report(path, std::ios::binary);
  outcome.report.assign(std::istreambuf_iterator<char>(report), std::istreambuf_iterator<char>());
  report.close();
  std::filesystem::remove(path);
  return outcome;
}

std::string reportAsText(const std::string& reportBytes) {
  std::string text;
  for (size_t i = 0; i < reportBytes.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(reportBytes[i]);
    if (byte == '\r') {
      EXPECT_TRUE(i + 1 < reportBytes.size() && reportBytes[i + 1] == '\n')
          << "CR without LF at byte " << i;
      continue;
    }
    if (byte == '\n') {
      EXPECT_TRUE(i > 0 && reportBytes[i - 1] == '\r') << "LF without CR at byte " << i;
      text += '\n';
    } else if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      // Windows-1252 letters used by the report all lie in the Latin-1 range.
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

std::string lines(std::initializer_list<std::string> text, const std::string& end) {
  std::string joined;
  for (const auto& line : text) joined += line + end;
  return joined;
}

}  // namespace rxc::testing
