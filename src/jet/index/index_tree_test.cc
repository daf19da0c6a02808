// Index trees: thousands of random inserts and removals on an index of a
// copy of a shared file (Jet 4 and Jet 3), checked after every batch against
// a std::multiset model (ReadAll, Seek, Contains, new-key reports) and by
// Check; the changed file is then read back by the whole engine.
#include "jet/index/index_tree.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jet/base/coding.h"
#include "jet/database.h"
#include "jet/index/index_key.h"
#include "jet/space/space.h"
#include "jet/space/usage_map.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using tessaly::testing::SharedPath;

struct Target {
  std::string file;
  std::string table;
  std::string index;
};

// The tables are found by name so that a changed fixture fails loudly.
class IndexTreeTest : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    auto image = ReadWholeFile(SharedPath(GetParam().file).string());
    ASSERT_TRUE(image.ok()) << GetParam().file;
    auto db = Database::OpenImage(*image);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    auto table = (*db)->GetTable(GetParam().table);
    ASSERT_TRUE(table.ok()) << table.status().ToString();
    table_ = *table;
    for (const IndexDef& index : table_.indexes) {
      if (index.name == GetParam().index) index_ = index;
    }
    ASSERT_EQ(index_.name, GetParam().index);
    version_ = (*db)->info().version;
    format_ = &FormatFor(version_);
    file_ = std::make_unique<PageFile>(*image);
    ASSERT_TRUE(file_->SetPageSize(format_->page_size).ok());
    tree_ = std::make_unique<IndexTree>(*file_, *format_, table_, index_);
    std::vector<IndexEntry> entries;
    ASSERT_TRUE(tree_->ReadAll(&entries).ok());
    for (const IndexEntry& e : entries) model_.insert(e.SortBytes());
  }

  // ReadAll equals the model, Check finds nothing.
  void Verify(const std::string& when) {
    std::vector<IndexEntry> entries;
    ASSERT_TRUE(tree_->ReadAll(&entries).ok()) << when;
    std::vector<std::string> got;
    for (const IndexEntry& e : entries) got.push_back(e.SortBytes());
    ASSERT_EQ(got, std::vector<std::string>(model_.begin(), model_.end())) << when;
    std::vector<std::string> problems;
    ASSERT_TRUE(tree_->Check(&problems).ok()) << when;
    std::string all;
    for (const std::string& p : problems) all += p + "\n";
    ASSERT_TRUE(problems.empty()) << when << ":\n" << all;
  }

  int Depth() {
    const uint8_t* page = nullptr;
    uint32_t number = index_.root_page;
    int depth = 1;
    while (file_->GetPage(number, "index", &page).ok() && page[0] == kPageIndexNode) {
      IndexPage decoded;
      EXPECT_TRUE(DecodeIndexPage(*format_, page, number, &decoded).ok());
      number = decoded.entries.front().child;
      ++depth;
    }
    return depth;
  }

  JetVersion version_ = JetVersion::kJet4;
  const Format* format_ = &kJet4Format;
  TableDef table_;
  IndexDef index_;
  std::unique_ptr<PageFile> file_;
  std::unique_ptr<IndexTree> tree_;
  std::multiset<std::string> model_;  // SortBytes of every entry
};

// Fixed-length keys (prefix-free), long enough that a few thousand entries
// need three levels; values repeat so that keys have several rows.
std::string RandomKey(std::mt19937& rng) {
  uint32_t v = std::uniform_int_distribution<uint32_t>(0, 2999)(rng);
  std::string key = "\x7F";
  for (int i = 3; i >= 0; --i) key.push_back(static_cast<char>(v >> (8 * i)));
  key.append(50, static_cast<char>('A' + v % 23));
  return key;
}

std::string WithPointer(const std::string& key, RowId id) {
  IndexEntry e;
  e.key = key;
  e.page = id.page;
  e.row = id.slot;
  return e.SortBytes();
}

