// New databases and tables: the empty database against one Access made,
// the calendar tables against the fixture's schema, thousands of rows read
// back by mdbtools, our check and the independent index checker, and every
// refused definition leaving the file as it was.
//
// Where a new empty database differs from emptyJet4.mdb (all else is equal
// byte for byte, page for page):
//   - the creation date, hence the date-keyed password bytes of the header
//     and the dates of the catalog rows;
//   - bytes Access leaves uninitialised: the fixed-offset field of variable
//     columns, the order byte of unused index column slots, bytes 42..45 of
//     physical index descriptors and 32..39 of the table header (we write 0);
//   - index leaves hold the same entries, but ours store the common prefix
//     of the entries once (Access wrote these leaves without one).
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/testing/test_util.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"
#include "support/temp_folder.h"

namespace jet {
namespace {

using tessaly::testing::RunProcess;
using tessaly::testing::SharedFileCopy;
using tessaly::testing::TempFolder;
using testing::FileBytes;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A file's path in a test's folder.
std::string File(const TempFolder& folder, const char* name) {
  return (folder.path() / name).string();
}

std::unique_ptr<Database> MustCreate(const std::string& path,
                                     JetVersion version = JetVersion::kJet4) {
  CreateOptions options;
  options.version = version;
  options.open.sync = false;
  auto db = Database::Create(path, options);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  return db.ok() ? std::move(db).value() : nullptr;
}

// Every row of a table through our reader, one line each; `skip` names
// columns left out (the dates of catalog rows).
std::vector<std::string> RowLines(Database& db, const std::string& table,
                                  const std::vector<std::string>& skip = {}) {
  auto def = db.GetTable(table);
  EXPECT_TRUE(def.ok()) << table;
  auto cursor = db.Scan(*def);
  std::vector<std::string> lines;
  Row row;
  Status s;
  while ((*cursor)->Next(&row, &s)) {
    std::string line = std::to_string(row.page) + "/" + std::to_string(row.slot);
    for (size_t i = 0; i < row.values.size(); ++i) {
      if (std::count(skip.begin(), skip.end(), def->columns[i].name)) continue;
      const Value& v = row.values[i];
      line += " " + def->columns[i].name + "=";
      if (v.is_null()) line += "null";
      else if (v.kind() == Value::Kind::kText || v.kind() == Value::Kind::kBinary) line += v.text();
      else line += std::to_string(v.integer());
    }
    lines.push_back(line);
  }
  EXPECT_TRUE(s.ok()) << s.ToString();
  return lines;
}

// A definition as text: every stored field of columns and indexes.
std::string DefinitionText(const TableDef& t) {
  std::ostringstream out;
  out << t.name << " rows " << t.row_count << " max " << t.max_cols << " var " << t.num_var_cols
      << " owned " << t.owned_map_pointer << " free " << t.free_map_pointer << "\n";
  for (const ColumnDef& c : t.columns) {
    out << " " << c.name << " " << int(c.type) << " #" << c.column_number << " @" << c.position
        << " v" << c.var_index << " f" << (c.IsFixed() ? c.fixed_offset : 0) << " l" << c.length
        << " fl" << int(c.flags) << " x" << int(c.ext_flags) << " s" << c.sort_order << "/"
        << int(c.sort_version) << (c.required ? " required" : "") << "\n";
  }
  for (const IndexDef& i : t.indexes) {
    out << " index " << i.name << " n" << i.index_number << " p" << i.physical_index << " t"
        << int(i.index_type) << " fl" << int(i.flags) << " root " << i.root_page << " map "
        << i.usage_map_pointer << ":";
    for (const IndexColumnDef& c : i.columns)
      out << " " << c.column_name << (c.ascending ? "+" : "-");
    out << "\n";
  }
  return out.str();
}

// Row ids of an index in index order.
std::vector<std::string> IndexOrder(Database& db, const TableDef& t, const IndexDef& index) {
  auto cursor = db.SeekRange(t, index, nullptr, nullptr);
  EXPECT_TRUE(cursor.ok()) << cursor.status().ToString();
  std::vector<std::string> ids;
  Row row;
  Status s;
  while ((*cursor)->Next(&row, &s))
    ids.push_back(std::to_string(row.page) + "/" + std::to_string(row.slot));
  return ids;
}

void ExpectSound(const std::string& path) {
  {
    auto db = Database::Open(path);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    auto problems = (*db)->Check();
    ASSERT_TRUE(problems.ok()) << problems.status().ToString();
    EXPECT_THAT(*problems, IsEmpty());
  }
  if (!tessaly::testing::kLinuxOracles) return;
  auto tables = RunProcess({"mdb-tables", "-S", path});
  EXPECT_EQ(tables.exit_code, 0) << tables.err;
  auto check = tessaly::testing::RunJetcheck(path);
  if (check.java_missing) GTEST_SKIP() << "java is missing: " << check.error;
  EXPECT_TRUE(check.passed()) << check.output << check.error;
}

TEST(CreateTest, AnEmptyDatabaseIsTheOneAccessMakes) {
  const TempFolder tmp("jet_create");
  const std::string path = File(tmp, "empty.mdb");
  ASSERT_NE(MustCreate(path), nullptr);
  SharedFileCopy access("corpus", "emptyJet4.mdb");
  auto ours = Database::Open(path);
  auto theirs = Database::Open(access.path().string());
  ASSERT_TRUE(ours.ok() && theirs.ok());
  EXPECT_EQ((*ours)->info().page_count, (*theirs)->info().page_count);
  EXPECT_EQ((*ours)->info().code_page, 1252);
  EXPECT_EQ((*ours)->info().sort_order, 0x0409);
  EXPECT_FALSE((*ours)->info().has_password);
  for (const char* name : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"}) {
    auto a = (*ours)->GetTable(name);
    auto b = (*theirs)->GetTable(name);
    ASSERT_TRUE(a.ok() && b.ok()) << name;
    EXPECT_EQ(DefinitionText(*a), DefinitionText(*b));
    EXPECT_EQ(RowLines(**ours, name, {"DateCreate", "DateUpdate"}),
              RowLines(**theirs, name, {"DateCreate", "DateUpdate"}));
    for (size_t i = 0; i < a->indexes.size(); ++i) {
      EXPECT_EQ(IndexOrder(**ours, *a, a->indexes[i]), IndexOrder(**theirs, *b, b->indexes[i]))
          << name << "." << a->indexes[i].name;
    }
  }
  auto users = (*ours)->UserTableNames();
  EXPECT_THAT(*users, IsEmpty());
  ExpectSound(path);
}

// Access 97's empty database, against delTestV1997.mdb (made by Access 97,
// which then added objects of its own): the four system tables' definition
// pages are Access's byte for byte but for their row counts and the bytes
// Access leaves uninitialised; the first twenty pages have Access's kinds, and
// the usage-map pages Access's rows; the catalog and access rows are
// Access's first ones.
TEST(CreateTest, AnEmptyAccess97DatabaseIsTheOneAccessMakes) {
  const TempFolder tmp("jet_create");
  const std::string path = File(tmp, "empty97.mdb");
  CreateOptions options;
  options.version = JetVersion::kJet3;
  options.open.sync = false;
  ASSERT_TRUE(Database::Create(path, options).ok());
  SharedFileCopy access("corpus", "delTestV1997.mdb");
  std::string ours = FileBytes(path);
  std::string theirs = FileBytes(access.path().string());
  constexpr size_t kPage = 2048;
  ASSERT_EQ(ours.size(), 20 * kPage);
  // Clears the fields a definition page may differ in.
  auto clear_variable_fields = [](std::string& file, size_t page) {
    auto* d = reinterpret_cast<uint8_t*>(file.data()) + page * kPage;
    std::fill(d + 12, d + 16, 0);  // row count
    const uint32_t real_indexes = d[31];
    const uint32_t columns = d[25];
    for (uint32_t k = 0; k < real_indexes; ++k)
      std::fill(d + 43 + 8 * k + 4, d + 43 + 8 * k + 8, 0);
    uint8_t* column = d + 43 + 8 * real_indexes;
    for (uint32_t c = 0; c < columns; ++c, column += 18) {
      if ((column[13] & 0x01) == 0) std::fill(column + 14, column + 16, 0);  // var: no fixed offset
    }
    uint8_t* names = column;
    for (uint32_t c = 0; c < columns; ++c) names += 1 + names[0];
    for (uint32_t k = 0; k < real_indexes; ++k, names += 39) {
      for (int slot = 0; slot < 10; ++slot) {
        if (names[3 * slot] == 0xFF && names[3 * slot + 1] == 0xFF) names[3 * slot + 2] = 0;
      }
    }
  };
  for (size_t page = 2; page <= 5; ++page) {
    clear_variable_fields(ours, page);
    clear_variable_fields(theirs, page);
    const auto* h = reinterpret_cast<const uint8_t*>(ours.data()) + page * kPage;
    const size_t length = h[8] | h[9] << 8 | h[10] << 16;  // the definition's length
    const std::string a = ours.substr(page * kPage, length),
                      b = theirs.substr(page * kPage, length);
    EXPECT_EQ(std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin(), length)
        << "definition page " << page << " differs at this byte";
  }
  for (size_t page = 0; page < 20; ++page) {
    const size_t at = page * kPage;
    EXPECT_EQ(ours[at], theirs[at]) << "kind of page " << page;
    if (ours[at] == 0x01 && ours.substr(at + 4, 4) == std::string(4, '\0')) {  // a usage-map page
      EXPECT_EQ(ours.substr(at, 10), theirs.substr(at, 10)) << "map page " << page;
    }
  }
  auto db = Database::Open(path);
  auto access_db = Database::Open(access.path().string());
  ASSERT_TRUE(db.ok() && access_db.ok());
  EXPECT_EQ((*db)->info().version, JetVersion::kJet3);
  for (const char* table : {"MSysObjects", "MSysACEs"}) {
    // (Access 97 itself adds its version to MSysDb's properties.)
    const auto mine = RowLines(**db, table, {"DateCreate", "DateUpdate", "LvProp"});
    auto access_rows = RowLines(**access_db, table, {"DateCreate", "DateUpdate", "LvProp"});
    access_rows.resize(
        std::min<size_t>(access_rows.size(), table == std::string("MSysObjects") ? 8 : 11));
    EXPECT_EQ(std::vector<std::string>(mine.begin(), mine.begin() + access_rows.size()),
              access_rows)
        << table;
  }
  ExpectSound(path);
}

TEST(CreateTest, AnExistingFileIsNeverOverwritten) {
  const TempFolder tmp("jet_create");
  const std::string path = File(tmp, "taken.mdb");
  { std::ofstream(path) << "mine"; }
  auto db = Database::Create(path);
  ASSERT_FALSE(db.ok());
  EXPECT_THAT(db.status().message(), HasSubstr("already exists"));
  EXPECT_EQ(FileBytes(path), "mine");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 1);
}

ColumnDesign Col(const char* name, ColumnType type, uint16_t length = 0) {
  ColumnDesign c;
  c.name = name;
  c.type = type;
  c.length = length;
  return c;
}

IndexDesign Key(const char* name, std::vector<IndexColumnDesign> columns, bool primary = false) {
  IndexDesign i;
  i.name = name;
  i.columns = std::move(columns);
  i.primary_key = primary;
  return i;
}

// A user table laid out as Access 97 laid out testV1997.mdb's Table1 (every
// fixed type, two text columns, a primary key and a second index).
TEST(CreateTest, AnAccess97TableHasTheColumnsAndIndexesAccessGaveIt) {
  const TempFolder tmp("jet_create");
  auto db = MustCreate(File(tmp, "table97.mdb"), JetVersion::kJet3);
  ASSERT_NE(db, nullptr);
  TableDesign design{
      "Table1",
      {Col("A", ColumnType::kText, 50), Col("B", ColumnType::kText, 100),
       Col("C", ColumnType::kByte), Col("D", ColumnType::kInteger), Col("E", ColumnType::kLong),
       Col("F", ColumnType::kDouble), Col("G", ColumnType::kDateTime),
       Col("H", ColumnType::kCurrency), Col("I", ColumnType::kBoolean)},
      {Key("B", {{"B"}}), Key("PrimaryKey", {{"A"}}, true)}};
  ASSERT_TRUE(db->CreateTable(design).ok());
  SharedFileCopy access("corpus", "testV1997.mdb");
  auto access_db = Database::Open(access.path().string());
  ASSERT_TRUE(access_db.ok());
  auto ours = db->GetTable("Table1");
  auto theirs = (*access_db)->GetTable("Table1");
  ASSERT_TRUE(ours.ok() && theirs.ok());
  auto layout = [](const TableDef& t) {
    std::string text = DefinitionText(t);
    for (const std::string field : {" rows ", " owned ", " free ", " root ", " map "}) {
      for (size_t at = 0; (at = text.find(field, at)) != std::string::npos; at += field.size()) {
        const size_t end = text.find_first_of(" :\n", at + field.size());
        text.erase(at + field.size(), end - at - field.size());  // where it lives, not what it is
      }
    }
    return text;
  };
  EXPECT_EQ(layout(*ours), layout(*theirs));
  for (size_t i = 0; i < ours->columns.size(); ++i) {
    EXPECT_EQ(ours->columns[i].code_page, theirs->columns[i].code_page) << ours->columns[i].name;
  }
}

// The calendar's tables with the fixture's columns, types and keys.
std::vector<TableDesign> CalendarTables() {
  ColumnDesign event_id = Col("EventID", ColumnType::kLong);
  event_id.autonumber = true;
  ColumnDesign all_day = Col("AllDayEvent", ColumnType::kBoolean);
  ColumnDesign recurring = Col("Recurring", ColumnType::kBoolean);
  all_day.required = recurring.required = true;
  return {
      {"Dates",
       {Col("DateKey", ColumnType::kDateTime), Col("DateColor", ColumnType::kText, 50),
        Col("EventCount", ColumnType::kLong), Col("DateNotes", ColumnType::kMemo),
        Col("DateText", ColumnType::kMemo)},
       {Key("PrimaryKey", {{"DateKey"}}, true)}},
      {"Events",
       {event_id, Col("EventName", ColumnType::kText, 255), all_day,
        Col("StartTime", ColumnType::kDateTime), Col("EndTime", ColumnType::kDateTime),
        Col("EventColor", ColumnType::kText, 50), Col("EventIcon", ColumnType::kText, 50),
        Col("Notes", ColumnType::kMemo), recurring},
       {Key("PrimaryKey", {{"EventID"}}, true)}},
      {"EventDates",
       {Col("EventId", ColumnType::kLong), Col("EventDate", ColumnType::kDateTime)},
       {Key("EventId", {{"EventId"}}), Key("EventDate", {{"EventDate"}})}},
  };
}

// Tests run on both formats: Access 2000 and Access 97 files.
class FormatTest : public ::testing::TestWithParam<JetVersion> {
 protected:
  bool jet3() const { return GetParam() == JetVersion::kJet3; }
};

Value Long(int64_t n) { return Value::Integer(Value::Kind::kLong, n); }
Value Date(double d) { return Value::Real(Value::Kind::kDateTime, d); }
Value Text(const std::string& s) { return Value::Bytes(Value::Kind::kText, s); }

// Access 2000's tables equal the fixture's; Access 97's take the same rows
// (thousands of long values, several index levels).
TEST_P(FormatTest, CalendarTablesMatchTheFixtureAndTakeThousandsOfRows) {
  const TempFolder tmp("jet_create");
  const std::string path = File(tmp, "calendar.mdb");
  auto db = MustCreate(path, GetParam());
  ASSERT_NE(db, nullptr);
  for (const TableDesign& t : CalendarTables()) ASSERT_TRUE(db->CreateTable(t).ok()) << t.name;

  auto dates = db->GetTable("Dates");
  auto events = db->GetTable("Events");
  auto links = db->GetTable("EventDates");
  ASSERT_TRUE(dates.ok() && events.ok() && links.ok());
  EXPECT_TRUE(events->columns[2].required && events->columns[8].required);  // the Required property
  EXPECT_FALSE(events->columns[1].required);
  ASSERT_TRUE(db->Begin().ok());
  const std::string note(3000, 'n');  // 600 of them take the file past 512 pages
  for (int day = 0; day < 3000; ++day) {
    auto r = db->Insert(
        *dates, {Date(40000 + day), Text("Red"), Long(day % 3),
                 day % 5 == 0 ? Text(note) : Value::Null(), Text("Day " + std::to_string(day))});
    ASSERT_TRUE(r.ok()) << r.status().ToString();
  }
  for (int e = 0; e < 2000; ++e) {
    auto r =
        db->Insert(*events, {Value::Null(), Text("Event " + std::to_string(e)),
                             Value::Boolean(e % 2 == 0), Date(40000 + e), Date(40000.5 + e),
                             Value::Null(), Value::Null(), Value::Null(), Value::Boolean(false)});
    ASSERT_TRUE(r.ok()) << r.status().ToString();
    EXPECT_EQ(r->autonumber, e + 1);
    for (int k = 0; k < 2; ++k) {
      ASSERT_TRUE(db->Insert(*links, {Long(e + 1), Date(40000 + e + k)}).ok());
    }
  }
  ASSERT_TRUE(db->Commit().ok());
  auto duplicate =
      db->Insert(*dates, {Date(40000), Value::Null(), Value::Null(), Value::Null(), Value::Null()});
  EXPECT_EQ(duplicate.status().code(), StatusCode::kConstraint);
  ASSERT_TRUE(db->Close().ok());
  if (getenv("KEEP_CALENDAR")) std::filesystem::copy_file(path, getenv("KEEP_CALENDAR"));

  ExpectSound(path);
  if (!tessaly::testing::kLinuxOracles) return;
  auto json = RunProcess({"mdb-json", path, "EventDates"});
  EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 4000);
  if (GetParam() == JetVersion::kJet3) return;
  SharedFileCopy blank("fixtures", "tessdata-blank.mdb");
  EXPECT_EQ(RunProcess({"mdb-schema", path}).out,
            RunProcess({"mdb-schema", blank.path().string()}).out);
}

