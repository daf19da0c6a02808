// Statement execution: a statement is parsed (parser.h), bound to its table
// (bind.h), its rows found through an index or a scan (plan.h) and matched
// against its condition (evaluate.h), then read or changed in one unit of
// the engine.
#include "sql/session.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

#include "jet/names.h"
#include "sql/bind.h"
#include "sql/ddl.h"
#include "sql/evaluate.h"
#include "sql/parser.h"
#include "sql/plan.h"

namespace sql {
namespace {

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
              status.code() == jet::StatusCode::kNotSupported ? ErrorKind::kNotSupported
                                                              : ErrorKind::kDatabase,
              "Cannot change table " + table + ": " + status.message());
}

bool LookUpTable(jet::Database& db, const Statement& statement, jet::TableDef* table,
                 Error* error) {
  auto found = db.GetTable(statement.table);
  if (found.ok()) {
    *table = std::move(*found);
    return true;
  }
  if (found.status().IsNotFound()) {
    return Fail(error, ErrorKind::kNoSuchTable,
                "The table " + statement.table + " (character " +
                    std::to_string(statement.table_position) + ") does not exist");
  }
  return FailStatus(error, found.status());
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
    if (where != nullptr) {
      jet::Status evaluated;
      const Truth truth = Evaluate(*where, row, &evaluated);
      if (!evaluated.ok()) return Fail(error, ErrorKind::kTypeMismatch, evaluated.message());
      if (truth != Truth::kTrue) continue;
    }
    visit(row);
  }
  if (!status.ok()) return FailStatus(error, status);
  return true;
}

// The rows `where` holds for, all found before the first write: cursors do
// not survive writes, and a row an update moves must not be met twice.
static bool MatchingRowIds(jet::Database& db, const jet::TableDef& table, const Bound* where,
                           Session::AccessCounts* counts, std::vector<jet::RowId>* ids,
                           Error* error) {
  return ForEachMatch(db, table, where, counts, error, [&](const jet::Row& row) {
    ids->push_back(jet::RowId{row.page, row.slot});
  });
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
    case Statement::Kind::kDelete: return RunDelete(statement, outcome, error);
  }
  return Fail(error, ErrorKind::kNotSupported, "unknown statement");
}

bool Session::RunSelect(const Statement& statement, Outcome* outcome, Error* error) {
  jet::TableDef table;
  if (!LookUpTable(db_, statement, &table, error)) return false;
  std::deque<std::string> arena;
  std::unique_ptr<Bound> where;
  if (statement.where != nullptr && !BindCondition(table, *statement.where, &arena, &where, error))
    return false;
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
                    "The column " + table.name + "." + ref.name +
                        " is named twice in INSERT INTO (character " +
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
    if (!ConvertFor(table, table.columns[targets[i]], statement.values[i], &arena,
                    &values[targets[i]], error)) {
      return false;
    }
  }
  if (const jet::Status begun = db_.Begin(); !begun.ok())
    return FailBegin(error, begun, table.name);
  // A column list that leaves columns out gives them their default values.
  std::vector<bool> named;
  if (!statement.columns.empty()) {
    named.assign(table.columns.size(), false);
    for (size_t target : targets) named[target] = true;
  }
  auto inserted = db_.Insert(table, values, named);
  if (!inserted.ok()) {
    db_.Rollback();
    return FailStatus(error, inserted.status());
  }
  if (const jet::Status committed = db_.Commit(); !committed.ok()) {
    db_.Rollback();
    return FailStatus(error, committed);
  }
  const bool has_autonumber =
      std::any_of(table.columns.begin(), table.columns.end(),
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
                    "The column " + table.name + "." + column.name +
                        " is set twice in UPDATE (character " +
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
  if (statement.where != nullptr && !BindCondition(table, *statement.where, &arena, &where, error))
    return false;

  std::vector<jet::RowId> ids;
  if (!MatchingRowIds(db_, table, where.get(), &access_counts_, &ids, error)) return false;
  if (ids.empty()) return true;
  if (const jet::Status begun = db_.Begin(); !begun.ok())
    return FailBegin(error, begun, table.name);
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

bool Session::RunDelete(const Statement& statement, Outcome* outcome, Error* error) {
  jet::TableDef table;
  if (!LookUpTable(db_, statement, &table, error)) return false;
  if (!statement.target.empty() && !jet::NamesEqual(statement.target, table.name)) {
    return Fail(error, ErrorKind::kSyntax,
                "Specify the table containing the records you want to delete (" + statement.target +
                    ".* at character " + std::to_string(statement.target_position) +
                    " is not the table " + table.name + ")");
  }
  std::deque<std::string> arena;
  std::unique_ptr<Bound> where;
  if (statement.where != nullptr &&
      !BindCondition(table, *statement.where, &arena, &where, error)) {
    return false;
  }
  std::vector<jet::RowId> ids;
  if (!MatchingRowIds(db_, table, where.get(), &access_counts_, &ids, error)) return false;
  if (ids.empty()) return true;
  if (const jet::Status begun = db_.Begin(); !begun.ok()) {
    return FailBegin(error, begun, table.name);
  }
  int64_t deleted = 0;
  for (const jet::RowId& id : ids) {
    const jet::Status status = db_.Delete(table, id);
    if (status.IsNotFound()) continue;  // a relationship's cascade took it with an earlier row
    if (!status.ok()) {
      db_.Rollback();
      return FailStatus(error, status);
    }
    ++deleted;
  }
  if (const jet::Status committed = db_.Commit(); !committed.ok()) {
    db_.Rollback();
    return FailStatus(error, committed);
  }
  outcome->rows_affected = deleted;
  return true;
}

}  // namespace sql
