// Fuzz target: arbitrary text as SQL statements. Each input is cut at line
// ends into statements; every one is parsed, and all of them run in order on
// one session over a fresh in-memory copy of a small calendar database,
// opened for writing. Parsing, binding, literal conversion, index seeks,
// scans, inserts, updates and the engine's checks must give an OK or an
// error, never a crash or a hang; the sanitizers and libFuzzer's limits
// hold them to that. Without the fixture, statements are only parsed.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "jet/database.h"
#include "sql/parser.h"
#include "sql/session.h"

namespace {

// Bounds the work per input: a few statements, each on a small file.
constexpr size_t kMaxStatements = 16;

const std::string& FixtureImage() {
  static const std::string image = [] {
    std::ifstream in(std::string(TESSALY_SHARED_DIR) + "/fixtures/tessdata-2009.mdb",
                     std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<jet::Database> db;
  if (!FixtureImage().empty()) {
    jet::OpenOptions options;
    options.read_only = false;
    options.sync = false;
    auto opened = jet::Database::OpenImage(FixtureImage(), options);
    if (opened.ok()) db = std::move(*opened);
  }
  std::unique_ptr<sql::Session> session;
  if (db != nullptr) session = std::make_unique<sql::Session>(*db);

  size_t start = 0;
  for (size_t count = 0; count < kMaxStatements && start <= input.size(); ++count) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view text = input.substr(start, end - start);
    start = end + 1;
    sql::Statement statement;
    std::string error;
    (void)sql::Parse(text, &statement, &error);
    if (session != nullptr) {
      sql::Outcome outcome;
      sql::Error failure;
      (void)session->Execute(text, &outcome, &failure);
    }
  }
  if (db != nullptr) (void)db->Close();
  return 0;
}
