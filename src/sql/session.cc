// Statement execution. A statement is parsed, then bound to its table: names
// resolved, literals converted to the types of the columns they meet
// (convert.h). Binding finishes before anything is read or written, so a
// wrong name or value fails the statement without touching the file.
//
// Conditions are evaluated with three values (true, false, unknown): a
// comparison with Null is unknown, NOT unknown is unknown, and a row matches
// only when its condition is true. Text compares without regard to ASCII
// case, as the General sort order treats "abc" and "ABC" alike.
#include "sql/session.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

#include "jet/names.h"
#include "sql/convert.h"
#include "sql/ddl.h"
#include "sql/parser.h"

namespace sql {
namespace {

bool Fail(Error* error, ErrorKind kind, std::string description) {
  error->kind = kind;
  error->description = std::move(description);
  return false;
}

// Engine failures: rule breaks keep their kind; the rest is the engine's.
// Damage found in the file says so before naming the page.
bool FailStatus(Error* error, const jet::Status& status) {
  ErrorKind kind = ErrorKind::kDatabase;
  switch (status.code()) {
    case jet::StatusCode::kConstraint:
    case jet::StatusCode::kInvalidArgument: kind = ErrorKind::kConstraint; break;
    case jet::StatusCode::kNotSupported: kind = ErrorKind::kNotSupported; break;
    default: break;
  }
  std::string description = status.message().empty() ? status.ToString() : status.message();
  if (status.code() == jet::StatusCode::kCorruption) {
    description = "The database file is damaged: " + description;
  }
  return Fail(error, kind, std::move(description));
}

// Starting a unit fails for the whole file (open for reading only, a
// format the engine does not write), never for a rule of the table.
bool FailBegin(Error* error, const jet::Status& status, const std::string& table) {
  return Fail(error,
              status.code() == jet::StatusCode::kNotSupported ? ErrorKind::kNotSupported : ErrorKind::kDatabase,
              "Cannot change table " + table + ": " + status.message());
}

bool LookUpTable(jet::Database& db, const Statement& statement, jet::TableDef* table, Error* error) {
  auto found = db.GetTable(statement.table);
  if (found.ok()) {
    *table = std::move(*found);
    return true;
  }
  if (found.status().IsNotFound()) {
    return Fail(error, ErrorKind::kNoSuchTable,
                "The table " + statement.table + " (character " + std::to_string(statement.table_position) +
                    ") does not exist");
  }
  return FailStatus(error, found.status());
}

// The index in table.columns of the named column.
bool LookUpColumn(const jet::TableDef& table, const ColumnRef& ref, size_t* column_index, Error* error) {
  const jet::ColumnDef* column = nullptr;
  if (ref.qualifier.empty() || jet::AsciiEqualsNoCase(ref.qualifier, table.name)) column = table.FindColumn(ref.name);
  if (column == nullptr) {
    return Fail(error, ErrorKind::kNoSuchColumn,
                "The table " + table.name + " has no column " + ref.Display() + " (character " +
                    std::to_string(ref.position) + ")");
  }
  *column_index = static_cast<size_t>(column - table.columns.data());
  return true;
}

bool ConvertFor(const jet::TableDef& table, const jet::ColumnDef& column, const Literal& literal,
                std::deque<std::string>* arena, jet::Value* value, Error* error) {
  Converted converted = ConvertLiteral(table, column, literal, arena);
  if (converted.failure == ConvertFailure::kNone) {
    *value = converted.value;
    return true;
  }
  return Fail(error,
              converted.failure == ConvertFailure::kNotSupported ? ErrorKind::kNotSupported
                                                                 : ErrorKind::kTypeMismatch,
              converted.description);
}

// A copy of `source` that owns its bytes: text and binary values are
// re-pointed into the copy's storage. The storage is made larger than any
// inline string buffer so that moving the Row keeps the pointers valid.
jet::Row OwnRow(const jet::Row& source) {
  jet::Row row;
  row.page = source.page;
  row.slot = source.slot;
  size_t bytes = 0;
  for (const jet::Value& value : source.values) {
    if (value.kind() == jet::Value::Kind::kText || value.kind() == jet::Value::Kind::kBinary) {
      bytes += value.binary().size();
    }
  }
  row.storage.reserve(std::max<size_t>(bytes, 64));
  std::vector<size_t> offsets;
  offsets.reserve(source.values.size());
  for (const jet::Value& value : source.values) {
    offsets.push_back(row.storage.size());
    if (value.kind() == jet::Value::Kind::kText || value.kind() == jet::Value::Kind::kBinary) {
      row.storage.append(value.binary());
    }
  }
  row.values.reserve(source.values.size());
  for (size_t i = 0; i < source.values.size(); ++i) {
    const jet::Value& value = source.values[i];
    if (value.kind() == jet::Value::Kind::kText || value.kind() == jet::Value::Kind::kBinary) {
      row.values.push_back(jet::Value::Bytes(
          value.kind(), std::string_view(row.storage.data() + offsets[i], value.binary().size())));
    } else {
      row.values.push_back(value);
    }
  }
  return row;
}

// ---- Conditions ----

enum class Truth { kFalse, kTrue, kUnknown };

enum class ValueClass { kNumber, kText, kOther };

ValueClass ClassOf(jet::ColumnType type) {
  switch (type) {
    case jet::ColumnType::kBoolean:
    case jet::ColumnType::kByte:
    case jet::ColumnType::kInteger:
    case jet::ColumnType::kLong:
    case jet::ColumnType::kCurrency:
    case jet::ColumnType::kSingle:
    case jet::ColumnType::kDouble:
    case jet::ColumnType::kDateTime: return ValueClass::kNumber;
    case jet::ColumnType::kText:
    case jet::ColumnType::kMemo: return ValueClass::kText;
    default: return ValueClass::kOther;
  }
}

double NumberOf(const jet::Value& value) {
  switch (value.kind()) {
    case jet::Value::Kind::kBoolean: return value.boolean() ? -1.0 : 0.0;
    case jet::Value::Kind::kCurrency: return static_cast<double>(value.integer()) / 10000.0;
    case jet::Value::Kind::kByte:
    case jet::Value::Kind::kInteger:
    case jet::Value::Kind::kLong: return static_cast<double>(value.integer());
    default: return value.real();
  }
}

bool IsExactInteger(const jet::Value& value) {
  const jet::Value::Kind kind = value.kind();
  return kind == jet::Value::Kind::kByte || kind == jet::Value::Kind::kInteger ||
         kind == jet::Value::Kind::kLong || kind == jet::Value::Kind::kCurrency ||
         kind == jet::Value::Kind::kBoolean;
}

int64_t ScaledOf(const jet::Value& value) {
  if (value.kind() == jet::Value::Kind::kCurrency) return value.integer();
  if (value.kind() == jet::Value::Kind::kBoolean) return value.boolean() ? -10000 : 0;
  return value.integer() * 10000;
}

// REQUIRES: neither is null, both of one ValueClass.
int CompareValues(const jet::Value& a, const jet::Value& b) {
  if (a.kind() == jet::Value::Kind::kText) return jet::AsciiCompareNoCase(a.text(), b.text());
  if (IsExactInteger(a) && IsExactInteger(b)) {
    const int64_t x = ScaledOf(a), y = ScaledOf(b);
    return x == y ? 0 : (x < y ? -1 : 1);
  }
  const double x = NumberOf(a), y = NumberOf(b);
  return x == y ? 0 : (x < y ? -1 : 1);
}

bool Holds(CompareOp op, int order) {
  switch (op) {
    case CompareOp::kEq: return order == 0;
    case CompareOp::kNe: return order != 0;
    case CompareOp::kLt: return order < 0;
    case CompareOp::kGt: return order > 0;
    case CompareOp::kLe: return order <= 0;
    case CompareOp::kGe: return order >= 0;
  }
  return false;
}

CompareOp Mirror(CompareOp op) {
  switch (op) {
    case CompareOp::kLt: return CompareOp::kGt;
    case CompareOp::kGt: return CompareOp::kLt;
    case CompareOp::kLe: return CompareOp::kGe;
    case CompareOp::kGe: return CompareOp::kLe;
    default: return op;
  }
}

// A condition bound to a table: columns as indexes, literals converted.
struct Bound {
  enum class Kind { kColumn, kConstant, kCompare, kIsNull, kAnd, kOr, kNot };
  Kind kind = Kind::kConstant;
  size_t column_index = 0;     // kColumn
  jet::Value constant;         // kConstant
  CompareOp op = CompareOp::kEq;
  bool negated = false;
  bool column_typed = false;   // kConstant: converted to the compared column's type
  std::unique_ptr<Bound> left, right;
};

// A literal compared with another literal, or standing alone: its own type.
jet::Value NaturalValue(const Literal& literal, std::deque<std::string>* arena, bool* ok) {
  *ok = true;
  switch (literal.kind) {
    case Literal::Kind::kNull: return jet::Value::Null();
    case Literal::Kind::kBoolean: return jet::Value::Boolean(literal.boolean);
    case Literal::Kind::kNumber:
      return jet::Value::Real(jet::Value::Kind::kDouble, std::strtod(literal.text.c_str(), nullptr));
    case Literal::Kind::kDate: {
      double ole = 0;
      *ok = ParseDateTimeText(literal.text, &ole);
      return jet::Value::Real(jet::Value::Kind::kDateTime, ole);
    }
    case Literal::Kind::kString:
      arena->push_back(literal.text);
      return jet::Value::Bytes(jet::Value::Kind::kText, arena->back());
  }
  return jet::Value::Null();
}

ValueClass ClassOfValue(const jet::Value& value) {
  if (value.is_null()) return ValueClass::kOther;
  return value.kind() == jet::Value::Kind::kText ? ValueClass::kText : ValueClass::kNumber;
}

class Binder {
 public:
  Binder(const jet::TableDef& table, std::deque<std::string>* arena) : table_(table), arena_(arena) {}

