#include "jet/index/index_key.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "jet/base/value_text.h"
#include "jet/index/text_key.h"

namespace jet {
namespace {

constexpr uint8_t kFlagAscending = 0x7F;
constexpr uint8_t kFlagDescending = 0x80;
constexpr uint8_t kNullAscending = 0x00;
constexpr uint8_t kNullDescending = 0xFF;

bool TypeSupported(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean:
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
    case ColumnType::kCurrency:
    case ColumnType::kSingle:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
    case ColumnType::kText:
    case ColumnType::kMemo:
    case ColumnType::kGuid:
    case ColumnType::kBinary:
    case ColumnType::kNumeric: return true;
    default: return false;
  }
}

bool IsText(ColumnType type) { return type == ColumnType::kText || type == ColumnType::kMemo; }

const ColumnDef* FindByNumber(const TableDef& table, uint16_t column_number, size_t* index) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].column_number == column_number) {
      *index = i;
      return &table.columns[i];
    }
  }
  return nullptr;
}

bool IsIntegerKind(Value::Kind kind) {
  return kind == Value::Kind::kByte || kind == Value::Kind::kInteger ||
         kind == Value::Kind::kLong || kind == Value::Kind::kCurrency ||
         kind == Value::Kind::kBoolean;
}

bool IsRealKind(Value::Kind kind) {
  return kind == Value::Kind::kSingle || kind == Value::Kind::kDouble ||
         kind == Value::Kind::kDateTime;
}

// Appends `bits` big-endian in `size` bytes.
void AppendBigEndian(uint64_t bits, int size, std::string* out) {
  for (int i = size - 1; i >= 0; --i) out->push_back(static_cast<char>(bits >> (8 * i)));
}

// GUID and Binary: 8-byte groups, each followed by a length byte (09 when
// more groups follow, else the count of real bytes; the group is padded with
// zeros). Descending inverts every group but keeps the 09 length bytes.
void AppendBinaryGroups(std::string_view bytes, bool ascending, std::string* out) {
  const uint8_t mask = ascending ? 0x00 : 0xFF;
  size_t pos = 0;
  while (bytes.size() - pos > 8) {
    for (size_t i = 0; i < 8; ++i) out->push_back(static_cast<char>(bytes[pos + i] ^ mask));
    out->push_back(0x09);
    pos += 8;
  }
  const size_t rest = bytes.size() - pos;
  if (rest == 0) return;
  for (size_t i = 0; i < 8; ++i) {
    out->push_back(static_cast<char>((i < rest ? static_cast<uint8_t>(bytes[pos + i]) : 0) ^ mask));
  }
  out->push_back(static_cast<char>(rest ^ mask));
}

using u128 = unsigned __int128;

// The value of a Numeric column as sign and unscaled magnitude at
// `column`'s scale (a value at another scale is rescaled, rounding half away
// from zero). False when it does not fit 128 bits or is not a number.
bool NumericMagnitude(const ColumnDef& column, const Value& value, bool* negative,
                      u128* magnitude) {
  uint32_t scale = 0;
  if (value.kind() == Value::Kind::kDecimal) {
    const Decimal& d = value.decimal();
    *negative = d.negative;
    *magnitude = 0;
    for (uint32_t word : d.magnitude) *magnitude = (*magnitude << 32) | word;
    scale = d.scale;
  } else if (IsIntegerKind(value.kind()) && value.kind() != Value::Kind::kBoolean) {
    const int64_t v = value.integer();
    *negative = v < 0;
    *magnitude = *negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    scale = value.kind() == Value::Kind::kCurrency ? 4 : 0;
  } else {
    return false;
  }
  for (; scale < column.scale; ++scale) {
    if (*magnitude > ~u128{0} / 10) return false;
    *magnitude *= 10;
  }
  for (; scale > column.scale; --scale) {
    const bool round_up = *magnitude % 10 >= 5 && scale == column.scale + 1u;
    *magnitude /= 10;
    if (round_up) ++*magnitude;
  }
  if (*magnitude == 0) *negative = false;
  return true;
}

// Numeric: a sign byte and the magnitude in 16 bytes big-endian, inverted
// so that larger numbers sort later in the index's direction. False when the
// value is not a number that fits.
bool AppendNumericSegment(const ColumnDef& column, const Value& value, bool descending,
                          std::string* key) {
  bool negative = false;
  u128 magnitude = 0;
  if (!NumericMagnitude(column, value, &negative, &magnitude)) return false;
  uint8_t bytes[17];
  bytes[0] = negative ? 0x80 : 0x00;
  for (int i = 0; i < 16; ++i) bytes[1 + i] = static_cast<uint8_t>(magnitude >> (8 * (15 - i)));
  if (negative == !descending) {
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(~b);
  }
  bytes[0] = negative ? 0x00 : 0xFF;
  key->append(reinterpret_cast<const char*>(bytes), sizeof bytes);
  return true;
}