// Every column type a table can be made with: stored, read back by our
// reader and mdbtools, under unique, descending and multi-column keys.
TEST_P(FormatTest, EveryColumnTypeTakesValuesAndKeys) {
  const TempFolder tmp("jet_create");
  const std::string path = File(tmp, "types.mdb");
  auto db = MustCreate(path, GetParam());
  ColumnDesign counter = Col("Id", ColumnType::kLong);
  counter.autonumber = true;
  ColumnDesign amount = Col("Amount", ColumnType::kNumeric);
  amount.precision = 12;
  amount.scale = 3;
  ColumnDesign must = Col("Must", ColumnType::kInteger);
  must.required = true;
  TableDesign design{
      "All Types",
      {counter, Col("Long", ColumnType::kLong), must, Col("Byte", ColumnType::kByte),
       Col("Money", ColumnType::kCurrency), Col("Single", ColumnType::kSingle),
       Col("Double", ColumnType::kDouble), Col("When", ColumnType::kDateTime),
       Col("Name", ColumnType::kText, 20), Col("Memo", ColumnType::kMemo),
       Col("Flag", ColumnType::kBoolean), Col("Guid", ColumnType::kGuid), amount,
       Col("Raw", ColumnType::kBinary, 8), Col("Blob", ColumnType::kOle)},
      {Key("PrimaryKey", {{"Id"}}, true), Key("NameWhen", {{"Name"}, {"When", false}}),
       Key("ByMoney", {{"Money", false}, {"Byte"}, {"Guid"}}),
       Key("ByAmount", {{"Amount"}, {"Double"}, {"Single"}, {"Raw"}})}};
  design.indexes[1].unique = true;
  if (jet3()) {  // Access 97 has no Decimal type
    design.columns.erase(design.columns.begin() + 12);
    design.indexes[3].columns.erase(design.indexes[3].columns.begin());
  }
  ASSERT_TRUE(db->CreateTable(design).ok());
  auto t = db->GetTable("all types");
  ASSERT_TRUE(t.ok());
  EXPECT_TRUE(t->columns[2].required);
  EXPECT_EQ(t->indexes[0].flags, jet3() ? 0x09 : 0x89);
  EXPECT_EQ(t->indexes[1].flags, jet3() ? 0x01 : 0x81);
  EXPECT_FALSE(t->indexes[1].columns[1].ascending);
  for (int i = 0; i < 600; ++i) {
    Decimal d;
    d.negative = i % 3 == 0;
    d.scale = 3;
    d.precision = 12;
    d.magnitude[3] = static_cast<uint32_t>(i * 1234);
    std::array<uint8_t, 16> guid{};
    guid[0] = static_cast<uint8_t>(i);
    guid[15] = static_cast<uint8_t>(i >> 8);
    const std::string raw = "r" + std::to_string(i);
    const std::string blob(i * 7, 'b');
    const std::string name = "Name " + std::to_string(i % 50), memo(i * 3, 'm');
    std::vector<Value> row = {Value::Null(),
                              Long(-i),
                              Value::Integer(Value::Kind::kInteger, i),
                              Value::Integer(Value::Kind::kByte, i % 256),
                              Value::Integer(Value::Kind::kCurrency, i * 12345),
                              Value::Real(Value::Kind::kSingle, i / 4.0),
                              Value::Real(Value::Kind::kDouble, -i / 3.0),
                              Date(40000 + i / 8.0),  // whole ms: the checker rounds dates
                              Text(name),
                              Text(memo),
                              Value::Boolean(i % 2),
                              Value::Guid(guid),
                              Value::Dec(d),
                              Value::Bytes(Value::Kind::kBinary, raw),
                              Value::Bytes(Value::Kind::kBinary, blob)};
    if (jet3()) row.erase(row.begin() + 12);
    auto r = db->Insert(*t, row);
    ASSERT_TRUE(r.ok()) << i << ": " << r.status().ToString();
  }
  auto refused = db->Insert(*t, std::vector<Value>(t->columns.size(), Value::Null()));
  EXPECT_THAT(refused.status().message(),
              HasSubstr("'All Types.Must' cannot contain a Null value"));
  ASSERT_TRUE(db->Close().ok());
  ExpectSound(path);
  if (!tessaly::testing::kLinuxOracles) return;
  auto json = RunProcess({"mdb-json", path, "All Types"});
  EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 600);
  EXPECT_THAT(json.out, HasSubstr("\"Name\":\"Name 49\""));
  EXPECT_THAT(RunProcess({"mdb-schema", path}).out, HasSubstr("[Must]\t\t\tInteger NOT NULL"));
}

