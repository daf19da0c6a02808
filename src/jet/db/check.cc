// Structural check of a whole file: what a writer must keep right, read back
// from the pages. Each problem is one line that names the table, and where it
// applies the column or index, the page and the row slot.
//
// What is checked:
//   (C1) Usage maps against pages. Every page a table's owned-page map lists
//        is a data page that names the table as owner; every data page that
//        names a table as owner is in that table's owned-page map (one pass
//        over all pages finds them; rows on a page missing from the map are
//        invisible to scans, so they are reported once and then checked like
//        the others); free-space maps list only owned pages. Pages that the
//        global map marks free are left-overs, no page of anything.
//   (C2) Data page bookkeeping, on every data page in use (tables, long
//        values, usage maps): at most 255 rows, row offsets inside the
//        page and in descending order (rows do not overlap), and the stored
//        free space equal to page_size - header - sum(row_len + 2).
//   (C3) Long values. Every LVAL row that a live row's memo or OLE field
//        reaches (one row or a chain) is reached once: no two fields share a
//        row, no chain comes back to a row it passed. Reached rows are live
//        rows on LVAL pages listed in the column's long-value page map. LVAL
//        rows that are not flagged deleted and that nothing reaches are
//        orphans (looked for on the pages that some column's map lists): a
//        note, like unreferenced pages (C6), since no reader reaches them.
//   (C4) Counters. The live rows number what the definition records (user
//        tables: Access does not keep the counts of its system tables exact;
//        MSysACEs in testV2000.mdb records 61 rows and holds 64); no long
//        autonumber value is above the definition's counter.
//   (C5) Indexes. Every physical index: the tree's shape (IndexTree::Check),
//        then its entries against the rows: each row present exactly once
//        (none when the index ignores nulls and the row's index columns are
//        all null), each entry pointing at the header slot of a live row, no
//        two entries of a unique index with the same key (all-null keys
//        excepted). Where EncodeIndexKey covers every column of an index,
//        each entry's key must also be the key the row's values give. A Jet 3
//        text read as '?' may stand for a byte its code page leaves
//        undefined, whose key is another: such a row's key is not compared.
//   (C6) Page accounting against the global page map. A page is referred to
//        by: the header (page 0), the global map (page 1 and its bitmap
//        pages), a table's definition pages, the pages holding its usage-map
//        rows and their bitmap pages, the pages its owned-page map, index
//        maps and long-value page maps list, and LVAL pages that live rows'
//        long values reach. A page referred to must not be marked free (a
//        problem: the next page allocated may land on it). A page marked
//        used that nothing refers to is a note, not a problem: Access leaves
//        such pages until the file is compacted (testV2000.mdb has 693 of
//        them: LVAL pages of values it replaced, cleared pages), and they
//        harm nothing but the file's size. This engine gives back every page
//        it stops using, so a file that had none keeps none. Only looked for
//        when every table and map was read (otherwise their pages cannot be
//        told).
//
// Reading goes on after a problem wherever it safely can. A table whose rows
// cannot all be decoded is not compared with its indexes, and orphan LVAL
// rows are only reported when every table's rows were read.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "jet/base/coding.h"
#include "jet/base/value_text.h"
#include "jet/db/database_impl.h"
#include "jet/index/index_key.h"
#include "jet/index/index_tree.h"
#include "jet/rows/data_page.h"
#include "jet/rows/row_codec.h"
#include "strings/hex.h"