// Boolean: one byte, 00 for true. A null Boolean is stored as false (the
// null-mask bit is the value). False when the value is not a number.
bool AppendBooleanSegment(const Value& value, std::string* key) {
  if (value.is_null()) {
    key->push_back(static_cast<char>(0xFF));
    return true;
  }
  bool truth;
  if (IsIntegerKind(value.kind())) {
    truth = value.integer() != 0;
  } else if (IsRealKind(value.kind())) {
    truth = value.real() != 0;
  } else {
    return false;
  }
  key->push_back(static_cast<char>(truth ? 0x00 : 0xFF));
  return true;
}

// Byte, Integer, Long, Currency: big-endian in the column's size. False when
// the value is not a whole number or out of the column's range.
bool AppendIntegerSegment(const ColumnDef& column, const Value& value, std::string* key) {
  if (!IsIntegerKind(value.kind())) return false;
  int64_t v = value.integer();
  int size = column.type == ColumnType::kByte      ? 1
             : column.type == ColumnType::kInteger ? 2
             : column.type == ColumnType::kLong    ? 4
                                                   : 8;
  if (size < 8) {
    int64_t lo = column.type == ColumnType::kByte ? 0 : -(int64_t{1} << (8 * size - 1));
    int64_t hi = column.type == ColumnType::kByte ? 255 : (int64_t{1} << (8 * size - 1)) - 1;
    if (v < lo || v > hi) return false;
  }
  uint64_t bits = static_cast<uint64_t>(v);
  // Byte is unsigned and kept as it is; signed types flip their sign bit
  // so that negative values sort below positive ones.
  if (column.type != ColumnType::kByte) bits ^= uint64_t{1} << (8 * size - 1);
  AppendBigEndian(bits, size, key);
  return true;
}

// Single, Double, Date/Time: the IEEE bits big-endian, negative numbers
// inverted and positive ones with the sign bit set. False when the value is
// not a number.
bool AppendRealSegment(const ColumnDef& column, const Value& value, std::string* key) {
  double d;
  if (IsRealKind(value.kind())) {
    d = value.real();
  } else if (IsIntegerKind(value.kind())) {
    d = static_cast<double>(value.integer());
  } else {
    return false;
  }
  uint64_t bits;
  int size;
  if (column.type == ColumnType::kSingle) {
    float f = static_cast<float>(d);
    uint32_t b32;
    std::memcpy(&b32, &f, sizeof b32);
    bits = b32;
    size = 4;
  } else {
    std::memcpy(&bits, &d, sizeof bits);
    size = 8;
  }
  const uint64_t sign = uint64_t{1} << (8 * size - 1);
  const uint64_t all = size == 8 ? ~uint64_t{0} : 0xFFFFFFFFu;
  bits = (bits & sign) ? (~bits & all) : (bits ^ sign);
  AppendBigEndian(bits, size, key);
  return true;
}

}  // namespace

bool IndexKeysSupported(const TableDef& table, const IndexDef& index, JetVersion version,
                        std::string* why) {
  for (const IndexColumnDef& ic : index.columns) {
    size_t at = 0;
    const ColumnDef* column = FindByNumber(table, ic.column_number, &at);
    if (column == nullptr) {
      if (why) {
        *why = "index " + index.name + " of table " + table.name + " names column number " +
               std::to_string(ic.column_number) + ", which the table does not have";
      }
      return false;
    }
    if (!TypeSupported(column->type)) {
      if (why) {
        *why = "index " + index.name + " on column " + column->name + " (" +
               ColumnTypeName(column->type) + ") of table " + table.name +
               ": keys of this column type cannot be written";
      }
      return false;
    }
    std::string text_why;
    if (IsText(column->type) && !TextKeySupported(*column, &text_why)) {
      if (why) {
        *why = "index " + index.name + " of table " + table.name + ": " + text_why;
      }
      return false;
    }
    // The General 97 order is one of code page 1252 characters; Access 97
    // gives every text column its code page.
    if (IsText(column->type) && version == JetVersion::kJet3 && column->code_page != 1252) {
      if (why) {
        *why = "index " + index.name + " of table " + table.name + ": column " + column->name +
               " is in code page " + std::to_string(column->code_page) +
               "; Access 97 text keys are only built for code page 1252";
      }
      return false;
    }
    // Only an Access 97 definition gives a text column its own code page.
    if (IsText(column->type) && column->code_page != 0 && version != JetVersion::kJet3) {
      if (why) {
        *why = "index " + index.name + " of table " + table.name + ": column " + column->name +
               " is an Access 97 text column, whose keys follow the General 97 order;"
               " they are built only for an Access 97 file";
      }
      return false;
    }
  }
  return true;
}