TEST_P(IndexTreeTest, RandomInsertsAndRemovesKeepTheTreeSound) {
  std::mt19937 rng(20101);
  std::vector<std::pair<std::string, RowId>> added;
  for (int batch = 0; batch < 6; ++batch) {
    ASSERT_TRUE(file_->BeginUnit().ok());
    for (int i = 0; i < 700; ++i) {
      std::string key = RandomKey(rng);
      RowId id{std::uniform_int_distribution<uint32_t>(1, 0xFFFFFF)(rng),
               static_cast<uint8_t>(rng() % 255)};
      if (model_.count(WithPointer(key, id))) continue;
      bool new_key = false;
      ASSERT_TRUE(tree_->Insert(key, id, &new_key).ok());
      IndexEntry probe;
      probe.key = key;
      auto lower = model_.lower_bound(probe.SortBytes());
      bool had = lower != model_.end() && lower->size() == key.size() + 4 &&
                 lower->compare(0, key.size(), key) == 0;
      ASSERT_EQ(new_key, !had) << "batch " << batch << " insert " << i;
      model_.insert(WithPointer(key, id));
      added.push_back({key, id});
    }
    ASSERT_TRUE(file_->CommitUnit().ok());
    Verify("after insert batch " + std::to_string(batch));
  }
  EXPECT_GE(Depth(), 3);

  // Seek and Contains against the model.
  for (int i = 0; i < 300; ++i) {
    std::string key = RandomKey(rng);
    IndexPosition at;
    bool found = false, contains = false;
    ASSERT_TRUE(tree_->Seek(key, &found, &at).ok());
    ASSERT_TRUE(tree_->Contains(key, &contains).ok());
    auto want = model_.lower_bound(WithPointer(key, RowId{0, 0}));
    ASSERT_EQ(found, want != model_.end());
    if (found) {
      EXPECT_EQ(at.entry.SortBytes(), *want);
    }
    EXPECT_EQ(contains, found && at.entry.key == key);
    for (int step = 0; found && step < 40; ++step, ++want) {  // a range scan
      ASSERT_EQ(at.entry.SortBytes(), *want);
      ASSERT_TRUE(tree_->Next(&at, &found).ok());
    }
  }

  // Remove in random order, in batches, down to nothing we added.
  auto index_pages = [&] {
    UsageMap map;
    EXPECT_TRUE(ReadUsageMap(*file_, *format_, index_.usage_map_pointer, "index", &map).ok());
    return std::set<uint32_t>(map.pages.begin(), map.pages.end());
  };
  const std::set<uint32_t> grown = index_pages();
  std::shuffle(added.begin(), added.end(), rng);
  for (size_t start = 0; start < added.size(); start += 900) {
    ASSERT_TRUE(file_->BeginUnit().ok());
    for (size_t i = start; i < std::min(added.size(), start + 900); ++i) {
      ASSERT_TRUE(tree_->Remove(added[i].first, added[i].second).ok()) << i;
      model_.erase(model_.find(WithPointer(added[i].first, added[i].second)));
    }
    ASSERT_TRUE(file_->CommitUnit().ok());
    Verify("after removing up to " + std::to_string(start + 900));
  }
  // (T6) The pages the removes emptied went back to the file: zero-filled
  // and marked free in the global page map.
  const std::set<uint32_t> left = index_pages();
  UsageMap global;
  ASSERT_TRUE(ReadUsageMap(*file_, *format_, 1u << 8, "global", &global).ok());
  const std::set<uint32_t> free_pages(global.pages.begin(), global.pages.end());
  size_t emptied = 0;
  for (uint32_t page_number : grown) {
    if (left.count(page_number) != 0) continue;
    ++emptied;
    EXPECT_EQ(free_pages.count(page_number), 1u) << page_number;
    EXPECT_EQ(file_->PageOrNull(page_number)[0], 0) << page_number;
  }
  EXPECT_GT(emptied, 10u);
  ASSERT_TRUE(file_->BeginUnit().ok());
  EXPECT_TRUE(tree_->Remove(added[0].first, added[0].second).IsNotFound());
  file_->RollbackUnit();
}

