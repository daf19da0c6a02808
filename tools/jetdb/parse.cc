// Reading export text back into values (see parse.h for the forms).
//
// JSON lines are read by a small parser of flat objects rather than a
// general JSON library: it keeps the exact text of every number (so that
// -0, Currency digits and floats read back exactly, not through a double),
// and it unescapes strings straight into one reused buffer.
#include "tools/jetdb/parse.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include <fmt/format.h>

#include "jet/ole_date.h"

namespace jetdb {
namespace {

using jet::ColumnType;
using jet::Status;
using jet::Value;
using Int128 = unsigned __int128;

constexpr int64_t kSecondsPerDay = 86400;
// Values longer than this are cut short in error messages.
constexpr size_t kShownValueBytes = 60;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the well-formed UTF-8 sequence at text[i], 0 if there is none
// (overlong forms, surrogates and code points past U+10FFFF included).
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  const size_t remaining = text.size() - i;
  const auto continuation = [&](size_t k) { return (byte(k) & 0xC0) == 0x80; };
  size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  else return 0;
  if (remaining < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if (!continuation(i + k)) return 0;
  }
  const unsigned char second = byte(i + 1);
  if (lead == 0xE0 && second < 0xA0) return 0;  // overlong
  if (lead == 0xED && second >= 0xA0) return 0;  // UTF-16 surrogate
  if (lead == 0xF0 && second < 0x90) return 0;   // overlong
  if (lead == 0xF4 && second >= 0x90) return 0;  // past U+10FFFF
  return length;
}

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

void AppendUtf8(uint32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// Reads exactly `count` decimal digits at text[pos].
bool ReadFixedDigits(std::string_view text, size_t pos, size_t count, int* value) {
  if (pos + count > text.size()) return false;
  int result = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (!IsDigit(text[i])) return false;
    result = result * 10 + (text[i] - '0');
  }
  *value = result;
  return true;
}

// Exact decimal text "[-]digits[.digits]" scaled by 10^scale. Extra
// fractional digits are allowed only if they are zeros.
enum class DecimalResult { kOk, kSyntax, kTooPrecise, kTooLarge };

DecimalResult ParseScaledDecimal(std::string_view text, unsigned scale, Int128 max_magnitude,
                                 bool* negative, Int128* magnitude) {
  size_t i = 0;
  *negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    *negative = text[i] == '-';
    ++i;
  }
  Int128 value = 0;
  bool any_digit = false;
  bool too_large = false;
  const auto add_digit = [&](char c) {
    const Int128 digit = static_cast<Int128>(c - '0');
    if (value > (max_magnitude - digit) / 10) too_large = true;
    else value = value * 10 + digit;
  };
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    any_digit = true;
    add_digit(text[i]);
  }
  unsigned fraction_digits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      any_digit = true;
      if (fraction_digits < scale) {
        add_digit(text[i]);
        ++fraction_digits;
      } else if (text[i] != '0') {
        return DecimalResult::kTooPrecise;
      }
    }
  }
  if (!any_digit || i != text.size()) return DecimalResult::kSyntax;
  for (; fraction_digits < scale; ++fraction_digits) add_digit('0');
  if (too_large) return DecimalResult::kTooLarge;
  *magnitude = value;
  return DecimalResult::kOk;
}

// "12.5" for a JSON number or string, "\"ab\"" for text, cut at a character
// boundary when long.
std::string Shown(std::string_view text, bool quoted) {
  std::string out;
  if (quoted) out.push_back('"');
  if (text.size() <= kShownValueBytes) {
    out.append(text);
  } else {
    size_t cut = kShownValueBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    out.append(text.substr(0, cut));
    out.append("...");
  }
  if (quoted) out.push_back('"');
  return out;
}

// ---- JSON ----

void SkipJsonSpace(std::string_view text, size_t* pos) {
  while (*pos < text.size() &&
         (text[*pos] == ' ' || text[*pos] == '\t' || text[*pos] == '\r' || text[*pos] == '\n')) {
    ++*pos;
  }
}

// Reads four hex digits at text[pos].
bool ReadHex4(std::string_view text, size_t pos, uint32_t* value) {
  if (pos + 4 > text.size()) return false;
  uint32_t result = 0;
  for (size_t i = pos; i < pos + 4; ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) return false;
    result = result << 4 | static_cast<uint32_t>(digit);
  }
  *value = result;
  return true;
}