  bool Bind(const Expr& expr, std::unique_ptr<Bound>* out, Error* error) {
    auto node = std::make_unique<Bound>();
    switch (expr.kind) {
      case Expr::Kind::kColumn:
        node->kind = Bound::Kind::kColumn;
        if (!LookUpColumn(table_, expr.column, &node->column_index, error)) return false;
        break;
      case Expr::Kind::kLiteral: {
        node->kind = Bound::Kind::kConstant;
        bool ok = true;  // # literals were checked by the parser
        node->constant = NaturalValue(expr.literal, arena_, &ok);
        break;
      }
      case Expr::Kind::kIsNull:
      case Expr::Kind::kNot:
        node->kind = expr.kind == Expr::Kind::kIsNull ? Bound::Kind::kIsNull : Bound::Kind::kNot;
        node->negated = expr.negated;
        if (expr.kind == Expr::Kind::kNot ? !BindCondition(*expr.left, &node->left, error)
                                          : !Bind(*expr.left, &node->left, error)) {
          return false;
        }
        break;
      case Expr::Kind::kAnd:
      case Expr::Kind::kOr:
        node->kind = expr.kind == Expr::Kind::kAnd ? Bound::Kind::kAnd : Bound::Kind::kOr;
        if (!BindCondition(*expr.left, &node->left, error) || !BindCondition(*expr.right, &node->right, error)) {
          return false;
        }
        break;
      case Expr::Kind::kCompare:
        if (!BindCompare(expr, node.get(), error)) return false;
        break;
    }
    *out = std::move(node);
    return true;
  }

