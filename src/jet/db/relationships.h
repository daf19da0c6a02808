// Relationships between tables, as MSysRelationships keeps them, and the
// texts of the refusals that enforcing them gives.
//
// MSysRelationships has the same columns in Jet 3 and Jet 4: one row per
// pair of columns of a relationship,
//   szRelationship                         the relationship's name
//   szObject, szColumn                     the referencing table and column
//   szReferencedObject, szReferencedColumn the referenced table and column
//   icolumn, ccolumn                       the pair's place, and how many pairs
//   grbit                                  flags (kRelation* below)
// The referenced columns carry a unique index (the primary key, mostly);
// the referencing ones an index of their own when the relationship is
// enforced.
//
// What the table writer keeps for every enforced relationship (the checks
// are in referential_integrity.cc, called from Insert, Update and Delete):
//   (R1) A referencing row has a referenced row with equal values in the
//        related columns (equal as an index compares them: text without
//        regard to case), unless they are all Null: such a row refers to
//        nothing. A Null in some of them only is refused, as Access refuses
//        it.
//   (R2) A referenced key that changes while rows refer to it takes them
//        along (cascading updates) or the change is refused.
//   (R3) A referenced row that goes takes the rows referring to it along:
//        deleted (cascading deletes), set Null (the set-Null flag), or the
//        delete is refused.
//   (R4) A change and all it cascades to is one change: a refusal anywhere
//        in it leaves the database as it was before it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/status.h"
#include "jet/types.h"

namespace jet {

inline constexpr char kRelationshipsTable[] = "MSysRelationships";

inline constexpr uint32_t kRelationUnique = 0x00000001;       // one-to-one
inline constexpr uint32_t kRelationDontEnforce = 0x00000002;  // no referential integrity
inline constexpr uint32_t kRelationInherited = 0x00000004;    // kept in a linked database
inline constexpr uint32_t kRelationUpdateCascade = 0x00000100;
inline constexpr uint32_t kRelationDeleteCascade = 0x00001000;
inline constexpr uint32_t kRelationDeleteSetNull = 0x00002000;

struct Relationship {
  std::string name;
  std::string table;  // referencing
  std::vector<std::string> columns;
  std::string referenced_table;
  std::vector<std::string> referenced_columns;  // pairwise with `columns`
  uint32_t flags = 0;

  bool Enforced() const { return (flags & (kRelationDontEnforce | kRelationInherited)) == 0; }
  bool CascadesUpdates() const { return (flags & kRelationUpdateCascade) != 0; }
  bool CascadesDeletes() const { return (flags & kRelationDeleteCascade) != 0; }
  bool SetsNullOnDelete() const { return (flags & kRelationDeleteSetNull) != 0; }
};

// One row of MSysRelationships.
struct RelationshipRow {
  std::string name, table, column, referenced_table, referenced_column;
  int64_t icolumn = 0, ccolumn = 0;
  uint32_t flags = 0;
};

// Reads a row of MSysRelationships, decoded against its definition `table`;
// Corruption when the table lacks one of the columns above.
Status ReadRelationshipRow(const TableDef& table, const Row& row, RelationshipRow* out);

// Groups the rows into relationships (by name, without regard to case),
// their column pairs in icolumn order. Corruption naming the relationship
// when its rows disagree on ccolumn, tables or flags, or its icolumn values
// are not 0..ccolumn-1.
Status GroupRelationshipRows(std::vector<RelationshipRow> rows, std::vector<Relationship>* out);

// Access's numbers and texts for the two refusals.
inline constexpr int kRelatedRecords = 3200;
inline constexpr int kRelatedRecordRequired = 3201;
std::string RelatedRecordsText(const std::string& referencing_table);
std::string RelatedRecordRequiredText(const std::string& referenced_table);

}  // namespace jet
