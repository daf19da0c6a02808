// Text forms of engine values for `jetdb export` (see format.h for the list).
// Hot path of the export. Every writer here puts its text at a pointer into
// room its caller made (the Put* functions, each with the most bytes it can
// write), so a row costs one capacity check; escaping and text checks look
// at eight bytes at a time and copy runs of plain bytes whole; dates and
// small numbers are written two digits at a time.
#include "tools/jetdb/format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include <fmt/format.h>

#include "jet/ole_date.h"
#include "platform/console.h"
#include "strings/hex.h"
#include "strings/utf8.h"

namespace jetdb {
namespace {

using jet::Value;

constexpr auto& kLowerHex = strings::kLowerHexDigits;

// "00" to "99", two characters each.
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// The longest text of a value that is not text, binary or Numeric, quotes
// included: a GUID in quotes (40); the longest shortest double,
// "-2.2250738585072014e-308", is 24, an integer 20.
constexpr size_t kMaxScalarText = 48;
// Bytes a writer may put past the end of its own text, to be overwritten by
// what follows: every room made for writers holds this much more.
constexpr size_t kSlack = 16;
// Bytes a double or single may take (fmt never needs more than 24).
constexpr size_t kMaxFloatText = 40;
// Bytes of the date form "YYYY-MM-DDTHH:MM:SS".
constexpr size_t kDateText = 19;
// The most any value but text and binary can take, quotes included: a
// Numeric's text has its digits (at most 39, and at least scale + 1 of
// them, the scale being a byte), a point and a sign.
constexpr size_t kMaxValueText = 256 + 4;
static_assert(kMaxValueText >= kMaxScalarText);

// OLE day numbers of 0001-01-01 and 9999-12-31; outside them the four-digit
// year of the text form cannot hold the date.
constexpr int64_t kFirstOleDay = -693593;
constexpr int64_t kLastOleDay = 2958465;
// Writes value (< 100) as two digits at dest.
void PutTwoDigits(char* dest, uint32_t value) { std::memcpy(dest, &kDigitPairs[2 * value], 2); }

// Eight bytes at a time. The checks below set the high bit of each byte of
// their result that needs a closer look. A byte that borrows in the
// subtraction may wrongly set the flags of the bytes above it, but only
// above a byte that is flagged rightly: so the lowest flag is always true,
// and no flag at all means no such byte. Used on little-endian machines,
// where the lowest byte of the word is the first in memory.
constexpr bool kWordScan = std::endian::native == std::endian::little;
constexpr uint64_t kEveryByte = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Flags the bytes equal to `c`.
constexpr uint64_t BytesEqual(uint64_t word, unsigned char c) {
  const uint64_t diff = word ^ (kEveryByte * c);
  return (diff - kEveryByte) & ~diff;
}

// Flags the bytes a JSON string cannot hold as they are: control
// characters, '"', '\\', and every byte of a multi-byte UTF-8 sequence
// (checked one by one).
constexpr uint64_t JsonSpecialBytes(uint64_t word) {
  const uint64_t control = (word - kEveryByte * 0x20) & ~word;
  return (control | BytesEqual(word, '"') | BytesEqual(word, '\\') | word) & kHighBits;
}

// Index of the first flagged byte. REQUIRES: flags != 0.
int FirstFlagged(uint64_t flags) { return std::countr_zero(flags) / 8; }

// Bytes a CSV field must be quoted for.
bool IsCsvSpecial(unsigned char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; }

// ---- Writers. Each returns the end of what it wrote. ----

// Number of decimal digits of value.
int DecimalDigits(uint64_t value) {
  int digits = 1;
  for (;;) {
    if (value < 10) return digits;
    if (value < 100) return digits + 1;
    if (value < 1000) return digits + 2;
    if (value < 10000) return digits + 3;
    value /= 10000;
    digits += 4;
  }
}

// At most 20 bytes.
char* PutUnsigned(char* p, uint64_t value) {
  char* const end = p + DecimalDigits(value);
  char* q = end;
  while (value >= 100) {
    q -= 2;
    PutTwoDigits(q, static_cast<uint32_t>(value % 100));
    value /= 100;
  }
  if (value >= 10) {
    PutTwoDigits(q - 2, static_cast<uint32_t>(value));
  } else {
    q[-1] = static_cast<char>('0' + value);
  }
  return end;
}

char* PutInteger(char* p, int64_t value) {
  // The magnitude as unsigned, so that INT64_MIN needs no special case.
  if (value < 0) {
    *p++ = '-';
    return PutUnsigned(p, 0 - static_cast<uint64_t>(value));
  }
  return PutUnsigned(p, static_cast<uint64_t>(value));
}

// At most kMaxFloatText bytes; nullptr for NaN and infinities.
char* PutDouble(char* p, double value) {
  if (!std::isfinite(value)) return nullptr;
  const auto result = fmt::format_to_n(p, kMaxFloatText, "{}", value);
  return p + std::min<size_t>(result.size, kMaxFloatText);
}

char* PutSingle(char* p, float value) {
  if (!std::isfinite(value)) return nullptr;
  const auto result = fmt::format_to_n(p, kMaxFloatText, "{}", value);
  return p + std::min<size_t>(result.size, kMaxFloatText);
}

// At most 21 bytes.
char* PutCurrency(char* p, int64_t scaled) {
  // Work on the magnitude as unsigned so that INT64_MIN needs no special case.
  const bool negative = scaled < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  if (negative) *p++ = '-';
  p = PutUnsigned(p, magnitude / 10000);
  *p++ = '.';
  const auto fraction = static_cast<uint32_t>(magnitude % 10000);
  PutTwoDigits(p, fraction / 100);
  PutTwoDigits(p + 2, fraction % 100);
  return p + 4;
}

// kDateText bytes; nullptr when the value is not finite or its date falls
// outside the years 1..9999 (see AppendOleDate).
char* PutOleDate(char* p, double ole_date) {
  // The integer part names the day whatever the sign; the fraction is always
  // a time of day counted forward from midnight (-1.25 = 1899-12-29 06:00).
  // Past a day beyond the limits nothing can round back into them (this also
  // turns away NaN and infinities); inside, the conversion truncates.
  if (!(ole_date > static_cast<double>(kFirstOleDay) - 2 &&
        ole_date < static_cast<double>(kLastOleDay) + 2)) {
    return nullptr;
  }
  const jet::OleDateParts parts = jet::SplitOleDate(ole_date);
  const int64_t day = parts.day;
  const uint32_t seconds = parts.seconds;
  if (day < kFirstOleDay || day > kLastOleDay) return nullptr;
  const jet::CivilDate date = jet::CivilFromOleDay(day);
  const auto year = static_cast<uint32_t>(date.year);  // 1..9999
  PutTwoDigits(p, year / 100);
  PutTwoDigits(p + 2, year % 100);
  p[4] = '-';
  PutTwoDigits(p + 5, date.month);
  p[7] = '-';
  PutTwoDigits(p + 8, date.day);
  p[10] = 'T';
  PutTwoDigits(p + 11, seconds / 3600);
  p[13] = ':';
  PutTwoDigits(p + 14, seconds / 60 % 60);
  p[16] = ':';
  PutTwoDigits(p + 17, seconds % 60);
  return p + kDateText;
}

// 2 x bytes.size() bytes.
char* PutHex(char* p, std::string_view bytes) { return strings::PutHex(p, bytes, kLowerHex); }

// At most 6 x utf8.size() + 2 bytes, and it may write up to kSlack bytes
// past its end: a byte becomes at most six (\u00XX, or \ufffd for a byte
// that is not UTF-8).
char* PutJsonString(char* p, std::string_view utf8) {
  *p++ = '"';
  const char* const begin = utf8.data();
  const char* in = begin;
  const char* const end = in + utf8.size();
  while (in != end) {
    if constexpr (kWordScan) {
      // Whole words of plain bytes are copied as they are. The word is
      // stored before it is checked: with eight or more bytes left there is
      // room for it, and only its plain bytes are kept.
      while (end - in >= 8) {
        uint64_t word;
        std::memcpy(&word, in, 8);
        std::memcpy(p, &word, 8);
        const uint64_t special = JsonSpecialBytes(word);
        if (special != 0) {
          const int plain = FirstFlagged(special);
          in += plain;
          p += plain;
          break;
        }
        in += 8;
        p += 8;
      }
      if (end - in < 8 && end - begin >= 8 && in != end) {
        // The last few bytes: the string's last word, less the bytes of it
        // already done. Those may flag a plain byte after them (a borrow),
        // which the byte-by-byte code below then copies as it is.
        const auto done = static_cast<int>(8 - (end - in));
        uint64_t word;
        std::memcpy(&word, end - 8, 8);
        const uint64_t rest = word >> (8 * done);
        std::memcpy(p, &rest, 8);
        const uint64_t special = JsonSpecialBytes(word) & (~uint64_t{0} << (8 * done));
        if (special == 0) {
          p += end - in;
          break;
        }
        const int plain = FirstFlagged(special) - done;
        in += plain;
        p += plain;
      }
      if (in == end) break;
    }
    const auto c = static_cast<unsigned char>(*in);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      *p++ = static_cast<char>(c);
      ++in;
    } else if (c >= 0x80) {
      const size_t length = strings::Utf8SequenceLength(utf8, static_cast<size_t>(in - begin));
      if (length != 0) {
        std::memcpy(p, in, length);
        p += length;
        in += length;
      } else {
        std::memcpy(p, "\\ufffd", 6);
        p += 6;
        ++in;
      }
    } else if (c == '"' || c == '\\') {
      *p++ = '\\';
      *p++ = static_cast<char>(c);
      ++in;
    } else {
      const char escape[] = {'\\', 'u', '0', '0', kLowerHex[c >> 4], kLowerHex[c & 0x0F]};
      std::memcpy(p, escape, sizeof escape);
      p += sizeof escape;
      ++in;
    }
  }
  *p++ = '"';
  return p;
}

// At most 2 x text.size() + 2 bytes.
char* PutCsvField(char* p, std::string_view text) {
  const bool quoted = std::any_of(
      text.begin(), text.end(), [](char c) { return IsCsvSpecial(static_cast<unsigned char>(c)); });
  if (!quoted) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
  }
  *p++ = '"';
  for (const char c : text) {
    *p++ = c;
    if (c == '"') *p++ = '"';
  }
  *p++ = '"';
  return p;
}

