// Test helpers shared by the engine's write and index tests: opening a copy
// for writing, finding a column, showing key bytes, a file's bytes, a
// table's rows as text. Used by *_test.cc only.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jet/base/value_text.h"
#include "jet/database.h"
#include "strings/hex.h"
#include "support/files.h"

namespace jet::testing {

// Bytes as "7F 80 00 ...".
inline std::string Hex(const std::string& s) { return strings::HexText(s, " "); }

// Opens `path` for writing; null (and a test failure) when it cannot.
// `sync` false skips the syncs that only a power cut would need.
inline std::unique_ptr<Database> OpenForWriting(const std::filesystem::path& path,
                                                bool sync = true) {
  OpenOptions options;
  options.read_only = false;
  options.sync = sync;
  auto db = Database::Open(path.string(), options);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  return db.ok() ? std::move(db).value() : nullptr;
}

// Position of column `name` in TableDef::columns (a test failure when absent).
inline size_t ColumnIndex(const TableDef& t, const std::string& name) {
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i].name == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return 0;
}

// A calendar day for the Dates table: green, no events.
inline std::vector<Value> NewDay(const TableDef& dates, double date) {
  std::vector<Value> values(dates.columns.size());
  values[ColumnIndex(dates, "DateKey")] = Value::Real(Value::Kind::kDateTime, date);
  values[ColumnIndex(dates, "DateColor")] = Value::Bytes(Value::Kind::kText, "Green");
  values[ColumnIndex(dates, "EventCount")] = Value::Integer(Value::Kind::kLong, 0);
  return values;
}

using tessaly::testing::FileBytes;

// Rows of a table as text lines (our own reader), in scan order.
inline std::vector<std::string> Rows(Database& db, const std::string& table) {
  auto def = db.GetTable(table);
  EXPECT_TRUE(def.ok());
  auto cursor = db.Scan(*def);
  EXPECT_TRUE(cursor.ok());
  std::vector<std::string> lines;
  Row row;
  Status s;
  while ((*cursor)->Next(&row, &s)) {
    std::string line;
    for (const Value& v : row.values) {
      switch (v.kind()) {
        case Value::Kind::kNull: line += "null"; break;
        case Value::Kind::kText:
        case Value::Kind::kBinary: line += std::string(v.text()); break;
        case Value::Kind::kSingle:
        case Value::Kind::kDouble:
        case Value::Kind::kDateTime: line += std::to_string(v.real()); break;
        default: line += std::to_string(v.integer());
      }
      line += "|";
    }
    lines.push_back(line);
  }
  EXPECT_TRUE(s.ok()) << s.ToString();
  return lines;
}

// Every user table's rows, each as its values' texts joined by '|', as a
// multiset per table (row order is not compared). *status is set when the
// file cannot be read whole or our check finds a problem in it.
using TableRows = std::map<std::string, std::multiset<std::string>>;
inline TableRows ReadTableRows(const std::filesystem::path& path, Status* status) {
  TableRows rows;
  auto db = Database::Open(path.string());
  auto names = db.ok() ? (*db)->UserTableNames() : Result<std::vector<std::string>>(db.status());
  if (!names.ok()) {
    *status = names.status();
    return rows;
  }
  for (const std::string& name : *names) {
    auto cursor = (*db)->Scan(*(*db)->GetTable(name));
    Row row;
    Status s;
    while ((*cursor)->Next(&row, &s)) {
      std::string line;
      for (const Value& v : row.values) line += ValueText(v) + '|';
      rows[name].insert(line);
    }
    if (!s.ok()) *status = s;
  }
  auto problems = (*db)->Check();
  if (!problems.ok()) *status = problems.status();
  else if (!problems->empty()) *status = Status::Corruption(problems->front());
  return rows;
}

}  // namespace jet::testing
