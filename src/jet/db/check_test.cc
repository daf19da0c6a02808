// Check over the real files (every shared file is sound), and over copies of
// the 2009 calendar damaged one way each through the pager: each damage must
// give exactly the one line that names it.
#include <filesystem>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jet/base/coding.h"
#include "jet/base/text.h"
#include "jet/database.h"
#include "jet/format/format.h"
#include "jet/format/table_def.h"
#include "jet/index/index_key.h"
#include "jet/index/index_tree.h"
#include "jet/pager/page_file.h"
#include "jet/rows/data_page.h"
#include "jet/rows/row_codec.h"
#include "jet/space/space.h"
#include "strings/hex.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using strings::HexText;
using tessaly::testing::SharedPath;
const Format& kFormat = kJet4Format;

TEST(CheckTest, EverySharedFileIsSound) {
  size_t files = 0;
  for (const char* dir : {"corpus", "fixtures"}) {
    for (const auto& entry : std::filesystem::directory_iterator(SharedPath(dir))) {
      if (entry.path().extension() != ".mdb") continue;
      ++files;
      auto db = Database::Open(entry.path().string());
      ASSERT_TRUE(db.ok()) << entry.path() << ": " << db.status().ToString();
      auto problems = (*db)->Check();
      ASSERT_TRUE(problems.ok()) << entry.path() << ": " << problems.status().ToString();
      for (const std::string& p : *problems) ADD_FAILURE() << entry.path().filename() << ": " << p;
    }
  }
  EXPECT_GE(files, 38u);
}

std::string At(RowId id) {
  return "page " + std::to_string(id.page) + " row " + std::to_string(id.slot);
}

// A memo field of a live row stored as one LVAL row (kind 0x40).
struct LongValueField {
  RowId row;
  std::string column;
  uint32_t field_offset = 0;  // in the row's page
  uint32_t mask_offset = 0;   // null-mask byte of the column, in the row's page
  uint8_t mask_bit = 0;
  RowId target;  // the LVAL row
};

// The copy being damaged: the image in a PageFile with a unit open, and the
// undamaged database for finding rows, keys and pages.
struct Copy {
  Copy() : file(*ReadWholeFile(SharedPath("fixtures", "tessdata-2009.mdb").string())) {
    EXPECT_TRUE(file.SetPageSize(4096).ok());
    EXPECT_TRUE(file.BeginUnit().ok());
    db = std::move(Database::OpenImage(file.Image()).value());
  }

  TableDef Table(const std::string& name) { return db->GetTable(name).value(); }

  // Row ids and the values of one column, in scan order.
  std::vector<std::pair<RowId, int64_t>> Rows(const TableDef& t, const std::string& column) {
    size_t at = 0;
    while (t.columns[at].name != column) ++at;
    std::vector<std::pair<RowId, int64_t>> rows;
    auto cursor = std::move(db->Scan(t).value());
    Row row;
    Status s;
    while (cursor->Next(&row, &s)) rows.push_back({{row.page, row.slot}, row.values[at].integer()});
    return rows;
  }

  std::string Key(const TableDef& t, const IndexDef& index, RowId id) {
    Row row;
    EXPECT_TRUE(db->ReadRow(t, id, &row).ok());
    std::string key;
    EXPECT_TRUE(EncodeIndexKey(t, index, row.values, &key).ok());
    return key;
  }