// Appends what `put` writes into at most `max_bytes` bytes; false (and
// nothing appended) when it writes nothing (returns nullptr).
template <typename Put>
bool AppendPut(size_t max_bytes, std::string* out, Put put) {
  const size_t old_size = out->size();
  out->resize(old_size + max_bytes);
  char* end = put(out->data() + old_size);
  out->resize(end == nullptr ? old_size : static_cast<size_t>(end - out->data()));
  return end != nullptr;
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
  AppendPut(6 * utf8.size() + 2 + kSlack, out, [&](char* p) { return PutJsonString(p, utf8); });
}

void AppendCsvField(std::string_view text, std::string* out) {
  AppendPut(2 * text.size() + 2, out, [&](char* p) { return PutCsvField(p, text); });
}

bool AppendDouble(double value, std::string* out) {
  return AppendPut(kMaxFloatText, out, [&](char* p) { return PutDouble(p, value); });
}

bool AppendSingle(float value, std::string* out) {
  return AppendPut(kMaxFloatText, out, [&](char* p) { return PutSingle(p, value); });
}

void AppendCurrency(int64_t scaled, std::string* out) {
  AppendPut(kMaxScalarText, out, [&](char* p) { return PutCurrency(p, scaled); });
}

bool AppendOleDate(double ole_date, std::string* out) {
  return AppendPut(kDateText, out, [&](char* p) { return PutOleDate(p, ole_date); });
}

