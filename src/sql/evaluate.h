// Evaluating a bound condition on a row, with three values (true, false,
// unknown): a comparison with Null is unknown, NOT unknown is unknown, and a
// row matches only when its condition is true. Text compares without regard
// to ASCII case, as the General sort order treats "abc" and "ABC" alike.
#pragma once

#include "jet/database.h"
#include "sql/bind.h"

namespace sql {

enum class Truth { kFalse, kTrue, kUnknown };

Truth Evaluate(const Bound& node, const jet::Row& row);

}  // namespace sql
