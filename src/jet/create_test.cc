#include <gtest/gtest.h>
#include <filesystem>
#include "jet/database.h"
namespace jet {
TEST(CreateSmoke, Empty) {
  std::filesystem::remove("/tmp/create_smoke.mdb");
  auto db = Database::Create("/tmp/create_smoke.mdb");
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  auto T = [](const char* n, ColumnType t, uint16_t len = 0) { ColumnSpec c; c.name = n; c.type = t; c.length = len; return c; };
  TableSpec dates{"Dates", {T("DateKey", ColumnType::kDateTime), T("DateColor", ColumnType::kText, 50), T("EventCount", ColumnType::kLong), T("DateNotes", ColumnType::kMemo), T("DateText", ColumnType::kMemo)}, {{"PrimaryKey", {{"DateKey"}}, true}}};
  auto s = (*db)->CreateTable(dates);
  ASSERT_TRUE(s.ok()) << s.ToString();
  auto problems = (*db)->Check();
  ASSERT_TRUE(problems.ok()) << problems.status().ToString();
  for (auto& p : *problems) ADD_FAILURE() << p;
  ASSERT_TRUE((*db)->Close().ok());
}
}