TEST(CreateTest, ManyTablesFillSeveralCatalogPages) {
  const TempFolder tmp("jet_create");
  const std::string path = File(tmp, "many.mdb");
  auto db = MustCreate(path);
  ASSERT_TRUE(db->Begin().ok());
  for (int i = 0; i < 120; ++i) {
    TableDesign t = CalendarTables()[i % 3];
    t.name += std::to_string(i);
    ASSERT_TRUE(db->CreateTable(t).ok()) << t.name;
  }
  ASSERT_TRUE(db->Commit().ok());
  auto events = db->GetTable("Events118");
  ASSERT_TRUE(events.ok());
  EXPECT_TRUE(events->columns[8].required);
  ASSERT_TRUE(db->Insert(*events, {Value::Null(), Text("x"), Value::Boolean(true), Value::Null(),
                                   Value::Null(), Value::Null(), Value::Null(), Value::Null(),
                                   Value::Boolean(false)})
                  .ok());
  ASSERT_TRUE(db->Close().ok());
  ExpectSound(path);
  if (!tessaly::testing::kLinuxOracles) return;
  auto tables = RunProcess({"mdb-tables", "-1", path});
  EXPECT_EQ(std::count(tables.out.begin(), tables.out.end(), '\n'), 120);
}

struct Refusal {
  const char* what;
  std::function<void(TableDesign*)> change;
  const char* message;
};

