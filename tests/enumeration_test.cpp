// The enumeration: the plain reference against known counts, orders and
// probabilities and against a brute-force listing; the fast kernel against the
// reference, table by table and bit by bit.
#include "engine/kernel/enumeration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/fast_exp.h"
#include "base/fatal_stop.h"
#include "engine/kernel/skip_audit.h"
#include "engine/parallel/pieces.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress.h"
#include "engine/problem/progress_marks.h"
#include "support/reference_enumeration.h"

namespace rxc {
namespace {

using testing::randomMargins;
using testing::runReferencePass;

// Every table (cells row-major) and its log-probability, up to `limit` tables.
struct Listing {
  std::vector<std::vector<int16_t>> tables;
  std::vector<double> logProbs;
  PassResult result;
};

template <bool kLog>
struct Collector {
  static constexpr bool kNeedsLogProb = kLog;
  template <class Table>
  bool visit(double logProb, const Table& table) {
    out->tables.emplace_back(cells, 0);
    table.copyTo(out->tables.back().data());
    out->logProbs.push_back(logProb);
    return out->tables.size() < limit;
  }
  Listing* out;
  size_t cells;
  size_t limit;
};

// kKernelCellsOnly: the kernel's count-only walk, which hands out no
// log-probability (the listing holds 0.0 for each); only passes whose tables
// cost nothing run it, all on the run-time shape.
enum class Engine { kReference, kKernel, kKernelAnyShape, kKernelCellsOnly };

Listing list(const Problem& p, Engine engine, size_t limit = SIZE_MAX) {
  Listing out;
  const size_t cells = static_cast<size_t>(p.r * p.c);
  Collector<true> visitor{&out, cells, limit};
  Collector<false> cellsOnly{&out, cells, limit};
  ProgressBar progress{};
  switch (engine) {
    case Engine::kReference:
      out.result = runReferencePass(p, progress, visitor);
      break;
    case Engine::kKernel:
      out.result = runPass(p, progress, visitor);
      break;
    case Engine::kKernelAnyShape:
      out.result = runPassAnyShape(p, progress, visitor);
      break;
    case Engine::kKernelCellsOnly:
      out.result = runPassAnyShape(p, progress, cellsOnly);
      break;
  }
  return out;
}

// A bound at a table's log-probability or one double either side of it, so
// that ties with the bound and the nearest misses are all tried.
double boundNear(std::mt19937& rng, const std::vector<double>& logProbs) {
  const double inf = std::numeric_limits<double>::infinity();
  const double v = logProbs[rng() % logProbs.size()];
  switch (rng() % 4) {
    case 0:
      return std::nextafter(v, -inf);
    case 1:
      return std::nextafter(v, inf);
    default:
      return v;
  }
}

void expectSameBits(const Listing& a, const Listing& b, const std::string& what) {
  ASSERT_EQ(a.result.tableCount, b.result.tableCount) << what;
  ASSERT_EQ(a.result.completed, b.result.completed) << what;
  ASSERT_EQ(a.tables.size(), b.tables.size()) << what;
  for (size_t k = 0; k < a.tables.size(); ++k) {
    ASSERT_EQ(a.tables[k], b.tables[k]) << what << " table " << k + 1;
    ASSERT_EQ(std::bit_cast<uint64_t>(a.logProbs[k]), std::bit_cast<uint64_t>(b.logProbs[k]))
        << what << " table " << k + 1 << ": " << a.logProbs[k] << " vs " << b.logProbs[k];
  }
}

// The kernel on 3 x 3 and 4 x 4 with constant r and c, and on the run-time
// shape for every other one: for tests of one path of the walk, which need a
// fixed shape or two but not every one compiled (each is one more
// instantiation of the kernel to build).
template <class Visitor, class Progress>
PassResult runOnFewShapes(const Problem& p, Progress& progress, Visitor& visitor,
                          const Piece* piece = nullptr,
                          enumeration_detail::SubtreeSkipper* skipper = nullptr) {
  using enumeration_detail::Kernel;
  if (p.r == 3 && p.c == 3) return Kernel<3, 3>(p).run(progress, visitor, piece, skipper);
  if (p.r == 4 && p.c == 4) return Kernel<4, 4>(p).run(progress, visitor, piece, skipper);
  return Kernel<0, 0>(p).run(progress, visitor, piece, skipper);
}

uint64_t countTables(const std::vector<int16_t>& rows, const std::vector<int16_t>& cols,
                     Engine engine) {
  return list(makeProblem(rows, cols), engine).result.tableCount;
}

// --- The reference: counts, order, probabilities ---

TEST(EnumerationReference, KnownCounts) {
  EXPECT_EQ(countTables({3, 1, 2}, {2, 2, 2}, Engine::kReference), 15u);
  EXPECT_EQ(countTables({4, 3, 2}, {1, 5, 3}, Engine::kReference), 24u);
  for (int16_t n : {1, 2, 3, 5, 8, 13}) {
    const uint64_t expected = uint64_t(n + 1) * (n + 2) * (n * n + 3 * n + 4) / 8;
    EXPECT_EQ(countTables({n, n, n}, {n, n, n}, Engine::kReference), expected)
        << "3x3 margins " << n;
  }
  const uint64_t fourByFour[] = {24, 282, 2008};
  for (int16_t n = 1; n <= 3; ++n)
    EXPECT_EQ(countTables({n, n, n, n}, {n, n, n, n}, Engine::kReference), fourByFour[n - 1]);
}

TEST(EnumerationReference, OrderOfSmallCases) {
  const Listing a = list(makeProblem({2, 3}, {1, 1, 3}), Engine::kReference);
  std::vector<std::vector<int16_t>> seqA;
  for (auto& t : a.tables) seqA.push_back(testing::interiorCells(t, 2, 3));
  EXPECT_EQ(seqA, (std::vector<std::vector<int16_t>>{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));

  const Listing b = list(makeProblem({2, 2, 2}, {3, 3}), Engine::kReference);
  std::vector<std::vector<int16_t>> seqB;
  for (auto& t : b.tables) seqB.push_back(testing::interiorCells(t, 3, 2));
  EXPECT_EQ(seqB, (std::vector<std::vector<int16_t>>{
                      {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}}));
}

TEST(EnumerationReference, MatchesBruteForceOnSmallMargins) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 60; ++round) {
    const int r = 2 + int(rng() % 3), c = 2 + int(rng() % 3);
    std::vector<int16_t> rows, cols;
    randomMargins(rng, r, c, 2, rows, cols);
    const Listing ref = list(makeProblem(rows, cols), Engine::kReference);
    std::vector<std::vector<int16_t>> seq;
    for (size_t k = 0; k < ref.tables.size(); ++k) {
      const auto& t = ref.tables[k];
      for (int i = 0; i < r; ++i) {
        int sum = 0;
        for (int j = 0; j < c; ++j) sum += t[i * c + j];
        ASSERT_EQ(sum, rows[i]);
      }
      seq.push_back(testing::interiorCells(t, r, c));
    }
    std::vector<std::vector<int16_t>> expected;
    for (const auto& t : testing::everyTable(rows, cols)) {
      expected.push_back(testing::interiorCells(t.cells, r, c));
    }
    ASSERT_EQ(seq, expected) << "round " << round;
  }
}

TEST(EnumerationReference, LargeMarginsStartAtPositiveLowerBound) {
  const Listing a = list(makeProblem({17000, 3000}, {17000, 3000}), Engine::kReference, 1);
  EXPECT_EQ(a.tables[0], (std::vector<int16_t>{14000, 3000, 3000, 0}));
}

TEST(EnumerationReference, Probabilities) {
  const Listing ones = list(makeProblem({1, 1}, {1, 1}), Engine::kReference);
  ASSERT_EQ(ones.tables, (std::vector<std::vector<int16_t>>{{0, 1, 1, 0}, {1, 0, 0, 1}}));
  for (double lp : ones.logProbs) EXPECT_EQ(lp, -std::log(2.0));

  const Listing b = list(makeProblem({2, 2, 2}, {3, 3}), Engine::kReference);
  ASSERT_EQ(b.tables.size(), 7u);
  for (size_t k = 0; k < b.tables.size(); ++k) {
    const bool allOnes =
        std::all_of(b.tables[k].begin(), b.tables[k].end(), [](int16_t x) { return x == 1; });
    EXPECT_NEAR(fastExp(b.logProbs[k]), allOnes ? 0.4 : 0.1, 1e-14) << "table " << k + 1;
  }
}

TEST(EnumerationReference, MarginsThatDisagreeStopAtTheCorner) {
  const Problem p = makeProblem({2, 2}, {2, 3});
  for (Engine e : {Engine::kReference, Engine::kKernel, Engine::kKernelAnyShape}) {
    try {
      list(p, e);
      ADD_FAILURE() << "no stop";
    } catch (const FatalStop& stop) {
      EXPECT_EQ(stop.reportMessage, " Error ultimo elemento. Contactar con el autor");
    }
  }
}

// --- The kernel against the reference ---

TEST(EnumerationKernel, KnownCountsAndEdgeCases) {
  for (Engine e : {Engine::kKernel, Engine::kKernelAnyShape}) {
    EXPECT_EQ(countTables({3, 1, 2}, {2, 2, 2}, e), 15u);
    EXPECT_EQ(countTables({4, 3, 2}, {1, 5, 3}, e), 24u);
    for (int16_t n : {1, 4, 9, 20}) {
      const uint64_t expected = uint64_t(n + 1) * (n + 2) * (n * n + 3 * n + 4) / 8;
      EXPECT_EQ(countTables({n, n, n}, {n, n, n}, e), expected);
    }
    EXPECT_EQ(countTables({1, 1, 1, 1}, {1, 1, 1, 1}, e), 24u);
    EXPECT_EQ(countTables({2, 2, 2, 2}, {2, 2, 2, 2}, e), 282u);
    EXPECT_EQ(countTables({3, 3, 3, 3}, {3, 3, 3, 3}, e), 2008u);
    EXPECT_EQ(list(makeProblem({17000, 3000}, {17000, 3000}), e, 1).tables[0],
              (std::vector<int16_t>{14000, 3000, 3000, 0}));
  }
}

// Small random margins, r and c in 2..6, plus every fixed shape, shapes on
// the run-time path, larger margins on small shapes (long runs of the last
// cell) and totals near the maximum; a random stop point in every other case.
TEST(EnumerationKernel, BitIdenticalToReference) {
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    int r = 2 + int(rng() % 5), c = 2 + int(rng() % 5);
    if (round % 10 == 9) (rng() % 2 ? r : c) = 7 + int(rng() % 6);
    int maxCell = std::max(1, 12 / (r * c / 4 + 1));
    if (round % 5 == 2) {  // long runs of the last cell
      r = 2 + int(rng() % 2);
      c = 2 + int(rng() % 3);
      maxCell = 9;
    }
    // Every shape compiled with constant r and c, with short and long runs.
    const auto& fixed = enumeration_detail::kFixedShapes;
    if (round < static_cast<int>(2 * fixed.size())) {
      r = fixed[round / 2] / 100;
      c = fixed[round / 2] % 100;
      maxCell = round % 2 ? 1 : 4;
    }
    std::vector<int16_t> rows, cols;
    randomMargins(rng, r, c, maxCell, rows, cols);
    if (round % 50 == 0) {  // large totals, few tables
      r = 2;
      c = 2 + int(rng() % 2);
      rows = {static_cast<int16_t>(19990 - 5 * c), static_cast<int16_t>(10 + 5 * c)};
      cols.assign(c, 10);
      cols[0] = static_cast<int16_t>(20000 - 10 * (c - 1));
    }
    const Problem p = makeProblem(rows, cols);
    const size_t cap = 20000;
    const size_t limit = round % 2 ? 1 + rng() % 60 : cap;
    const Listing ref = list(p, Engine::kReference, limit);
    const std::string what =
        "round " + std::to_string(round) + " " + std::to_string(r) + "x" + std::to_string(c);
    expectSameBits(list(p, Engine::kKernel, limit), ref, what);
    expectSameBits(list(p, Engine::kKernelAnyShape, limit), ref, what + " any shape");
    const Listing cellsOnly = list(p, Engine::kKernelCellsOnly, limit);
    ASSERT_EQ(cellsOnly.tables, ref.tables) << what << " count-only walk";
    ASSERT_EQ(cellsOnly.result.tableCount, ref.result.tableCount) << what << " count-only walk";
  }
}

