// Splitting CSV records; see csv_fields.h.
#include "tools/jetdb/csv_fields.h"

#include <fmt/format.h>

#include "strings/utf8.h"

namespace jetdb {
namespace {

// Values longer than this are cut short in error messages.
constexpr size_t kShownValueBytes = 60;

}  // namespace

bool SplitCsvRecord(std::string_view record, std::string* text, std::vector<CsvField>* fields,
                    std::string* why) {
  text->clear();
  fields->clear();
  size_t i = 0;
  while (true) {
    const size_t offset = text->size();
    bool quoted = false;
    if (i < record.size() && record[i] == '"') {
      quoted = true;
      ++i;
      while (true) {
        const size_t quote = record.find('"', i);
        if (quote == std::string_view::npos) {
          *why = "a quoted field without its closing quote";
          return false;
        }
        text->append(record.substr(i, quote - i));
        i = quote + 1;
        if (i < record.size() && record[i] == '"') {
          text->push_back('"');
          ++i;
          continue;
        }
        break;
      }
      if (i < record.size() && record[i] != ',') {
        *why = "text after a closing quote";
        return false;
      }
    } else {
      size_t end = record.find(',', i);
      if (end == std::string_view::npos) end = record.size();
      const std::string_view field = record.substr(i, end - i);
      if (field.find('"') != std::string_view::npos) {
        *why = fmt::format("a quote inside the unquoted field {}",
                           strings::ShortenedText(field, kShownValueBytes));
        return false;
      }
      text->append(field);
      i = end;
    }
    fields->push_back({offset, text->size() - offset, quoted});
    if (i >= record.size()) return true;
    ++i;  // the comma
  }
}

}  // namespace jetdb
