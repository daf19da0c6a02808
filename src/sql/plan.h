// How a statement finds its rows (Q3): through an index when its WHERE
// compares the first column of the index for equality with a value, alone
// or under AND, and the engine can seek in that index; else by a scan.
#pragma once

#include <optional>

#include "jet/database.h"
#include "sql/bound.h"

namespace sql {

// An index seek. The value has the kind that key building expects for the
// column; converted literals already have it.
struct SeekPlan {
  const jet::IndexDef* index = nullptr;  // one of the table's
  jet::Value value;
};

// The index to seek in, if any: the primary key first, then unique indexes,
// then the rest (the fewer rows an index can give, the better). `where` may
// be null.
std::optional<SeekPlan> ChooseIndex(jet::Database& db, const jet::TableDef& table,
                                    const Bound* where);

}  // namespace sql