namespace jet {

namespace {

// A table with thousands of broken rows gets a summary line, not thousands;
// the same for an index that disagrees with thousands of rows.
constexpr uint64_t kMaxRowProblemsPerTable = 20;
constexpr uint64_t kMaxProblemsPerIndex = 20;
constexpr uint64_t kMaxPageProblems = 20;
// Runs of unreferenced pages a note lists before it only counts them.
constexpr size_t kMaxNotedRuns = 12;

// The global page map is row 0 of page 1; a set bit there means "free".
constexpr uint32_t kGlobalMapPointer = 1u << 8;

// Hops from a row's header slot to its data (an update may move a row whose
// data was moved before); the scanner allows as many.
constexpr int kMaxOverflowHops = 4;

// Whether a text of the row in one of the index's columns holds a '?': the
// Jet 3 reader's stand-in for a byte its code page leaves undefined.
bool HasUndefinedByteStandIn(const TableDef& table, const IndexDef& index,
                             const std::vector<Value>& values) {
  for (const IndexColumnDef& ic : index.columns) {
    for (size_t i = 0; i < table.columns.size() && i < values.size(); ++i) {
      if (table.columns[i].column_number == ic.column_number &&
          values[i].kind() == Value::Kind::kText &&
          values[i].text().find('?') != std::string_view::npos) {
        return true;
      }
    }
  }
  return false;
}

const char* PageTypeName(uint8_t type) {
  switch (type) {
    case kPageHeader: return "an empty or header page";
    case kPageData: return "a data page";
    case kPageTableDef: return "a table definition page";
    case kPageIndexNode: return "an index node page";
    case kPageIndexLeaf: return "an index leaf page";
    case kPageUsageMap: return "a usage map page";
    default: return "a page of unknown type";
  }
}

std::string At(uint32_t page_number, uint32_t slot) {
  return "page " + std::to_string(page_number) + " row " + std::to_string(slot);
}

std::string PointerText(uint32_t pointer) {
  return At(RowPointerPage(pointer), RowPointerSlot(pointer));
}

std::string Hex(std::string_view bytes) {
  return bytes.empty() ? "(empty)" : strings::HexText(bytes);
}

bool Contains(const std::vector<uint32_t>& sorted, uint32_t value) {
  return std::binary_search(sorted.begin(), sorted.end(), value);
}

// (C2) for one data page; `what` names it ("page 12 (data page of table T)").
void CheckPageSpace(const Format& f, const uint8_t* page, const std::string& what,
                    std::vector<std::string>* problems) {
  const uint32_t count = ReadU16(page + f.data_row_count_offset);
  const uint32_t table_end = f.data_header_size + 2 * count;
  if (count > kMaxRowsPerPage || table_end > f.page_size) {
    problems->push_back(what + ": " + std::to_string(count) +
                        " rows, more than the 255 a page can hold");
    return;
  }
  uint32_t end = f.page_size;
  uint32_t used = 0;
  for (uint32_t slot = 0; slot < count; ++slot) {
    const uint32_t start = ReadU16(page + f.data_header_size + 2 * slot) & kRowOffsetMask;
    if (start > end) {
      problems->push_back(what + ": row " + std::to_string(slot) + " starts at offset " +
                          std::to_string(start) +
                          (slot == 0 ? ", past the end of the page"
                                     : ", above row " + std::to_string(slot - 1) + " at offset " +
                                           std::to_string(end) + " (the rows overlap)"));
      return;
    }
    if (start < table_end) {
      problems->push_back(what + ": row " + std::to_string(slot) + " starts at offset " +
                          std::to_string(start) + ", inside the row offset table (which ends at " +
                          std::to_string(table_end) + ")");
      return;
    }
    used += end - start + 2;
    end = start;
  }
  const uint32_t expected = f.page_size - f.data_header_size - used;
  const uint32_t stored = DataPageFreeSpace(f, page);
  if (stored != expected) {
    problems->push_back(what + ": free-space field says " + std::to_string(stored) +
                        " bytes, its " + std::to_string(count) + " rows leave " +
                        std::to_string(expected));
  }
}

// Finds the bytes of a live row from its header slot, following overflow
// pointers as the scanner does.
Status LocateRowData(const PageFile& file, const Format& f, RowId id, const uint8_t** data,
                     uint32_t* size, RowId* data_at) {
  const uint8_t* page;
  RowSpan span;
  uint32_t pointer = (id.page << 8) | id.slot;
  JET_RETURN_IF_ERROR(FetchRow(file, f, pointer, "row", &page, &span));
  span.flags &= static_cast<uint16_t>(~kRowDeleted);
  for (int hops = 0; (span.flags & kRowLookup) != 0 && (span.flags & kRowDeleted) == 0; ++hops) {
    if (hops == kMaxOverflowHops || span.size < 4) {
      return Status::Corruption("overflow pointer of " + At(id.page, id.slot) + " unusable");
    }
    pointer = ReadU32(page + span.start);
    JET_RETURN_IF_ERROR(FetchRow(file, f, pointer, "overflow row", &page, &span));
  }
  *data = page + span.start;
  *size = span.size;
  *data_at = RowId{RowPointerPage(pointer), static_cast<uint8_t>(RowPointerSlot(pointer))};
  return Status::OK();
}

// A memo or OLE column of the table being checked.
struct LongValueColumn {
  const ColumnDef* column = nullptr;
  std::vector<uint32_t> owned_pages;  // sorted; empty when the map is unreadable
  bool map_read = false;
  std::unordered_set<uint32_t> reported_pages;  // pages already reported missing from the map
};

// One physical index of the table being checked, and what the rows say it
// must hold.
struct IndexCheck {
  const IndexDef* index = nullptr;
  std::string name;           // "table T, index I"
  bool compare_keys = false;  // EncodeIndexKey covers it
  bool usable = false;        // the entries could be read
  std::vector<IndexEntry> entries;
  struct Expected {
    RowId id;
    bool all_null = false;
    bool key_known = true;  // false: not compared (see C5)
    std::string key;
  };
  std::vector<Expected> rows;
  uint64_t problems = 0;
};

bool ById(const RowId& a, const RowId& b) {
  return a.page != b.page ? a.page < b.page : a.slot < b.slot;
}

// What the check gathers over the whole file.
struct FileCheck {
  std::vector<std::string> problems;
  std::unordered_map<uint32_t, std::string> table_names;  // by TDEF page
  // Data pages by the TDEF page they name as owner, ascending.
  std::unordered_map<uint32_t, std::vector<uint32_t>> pages_by_owner;
  std::vector<uint32_t> long_value_pages;
  // Every LVAL row reached from a row (row pointer), and who reached it.
  std::unordered_map<uint32_t, std::string> reached;
  // The column whose long-value page map lists an LVAL page.
  std::unordered_map<uint32_t, std::string> long_value_page_column;
  // Some rows could not be read: orphan LVAL rows cannot be told apart.
  bool rows_unread = false;