void AppendGuid(const std::array<uint8_t, 16>& stored, std::string* out) {
  AppendPut(kMaxScalarText, out, [&](char* p) { return jet::PutGuidText(p, stored); });
}

void AppendHex(std::string_view bytes, std::string* out) {
  AppendPut(2 * bytes.size(), out, [&](char* p) { return PutHex(p, bytes); });
}

// ---- OutputBuffer ----

void OutputBuffer::Grow(size_t n) { Reserve(std::max(size_ + n, 2 * capacity_)); }

void OutputBuffer::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  std::unique_ptr<char[]> data(new char[capacity]);
  if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
  data_ = std::move(data);
  capacity_ = capacity;
}

void OutputBuffer::Append(std::string_view bytes) {
  char* p = Room(bytes.size());
  if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  Commit(p + bytes.size());
}

// ---- RowFormatter ----

namespace {

// "true" or "false", as JSON and CSV write a Yes/No value.
char* PutBoolean(char* p, bool b) {
  if (b) {
    std::memcpy(p, "true", 4);
    return p + 4;
  }
  std::memcpy(p, "false", 5);
  return p + 5;
}

// Writes one value into room made by RowFormatter::MaxValueText. JSON
// quotes the values it has no literal for and writes null for a missing
// value or a number without a text form; CSV leaves their field empty.
template <OutputFormat kFormat>
char* PutValue(char* p, const Value& value) {
  constexpr bool kJson = kFormat == OutputFormat::kJsonLines;
  const auto quoted = [&p](auto put) {
    if constexpr (kJson) *p++ = '"';
    p = put(p);
    if constexpr (kJson) *p++ = '"';
    return p;
  };
  using Kind = Value::Kind;
  switch (value.kind()) {
    case Kind::kNull: break;
    case Kind::kBoolean: return PutBoolean(p, value.boolean());
    case Kind::kByte:
    case Kind::kInteger:
    case Kind::kLong: return PutInteger(p, value.integer());
    case Kind::kCurrency: return quoted([&](char* q) { return PutCurrency(q, value.integer()); });
    case Kind::kSingle:
      if (char* end = PutSingle(p, static_cast<float>(value.real()))) return end;
      break;
    case Kind::kDouble:
      if (char* end = PutDouble(p, value.real())) return end;
      break;
    case Kind::kDateTime:
      if (char* end = PutOleDate(p + (kJson ? 1 : 0), value.real())) {
        if constexpr (kJson) {
          *p = '"';
          *end++ = '"';
        }
        return end;
      }
      // A date the text form cannot hold keeps its raw day count.
      if (char* end = PutDouble(p, value.real())) return end;
      break;
    case Kind::kText:
      if constexpr (kJson) {
        return PutJsonString(p, value.text());
      } else {
        // An empty text is written as "" so that it stays apart from null.
        if (value.text().empty()) {
          *p++ = '"';
          *p++ = '"';
          return p;
        }
        return PutCsvField(p, value.text());
      }
    case Kind::kBinary: return quoted([&](char* q) { return PutHex(q, value.binary()); });
    case Kind::kGuid: return quoted([&](char* q) { return jet::PutGuidText(q, value.guid()); });
    case Kind::kDecimal: {
      const std::string text = value.decimal().ToString();
      return quoted([&](char* q) {
        std::memcpy(q, text.data(), text.size());
        return q + text.size();
      });
    }
  }
  if constexpr (kJson) {
    std::memcpy(p, "null", 4);
    return p + 4;
  }
  return p;
}

}  // namespace

