// Test helpers shared by the engine's write and index tests: opening a copy
// for writing, finding a column, showing key bytes. Used by *_test.cc only.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "jet/database.h"

namespace jet::testing {

// Bytes as "7F 80 00 ...".
inline std::string Hex(const std::string& s) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

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

}  // namespace jet::testing