 private:
  bool BindCompare(const Expr& expr, Bound* node, Error* error) {
    node->kind = Bound::Kind::kCompare;
    node->op = expr.op;
    const Expr* left = expr.left.get();
    const Expr* right = expr.right.get();
    // Column on the left, so that a literal meets the column's type.
    if (left->kind == Expr::Kind::kLiteral && right->kind == Expr::Kind::kColumn) {
      std::swap(left, right);
      node->op = Mirror(node->op);
    }
    if (!Bind(*left, &node->left, error)) return false;
    if (left->kind == Expr::Kind::kColumn && right->kind == Expr::Kind::kLiteral) {
      node->right = std::make_unique<Bound>();
      node->right->kind = Bound::Kind::kConstant;
      const jet::ColumnDef& column = table_.columns[node->left->column_index];
      Converted converted = ConvertLiteral(table_, column, right->literal, arena_);
      if (converted.failure == ConvertFailure::kNone) {
        node->right->constant = converted.value;
        node->right->column_typed = true;
        return true;
      }
      // A number the column cannot hold (beyond its range, or 5 for a
      // Yes/No) still compares as a number: Yes is -1 and No is 0.
      if (right->literal.kind == Literal::Kind::kNumber && ClassOf(column.type) == ValueClass::kNumber) {
        bool ok = true;
        node->right->constant = NaturalValue(right->literal, arena_, &ok);
        return true;
      }
      return ConvertFor(table_, column, right->literal, arena_, &node->right->constant, error);
    }
    if (!Bind(*right, &node->right, error)) return false;
    const ValueClass a = ClassOfOperand(*node->left), b = ClassOfOperand(*node->right);
    if (IsNullConstant(*node->left) || IsNullConstant(*node->right)) return true;
    if (a == b && a != ValueClass::kOther) return true;
    return Fail(error, ErrorKind::kTypeMismatch,
                "Data type mismatch: " + Describe(*left) + " cannot be compared with " + Describe(*right) +
                    " (character " + std::to_string(expr.position) + ")");
  }

