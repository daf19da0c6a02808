// Text forms of engine values for `jetdb export` (see format.h for the list).
// Hot path of the export: escaping copies runs of plain bytes in one append,
// numbers go through {fmt}'s shortest round-trip code, and nothing allocates
// beyond the growth of the caller's buffer.
#include "tools/jetdb/format.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

namespace jetdb {
namespace {

constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

constexpr int64_t kSecondsPerDay = 86400;
// OLE day numbers of 0001-01-01 and 9999-12-31; outside them the four-digit
// year of the text form cannot hold the date.
constexpr int64_t kFirstOleDay = -693593;
constexpr int64_t kLastOleDay = 2958465;
// Days from 0000-03-01 (start of the proleptic Gregorian 400-year cycle used
// below) to 1899-12-30, the OLE epoch.
constexpr int64_t kOleEpochFromCycleStart = 693899;

struct CivilDate {
  int64_t year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
};

// Gregorian date of an OLE day number. Counts in 400-year cycles of 146,097
// days that start on 1 March, so that the leap day ends each cycle year.
CivilDate CivilFromOleDay(int64_t ole_day) {
  const int64_t days = ole_day + kOleEpochFromCycleStart;
  const int64_t cycle = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_cycle = days - cycle * 146097;                       // 0..146096
  const int64_t year_of_cycle =
      (day_of_cycle - day_of_cycle / 1460 + day_of_cycle / 36524 - day_of_cycle / 146096) / 365;
  const int64_t day_of_year =
      day_of_cycle - (365 * year_of_cycle + year_of_cycle / 4 - year_of_cycle / 100);  // 0..365
  const int64_t month_from_march = (5 * day_of_year + 2) / 153;                    // 0..11
  const unsigned day = static_cast<unsigned>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  const unsigned month =
      static_cast<unsigned>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
  const int64_t year = year_of_cycle + cycle * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

// Writes value as exactly `width` decimal digits (zero-padded, high digits
// dropped) at dest.
void WriteDigits(char* dest, uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    dest[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

void AppendInteger(int64_t value, std::string* out) {
  const fmt::format_int text(value);
  out->append(text.data(), text.size());
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 if it is not one
// (overlong forms, surrogates and code points past U+10FFFF included).
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  const size_t remaining = text.size() - i;
  const auto continuation = [&](size_t k) { return (byte(k) & 0xC0) == 0x80; };
  if (lead >= 0xC2 && lead <= 0xDF) {
    return remaining >= 2 && continuation(i + 1) ? 2 : 0;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (remaining < 3 || !continuation(i + 1) || !continuation(i + 2)) return 0;
    const unsigned char second = byte(i + 1);
    if (lead == 0xE0 && second < 0xA0) return 0;  // overlong
    if (lead == 0xED && second >= 0xA0) return 0;  // UTF-16 surrogate
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (remaining < 4 || !continuation(i + 1) || !continuation(i + 2) || !continuation(i + 3)) {
      return 0;
    }
    const unsigned char second = byte(i + 1);
    if (lead == 0xF0 && second < 0x90) return 0;  // overlong
    if (lead == 0xF4 && second >= 0x90) return 0;  // past U+10FFFF
    return 4;
  }
  return 0;
}

}  // namespace

bool ParseOutputFormat(std::string_view name, OutputFormat* format) {
  if (name == "jsonl") {
    *format = OutputFormat::kJsonLines;
    return true;
  }
  if (name == "csv") {
    *format = OutputFormat::kCsv;
    return true;
  }
  return false;
}

void AppendJsonString(std::string_view utf8, std::string* out) {
  out->push_back('"');
  size_t run_start = 0;
  size_t i = 0;
  const auto flush_run = [&] { out->append(utf8.data() + run_start, i - run_start); };
  while (i < utf8.size()) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(utf8, i);
      if (length != 0) {
        i += length;
        continue;
      }
      flush_run();
      out->append("\\ufffd");
      run_start = ++i;
      continue;
    }
    flush_run();
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else {
      const char escape[] = {'\\', 'u', '0', '0', kLowerHex[c >> 4], kLowerHex[c & 0x0F]};
      out->append(escape, sizeof escape);
    }
    run_start = ++i;
  }
  flush_run();
  out->push_back('"');
}

void AppendCsvField(std::string_view text, std::string* out) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out->append(text);
    return;
  }
  out->push_back('"');
  size_t start = 0;
  for (size_t quote = text.find('"'); quote != std::string_view::npos;
       quote = text.find('"', start)) {
    out->append(text.data() + start, quote + 1 - start);
    out->push_back('"');
    start = quote + 1;
  }
  out->append(text.data() + start, text.size() - start);
  out->push_back('"');
}