TEST_P(IndexTreeTest, IndexRebuiltFromTheRowsPassesTheEngineCheck) {
  // Every entry removed, then one per row inserted in random order: the
  // engine's own check then compares the index with the table row by row.
  auto db = Database::OpenImage(file_->Image());
  ASSERT_TRUE(db.ok());
  std::vector<std::pair<std::string, RowId>> entries;
  auto cursor = (*db)->Scan(table_);
  ASSERT_TRUE(cursor.ok());
  Row row;
  Status s;
  while ((*cursor)->Next(&row, &s)) {
    if (index_.IgnoresNulls() && IndexColumnsAllNull(table_, index_, row.values)) continue;
    std::string key;
    ASSERT_TRUE(EncodeIndexKey(table_, index_, row.values, &key, version_).ok());
    entries.push_back({key, RowId{row.page, row.slot}});
  }
  ASSERT_EQ(entries.size(), model_.size());
  std::shuffle(entries.begin(), entries.end(), std::mt19937(7));
  ASSERT_TRUE(file_->BeginUnit().ok());
  std::vector<IndexEntry> old;
  ASSERT_TRUE(tree_->ReadAll(&old).ok());
  for (const IndexEntry& e : old) ASSERT_TRUE(tree_->Remove(e.key, e.row_id()).ok());
  for (const auto& [key, id] : entries) ASSERT_TRUE(tree_->Insert(key, id).ok());
  ASSERT_TRUE(file_->CommitUnit().ok());
  Verify("after the rebuild");
  db = Database::OpenImage(file_->Image());
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  auto problems = (*db)->Check();
  ASSERT_TRUE(problems.ok());
  for (const std::string& p : *problems) ADD_FAILURE() << p;
}

// Check has no complaint about any index Access wrote, and finds damage.
TEST(IndexTreeCheckTest, AcceptsEveryIndexOfTheSharedFilesAndFindsDamage) {
  size_t checked = 0;
  for (const char* dir : {"corpus", "fixtures"}) {
    for (const auto& dirent : std::filesystem::directory_iterator(SharedPath(dir))) {
      if (dirent.path().extension() != ".mdb") continue;
      auto image = ReadWholeFile(dirent.path().string());
      ASSERT_TRUE(image.ok());
      auto db = Database::OpenImage(*image);
      ASSERT_TRUE(db.ok()) << dirent.path();
      PageFile file(*image);
      ASSERT_TRUE(file.SetPageSize((*db)->info().page_size).ok());
      const Format& format = FormatFor((*db)->info().version);
      auto names = (*db)->UserTableNames();
      ASSERT_TRUE(names.ok());
      for (const std::string& name : *names) {
        auto table = (*db)->GetTable(name);
        ASSERT_TRUE(table.ok());
        for (const IndexDef& index : table->indexes) {
          std::vector<std::string> problems;
          ASSERT_TRUE(IndexTree(file, format, *table, index).Check(&problems).ok());
          for (const std::string& p : problems)
            ADD_FAILURE() << dirent.path().filename() << ": " << p;
          ++checked;
        }
      }
    }
  }
  EXPECT_GT(checked, 80u);

  // Damage: a parent entry that is not its child's last entry, and a leaf
  // left out of the usage map.
  auto image = ReadWholeFile(SharedPath("fixtures", "tessdata-large.mdb").string());
  ASSERT_TRUE(image.ok());
  auto db = Database::OpenImage(*image);
  ASSERT_TRUE(db.ok());
  auto table = (*db)->GetTable("EventDates");
  ASSERT_TRUE(table.ok());
  const IndexDef& index = table->indexes[0];
  PageFile file(*image);
  ASSERT_TRUE(file.SetPageSize(4096).ok());
  const uint8_t* bytes = nullptr;
  ASSERT_TRUE(file.GetPage(index.root_page, "index", &bytes).ok());
  IndexPage root;
  ASSERT_TRUE(DecodeIndexPage(kJet4Format, bytes, index.root_page, &root).ok());
  ASSERT_FALSE(root.leaf);
  const uint32_t child = root.entries[0].child;
  root.entries[0].row ^= 1;
  ASSERT_TRUE(file.BeginUnit().ok());
  uint8_t* out = nullptr;
  ASSERT_TRUE(file.MutablePage(index.root_page, &out).ok());
  ASSERT_TRUE(EncodeIndexPage(kJet4Format, root, index.root_page, out).ok());
  ASSERT_TRUE(RemovePageFromUsageMap(file, kJet4Format, index.usage_map_pointer, child).ok());
  std::vector<std::string> problems;
  ASSERT_TRUE(IndexTree(file, kJet4Format, *table, index).Check(&problems).ok());
  std::string all;
  for (const std::string& p : problems) all += p + "\n";
  EXPECT_NE(all.find("differs from the greatest entry below page " + std::to_string(child)),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("page " + std::to_string(child) + ": not in the index's usage map"),
            std::string::npos)
      << all;

  // A leaf whose next link points back at itself.
  ASSERT_TRUE(file.GetPage(child, "index", &bytes).ok());
  IndexPage leaf;
  ASSERT_TRUE(DecodeIndexPage(kJet4Format, bytes, child, &leaf).ok());
  leaf.next_page = child;
  ASSERT_TRUE(file.MutablePage(child, &out).ok());
  ASSERT_TRUE(EncodeIndexPage(kJet4Format, leaf, child, out).ok());
  std::vector<IndexEntry> entries;
  Status s = IndexTree(file, kJet4Format, *table, index).ReadAll(&entries);
  EXPECT_TRUE(s.IsCorruption() && s.message().find("loops") != std::string::npos) << s.ToString();
}