  std::string Describe(const Expr& expr) const {
    if (expr.kind == Expr::Kind::kLiteral) return "the value " + expr.literal.Display();
    if (expr.kind != Expr::Kind::kColumn) return "a condition";
    const jet::ColumnDef* column = table_.FindColumn(expr.column.name);
    return "column " + table_.name + "." + (column != nullptr ? column->name : expr.column.name) + " (" +
           (column != nullptr ? jet::ColumnTypeName(column->type) : "?") + ")";
  }

 public:
  // A condition: WHERE itself and each operand of AND, OR and NOT. A number
  // or Yes/No stands for true when it is not 0; a text is no condition.
  bool BindCondition(const Expr& expr, std::unique_ptr<Bound>* out, Error* error) {
    if (!Bind(expr, out, error)) return false;
    const Bound& node = **out;
    if ((node.kind == Bound::Kind::kColumn || node.kind == Bound::Kind::kConstant) &&
        !IsNullConstant(node) && ClassOfOperand(node) != ValueClass::kNumber) {
      return Fail(error, ErrorKind::kTypeMismatch,
                  "Data type mismatch: " + Describe(expr) + " is not a condition (character " +
                      std::to_string(expr.position) + ")");
    }
    return true;
  }

 private:

  static bool IsNullConstant(const Bound& node) {
    return node.kind == Bound::Kind::kConstant && node.constant.is_null();
  }

  ValueClass ClassOfOperand(const Bound& node) const {
    if (node.kind == Bound::Kind::kColumn) return ClassOf(table_.columns[node.column_index].type);
    if (node.kind == Bound::Kind::kConstant) return ClassOfValue(node.constant);
    return ValueClass::kNumber;  // a condition: true -1, false 0
  }

