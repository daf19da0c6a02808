// The system tables and the whole file of an empty database, as Access
// (2000 or 97) makes one; see create.h.
#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "jet/base/coding.h"
#include "jet/catalog/catalog.h"
#include "jet/db/create.h"
#include "jet/format/header.h"
#include "jet/index/text_key.h"
#include "jet/rows/data_page.h"
#include "jet/space/space.h"

namespace jet {

namespace {

constexpr uint32_t kTablesContainerId = 0x0F000001;

// ---- The four system tables, as facts from an empty database Access made ----

struct SystemColumn {
  const char* name;
  uint8_t type;
  uint16_t number;
  uint16_t var_index;
  uint8_t flags;
  uint16_t fixed_offset;
  uint16_t length;
};
struct SystemIndex {
  const char* name;
  uint8_t type;  // 1 primary key
  uint8_t flags;
  std::vector<uint16_t> columns;  // column numbers, all ascending
};
struct SystemTable {
  const char* name;
  uint16_t max_cols;
  uint16_t num_var_cols;
  std::vector<SystemColumn> columns;  // in Access's TDEF order (by name)
  std::vector<SystemIndex> indexes;   // in Access's logical order
  std::vector<int> physical_of;       // physical index of each logical index
};

const std::vector<SystemTable>& SystemTables() {
  // clang-format off
  static const std::vector<SystemTable> tables = {
      {"MSysObjects", 17, 11,
       {{"Connect", 0x0C, 9, 3, 0x12, 0, 0},      {"Database", 0x0C, 8, 2, 0x12, 0, 0},
        {"DateCreate", 0x08, 4, 1, 0x13, 10, 8},  {"DateUpdate", 0x08, 5, 1, 0x13, 18, 8},
        {"Flags", 0x04, 7, 2, 0x13, 26, 4},       {"ForeignName", 0x0A, 10, 4, 0x12, 0, 510},
        {"Id", 0x04, 0, 0, 0x13, 0, 4},           {"Lv", 0x0B, 13, 7, 0x12, 0, 0},
        {"LvExtra", 0x0B, 16, 10, 0x12, 0, 0},    {"LvModule", 0x0B, 15, 9, 0x12, 0, 0},
        {"LvProp", 0x0B, 14, 8, 0x12, 0, 0},      {"Name", 0x0A, 2, 0, 0x12, 0, 510},
        {"Owner", 0x09, 6, 1, 0x32, 0, 510},      {"ParentId", 0x04, 1, 0, 0x13, 4, 4},
        {"RmtInfoLong", 0x0B, 12, 6, 0x12, 0, 0}, {"RmtInfoShort", 0x09, 11, 5, 0x12, 0, 510},
        {"Type", 0x03, 3, 1, 0x13, 8, 2}},
       {{"Id", 1, 0x81, {0}}, {"ParentIdName", 0, 0x81, {1, 2}}},
       {1, 0}},
      {"MSysACEs", 4, 1,
       {{"ACM", 0x04, 2, 1, 0x13, 4, 4},
        {"FInheritable", 0x01, 3, 1, 0x13, 0, 1},
        {"ObjectId", 0x04, 0, 0, 0x13, 0, 4},
        {"SID", 0x09, 1, 0, 0x32, 0, 510}},
       {{"ObjectId", 0, 0x88, {0}}},
       {0}},
      {"MSysQueries", 8, 4,
       {{"Attribute", 0x02, 1, 0, 0x13, 4, 1}, {"Expression", 0x0C, 5, 3, 0x12, 0, 0},
        {"Flag", 0x03, 6, 4, 0x13, 5, 2},      {"LvExtra", 0x04, 7, 4, 0x13, 7, 4},
        {"Name1", 0x0A, 3, 1, 0x12, 0, 510},   {"Name2", 0x0A, 4, 2, 0x12, 0, 510},
        {"ObjectId", 0x04, 0, 0, 0x13, 0, 4},  {"Order", 0x09, 2, 0, 0x12, 0, 510}},
       {{"ObjectIdAttribute", 1, 0x81, {0, 1, 2}}},
       {0}},
      {"MSysRelationships", 8, 5,
       {{"ccolumn", 0x04, 2, 1, 0x13, 4, 4},
        {"grbit", 0x04, 1, 1, 0x13, 0, 4},
        {"icolumn", 0x04, 3, 1, 0x13, 8, 4},
        {"szColumn", 0x0A, 5, 2, 0x12, 0, 510},
        {"szObject", 0x0A, 4, 1, 0x12, 0, 510},
        {"szReferencedColumn", 0x0A, 7, 4, 0x12, 0, 510},
        {"szReferencedObject", 0x0A, 6, 3, 0x12, 0, 510},
        {"szRelationship", 0x0A, 0, 0, 0x12, 0, 510}},
       {{"szObject", 0, 0x82, {4}}, {"szReferencedObject", 0, 0x82, {6}},
        {"szRelationship", 0, 0x82, {0}}},
       {1, 2, 0}},
  };
  // clang-format on
  return tables;
}

// MSysACEs rows of a new database: object, SID, rights, inheritable.
struct AceRow {
  uint32_t object;
  const char* sid;
  uint32_t acm;
  bool inheritable;
};
const AceRow kJet4AceRows[] = {
    {2, "\x07\xE8", 393216, false},
    {3, "\x07\xE8", 393216, false},
    {4, "\x07\xE8", 393216, false},
    {5, "\x07\xE8", 917504, false},
    {0x0F000001, "\x06\xED", 983294, true},
    {0x0F000001, "\x07\xE8", 393217, false},
    {0x0F000003, "\x06\xED", 983294, true},
    {0x0F000003, "\x07\xE8", 393217, false},
    {0x0F000002, "\x07\xE8", 393216, false},
    {0x10000000, "\x07\xE8", 393230, false},
    {0x10000000, "\x06\xE8", 14, false},
    {4, "\x06\xE8", 20, false},
    {5, "\x06\xE8", 20, false},
    {2, "\x06\xE8", 20, false},
    {0x0F000001, "\x06\xE8", 1048319, true},
    {0x0F000003, "\x06\xE8", 1048575, true},
};
// Access 97's, with its SIDs: 03 01 for 07 E8, 02 04 for 06 ED, 02 01 for
// 06 E8 (the rows Access adds for the user who made the file left out).
const AceRow kJet3AceRows[] = {
    {2, "\x03\x01", 393216, false},
    {3, "\x03\x01", 393216, false},
    {4, "\x03\x01", 393216, false},
    {5, "\x03\x01", 917504, false},
    {0x0F000001, "\x02\x04", 983294, true},
    {0x0F000001, "\x03\x01", 1048319, true},
    {0x0F000003, "\x02\x04", 983294, true},
    {0x0F000003, "\x03\x01", 393217, false},
    {0x0F000002, "\x03\x01", 393216, false},
    {0x10000000, "\x03\x01", 393230, false},
    {0x10000000, "\x02\x01", 14, false},
    {4, "\x02\x01", 20, false},
    {5, "\x02\x01", 20, false},
    {2, "\x02\x01", 20, false},
    {0x0F000001, "\x02\x01", 1048319, true},
    {0x0F000003, "\x02\x01", 1048575, true},
};

// The table as Access 2000 defines it, or as Access 97 does: columns in
// number order, text and binary lengths of 255 bytes, no MSysQueries.LvExtra
// (so one column fewer), index flags without 0x80.
TableLayout SystemLayout(const Format& format, const SystemTable& t) {
  TableLayout layout;
  layout.name = t.name;
  layout.system = true;
  layout.max_cols = t.max_cols;
  layout.num_var_cols = t.num_var_cols;
  layout.logical_extra[0] = 0x04;  // as Access writes them on system indexes
  layout.logical_extra[1] = 0x04;
  for (const SystemColumn& s : t.columns) {
    if (format.IsJet3() && std::string_view(t.name) == "MSysQueries" &&
        std::string_view(s.name) == "LvExtra") {
      layout.max_cols = static_cast<uint16_t>(layout.max_cols - 1);
      continue;
    }
    ColumnDef c;
    c.name = s.name;
    c.type = static_cast<ColumnType>(s.type);
    c.column_number = s.number;
    c.var_index = s.var_index;
    c.flags = s.flags;
    c.fixed_offset = s.fixed_offset;
    c.length = format.IsJet3() && s.length == 510 ? 255 : s.length;
    layout.columns.push_back(c);
  }
  if (format.IsJet3()) {
    std::sort(
        layout.columns.begin(), layout.columns.end(),
        [](const ColumnDef& a, const ColumnDef& b) { return a.column_number < b.column_number; });
  }
  // Logical indexes in Access's order; logical i is physical physical_of[i].
  layout.indexes.resize(t.indexes.size());
  for (size_t i = 0; i < t.indexes.size(); ++i) {
    const SystemIndex& s = t.indexes[i];
    IndexDef& index = layout.indexes[i];
    index.name = s.name;
    index.index_number = static_cast<uint32_t>(t.physical_of[i]);
    index.physical_index = static_cast<uint32_t>(t.physical_of[i]);
    index.index_type = s.type;
    index.flags = format.IsJet3() ? static_cast<uint8_t>(s.flags & 0x7F) : s.flags;
    for (uint16_t n : s.columns) index.columns.push_back({n, "", true});
  }
  return layout;
}

// Page 0: signature, then the region masked with the header keystream.
// Jet 4 adds the sort order, the creation date (which also keys the empty
// password) and the engine version after it; Jet 3 keeps its sort order
// inside it.
std::string HeaderPage(const Format& format, double creation_date) {
  std::string page(format.page_size, '\0');
  auto* p = reinterpret_cast<uint8_t*>(page.data());
  WriteU32(p + kHeaderMagicOffset, 0x00000100);
  std::memcpy(p + kHeaderEngineOffset, "Standard Jet DB", 16);
  WriteU32(p + kHeaderVersionOffset, format.IsJet3() ? 0 : 1);
  // Constant bytes of the clear region as Access writes them.
  const uint8_t start[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                           0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(p + kHeaderMaskStart, start, sizeof(start));
  WriteU16(p + kHeaderCodePageOffset, 1252);
  uint32_t mask_size = kJet3HeaderMaskSize;
  if (format.IsJet3()) {
    p[0x38] = 0x01;  // unknown; as in Access 97's files
    WriteU16(p + kJet3HeaderSortOrderOffset, kGeneralSortOrder);
    WriteU16(p + 0x56, 0x251E);  // unknown; the value most Access 97 files hold
  } else {
    mask_size = kJet4HeaderMaskSize;
    // The empty password, XORed with the integer part of the creation date.
    uint8_t key[4];
    WriteU32(key, static_cast<uint32_t>(static_cast<int32_t>(creation_date)));
    for (uint32_t i = 0; i < kJet4PasswordSize; ++i) p[kHeaderPasswordOffset + i] = key[i % 4];
    p[0x6A] = 0xA6;  // unknown, constant in Access's empty databases
    p[0x6B] = 0x11;
    WriteU16(p + kJet4HeaderSortOrderOffset, kGeneralSortOrder);
    std::memcpy(p + kJet4HeaderCreationDateOffset, &creation_date, 8);
  }
  const auto& mask = HeaderMask();
  for (uint32_t i = 0; i < mask_size; ++i) p[kHeaderMaskStart + i] ^= mask[i];
  if (!format.IsJet3()) {
    // After the masked region: an unknown 0x0654 and the engine version "4.0".
    WriteU32(p + 0x98, 0x0654);
    std::memcpy(p + 0x9C, "4.0", 3);
  }
  // The last 512 bytes: a table of 0x0100 words that Access fills in, 01 01 first.
  const uint32_t table = format.page_size - 0x200;
  for (uint32_t at = table; at < format.page_size; at += 2) WriteU16(p + at, 0x0100);
  p[table] = 0x01;
  return page;
}

// Page 1: the global page map (row 0, inline: bit set = page free) and an
// empty second row, as Access writes it.
std::string GlobalMapPage(const Format& format, uint32_t used_pages) {
  std::string page(format.page_size, '\0');
  auto* p = reinterpret_cast<uint8_t*>(page.data());
  InitDataPage(format, p, 1);  // Access writes 1 as this page's owner
  const uint32_t size = MapRowSize(format);
  std::string row(size, '\0');
  for (uint32_t n = used_pages; n < (size - 5) * 8; ++n) {
    row[5 + n / 8] = static_cast<char>(row[5 + n / 8] | (1 << (n % 8)));
  }
  uint8_t slot;
  (void)AddRow(format, p, 1, row, 0, &slot);
  (void)AddRow(format, p, 1, std::string(size, '\0'), 0, &slot);
  return page;
}

}  // namespace

Status BuildEmptyDatabase(const Format& f, double date, std::string* image) {
  PageFile file(HeaderPage(f, date) + GlobalMapPage(f, 2));
  JET_RETURN_IF_ERROR(file.SetPageSize(f.page_size));
  JET_RETURN_IF_ERROR(file.BeginUnit());
  Status s = [&]() -> Status {
    const auto& tables = SystemTables();
    for (size_t i = 0; i < tables.size(); ++i) {
      uint32_t page;
      JET_RETURN_IF_ERROR(AllocatePage(file, f, &page));
      if (page != kCatalogTableDefPage + i) {
        return Status::Corruption("system table " + std::string(tables[i].name) +
                                  " landed on page " + std::to_string(page));
      }
    }
    TextDecoder text(1252);
    // Access 2000 gives each table a map page; Access 97 gives MSysObjects
    // one and the other three one page between them.
    uint32_t shared_map_page = 0;
    for (size_t i = 0; i < tables.size(); ++i) {
      TableLayout layout = SystemLayout(f, tables[i]);
      uint32_t map_page = f.IsJet3() && i > 1 ? shared_map_page : 0;
      JET_RETURN_IF_ERROR(WriteNewTable(
          file, f, text, static_cast<uint32_t>(kCatalogTableDefPage + i), &layout, &map_page));
      shared_map_page = map_page;
    }
    const uint32_t root = 0x0F000000;
    const char* containers[] = {"Tables", "Databases", "Relationships"};
    for (uint32_t i = 0; i < 3; ++i) {
      JET_RETURN_IF_ERROR(InsertCatalogRow(file, f, text, root + 1 + i, root, containers[i], 3,
                                           date, OwnerEngine(f), 0x80000000, {}));
    }
    JET_RETURN_IF_ERROR(InsertCatalogRow(file, f, text, 0x10000000, root + 2, "MSysDb", 2, date,
                                         OwnerDatabase(f), 0x80000000, {}));
    for (size_t i = 0; i < tables.size(); ++i) {
      JET_RETURN_IF_ERROR(InsertCatalogRow(
          file, f, text, static_cast<uint32_t>(kCatalogTableDefPage + i), kTablesContainerId,
          tables[i].name, kObjectTable, date, OwnerEngine(f), 0x80000000, {}));
    }
    for (const AceRow& ace : f.IsJet3() ? std::span<const AceRow>(kJet3AceRows)
                                        : std::span<const AceRow>(kJet4AceRows)) {
      JET_RETURN_IF_ERROR(InsertSystemRow(
          file, f, text, kCatalogTableDefPage + 1,
          {{"ObjectId", Value::Integer(Value::Kind::kLong, static_cast<int32_t>(ace.object))},
           {"SID", Value::Bytes(Value::Kind::kBinary, std::string_view(ace.sid, 2))},
           {"ACM", Value::Integer(Value::Kind::kLong, static_cast<int32_t>(ace.acm))},
           {"FInheritable", Value::Boolean(ace.inheritable)}}));
    }
    return Status::OK();
  }();
  if (!s.ok()) {
    file.RollbackUnit();
    return Status::Corruption("building the empty database: " + s.message());
  }
  JET_RETURN_IF_ERROR(file.CommitUnit());
  *image = file.Image();
  return Status::OK();
}

}  // namespace jet