// A missing (0) link between node pages of one level is a note, as other
// writers link node pages only under one parent; between leaves, which
// readers walk, it is a problem.
TEST(IndexTreeCheckTest, AMissingLinkIsANoteOnNodePagesAndAProblemOnLeaves) {
  auto image = ReadWholeFile(SharedPath("fixtures", "tessdata-blank.mdb").string());
  auto table = (*Database::OpenImage(*image))->GetTable("EventDates");
  const IndexDef& index = table->indexes[0];
  PageFile file(*image);
  ASSERT_TRUE(file.SetPageSize(4096).ok() && file.BeginUnit().ok());
  IndexTree tree(file, kJet4Format, *table, index);
  std::mt19937 rng(3);
  for (uint32_t i = 1; i <= 6000; ++i) ASSERT_TRUE(tree.Insert(RandomKey(rng), RowId{i, 0}).ok());
  IndexPage page;
  auto load = [&](uint32_t number) {
    const uint8_t* bytes = nullptr;
    EXPECT_TRUE(file.GetPage(number, "index", &bytes).ok());
    EXPECT_TRUE(DecodeIndexPage(kJet4Format, bytes, number, &page).ok());
  };
  load(index.root_page);
  const uint32_t node = page.entries.front().child;  // a node with a next sibling
  load(node);
  const uint32_t leaf = page.entries.front().child;
  const std::string name = "index " + index.name + " of table EventDates";
  for (uint32_t number : {node, leaf}) {
    load(number);
    const uint32_t next = page.next_page;
    page.next_page = 0;
    uint8_t* out = nullptr;
    ASSERT_TRUE(file.MutablePage(number, &out).ok());
    ASSERT_TRUE(EncodeIndexPage(kJet4Format, page, number, out).ok());
    std::vector<std::string> problems, notes;
    ASSERT_TRUE(tree.Check(&problems, &notes).ok());
    if (number == node) {
      EXPECT_THAT(problems, ::testing::IsEmpty());
      EXPECT_THAT(notes, ::testing::ElementsAre(
                             name + ": 1 node page has no link to a neighbour at its level (page " +
                             std::to_string(node) + "); readers do not follow those links"));
    } else {
      EXPECT_THAT(problems, ::testing::ElementsAre(name + ", page " + std::to_string(leaf) +
                                                   ": links prev 0 next 0, expected prev 0 next " +
                                                   std::to_string(next)));
    }
    page.next_page = next;
    ASSERT_TRUE(EncodeIndexPage(kJet4Format, page, number, out).ok());
  }
}

