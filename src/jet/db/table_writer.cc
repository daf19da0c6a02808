// The table writer: inserting, updating and deleting the rows of a table, over
// the pager (page_file.h), the row encoder (row_writer.h), long values
// (long_value_writer.h), space (space.h) and the index trees (index_tree.h).
//
// Order of one change, so that a refusal writes nothing:
//   1. read the table's definition afresh from its TDEF page;
//   2. refuse tables with an index this engine cannot maintain, and as
//      Corruption a definition whose columns share a number, a variable slot
//      or fixed bytes, or with an index on a column it does not have;
//   3. check every value, required column, unique key and referenced row
//      (reads only);
//   4. write: long values, the row, the index entries, the TDEF counters
//      (a delete: the index entries, long values and row go);
//   5. what the table's relationships cascade to, as nested changes
//      (referential_integrity.cc), which may still refuse.
// Every page step 4 reads is checked before it is written (data_page.h,
// space.h, long_value_writer.h L4, index_tree.h T8): a damaged page fails
// the change with a Corruption naming it.
// A failure in step 4 or 5 (a damaged page, a full disk, a relationship
// that refuses) rolls the change back through the pager: the unit when the
// change is its own unit, a savepoint when it runs inside Begin .. Commit.
//
// Invariants after every change:
//   (TW1) the TDEF's row count equals the live rows; its autonumber is the
//         largest long autonumber handed out or given;
//   (TW2) every physical index holds exactly one entry per row (none for
//         a row whose columns are all null when the index ignores nulls),
//         pointing at the row's header slot, which never moves;
//   (TW3) every data page of the table is in its owned map; a page is in the
//         free map while it may take another row.
//   (TW4) a moved row's image that an update leaves behind (the row moved
//         again) is deleted, its room given back to its page (data_page.h,
//         D3); a page left with no row that anything may point at leaves the
//         table's maps and goes back to the file (space.h, FreePage).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <deque>
#include <random>

#include "jet/base/coding.h"
#include "jet/base/value_text.h"
#include "jet/db/database_impl.h"
#include "jet/db/rules.h"
#include "jet/index/index_key.h"
#include "jet/index/index_tree.h"
#include "jet/rows/data_page.h"
#include "jet/rows/long_value_writer.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/row_writer.h"
#include "jet/space/space.h"

namespace jet {

namespace {

// The free-space map pages PlaceRow tries before it takes a new page.
constexpr uint32_t kFreePagesTried = 8;

// A page stays in its table's free-space map while a row of this many bytes
// fits (64 bytes with its offset entry).
constexpr uint32_t kMinRowRoom = 62;

bool HasRoomForARow(const Format& format, const uint8_t* page) {
  return RowFits(format, page, kMinRowRoom);
}

const char kDuplicateMessage[] =
    "The changes you requested to the table were not successful because they would create "
    "duplicate values in the index, primary key, or relationship.";
const char kNullKeyMessage[] = "Index or primary key cannot contain a Null value.";

// What the row encoder relies on in a definition: every column number,
// variable slot and fixed byte belongs to one column.
Status CheckColumnLayout(const TableDef& def) {
  auto has_bytes = [](const ColumnDef& c) { return c.type != ColumnType::kBoolean; };
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& a = def.columns[i];
    for (size_t j = 0; j < i; ++j) {
      const ColumnDef& b = def.columns[j];
      const char* shared = nullptr;
      if (a.column_number == b.column_number) {
        shared = "column number";
      } else if (has_bytes(a) && has_bytes(b) && !a.IsFixed() && !b.IsFixed() &&
                 a.var_index == b.var_index) {
        shared = "variable slot";
      } else if (has_bytes(a) && has_bytes(b) && a.IsFixed() && b.IsFixed() &&
                 a.fixed_offset < b.fixed_offset + b.length &&
                 b.fixed_offset < a.fixed_offset + a.length) {
        shared = "fixed bytes";
      }
      if (shared != nullptr) {
        return Status::Corruption("table " + def.name + ": columns " + b.name + " and " + a.name +
                                  " share their " + shared + " in the definition on page " +
                                  std::to_string(def.tdef_page));
      }
    }
  }
  return Status::OK();
}

}  // namespace