// Unescapes the JSON string that starts at text[*pos] (its opening quote)
// into *out and moves *pos past the closing quote. On failure *why says what
// was wrong.
bool ReadJsonString(std::string_view text, size_t* pos, std::string* out, std::string* why) {
  size_t i = *pos + 1;
  size_t run_start = i;
  const auto flush_run = [&] { out->append(text.data() + run_start, i - run_start); };
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"') {
      flush_run();
      *pos = i + 1;
      return true;
    }
    if (c < 0x20) {
      *why = fmt::format("control character 0x{:02x} in a string (it must be escaped)", c);
      return false;
    }
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(text, i);
      if (length == 0) {
        *why = "a string that is not valid UTF-8";
        return false;
      }
      i += length;
      continue;
    }
    if (c != '\\') {
      ++i;
      continue;
    }
    flush_run();
    if (i + 1 >= text.size()) break;
    const char escape = text[i + 1];
    i += 2;
    switch (escape) {
      case '"': out->push_back('"'); break;
      case '\\': out->push_back('\\'); break;
      case '/': out->push_back('/'); break;
      case 'b': out->push_back('\b'); break;
      case 'f': out->push_back('\f'); break;
      case 'n': out->push_back('\n'); break;
      case 'r': out->push_back('\r'); break;
      case 't': out->push_back('\t'); break;
      case 'u': {
        uint32_t unit = 0;
        if (!ReadHex4(text, i, &unit)) {
          *why = "\\u not followed by four hex digits";
          return false;
        }
        i += 4;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          uint32_t low = 0;
          if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u' ||
              !ReadHex4(text, i + 2, &low) || low < 0xDC00 || low > 0xDFFF) {
            *why = fmt::format("\\u{:04x} is half a surrogate pair", unit);
            return false;
          }
          i += 6;
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
          *why = fmt::format("\\u{:04x} is half a surrogate pair", unit);
          return false;
        }
        AppendUtf8(unit, out);
        break;
      }
      default:
        *why = fmt::format("unknown escape \\{}", escape);
        return false;
    }
    run_start = i;
  }
  *why = "a string without its closing quote";
  return false;
}

// The JSON number at text[*pos]: -?(0|[1-9]d*)(.d+)?([eE][+-]?d+)?
bool ReadJsonNumber(std::string_view text, size_t* pos, std::string_view* number) {
  size_t i = *pos;
  const auto digits = [&] {
    const size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i - start;
  };
  if (i < text.size() && text[i] == '-') ++i;
  const size_t int_start = i;
  const size_t int_digits = digits();
  if (int_digits == 0 || (int_digits > 1 && text[int_start] == '0')) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (digits() == 0) return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  *number = text.substr(*pos, i - *pos);
  *pos = i;
  return true;
}

}  // namespace

bool ParseOleDate(std::string_view text, double* ole_date) {
  // YYYY-MM-DD, then optionally T or blank and HH:MM:SS.
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ReadFixedDigits(text, 0, 4, &year) || text.size() < 10 || text[4] != '-' ||
      !ReadFixedDigits(text, 5, 2, &month) || text[7] != '-' || !ReadFixedDigits(text, 8, 2, &day)) {
    return false;
  }
  if (text.size() != 10) {
    if (text.size() != 19 || (text[10] != 'T' && text[10] != ' ') ||
        !ReadFixedDigits(text, 11, 2, &hour) || text[13] != ':' ||
        !ReadFixedDigits(text, 14, 2, &minute) || text[16] != ':' ||
        !ReadFixedDigits(text, 17, 2, &second)) {
      return false;
    }
  }
  if (year < 1 || month < 1 || month > 12 || day < 1 ||
      static_cast<unsigned>(day) > jet::DaysInMonth(year, static_cast<unsigned>(month)) ||
      hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  const int64_t ole_day =
      jet::OleDayFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const double time = static_cast<double>(hour * 3600 + minute * 60 + second) / kSecondsPerDay;
  // Before the epoch the integer part is still the day and the fraction a
  // forward time of day: 1899-12-29 06:00 is -1.25.
  *ole_date = ole_day >= 0 ? static_cast<double>(ole_day) + time : static_cast<double>(ole_day) - time;
  return true;
}

RecordSplitter::RecordSplitter(OutputFormat format, std::string_view input)
    : format_(format), input_(input) {
  if (input_.substr(0, 3) == "\xEF\xBB\xBF") position_ = 3;
}