TEST(CreateTest, RefusedDefinitionsNameTheProblemAndWriteNothing) {
  const Refusal refusals[] = {
      {"taken name", [](TableDesign* t) { t->name = "dates"; }, "table dates already exists"},
      {"system name", [](TableDesign* t) { t->name = "MSysObjects"; }, "already exists"},
      {"text length", [](TableDesign* t) { t->columns[1].length = 256; },
       "column EventName: length 256 is out of range"},
      {"binary length", [](TableDesign* t) { t->columns[1] = Col("Raw", ColumnType::kBinary); },
       "column Raw: length 0"},
      {"unknown type", [](TableDesign* t) { t->columns[1].type = static_cast<ColumnType>(0x0D); },
       "unknown column type Unknown(0x0D)"},
      {"decimal",
       [](TableDesign* t) {
         t->columns[1] = Col("Amount", ColumnType::kNumeric);
         t->columns[1].precision = 29;
       },
       "column Amount: precision 29"},
      {"twice", [](TableDesign* t) { t->columns[2].name = "eventname"; },
       "'eventname' is used twice"},
      {"bad name", [](TableDesign* t) { t->columns[0].name = "a.b"; },
       "column name 'a.b' is not valid"},
      {"key column", [](TableDesign* t) { t->indexes[0].columns[0].column = "Nope"; },
       "index PrimaryKey: no column named 'Nope'"},
      {"memo key", [](TableDesign* t) { t->indexes[0].columns[0].column = "Notes"; },
       "column Notes is a Memo column"},
      {"two keys",
       [](TableDesign* t) { t->indexes.push_back(Key("Other", {{"EventName"}}, true)); },
       "already has a primary key"},
      {"counter", [](TableDesign* t) { t->columns[1].autonumber = true; }, "autonumber"},
      {"too long",
       [](TableDesign* t) {
         for (int i = 0; i < 40; ++i) t->columns.push_back(Col("", ColumnType::kLong));
         for (int i = 0; i < 40; ++i)
           t->columns[9 + i].name = std::string(60, 'a') + std::to_string(i);
       },
       "more than one page"},
  };
  const TempFolder tmp("jet_create");
  const std::string path = File(tmp, "refusals.mdb");
  ASSERT_TRUE(MustCreate(path)->CreateTable(CalendarTables()[0]).ok());
  const std::string before = FileBytes(path);
  OpenOptions writable;
  writable.read_only = false;
  auto db = std::move(Database::Open(path, writable)).value();
  for (const Refusal& r : refusals) {
    TableDesign design = CalendarTables()[1];
    r.change(&design);
    Status s = db->CreateTable(design);
    EXPECT_THAT(s.message(), HasSubstr(r.message)) << r.what;
    EXPECT_FALSE(s.ok()) << r.what;
  }
  EXPECT_THAT(*db->UserTableNames(), ::testing::ElementsAre("Dates"));
  ASSERT_TRUE(db->Close().ok());
  EXPECT_EQ(FileBytes(path), before);
}