// Everything a change needs to know about its table, read afresh.
struct DatabaseImpl::WriteTable {
  TableDef def;
  TableDefExtras extras;
  // One logical index per physical index (the first that names it).
  std::vector<const IndexDef*> physical;
  TableRules rules;  // defaults and validation rules (rules.h)
};

Status DatabaseImpl::CheckWritable() {
  if (read_only_) return Status::InvalidArgument("the database is open for reading only");
  return Status::OK();
}

Status DatabaseImpl::LoadForWrite(const TableDef& given, WriteTable* t) {
  const CatalogEntry* entry = nullptr;
  for (const CatalogEntry& e : catalog_.entries) {
    if (catalog_.IsTable(e) && e.TableDefPage() == given.tdef_page) entry = &e;
  }
  if (entry == nullptr) {
    return Status::NotFound("no table with its definition at page " +
                            std::to_string(given.tdef_page));
  }
  JET_RETURN_IF_ERROR(ReadTable(*entry, &t->def, &t->extras));
  if (t->def.is_system) {
    return Status::NotSupported("table " + t->def.name + " is a system table and is not changed");
  }
  JET_RETURN_IF_ERROR(CheckColumnLayout(t->def));
  LoadTableRules(t->def, &t->rules);
  for (const IndexDef& index : t->def.indexes) {
    for (const IndexColumnDef& ic : index.columns) {
      if (t->def.columns.end() ==
          std::find_if(t->def.columns.begin(), t->def.columns.end(),
                       [&](const ColumnDef& c) { return c.column_number == ic.column_number; })) {
        return Status::Corruption("table " + t->def.name + ": index " + index.name +
                                  " names column number " + std::to_string(ic.column_number) +
                                  ", which the table does not have");
      }
    }
    std::string why;
    if (!IndexKeysSupported(t->def, index, format_.version, &why)) {
      return Status::NotSupported("table " + t->def.name + " cannot be changed yet: " + why);
    }
    bool seen = false;
    for (const IndexDef* p : t->physical) seen = seen || p->physical_index == index.physical_index;
    if (!seen) t->physical.push_back(&index);
  }
  return Status::OK();
}

Status DatabaseImpl::RunChange(const std::function<Status()>& change) {
  JET_RETURN_IF_ERROR(CheckWritable());
  struct Running {
    int& depth;
    explicit Running(int& d) : depth(d) { ++depth; }
    ~Running() { --depth; }
  };
  Running running(change_depth_);
  // A change a relationship cascades to: part of the running one.
  if (change_depth_ > 1) return change();
  if (unit_depth_ > 0) {
    file_.BeginSavepoint();
    Status s = change();
    if (!s.ok()) {
      file_.RollbackToSavepoint();
      return s;
    }
    file_.ReleaseSavepoint();
    return Status::OK();
  }
  JET_RETURN_IF_ERROR(file_.BeginUnit());
  Status s = change();
  if (!s.ok()) {
    file_.RollbackUnit();
    return s;
  }
  return file_.CommitUnit();
}

Status DatabaseImpl::CheckRules(const WriteTable& t, const std::vector<Value>& values,
                                const std::vector<Value>* old_values, RowId self,
                                std::vector<std::string>* keys) {
  const TableDef& def = t.def;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    if (values[i].is_null() && c.required && c.type != ColumnType::kBoolean) {
      return Status::Constraint("table " + def.name + ", column " + c.name +
                                ": a value is required (the column cannot be Null)");
    }
    if (!values[i].is_null()) JET_RETURN_IF_ERROR(CheckValue(def, c, values[i], code_pages()));
  }
  keys->assign(t.physical.size(), std::string());
  for (size_t k = 0; k < t.physical.size(); ++k) {
    const IndexDef& index = *t.physical[k];
    const bool all_null = IndexColumnsAllNull(def, index, values);
    if (index.IsPrimaryKey() || index.IsRequired()) {
      for (const IndexColumnDef& ic : index.columns) {
        for (size_t i = 0; i < def.columns.size(); ++i) {
          if (def.columns[i].column_number == ic.column_number && values[i].is_null() &&
              def.columns[i].type != ColumnType::kBoolean) {
            return Status::Constraint(3058, std::string(kNullKeyMessage) + " (table " + def.name +
                                                ", index " + index.name + ": column " +
                                                def.columns[i].name +
                                                " cannot be Null in this index)");
          }
        }
      }
    }
    JET_RETURN_IF_ERROR(EncodeIndexKey(def, index, values, &(*keys)[k], format_.version));
    if (!index.IsUnique() || all_null) continue;
    if (old_values != nullptr) {
      std::string old_key;
      JET_RETURN_IF_ERROR(EncodeIndexKey(def, index, *old_values, &old_key, format_.version));
      if (old_key == (*keys)[k]) continue;  // the row keeps its own key
    }
    IndexTree tree(file_, format_, def, index);
    bool found = false;
    JET_RETURN_IF_ERROR(tree.Contains((*keys)[k], &found));
    (void)self;
    if (found) {
      return Status::Constraint(3022, std::string(kDuplicateMessage) + " (table " + def.name +
                                          ", index " + index.name + ": " +
                                          IndexValuesText(def, index, values) + ")");
    }
  }
  return Status::OK();
}