bool RecordSplitter::Next(std::string_view* record, size_t* line_number) {
  while (position_ < input_.size()) {
    const size_t start = position_;
    const size_t first_line = line_number_;
    size_t end = start;
    if (format_ == OutputFormat::kCsv) {
      // A line end inside quotes belongs to the field. Doubled quotes toggle
      // twice, so counting them is enough.
      bool in_quotes = false;
      while (end < input_.size() && (in_quotes || input_[end] != '\n')) {
        if (input_[end] == '"') in_quotes = !in_quotes;
        if (input_[end] == '\n') ++line_number_;
        ++end;
      }
    } else {
      end = input_.find('\n', start);
      if (end == std::string_view::npos) end = input_.size();
    }
    position_ = end < input_.size() ? end + 1 : end;
    ++line_number_;
    std::string_view text = input_.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (format_ == OutputFormat::kJsonLines &&
        text.find_first_not_of(" \t\r") == std::string_view::npos) {
      continue;
    }
    *record = text;
    *line_number = first_line;
    return true;
  }
  return false;
}

RowParser::RowParser(OutputFormat format, const jet::TableDef& table)
    : format_(format), table_name_(table.name) {
  lookup_.name = table.name;
  for (const jet::ColumnDef& column : table.columns) {
    jet::ColumnDef name_only;
    name_only.name = column.name;
    lookup_.columns.push_back(std::move(name_only));
    columns_.push_back({column.name, column.type, column.precision, column.scale});
  }
}

Status RowParser::ClaimColumn(std::string_view name, size_t* column_index) {
  const jet::ColumnDef* found = lookup_.FindColumn(name);
  if (found == nullptr) {
    return Status::InvalidArgument(
        fmt::format("table {} has no column {}", table_name_, Shown(name, true)));
  }
  *column_index = static_cast<size_t>(found - lookup_.columns.data());
  if (seen_[*column_index] != 0) {
    return Status::InvalidArgument(fmt::format("table {}, column {}: given twice", table_name_,
                                               columns_[*column_index].name));
  }
  seen_[*column_index] = 1;
  return Status::OK();
}

Status RowParser::BadValue(size_t column_index, const Token& token, std::string_view why) const {
  const Column& column = columns_[column_index];
  std::string shown;
  switch (token.kind) {
    case Token::Kind::kNull: shown = "null"; break;
    case Token::Kind::kBoolean: shown = token.boolean ? "true" : "false"; break;
    case Token::Kind::kNumber: shown = Shown(token.text, false); break;
    case Token::Kind::kString:
    case Token::Kind::kCsvText: shown = Shown(token.text, true); break;
  }
  return Status::InvalidArgument(fmt::format("table {}, column {} ({}): {} {}", table_name_,
                                             column.name, jet::ColumnTypeName(column.type), shown,
                                             why));
}

Status RowParser::Convert(size_t column_index, const Token& token, jet::Row* row) {
  const Column& column = columns_[column_index];
  Value& value = row->values[column_index];
  if (token.kind == Token::Kind::kNull) {
    value = Value::Null();
    return Status::OK();
  }
  const std::string_view text = token.text;

  switch (column.type) {
    case ColumnType::kBoolean:
      if (token.kind == Token::Kind::kBoolean) {
        value = Value::Boolean(token.boolean);
      } else if (token.csv() && (text == "true" || text == "false")) {
        value = Value::Boolean(text == "true");
      } else {
        return BadValue(column_index, token, "is not true or false");
      }
      return Status::OK();

    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong: return ConvertInteger(column_index, token, &value);

    case ColumnType::kCurrency:
    case ColumnType::kNumeric: return ConvertDecimal(column_index, token, &value);

    case ColumnType::kSingle:
    case ColumnType::kDouble: return ConvertReal(column_index, token, &value);

    case ColumnType::kDateTime: return ConvertDateTime(column_index, token, &value);

    case ColumnType::kText:
    case ColumnType::kMemo:
      if (!token.textual()) return BadValue(column_index, token, "is not text");
      if (token.csv() && !IsUtf8(text)) return BadValue(column_index, token, "is not valid UTF-8");
      pending_.push_back({column_index, Value::Kind::kText, row->storage.size(), text.size()});
      row->storage.append(text);
      return Status::OK();

    case ColumnType::kBinary:
    case ColumnType::kOle: return ConvertHex(column_index, token, row);

    case ColumnType::kGuid: {
      std::array<uint8_t, 16> guid{};
      if (!token.textual() || !jet::ParseGuidText(text, &guid)) {
        return BadValue(column_index, token,
                        "is not a GUID ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX})");
      }
      value = Value::Guid(guid);
      return Status::OK();
    }
  }
  return BadValue(column_index, token, "cannot be imported: the column's type is not supported");
}

