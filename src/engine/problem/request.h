// What the user asked the run for, as the options dialogue leaves it: option
// A with its ExtremeOption, or options B and C with their bounds L and U and
// the numbers T1 and T2 of tables to list.
#pragma once

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace rxc {

// Option A: the tables of maximum probability (the mode), of minimum
// probability, or both.
enum class ExtremeOption : int16_t { kModal = 1, kMinimum = 2, kBoth = 3 };

struct OptionARequest {
  ExtremeOption extremeOption = ExtremeOption::kBoth;
};

// A bound L or U: a number typed in 0..1, or the probability of an observed
// table typed in its place (TableEntered).
struct Bound {
  enum class Source { kTyped, kObservedTable };
  Source source = Source::kTyped;
  // The typed number, or the table's probability (0 when it underflowed).
  double value = 0.0;
  // ln of a typed number above 0, or the table's log-probability; none for a
  // typed 0.
  std::optional<double> logValue;
  std::vector<int16_t> observedTable;  // r x c cells, row-major, for a table

  bool tableEntered() const { return source == Source::kObservedTable; }
  // Whether the number `v` itself was typed: the dialogue's checks compare
  // typed entries exactly, and a table matches none of them.
  bool typedAs(double v) const { return source == Source::kTyped && value == v; }
};

// Options B (L < p < U) and C (L <= p <= U).
struct ConditionRequest {
  bool inclusive = false;  // option C
  Bound lower;             // L
  Bound upper;             // U
  int32_t t1 = 0;          // how many of the most probable accepted tables to list
  int32_t t2 = 0;          // how many of the least probable
  // Option C with L = U = 0 or L = U = 1 typed, which no table meets, kept
  // when the user declined to enter the bounds again: the pass only counts.
  bool nothingCanMeet = false;

  // Option C with L = 0 and U given by an observed table: the sum of the
  // accepted probabilities is the p-value of Fisher's test for that table.
  bool isFisherTest() const { return inclusive && upper.tableEntered() && lower.value == 0.0; }
};

using Request = std::variant<OptionARequest, ConditionRequest>;

}  // namespace rxc
