// Inserting and updating rows: the table writer over the pager, the row
// encoder, the space manager and the indexes; see database.h.
#include "jet/database_impl.h"

namespace jet {

Status DatabaseImpl::ReadRow(const TableDef&, RowId, Row*) {
  return Status::NotSupported("reading a row by its id is not available yet");
}

Status DatabaseImpl::Begin() {
  if (read_only_) return Status::InvalidArgument("the database is open for reading only");
  JET_RETURN_IF_ERROR(file_.BeginUnit());
  user_unit_ = true;
  return Status::OK();
}

Status DatabaseImpl::Commit() {
  if (!user_unit_) return Status::InvalidArgument("Commit without Begin");
  user_unit_ = false;
  return file_.CommitUnit();
}

void DatabaseImpl::Rollback() {
  user_unit_ = false;
  file_.RollbackUnit();
}

Result<InsertedRow> DatabaseImpl::Insert(const TableDef&, const std::vector<Value>&) {
  return Status::NotSupported("inserting rows is not available yet");
}

Status DatabaseImpl::Update(const TableDef&, RowId, const std::vector<ColumnChange>&) {
  return Status::NotSupported("updating rows is not available yet");
}

Status DatabaseImpl::Close() {
  user_unit_ = false;
  return file_.Close();
}

}  // namespace jet
