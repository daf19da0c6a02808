// Structural check of a whole file: for every table, its definition parses,
// every page its owned-page map lists is a data page that names the table as
// owner, the live rows decode (long values included) and their number matches
// the count in the definition (user tables), and the pages of its long-value columns are
// LVAL pages. Each problem is one line naming the table and the page.
#include <cstring>
#include <unordered_set>

#include "jet/coding.h"
#include "jet/database_impl.h"
#include "jet/row_codec.h"

namespace jet {

namespace {

// A table with thousands of broken rows gets a summary line, not thousands.
constexpr uint64_t kMaxRowProblemsPerTable = 20;

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

}  // namespace

void DatabaseImpl::CheckTable(const CatalogEntry& entry, std::vector<std::string>* problems) {
  const std::string prefix = "table " + entry.name + ": ";
  TableDef table;
  TableDefExtras extras;
  Status s = ReadTable(entry, &table, &extras);
  if (!s.ok()) {
    problems->push_back(s.message());
    return;
  }

  UsageMap map;
  s = OwnedPages(table, &map);
  if (!s.ok()) {
    problems->push_back(prefix + s.message());
    return;
  }
  if (map.pages_beyond_end != 0) {
    problems->push_back(prefix + "owned-page map lists " + std::to_string(map.pages_beyond_end) +
                        " pages past the end of the file");
  }
  for (uint32_t page_number : map.pages) {
    const uint8_t* page;
    s = file_.GetPage(page_number, "owned-page map", &page);
    if (!s.ok()) {
      problems->push_back(prefix + s.message());
      continue;
    }
    if (page[0] != kPageData) {
      problems->push_back(prefix + "page " + std::to_string(page_number) +
                          " in its owned-page map is " + PageTypeName(page[0]) +
                          ", not a data page");
      continue;
    }
    uint32_t owner = ReadU32(page + 4);
    if (owner != table.tdef_page) {
      problems->push_back(prefix + "page " + std::to_string(page_number) +
                          " in its owned-page map belongs to the definition at page " +
                          std::to_string(owner) + ", not " + std::to_string(table.tdef_page));
    }
  }

  TableScanner scanner(file_, format_, text_, table, map.pages);
  scanner.KeepGoingAfterErrors();
  Row row;
  uint64_t live_rows = 0;
  uint64_t damaged_rows = 0;
  while (true) {
    if (scanner.Next(&row, &s)) {
      ++live_rows;
    } else if (!s.ok()) {
      // The row exists even though it cannot be read: count it.
      ++live_rows;
      if (++damaged_rows <= kMaxRowProblemsPerTable) problems->push_back(prefix + s.message());
    } else {
      break;
    }
  }
  if (damaged_rows > kMaxRowProblemsPerTable) {
    problems->push_back(prefix + std::to_string(damaged_rows - kMaxRowProblemsPerTable) +
                        " more damaged rows");
  }
  if (live_rows != table.row_count && !table.is_system) {
    // Access does not keep the counts of its own system tables exact
    // (MSysACEs in testV2000.mdb records 61 rows and holds 64).
    problems->push_back(prefix + "definition records " + std::to_string(table.row_count) +
                        " rows, " + std::to_string(live_rows) + " found");
  }

  for (const LongValueMaps& lv : extras.long_value_maps) {
    std::string column_name = std::to_string(lv.column_number);
    column_name.insert(column_name.begin(), '#');
    for (const ColumnDef& c : table.columns) {
      if (c.column_number == lv.column_number) column_name = c.name;
    }
    UsageMap lv_map;
    s = ReadUsageMap(file_, format_, lv.owned_map_pointer,
                     "long-value page map of column " + column_name, &lv_map);
    if (!s.ok()) {
      problems->push_back(prefix + s.message());
      continue;
    }
    for (uint32_t page_number : lv_map.pages) {
      const uint8_t* page;
      s = file_.GetPage(page_number, "long-value page map", &page);
      if (!s.ok()) {
        problems->push_back(prefix + s.message());
        continue;
      }
      if (page[0] != kPageData || std::memcmp(page + 4, "LVAL", 4) != 0) {
        problems->push_back(prefix + "page " + std::to_string(page_number) +
                            " in the long-value map of column " + column_name +
                            " is not a long-value page");
      }
    }
  }
}

Result<std::vector<std::string>> DatabaseImpl::Check() {
  std::vector<std::string> problems;
  // A damaged catalog may name one definition many times; check it once.
  std::unordered_set<uint32_t> checked;
  for (const CatalogEntry& entry : catalog_.entries) {
    if (!catalog_.IsTable(entry)) continue;
    if (!checked.insert(entry.TableDefPage()).second) {
      problems.push_back("table " + entry.name + ": shares its definition page " +
                         std::to_string(entry.TableDefPage()) + " with another table");
      continue;
    }
    CheckTable(entry, &problems);
  }
  return problems;
}

}  // namespace jet