// Byte, Integer and Long: a whole number in the type's range.
Status RowParser::ConvertInteger(size_t column_index, const Token& token, Value* value) const {
  const Column& column = columns_[column_index];
  const std::string_view text = token.text;
  int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (!token.number() || text.empty() || error == std::errc::invalid_argument ||
      end != text.data() + text.size()) {
    return BadValue(column_index, token, "is not a whole number");
  }
  const auto kind = column.type == ColumnType::kByte      ? Value::Kind::kByte
                    : column.type == ColumnType::kInteger ? Value::Kind::kInteger
                                                          : Value::Kind::kLong;
  const int64_t low = kind == Value::Kind::kByte      ? 0
                      : kind == Value::Kind::kInteger ? std::numeric_limits<int16_t>::min()
                                                      : std::numeric_limits<int32_t>::min();
  const int64_t high = kind == Value::Kind::kByte      ? 255
                       : kind == Value::Kind::kInteger ? std::numeric_limits<int16_t>::max()
                                                       : std::numeric_limits<int32_t>::max();
  if (error == std::errc::result_out_of_range || number < low || number > high) {
    return BadValue(column_index, token, fmt::format("is outside {}..{}", low, high));
  }
  *value = Value::Integer(kind, number);
  return Status::OK();
}

// Currency and Numeric: a decimal number with at most the column's digits
// after the point.
Status RowParser::ConvertDecimal(size_t column_index, const Token& token, Value* value) const {
  const Column& column = columns_[column_index];
  const bool currency = column.type == ColumnType::kCurrency;
  if (!token.number() && !token.textual()) {
    return BadValue(column_index, token, "is not a decimal number");
  }
  const unsigned scale = currency ? 4 : column.scale;
  // Currency is a signed 64-bit count of ten-thousandths; Numeric holds at
  // most `precision` digits (a definition without one: the full 128 bits).
  Int128 max_magnitude = ~Int128{0};
  if (currency) {
    max_magnitude = static_cast<Int128>(std::numeric_limits<int64_t>::max()) + 1;
  } else if (column.precision > 0 && column.precision <= 38) {
    max_magnitude = 1;
    for (int i = 0; i < column.precision; ++i) max_magnitude *= 10;
    max_magnitude -= 1;
  }
  bool negative = false;
  Int128 magnitude = 0;
  switch (ParseScaledDecimal(token.text, scale, max_magnitude, &negative, &magnitude)) {
    case DecimalResult::kOk: break;
    case DecimalResult::kSyntax:
      return BadValue(column_index, token, "is not a decimal number");
    case DecimalResult::kTooPrecise:
      return BadValue(column_index, token,
                      fmt::format("has more than {} digits after the point", scale));
    case DecimalResult::kTooLarge:
      return BadValue(column_index, token, "is too large for the column");
  }
  if (magnitude == 0) negative = false;
  if (currency) {
    if (!negative && magnitude > static_cast<Int128>(std::numeric_limits<int64_t>::max())) {
      return BadValue(column_index, token, "is too large for the column");
    }
    const int64_t scaled = negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(magnitude))
                                    : static_cast<int64_t>(magnitude);
    *value = Value::Integer(Value::Kind::kCurrency, scaled);
    return Status::OK();
  }
  jet::Decimal decimal;
  decimal.negative = negative;
  decimal.precision = column.precision;
  decimal.scale = column.scale;
  for (int w = 3; w >= 0; --w) {
    decimal.magnitude[w] = static_cast<uint32_t>(magnitude);
    magnitude >>= 32;
  }
  *value = Value::Dec(decimal);
  return Status::OK();
}

// Single and Double: a finite number the type can hold.
Status RowParser::ConvertReal(size_t column_index, const Token& token, Value* value) const {
  const bool single = columns_[column_index].type == ColumnType::kSingle;
  const std::string_view text = token.text;
  if (!token.number()) return BadValue(column_index, token, "is not a number");
  double number = 0;
  std::from_chars_result result{};
  if (single) {
    float narrow = 0;
    result = std::from_chars(text.data(), text.data() + text.size(), narrow);
    number = narrow;
  } else {
    result = std::from_chars(text.data(), text.data() + text.size(), number);
  }
  if (text.empty() || result.ec == std::errc::invalid_argument ||
      result.ptr != text.data() + text.size() || !std::isfinite(number)) {
    return BadValue(column_index, token, "is not a number");
  }
  if (result.ec == std::errc::result_out_of_range) {
    return BadValue(column_index, token, "is out of range for the column");
  }
  *value = Value::Real(single ? Value::Kind::kSingle : Value::Kind::kDouble, number);
  return Status::OK();
}

