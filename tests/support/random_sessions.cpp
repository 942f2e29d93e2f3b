#include "support/random_sessions.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "base/fast_exp.h"
#include "dialogue/bounds_rule.h"
#include "engine/bounds/completion_count.h"
#include "engine/problem/problem.h"
#include "engine/problem/request.h"

namespace rxc::testing {

namespace {

using Cells = std::vector<int16_t>;

int pick(std::mt19937& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

// A random table, every row and column with at least one unit.
Cells randomTable(std::mt19937& random, int r, int c) {
  const int cells = r * c;
  const int maxCell = cells <= 6 ? 6 : cells <= 9 ? 3 : cells <= 16 ? 2 : 1;
  Cells t(static_cast<size_t>(cells));
  if (pick(random, 0, 3) == 0 && r == c) {
    // Equal margins: every row and column adds up to m.
    const int m = pick(random, 1, std::max(1, 14 / r));
    for (int i = 0; i < r; ++i) t[i * c + (i + 1) % c] = static_cast<int16_t>(m);
    return t;
  }
  for (auto& x : t) x = static_cast<int16_t>(pick(random, 0, maxCell));
  for (int i = 0; i < r; ++i) t[i * c + pick(random, 0, c - 1)] += 1;
  for (int j = 0; j < c; ++j) t[pick(random, 0, r - 1) * c + j] += 1;
  return t;
}

// Another table with the same margins: a few moves that add one to two
// opposite corners of a rectangle and take one from the other two.
Cells neighbour(std::mt19937& random, Cells t, int r, int c) {
  for (int move = 0; move < 6; ++move) {
    const int i1 = pick(random, 0, r - 1), i2 = pick(random, 0, r - 1);
    const int j1 = pick(random, 0, c - 1), j2 = pick(random, 0, c - 1);
    if (i1 == i2 || j1 == j2 || t[i1 * c + j2] == 0 || t[i2 * c + j1] == 0) continue;
    ++t[i1 * c + j1];
    ++t[i2 * c + j2];
    --t[i1 * c + j2];
    --t[i2 * c + j1];
  }
  return t;
}

// The number of tables with the margins of `table`, or 0 when there are too
// many to count.
uint64_t tablesWithMarginsOf(const Cells& table, int r, int c) {
  std::vector<int32_t> rows(static_cast<size_t>(r), 0), cols(static_cast<size_t>(c), 0);
  for (int i = 0; i < r; ++i) {
    for (int j = 0; j < c; ++j) {
      rows[i] += table[i * c + j];
      cols[j] += table[i * c + j];
    }
  }
  CompletionCounter counter(cols);
  const CompletionCount n = counter.count({r, c, 0, 0, rows, cols});
  return n.exact() && n.value < (uint64_t{1} << 62) ? static_cast<uint64_t>(n.value) : 0;
}

std::string lines(const Cells& values) {
  std::string text;
  for (int16_t v : values) text += std::to_string(v) + "\n";
  return text;
}

// A bound and the lines that give it: typed (0, 1 or a probability), or an
// observed table.
struct DrawnBound {
  Bound bound;
  std::string input;
};

DrawnBound drawBound(std::mt19937& random, const Problem& problem, const Cells& table) {
  DrawnBound d;
  switch (pick(random, 0, 4)) {
    case 0:
    case 1: {
      d.bound.source = Bound::Source::kObservedTable;
      d.bound.observedTable = neighbour(random, table, problem.r, problem.c);
      d.bound.logValue = observedTableLogProb(problem, d.bound.observedTable.data());
      d.bound.value = fastExp(*d.bound.logValue);
      d.input = "Y\n" + lines(d.bound.observedTable);
      return d;
    }
    case 2:
      d.bound.value = pick(random, 0, 1);
      break;
    default: {
      // A round probability between 1e-6 and 0.5.
      static const char* const kTyped[] = {"0.5", "0.2", "0.05", "1e-2", "3e-3", "1e-4", "1e-6"};
      const std::string text = kTyped[pick(random, 0, 6)];
      d.bound.value = std::stod(text);
      d.input = "N\n";
      d.input += text;
      d.input += '\n';
      d.bound.logValue = std::log(d.bound.value);
      return d;
    }
  }
  d.input = "N\n" + std::to_string(static_cast<int>(d.bound.value)) + "\n";
  if (d.bound.value > 0.0) d.bound.logValue = 0.0;
  return d;
}

}  // namespace

RandomSession randomSession(std::mt19937& random) {
  // Small enough that the full enumeration stays quick.
  constexpr uint64_t kMostTables = 300000;
  int r = 0, c = 0;
  Cells table;
  uint64_t tables = 0;
  do {
    r = pick(random, 2, 6);
    c = pick(random, 2, 6);
    table = randomTable(random, r, c);
    tables = tablesWithMarginsOf(table, r, c);
  } while (tables == 0 || tables > kMostTables);
  Cells rows(static_cast<size_t>(r), 0), cols(static_cast<size_t>(c), 0);
  for (int i = 0; i < r; ++i) {
    for (int j = 0; j < c; ++j) {
      rows[i] += table[i * c + j];
      cols[j] += table[i * c + j];
    }
  }
  const Problem problem = makeProblem(rows, cols);

  std::ostringstream input, description;
  input << r << "\n" << c << "\n" << lines(rows) << lines(cols);
  description << r << "x" << c << " (" << tables << " tables) rows";
  for (int16_t v : rows) description << " " << v;
  description << " cols";
  for (int16_t v : cols) description << " " << v;

  const int option = pick(random, 0, 2);
  if (option == 0) {
    const int choice = pick(random, 1, 3);
    input << "A\n" << choice << "\n";
    description << ", option A " << choice;
  } else {
    const bool inclusive = option == 2;
    input << (inclusive ? "C\n" : "B\n");
    description << ", option " << (inclusive ? "C" : "B");
    // Bounds until a consistent pair is drawn (the dialogue asks again after
    // an inconsistent one, so every attempt's lines are given).
    for (;;) {
      const DrawnBound lower = drawBound(random, problem, table);
      const DrawnBound upper = drawBound(random, problem, table);
      input << lower.input << upper.input;
      if (!boundsConsistent(inclusive, lower.bound, upper.bound)) continue;
      description << " L " << lower.bound.value << " U " << upper.bound.value;
      if (inclusive && conditionIsEmpty(lower.bound, upper.bound)) {
        input << "N\n";  // not again: nothing to meet
        description << " (nothing meets)";
        break;
      }
      const int t1 = pick(random, 0, 4) == 0 ? 1000 : pick(random, 0, 5);
      const int t2 = pick(random, 0, 4) == 0 ? 1000 : pick(random, 0, 5);
      input << t1 << "\n" << t2 << "\n";
      description << " T1 " << t1 << " T2 " << t2;
      break;
    }
  }
  // The count questions option A may ask, then the closing line.
  input << pick(random, 0, 12) << "\n" << pick(random, 0, 12) << "\n\n";
  return {input.str(), description.str()};
}

}  // namespace rxc::testing
