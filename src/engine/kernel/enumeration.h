// Pagano-Halvorsen enumeration: every r x c table with the given marginals, in
// ascending lexicographic order of the interior cells read column by column
// (x11, x21, ..., x(r-1)1, x12, ...), the last interior cell moving fastest.
// The last row and column are derived from the marginals.
//
// A pass hands each table to a visitor whose type is fixed at compile time, so
// the per-table work of a mode is chosen once per pass:
//
//   struct Visitor {
//     // Whether visit() needs the log-probability (a count-only pass does not).
//     static constexpr bool kNeedsLogProb = true;
//     // Called once per table in generation order. `table` can copy out the
//     // complete table; do so only for tables that are kept. Return false to
//     // stop the pass after this table.
//     template <class Table>
//     bool visit(double logProb, const Table& table);
//   };
//
// `Table` is the kernel's own type (no virtual call): it has
// `void copyTo(int16_t* cells) const` (r x c cells, row-major) and
// `int rows() const`, `int cols() const`. It is valid only during the call;
// copy the cells out to keep them. visit() is inlined into the kernel's loops,
// so keep it small and put rare work (a kept table, a new extreme) behind a
// branch. A visitor must not run another pass from inside visit().
//
// The two derivations of the corner cell (from the last row and from the last
// column) differ by the difference of the margins' totals, the same for every
// table. When the totals disagree, the first table is counted and marked and
// the run stops (stopRun) with " Error ultimo elemento. Contactar con el autor",
// before any table is visited.
//
//   template <class Visitor, class Progress>
//   PassResult runPass(const Problem& problem, Progress& progress, Visitor& visitor);
//
// counts the tables from 1 and calls progress.reach(count) whenever the count
// is at or past progress.nextMarkAt(), before the table is evaluated. Progress
// is the ProgressBar in the program; any type with those two members will do.
// When Visitor::kNeedsLogProb is false no log-probability is computed and
// visit() receives 0.0.
//
// A visitor may also name ranges of log-probabilities that change nothing for
// it (enumeration_screen.h); the kernel then skips tables, blocks and subtrees
// that bounds on their sums place inside such a range, without visiting them,
// and counts them all the same.
//
// runPassAnyShape() takes the same arguments and gives the same tables and
// bits, with the shape read at run time for every shape: one instantiation of
// the kernel per visitor instead of one per fixed shape, for passes whose
// per-table work is not what costs (one table, a pass that stops early, a
// pass that writes every table).
//
// Every pass yields the same tables in the same order, and every log-probability
// is bit-identical to the plain reading of the algorithm: the interior cells'
// ln(x!) summed in column-major order, then the derived last-row cells, then the
// derived last-column cells, then the corner, subtracted from LogMarginConst.
#pragma once

// runPass() and the table type are defined in these, so that visitors inline.
#include "engine/kernel/enumeration_kernel.h"
#include "engine/kernel/enumeration_shapes.h"