// Date/Time: the text export writes, or a day count.
Status RowParser::ConvertDateTime(size_t column_index, const Token& token, Value* value) const {
  const std::string_view text = token.text;
  double ole_date = 0;
  if (token.textual() && ParseOleDate(text, &ole_date)) {
    *value = Value::Real(Value::Kind::kDateTime, ole_date);
    return Status::OK();
  }
  // Export writes a day count only for dates outside the years 1..9999.
  if (token.number()) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), ole_date);
    if (!text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size() &&
        std::isfinite(ole_date)) {
      *value = Value::Real(Value::Kind::kDateTime, ole_date);
      return Status::OK();
    }
  }
  return BadValue(column_index, token, "is not a date and time (YYYY-MM-DDTHH:MM:SS)");
}

// Binary and OLE: hex digits, two a byte, decoded into row->storage.
Status RowParser::ConvertHex(size_t column_index, const Token& token, jet::Row* row) {
  const std::string_view text = token.text;
  if (!token.textual()) return BadValue(column_index, token, "is not a string of hex digits");
  if (text.size() % 2 != 0) {
    return BadValue(column_index, token, "has an odd number of hex digits");
  }
  const size_t offset = row->storage.size();
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) {
      row->storage.resize(offset);
      return BadValue(column_index, token, "is not a string of hex digits");
    }
    row->storage.push_back(static_cast<char>(high << 4 | low));
  }
  pending_.push_back({column_index, Value::Kind::kBinary, offset, text.size() / 2});
  return Status::OK();
}

Status RowParser::ParseRow(std::string_view record, jet::Row* row) {
  row->values.assign(columns_.size(), Value::Null());
  row->storage.clear();
  pending_.clear();
  seen_.assign(columns_.size(), 0);
  Status status = format_ == OutputFormat::kCsv ? ParseCsvRecord(record, row)
                                                : ParseJsonObject(record, row);
  if (!status.ok()) return status;
  named_.assign(columns_.size(), false);
  if (format_ == OutputFormat::kCsv) {
    for (size_t column_index : csv_columns_) named_[column_index] = true;
  } else {
    for (size_t i = 0; i < seen_.size(); ++i) named_[i] = seen_[i] != 0;
  }
  // Storage has stopped growing: the views can be made now.
  for (const PendingBytes& bytes : pending_) {
    row->values[bytes.column_index] =
        Value::Bytes(bytes.kind, std::string_view(row->storage).substr(bytes.offset, bytes.size));
  }
  return Status::OK();
}

Status RowParser::ParseJsonObject(std::string_view record, jet::Row* row) {
  const auto syntax_error = [&](size_t pos, std::string_view why) {
    return Status::InvalidArgument(fmt::format("table {}: not a JSON object of column values: {} at "
                                               "character {}",
                                               table_name_, why, pos + 1));
  };
  size_t pos = 0;
  std::string why;
  SkipJsonSpace(record, &pos);
  if (pos >= record.size() || record[pos] != '{') return syntax_error(pos, "no opening {");
  ++pos;
  SkipJsonSpace(record, &pos);
  if (pos < record.size() && record[pos] == '}') {
    ++pos;
  } else {
    while (true) {
      if (pos >= record.size() || record[pos] != '"') return syntax_error(pos, "no column name");
      scratch_.clear();
      if (!ReadJsonString(record, &pos, &scratch_, &why)) return syntax_error(pos, why);
      size_t column_index = 0;
      JET_RETURN_IF_ERROR(ClaimColumn(scratch_, &column_index));
      SkipJsonSpace(record, &pos);
      if (pos >= record.size() || record[pos] != ':') return syntax_error(pos, "no : after a name");
      ++pos;
      SkipJsonSpace(record, &pos);

      Token token;
      const std::string_view rest = record.substr(std::min(pos, record.size()));
      scratch_.clear();
      if (rest.empty()) {
        return syntax_error(pos, "no value");
      } else if (rest[0] == '"') {
        if (!ReadJsonString(record, &pos, &scratch_, &why)) return syntax_error(pos, why);
        token.kind = Token::Kind::kString;
        token.text = scratch_;
      } else if (rest.substr(0, 4) == "null") {
        pos += 4;
      } else if (rest.substr(0, 4) == "true" || rest.substr(0, 5) == "false") {
        token.kind = Token::Kind::kBoolean;
        token.boolean = rest[0] == 't';
        pos += token.boolean ? 4 : 5;
      } else if (rest[0] == '-' || IsDigit(rest[0])) {
        if (!ReadJsonNumber(record, &pos, &token.text)) return syntax_error(pos, "a malformed number");
        token.kind = Token::Kind::kNumber;
      } else if (rest[0] == '{' || rest[0] == '[') {
        return Status::InvalidArgument(fmt::format(
            "table {}, column {}: an object or array is not a column value", table_name_,
            columns_[column_index].name));
      } else {
        return syntax_error(pos, "a value that is not JSON");
      }
      JET_RETURN_IF_ERROR(Convert(column_index, token, row));

      SkipJsonSpace(record, &pos);
      if (pos < record.size() && record[pos] == ',') {
        ++pos;
        SkipJsonSpace(record, &pos);
        continue;
      }
      if (pos < record.size() && record[pos] == '}') {
        ++pos;
        break;
      }
      return syntax_error(pos, "no , or } after a value");
    }
  }
  SkipJsonSpace(record, &pos);
  if (pos != record.size()) return syntax_error(pos, "text after the closing }");
  return Status::OK();
}