Status DatabaseImpl::PlaceRow(const WriteTable& t, std::string_view row, uint16_t flags,
                              uint32_t preferred_page, RowId* id) {
  const Format& f = format_;
  auto try_page = [&](uint32_t page_number, bool* placed) -> Status {
    *placed = false;
    const uint8_t* page;
    JET_RETURN_IF_ERROR(file_.GetPage(page_number, "the table's free-space map", &page));
    if (page[0] != kPageData || ReadU32(page + 4) != t.def.tdef_page) return Status::OK();
    if (!RowFits(f, page, static_cast<uint32_t>(row.size()))) return Status::OK();
    uint8_t* writable;
    JET_RETURN_IF_ERROR(file_.MutablePage(page_number, &writable));
    uint8_t slot;
    JET_RETURN_IF_ERROR(AddRow(f, writable, page_number, row, flags, &slot));
    id->page = page_number;
    id->slot = slot;
    *placed = true;
    return Status::OK();
  };
  bool placed = false;
  if (preferred_page != 0) {
    JET_RETURN_IF_ERROR(try_page(preferred_page, &placed));
    if (placed) return Status::OK();
  }
  // The last pages with free space, as Access fills a table, a few at most;
  // a page that cannot take this row leaves the free map unless the row is a
  // large one (data_page.h, StaysInFreeMap).
  UsageMap free_map;
  JET_RETURN_IF_ERROR(ReadUsageMap(file_, f, t.def.free_map_pointer,
                                   "free-space map of table " + t.def.name, &free_map));
  uint32_t tried = 0;
  for (size_t k = free_map.pages.size(); k-- > 0 && tried < kFreePagesTried;) {
    const uint32_t candidate = free_map.pages[k];
    if (candidate == preferred_page) continue;
    ++tried;
    JET_RETURN_IF_ERROR(try_page(candidate, &placed));
    if (placed) return Status::OK();
    const uint8_t* page;
    JET_RETURN_IF_ERROR(file_.GetPage(candidate, "the table's free-space map", &page));
    if (page[0] != kPageData || ReadU32(page + 4) != t.def.tdef_page ||
        !StaysInFreeMap(f, page, static_cast<uint32_t>(row.size()), kMinRowRoom)) {
      JET_RETURN_IF_ERROR(RemovePageFromUsageMap(file_, f, t.def.free_map_pointer, candidate));
    }
  }
  uint32_t page_number;
  JET_RETURN_IF_ERROR(AllocatePage(file_, f, &page_number));
  uint8_t* page;
  JET_RETURN_IF_ERROR(file_.MutablePage(page_number, &page));
  InitDataPage(f, page, t.def.tdef_page);
  JET_RETURN_IF_ERROR(AddPageToUsageMap(file_, f, t.def.owned_map_pointer, page_number));
  JET_RETURN_IF_ERROR(AddPageToUsageMap(file_, f, t.def.free_map_pointer, page_number));
  JET_RETURN_IF_ERROR(try_page(page_number, &placed));
  if (!placed) {
    return Status::InvalidArgument("table " + t.def.name + ": a row of " +
                                   std::to_string(row.size()) + " bytes does not fit on a page");
  }
  return Status::OK();
}