// A visitor that declares log-probabilities strictly inside (low, high) no-ops,
// so that the kernel may skip them on its estimate.
struct ScreenedCollector {
  static constexpr bool kNeedsLogProb = true;
  static constexpr bool kScreensEachTable = true;
  struct Bounds {
    double low, high;
  };
  NoOpRanges noOpRanges() const {
    NoOpRanges noOp;
    noOp.ranges[0] = {bounds.low, bounds.high};
    return noOp;
  }
  template <class Table>
  bool visit(double logProb, const Table&) {
    if (bounds.low < logProb && logProb < bounds.high) return true;
    seen.push_back(logProb);
    return true;
  }
  Bounds bounds;
  std::vector<double> seen;
};

// Bounds set on the log-probabilities of tables of the pass itself, and one
// unit in the last place inside or outside them: no table on or outside the
// bounds is ever skipped, and every one keeps its bits.
TEST(EnumerationKernel, ScreeningSkipsOnlyTablesStrictlyInsideTheNoOpBounds) {
  std::mt19937 rng(31);
  const double inf = std::numeric_limits<double>::infinity();
  size_t skipped = 0;
  for (int round = 0; round < 120; ++round) {
    const auto& fixed = enumeration_detail::kFixedShapes;
    int r = 3, c = 4;  // run-time shape every third round
    if (round % 3 != 0) {
      r = fixed[round % fixed.size()] / 100;
      c = fixed[round % fixed.size()] % 100;
    }
    int maxCell = r * c >= 18 ? 1 : r * c > 9 ? 2 : 6;
    if (round % 6 == 1) {
      // 3 x 3 with long runs and blocks, skipped in stretches.
      r = c = 3;
      maxCell = 12;
    }
    std::vector<int16_t> rows, cols;
    randomMargins(rng, r, c, maxCell, rows, cols);
    const Problem p = makeProblem(rows, cols);
    const Listing ref = list(p, Engine::kReference);
    std::vector<double> sorted = ref.logProbs;
    std::sort(sorted.begin(), sorted.end());
    auto pick = [&] { return boundNear(rng, sorted); };
    ScreenedCollector visitor;
    double a = pick(), b = pick();
    if (round % 10 == 0) a = -inf;  // one-sided bounds
    if (round % 10 == 5) b = std::numeric_limits<double>::max();
    visitor.bounds = {std::min(a, b), std::max(a, b)};
    ProgressBar progress{};
    runPass(p, progress, visitor);
    std::vector<double> expected;
    for (double v : ref.logProbs) {
      if (!(visitor.bounds.low < v && v < visitor.bounds.high)) expected.push_back(v);
    }
    const std::string what =
        "round " + std::to_string(round) + " " + std::to_string(r) + "x" + std::to_string(c);
    ASSERT_EQ(visitor.seen.size(), expected.size()) << what;
    skipped += ref.logProbs.size() - expected.size();
    for (size_t k = 0; k < expected.size(); ++k) {
      ASSERT_EQ(std::bit_cast<uint64_t>(visitor.seen[k]), std::bit_cast<uint64_t>(expected[k]))
          << what << " table " << k;
    }
  }
  EXPECT_GT(skipped, 1000u);  // the screen was at work
}