TEST_P(FormatTest, AnIndexAddedLaterHoldsEveryRow) {
  const TempFolder tmp("jet_create");
  const std::string path = File(tmp, "index.mdb");
  auto db = MustCreate(path, GetParam());
  ASSERT_TRUE(db->CreateTable(CalendarTables()[0]).ok());
  auto dates = db->GetTable("Dates");
  for (int day = 0; day < 1500; ++day) {
    ASSERT_TRUE(db->Insert(*dates, {Date(40000 + day), Text(day % 2 ? "Red" : "Blue"),
                                    Long(day % 7), Value::Null(), Value::Null()})
                    .ok());
  }
  IndexDesign unique = Key("Count", {{"EventCount", false}});
  unique.unique = true;
  Status s = db->CreateIndex("Dates", unique);
  EXPECT_EQ(s.code(), StatusCode::kConstraint) << s.ToString();
  EXPECT_THAT(s.message(), HasSubstr("index Count"));
  s = db->CreateIndex("Dates", Key("ColorCount", {{"DateColor"}, {"EventCount", false}}));
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_THAT(db->CreateIndex("Dates", Key("colorcount", {{"DateKey"}})).message(),
              HasSubstr("already exists"));

  auto after = db->GetTable("Dates");
  ASSERT_EQ(after->indexes.size(), 2u);
  EXPECT_EQ(IndexOrder(*db, *after, after->indexes[1]).size(), 1500u);
  ASSERT_TRUE(
      db->Insert(*after, {Date(50000), Text("Green"), Long(1), Value::Null(), Value::Null()}).ok());
  KeyBound red{{Text("Red")}, true};
  auto cursor = db->SeekRange(*after, after->indexes[1], &red, &red);
  Row row;
  Status scan;
  int reds = 0;
  int64_t last = 7;
  while ((*cursor)->Next(&row, &scan)) {
    EXPECT_LE(row.values[2].integer(), last);  // descending EventCount within a colour
    last = row.values[2].integer();
    ++reds;
  }
  EXPECT_EQ(reds, 750);
  ASSERT_TRUE(db->Close().ok());
  ExpectSound(path);
}

