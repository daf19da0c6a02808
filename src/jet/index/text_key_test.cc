// Text keys: hand-checked values, and every character class in both
// directions checked by the independent index checker. The proof over every
// text index of the shared files is in index_key_test.cc.
#include "jet/index/text_key.h"

#include <filesystem>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "jet/base/coding.h"
#include "jet/base/text_encode.h"
#include "jet/format/format.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "jet/index/index_tree.h"
#include "jet/pager/page_file.h"
#include "jet/testing/rebuild_indexes.h"
#include "jet/testing/test_util.h"
#include "support/jetcheck.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using testing::Hex;

std::string Key(std::string_view text, bool ascending = true, bool jet3 = false) {
  std::string key;
  Status s = jet3 ? AppendGeneral97TextKeyValue(text, ascending, &key)
                  : AppendTextKeyValue(text, ascending, &key);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return Hex(key);
}

TEST(TextKeyTest, ValuesAccessStores) {
  struct Case {
    const char* text;
    bool ascending;
    bool jet3;
    const char* hex;
  } cases[] = {
      {"only ascii chars", true, false, "64 62 5E 76 07 4A 6B 4D 59 59 07 4D 57 4A 69 6B 01 00"},
      {"ümlaut", true, false, "6F 60 5E 4A 6F 6D 01 13 00"},
      {"ääkkösiä", true, false, "4A 4A 5C 5C 64 6B 59 4A 01 13 13 02 02 13 02 02 13 00"},
      {"row10", true, false, "69 64 73 38 36 01 00"},
      {"row10", false, false, "96 9B 8C C7 C9 FE FF 00"},
      {"", true, false, "01 00"},
      {"AAÿAA", true, true, "60 60 7D 60 60 02 26 00"},
      {"AAÿAA", false, true, "9F 9F 82 9F 9F FD D9 FF"},
  };
  for (const Case& c : cases) EXPECT_EQ(Key(c.text, c.ascending, c.jet3), c.hex) << c.text;
}

TEST(TextKeyTest, CaseAndTrailingBlanksVanishAccentsAndPunctuationStay) {
  EXPECT_EQ(Key("Row10"), Key("ROW10"));
  EXPECT_EQ(Key("row10   "), Key("row10"));
  EXPECT_NE(Key("  row10"), Key("row10"));
  EXPECT_NE(Key("résumé"), Key("resume"));
  EXPECT_EQ(Key("Ümlaut"), Key("ümlaut "));
  // An apostrophe and a hyphen give no inline byte but an unprintable record.
  EXPECT_EQ(Key("it's"), "59 6D 6B 01 01 01 01 80 0F 06 80 00");
  EXPECT_NE(Key("co-op"), Key("coop"));
  EXPECT_EQ(Key(std::string(300, 'a')), Key(std::string(255, 'a')));
  EXPECT_NE(Key(std::string(254, 'a')), Key(std::string(255, 'a')));
  EXPECT_EQ(Key("Ab", true, true), Key("aB", true, true));
}

TEST(TextKeyTest, RefusesWhatItWouldHaveToGuess) {
  std::string key = "x";
  Status s = AppendTextKeyValue("smile \xF0\x9F\x98\x80", true, &key);
  EXPECT_EQ(s.code(), StatusCode::kNotSupported);
  EXPECT_NE(s.message().find("\"smile "), std::string::npos) << s.message();
  EXPECT_EQ(key, "x");
  EXPECT_EQ(AppendTextKeyValue("\xC3", true, &key).code(), StatusCode::kInvalidArgument);

  struct Order {
    ColumnType type;
    uint16_t sort_order;
    uint8_t version;
    const char* why;  // empty: supported
  } orders[] = {
      {ColumnType::kText, 0x0409, 0, ""},
      {ColumnType::kMemo, 0x0409, 0, ""},
      {ColumnType::kText, 0x0409, 1, "column EventName (Text) uses sort order 0x0409 version 1"},
      {ColumnType::kMemo, 0x0405, 0, "column EventName (Memo) uses sort order 0x0405 version 0"},
      {ColumnType::kLong, 0x0409, 0, "column EventName is Long"},
  };
  for (const Order& o : orders) {
    ColumnDef c{
        .name = "EventName", .type = o.type, .sort_order = o.sort_order, .sort_version = o.version};
    std::string why;
    EXPECT_EQ(TextKeySupported(c, &why), *o.why == 0) << why;
    EXPECT_NE(why.find(o.why), std::string::npos) << why;
  }
}

// Every text index of the shared files is compared with the keys built from
// its rows in index_key_test.cc, with the indexes of every other type.

// The shared Jet 4 files only hold plain letters, blanks, apostrophes and
// hyphens in their text indexes. To prove the other classes (accents: I,
// combining marks: P, kana with their crazy flags: Z) and descending order,
// the EventName values of tessdata-textindex.mdb (stored as plain UCS-2) are
// rewritten in place with letters swapped for such characters, the Events
// indexes are rebuilt from the rows with our keys, and the independent
// checker must find every row again by seeking its own key. As a control,
// keys built from the text before the swap must fail.
struct Swap {
  std::u16string_view from, to;  // from[i] becomes to[i]
  bool descending;
  bool keys_as_stored;
};