// A visitor for which the tables outside [low, high] are no-ops, as for the
// conditions of options B and C: two ranges, and no screen of single tables,
// so that what is skipped is skipped by blocks and whole subtrees.
struct BandCollector {
  static constexpr bool kNeedsLogProb = true;
  NoOpRanges noOpRanges() const {
    NoOpRanges noOp;
    noOp.ranges[0] = {-kLargestLog, low};
    noOp.ranges[1] = {high, kLargestLog};
    return noOp;
  }
  template <class Table>
  bool visit(double logProb, const Table&) {
    ++visits;
    if (low <= logProb && logProb <= high) seen.push_back(logProb);
    return true;
  }
  double low, high;
  std::vector<double> seen;
  uint64_t visits = 0;  // tables handed over, in the band or not
};

// Bands whose ends are log-probabilities of the pass's own tables, or one unit
// in the last place beside them, on shapes deep enough for subtrees to be
// judged: every table in the band is visited with its bits, every table is
// counted, and most of the others are not visited. Every fifth round has
// long runs of the last cell, which the band's ends cut, so that the tables
// of a run are screened one by one; another fifth has 3 x 3 tables with long
// loops of the third-last cell, whose blocks are skipped in stretches. (With
// the rounding margins of the screen and of the subtrees' bounds set to zero,
// this fails.)
TEST(EnumerationKernel, BoundedWalkSkipsOnlySubtreesAndBlocksOutsideTheBand) {
  std::mt19937 rng(4242);
  uint64_t total = 0, visited = 0;
  for (int round = 0; round < 100; ++round) {
    int r = 3 + static_cast<int>(rng() % 3), c = 3 + static_cast<int>(rng() % 3);
    int maxCell = r * c >= 20 ? 1 : 2;
    if (round % 5 == 4) {
      c = 2 + static_cast<int>(rng() % 2);
      r = 3;
      maxCell = 9;
    } else if (round % 5 == 2) {
      r = c = 3;
      maxCell = 12;
    }
    std::vector<int16_t> rows, cols;
    randomMargins(rng, r, c, maxCell, rows, cols);
    const Problem p = makeProblem(rows, cols);
    const Listing ref = list(p, Engine::kReference);
    std::vector<double> sorted = ref.logProbs;
    std::sort(sorted.begin(), sorted.end());
    auto pick = [&] { return boundNear(rng, sorted); };
    const double a = pick(), b = pick();
    BandCollector counting{std::min(a, b), std::max(a, b), {}, 0};
    ProgressBar progress{};
    const PassResult result = runOnFewShapes(p, progress, counting);
    std::vector<double> expected;
    for (double v : ref.logProbs) {
      if (counting.low <= v && v <= counting.high) expected.push_back(v);
    }
    const std::string what =
        "round " + std::to_string(round) + " " + std::to_string(r) + "x" + std::to_string(c);
    ASSERT_EQ(result.tableCount, ref.logProbs.size()) << what;
    ASSERT_EQ(counting.seen.size(), expected.size()) << what;
    for (size_t k = 0; k < expected.size(); ++k) {
      ASSERT_EQ(std::bit_cast<uint64_t>(counting.seen[k]), std::bit_cast<uint64_t>(expected[k]))
          << what << " table " << k;
    }
    total += ref.logProbs.size();
    visited += counting.visits;
  }
  EXPECT_LT(visited, total - total / 10);  // blocks and subtrees were skipped
}

