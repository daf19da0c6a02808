// Enforcing relationships on every write; see relationships.h (R1-R4).
//
// The checks run inside the change that Insert, Update or Delete runs
// (RunChange): a cascaded update or delete is a nested Update/Delete that
// runs in the same unit, so a refusal anywhere rolls back the whole (R4).
// Deletes cascade through a work list rather than by recursion, so that a
// long chain of rows referring to each other cannot exhaust the stack;
// cascaded updates nest, at most kMaxCascadeDepth deep.
#include <algorithm>
#include <deque>

#include "jet/base/value_text.h"
#include "jet/db/database_impl.h"
#include "jet/db/relationships.h"
#include "jet/index/index_key.h"
#include "jet/index/index_tree.h"
#include "jet/names.h"
#include "jet/rows/row_codec.h"

namespace jet {

namespace {

// An ascending index over `columns` of `def`: its keys compare values as
// an index on them would.
IndexDef ProbeIndex(const TableDef& def, const std::vector<size_t>& columns) {
  IndexDef probe;
  probe.name = "(relationship)";
  for (size_t c : columns) {
    probe.columns.push_back({def.columns[c].column_number, def.columns[c].name, true});
  }
  return probe;
}

// A row of `def` holding `key` in `columns` and Null elsewhere.
std::vector<Value> RowWithKey(const TableDef& def, const std::vector<size_t>& columns,
                              const std::vector<Value>& key) {
  std::vector<Value> row(def.columns.size());
  for (size_t i = 0; i < columns.size(); ++i) row[columns[i]] = key[i];
  return row;
}

// The row's values in `columns`; *all_null tells whether they are all Null.
std::vector<Value> KeyOf(const std::vector<Value>& row, const std::vector<size_t>& columns,
                         bool* all_null) {
  std::vector<Value> key;
  *all_null = true;
  for (size_t c : columns) {
    key.push_back(row[c]);
    *all_null = *all_null && row[c].is_null();
  }
  return key;
}

Status ColumnsOf(const Relationship& r, const TableDef& def, const std::vector<std::string>& names,
                 std::vector<size_t>* out) {
  out->clear();
  for (const std::string& name : names) {
    const ColumnDef* column = def.FindColumn(name);
    if (column == nullptr) {
      return Status::NotSupported("relationship " + r.name + " names column " + def.name + "." +
                                  name + ", which the table does not have");
    }
    out->push_back(static_cast<size_t>(column - def.columns.data()));
  }
  return Status::OK();
}

// Whether rows `a` and `b` of `def` hold equal values in `columns`.
Status SameKey(const TableDef& def, const std::vector<size_t>& columns, const std::vector<Value>& a,
               const std::vector<Value>& b, JetVersion version, bool* same) {
  const IndexDef probe = ProbeIndex(def, columns);
  std::string key_a, key_b;
  JET_RETURN_IF_ERROR(EncodeIndexKey(def, probe, a, &key_a, version));
  JET_RETURN_IF_ERROR(EncodeIndexKey(def, probe, b, &key_b, version));
  *same = key_a == key_b;
  return Status::OK();
}

std::string Detail(const Relationship& r, const TableDef& def, const std::vector<size_t>& columns,
                   const std::vector<Value>& row) {
  return " (relationship " + r.name + ": " + IndexValuesText(def, ProbeIndex(def, columns), row) +
         ")";
}

// Deepest nesting of cascaded updates.
constexpr int kMaxCascadeDepth = 64;

}  // namespace

Status DatabaseImpl::LoadRelationships() {
  if (relationships_loaded_) return Status::OK();
  relationships_.clear();
  const CatalogEntry* entry = catalog_.FindTableEntry(kRelationshipsTable);
  if (entry != nullptr && entry->type == kObjectTable) {
    TableDef table;
    TableDefExtras extras;
    JET_RETURN_IF_ERROR(ReadTable(*entry, &table, &extras));
    Result<std::unique_ptr<TableCursor>> cursor = Scan(table);
    if (!cursor.ok()) return cursor.status();
    std::vector<RelationshipRow> rows;
    Row row;
    Status s;
    while ((*cursor)->Next(&row, &s)) {
      RelationshipRow r;
      JET_RETURN_IF_ERROR(ReadRelationshipRow(table, row, &r));
      rows.push_back(std::move(r));
    }
    JET_RETURN_IF_ERROR(s);
    std::vector<Relationship> all;
    JET_RETURN_IF_ERROR(GroupRelationshipRows(std::move(rows), &all));
    // Between local tables of the user's only: system tables are not
    // changed here, and a linked table's relationships are kept where it lives.
    auto foreign = [&](const std::string& name) {
      const CatalogEntry* e = catalog_.FindTableEntry(name);
      return e != nullptr && !catalog_.IsUserTable(*e);
    };
    for (Relationship& r : all) {
      if (r.Enforced() && !foreign(r.table) && !foreign(r.referenced_table)) {
        relationships_.push_back(std::move(r));
      }
    }
  }
  relationships_loaded_ = true;
  return Status::OK();
}

Status DatabaseImpl::RelatedTable(const Relationship& r, const std::string& name, TableDef* def) {
  const CatalogEntry* entry = catalog_.FindTableEntry(name);
  if (entry == nullptr) {
    return Status::NotSupported("relationship " + r.name + " names table " + name +
                                ", which the database does not have");
  }
  TableDefExtras extras;
  return ReadTable(*entry, def, &extras);
}

Status DatabaseImpl::FindRows(const TableDef& def, const std::vector<size_t>& columns,
                              const std::vector<Value>& key, size_t limit,
                              std::vector<RowId>* ids) {
  ids->clear();
  const std::vector<Value> row = RowWithKey(def, columns, key);
  auto same_columns = [&](const IndexDef& index) {
    if (index.columns.size() != columns.size()) return false;
    return std::all_of(columns.begin(), columns.end(), [&](size_t c) {
      return std::any_of(index.columns.begin(), index.columns.end(), [&](const IndexColumnDef& ic) {
        return ic.column_number == def.columns[c].column_number;
      });
    });
  };
  for (const IndexDef& index : def.indexes) {
    std::string why;
    if (!same_columns(index) || !IndexKeysSupported(def, index, format_.version, &why)) continue;
    std::string wanted;
    JET_RETURN_IF_ERROR(EncodeIndexKey(def, index, row, &wanted, format_.version));
    IndexTree tree(file_, format_, def, index);
    bool found = false;
    IndexPosition position;
    JET_RETURN_IF_ERROR(tree.Seek(wanted, &found, &position));
    while (found && position.entry.key == wanted && (limit == 0 || ids->size() < limit)) {
      ids->push_back(position.entry.row_id());
      JET_RETURN_IF_ERROR(tree.Next(&position, &found));
    }
    return Status::OK();
  }
  const IndexDef probe = ProbeIndex(def, columns);
  std::string wanted;
  JET_RETURN_IF_ERROR(EncodeIndexKey(def, probe, row, &wanted, format_.version));
  Result<std::unique_ptr<TableCursor>> cursor = Scan(def);
  if (!cursor.ok()) return cursor.status();
  Row found;
  Status s;
  std::string key_bytes;
  while ((limit == 0 || ids->size() < limit) && (*cursor)->Next(&found, &s)) {
    JET_RETURN_IF_ERROR(EncodeIndexKey(def, probe, found.values, &key_bytes, format_.version));
    if (key_bytes == wanted) ids->push_back(RowId{found.page, found.slot});
  }
  return s;
}

Status DatabaseImpl::ReferringRows(const Relationship& r, const std::vector<Value>& key,
                                   TableDef* referencing, std::vector<size_t>* referencing_columns,
                                   std::vector<RowId>* ids) {
  JET_RETURN_IF_ERROR(RelatedTable(r, r.table, referencing));
  JET_RETURN_IF_ERROR(ColumnsOf(r, *referencing, r.columns, referencing_columns));
  return FindRows(*referencing, *referencing_columns, key, 0, ids);
}

Status DatabaseImpl::CheckReferences(const TableDef& def, const std::vector<Value>& values,
                                     const std::vector<Value>* old_values) {
  JET_RETURN_IF_ERROR(LoadRelationships());
  for (const Relationship& r : relationships_) {
    if (!NamesEqual(r.table, def.name)) continue;
    std::vector<size_t> columns;
    JET_RETURN_IF_ERROR(ColumnsOf(r, def, r.columns, &columns));
    bool all_null = false;
    const std::vector<Value> key = KeyOf(values, columns, &all_null);
    if (all_null) continue;  // refers to nothing
    if (old_values != nullptr) {
      bool same = false;
      JET_RETURN_IF_ERROR(SameKey(def, columns, values, *old_values, format_.version, &same));
      if (same) continue;
    }
    TableDef referenced;
    JET_RETURN_IF_ERROR(RelatedTable(r, r.referenced_table, &referenced));
    std::vector<size_t> referenced_columns;
    JET_RETURN_IF_ERROR(ColumnsOf(r, referenced, r.referenced_columns, &referenced_columns));
    const std::vector<Value> wanted = RowWithKey(referenced, referenced_columns, key);
    if (referenced.tdef_page == def.tdef_page) {
      // A row of a table related to itself may refer to itself.
      bool same = false;
      JET_RETURN_IF_ERROR(SameKey(def, referenced_columns, wanted, values, format_.version, &same));
      if (same) continue;
    }
    std::vector<RowId> ids;
    JET_RETURN_IF_ERROR(FindRows(referenced, referenced_columns, key, 1, &ids));
    if (ids.empty()) {
      return Status::Constraint(kRelatedRecordRequired, RelatedRecordRequiredText(referenced.name) +
                                                            Detail(r, def, columns, values));
    }
  }
  return Status::OK();
}

Status DatabaseImpl::CascadeKeyChange(const TableDef& def, const std::vector<Value>& old_values,
                                      const std::vector<Value>& values) {
  JET_RETURN_IF_ERROR(LoadRelationships());
  for (const Relationship& r : relationships_) {
    if (!NamesEqual(r.referenced_table, def.name)) continue;
    std::vector<size_t> columns;
    JET_RETURN_IF_ERROR(ColumnsOf(r, def, r.referenced_columns, &columns));
    bool all_null = false;
    const std::vector<Value> old_key = KeyOf(old_values, columns, &all_null);
    if (all_null) continue;  // nothing could refer to it
    bool same = false;
    JET_RETURN_IF_ERROR(SameKey(def, columns, values, old_values, format_.version, &same));
    if (same) continue;
    TableDef referencing;
    std::vector<size_t> referencing_columns;
    std::vector<RowId> ids;
    JET_RETURN_IF_ERROR(ReferringRows(r, old_key, &referencing, &referencing_columns, &ids));
    if (ids.empty()) continue;
    if (!r.CascadesUpdates()) {
      return Status::Constraint(kRelatedRecords, RelatedRecordsText(referencing.name) +
                                                     Detail(r, def, columns, old_values));
    }
    if (change_depth_ > kMaxCascadeDepth) {
      return Status::NotSupported("relationship " + r.name + ": updates cascade more than " +
                                  std::to_string(kMaxCascadeDepth) + " tables deep");
    }
    std::vector<ColumnChange> changes;
    for (size_t i = 0; i < columns.size(); ++i) {
      changes.push_back({referencing_columns[i], values[columns[i]]});
    }
    for (const RowId& id : ids) JET_RETURN_IF_ERROR(Update(referencing, id, changes));
  }
  return Status::OK();
}

Status DatabaseImpl::DeleteWithRelated(const TableDef& table, RowId id) {
  JET_RETURN_IF_ERROR(LoadRelationships());
  struct Pending {
    uint32_t tdef_page;
    RowId id;
  };
  std::deque<Pending> work{{table.tdef_page, id}};
  bool first = true;
  while (!work.empty()) {
    const Pending next = work.front();
    work.pop_front();
    TableDef given;
    given.tdef_page = next.tdef_page;
    TableDef def;
    Row old_row;
    Status removed = RemoveRow(given, next.id, &def, &old_row);
    if (!first && removed.IsNotFound()) continue;  // an earlier cascade took it
    JET_RETURN_IF_ERROR(removed);
    first = false;
    for (const Relationship& r : relationships_) {
      if (!NamesEqual(r.referenced_table, def.name)) continue;
      std::vector<size_t> columns;
      JET_RETURN_IF_ERROR(ColumnsOf(r, def, r.referenced_columns, &columns));
      bool all_null = false;
      const std::vector<Value> key = KeyOf(old_row.values, columns, &all_null);
      if (all_null) continue;
      TableDef referencing;
      std::vector<size_t> referencing_columns;
      std::vector<RowId> ids;
      JET_RETURN_IF_ERROR(ReferringRows(r, key, &referencing, &referencing_columns, &ids));
      if (ids.empty()) continue;
      if (r.CascadesDeletes()) {
        for (const RowId& related : ids) work.push_back({referencing.tdef_page, related});
      } else if (r.SetsNullOnDelete()) {
        std::vector<ColumnChange> changes;
        for (size_t c : referencing_columns) changes.push_back({c, Value::Null()});
        for (const RowId& related : ids) {
          Status updated = Update(referencing, related, changes);
          if (!updated.IsNotFound()) JET_RETURN_IF_ERROR(updated);  // else deleted already
        }
      } else {
        return Status::Constraint(kRelatedRecords, RelatedRecordsText(referencing.name) +
                                                       Detail(r, def, columns, old_row.values));
      }
    }
  }
  return Status::OK();
}

}  // namespace jet
