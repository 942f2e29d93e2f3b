// A visitor that counts the tables it is handed, around any visitor of the
// engine, for the share of tables a bounded pass visits.
#pragma once

#include <cstdint>

#include "base/double_pair.h"

namespace rxc::bench {

template <class Visitor>
struct VisitCounting : Visitor {
  using Visitor::Visitor;

  template <class Table>
  bool visit(double logProb, const Table& table) {
    ++visits;
    return Visitor::visit(logProb, table);
  }
  template <class Table>
  void visitPair(DoublePair logProbs, const Table& first, const Table& second) requires
      requires(Visitor& v) {
    v.visitPair(logProbs, first, second);
  }
  {
    visits += 2;
    Visitor::visitPair(logProbs, first, second);
  }

  uint64_t visits = 0;
};

}  // namespace rxc::bench