  // (C6) What refers to each page: an index into `users` (0: nothing found).
  std::vector<uint32_t> page_user;
  std::vector<std::string> users{""};
  // Some definition or map could not be read: pages nothing seems to refer
  // to may belong to it.
  bool pages_unaccounted = false;

  // (C6) what is worth telling but not wrong.
  std::vector<std::string> notes;

  void Add(std::string problem) { problems.push_back(std::move(problem)); }

  uint32_t User(std::string who) {
    users.push_back(std::move(who));
    return static_cast<uint32_t>(users.size() - 1);
  }
  // The first user of a page is kept; pages past the end are reported by
  // whoever names them.
  void Refer(uint32_t page_number, uint32_t user) {
    if (page_number < page_user.size() && page_user[page_number] == 0) {
      page_user[page_number] = user;
    }
  }
  // A usage map: the page of its row, its bitmap pages and, with
  // `members_user`, the pages it lists.
  void ReferMap(const PageFile& file, const Format& f, uint32_t pointer, uint32_t map_user,
                uint32_t members_user) {
    if (pointer == 0) return;
    Refer(RowPointerPage(pointer), map_user);
    UsageMap map;
    if (!ReadUsageMap(file, f, pointer, "usage map", &map).ok()) {
      pages_unaccounted = true;
      return;
    }
    for (uint32_t page_number : map.bitmap_pages) Refer(page_number, map_user);
    if (members_user == 0) return;
    for (uint32_t page_number : map.pages) Refer(page_number, members_user);
  }
};

// (C3) for one memo or OLE field of a live row; `who` names the row and
// column ("table T, column C, row at page 5 row 2").
void WalkLongValue(const PageFile& file, const Format& f, const uint8_t* field, uint32_t size,
                   const std::string& who, LongValueColumn* column, FileCheck* run) {
  if (size < kLongValueHeaderSize) return;  // the row decoder reports it
  const uint32_t word = ReadU32(field);
  uint32_t remaining = word & kLongValueLengthMask;
  uint32_t pointer = ReadU32(field + 4);
  if ((word & kLongValueInline) != 0 || remaining == 0) return;
  const bool single = (word & kLongValueSingle) != 0;
  std::unordered_set<uint32_t> chain;
  while (pointer != 0) {
    if (!chain.insert(pointer).second) {
      run->Add(who + ": its long-value chain comes back to " + PointerText(pointer));
      return;
    }
    const uint8_t* page;
    RowSpan span;
    if (!FetchRow(file, f, pointer, "long value", &page, &span).ok()) return;
    auto [it, first] = run->reached.emplace(pointer, who);
    if (!first) {
      run->Add(who + ": refers to the long-value row at " + PointerText(pointer) +
               ", which is also reached from " + it->second);
      return;
    }
    const uint32_t page_number = RowPointerPage(pointer);
    if (ReadU32(page + 4) != kLongValueOwner) {
      run->Add(who + ": its long value is at " + PointerText(pointer) +
               ", on a page that is not a long-value page");
    } else if (column->map_read && !Contains(column->owned_pages, page_number) &&
               column->reported_pages.insert(page_number).second) {
      run->Add(who + ": its long value is on page " + std::to_string(page_number) +
               ", which is not in the column's long-value page map");
    }
    if ((span.flags & kRowDeleted) != 0) {
      run->Add(who + ": refers to the long-value row at " + PointerText(pointer) +
               ", which is flagged deleted");
    }
    if (single || span.size < 4) return;
    const uint32_t chunk = std::min(span.size - 4, remaining);
    remaining -= chunk;
    if (remaining == 0) return;
    pointer = ReadU32(page + span.start);
  }
}

// The checks of one table whose definition and owned-page map were read.
class TableChecker {
 public:
  TableChecker(PageFile& file, const Format& format, TextDecoder& text, Database& db,
               const TableDef& table, FileCheck* run)
      : file_(file),
        format_(format),
        text_(text),
        db_(db),
        table_(table),
        run_(*run),
        name_("table " + table.name),
        prefix_(name_ + ": ") {}