void MakeEventsDescending(std::string* image, uint32_t tdef_page) {
  const Format& f = kJet4Format;
  uint8_t* p = reinterpret_cast<uint8_t*>(image->data()) + tdef_page * f.page_size;
  const uint16_t columns = ReadU16(p + f.tdef_num_cols_offset);
  const uint32_t physical = ReadU32(p + f.tdef_num_real_idx_offset);
  uint8_t* at =
      p + f.tdef_header_size + physical * f.tdef_index_count_entry_size + columns * f.column_size;
  for (uint16_t c = 0; c < columns; ++c) at += 2 + ReadU16(at);  // column names
  for (uint32_t i = 0; i < physical; ++i)
    at[i * f.physical_index_size + f.physical_index_columns_offset + 2] &= 0xFE;
}

TEST(TextKeyTest, CheckerFindsEveryRowByOurKeysForEveryCharacterClass) {
  const Swap cases[] = {
      {u"aeo", u"\u00e4\u00e9\u00f8", false, true},  // I
      {u"aeo", u"\u00e4\u00e9\u00f8", true, true},
      {u"Nrie", u"\u0301\u0301\u0308\u00e9", false, true},     // P, also as the first char
      {u"aeoy", u"\u3042\u30a1\u304c\u30ac", false, true},     // Z: flags 3, 2, extras
      {u"aeoyn ", u"\u00e4\u30a1\u0301-\u304c'", true, true},  // all at once
      {u"aeo", u"\u00e4\u00e9\u00f8", false, false},           // control
  };
  tessaly::testing::SharedFileCopy copy("fixtures", "tessdata-textindex.mdb");
  auto original = ReadWholeFile(copy.path().string());
  ASSERT_TRUE(original.ok());
  for (const Swap& c : cases) {
    const std::string what = std::string(c.descending ? "desc " : "asc ") +
                             (c.keys_as_stored ? "" : "control ") + std::to_string(&c - cases);
    std::string image = *original;
    auto db = Database::OpenImage(image);
    ASSERT_TRUE(db.ok());
    auto table = (*db)->GetTable("Events");
    ASSERT_TRUE(table.ok());
    const size_t name_at = table->FindColumn("EventName") - table->columns.data();
    std::map<std::pair<uint32_t, uint8_t>, std::string> before;  // row -> original text
    auto cursor = (*db)->Scan(*table);
    Row row;
    Status s;
    size_t swapped = 0;
    while ((*cursor)->Next(&row, &s)) {
      before[{row.page, row.slot}] = std::string(row.values[name_at].text());
      std::u16string text;
      ASSERT_TRUE(Utf8ToUtf16(row.values[name_at].text(), &text).ok());
      std::u16string after = text;
      for (char16_t& ch : after) {
        if (size_t i = c.from.find(ch); i != c.from.npos) ch = c.to[i];
      }
      std::string from(reinterpret_cast<const char*>(text.data()), 2 * text.size());
      std::string to(reinterpret_cast<const char*>(after.data()), 2 * after.size());
      const size_t page = size_t{row.page} * 4096;
      const size_t at = image.find(from, page);
      if (from == to || at >= page + 4096 || image.find(from, at + 1) < page + 4096) continue;
      image.replace(at, to.size(), to);  // UCS-2LE in place: same length
      ++swapped;
    }
    ASSERT_TRUE(s.ok());
    ASSERT_GT(swapped, 15u) << what;
    if (c.descending) MakeEventsDescending(&image, table->tdef_page);
    db = Database::OpenImage(image);
    ASSERT_TRUE(db.ok());
    table = (*db)->GetTable("Events");
    for (const IndexDef& index : table->indexes)
      ASSERT_EQ(index.columns[0].ascending, !c.descending);
    cursor = (*db)->Scan(*table);
    size_t changed = 0;
    while ((*cursor)->Next(&row, &s)) {
      changed += row.values[name_at].text() != before[{row.page, row.slot}];
    }
    ASSERT_TRUE(s.ok());
    ASSERT_EQ(changed, swapped) << what;
    // The control keeps the keys of the texts as they were.
    const Status rebuilt = testing::RebuildIndexes(
        **db, *table,
        [&](const Row& r) {
          std::vector<Value> values = r.values;
          if (!c.keys_as_stored)
            values[name_at] = Value::Bytes(Value::Kind::kText, before[{r.page, r.slot}]);
          return values;
        },
        &image);
    ASSERT_TRUE(rebuilt.ok()) << what << ": " << rebuilt.ToString();
    std::ofstream(copy.path(), std::ios::binary | std::ios::trunc) << image;
    auto check = tessaly::testing::RunJetcheck(copy.path());
    if (check.java_missing) GTEST_SKIP() << check.error;
    EXPECT_EQ(check.passed(), c.keys_as_stored) << what << "\n" << check.output << check.error;
  }
}

}  // namespace
}  // namespace jet