Status RowParser::SplitCsv(std::string_view record) {
  scratch_.clear();
  csv_fields_.clear();
  size_t i = 0;
  while (true) {
    const size_t offset = scratch_.size();
    const size_t field_number = csv_fields_.size() + 1;
    const auto bad_field = [&](std::string_view why) {
      std::string name = fmt::format("field {}", field_number);
      if (field_number <= csv_columns_.size()) {
        name = fmt::format("column {}", columns_[csv_columns_[field_number - 1]].name);
      }
      return Status::InvalidArgument(fmt::format("table {}, {}: {}", table_name_, name, why));
    };
    bool quoted = false;
    if (i < record.size() && record[i] == '"') {
      quoted = true;
      ++i;
      while (true) {
        const size_t quote = record.find('"', i);
        if (quote == std::string_view::npos) return bad_field("a quoted field without its closing quote");
        scratch_.append(record.substr(i, quote - i));
        i = quote + 1;
        if (i < record.size() && record[i] == '"') {
          scratch_.push_back('"');
          ++i;
          continue;
        }
        break;
      }
      if (i < record.size() && record[i] != ',') return bad_field("text after a closing quote");
    } else {
      size_t end = record.find(',', i);
      if (end == std::string_view::npos) end = record.size();
      const std::string_view field = record.substr(i, end - i);
      if (field.find('"') != std::string_view::npos) {
        return bad_field(fmt::format("a quote inside the unquoted field {}", Shown(field, false)));
      }
      scratch_.append(field);
      i = end;
    }
    csv_fields_.push_back({offset, scratch_.size() - offset, quoted});
    if (i >= record.size()) return Status::OK();
    ++i;  // the comma
  }
}

Status RowParser::ReadCsvHeader(std::string_view record) {
  csv_columns_.clear();
  seen_.assign(columns_.size(), 0);
  JET_RETURN_IF_ERROR(SplitCsv(record));
  for (const CsvField& field : csv_fields_) {
    size_t column_index = 0;
    JET_RETURN_IF_ERROR(ClaimColumn(std::string_view(scratch_).substr(field.offset, field.size),
                                    &column_index));
    csv_columns_.push_back(column_index);
  }
  return Status::OK();
}

Status RowParser::ParseCsvRecord(std::string_view record, jet::Row* row) {
  JET_RETURN_IF_ERROR(SplitCsv(record));
  if (csv_fields_.size() != csv_columns_.size()) {
    return Status::InvalidArgument(fmt::format("table {}: {} field{} where the header names {}",
                                               table_name_, csv_fields_.size(),
                                               csv_fields_.size() == 1 ? "" : "s",
                                               csv_columns_.size()));
  }
  for (size_t i = 0; i < csv_fields_.size(); ++i) {
    const CsvField& field = csv_fields_[i];
    Token token;
    if (field.quoted || field.size != 0) {
      token.kind = Token::Kind::kCsvText;
      token.text = std::string_view(scratch_).substr(field.offset, field.size);
    }
    JET_RETURN_IF_ERROR(Convert(csv_columns_[i], token, row));
  }
  return Status::OK();
}

}  // namespace jetdb