  void Run(const TableDefExtras& extras, const UsageMap& owned) {
    ReferPages(extras);
    const std::vector<uint32_t> pages = CheckOwnedMap(owned);
    ReadLongValueMaps(extras);
    ReadIndexes();
    const bool all_read = ScanRows(pages);
    if (!all_read) return;
    for (IndexCheck& index : indexes_) {
      if (index.usable) CompareIndex(&index);
    }
  }

 private:
  // (C6) the pages of the table's definition, maps, rows, indexes and long
  // values.
  void ReferPages(const TableDefExtras& extras);
  // (C1); returns the pages to scan: the map's, and data pages of the table
  // that the map misses.
  std::vector<uint32_t> CheckOwnedMap(const UsageMap& map);
  void ReadLongValueMaps(const TableDefExtras& extras);
  void ReadIndexes();
  // (C3), (C4), and what each index must hold; false when some rows could
  // not be decoded.
  bool ScanRows(const std::vector<uint32_t>& pages);
  void WalkLongValues(RowId id);
  // (C5) entries against rows.
  void CompareIndex(IndexCheck* c);
  std::string EntryTarget(RowId at) const;

  PageFile& file_;
  const Format& format_;
  TextDecoder& text_;
  Database& db_;
  const TableDef& table_;
  FileCheck& run_;
  const std::string name_;                    // "table T"
  const std::string prefix_;                  // "table T: "
  std::vector<LongValueColumn> long_values_;  // one per column; unset for other columns
  bool has_long_values_ = false;
  std::vector<IndexCheck> indexes_;
  RowFields fields_;
};

void TableChecker::ReferPages(const TableDefExtras& extras) {
  const uint32_t definition = run_.User("the definition of " + name_);
  for (uint32_t page_number : extras.pages) run_.Refer(page_number, definition);
  const uint32_t maps = run_.User("usage maps of " + name_);
  run_.ReferMap(file_, format_, table_.owned_map_pointer, maps, run_.User("rows of " + name_));
  run_.ReferMap(file_, format_, table_.free_map_pointer, maps, 0);
  for (const IndexDef& index : table_.indexes) {
    run_.ReferMap(file_, format_, index.usage_map_pointer, maps,
                  run_.User("index " + index.name + " of " + name_));
  }
  for (const LongValueMaps& lv : extras.long_value_maps) {
    std::string column_name = "#" + std::to_string(lv.column_number);
    for (const ColumnDef& c : table_.columns) {
      if (c.column_number == lv.column_number) column_name = c.name;
    }
    run_.ReferMap(file_, format_, lv.owned_map_pointer, maps,
                  run_.User("long values of " + name_ + ", column " + column_name));
    run_.ReferMap(file_, format_, lv.free_map_pointer, maps, 0);
  }
}

std::vector<uint32_t> TableChecker::CheckOwnedMap(const UsageMap& map) {
  if (map.pages_beyond_end != 0) {
    run_.Add(prefix_ + "owned-page map lists " + std::to_string(map.pages_beyond_end) +
             " pages past the end of the file");
  }
  for (uint32_t page_number : map.pages) {
    const uint8_t* page;
    Status s = file_.GetPage(page_number, "owned-page map", &page);
    if (!s.ok()) {
      run_.Add(prefix_ + s.message());
      continue;
    }
    if (page[0] != kPageData) {
      run_.Add(prefix_ + "page " + std::to_string(page_number) + " in its owned-page map is " +
               PageTypeName(page[0]) + ", not a data page");
      continue;
    }
    const uint32_t owner = ReadU32(page + 4);
    if (owner != table_.tdef_page) {
      run_.Add(prefix_ + "page " + std::to_string(page_number) +
               " in its owned-page map belongs to the definition at page " + std::to_string(owner) +
               ", not " + std::to_string(table_.tdef_page));
    }
  }
  std::vector<uint32_t> scan_pages = map.pages;
  auto owned = run_.pages_by_owner.find(table_.tdef_page);
  if (owned != run_.pages_by_owner.end()) {
    for (uint32_t page_number : owned->second) {
      if (Contains(map.pages, page_number)) continue;
      const uint8_t* page = file_.PageOrNull(page_number);
      uint32_t live = 0;
      const uint32_t count =
          std::min<uint32_t>(ReadU16(page + format_.data_row_count_offset), kMaxRowsPerPage);
      for (uint32_t slot = 0; slot < count; ++slot) {
        if ((ReadU16(page + format_.data_header_size + 2 * slot) & kRowDeleted) == 0) ++live;
      }
      run_.Add(prefix_ + "data page " + std::to_string(page_number) +
               " names the table as its owner but is not in its owned-page map (" +
               std::to_string(live) + " rows there are invisible to scans)");
      scan_pages.push_back(page_number);
      run_.Refer(page_number, run_.User("rows of " + name_ + " missing from its owned-page map"));
    }
    std::sort(scan_pages.begin(), scan_pages.end());
  }
  if (table_.free_map_pointer != 0) {
    UsageMap free_map;
    Status s = ReadUsageMap(file_, format_, table_.free_map_pointer, "free-space map", &free_map);
    if (!s.ok()) {
      run_.Add(prefix_ + s.message());
    } else {
      for (uint32_t page_number : free_map.pages) {
        if (!Contains(map.pages, page_number)) {
          run_.Add(prefix_ + "page " + std::to_string(page_number) +
                   " is in its free-space map but not in its owned-page map");
        }
      }
    }
  }
  return scan_pages;
}

void TableChecker::ReadLongValueMaps(const TableDefExtras& extras) {
  long_values_.resize(table_.columns.size());
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    if (!table_.columns[i].IsLongValue()) continue;
    long_values_[i].column = &table_.columns[i];
    has_long_values_ = true;
  }
  for (const LongValueMaps& lv : extras.long_value_maps) {
    std::string column_name = "#" + std::to_string(lv.column_number);
    LongValueColumn* column = nullptr;
    for (size_t i = 0; i < table_.columns.size(); ++i) {
      if (table_.columns[i].column_number != lv.column_number) continue;
      column_name = table_.columns[i].name;
      column = &long_values_[i];
    }
    const std::string where = name_ + ", column " + column_name;
    UsageMap lv_map;
    Status s = ReadUsageMap(file_, format_, lv.owned_map_pointer, "long-value page map", &lv_map);
    if (!s.ok()) {
      run_.Add(where + ": " + s.message());
      continue;
    }
    for (uint32_t page_number : lv_map.pages) {
      const uint8_t* page;
      s = file_.GetPage(page_number, "long-value page map", &page);
      if (!s.ok()) {
        run_.Add(where + ": " + s.message());
        continue;
      }
      if (page[0] != kPageData || ReadU32(page + 4) != kLongValueOwner) {
        run_.Add(where + ": page " + std::to_string(page_number) +
                 " in its long-value page map is not a long-value page");
        continue;
      }
      run_.long_value_page_column.emplace(page_number, where);
    }
    if (column != nullptr) {
      column->owned_pages = lv_map.pages;
      column->map_read = true;
    }
    if (lv.free_map_pointer == 0) continue;
    UsageMap free_map;
    s = ReadUsageMap(file_, format_, lv.free_map_pointer, "long-value free-space map", &free_map);
    if (!s.ok()) {
      run_.Add(where + ": " + s.message());
      continue;
    }
    for (uint32_t page_number : free_map.pages) {
      if (!Contains(lv_map.pages, page_number)) {
        run_.Add(where + ": page " + std::to_string(page_number) +
                 " is in its long-value free-space map but not in its long-value page map");
      }
    }
  }
}

void TableChecker::ReadIndexes() {
  for (const IndexDef& index : table_.indexes) {
    bool seen = false;
    for (const IndexCheck& c : indexes_)
      seen = seen || c.index->physical_index == index.physical_index;
    if (seen) continue;  // several logical indexes may share one physical index
    IndexCheck c;
    c.index = &index;
    c.name = name_ + ", index " + index.name;
    c.compare_keys = IndexKeysSupported(table_, index, format_.version, nullptr);
    IndexTree tree(file_, format_, table_.tdef_page, index.root_page, index.usage_map_pointer,
                   c.name);
    Status s = tree.Check(&run_.problems, &run_.notes);
    if (s.ok()) s = tree.ReadAll(&c.entries);
    if (!s.ok()) {
      run_.Add(c.name + ": " + s.message());
    } else {
      c.usable = true;
    }
    indexes_.push_back(std::move(c));
  }
}

bool TableChecker::ScanRows(const std::vector<uint32_t>& pages) {
  const ColumnDef* autonumber = nullptr;
  size_t autonumber_index = 0;
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    if (table_.columns[i].IsLongAutoNumber() && table_.columns[i].type == ColumnType::kLong) {
      autonumber = &table_.columns[i];
      autonumber_index = i;
    }
  }
  int64_t autonumber_max = 0;
  RowId autonumber_max_at;

