// Binding a statement to its table: names resolved to column indexes,
// literals converted to the types of the columns they meet (convert.h), a
// WHERE turned into a tree of Bound nodes. Binding finishes before anything
// is read or written, so a wrong name or value fails the statement without
// touching the file.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "jet/database.h"
#include "jet/expression.h"
#include "sql/bound.h"
#include "sql/error.h"
#include "sql/parser.h"

namespace sql {

// Fills *error; returns false, for `return Fail(...)`.
bool Fail(Error* error, ErrorKind kind, std::string description);

// What a value can be compared with: numbers (Yes/No and dates among them)
// with numbers, text with text.
enum class ValueClass { kNumber, kText, kOther };
ValueClass ClassOfValue(const jet::Value& value);

// The index in table.columns of the named column; kNoSuchColumn when the
// table has none (or the qualifier names another table).
bool LookUpColumn(const jet::TableDef& table, const ColumnRef& ref, size_t* column_index,
                  Error* error);

// `literal` as a value of `column` (Q2); kTypeMismatch or kNotSupported
// when it cannot be one. Text values point into `arena`.
bool ConvertFor(const jet::TableDef& table, const jet::ColumnDef& column, const Literal& literal,
                std::deque<std::string>* arena, jet::Value* value, Error* error);

// Binds a condition: WHERE itself and each operand of AND, OR and NOT. A
// number or Yes/No stands for true when it is not 0; a text is no condition
// (kTypeMismatch), nor is a comparison of a number with a text.
bool BindCondition(const jet::TableDef& table, const Expr& expr, std::deque<std::string>* arena,
                   std::unique_ptr<Bound>* out, Error* error);

}  // namespace sql