// On a table Access made: the rewritten definition keeps every column and
// index, and mdbtools, our check and the index checker accept the result.
INSTANTIATE_TEST_SUITE_P(Formats, FormatTest,
                         ::testing::Values(JetVersion::kJet4, JetVersion::kJet3),
                         [](const auto& info) {
                           return info.param == JetVersion::kJet3 ? "Access97" : "Access2000";
                         });

TEST(CreateTest, AnIndexAddedToAnAccessTable) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  const std::string path = copy.path().string();
  const std::string schema = RunProcess({"mdb-schema", path}).out;
  OpenOptions writable;
  writable.read_only = false;
  auto db = std::move(Database::Open(path, writable)).value();
  auto before = db->GetTable("Events");
  ASSERT_TRUE(
      db->CreateIndex("Events", Key("NameStart", {{"EventName"}, {"StartTime", false}})).ok());
  TableDesign links = CalendarTables()[2];
  links.name = "Links";
  Status created = db->CreateTable(links);  // a catalog row among Access's
  ASSERT_TRUE(created.ok()) << created.ToString();
  EXPECT_EQ(db->CreateTable(CalendarTables()[0]).message(), "table Dates already exists");
  auto after = db->GetTable("Events");
  ASSERT_EQ(after->indexes.size(), before->indexes.size() + 1);
  before->indexes.push_back(after->indexes.back());
  EXPECT_EQ(DefinitionText(*after), DefinitionText(*before));
  ASSERT_TRUE(db->Close().ok());
  ExpectSound(path);
  if (!tessaly::testing::kLinuxOracles) return;
  EXPECT_THAT(RunProcess({"mdb-schema", path}).out,
              HasSubstr(schema.substr(0, schema.size() - 1) + "CREATE TABLE [Links]"));
}

// Tables whose columns were deleted keep every stored field of their
// definition (column numbers and positions with gaps) when an index is
// added, in both formats.
TEST(CreateTest, AnIndexAddedToATableWithDeletedColumnsKeepsItsDefinition) {
  for (const char* name : {"delColTestV1997.mdb", "delColTestV2000.mdb"}) {
    SharedFileCopy copy("corpus", name);
    OpenOptions writable;
    writable.read_only = false;
    auto db = std::move(Database::Open(copy.path().string(), writable)).value();
    auto before = db->GetTable("Table1");
    ASSERT_TRUE(before.ok()) << name;
    Status added = db->CreateIndex("Table1", Key("ByData2", {{"data2"}}));
    ASSERT_TRUE(added.ok()) << name << ": " << added.ToString();
    auto after = db->GetTable("Table1");
    before->indexes.push_back(after->indexes.back());
    EXPECT_EQ(DefinitionText(*after), DefinitionText(*before)) << name;
    ASSERT_TRUE(db->Close().ok());
    ExpectSound(copy.path().string());
  }
}

}  // namespace
}  // namespace jet
