#include "support/access97_calendar.h"

#include <vector>

#include "jet/database.h"
#include "sql/ddl.h"
#include "strings/utf8.h"
#include "support/files.h"

namespace tessaly::testing {

namespace {

// The characters code page 1252 has in 0x80..0x9F.
constexpr char32_t kHigh1252[] = {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x017D, 0x2018,
                                  0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC,
                                  0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};

bool In1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return true;
  for (char32_t h : kHigh1252) {
    if (c == h) return true;
  }
  return false;
}

}  // namespace

std::string InCodePage1252(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const size_t start = i;
    if (In1252(strings::NextCodePoint(utf8, &i))) out.append(utf8.substr(start, i - start));
    else out += '?';
  }
  return out;
}

std::string MakeAccess97Calendar(const std::filesystem::path& jet4_calendar,
                                 const std::filesystem::path& target) {
  const std::string schema =
      FileBytes(std::filesystem::path(TESSALY_SOURCE_DIR) / "data" / "calendar-schema.sql");
  if (schema.empty()) return "cannot read data/calendar-schema.sql";
  auto source = jet::Database::Open(jet4_calendar.string());
  if (!source.ok()) return source.status().ToString();
  jet::CreateOptions options;
  options.version = jet::JetVersion::kJet3;
  options.open.sync = false;
  auto db = jet::Database::Create(target.string(), options);
  if (!db.ok()) return db.status().ToString();
  sql::Error error;
  size_t failed = 0;
  if (!sql::RunDdlScript(**db, schema, &error, &failed)) return error.description;
  if (jet::Status s = (*db)->Begin(); !s.ok()) return s.ToString();
  for (const char* name : {"Dates", "Events", "EventDates"}) {
    auto from = (*source)->GetTable(name);
    auto to = (*db)->GetTable(name);
    if (!from.ok() || !to.ok()) return std::string("no table ") + name;
    auto cursor = (*source)->Scan(*from);
    if (!cursor.ok()) return cursor.status().ToString();
    jet::Row row;
    jet::Status scan;
    while ((*cursor)->Next(&row, &scan)) {
      std::vector<std::string> texts(row.values.size());  // values only point at their bytes
      for (size_t i = 0; i < row.values.size(); ++i) {
        if (row.values[i].kind() == jet::Value::Kind::kText) {
          texts[i] = InCodePage1252(row.values[i].text());
          row.values[i] = jet::Value::Bytes(jet::Value::Kind::kText, texts[i]);
        }
      }
      auto inserted = (*db)->Insert(*to, row.values);
      if (!inserted.ok()) return std::string(name) + ": " + inserted.status().ToString();
    }
    if (!scan.ok()) return scan.ToString();
  }
  if (jet::Status s = (*db)->Commit(); !s.ok()) return s.ToString();
  if (jet::Status s = (*db)->Close(); !s.ok()) return s.ToString();
  return "";
}

}  // namespace tessaly::testing
