// Fuzz target: open an arbitrary byte string as an Access file and read
// everything the engine can reach from it: the catalog, every table
// definition, every row of every table (formatted as `jetdb export` writes
// it) and the structural check. The engine promises a Status for any damage,
// never a crash, a hang or unbounded memory; the sanitizers and libFuzzer's
// time and memory limits hold it to that.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jet/database.h"
#include "tools/jetdb/format.h"

namespace {

// Bounds the work per input, so that a file whose tables legitimately hold
// many rows cannot be mistaken for a hang.
constexpr size_t kMaxRowsPerTable = 100000;

void ReadEverything(jet::Database& db) {
  auto names = db.UserTableNames();
  if (!names.ok()) return;
  for (const std::string& name : *names) {
    auto table = db.GetTable(name);
    if (!table.ok()) continue;
    auto cursor = db.Scan(*table);
    if (!cursor.ok()) continue;
    // Formatting every value as jetdb export does reads each byte of every
    // text and binary value (a bad length or offset shows up here) and puts
    // arbitrary doubles, dates and decimals through the text forms.
    const jetdb::RowFormatter json(jetdb::OutputFormat::kJsonLines, *table);
    const jetdb::RowFormatter csv(jetdb::OutputFormat::kCsv, *table);
    std::string out;
    jet::Row row;
    jet::Status status;
    size_t rows = 0;
    while (rows < kMaxRowsPerTable && (*cursor)->Next(&row, &status)) {
      out.clear();
      json.AppendRow(row, &out);
      csv.AppendRow(row, &out);
      ++rows;
    }
  }
  auto problems = db.Check();
  (void)problems;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto db = jet::Database::OpenImage(std::string(reinterpret_cast<const char*>(data), size));
  if (db.ok()) ReadEverything(**db);
  return 0;
}