  std::vector<LongValueField> SingleLongValues(const TableDef& t) {
    std::vector<LongValueField> found;
    auto cursor = std::move(db->Scan(t).value());
    Row row;
    Status s;
    while (cursor->Next(&row, &s)) {
      const uint8_t* page;
      RowSpan span;
      RowFields fields;
      EXPECT_TRUE(file.GetPage(row.page, "test", &page).ok());
      EXPECT_TRUE(LocateRow(kFormat, page, row.page, row.slot, &span).ok());
      if ((span.flags & kRowLookup) != 0) continue;
      EXPECT_TRUE(
          ParseRowFields(kFormat, page + span.start, span.size, true, row.page, row.slot, &fields)
              .ok());
      for (const ColumnDef& c : t.columns) {
        if (!c.IsLongValue() || !fields.IsPresent(c.column_number)) continue;
        const uint32_t start = span.start + fields.var_offsets[c.var_index];
        const uint32_t end = span.start + fields.var_offsets[c.var_index + 1];
        if (end - start != 12 || (ReadU32(page + start) >> 30) != 1) continue;
        const uint32_t pointer = ReadU32(page + start + 4);
        found.push_back({{row.page, row.slot},
                         c.name,
                         start,
                         static_cast<uint32_t>(fields.null_mask - page) + c.column_number / 8,
                         static_cast<uint8_t>(1u << (c.column_number % 8)),
                         {pointer >> 8, static_cast<uint8_t>(pointer & 0xFF)}});
      }
    }
    return found;
  }

  uint8_t* Page(uint32_t page_number) {
    uint8_t* page = nullptr;
    EXPECT_TRUE(file.MutablePage(page_number, &page).ok());
    return page;
  }

  PageFile file;
  std::unique_ptr<Database> db;
};

struct Damage {
  const char* name;
  // Damages the copy; returns the one line Check must report.
  std::function<std::string(Copy&)> apply;
  bool note = false;  // the line is a note; there is no problem
};

