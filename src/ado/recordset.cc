// Recordsets as snapshots of a statement's rows; see recordset.h.
#include "ado/recordset.h"

#include "ado/error_numbers.h"
#include "errors/runtime_error.h"
#include "strings/ascii.h"

namespace ado {
namespace {

[[noreturn]] void ThrowKnown(const errors::KnownError& error) { throw errors::RuntimeError(error); }

}  // namespace

std::string Field::Name() const {
  recordset_->RequireOpen();
  if (column_index_ >= recordset_->column_names_.size()) ThrowKnown(kItemNotFound);
  return recordset_->column_names_[column_index_];
}

Variant Field::Value() const {
  recordset_->RequireOpen();
  if (column_index_ >= recordset_->column_names_.size()) ThrowKnown(kItemNotFound);
  if (recordset_->position_ >= recordset_->rows_.size()) ThrowKnown(kNoCurrentRecord);
  return recordset_->rows_[recordset_->position_][column_index_];
}

int32_t FieldList::Count() const {
  recordset_->RequireOpen();
  return static_cast<int32_t>(recordset_->column_names_.size());
}

Field FieldList::Item(std::string_view name) const {
  recordset_->RequireOpen();
  const std::vector<std::string>& names = recordset_->column_names_;
  for (size_t i = 0; i < names.size(); ++i) {
    if (strings::AsciiEqualsNoCase(names[i], name)) return Field(recordset_, i);
  }
  ThrowKnown(kItemNotFound);
}

Field FieldList::Item(int32_t position) const {
  if (position < 0 || position >= Count()) ThrowKnown(kItemNotFound);
  return Field(recordset_, static_cast<size_t>(position));
}

void Recordset::SetCursorLocation(int32_t cursor_location) {
  RequireClosed();
  if (cursor_location != adUseServer && cursor_location != adUseClient) ThrowKnown(kBadArgument);
  cursor_location_ = cursor_location;
}

void Recordset::SetCursorType(int32_t cursor_type) {
  RequireClosed();
  if (cursor_type < adOpenUnspecified || cursor_type > adOpenStatic) ThrowKnown(kBadArgument);
  cursor_type_ = cursor_type;
}

void Recordset::SetLockType(int32_t lock_type) {
  RequireClosed();
  if (lock_type < adLockUnspecified || lock_type == 0 || lock_type > adLockBatchOptimistic) {
    ThrowKnown(kBadArgument);
  }
  lock_type_ = lock_type;
}

void Recordset::SetSource(std::string_view source) {
  RequireClosed();
  source_ = std::string(source);
}

void Recordset::SetActiveConnection(Connection* connection) {
  RequireClosed();
  active_connection_ = connection;
}

void Recordset::Open(std::string_view source, Connection* active_connection, int32_t cursor_type,
                     int32_t lock_type, int32_t options) {
  RequireClosed();
  if (options != adCmdUnspecified && options != adCmdText && options != adCmdUnknown) {
    ThrowKnown(kBadArgument);
  }
  if (!source.empty()) SetSource(source);
  if (active_connection != nullptr) SetActiveConnection(active_connection);
  if (cursor_type != adOpenUnspecified) SetCursorType(cursor_type);
  if (lock_type != adLockUnspecified) SetLockType(lock_type);

  if (active_connection_ == nullptr || active_connection_->State() != adStateOpen) {
    ThrowKnown(kConnectionUnusable);
  }
  if (source_.empty()) {
    throw errors::RuntimeError(kProviderNoCommandText,
                               "Command text was not set for the command object.");
  }

  sql::Outcome outcome = active_connection_->Run(source_);
  if (!outcome.has_rows) return;  // an INSERT or UPDATE: done, and nothing to read

  // Take the rows over as Variants that own their text (V1), so that the
  // snapshot stands on its own (R1).
  column_names_.clear();
  for (const jet::ColumnDef& column : outcome.result.columns) column_names_.push_back(column.name);
  rows_.clear();
  rows_.reserve(outcome.result.rows.size());
  for (const jet::Row& row : outcome.result.rows) {
    std::vector<Variant> values(column_names_.size());
    for (size_t i = 0; i < values.size() && i < row.values.size(); ++i) {
      values[i] = Variant::FromJet(row.values[i]);
    }
    rows_.push_back(std::move(values));
  }
  position_ = 0;
  open_ = true;
}

bool Recordset::Eof() const {
  RequireOpen();
  return position_ >= rows_.size();
}

void Recordset::MoveNext() {
  RequireOpen();
  if (position_ >= rows_.size()) ThrowKnown(kNoCurrentRecord);
  ++position_;
}

FieldList Recordset::Fields() const {
  RequireOpen();
  return FieldList(this);
}

void Recordset::Close() {
  RequireOpen();
  open_ = false;
  column_names_.clear();
  rows_.clear();
  position_ = 0;
}

void Recordset::RequireOpen() const {
  if (!open_) ThrowKnown(kObjectClosed);
}

void Recordset::RequireClosed() const {
  if (open_) ThrowKnown(kObjectOpen);
}

}  // namespace ado
