// A WHERE condition bound to its table (bind.h makes it, evaluate.h
// evaluates it, plan.h chooses an index by it).
#pragma once

#include <cstddef>
#include <memory>

#include "jet/database.h"
#include "jet/expression.h"
#include "sql/parser.h"

namespace sql {

// A condition bound to a table: columns as indexes, literals converted.
struct Bound {
  enum class Kind { kColumn, kConstant, kCompare, kIsNull, kAnd, kOr, kNot };
  Kind kind = Kind::kConstant;
  size_t column_index = 0;  // kColumn
  jet::Value constant;      // kConstant
  CompareOp op = CompareOp::kEq;
  bool negated = false;
  bool column_typed = false;  // kConstant: converted to the compared column's type
  std::unique_ptr<Bound> left, right;
  jet::Expression expression;  // the whole condition, at its root (evaluate.h)
};

}  // namespace sql