RowFormatter::RowFormatter(OutputFormat format, const jet::TableDef& table) : format_(format) {
  for (const jet::ColumnDef& column : table.columns) {
    if (format_ == OutputFormat::kJsonLines) {
      std::string key(1, key_spans_.empty() ? '{' : ',');
      AppendJsonString(column.name, &key);
      key.push_back(':');
      key_spans_.push_back(
          {static_cast<uint32_t>(keys_.size()), static_cast<uint32_t>(key.size())});
      keys_size_ += key.size();
      key.resize((key.size() + 15) / 16 * 16);
      keys_.append(key);
    } else {
      std::string name;
      AppendCsvField(column.name, &name);
      names_.push_back(std::move(name));
    }
  }
}

void RowFormatter::AppendHeader(OutputBuffer* out) const {
  std::string header;
  AppendHeader(&header);
  out->Append(header);
}

void RowFormatter::AppendHeader(std::string* out) const {
  if (format_ != OutputFormat::kCsv) return;
  for (size_t i = 0; i < names_.size(); ++i) {
    if (i != 0) out->push_back(',');
    out->append(names_[i]);
  }
  out->append(platform::kLineEnd);
}

void RowFormatter::AppendRow(const jet::Row& row, OutputBuffer* out) const {
  const bool json = format_ == OutputFormat::kJsonLines;
  const size_t count = std::min(json ? key_spans_.size() : names_.size(), row.values.size());
  // Room for the keys (or commas) and the line's ends, every value at the
  // longest a value other than text or binary can be (a Numeric whose scale
  // is damaged included), and the text and binary bytes at their longest.
  size_t value_bytes = 0;
  for (size_t i = 0; i < count; ++i) {
    const Value& value = row.values[i];
    if (value.kind() == Value::Kind::kText || value.kind() == Value::Kind::kBinary) {
      value_bytes += value.binary().size();
    }
  }
  char* p = out->Room(keys_size_ + 2 + platform::kLineEnd.size() + count * kMaxValueText +
                      (json ? 6 : 2) * value_bytes + kSlack);
  if (json) {
    if (count == 0) *p++ = '{';
    for (size_t i = 0; i < count; ++i) {
      // The key in 16-byte blocks: the padding lands where the value goes.
      const Key& key = key_spans_[i];
      for (uint32_t done = 0; done < key.size; done += 16) {
        std::memcpy(p + done, keys_.data() + key.offset + done, 16);
      }
      p = PutValue<OutputFormat::kJsonLines>(p + key.size, row.values[i]);
    }
    *p++ = '}';
  } else {
    for (size_t i = 0; i < count; ++i) {
      if (i != 0) *p++ = ',';
      p = PutValue<OutputFormat::kCsv>(p, row.values[i]);
    }
  }
  for (const char c : platform::kLineEnd) *p++ = c;
  out->Commit(p);
}

void RowFormatter::AppendRow(const jet::Row& row, std::string* out) const {
  OutputBuffer line;
  AppendRow(row, &line);
  out->append(line.view());
}

}  // namespace jetdb