// The same band on every shape compiled with constant r and c (those with
// one interior row or column among them), where the third-last cell loops
// around the blocks: the bits of every table in the band, and every table
// counted. Half the rounds hold a long loop or long runs.
TEST(EnumerationKernel, BoundedWalkOnEveryFixedShapeKeepsTheBitsOfTheBand) {
  std::mt19937 rng(6174);
  const auto& fixed = enumeration_detail::kFixedShapes;
  uint64_t total = 0, visited = 0;
  for (int round = 0; round < 4 * static_cast<int>(fixed.size()); ++round) {
    const int r = fixed[round % fixed.size()] / 100, c = fixed[round % fixed.size()] % 100;
    const bool large = round % 2 == 1 && r * c <= 20;
    std::vector<int16_t> rows, cols;
    randomMargins(rng, r, c, large ? 3 : 1, rows, cols);
    const Problem p = makeProblem(rows, cols);
    const Listing ref = list(p, Engine::kReference);
    std::vector<double> sorted = ref.logProbs;
    std::sort(sorted.begin(), sorted.end());
    // A narrow band: most tables lie outside it, on both sides.
    const size_t from = rng() % sorted.size();
    const std::vector<double> near(
        sorted.begin() + static_cast<std::ptrdiff_t>(from),
        sorted.begin() +
            static_cast<std::ptrdiff_t>(std::min(sorted.size(), from + 1 + sorted.size() / 20)));
    const double a = boundNear(rng, near), b = boundNear(rng, near);
    BandCollector band{std::min(a, b), std::max(a, b), {}, 0};
    ProgressBar progress{};
    const PassResult result = runPass(p, progress, band);
    std::vector<double> expected;
    for (double v : ref.logProbs) {
      if (band.low <= v && v <= band.high) expected.push_back(v);
    }
    const std::string what =
        "round " + std::to_string(round) + " " + std::to_string(r) + "x" + std::to_string(c);
    ASSERT_EQ(result.tableCount, ref.logProbs.size()) << what;
    ASSERT_EQ(band.seen.size(), expected.size()) << what;
    for (size_t k = 0; k < expected.size(); ++k) {
      ASSERT_EQ(std::bit_cast<uint64_t>(band.seen[k]), std::bit_cast<uint64_t>(expected[k]))
          << what << " table " << k;
    }
    total += ref.logProbs.size();
    visited += band.visits;
  }
  EXPECT_LT(visited, total - total / 10);  // blocks and subtrees were skipped
}