const Damage kDamages[] = {
    {"PageDroppedFromOwnedMap",
     [](Copy& c) {
       TableDef t = c.Table("EventDates");
       auto rows = c.Rows(t, "EventId");
       const uint32_t page = rows[0].first.page;
       size_t on_page = 0;
       for (const auto& r : rows) on_page += r.first.page == page;
       EXPECT_TRUE(RemovePageFromUsageMap(c.file, kFormat, t.owned_map_pointer, page).ok());
       EXPECT_TRUE(RemovePageFromUsageMap(c.file, kFormat, t.free_map_pointer, page).ok());
       return "table EventDates: data page " + std::to_string(page) +
              " names the table as its owner but is not in its owned-page map (" +
              std::to_string(on_page) + " rows there are invisible to scans)";
     }},
    {"WrongFreeSpace",
     [](Copy& c) {
       const uint32_t page_number = c.Rows(c.Table("EventDates"), "EventId")[0].first.page;
       uint8_t* page = c.Page(page_number);
       const uint16_t free_space = ReadU16(page + 2);
       WriteU16(page + 2, free_space - 2);
       return "page " + std::to_string(page_number) +
              " (rows of table EventDates): free-space field says " +
              std::to_string(free_space - 2) + " bytes, its " +
              std::to_string(ReadU16(page + kFormat.data_row_count_offset)) + " rows leave " +
              std::to_string(free_space);
     }},
    {"OrphanLongValueRow",
     [](Copy& c) {
       // The row's memo becomes Null; its LVAL row stays live, as other
       // writers leave them: room to compact, no harm to a reader.
       LongValueField f = c.SingleLongValues(c.Table("Dates")).at(0);
       c.Page(f.row.page)[f.mask_offset] &= static_cast<uint8_t>(~f.mask_bit);
       const uint8_t* lval = c.Page(f.target.page);
       RowSpan span;
       EXPECT_TRUE(LocateRow(kFormat, lval, f.target.page, f.target.slot, &span).ok());
       return "table Dates, column " + f.column +
              ": 1 long-value row is not reached from any "
              "row (room a compact would give back): " +
              At(f.target) + " (" + std::to_string(span.size) + " bytes)";
     },
     true},
    {"TwoMemosShareAnLvalRow",
     [](Copy& c) {
       auto fields = c.SingleLongValues(c.Table("Dates"));
       const LongValueField& a = fields.at(0);
       const LongValueField* b = nullptr;
       for (const LongValueField& f : fields) {
         if (!b && f.column == a.column && !(f.row == a.row)) b = &f;
       }
       std::memcpy(c.Page(b->row.page) + b->field_offset, c.Page(a.row.page) + a.field_offset, 12);
       EXPECT_TRUE(SetRowFlags(kFormat, c.Page(b->target.page), b->target.page, b->target.slot,
                               kRowDeleted | kRowLookup)
                       .ok());
       return "table Dates, column " + a.column + ", row at " + At(b->row) +
              ": refers to the long-value row at " + At(a.target) +
              ", which is also reached from table Dates, column " + a.column + ", row at " +
              At(a.row);
     }},
    {"LongValuePageDroppedFromColumnMap",
     [](Copy& c) {
       LongValueField f = c.SingleLongValues(c.Table("Dates")).at(0);
       TextDecoder text(1252);
       TableDef t;
       TableDefExtras extras;
       EXPECT_TRUE(
           ReadTableDef(c.file, kFormat, text, c.Table("Dates").tdef_page, &t, &extras).ok());
       for (const LongValueMaps& lv : extras.long_value_maps) {
         EXPECT_TRUE(
             RemovePageFromUsageMap(c.file, kFormat, lv.owned_map_pointer, f.target.page).ok());
         EXPECT_TRUE(
             RemovePageFromUsageMap(c.file, kFormat, lv.free_map_pointer, f.target.page).ok());
       }
       return "table Dates, column " + f.column + ", row at " + At(f.row) +
              ": its long value is on page " + std::to_string(f.target.page) +
              ", which is not in the column's long-value page map";
     }},
    {"AutonumberCounterBelowLargestValue",
     [](Copy& c) {
       TableDef t = c.Table("Events");
       std::pair<RowId, int64_t> top{};
       for (const auto& r : c.Rows(t, "EventID")) top = r.second > top.second ? r : top;
       WriteU32(c.Page(t.tdef_page) + kFormat.tdef_autonumber_offset,
                static_cast<uint32_t>(top.second - 1));
       return "table Events, column EventID: autonumber value " + std::to_string(top.second) +
              " (the row at " + At(top.first) + ") is above the definition's counter " +
              std::to_string(top.second - 1);
     }},
    {"IndexEntryRemoved",
     [](Copy& c) {
       TableDef t = c.Table("EventDates");
       auto [id, event] = c.Rows(t, "EventId")[5];
       IndexTree tree(c.file, kFormat, t, t.indexes[0]);
       EXPECT_TRUE(tree.Remove(c.Key(t, t.indexes[0], id), id).ok());
       return "table EventDates, index " + t.indexes[0].name + ": the row at " + At(id) +
              " (EventId = " + std::to_string(event) + ") has no entry";
     }},
    {"IndexEntryWithWrongKey",
     [](Copy& c) {
       TableDef t = c.Table("EventDates");
       auto [id, event] = c.Rows(t, "EventId")[5];
       const IndexDef& index = t.indexes[0];
       const std::string key = c.Key(t, index, id);
       std::string wrong = key;
       wrong.back() ^= 0x40;
       IndexTree tree(c.file, kFormat, t, index);
       EXPECT_TRUE(tree.Remove(key, id).ok());
       EXPECT_TRUE(tree.Insert(wrong, id).ok());
       return "table EventDates, index " + index.name + ": the entry for the row at " + At(id) +
              " (EventId = " + std::to_string(event) + ") has key " + HexText(wrong) +
              ", the row's values give " + HexText(key);
     }},
    {"IndexEntryPointsAtDeletedRow",
     [](Copy& c) {
       // The row is deleted and leaves the count and the second index, not the first.
       TableDef t = c.Table("EventDates");
       const RowId id = c.Rows(t, "EventId")[5].first;
       const std::string key = c.Key(t, t.indexes[0], id);
       IndexTree second(c.file, kFormat, t, t.indexes[1]);
       EXPECT_TRUE(second.Remove(c.Key(t, t.indexes[1], id), id).ok());
       EXPECT_TRUE(
           SetRowFlags(kFormat, c.Page(id.page), id.page, id.slot, kRowDeleted | kRowLookup).ok());
       WriteU32(c.Page(t.tdef_page) + kFormat.tdef_row_count_offset, t.row_count - 1);
       return "table EventDates, index " + t.indexes[0].name + ": an entry (key " + HexText(key) +
              ") points at " + At(id) + ", which is deleted";
     }},

    {"UsedPageMarkedFree",
     [](Copy& c) {
       // The page keeps its rows; only its bit in the global map says free.
       const uint32_t page_number = c.Rows(c.Table("EventDates"), "EventId")[0].first.page;
       const std::string rows(reinterpret_cast<const char*>(c.Page(page_number)), 4096);
       EXPECT_TRUE(FreePage(c.file, kFormat, page_number).ok());
       std::memcpy(c.Page(page_number), rows.data(), rows.size());
       return "page " + std::to_string(page_number) +
              " is marked free in the global page map, but holds rows of table EventDates";
     }},
};