  TableScanner scanner(file_, format_, text_, table_, pages);
  scanner.KeepGoingAfterErrors();
  Row row;
  Status s;
  uint64_t live_rows = 0;
  uint64_t damaged_rows = 0;
  while (true) {
    if (!scanner.Next(&row, &s)) {
      if (s.ok()) break;
      // The row exists even though it cannot be read: count it.
      ++live_rows;
      if (++damaged_rows <= kMaxRowProblemsPerTable) run_.Add(prefix_ + s.message());
      continue;
    }
    ++live_rows;
    const RowId id{row.page, row.slot};
    if (autonumber != nullptr) {
      const Value& number = row.values[autonumber_index];
      if (number.kind() == Value::Kind::kLong && number.integer() > autonumber_max) {
        autonumber_max = number.integer();
        autonumber_max_at = id;
      }
    }
    for (IndexCheck& c : indexes_) {
      IndexCheck::Expected e;
      e.id = id;
      e.all_null = IndexColumnsAllNull(table_, *c.index, row.values);
      if (c.compare_keys &&
          !EncodeIndexKey(table_, *c.index, row.values, &e.key, format_.version).ok()) {
        c.compare_keys = false;
      }
      if (format_.IsJet3()) e.key_known = !HasUndefinedByteStandIn(table_, *c.index, row.values);
      c.rows.push_back(std::move(e));
    }
    if (has_long_values_) WalkLongValues(id);
  }
  if (damaged_rows > kMaxRowProblemsPerTable) {
    run_.Add(prefix_ + std::to_string(damaged_rows - kMaxRowProblemsPerTable) +
             " more damaged rows");
  }
  if (damaged_rows > 0) run_.rows_unread = true;