// The sanitizer build's check of what the bounded walk skips, on its own: it
// passes a true claim (every table of a set a no-op, as many as counted), and
// stops the run on a count off by one or on a table outside the ranges.
TEST(SkipAudit, PassesTrueClaimsAndStopsOnFalseOnes) {
  const Problem p = makeProblem({3, 2, 2}, {2, 3, 2});
  const Listing ref = list(p, Engine::kReference);
  const std::vector<int32_t> rows(p.rowMargin.begin(), p.rowMargin.end());
  const std::vector<int32_t> cols(p.colMargin.begin(), p.colMargin.end());
  enumeration_detail::SkipAudit audit;
  audit.start(p.r, p.c, rows.data(), cols.data(), p.logFactorial.data(), p.logMarginConst);
  NoOpRanges everything;
  everything.ranges[0] = {-kLargestLog, kLargestLog};
  const uint64_t total = ref.tables.size();
  audit.check(nullptr, 0, 0, INT64_MIN, INT64_MAX, total, everything);
  // The tables whose first interior cell is 1, and then the second one 0.
  const auto withFirst = [&](int16_t first, int second) {
    uint64_t n = 0;
    for (const auto& t : ref.tables) {
      const std::vector<int16_t> interior = testing::interiorCells(t, p.r, p.c);
      n += interior[0] == first && (second < 0 || interior[1] == second);
    }
    return n;
  };
  const int32_t one = 1;
  audit.check(nullptr, 0, 0, 1, 1, withFirst(1, -1), everything);
  audit.check(&one, 0, 1, 0, 0, withFirst(1, 0), everything);
  EXPECT_DEATH(audit.check(nullptr, 0, 0, INT64_MIN, INT64_MAX, total - 1, everything),
               "skip audit failed: the count");
  NoOpRanges belowTheMost;
  const double most = *std::max_element(ref.logProbs.begin(), ref.logProbs.end());
  belowTheMost.ranges[0] = {-kLargestLog, most};
  EXPECT_DEATH(audit.check(nullptr, 0, 0, INT64_MIN, INT64_MAX, total, belowTheMost),
               "skip audit failed: a table skipped that is no no-op");
}