  const jet::TableDef& table_;
  std::deque<std::string>* arena_;
};

struct Operand {
  bool is_value = true;
  jet::Value value;
  Truth truth = Truth::kUnknown;
};

Truth TruthOf(const jet::Value& value) {
  if (value.is_null()) return Truth::kUnknown;
  if (value.kind() == jet::Value::Kind::kText || value.kind() == jet::Value::Kind::kBinary) {
    return value.binary().empty() ? Truth::kFalse : Truth::kTrue;
  }
  return NumberOf(value) != 0 ? Truth::kTrue : Truth::kFalse;
}

Truth Evaluate(const Bound& node, const jet::Row& row);

jet::Value ValueOf(const Bound& node, const jet::Row& row) {
  if (node.kind == Bound::Kind::kColumn) return row.values[node.column_index];
  if (node.kind == Bound::Kind::kConstant) return node.constant;
  switch (Evaluate(node, row)) {
    case Truth::kTrue: return jet::Value::Boolean(true);
    case Truth::kFalse: return jet::Value::Boolean(false);
    case Truth::kUnknown: break;
  }
  return jet::Value::Null();
}

Truth Evaluate(const Bound& node, const jet::Row& row) {
  switch (node.kind) {
    case Bound::Kind::kColumn:
    case Bound::Kind::kConstant: return TruthOf(ValueOf(node, row));
    case Bound::Kind::kCompare: {
      const jet::Value a = ValueOf(*node.left, row);
      const jet::Value b = ValueOf(*node.right, row);
      if (a.is_null() || b.is_null()) return Truth::kUnknown;
      if (ClassOfValue(a) != ClassOfValue(b)) return Truth::kUnknown;
      return Holds(node.op, CompareValues(a, b)) ? Truth::kTrue : Truth::kFalse;
    }
    case Bound::Kind::kIsNull: {
      const bool is_null = ValueOf(*node.left, row).is_null();
      return is_null != node.negated ? Truth::kTrue : Truth::kFalse;
    }
    case Bound::Kind::kNot: {
      const Truth t = Evaluate(*node.left, row);
      if (t == Truth::kUnknown) return t;
      return t == Truth::kTrue ? Truth::kFalse : Truth::kTrue;
    }
    case Bound::Kind::kAnd: {
      const Truth a = Evaluate(*node.left, row);
      if (a == Truth::kFalse) return a;
      const Truth b = Evaluate(*node.right, row);
      if (b == Truth::kFalse) return b;
      return a == Truth::kTrue && b == Truth::kTrue ? Truth::kTrue : Truth::kUnknown;
    }
    case Bound::Kind::kOr: {
      const Truth a = Evaluate(*node.left, row);
      if (a == Truth::kTrue) return a;
      const Truth b = Evaluate(*node.right, row);
      if (b == Truth::kTrue) return b;
      return a == Truth::kFalse && b == Truth::kFalse ? Truth::kFalse : Truth::kUnknown;
    }
  }
  return Truth::kUnknown;
}

// Equalities "column = value" that every matching row satisfies: the
// condition itself and, through AND, its parts.
void CollectEqualities(const Bound* node, std::vector<const Bound*>* out) {
  if (node == nullptr) return;
  if (node->kind == Bound::Kind::kAnd) {
    CollectEqualities(node->left.get(), out);
    CollectEqualities(node->right.get(), out);
    return;
  }
  if (node->kind == Bound::Kind::kCompare && node->op == CompareOp::kEq &&
      node->left->kind == Bound::Kind::kColumn && node->right->kind == Bound::Kind::kConstant &&
      node->right->column_typed && !node->right->constant.is_null()) {
    out->push_back(node);
  }
}

// Index seeks run with the values in the kinds that key building expects
// for the column; converted literals already have them.
struct SeekPlan {
  const jet::IndexDef* index = nullptr;
  jet::Value value;
};

std::optional<SeekPlan> ChooseIndex(jet::Database& db, const jet::TableDef& table, const Bound* where) {
  std::vector<const Bound*> equalities;
  CollectEqualities(where, &equalities);
  if (equalities.empty()) return std::nullopt;
  // The primary key first, then unique indexes, then the rest: the fewer
  // rows an index can give, the better.
  for (int pass = 0; pass < 3; ++pass) {
    for (const jet::IndexDef& index : table.indexes) {
      const bool wanted = pass == 0   ? index.IsPrimaryKey()
                          : pass == 1 ? !index.IsPrimaryKey() && index.IsUnique()
                                      : !index.IsPrimaryKey() && !index.IsUnique();
      if (!wanted || index.columns.empty()) continue;
      std::string why;
      if (!db.CanSeek(table, index, &why)) continue;
      for (const Bound* equality : equalities) {
        const jet::ColumnDef& column = table.columns[equality->left->column_index];
        if (column.column_number == index.columns.front().column_number) {
          return SeekPlan{&index, equality->right->constant};
        }
      }
    }
  }
  return std::nullopt;
}

}  // namespace

Session::Session(jet::Database& db) : db_(db) {}

// Reads every row of `table` that `where` holds for, through an index when
// ChooseIndex finds one (Q3). `visit` gets each row; false from it stops.
template <typename Visit>
static bool ForEachMatch(jet::Database& db, const jet::TableDef& table, const Bound* where,
                         Session::AccessCounts* counts, Error* error, Visit visit) {
  std::unique_ptr<jet::TableCursor> cursor;
  if (const std::optional<SeekPlan> plan = ChooseIndex(db, table, where)) {
    jet::KeyBound bound;
    bound.values.push_back(plan->value);
    auto seek = db.SeekRange(table, *plan->index, &bound, &bound);
    if (seek.ok()) {
      ++counts->index_seeks;
      cursor = std::move(*seek);
    } else if (seek.status().code() != jet::StatusCode::kNotSupported) {
      return FailStatus(error, seek.status());
    }
  }
  if (cursor == nullptr) {
    auto scan = db.Scan(table);
    if (!scan.ok()) return FailStatus(error, scan.status());
    ++counts->table_scans;
    cursor = std::move(*scan);
  }
  jet::Row row;
  jet::Status status;
  while (cursor->Next(&row, &status)) {
    if (where != nullptr && Evaluate(*where, row) != Truth::kTrue) continue;
    visit(row);
  }
  if (!status.ok()) return FailStatus(error, status);
  return true;
}

bool Session::Execute(std::string_view text, Outcome* outcome, Error* error) {
  *outcome = Outcome();
  if (IsDdl(text)) return RunDdl(db_, text, error);  // CREATE TABLE / INDEX: ddl.h
  Statement statement;
  std::string message;
  if (!Parse(text, &statement, &message)) return Fail(error, ErrorKind::kSyntax, message);
  switch (statement.kind) {
    case Statement::Kind::kSelectIdentity: {
      // One row, one column named as Access names an unnamed expression.
      jet::ColumnDef column;
      column.name = "Expr1000";
      column.type = jet::ColumnType::kLong;
      outcome->has_rows = true;
      outcome->result.columns.push_back(column);
      jet::Row row;
      row.values.push_back(jet::Value::Integer(jet::Value::Kind::kLong, last_identity_));
      outcome->result.rows.push_back(std::move(row));
      return true;
    }
    case Statement::Kind::kSelect: return RunSelect(statement, outcome, error);
    case Statement::Kind::kInsert: return RunInsert(statement, outcome, error);
    case Statement::Kind::kUpdate: return RunUpdate(statement, outcome, error);
  }
  return Fail(error, ErrorKind::kNotSupported, "unknown statement");
}

bool Session::RunSelect(const Statement& statement, Outcome* outcome, Error* error) {
  jet::TableDef table;
  if (!LookUpTable(db_, statement, &table, error)) return false;
  std::deque<std::string> arena;
  std::unique_ptr<Bound> where;
  if (statement.where != nullptr && !Binder(table, &arena).BindCondition(*statement.where, &where, error)) return false;
  ResultSet result;
  result.columns = table.columns;
  if (!ForEachMatch(db_, table, where.get(), &access_counts_, error,
                    [&](const jet::Row& row) { result.rows.push_back(OwnRow(row)); })) {
    return false;
  }
  outcome->has_rows = true;
  outcome->result = std::move(result);
  return true;
}

bool Session::RunInsert(const Statement& statement, Outcome* outcome, Error* error) {
  jet::TableDef table;
  if (!LookUpTable(db_, statement, &table, error)) return false;
  std::vector<size_t> targets;
  if (statement.columns.empty()) {
    for (size_t i = 0; i < table.columns.size(); ++i) targets.push_back(i);
  } else {
    for (const ColumnRef& ref : statement.columns) {
      size_t column_index = 0;
      if (!LookUpColumn(table, ref, &column_index, error)) return false;
      if (std::find(targets.begin(), targets.end(), column_index) != targets.end()) {
        return Fail(error, ErrorKind::kSyntax,
                    "The column " + table.name + "." + ref.name + " is named twice in INSERT INTO (character " +
                        std::to_string(ref.position) + ")");
      }
      targets.push_back(column_index);
    }
  }
  if (targets.size() != statement.values.size()) {
    return Fail(error, ErrorKind::kSyntax,
                "INSERT INTO " + table.name + " gives " + std::to_string(statement.values.size()) +
                    " values for " + std::to_string(targets.size()) + " columns");
  }
  std::deque<std::string> arena;
  std::vector<jet::Value> values(table.columns.size(), jet::Value::Null());
  for (size_t i = 0; i < targets.size(); ++i) {
    if (!ConvertFor(table, table.columns[targets[i]], statement.values[i], &arena, &values[targets[i]], error)) {
      return false;
    }
  }
  if (const jet::Status begun = db_.Begin(); !begun.ok()) return FailBegin(error, begun, table.name);
  auto inserted = db_.Insert(table, values);
  if (!inserted.ok()) {
    db_.Rollback();
    return FailStatus(error, inserted.status());
  }
  if (const jet::Status committed = db_.Commit(); !committed.ok()) {
    db_.Rollback();
    return FailStatus(error, committed);
  }
  const bool has_autonumber = std::any_of(table.columns.begin(), table.columns.end(),
                                          [](const jet::ColumnDef& c) { return c.IsLongAutoNumber(); });
  if (has_autonumber) last_identity_ = inserted->autonumber;
  outcome->rows_affected = 1;
  return true;
}

bool Session::RunUpdate(const Statement& statement, Outcome* outcome, Error* error) {
  jet::TableDef table;
  if (!LookUpTable(db_, statement, &table, error)) return false;
  std::deque<std::string> arena;
  std::vector<jet::ColumnChange> changes;
  for (const Assignment& assignment : statement.assignments) {
    jet::ColumnChange change;
    if (!LookUpColumn(table, assignment.column, &change.column_index, error)) return false;
    const jet::ColumnDef& column = table.columns[change.column_index];
    for (const jet::ColumnChange& earlier : changes) {
      if (earlier.column_index == change.column_index) {
        return Fail(error, ErrorKind::kSyntax,
                    "The column " + table.name + "." + column.name + " is set twice in UPDATE (character " +
                        std::to_string(assignment.column.position) + ")");
      }
    }
    if (column.IsAutoNumber()) {
      return Fail(error, ErrorKind::kConstraint,
                  "The AutoNumber column " + table.name + "." + column.name + " cannot be updated");
    }
    if (!ConvertFor(table, column, assignment.value, &arena, &change.value, error)) return false;
    changes.push_back(change);
  }
  std::unique_ptr<Bound> where;
  if (statement.where != nullptr && !Binder(table, &arena).BindCondition(*statement.where, &where, error)) return false;

  // Every matching row is found before the first write: cursors do not
  // survive writes, and a row the update moves must not be met twice.
  std::vector<jet::RowId> ids;
  if (!ForEachMatch(db_, table, where.get(), &access_counts_, error,
                    [&](const jet::Row& row) { ids.push_back(jet::RowId{row.page, row.slot}); })) {
    return false;
  }
  if (ids.empty()) return true;
  if (const jet::Status begun = db_.Begin(); !begun.ok()) return FailBegin(error, begun, table.name);
  for (const jet::RowId& id : ids) {
    if (const jet::Status updated = db_.Update(table, id, changes); !updated.ok()) {
      db_.Rollback();
      return FailStatus(error, updated);
    }
  }
  if (const jet::Status committed = db_.Commit(); !committed.ok()) {
    db_.Rollback();
    return FailStatus(error, committed);
  }
  outcome->rows_affected = static_cast<int64_t>(ids.size());
  return true;
}

}  // namespace sql
