// Rewrites a table's indexes from its rows, for the index tests that let the
// independent checker judge our keys. Used by *_test.cc only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/format/format.h"
#include "jet/index/index_key.h"
#include "jet/index/index_tree.h"
#include "jet/pager/page_file.h"

namespace jet::testing {

// Empties every index of `table` in the Jet 4 `image` (read through `db`)
// and fills it again with the keys of each row's values as `values_of`
// hands them over.
inline Status RebuildIndexes(Database& db, const TableDef& table,
                             const std::function<std::vector<Value>(const Row&)>& values_of,
                             std::string* image) {
  PageFile file(*image);
  JET_RETURN_IF_ERROR(file.SetPageSize(4096));
  JET_RETURN_IF_ERROR(file.BeginUnit());
  for (const IndexDef& index : table.indexes) {
    IndexTree tree(file, kJet4Format, table, index);
    std::vector<IndexEntry> old;
    JET_RETURN_IF_ERROR(tree.ReadAll(&old));
    for (const IndexEntry& e : old) JET_RETURN_IF_ERROR(tree.Remove(e.key, e.row_id()));
    auto cursor = db.Scan(table);
    if (!cursor.ok()) return cursor.status();
    Row row;
    Status s;
    while ((*cursor)->Next(&row, &s)) {
      std::string key;
      JET_RETURN_IF_ERROR(EncodeIndexKey(table, index, values_of(row), &key));
      JET_RETURN_IF_ERROR(tree.Insert(key, RowId{row.page, row.slot}));
    }
    JET_RETURN_IF_ERROR(s);
  }
  JET_RETURN_IF_ERROR(file.CommitUnit());
  *image = file.Image();
  return Status::OK();
}

}  // namespace jet::testing
