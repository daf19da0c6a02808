// Reading MSysRelationships' rows into relationships; see relationships.h.
#include "jet/db/relationships.h"

#include <algorithm>

#include "jet/names.h"

namespace jet {

std::string RelatedRecordsText(const std::string& referencing_table) {
  return "The record cannot be deleted or changed because table '" + referencing_table +
         "' includes related records.";
}

std::string RelatedRecordRequiredText(const std::string& referenced_table) {
  return "You cannot add or change a record because a related record is required in table '" +
         referenced_table + "'.";
}

Status ReadRelationshipRow(const TableDef& table, const Row& row, RelationshipRow* out) {
  auto column = [&](const char* name, const Value** value) -> Status {
    const ColumnDef* c = table.FindColumn(name);
    if (c == nullptr || static_cast<size_t>(c - table.columns.data()) >= row.values.size()) {
      return Status::Corruption(std::string(kRelationshipsTable) + " has no column " + name);
    }
    *value = &row.values[static_cast<size_t>(c - table.columns.data())];
    return Status::OK();
  };
  const Value *name, *object, *col, *referenced, *referenced_col, *icolumn, *ccolumn, *grbit;
  JET_RETURN_IF_ERROR(column("szRelationship", &name));
  JET_RETURN_IF_ERROR(column("szObject", &object));
  JET_RETURN_IF_ERROR(column("szColumn", &col));
  JET_RETURN_IF_ERROR(column("szReferencedObject", &referenced));
  JET_RETURN_IF_ERROR(column("szReferencedColumn", &referenced_col));
  JET_RETURN_IF_ERROR(column("icolumn", &icolumn));
  JET_RETURN_IF_ERROR(column("ccolumn", &ccolumn));
  JET_RETURN_IF_ERROR(column("grbit", &grbit));
  out->name = std::string(name->text());
  out->table = std::string(object->text());
  out->column = std::string(col->text());
  out->referenced_table = std::string(referenced->text());
  out->referenced_column = std::string(referenced_col->text());
  out->icolumn = icolumn->integer();
  out->ccolumn = ccolumn->integer();
  out->flags = static_cast<uint32_t>(grbit->integer());
  return Status::OK();
}

Status GroupRelationshipRows(std::vector<RelationshipRow> rows, std::vector<Relationship>* out) {
  std::stable_sort(
      rows.begin(), rows.end(),
      [](const RelationshipRow& a, const RelationshipRow& b) { return a.icolumn < b.icolumn; });
  std::vector<std::vector<const RelationshipRow*>> groups;
  for (const RelationshipRow& row : rows) {
    auto group = std::find_if(groups.begin(), groups.end(),
                              [&](const auto& g) { return NamesEqual(g.front()->name, row.name); });
    if (group == groups.end()) {
      groups.push_back({&row});
    } else {
      group->push_back(&row);
    }
  }
  out->clear();
  for (const auto& group : groups) {
    const RelationshipRow& first = *group.front();
    const std::string what = std::string(kRelationshipsTable) + ": relationship " + first.name;
    if (first.name.empty() || first.table.empty() || first.referenced_table.empty()) {
      return Status::Corruption(what + " lacks a name or a table");
    }
    if (first.ccolumn != static_cast<int64_t>(group.size())) {
      return Status::Corruption(what + " has " + std::to_string(group.size()) +
                                " column pairs, its rows say " + std::to_string(first.ccolumn));
    }
    Relationship r;
    r.name = first.name;
    r.table = first.table;
    r.referenced_table = first.referenced_table;
    r.flags = first.flags;
    for (size_t i = 0; i < group.size(); ++i) {
      const RelationshipRow& row = *group[i];
      if (row.icolumn != static_cast<int64_t>(i) || row.ccolumn != first.ccolumn ||
          row.flags != first.flags || !NamesEqual(row.table, first.table) ||
          !NamesEqual(row.referenced_table, first.referenced_table) || row.column.empty() ||
          row.referenced_column.empty()) {
        return Status::Corruption(what + ": its column pair " + std::to_string(row.icolumn) +
                                  " disagrees with its other rows");
      }
      r.columns.push_back(row.column);
      r.referenced_columns.push_back(row.referenced_column);
    }
    out->push_back(std::move(r));
  }
  return Status::OK();
}

}  // namespace jet
