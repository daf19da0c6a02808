// Fuzz target: open an arbitrary byte string as an Access file and read
// everything the engine can reach from it (catalog, every table definition,
// every row of every table, the structural check). The engine promises a
// Status for any damage, never a crash, a hang or unbounded memory; the
// sanitizers and libFuzzer's time and memory limits hold it to that.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jet/database.h"

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
    jet::Row row;
    jet::Status status;
    size_t rows = 0;
    while (rows < kMaxRowsPerTable && (*cursor)->Next(&row, &status)) {
      // Touch every value so that a bad length or offset is read here.
      for (const jet::Value& value : row.values) {
        volatile size_t sink = value.text().size();
        if (!value.text().empty()) sink = static_cast<unsigned char>(value.text().back());
        (void)sink;
      }
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