Status DatabaseImpl::DeleteMovedImage(const WriteTable& t, uint32_t page_number, uint8_t slot) {
  uint8_t* page;
  JET_RETURN_IF_ERROR(file_.MutablePage(page_number, &page));
  JET_RETURN_IF_ERROR(DeleteRow(format_, page, page_number, slot));
  if (AllRowsDeleted(format_, page)) {
    JET_RETURN_IF_ERROR(
        RemovePageFromUsageMap(file_, format_, t.def.owned_map_pointer, page_number));
    JET_RETURN_IF_ERROR(
        RemovePageFromUsageMap(file_, format_, t.def.free_map_pointer, page_number));
    return FreePage(file_, format_, page_number);
  }
  if (!HasRoomForARow(format_, page)) return Status::OK();
  return AddPageToUsageMap(file_, format_, t.def.free_map_pointer, page_number);
}

Status DatabaseImpl::UpdateTableCounters(const WriteTable& t, int row_delta,
                                         uint32_t autonumber_last,
                                         const std::vector<bool>& new_keys) {
  uint8_t* page;
  JET_RETURN_IF_ERROR(file_.MutablePage(t.def.tdef_page, &page));
  const Format& f = format_;
  WriteU32(page + f.tdef_row_count_offset,
           static_cast<uint32_t>(static_cast<int64_t>(t.def.row_count) + row_delta));
  WriteU32(page + f.tdef_autonumber_offset, autonumber_last);
  for (size_t k = 0; k < t.physical.size(); ++k) {
    if (!new_keys[k]) continue;
    JET_RETURN_IF_ERROR(
        AddToUniqueEntryCount(file_, f, t.def.tdef_page, t.physical[k]->physical_index, 1));
  }
  return Status::OK();
}

namespace {

Status CheckValueCounts(const TableDef& def, size_t values, size_t flags) {
  if (values != def.columns.size()) {
    return Status::InvalidArgument("table " + def.name + " has " +
                                   std::to_string(def.columns.size()) + " columns, " +
                                   std::to_string(values) + " values given");
  }
  if (flags != 0 && flags != def.columns.size()) {
    return Status::InvalidArgument("table " + def.name + " has " +
                                   std::to_string(def.columns.size()) + " columns, " +
                                   std::to_string(flags) + " flags of given columns");
  }
  return Status::OK();
}

// A random (version 4) GUID, as stored.
std::array<uint8_t, 16> RandomGuid() {
  std::array<uint8_t, 16> guid{};
  std::random_device random;
  for (size_t b = 0; b < guid.size(); b += 4) {
    uint32_t r = random();
    std::memcpy(guid.data() + b, &r, 4);
  }
  guid[7] = static_cast<uint8_t>((guid[7] & 0x0F) | 0x40);  // version 4, stored LE
  guid[8] = static_cast<uint8_t>((guid[8] & 0x3F) | 0x80);
  return guid;
}

// A new row's autonumbers: a Null long autonumber takes the next number
// (*autonumber_last counts on; a larger number given moves it too), a Null
// GUID autonumber a random GUID. *autonumber: the long autonumber's value.
Status FillAutoNumbers(const TableDef& def, std::vector<Value>* values, uint32_t* autonumber_last,
                       int64_t* autonumber) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    Value& value = (*values)[i];
    if (c.IsLongAutoNumber()) {
      if (value.is_null()) {
        if (*autonumber_last == 0x7FFFFFFF) {
          return Status::Constraint("table " + def.name + ", column " + c.name +
                                    ": the autonumber has reached its largest value");
        }
        value = Value::Integer(Value::Kind::kLong, ++*autonumber_last);
      } else if (value.kind() == Value::Kind::kLong || value.kind() == Value::Kind::kInteger ||
                 value.kind() == Value::Kind::kByte) {
        int64_t n = value.integer();
        if (n > static_cast<int64_t>(*autonumber_last) && n <= 0x7FFFFFFF) {
          *autonumber_last = static_cast<uint32_t>(n);
        }
      }
      *autonumber = value.integer();
    } else if (c.IsGuidAutoNumber() && value.is_null()) {
      value = Value::Guid(RandomGuid());
    }
  }
  return Status::OK();
}

