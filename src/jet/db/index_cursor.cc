// Range lookups through an index (Database::SeekRange): the bounds become
// key prefixes, the tree is entered at the first entry >= the low prefix,
// and entries are followed along the leaves until the high prefix is
// passed; each entry's row is read by its row id.
//
// Keys are self-delimiting per column (index_key.h, K2), so the entries
// whose first k columns equal given values are exactly those whose key
// starts with the key prefix of those values; a bound on k columns is a
// prefix test plus a byte comparison. The one exception, an empty Binary
// value, is a prefix of every Binary key of its column: a bound holding one
// may also yield rows with longer Binary values there, but misses none.
#include <algorithm>

#include "jet/db/database_impl.h"
#include "jet/index/index_key.h"
#include "jet/index/index_tree.h"

namespace jet {

namespace {

bool StartsWith(std::string_view key, std::string_view prefix) {
  return key.size() >= prefix.size() && key.compare(0, prefix.size(), prefix) == 0;
}

class IndexRangeCursor : public TableCursor {
 public:
  IndexRangeCursor(DatabaseImpl& db, PageFile& file, const Format& format, TableDef table,
                   const IndexDef& index, std::string low, bool has_low, bool low_inclusive,
                   std::string high, bool has_high, bool high_inclusive)
      : db_(db),
        table_(std::move(table)),
        tree_(file, format, table_, index),
        index_name_(index.name),
        low_(std::move(low)),
        high_(std::move(high)),
        has_low_(has_low),
        low_inclusive_(low_inclusive),
        has_high_(has_high),
        high_inclusive_(high_inclusive) {}

  bool Next(Row* row, Status* status) override {
    *status = Status::OK();
    while (!done_) {
      bool found = false;
      Status s = started_ ? tree_.Next(&position_, &found)
                          : tree_.Seek(has_low_ ? low_ : std::string(), &found, &position_);
      started_ = true;
      if (!s.ok()) return Fail(std::move(s), status);
      if (!found) break;
      const std::string& key = position_.entry.key;
      if (has_low_ && !low_inclusive_ && StartsWith(key, low_)) continue;
      if (has_high_) {
        const bool past = high_inclusive_ ? key > high_ && !StartsWith(key, high_) : key >= high_;
        if (past) break;
      }
      s = db_.ReadRow(table_, position_.entry.row_id(), row);
      if (!s.ok()) {
        return Fail(Status::Corruption("index " + index_name_ + " of table " + table_.name +
                                       " points at a row it cannot read: " + s.message()),
                    status);
      }
      return true;
    }
    done_ = true;
    return false;
  }

 private:
  bool Fail(Status s, Status* status) {
    *status = std::move(s);
    done_ = true;
    return false;
  }

  DatabaseImpl& db_;
  TableDef table_;
  IndexTree tree_;
  std::string index_name_;
  IndexPosition position_;
  std::string low_, high_;
  bool has_low_, low_inclusive_, has_high_, high_inclusive_;
  bool started_ = false;
  bool done_ = false;
};

// The key prefix of `bound`'s values over the first columns of `index`.
Status BoundPrefix(const TableDef& table, const IndexDef& index, const KeyBound& bound,
                   JetVersion version, std::string* prefix) {
  if (bound.values.size() > index.columns.size()) {
    return Status::InvalidArgument("index " + index.name + " of table " + table.name + " has " +
                                   std::to_string(index.columns.size()) + " columns, " +
                                   std::to_string(bound.values.size()) + " values given");
  }
  IndexDef leading = index;
  leading.columns.resize(bound.values.size());
  std::vector<Value> row(table.columns.size());
  for (size_t k = 0; k < bound.values.size(); ++k) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].column_number == leading.columns[k].column_number) {
        row[i] = bound.values[k];
      }
    }
  }
  return EncodeIndexKey(table, leading, row, prefix, version);
}

}  // namespace

Result<std::unique_ptr<TableCursor>> DatabaseImpl::SeekRange(const TableDef& table,
                                                             const IndexDef& index,
                                                             const KeyBound* low,
                                                             const KeyBound* high) {
  std::string why;
  if (!IndexKeysSupported(table, index, format_.version, &why)) return Status::NotSupported(why);
  std::string low_key, high_key;
  if (low != nullptr)
    JET_RETURN_IF_ERROR(BoundPrefix(table, index, *low, format_.version, &low_key));
  if (high != nullptr) {
    JET_RETURN_IF_ERROR(BoundPrefix(table, index, *high, format_.version, &high_key));
  }
  std::unique_ptr<TableCursor> cursor =
      std::make_unique<IndexRangeCursor>(*this, file_, format_, table, index, low_key,
                                         low != nullptr, low == nullptr || low->inclusive, high_key,
                                         high != nullptr, high == nullptr || high->inclusive);
  return cursor;
}

bool DatabaseImpl::CanSeek(const TableDef& table, const IndexDef& index, std::string* why) {
  return IndexKeysSupported(table, index, header_.version, why);
}

}  // namespace jet