  // (C4) Access does not keep the counts of its own system tables exact
  // (MSysACEs in testV2000.mdb records 61 rows and holds 64).
  if (live_rows != table_.row_count && !table_.is_system) {
    run_.Add(prefix_ + "definition records " + std::to_string(table_.row_count) + " rows, " +
             std::to_string(live_rows) + " found");
  }
  if (autonumber != nullptr && autonumber_max > static_cast<int64_t>(table_.autonumber_last)) {
    run_.Add(name_ + ", column " + autonumber->name + ": autonumber value " +
             std::to_string(autonumber_max) + " (the row at " +
             At(autonumber_max_at.page, autonumber_max_at.slot) +
             ") is above the definition's counter " + std::to_string(table_.autonumber_last));
  }
  return damaged_rows == 0;
}

void TableChecker::WalkLongValues(RowId id) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  RowId data_at;
  if (!LocateRowData(file_, format_, id, &data, &size, &data_at).ok() ||
      !ParseRowFields(format_, data, size, table_.num_var_cols > 0, data_at.page, data_at.slot,
                      &fields_)
           .ok()) {
    return;  // the scanner decoded this row, so this does not happen
  }
  for (LongValueColumn& c : long_values_) {
    if (c.column == nullptr || c.column->IsFixed() || !fields_.IsPresent(c.column->column_number) ||
        c.column->var_index >= fields_.var_count) {
      continue;
    }
    const uint32_t start = fields_.var_offsets[c.column->var_index];
    const uint32_t end = fields_.var_offsets[c.column->var_index + 1];
    if (start > end || end > size) continue;
    WalkLongValue(file_, format_, data + start, end - start,
                  name_ + ", column " + c.column->name + ", row at " + At(id.page, id.slot), &c,
                  &run_);
  }
}

// Why an entry's row pointer names no live row of the table.
std::string TableChecker::EntryTarget(RowId at) const {
  const uint8_t* page = file_.PageOrNull(at.page);
  if (page == nullptr || page[0] != kPageData || ReadU32(page + 4) != table_.tdef_page) {
    return "which is not a data page of the table";
  }
  if (at.slot >= ReadU16(page + format_.data_row_count_offset)) return "which does not exist";
  if ((ReadU16(page + format_.data_header_size + 2 * at.slot) & kRowDeleted) != 0) {
    return "which is deleted";
  }
  return "which holds no live row of the table";
}