// Whether `index` holds an entry for a row of these values: not when it
// ignores nulls and they are all null.
bool HasIndexEntry(const TableDef& def, const IndexDef& index, const std::vector<Value>& values) {
  return !(index.IgnoresNulls() && IndexColumnsAllNull(def, index, values));
}

}  // namespace

Result<InsertedRow> DatabaseImpl::Insert(const TableDef& table, const std::vector<Value>& given,
                                         const std::vector<bool>& named) {
  InsertedRow inserted;
  Status s = RunChange([&]() -> Status {
    WriteTable t;
    JET_RETURN_IF_ERROR(LoadForWrite(table, &t));
    const TableDef& def = t.def;
    JET_RETURN_IF_ERROR(CheckValueCounts(def, given.size(), named.size()));
    // The values as they will be stored, checked; nothing is written yet.
    std::vector<Value> values = given;
    uint32_t autonumber_last = def.autonumber_last;
    JET_RETURN_IF_ERROR(FillAutoNumbers(def, &values, &autonumber_last, &inserted.autonumber));
    const double now = NowAsOleDate();
    std::deque<std::string> defaults;
    JET_RETURN_IF_ERROR(ApplyDefaults(def, t.rules, named, now, &values, &defaults));
    JET_RETURN_IF_ERROR(CheckDesignRules(def, t.rules, values, nullptr, now));
    std::vector<std::string> keys;
    JET_RETURN_IF_ERROR(CheckRules(t, values, nullptr, RowId{}, &keys));
    JET_RETURN_IF_ERROR(CheckReferences(def, values, nullptr));
    // The writes: long values and row, index entries, counters.
    LongValueWriter long_values(file_, format_, def.tdef_page, t.extras.long_value_maps);
    std::vector<FieldInput> fields;
    fields.reserve(values.size());
    for (const Value& v : values) fields.push_back(FieldInput::Of(v));
    std::string row;
    JET_RETURN_IF_ERROR(EncodeRow(format_, def, fields, &long_values, 0, &row, code_pages()));
    RowId id;
    JET_RETURN_IF_ERROR(PlaceRow(t, row, 0, 0, &id));
    std::vector<bool> new_keys(t.physical.size(), false);
    for (size_t k = 0; k < t.physical.size(); ++k) {
      const IndexDef& index = *t.physical[k];
      if (!HasIndexEntry(def, index, values)) continue;
      IndexTree tree(file_, format_, def, index);
      bool new_key = false;
      JET_RETURN_IF_ERROR(tree.Insert(keys[k], id, &new_key));
      new_keys[k] = new_key;
    }
    JET_RETURN_IF_ERROR(UpdateTableCounters(t, +1, autonumber_last, new_keys));
    inserted.id = id;
    return Status::OK();
  });
  if (!s.ok()) return s;
  return inserted;
}

Status DatabaseImpl::LocateLiveRow(const WriteTable& t, RowId id, RowLocation* where) {
  const std::string what = "row " + std::to_string(id.slot) + " of page " +
                           std::to_string(id.page) + " in table " + t.def.name;
  const uint8_t* page;
  Status s = file_.GetPage(id.page, "a row id", &page);
  if (!s.ok() || page[0] != kPageData || ReadU32(page + 4) != t.def.tdef_page) {
    return Status::NotFound("no " + what + ": the page does not belong to the table");
  }
  uint32_t count;
  JET_RETURN_IF_ERROR(PageRowCount(format_, page, id.page, &count));
  if (id.slot >= count) return Status::NotFound("no " + what);
  RowSpan span;
  JET_RETURN_IF_ERROR(LocateRow(format_, page, id.page, id.slot, &span));
  if ((span.flags & kRowDeleted) != 0) return Status::NotFound(what + " is deleted");
  where->header = id;
  where->header_size = span.size;
  where->data_page = id.page;
  where->data_slot = id.slot;
  where->data = page + span.start;
  where->data_size = span.size;
  where->moved = (span.flags & kRowLookup) != 0;
  if (where->moved) {
    if (span.size < 4) return Status::Corruption(what + " is too short for its overflow pointer");
    uint32_t pointer = ReadU32(page + span.start);
    const uint8_t* target;
    RowSpan target_span;
    JET_RETURN_IF_ERROR(FetchRow(file_, format_, pointer, "overflow row", &target, &target_span));
    // The moved image is rewritten in place by an update: it must be a row
    // of this table, never one of another object that a damaged pointer names.
    if (ReadU32(target + 4) != t.def.tdef_page) {
      return Status::Corruption(what + " points at its moved image on page " +
                                std::to_string(RowPointerPage(pointer)) +
                                ", which is not a data page of the table");
    }
    where->data_page = RowPointerPage(pointer);
    where->data_slot = static_cast<uint8_t>(RowPointerSlot(pointer));
    where->data = target + target_span.start;
    where->data_size = target_span.size;
  }
  return Status::OK();
}

