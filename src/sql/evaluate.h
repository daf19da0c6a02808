// Evaluating a bound condition on a row with the engine's evaluator of
// Access expressions (jet/expression.h), with three values (true, false,
// unknown): a comparison with Null is unknown, NOT unknown is unknown, and a
// row matches only when its condition is true. Text compares without regard
// to case, as the General sort order treats "abc" and "ABC" alike.
#pragma once

#include "jet/database.h"
#include "jet/expression.h"
#include "sql/bound.h"

namespace sql {

enum class Truth { kFalse, kTrue, kUnknown };

// The condition as the engine's expression: columns read the row by their
// index, constants are the bound values.
jet::Expression CompileCondition(const Bound& where);

// `where` must come from BindCondition (its expression is compiled). A
// failure of the evaluation sets *status and gives kUnknown.
Truth Evaluate(const Bound& where, const jet::Row& row, jet::Status* status);

}  // namespace sql