void TableChecker::CompareIndex(IndexCheck* c) {
  auto report = [&](const std::string& problem) {
    if (++c->problems <= kMaxProblemsPerIndex) run_.Add(c->name + ": " + problem);
  };
  // Problems are rare: the row is read again to name its values.
  auto row_text = [&](RowId id) {
    Row values;
    std::string text = "the row at " + At(id.page, id.slot);
    if (db_.ReadRow(table_, id, &values).ok()) {
      text += " (" + IndexValuesText(table_, *c->index, values.values) + ")";
    }
    return text;
  };
  auto by_id = [](const IndexCheck::Expected& e, const RowId& id) { return ById(e.id, id); };
  std::sort(c->rows.begin(), c->rows.end(),
            [](const IndexCheck::Expected& a, const IndexCheck::Expected& b) {
              return ById(a.id, b.id);
            });
  std::vector<const IndexEntry*> by_row;
  by_row.reserve(c->entries.size());
  for (const IndexEntry& e : c->entries) by_row.push_back(&e);
  std::stable_sort(by_row.begin(), by_row.end(), [](const IndexEntry* a, const IndexEntry* b) {
    return ById(a->row_id(), b->row_id());
  });

  // Rows and entries side by side, in row order.
  const bool skips_nulls = c->index->IgnoresNulls();
  size_t k = 0;
  auto dangling = [&](const IndexEntry& entry) {
    const RowId at = entry.row_id();
    report("an entry (key " + Hex(entry.key) + ") points at " + At(at.page, at.slot) + ", " +
           EntryTarget(at));
  };
  for (const IndexCheck::Expected& e : c->rows) {
    for (; k < by_row.size() && ById(by_row[k]->row_id(), e.id); ++k) dangling(*by_row[k]);
    size_t n = 0;
    for (; k < by_row.size() && by_row[k]->row_id() == e.id; ++k, ++n) {
      if (c->compare_keys && e.key_known && by_row[k]->key != e.key) {
        report("the entry for " + row_text(e.id) + " has key " + Hex(by_row[k]->key) +
               ", the row's values give " + Hex(e.key));
      }
    }
    if (n == 0 && !(skips_nulls && e.all_null)) {
      report(row_text(e.id) + " has no entry");
    } else if (n > 0 && skips_nulls && e.all_null) {
      report(row_text(e.id) +
             " has an entry, though its columns are all Null and the index ignores Nulls");
    } else if (n > 1) {
      report(row_text(e.id) + " has " + std::to_string(n) + " entries");
    }
  }
  for (; k < by_row.size(); ++k) dangling(*by_row[k]);

  if (c->index->IsUnique()) {
    for (size_t i = 1; i < c->entries.size(); ++i) {
      const IndexEntry& a = c->entries[i - 1];
      const IndexEntry& b = c->entries[i];
      if (a.key != b.key) continue;
      // Keys whose columns are all Null may repeat.
      auto it = std::lower_bound(c->rows.begin(), c->rows.end(), b.row_id(), by_id);
      if (it != c->rows.end() && it->id == b.row_id() && it->all_null) continue;
      report(row_text(a.row_id()) + " and " + row_text(b.row_id()) +
             " have the same key in this unique index");
    }
  }
  if (c->problems > kMaxProblemsPerIndex) {
    run_.Add(c->name + ": " + std::to_string(c->problems - kMaxProblemsPerIndex) +
             " more problems");
  }
}

// (C3) Orphans: live LVAL rows that no row reached, on the pages of some
// column's long-value page map, one note per column. LVAL pages outside every
// map are not searched: testV2000.mdb holds 663 live LVAL rows on such pages
// (old versions of MSysObjects property blobs, "MR2" ...) that nothing
// reaches, left by the program that wrote it; a page of ours that a map
// misses is found from the rows that reach it. Orphans harm no reader (no
// row leads to them) and other writers leave them after updates and
// deletes, so they are room a compact gives back, not damage.
void ReportOrphans(const PageFile& file, const Format& f, FileCheck* run) {
  std::map<std::string, std::vector<std::string>> by_column;
  for (uint32_t page_number : run->long_value_pages) {
    auto column = run->long_value_page_column.find(page_number);
    if (column == run->long_value_page_column.end()) continue;
    const uint8_t* page = file.PageOrNull(page_number);
    uint32_t count = 0;
    if (!PageRowCount(f, page, page_number, &count).ok()) continue;
    for (uint32_t slot = 0; slot < count; ++slot) {
      RowSpan span;
      if (!LocateRow(f, page, page_number, slot, &span).ok()) continue;
      if ((span.flags & kRowDeleted) != 0) continue;
      if (run->reached.count((page_number << 8) | slot) != 0) continue;
      by_column[column->second].push_back(At(page_number, slot) + " (" + std::to_string(span.size) +
                                          " bytes)");
    }
  }
  for (const auto& [column, rows] : by_column) {
    std::string list;
    for (size_t k = 0; k < rows.size() && k < kMaxNotedRuns; ++k) {
      list += (k == 0 ? "" : ", ") + rows[k];
    }
    if (rows.size() > kMaxNotedRuns) list += ", ...";
    run->notes.push_back(column + ": " + std::to_string(rows.size()) +
                         (rows.size() == 1 ? " long-value row is" : " long-value rows are") +
                         " not reached from any row (room a compact would give back): " + list);
  }
}

// "34-36, 38" for ascending page numbers, the first kMaxNotedRuns runs.
std::string PageRuns(const std::vector<uint32_t>& pages) {
  std::string text;
  size_t runs = 0;
  for (size_t k = 0; k < pages.size();) {
    size_t end = k;
    while (end + 1 < pages.size() && pages[end + 1] == pages[end] + 1) ++end;
    if (++runs > kMaxNotedRuns) return text + ", ...";
    if (!text.empty()) text += ", ";
    text += std::to_string(pages[k]);
    if (end > k) text += "-" + std::to_string(pages[end]);
    k = end + 1;
  }
  return text;
}