Status DatabaseImpl::ReadLiveRow(const WriteTable& t, RowId id, RowLocation* where, Row* row,
                                 std::vector<StoredField>* stored) {
  JET_RETURN_IF_ERROR(LocateLiveRow(t, id, where));
  RowDecoder decoder(file_, format_, text_, t.def);
  JET_RETURN_IF_ERROR(
      decoder.Decode(where->data, where->data_size, where->data_page, where->data_slot, row));
  return SplitStoredRow(format_, t.def, where->data, where->data_size, where->data_page,
                        where->data_slot, stored);
}

Status DatabaseImpl::ReadRow(const TableDef& table, RowId id, Row* row) {
  WriteTable t;
  t.def = table;
  RowLocation where;
  JET_RETURN_IF_ERROR(LocateLiveRow(t, id, &where));
  RowDecoder decoder(file_, format_, text_, table);
  JET_RETURN_IF_ERROR(
      decoder.Decode(where.data, where.data_size, where.data_page, where.data_slot, row));
  row->page = id.page;
  row->slot = id.slot;
  return Status::OK();
}

namespace {

// The same value, to the bit: a changed spelling, precision or kind counts
// as a change.
bool SameValue(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::kNull: return true;
    case Value::Kind::kText:
    case Value::Kind::kBinary: return a.text() == b.text();
    case Value::Kind::kSingle:
    case Value::Kind::kDouble:
    case Value::Kind::kDateTime: {
      const double x = a.real(), y = b.real();
      return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case Value::Kind::kGuid: return a.guid() == b.guid();
    case Value::Kind::kDecimal:
      return a.decimal().negative == b.decimal().negative &&
             a.decimal().magnitude == b.decimal().magnitude &&
             a.decimal().scale == b.decimal().scale;
    default: return a.integer() == b.integer();
  }
}

// An update's new values: the row's values with `changes` made. A column
// set to the value it holds is left as stored: its long value is not
// written again, and an update that changes nothing changes no byte of the
// file. (*changed)[i] tells which columns take a new value.
Status ChangedValues(const TableDef& def, const std::vector<ColumnChange>& changes,
                     const std::vector<Value>& old_values, std::vector<Value>* values,
                     std::vector<bool>* changed) {
  *values = old_values;
  changed->assign(def.columns.size(), false);
  for (const ColumnChange& change : changes) {
    if (change.column_index >= def.columns.size()) {
      return Status::InvalidArgument("table " + def.name + " has no column number " +
                                     std::to_string(change.column_index));
    }
    const ColumnDef& c = def.columns[change.column_index];
    if (c.IsAutoNumber()) {
      return Status::InvalidArgument("table " + def.name + ", column " + c.name +
                                     ": an autonumber value cannot be changed");
    }
    if (SameValue(change.value, old_values[change.column_index])) continue;
    (*values)[change.column_index] = change.value;
    (*changed)[change.column_index] = true;
  }
  return Status::OK();
}

}  // namespace