// The pieces of a pass, walked one after the other, give the pass's tables in
// order with their bits, at every depth a split allows.
TEST(EnumerationKernel, PiecesInOrderAreThePass) {
  std::mt19937 rng(515);
  for (int round = 0; round < 60; ++round) {
    const auto& fixed = enumeration_detail::kFixedShapes;
    int r = 2 + static_cast<int>(rng() % 4), c = 2 + static_cast<int>(rng() % 4);
    if (round % 3 == 0) {
      r = fixed[round % fixed.size()] / 100;
      c = fixed[round % fixed.size()] % 100;
    }
    std::vector<int16_t> rows, cols;
    randomMargins(rng, r, c, r * c > 12 ? 1 : 3, rows, cols);
    const Problem p = makeProblem(rows, cols);
    const Listing whole = list(p, Engine::kReference);
    for (int depth = 1; depth <= piecesDepthLimit(p); ++depth) {
      const PiecePlan plan = planPieces(p, 1000000, 1000000, depth);
      if (plan.depth != depth) continue;
      Listing pieces;
      for (size_t k = 0; k < plan.count(); ++k) {
        Collector<true> visitor{&pieces, static_cast<size_t>(r * c), SIZE_MAX};
        ProgressBar progress{};
        const Piece piece{plan.depth, plan.prefix(k)};
        const PassResult result = runPiece(p, progress, visitor, PassOptions{}, piece, nullptr);
        pieces.result.tableCount += result.tableCount;
      }
      pieces.result.completed = true;
      // Bounded, with a band that lets subtrees go: the same count.
      uint64_t counted = 0;
      std::vector<double> sorted = whole.logProbs;
      std::sort(sorted.begin(), sorted.end());
      BandCollector band{sorted[sorted.size() / 3], sorted[sorted.size() / 2], {}, 0};
      enumeration_detail::SubtreeSkipper skipper(
          r, c, std::vector<int32_t>(cols.begin(), cols.end()).data(), (r - 1) * (c - 1));
      for (size_t k = 0; k < plan.count(); ++k) {
        ProgressBar progress{};
        const Piece piece{plan.depth, plan.prefix(k)};
        counted += runOnFewShapes(p, progress, band, &piece, &skipper).tableCount;
      }
      ASSERT_EQ(counted, whole.logProbs.size()) << r << "x" << c << " depth " << depth;
      expectSameBits(pieces, whole,
                     "round " + std::to_string(round) + " " + std::to_string(r) + "x" +
                         std::to_string(c) + " depth " + std::to_string(depth));
    }
  }
}