bool AppendDouble(double value, std::string* out) {
  if (!std::isfinite(value)) return false;
  char text[40];  // the longest shortest form, "-2.2250738585072014e-308", is 24
  const auto result = fmt::format_to_n(text, sizeof text, "{}", value);
  out->append(text, std::min(result.size, sizeof text));
  return true;
}

bool AppendSingle(float value, std::string* out) {
  if (!std::isfinite(value)) return false;
  char text[40];
  const auto result = fmt::format_to_n(text, sizeof text, "{}", value);
  out->append(text, std::min(result.size, sizeof text));
  return true;
}

void AppendCurrency(int64_t scaled, std::string* out) {
  // Work on the magnitude as unsigned so that INT64_MIN needs no special case.
  const bool negative = scaled < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  if (negative) out->push_back('-');
  const fmt::format_int whole(magnitude / 10000);
  out->append(whole.data(), whole.size());
  char fraction[5] = {'.'};
  WriteDigits(fraction + 1, magnitude % 10000, 4);
  out->append(fraction, sizeof fraction);
}

bool AppendOleDate(double ole_date, std::string* out) {
  if (!std::isfinite(ole_date)) return false;
  // The integer part names the day whatever the sign; the fraction is always
  // a time of day counted forward from midnight (-1.25 = 1899-12-29 06:00).
  const double whole = std::trunc(ole_date);
  if (whole < static_cast<double>(kFirstOleDay) - 1 || whole > static_cast<double>(kLastOleDay) + 1) {
    return false;
  }
  int64_t day = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(ole_date - whole) * kSecondsPerDay);
  // 0.999999 days rounds to 24:00:00, which is midnight of the next day.
  if (seconds >= kSecondsPerDay) {
    ++day;
    seconds -= kSecondsPerDay;
  }
  if (day < kFirstOleDay || day > kLastOleDay) return false;
  const CivilDate date = CivilFromOleDay(day);
  char text[] = "YYYY-MM-DDTHH:MM:SS";
  WriteDigits(text, static_cast<uint64_t>(date.year), 4);
  WriteDigits(text + 5, date.month, 2);
  WriteDigits(text + 8, date.day, 2);
  WriteDigits(text + 11, static_cast<uint64_t>(seconds / 3600), 2);
  WriteDigits(text + 14, static_cast<uint64_t>(seconds / 60 % 60), 2);
  WriteDigits(text + 17, static_cast<uint64_t>(seconds % 60), 2);
  out->append(text, sizeof text - 1);
  return true;
}

void AppendGuid(const std::array<uint8_t, 16>& stored, std::string* out) {
  // The first three fields are stored little-endian, the last eight bytes
  // in display order.
  static constexpr int kDisplayOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  char text[38];
  int pos = 0;
  text[pos++] = '{';
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text[pos++] = '-';
    const uint8_t b = stored[kDisplayOrder[i]];
    text[pos++] = kUpperHex[b >> 4];
    text[pos++] = kUpperHex[b & 0x0F];
  }
  text[pos++] = '}';
  out->append(text, pos);
}

void AppendHex(std::string_view bytes, std::string* out) {
  const size_t start = out->size();
  out->resize(start + 2 * bytes.size());
  char* dest = out->data() + start;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    *dest++ = kLowerHex[b >> 4];
    *dest++ = kLowerHex[b & 0x0F];
  }
}