bool IndexColumnsAllNull(const TableDef& table, const IndexDef& index,
                         const std::vector<Value>& row_values) {
  for (const IndexColumnDef& ic : index.columns) {
    size_t at = 0;
    const ColumnDef* column = FindByNumber(table, ic.column_number, &at);
    if (column == nullptr || at >= row_values.size()) continue;
    if (column->type == ColumnType::kBoolean || !row_values[at].is_null()) return false;
  }
  return true;
}

namespace {

// One column of a key being built: what its segment and messages need.
struct KeyColumn {
  const TableDef& table;
  const IndexDef& index;
  const ColumnDef& column;
  bool descending;
};

[[gnu::noinline]] Status WrongKind(const KeyColumn& c, const Value& value) {
  return Status::InvalidArgument("index " + c.index.name + " on column " + c.column.name + " (" +
                                 ColumnTypeName(c.column.type) + ") of table " + c.table.name +
                                 ": cannot take " + DescribedValue(value));
}

// Text and Memo: the bytes of the file's collation, in the index's direction.
Status AppendTextSegment(const KeyColumn& c, const Value& value, JetVersion version,
                         std::string* key) {
  if (value.kind() != Value::Kind::kText) return WrongKind(c, value);
  Status s = version == JetVersion::kJet3
                 ? AppendGeneral97TextKeyValue(value.text(), !c.descending, key)
                 : AppendTextKeyValue(value.text(), !c.descending, key);
  if (s.ok()) return s;
  std::string message = "index " + c.index.name + " on column " + c.column.name + " of table " +
                        c.table.name + ": " + s.message();
  return s.code() == StatusCode::kNotSupported ? Status::NotSupported(message)
                                               : Status::InvalidArgument(message);
}

// The bytes of a value that is not null, after its flag byte, in the
// index's direction. A value of a kind the column does not take is
// kInvalidArgument.
Status AppendValueSegment(const KeyColumn& c, const Value& value, JetVersion version,
                          std::string* key) {
  const size_t start = key->size();
  bool fits = false;
  switch (c.column.type) {
    // These segments follow the index's direction themselves.
    case ColumnType::kText:
    case ColumnType::kMemo: return AppendTextSegment(c, value, version, key);
    case ColumnType::kGuid: {
      if (value.kind() != Value::Kind::kGuid) return WrongKind(c, value);
      // The key takes the fields big-endian, as the GUID is written.
      const std::array<uint8_t, 16> bytes = GuidBytesInTextOrder(value.guid());
      AppendBinaryGroups(std::string_view(reinterpret_cast<const char*>(bytes.data()), 16),
                         !c.descending, key);
      return Status::OK();
    }
    case ColumnType::kBinary:
      if (value.kind() != Value::Kind::kBinary) return WrongKind(c, value);
      AppendBinaryGroups(value.binary(), !c.descending, key);
      return Status::OK();
    case ColumnType::kNumeric:
      if (!AppendNumericSegment(c.column, value, c.descending, key)) return WrongKind(c, value);
      return Status::OK();
    // These are written ascending, and inverted for a descending column.
    case ColumnType::kBoolean: fits = AppendBooleanSegment(value, key); break;
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
    case ColumnType::kCurrency: fits = AppendIntegerSegment(c.column, value, key); break;
    case ColumnType::kSingle:
    case ColumnType::kDouble:
    case ColumnType::kDateTime: fits = AppendRealSegment(c.column, value, key); break;
    default: break;
  }
  if (!fits) return WrongKind(c, value);
  if (c.descending) {
    for (size_t i = start; i < key->size(); ++i) (*key)[i] = static_cast<char>(~(*key)[i]);
  }
  return Status::OK();
}

}  // namespace

Status EncodeIndexKey(const TableDef& table, const IndexDef& index,
                      const std::vector<Value>& row_values, std::string* key, JetVersion version) {
  key->clear();
  std::string why;
  if (!IndexKeysSupported(table, index, version, &why)) return Status::NotSupported(why);
  for (const IndexColumnDef& ic : index.columns) {
    size_t at = 0;
    const ColumnDef* column = FindByNumber(table, ic.column_number, &at);
    if (at >= row_values.size()) {
      return Status::InvalidArgument("index " + index.name + " of table " + table.name +
                                     ": the row has no value for column " + column->name);
    }
    const Value& value = row_values[at];
    const bool descending = !ic.ascending;
    if (value.is_null() && column->type != ColumnType::kBoolean) {
      key->push_back(static_cast<char>(descending ? kNullDescending : kNullAscending));
      continue;
    }
    key->push_back(static_cast<char>(descending ? kFlagDescending : kFlagAscending));
    JET_RETURN_IF_ERROR(
        AppendValueSegment(KeyColumn{table, index, *column, descending}, value, version, key));
  }
  return Status::OK();
}

}  // namespace jet