// Shapes up to 100 x 100 on the run-time path: the first tables of the pass.
TEST(EnumerationKernel, LargeShapesMatchReferenceOnTheirFirstTables) {
  std::mt19937 rng(99);
  const std::vector<std::pair<int, int>> shapes = {
      {100, 100}, {100, 2}, {2, 100}, {31, 17}, {7, 60}};
  for (auto [r, c] : shapes) {
    std::vector<int16_t> rows(r, 1), cols(c, 1);
    // Spread the larger of the two totals over the other side.
    for (int k = 0; k < std::abs(r - c); ++k) ++(r < c ? rows[rng() % r] : cols[rng() % c]);
    for (int k = 0; k < 150; ++k) ++rows[rng() % r], ++cols[rng() % c];
    const Problem p = makeProblem(rows, cols);
    const std::string what = std::to_string(r) + "x" + std::to_string(c);
    expectSameBits(list(p, Engine::kKernel, 3000), list(p, Engine::kReference, 3000), what);
  }
}

TEST(EnumerationKernel, PassRunTwiceIsBitIdentical) {
  const Problem p = makeProblem({5, 4, 6, 3}, {6, 3, 5, 4});
  const Listing first = list(p, Engine::kKernel);
  EXPECT_TRUE(first.result.completed);
  expectSameBits(list(p, Engine::kKernel), first, "second pass");
}

struct Stopper {
  static constexpr bool kNeedsLogProb = false;
  template <class Table>
  bool visit(double, const Table&) {
    return ++seen < stopAt;
  }
  uint64_t seen = 0;
  uint64_t stopAt;
};

TEST(EnumerationKernel, VisitReturningFalseStopsThePass) {
  const Problem p = makeProblem({6, 6, 6}, {6, 6, 6});  // 406 tables
  for (uint64_t stopAt : {1u, 2u, 17u, 405u, 406u, 407u}) {
    Stopper visitor{0, stopAt};
    ProgressBar progress{};
    // Only passes on the run-time shape stop early.
    const PassResult result = runPassAnyShape(p, progress, visitor);
    EXPECT_EQ(result.tableCount, std::min<uint64_t>(stopAt, 406));
    EXPECT_EQ(result.completed, stopAt > 406);
    EXPECT_EQ(visitor.seen, result.tableCount);
  }
}