// (C6) once every table was walked.
void ReportPageAccounting(const PageFile& file, const std::vector<bool>& free_pages,
                          bool global_read, FileCheck* run) {
  const uint32_t reached = run->User("long values that rows refer to");
  for (const auto& [pointer, who] : run->reached) run->Refer(RowPointerPage(pointer), reached);
  uint64_t freed_in_use = 0;
  std::vector<uint32_t> unreferenced;
  for (uint32_t page_number = 0; page_number < file.page_count(); ++page_number) {
    const uint32_t user = run->page_user[page_number];
    if (free_pages[page_number] && user != 0) {
      if (++freed_in_use <= kMaxPageProblems) {
        run->Add("page " + std::to_string(page_number) +
                 " is marked free in the global page map, but holds " + run->users[user]);
      }
    } else if (global_read && !free_pages[page_number] && user == 0 && !run->pages_unaccounted) {
      unreferenced.push_back(page_number);
    }
  }
  if (freed_in_use > kMaxPageProblems) {
    run->Add(std::to_string(freed_in_use - kMaxPageProblems) +
             " more pages are marked free in the global page map but hold something");
  }
  if (!unreferenced.empty()) {
    const size_t n = unreferenced.size();
    run->notes.push_back(std::to_string(n) + (n == 1 ? " page is" : " pages are") +
                         " marked used in the global page map, but nothing refers to " +
                         (n == 1 ? "it" : "them") +
                         " (room a compact would give back): " + PageRuns(unreferenced));
  }
}

}  // namespace

struct DatabaseImpl::CheckRun : FileCheck {};

void DatabaseImpl::CheckTable(const CatalogEntry& entry, CheckRun* run) {
  TableDef table;
  TableDefExtras extras;
  Status s = ReadTable(entry, &table, &extras);
  UsageMap owned;
  if (s.ok()) {
    s = OwnedPages(table, &owned);
    if (!s.ok()) s = Status::Corruption("table " + entry.name + ": " + s.message());
  }
  if (!s.ok()) {
    run->Add(s.message());
    run->rows_unread = true;
    run->pages_unaccounted = true;
    return;
  }
  TableChecker(file_, format_, text_, *this, table, run).Run(extras, owned);
}

Result<std::vector<std::string>> DatabaseImpl::Check(std::vector<std::string>* notes) {
  CheckRun run;
  for (const CatalogEntry& entry : catalog_.entries) {
    if (catalog_.IsTable(entry)) run.table_names.emplace(entry.TableDefPage(), entry.name);
  }

  // Pages the global map marks free hold whatever they held before: a page
  // of a deleted table (page 42 of testPromotionV2000.mdb still names
  // MSysNavPaneObjectIDs as its owner). They are no data page of anything.
  // A global map this engine cannot read frees no page (testRefGlobalV2000.mdb
  // names a bitmap page far past its end).
  std::vector<bool> free_pages(file_.page_count(), false);
  UsageMap global;
  const bool global_read =
      ReadUsageMap(file_, format_, kGlobalMapPointer, "global page map", &global).ok();
  if (global_read) {
    for (uint32_t page_number : global.pages) free_pages[page_number] = true;
  }
  run.page_user.assign(file_.page_count(), 0);
  run.Refer(0, run.User("the file header"));
  const uint32_t global_user = run.User("the global page map");
  run.Refer(1, global_user);
  for (uint32_t page_number : global.bitmap_pages) run.Refer(page_number, global_user);

  // (C2), and the census of data pages for (C1) and (C3): one pass.
  for (uint32_t page_number = 0; page_number < file_.page_count(); ++page_number) {
    const uint8_t* page;
    Status s = file_.GetPage(page_number, "the page census", &page);
    if (!s.ok()) return s;
    if (page[0] != kPageData || free_pages[page_number]) continue;
    const uint32_t owner = ReadU32(page + 4);
    std::string what = "page " + std::to_string(page_number);
    if (owner == kLongValueOwner) {
      run.long_value_pages.push_back(page_number);
      what += " (long values)";
    } else {
      run.pages_by_owner[owner].push_back(page_number);
      auto name = run.table_names.find(owner);
      if (name != run.table_names.end()) what += " (rows of table " + name->second + ")";
    }
    CheckPageSpace(format_, page, what, &run.problems);
  }

  // A damaged catalog may name one definition many times; check it once.
  std::unordered_set<uint32_t> checked;
  for (const CatalogEntry& entry : catalog_.entries) {
    if (!catalog_.IsTable(entry)) continue;
    if (!checked.insert(entry.TableDefPage()).second) {
      run.Add("table " + entry.name + ": shares its definition page " +
              std::to_string(entry.TableDefPage()) + " with another table");
      continue;
    }
    CheckTable(entry, &run);
  }
  if (!run.rows_unread) ReportOrphans(file_, format_, &run);
  ReportPageAccounting(file_, free_pages, global_read, &run);
  if (notes != nullptr) *notes = std::move(run.notes);
  return std::move(run.problems);
}

}  // namespace jet
