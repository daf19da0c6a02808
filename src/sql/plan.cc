// Choosing an index for a statement's rows; see plan.h.
#include "sql/plan.h"

#include <string>
#include <vector>

namespace sql {
namespace {

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

}  // namespace

std::optional<SeekPlan> ChooseIndex(jet::Database& db, const jet::TableDef& table,
                                    const Bound* where) {
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

}  // namespace sql
