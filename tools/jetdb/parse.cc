// Reading export text back into values (see parse.h for the forms).
//
// JSON lines are read by a small parser of flat objects rather than a
// general JSON library: it keeps the exact text of every number (so that
// -0, Currency digits and floats read back exactly, not through a double),
// and it unescapes strings straight into one reused buffer. The pieces of
// each text form have a file of their own: json_reader.h, csv_fields.h,
// date_text.h, decimal_text.h.
#include "tools/jetdb/parse.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include <fmt/format.h>

#include "strings/ascii.h"
#include "strings/hex.h"
#include "strings/utf8.h"
#include "tools/jetdb/date_text.h"
#include "tools/jetdb/decimal_text.h"
#include "tools/jetdb/json_reader.h"

namespace jetdb {
namespace {

using jet::ColumnType;
using jet::Status;
using jet::Value;

// Values longer than this are cut short in error messages.
constexpr size_t kShownValueBytes = 60;

// "12.5" for a JSON number or string, "\"ab\"" for text, cut between
// characters when long.
std::string Shown(std::string_view text, bool quoted) {
  const std::string shown = strings::ShortenedText(text, kShownValueBytes);
  return quoted ? "\"" + shown + "\"" : shown;
}

}  // namespace

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
    return Status::InvalidArgument(
        fmt::format("table {}, column {}: given twice", table_name_, columns_[*column_index].name));
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
      if (token.csv() && !strings::IsUtf8(text)) {
        return BadValue(column_index, token, "is not valid UTF-8");
      }
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
  UInt128 max_magnitude = ~UInt128{0};
  if (currency) {
    max_magnitude = static_cast<UInt128>(std::numeric_limits<int64_t>::max()) + 1;
  } else if (column.precision > 0 && column.precision <= 38) {
    max_magnitude = 1;
    for (int i = 0; i < column.precision; ++i) max_magnitude *= 10;
    max_magnitude -= 1;
  }
  bool negative = false;
  UInt128 magnitude = 0;
  switch (ParseExactDecimal(token.text, scale, max_magnitude, &negative, &magnitude)) {
    case DecimalResult::kOk: break;
    case DecimalResult::kSyntax: return BadValue(column_index, token, "is not a decimal number");
    case DecimalResult::kTooPrecise:
      return BadValue(column_index, token,
                      fmt::format("has more than {} digits after the point", scale));
    case DecimalResult::kTooLarge:
      return BadValue(column_index, token, "is too large for the column");
  }
  if (magnitude == 0) negative = false;
  if (currency) {
    if (!negative && magnitude > static_cast<UInt128>(std::numeric_limits<int64_t>::max())) {
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
    const int high = strings::HexDigitValue(text[i]);
    const int low = strings::HexDigitValue(text[i + 1]);
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
  Status status =
      format_ == OutputFormat::kCsv ? ParseCsvRecord(record, row) : ParseJsonObject(record, row);
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
    return Status::InvalidArgument(
        fmt::format("table {}: not a JSON object of column values: {} at "
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
      } else if (rest[0] == '-' || strings::IsAsciiDigit(rest[0])) {
        if (!ReadJsonNumber(record, &pos, &token.text))
          return syntax_error(pos, "a malformed number");
        token.kind = Token::Kind::kNumber;
      } else if (rest[0] == '{' || rest[0] == '[') {
        return Status::InvalidArgument(
            fmt::format("table {}, column {}: an object or array is not a column value",
                        table_name_, columns_[column_index].name));
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
  std::string why;
  if (SplitCsvRecord(record, &scratch_, &csv_fields_, &why)) return Status::OK();
  const size_t field_number = csv_fields_.size() + 1;
  std::string name = fmt::format("field {}", field_number);
  if (field_number <= csv_columns_.size()) {
    name = fmt::format("column {}", columns_[csv_columns_[field_number - 1]].name);
  }
  return Status::InvalidArgument(fmt::format("table {}, {}: {}", table_name_, name, why));
}

Status RowParser::ReadCsvHeader(std::string_view record) {
  csv_columns_.clear();
  seen_.assign(columns_.size(), 0);
  JET_RETURN_IF_ERROR(SplitCsv(record));
  for (const CsvField& field : csv_fields_) {
    size_t column_index = 0;
    JET_RETURN_IF_ERROR(
        ClaimColumn(std::string_view(scratch_).substr(field.offset, field.size), &column_index));
    csv_columns_.push_back(column_index);
  }
  return Status::OK();
}

Status RowParser::ParseCsvRecord(std::string_view record, jet::Row* row) {
  JET_RETURN_IF_ERROR(SplitCsv(record));
  if (csv_fields_.size() != csv_columns_.size()) {
    return Status::InvalidArgument(
        fmt::format("table {}: {} field{} where the header names {}", table_name_,
                    csv_fields_.size(), csv_fields_.size() == 1 ? "" : "s", csv_columns_.size()));
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