Status DatabaseImpl::Update(const TableDef& table, RowId id,
                            const std::vector<ColumnChange>& changes) {
  return RunChange([&]() -> Status {
    WriteTable t;
    JET_RETURN_IF_ERROR(LoadForWrite(table, &t));
    const TableDef& def = t.def;
    RowLocation where;
    Row old_row;
    std::vector<StoredField> stored;
    JET_RETURN_IF_ERROR(ReadLiveRow(t, id, &where, &old_row, &stored));
    std::vector<Value> values;
    std::vector<bool> changed;
    JET_RETURN_IF_ERROR(ChangedValues(def, changes, old_row.values, &values, &changed));
    if (std::none_of(changed.begin(), changed.end(), [](bool c) { return c; })) {
      return Status::OK();
    }
    // The checks; nothing is written yet.
    JET_RETURN_IF_ERROR(CheckDesignRules(def, t.rules, values, &changed, NowAsOleDate()));
    std::vector<std::string> keys;
    JET_RETURN_IF_ERROR(CheckRules(t, values, &old_row.values, id, &keys));
    JET_RETURN_IF_ERROR(CheckReferences(def, values, &old_row.values));
    // The writes: the new image, index entries, counters, then what the
    // relationships cascade to.
    JET_RETURN_IF_ERROR(RewriteRow(t, id, where, values, changed, stored));
    std::vector<bool> new_keys;
    JET_RETURN_IF_ERROR(UpdateIndexEntries(t, id, old_row.values, values, keys, &new_keys));
    JET_RETURN_IF_ERROR(UpdateTableCounters(t, 0, def.autonumber_last, new_keys));
    return CascadeKeyChange(def, old_row.values, values);
  });
}

Status DatabaseImpl::RewriteRow(const WriteTable& t, RowId id, const RowLocation& where,
                                const std::vector<Value>& values, const std::vector<bool>& changed,
                                const std::vector<StoredField>& stored) {
  const TableDef& def = t.def;
  // The new image: changed columns encoded, the others copied as stored.
  LongValueWriter long_values(file_, format_, def.tdef_page, t.extras.long_value_maps);
  std::vector<FieldInput> fields;
  fields.reserve(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    fields.push_back(changed[i] || i >= stored.size() ? FieldInput::Of(values[i])
                                                      : FieldInput::Keep(stored[i]));
  }
  // Padded to the slot's length when it is shorter; longer means it moves.
  std::string row;
  JET_RETURN_IF_ERROR(
      EncodeRow(format_, def, fields, &long_values, where.data_size, &row, code_pages()));
  // Long values the update replaced.
  for (size_t i = 0; i < values.size(); ++i) {
    if (changed[i] && def.columns[i].IsLongValue() && i < stored.size() && stored[i].present) {
      JET_RETURN_IF_ERROR(long_values.Free(def.columns[i].column_number, stored[i].bytes));
    }
  }
  if (row.size() == where.data_size) {
    uint8_t* page;
    JET_RETURN_IF_ERROR(file_.MutablePage(where.data_page, &page));
    return ReplaceRow(format_, page, where.data_page, where.data_slot, row);
  }
  return MoveRow(t, id, where, row);
}

Status DatabaseImpl::MoveRow(const WriteTable& t, RowId id, const RowLocation& where,
                             std::string_view row) {
  // The new image goes where there is room, flagged deleted so that scans
  // reach it only through the header, which becomes a pointer to it and
  // keeps its length.
  if (where.header_size < 4) {
    return Status::NotSupported("table " + t.def.name + ": row " + std::to_string(id.slot) +
                                " of page " + std::to_string(id.page) +
                                " is too short to point at a moved image");
  }
  RowId target;
  JET_RETURN_IF_ERROR(PlaceRow(t, row, kRowDeleted, id.page, &target));
  std::string pointer(where.header_size, '\0');
  WriteU32(reinterpret_cast<uint8_t*>(pointer.data()), (target.page << 8) | target.slot);
  uint8_t* page;
  JET_RETURN_IF_ERROR(file_.MutablePage(id.page, &page));
  JET_RETURN_IF_ERROR(ReplaceRow(format_, page, id.page, id.slot, pointer));
  JET_RETURN_IF_ERROR(SetRowFlags(format_, page, id.page, id.slot, kRowLookup));
  // The image it had moved to before is no longer reached: its room goes
  // back to its page (and the page to the file when nothing is left on it).
  // Nothing after this reads it: the caller's row values are copies.
  if (where.moved) JET_RETURN_IF_ERROR(DeleteMovedImage(t, where.data_page, where.data_slot));
  return Status::OK();
}