// A progress bar that records, for each mark, how many tables had been
// visited when it was reached.
struct MarkRecorder {
  uint64_t nextMarkAt() const { return marks.empty() ? UINT64_MAX : marks.front(); }
  void reach(uint64_t count) {
    reached.push_back({count, *visited});
    marks.erase(marks.begin());
  }
  std::vector<uint64_t> marks;
  const uint64_t* visited;
  std::vector<std::pair<uint64_t, uint64_t>> reached;
};

// Counts the tables it sees, with or without log-probabilities.
template <bool kLog>
struct Seen {
  static constexpr bool kNeedsLogProb = kLog;
  template <class Table>
  bool visit(double, const Table&) {
    ++seen;
    return true;
  }
  uint64_t seen = 0;
};

// The count-only walk runs on the run-time shape alone (as the passes that use
// it do), the walk with log-probabilities on 3 x 3, 4 x 4 and the run-time
// shape.
template <class Visitor>
void expectMarksBeforeTables(const Problem& p, uint64_t total) {
  Visitor visitor;
  MarkRecorder progress{{1, 2, 10, 11, 30, total, total + 1}, &visitor.seen, {}};
  PassResult result;
  if constexpr (Visitor::kNeedsLogProb) {
    result = runOnFewShapes(p, progress, visitor);
  } else {
    result = runPassAnyShape(p, progress, visitor);
  }
  EXPECT_EQ(result.tableCount, total);
  EXPECT_EQ(progress.reached,
            (std::vector<std::pair<uint64_t, uint64_t>>{
                {1, 0}, {2, 1}, {10, 9}, {11, 10}, {30, 29}, {total, total - 1}}));
}

// Tables passed at once reach the marks that counting them one by one would:
// at most one a table, a mark already due at the first table, several marks
// due at one table spread over the next ones, and none past the last table.
TEST(ProgressMarks, TablesPassedAtOnceReachTheMarksOfCountingThemOneByOne) {
  std::mt19937 rng(808);
  for (int round = 0; round < 500; ++round) {
    std::vector<uint64_t> marks;
    uint64_t at = rng() % 5;
    for (int k = 0; k < 8; ++k) {
      at += rng() % 4;  // repeated marks too
      marks.push_back(at);
    }
    const uint64_t from = rng() % 12;
    const uint64_t to = from + rng() % 30;
    uint64_t visited = 0;
    MarkRecorder oneByOne{marks, &visited, {}};
    for (uint64_t table = from + 1; table <= to; ++table) {
      if (table >= oneByOne.nextMarkAt()) oneByOne.reach(table);
    }
    MarkRecorder atOnce{marks, &visited, {}};
    const uint64_t next = passMarks(atOnce, from, to, atOnce.nextMarkAt());
    ASSERT_EQ(atOnce.reached, oneByOne.reached) << "round " << round;
    ASSERT_EQ(next, oneByOne.nextMarkAt()) << "round " << round;
  }
}

TEST(EnumerationKernel, ProgressIsMarkedBeforeTheTableIsEvaluated) {
  // Long runs of the last cell, short runs, a single interior row, 2 x 2.
  expectMarksBeforeTables<Seen<false>>(makeProblem({6, 6, 6}, {6, 6, 6}), 406);
  expectMarksBeforeTables<Seen<true>>(makeProblem({6, 6, 6}, {6, 6, 6}), 406);
  expectMarksBeforeTables<Seen<true>>(makeProblem({2, 2, 2, 2}, {2, 2, 2, 2}), 282);
  expectMarksBeforeTables<Seen<true>>(makeProblem({5, 5}, {2, 2, 2, 2, 2}), 51);
  expectMarksBeforeTables<Seen<false>>(makeProblem({300, 300}, {300, 300}), 301);
  expectMarksBeforeTables<Seen<true>>(makeProblem({300, 300}, {300, 300}), 301);
}

}  // namespace
}  // namespace rxc