RowFormatter::RowFormatter(OutputFormat format, const jet::TableDef& table) : format_(format) {
  keys_.reserve(table.columns.size());
  for (const jet::ColumnDef& column : table.columns) {
    std::string key;
    if (format_ == OutputFormat::kJsonLines) {
      AppendJsonString(column.name, &key);
      key.push_back(':');
    } else {
      AppendCsvField(column.name, &key);
    }
    keys_.push_back(std::move(key));
  }
}

void RowFormatter::AppendHeader(std::string* out) const {
  if (format_ != OutputFormat::kCsv) return;
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (i != 0) out->push_back(',');
    out->append(keys_[i]);
  }
  out->push_back('\n');
}

void RowFormatter::AppendRow(const jet::Row& row, std::string* out) const {
  const size_t count = std::min(keys_.size(), row.values.size());
  if (format_ == OutputFormat::kJsonLines) {
    out->push_back('{');
    for (size_t i = 0; i < count; ++i) {
      if (i != 0) out->push_back(',');
      out->append(keys_[i]);
      AppendJsonValue(row.values[i], out);
    }
    out->append("}\n");
  } else {
    for (size_t i = 0; i < count; ++i) {
      if (i != 0) out->push_back(',');
      AppendCsvValue(row.values[i], out);
    }
    out->push_back('\n');
  }
}

void RowFormatter::AppendJsonValue(const jet::Value& value, std::string* out) const {
  using Kind = jet::Value::Kind;
  switch (value.kind()) {
    case Kind::kNull:
      out->append("null");
      return;
    case Kind::kBoolean:
      out->append(value.boolean() ? "true" : "false");
      return;
    case Kind::kByte:
    case Kind::kInteger:
    case Kind::kLong:
      AppendInteger(value.integer(), out);
      return;
    case Kind::kCurrency:
      out->push_back('"');
      AppendCurrency(value.integer(), out);
      out->push_back('"');
      return;
    case Kind::kSingle:
      if (!AppendSingle(static_cast<float>(value.real()), out)) out->append("null");
      return;
    case Kind::kDouble:
      if (!AppendDouble(value.real(), out)) out->append("null");
      return;
    case Kind::kDateTime: {
      out->push_back('"');
      if (AppendOleDate(value.real(), out)) {
        out->push_back('"');
      } else {
        out->pop_back();
        if (!AppendDouble(value.real(), out)) out->append("null");
      }
      return;
    }
    case Kind::kText:
      AppendJsonString(value.text(), out);
      return;
    case Kind::kBinary:
      out->push_back('"');
      AppendHex(value.binary(), out);
      out->push_back('"');
      return;
    case Kind::kGuid:
      out->push_back('"');
      AppendGuid(value.guid(), out);
      out->push_back('"');
      return;
    case Kind::kDecimal:
      out->push_back('"');
      out->append(value.decimal().ToString());
      out->push_back('"');
      return;
  }
  out->append("null");
}

void RowFormatter::AppendCsvValue(const jet::Value& value, std::string* out) const {
  using Kind = jet::Value::Kind;
  switch (value.kind()) {
    case Kind::kNull:
      return;
    case Kind::kBoolean:
      out->append(value.boolean() ? "true" : "false");
      return;
    case Kind::kByte:
    case Kind::kInteger:
    case Kind::kLong:
      AppendInteger(value.integer(), out);
      return;
    case Kind::kCurrency:
      AppendCurrency(value.integer(), out);
      return;
    case Kind::kSingle:
      AppendSingle(static_cast<float>(value.real()), out);
      return;
    case Kind::kDouble:
      AppendDouble(value.real(), out);
      return;
    case Kind::kDateTime:
      if (!AppendOleDate(value.real(), out)) AppendDouble(value.real(), out);
      return;
    case Kind::kText:
      // An empty text is written as "" so that it stays apart from null.
      if (value.text().empty()) {
        out->append("\"\"");
      } else {
        AppendCsvField(value.text(), out);
      }
      return;
    case Kind::kBinary:
      AppendHex(value.binary(), out);
      return;
    case Kind::kGuid:
      AppendGuid(value.guid(), out);
      return;
    case Kind::kDecimal:
      out->append(value.decimal().ToString());
      return;
  }
}

}  // namespace jetdb