class CheckDamageTest : public ::testing::TestWithParam<Damage> {};

TEST_P(CheckDamageTest, ReportsExactlyTheDamage) {
  Copy copy;
  const std::string expected = GetParam().apply(copy);
  ASSERT_FALSE(::testing::Test::HasFailure());
  ASSERT_TRUE(copy.file.CommitUnit().ok());
  auto db = Database::OpenImage(copy.file.Image());
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  std::vector<std::string> notes;
  auto problems = (*db)->Check(&notes);
  ASSERT_TRUE(problems.ok()) << problems.status().ToString();
  if (GetParam().note) {
    EXPECT_THAT(*problems, ::testing::IsEmpty());
    EXPECT_THAT(notes, ::testing::ElementsAre(expected));
  } else {
    EXPECT_THAT(*problems, ::testing::ElementsAre(expected));
  }
}

INSTANTIATE_TEST_SUITE_P(Calendar2009, CheckDamageTest, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

// Pages marked used that nothing refers to are notes, not problems: Access
// leaves them behind until a compact.
struct NoteCase {
  const char* name;
  std::string file;                       // under the shared folder
  std::function<void(PageFile&)> change;  // inside a unit, or none
  std::string note;                       // the one note expected
};

class CheckNoteTest : public ::testing::TestWithParam<NoteCase> {};

TEST_P(CheckNoteTest, ReportsUnreferencedPagesAsOneNote) {
  PageFile file(*ReadWholeFile(SharedPath(GetParam().file).string()));
  ASSERT_TRUE(file.SetPageSize(kFormat.page_size).ok());
  if (GetParam().change) {
    ASSERT_TRUE(file.BeginUnit().ok());
    GetParam().change(file);
    ASSERT_TRUE(file.CommitUnit().ok());
  }
  auto db = Database::OpenImage(file.Image());
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  std::vector<std::string> notes;
  auto problems = (*db)->Check(&notes);
  ASSERT_TRUE(problems.ok()) << problems.status().ToString();
  EXPECT_THAT(*problems, ::testing::IsEmpty());
  EXPECT_THAT(notes, ::testing::ElementsAre(GetParam().note));
}

INSTANTIATE_TEST_SUITE_P(
    UnreferencedPages, CheckNoteTest,
    ::testing::Values(
        NoteCase{"PagesAnEngineAllocatedAndForgot", "fixtures/tessdata-2009.mdb",
                 [](PageFile& file) {
                   uint32_t page_number;
                   for (int k = 0; k < 3; ++k) {
                     ASSERT_TRUE(AllocatePage(file, kFormat, &page_number).ok());
                   }
                 },
                 "3 pages are marked used in the global page map, but nothing refers to them "
                 "(room a compact would give back): 56-58"},
        NoteCase{"WhatAccessLeftBehind", "corpus/testV2000.mdb", nullptr,
                 "693 pages are marked used in the global page map, but nothing refers to them "
                 "(room a compact would give back): 34-36, 38-89, 92-145, 147-702, 707, "
                 "709-735"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jet