// Every index of every Access 97 file, emptied and filled again by Remove
// and Insert in random order: the leaf entries are exactly those Access
// wrote, the tree passes Check, and the engine's check of the whole file
// finds nothing. 2 KB pages split and merge far sooner than Jet 4's.
TEST(IndexTreeCheckTest, EveryJet3IndexRebuiltHoldsWhatAccessWrote) {
  size_t indexes = 0, entries_total = 0;
  std::mt19937 rng(1997);
  for (const auto& dirent : std::filesystem::directory_iterator(SharedPath("corpus"))) {
    if (dirent.path().filename().string().find("V1997.mdb") == std::string::npos) continue;
    const std::string file_name = dirent.path().filename().string();
    auto image = ReadWholeFile(dirent.path().string());
    ASSERT_TRUE(image.ok());
    auto db = Database::OpenImage(*image);
    ASSERT_TRUE(db.ok()) << file_name;
    ASSERT_EQ((*db)->info().version, JetVersion::kJet3) << file_name;
    PageFile file(*image);
    ASSERT_TRUE(file.SetPageSize(kJet3Format.page_size).ok());
    auto names = (*db)->UserTableNames();
    ASSERT_TRUE(names.ok());
    for (const std::string& name : *names) {
      auto table = (*db)->GetTable(name);
      ASSERT_TRUE(table.ok());
      std::set<uint32_t> done;
      for (const IndexDef& index : table->indexes) {
        if (!done.insert(index.physical_index).second) continue;
        const std::string where = file_name + " " + name + "." + index.name;
        IndexTree tree(file, kJet3Format, *table, index);
        std::vector<IndexEntry> stored;
        ASSERT_TRUE(tree.ReadAll(&stored).ok()) << where;
        std::vector<IndexEntry> shuffled = stored;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        ASSERT_TRUE(file.BeginUnit().ok());
        for (const IndexEntry& e : shuffled)
          ASSERT_TRUE(tree.Remove(e.key, e.row_id()).ok()) << where;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        for (const IndexEntry& e : shuffled)
          ASSERT_TRUE(tree.Insert(e.key, e.row_id()).ok()) << where;
        ASSERT_TRUE(file.CommitUnit().ok());
        std::vector<IndexEntry> again;
        ASSERT_TRUE(tree.ReadAll(&again).ok()) << where;
        ASSERT_EQ(again.size(), stored.size()) << where;
        for (size_t i = 0; i < stored.size(); ++i)
          ASSERT_EQ(again[i].SortBytes(), stored[i].SortBytes()) << where << " entry " << i;
        std::vector<std::string> problems;
        ASSERT_TRUE(tree.Check(&problems).ok()) << where;
        for (const std::string& p : problems) ADD_FAILURE() << where << ": " << p;
        ++indexes;
        entries_total += stored.size();
      }
    }
    auto rebuilt = Database::OpenImage(file.Image());
    ASSERT_TRUE(rebuilt.ok()) << file_name;
    auto problems = (*rebuilt)->Check();
    ASSERT_TRUE(problems.ok()) << file_name;
    for (const std::string& p : *problems) ADD_FAILURE() << file_name << ": " << p;
  }
  std::printf("Jet 3 indexes rebuilt: %zu (%zu entries)\n", indexes, entries_total);
  EXPECT_GT(indexes, 30u);
}

TEST(IndexTreeCheckTest, UniqueEntryCountGoesUpInTheTableDefinition) {
  auto image = ReadWholeFile(SharedPath("fixtures", "tessdata-2009.mdb").string());
  ASSERT_TRUE(image.ok());
  auto db = Database::OpenImage(*image);
  ASSERT_TRUE(db.ok());
  auto table = (*db)->GetTable("EventDates");
  ASSERT_TRUE(table.ok());
  PageFile file(*image);
  ASSERT_TRUE(file.SetPageSize(4096).ok());
  const uint32_t at = kJet4Format.tdef_header_size + kJet4Format.tdef_index_count_entry_size + 4;
  const uint8_t* page = nullptr;
  ASSERT_TRUE(file.GetPage(table->tdef_page, "tdef", &page).ok());
  const uint32_t before = ReadU32(page + at);
  ASSERT_TRUE(file.BeginUnit().ok());
  ASSERT_TRUE(AddToUniqueEntryCount(file, kJet4Format, table->tdef_page, 1, 3).ok());
  EXPECT_EQ(AddToUniqueEntryCount(file, kJet4Format, table->tdef_page, 2, 1).code(),
            StatusCode::kInvalidArgument);  // the table has two physical indexes
  ASSERT_TRUE(file.CommitUnit().ok());
  ASSERT_TRUE(file.GetPage(table->tdef_page, "tdef", &page).ok());
  EXPECT_EQ(ReadU32(page + at), before + 3);
  EXPECT_TRUE(Database::OpenImage(file.Image()).ok());
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, IndexTreeTest,
                         ::testing::Values(
                             // An empty index (an empty leaf root), Access's two-level index of
                             // 15798 entries, and an Access-written corpus index of 512.
                             Target{"fixtures/tessdata-blank.mdb", "EventDates", "EventDate"},
                             Target{"fixtures/tessdata-large.mdb", "EventDates", "EventId"},
                             Target{"corpus/compIndexTestV2000.mdb", "Table1", "CD_AGENTE"},
                             // Access 97: a descending text primary key of 275 rows, and a Long
                             // index of 4; 2 KB pages.
                             Target{"corpus/testIndexCodesV1997.mdb", "Table1_desc", "PrimaryKey"},
                             Target{"corpus/indexTestV1997.mdb", "Table1", "id"}),
                         [](const ::testing::TestParamInfo<Target>& info) {
                           std::string name = info.param.file.substr(info.param.file.find('/') + 1);
                           name = name.substr(0, name.find('.')) + "_" + info.param.index;
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace jet