Status DatabaseImpl::UpdateIndexEntries(const WriteTable& t, RowId id,
                                        const std::vector<Value>& old_values,
                                        const std::vector<Value>& values,
                                        const std::vector<std::string>& keys,
                                        std::vector<bool>* new_keys) {
  const TableDef& def = t.def;
  new_keys->assign(t.physical.size(), false);
  for (size_t k = 0; k < t.physical.size(); ++k) {
    const IndexDef& index = *t.physical[k];
    std::string old_key;
    JET_RETURN_IF_ERROR(EncodeIndexKey(def, index, old_values, &old_key, format_.version));
    if (old_key == keys[k]) continue;
    IndexTree tree(file_, format_, def, index);
    if (HasIndexEntry(def, index, old_values)) JET_RETURN_IF_ERROR(tree.Remove(old_key, id));
    if (HasIndexEntry(def, index, values)) {
      bool new_key = false;
      JET_RETURN_IF_ERROR(tree.Insert(keys[k], id, &new_key));
      (*new_keys)[k] = new_key;
    }
  }
  return Status::OK();
}

Status DatabaseImpl::RemoveRow(const TableDef& given, RowId id, TableDef* def_out, Row* old_row) {
  WriteTable t;
  JET_RETURN_IF_ERROR(LoadForWrite(given, &t));
  const TableDef& def = t.def;
  RowLocation where;
  std::vector<StoredField> stored;
  JET_RETURN_IF_ERROR(ReadLiveRow(t, id, &where, old_row, &stored));
  // Everything is read: from here on the pages where.data pointed into change.
  for (const IndexDef* index : t.physical) {
    if (!HasIndexEntry(def, *index, old_row->values)) continue;
    std::string key;
    JET_RETURN_IF_ERROR(EncodeIndexKey(def, *index, old_row->values, &key, format_.version));
    IndexTree tree(file_, format_, def, *index);
    JET_RETURN_IF_ERROR(tree.Remove(key, id));
  }
  LongValueWriter long_values(file_, format_, def.tdef_page, t.extras.long_value_maps);
  for (size_t i = 0; i < def.columns.size() && i < stored.size(); ++i) {
    if (def.columns[i].IsLongValue() && stored[i].present) {
      JET_RETURN_IF_ERROR(long_values.Free(def.columns[i].column_number, stored[i].bytes));
    }
  }
  // The moved image and the header row go as an image an update left behind
  // goes: their room back to their pages, an emptied page back to the file.
  if (where.moved) JET_RETURN_IF_ERROR(DeleteMovedImage(t, where.data_page, where.data_slot));
  JET_RETURN_IF_ERROR(DeleteMovedImage(t, id.page, id.slot));
  JET_RETURN_IF_ERROR(
      UpdateTableCounters(t, -1, def.autonumber_last, std::vector<bool>(t.physical.size(), false)));
  *def_out = def;
  return Status::OK();
}

Status DatabaseImpl::Delete(const TableDef& table, RowId id) {
  return RunChange([&]() -> Status { return DeleteWithRelated(table, id); });
}

Status DatabaseImpl::Begin() {
  JET_RETURN_IF_ERROR(CheckWritable());
  if (unit_depth_ == 0) {
    JET_RETURN_IF_ERROR(file_.BeginUnit());
  } else {
    file_.BeginSavepoint();
  }
  ++unit_depth_;
  return Status::OK();
}

Status DatabaseImpl::Commit() {
  if (unit_depth_ == 0) return Status::InvalidArgument("Commit without Begin");
  if (--unit_depth_ > 0) {
    file_.ReleaseSavepoint();
    return Status::OK();
  }
  return file_.CommitUnit();
}

void DatabaseImpl::Rollback() {
  if (unit_depth_ == 0) return;
  if (--unit_depth_ > 0) {
    file_.RollbackToSavepoint();
  } else {
    file_.RollbackUnit();
  }
  // A rolled-back unit may have made tables: the catalog is read again.
  (void)Load();
}

Status DatabaseImpl::Close() {
  unit_depth_ = 0;
  return file_.Close();
}

}  // namespace jet
