// Checking values and encoding Jet 3 and Jet 4 rows; see row_writer.h.
#include "jet/rows/row_writer.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "jet/base/coding.h"
#include "jet/base/text.h"
#include "jet/base/text_encode.h"
#include "jet/base/value_text.h"
#include "jet/rows/long_value_writer.h"
#include "jet/rows/row_codec.h"

namespace jet {

namespace {

using u128 = unsigned __int128;

constexpr uint32_t kMaxNumericPrecision = 28;

std::string Where(const TableDef& table, const ColumnDef& column) {
  return "table " + table.name + ", column " + column.name + ": ";
}

Status Refuse(const TableDef& table, const ColumnDef& column, const std::string& what) {
  return Status::InvalidArgument(Where(table, column) + what);
}

// A value longer than its column: Access's error 3163, our detail after it.
Status TooLong(const TableDef& table, const ColumnDef& column, const std::string& what) {
  return Status::Numbered(StatusCode::kInvalidArgument, 3163,
                          "The field is too small to accept the amount of data you attempted to "
                          "add. Try inserting or pasting less data. (" +
                              Where(table, column) + what + ")");
}

Status WrongKind(const TableDef& table, const ColumnDef& column, const Value& value) {
  return Refuse(
      table, column,
      DescribedValue(value) + " cannot be stored in a " + ColumnTypeName(column.type) + " column");
}

Status OutOfRange(const TableDef& table, const ColumnDef& column, const Value& value,
                  const std::string& range) {
  return Refuse(table, column,
                DescribedValue(value) + " is out of range for a " + ColumnTypeName(column.type) +
                    " column (" + range + ")");
}

void PutLe(uint64_t bits, size_t size, std::string* out) {
  out->resize(size);
  for (size_t k = 0; k < size; ++k) (*out)[k] = static_cast<char>(bits >> (8 * k));
}

void PutDouble(double d, std::string* out) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  PutLe(bits, 8, out);
}

void PutSingle(float f, std::string* out) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  PutLe(bits, 4, out);
}

u128 PowerOfTen(uint32_t n) {
  u128 p = 1;
  for (uint32_t k = 0; k < n; ++k) p *= 10;
  return p;
}

// A decimal number as sign, unscaled magnitude and scale.
struct Fixed {
  bool negative = false;
  u128 magnitude = 0;
  uint32_t scale = 0;
};

// Rescales to `scale` (rounding half away from zero when digits go) and
// checks the column's precision. False when out of range.
bool ToColumnScale(Fixed f, const ColumnDef& column, std::string* bytes) {
  uint32_t precision = column.precision;
  if (precision == 0 || precision > kMaxNumericPrecision) precision = kMaxNumericPrecision;
  const uint32_t scale = std::min<uint32_t>(column.scale, precision);
  if (f.scale < scale) {
    const u128 factor = PowerOfTen(scale - f.scale);
    if (f.magnitude > ~static_cast<u128>(0) / factor) return false;
    f.magnitude *= factor;
  } else if (f.scale > scale) {
    const u128 factor = PowerOfTen(std::min<uint32_t>(f.scale - scale, 38));
    const u128 remainder = f.magnitude % factor;
    f.magnitude /= factor;
    if (remainder >= factor - remainder) ++f.magnitude;
  }
  if (f.magnitude >= PowerOfTen(precision)) return false;
  bytes->assign(17, '\0');
  (*bytes)[0] = static_cast<char>(f.negative && f.magnitude != 0 ? 0x80 : 0x00);
  for (int word = 0; word < 4; ++word) {
    auto w = static_cast<uint32_t>(f.magnitude >> (32 * (3 - word)));
    WriteU32(reinterpret_cast<uint8_t*>(bytes->data()) + 1 + 4 * word, w);
  }
  return true;
}

bool IsIntegerKind(Value::Kind kind) {
  return kind == Value::Kind::kByte || kind == Value::Kind::kInteger || kind == Value::Kind::kLong;
}

bool IsRealKind(Value::Kind kind) {
  return kind == Value::Kind::kSingle || kind == Value::Kind::kDouble;
}

// Byte, Integer, Long: a whole number (Currency too when it is one) in range.
Status EncodeWholeNumber(const TableDef& table, const ColumnDef& column, const Value& value,
                         std::string* bytes) {
  const bool integer_kind = IsIntegerKind(value.kind());
  const bool currency_kind = value.kind() == Value::Kind::kCurrency;
  if (!(integer_kind || currency_kind)) return WrongKind(table, column, value);
  // Currency given x 10,000; usable as a whole number when it is one.
  if (!integer_kind && value.integer() % 10000 != 0) {
    return Refuse(table, column,
                  DescribedValue(value) + " is not a whole number, as a " +
                      ColumnTypeName(column.type) + " column needs");
  }
  const int64_t whole_value = integer_kind ? value.integer() : value.integer() / 10000;
  int64_t lo = 0;
  int64_t hi = 255;
  size_t size = 1;
  if (column.type == ColumnType::kInteger) lo = -32768, hi = 32767, size = 2;
  if (column.type == ColumnType::kLong) lo = INT32_MIN, hi = INT32_MAX, size = 4;
  if (whole_value < lo || whole_value > hi) {
    return OutOfRange(table, column, value, std::to_string(lo) + " to " + std::to_string(hi));
  }
  PutLe(static_cast<uint64_t>(whole_value), size, bytes);
  return Status::OK();
}

// Currency: ten-thousandths in 64 bits, from any number.
Status EncodeCurrency(const TableDef& table, const ColumnDef& column, const Value& value,
                      std::string* bytes) {
  int64_t scaled;
  if (IsIntegerKind(value.kind())) {
    constexpr int64_t kLimit = INT64_MAX / 10000;
    if (value.integer() > kLimit || value.integer() < -kLimit) {
      return OutOfRange(table, column, value, "about +/-922 trillion");
    }
    scaled = value.integer() * 10000;
  } else if (value.kind() == Value::Kind::kCurrency) {
    scaled = value.integer();
  } else if (IsRealKind(value.kind())) {
    const double d = std::round(value.real() * 10000);
    if (!(d > -9.2e18 && d < 9.2e18)) {
      return OutOfRange(table, column, value, "about +/-922 trillion");
    }
    scaled = static_cast<int64_t>(d);
  } else {
    return WrongKind(table, column, value);
  }
  PutLe(static_cast<uint64_t>(scaled), 8, bytes);
  return Status::OK();
}

// Single and Double, from any number; a Single only within its range.
Status EncodeReal(const TableDef& table, const ColumnDef& column, const Value& value,
                  std::string* bytes) {
  double d;
  if (IsIntegerKind(value.kind())) {
    d = static_cast<double>(value.integer());
  } else if (value.kind() == Value::Kind::kCurrency) {
    d = static_cast<double>(value.integer()) / 10000;
  } else if (IsRealKind(value.kind())) {
    d = value.real();
  } else {
    return WrongKind(table, column, value);
  }
  if (column.type == ColumnType::kDouble) {
    PutDouble(d, bytes);
    return Status::OK();
  }
  if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) {
    return OutOfRange(table, column, value, "about +/-3.4E38");
  }
  PutSingle(static_cast<float>(d), bytes);
  return Status::OK();
}

// Numeric: a Decimal, whole number or Currency at the column's scale and
// within its precision.
Status EncodeNumeric(const TableDef& table, const ColumnDef& column, const Value& value,
                     std::string* bytes) {
  Fixed f;
  if (value.kind() == Value::Kind::kDecimal) {
    const Decimal& d = value.decimal();
    f.negative = d.negative;
    for (uint32_t word : d.magnitude) f.magnitude = (f.magnitude << 32) | word;
    f.scale = d.scale;
  } else if (IsIntegerKind(value.kind()) || value.kind() == Value::Kind::kCurrency) {
    f.negative = value.integer() < 0;
    f.magnitude = f.negative ? 0 - static_cast<uint64_t>(value.integer())
                             : static_cast<uint64_t>(value.integer());
    f.scale = value.kind() == Value::Kind::kCurrency ? 4 : 0;
  } else {
    return WrongKind(table, column, value);
  }
  if (!ToColumnScale(f, column, bytes)) {
    return OutOfRange(table, column, value,
                      "precision " + std::to_string(column.precision) + ", scale " +
                          std::to_string(column.scale));
  }
  return Status::OK();
}

// Text of a Jet 3 column: bytes in its code page, at most the column's
// length (a Text column's length counts bytes).
Status EncodeCodePageText(const TableDef& table, const ColumnDef& column, const Value& value,
                          TextDecoder& code_pages, std::string* bytes) {
  Status s = code_pages.EncodeCodePageText(column.code_page, value.text(), bytes);
  if (!s.ok()) return Refuse(table, column, s.message());
  const size_t max_bytes = column.type == ColumnType::kText
                               ? (column.length == 0 ? 255 : column.length)
                               : kLongValueLengthMask;
  if (bytes->size() > max_bytes) {
    return TooLong(table, column,
                   "text of " + std::to_string(bytes->size()) +
                       " bytes is longer than the column's " + std::to_string(max_bytes));
  }
  if (column.IsFixed()) bytes->resize(column.length, ' ');  // see EncodeText
  return Status::OK();
}

// Text and Memo: UTF-8 text of at most the column's characters, encoded;
// in a Jet 3 table (`code_pages` set) in the column's code page.
Status EncodeText(const TableDef& table, const ColumnDef& column, const Value& value,
                  TextDecoder* code_pages, std::string* bytes) {
  if (value.kind() != Value::Kind::kText) return WrongKind(table, column, value);
  if (code_pages != nullptr) return EncodeCodePageText(table, column, value, *code_pages, bytes);
  Result<size_t> chars = Jet4TextLength(value.text());
  if (!chars.ok()) return Refuse(table, column, chars.status().message());
  const size_t max_chars = column.type == ColumnType::kText
                               ? (column.length == 0 ? 255 : column.length / 2)
                               : kLongValueLengthMask / 2;
  if (*chars > max_chars) {
    return TooLong(table, column,
                   "text of " + std::to_string(*chars) +
                       " characters is longer than the column's " + std::to_string(max_chars));
  }
  Status s;
  if (column.IsFixed()) {
    // Fixed-length text is padded with spaces to the column's length, as
    // Access pads it ("" too), and stored plain: the padding leaves no room
    // for the compressed form a text beginning with U+FEFF needs.
    if (value.text().starts_with("\xEF\xBB\xBF")) {
      return Refuse(table, column, "a fixed-length text cannot begin with U+FEFF");
    }
    std::string padded(value.text());
    padded.append(max_chars - *chars, ' ');
    s = EncodeJet4Text(padded, false, bytes);
  } else {
    s = EncodeJet4Text(value.text(), (column.ext_flags & 0x01) != 0, bytes);
  }
  return s.ok() ? s : Refuse(table, column, s.message());
}

// Binary and OLE: bytes, at most the column's.
Status EncodeBinary(const TableDef& table, const ColumnDef& column, const Value& value,
                    std::string* bytes) {
  if (value.kind() != Value::Kind::kBinary) return WrongKind(table, column, value);
  const size_t max_bytes = column.type == ColumnType::kBinary
                               ? (column.length == 0 ? 255 : column.length)
                               : kLongValueLengthMask;
  if (value.binary().size() > max_bytes) {
    return TooLong(
        table, column,
        DescribedValue(value) + " is longer than the column's " + std::to_string(max_bytes));
  }
  bytes->assign(value.binary());
  return Status::OK();
}

// The stored bytes of a non-null value (for memo and OLE: the data to store,
// memo text encoded). `code_pages` is set for a Jet 3 table, whose text is
// stored in a code page. The Boolean bit is the caller's business.
Status EncodeValue(const TableDef& table, const ColumnDef& column, const Value& value,
                   TextDecoder* code_pages, std::string* bytes) {
  switch (column.type) {
    case ColumnType::kBoolean:
      if (value.kind() != Value::Kind::kBoolean) return WrongKind(table, column, value);
      bytes->clear();
      return Status::OK();
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong: return EncodeWholeNumber(table, column, value, bytes);
    case ColumnType::kCurrency: return EncodeCurrency(table, column, value, bytes);
    case ColumnType::kSingle:
    case ColumnType::kDouble: return EncodeReal(table, column, value, bytes);
    case ColumnType::kDateTime:
      if (value.kind() != Value::Kind::kDateTime) return WrongKind(table, column, value);
      PutDouble(value.real(), bytes);
      return Status::OK();
    case ColumnType::kGuid:
      if (value.kind() != Value::Kind::kGuid) return WrongKind(table, column, value);
      bytes->assign(reinterpret_cast<const char*>(value.guid().data()), 16);
      return Status::OK();
    case ColumnType::kNumeric: return EncodeNumeric(table, column, value, bytes);
    case ColumnType::kText:
    case ColumnType::kMemo: return EncodeText(table, column, value, code_pages, bytes);
    case ColumnType::kBinary:
    case ColumnType::kOle: return EncodeBinary(table, column, value, bytes);
  }
  return Refuse(table, column,
                "cannot store values in a column of type " + ColumnTypeName(column.type));
}

// A memo or OLE value waiting for its LVAL rows until the row is known to fit.
struct PendingLongValue {
  size_t column_index;
  std::string data;
};

// A row in the making: the fixed part, each variable field, the null mask.
struct RowParts {
  std::string fixed;
  std::vector<std::string> vars;
  std::string mask;
  std::vector<PendingLongValue> pending;
};

// Checks that every column lies inside the table's counts; *fixed_size is
// the end of the last fixed column.
Status CheckColumnPlaces(const TableDef& table, uint32_t* fixed_size) {
  *fixed_size = 0;
  for (const ColumnDef& column : table.columns) {
    if (column.column_number >= table.max_cols) {
      return Status::Corruption("table " + table.name + ": column " + column.name + " has number " +
                                std::to_string(column.column_number) + ", the table only " +
                                std::to_string(table.max_cols));
    }
    if (column.type == ColumnType::kBoolean) continue;
    if (column.IsFixed()) {
      *fixed_size = std::max<uint32_t>(*fixed_size, column.fixed_offset + column.length);
    } else if (column.var_index >= table.num_var_cols) {
      return Status::Corruption("table " + table.name + ": column " + column.name +
                                " has variable slot " + std::to_string(column.var_index) +
                                ", the table only " + std::to_string(table.num_var_cols));
    }
  }
  return Status::OK();
}

// The bytes of field i, stored ones as given, values encoded (a long value
// goes to parts->pending and leaves room for its field); *present is its
// bit of the null mask.
Status FieldBytes(const TableDef& table, size_t i, const FieldInput& input, TextDecoder* code_pages,
                  RowParts* parts, std::string* bytes, bool* present) {
  const ColumnDef& column = table.columns[i];
  if (input.stored != nullptr) {
    *present = input.stored->present;
    *bytes = input.stored->bytes;
    if (column.IsFixed() && column.type != ColumnType::kBoolean && !bytes->empty() &&
        bytes->size() != column.length) {
      return Status::InvalidArgument(Where(table, column) + "stored field of " +
                                     std::to_string(bytes->size()) + " bytes, the column takes " +
                                     std::to_string(column.length));
    }
    return Status::OK();
  }
  const Value& value = input.value;
  if (value.is_null()) {
    *present = false;
    bytes->clear();
    return Status::OK();
  }
  JET_RETURN_IF_ERROR(EncodeValue(table, column, value, code_pages, bytes));
  *present = column.type != ColumnType::kBoolean || value.boolean();
  if (column.IsLongValue()) {
    parts->pending.push_back({i, *bytes});
    bytes->assign(LongValueFieldSize(parts->pending.back().data.size()), '\0');
  }
  return Status::OK();
}

// Sets each field's mask bit and puts its bytes in the fixed part or its
// variable slot.
Status FillFields(const TableDef& table, const std::vector<FieldInput>& fields,
                  TextDecoder* code_pages, RowParts* parts) {
  std::string bytes;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDef& column = table.columns[i];
    bool present;
    JET_RETURN_IF_ERROR(FieldBytes(table, i, fields[i], code_pages, parts, &bytes, &present));
    if (present) {
      parts->mask[column.column_number / 8] = static_cast<char>(
          parts->mask[column.column_number / 8] | (1 << (column.column_number % 8)));
    }
    if (column.type == ColumnType::kBoolean) continue;
    if (column.IsFixed()) {
      if (present && bytes.empty()) {
        return Status::InvalidArgument(Where(table, column) + "stored field has no bytes");
      }
      if (bytes.size() > column.length) {
        return Status::Corruption(Where(table, column) + "the definition gives " +
                                  std::to_string(column.length) + " bytes, the value needs " +
                                  std::to_string(bytes.size()));
      }
      parts->fixed.replace(column.fixed_offset, bytes.size(), bytes);
    } else {
      parts->vars[column.var_index] = bytes;
    }
  }
  return Status::OK();
}

// Writes the pending long values (LVAL rows, or inline without a writer)
// into their fields.
Status WriteLongValues(const TableDef& table, LongValueWriter* long_values, RowParts* parts) {
  for (PendingLongValue& p : parts->pending) {
    const ColumnDef& column = table.columns[p.column_index];
    std::string& field = parts->vars[column.var_index];
    Status s;
    if (long_values != nullptr) {
      s = long_values->Write(column.column_number, p.data, &field);
    } else if (p.data.size() <= kMaxInlineLongValue) {
      EncodeInlineLongValue(p.data, &field);
    } else {
      s = Status::InvalidArgument("no long-value writer for " + std::to_string(p.data.size()) +
                                  " bytes");
    }
    if (s.code() == StatusCode::kInvalidArgument) {
      return Status::InvalidArgument(Where(table, column) + s.message());
    }
    JET_RETURN_IF_ERROR(s);
    if (field.size() != LongValueFieldSize(p.data.size())) {
      return Status::InvalidArgument(Where(table, column) + "long-value field of " +
                                     std::to_string(field.size()) + " bytes, expected " +
                                     std::to_string(LongValueFieldSize(p.data.size())));
    }
  }
  return Status::OK();
}

// Jump entries of a Jet 3 row of `size` bytes: one per 256 bytes past the
// first, counted from the whole row.
uint32_t Jet3JumpCount(uint64_t size) { return static_cast<uint32_t>((size - 1) / 256); }

// The jump entries a Jet 3 row needs when everything else takes `size`
// bytes: they count towards the length they are counted from.
uint32_t Jet3JumpsFor(uint64_t size) {
  uint32_t jumps = 0;
  while (Jet3JumpCount(size + jumps) != jumps) jumps = Jet3JumpCount(size + jumps);
  return jumps;
}

// Jump entries that mark offsets (the others: one dummy at most), or an
// error when the row, its eod at `eod` and its offset table at
// `table_start`, cannot be laid out so.
Result<uint32_t> Jet3RealJumps(const TableDef& table, uint64_t eod, uint64_t table_start,
                               uint64_t size) {
  const uint32_t jumps = Jet3JumpCount(size);
  const uint32_t real = table_start / 256 < jumps ? jumps - 1 : jumps;
  if (eod / 256 > real || table_start / 256 + 1 < jumps) {
    return Status::NotSupported("table " + table.name + ": a row of " + std::to_string(size) +
                                " bytes has no Access 97 layout (its offset table starts at " +
                                std::to_string(table_start) + ")");
  }
  return real;
}

// Appends the Jet 3 variable-column table and the null mask to a row that
// holds everything before them (`offsets`: each var slot's start, then eod),
// so that the row ends up `size` bytes long. From the row's end backwards:
// null mask, n, jump[0..J-1], eod, off[n-1] .. off[0], each offset taken
// modulo 256. jump[k] is the first of off[0..n] (eod last) at or past
// (k + 1) * 256. A reader takes the last jump entry for a dummy when the
// offset table starts below the boundary it would mark; only that entry may
// be a dummy (0xFF). An entry no offset reaches holds n + 1, which no offset
// index matches.
Status AppendJet3VarTable(const TableDef& table, const std::vector<uint32_t>& offsets,
                          const std::string& mask, uint32_t size, std::string* row) {
  const auto n = static_cast<uint32_t>(offsets.size() - 1);
  const uint32_t jumps = Jet3JumpCount(size);
  Result<uint32_t> counted = Jet3RealJumps(table, offsets[n], row->size(), size);
  if (!counted.ok()) return counted.status();
  const uint32_t real = *counted;
  std::vector<uint8_t> jump(jumps, 0xFF);
  for (uint32_t k = 0; k < real; ++k) {
    uint32_t i = 0;
    while (i <= n && offsets[i] < (k + 1) * 256) ++i;
    jump[k] = static_cast<uint8_t>(i);
  }
  for (uint32_t i = n + 1; i-- > 0;) row->push_back(static_cast<char>(offsets[i] & 0xFF));
  for (uint32_t k = jumps; k-- > 0;) row->push_back(static_cast<char>(jump[k]));
  row->push_back(static_cast<char>(n));
  row->append(mask);
  return Status::OK();
}

// The row: column count, fixed part, variable fields, `padding` zero bytes,
// then the offsets of the variable fields (Jet 4: eod and the offsets last
// to first, their count; Jet 3: see AppendJet3VarTable), the null mask. The
// row is `size` bytes long.
Status AssembleRow(const Format& format, const TableDef& table, const RowParts& parts,
                   uint64_t padding, uint64_t size, std::string* row) {
  const uint32_t num_vars = table.num_var_cols;
  auto put_u16 = [row](uint32_t v) {
    row->push_back(static_cast<char>(v & 0xFF));
    row->push_back(static_cast<char>(v >> 8));
  };
  if (format.IsJet3()) {
    row->push_back(static_cast<char>(table.max_cols));
  } else {
    put_u16(table.max_cols);
  }
  row->append(parts.fixed);
  if (num_vars == 0) {
    row->append(padding, '\0');
    row->append(parts.mask);
    return Status::OK();
  }
  std::vector<uint32_t> offsets(num_vars + 1);  // offsets[num_vars] is eod
  for (uint32_t k = 0; k < num_vars; ++k) {
    offsets[k] = static_cast<uint32_t>(row->size());
    row->append(parts.vars[k]);
  }
  offsets[num_vars] = static_cast<uint32_t>(row->size());
  row->append(padding, '\0');
  if (format.IsJet3()) {
    return AppendJet3VarTable(table, offsets, parts.mask, static_cast<uint32_t>(size), row);
  }
  put_u16(offsets[num_vars]);
  for (uint32_t k = num_vars; k-- > 0;) put_u16(offsets[k]);
  put_u16(num_vars);
  row->append(parts.mask);
  return Status::OK();
}

}  // namespace

Status CheckValue(const TableDef& table, const ColumnDef& column, const Value& value,
                  TextDecoder* code_pages) {
  if (value.is_null()) return Status::OK();
  std::string scratch;
  return EncodeValue(table, column, value, code_pages, &scratch);
}

Status EncodeRow(const Format& format, const TableDef& table, const std::vector<FieldInput>& fields,
                 LongValueWriter* long_values, uint32_t min_size, std::string* row,
                 TextDecoder* code_pages) {
  TextDecoder* text = nullptr;
  if (format.IsJet3()) {
    if (code_pages == nullptr) {
      return Status::InvalidArgument("table " + table.name +
                                     ": an Access 97 row needs the file's code pages");
    }
    if (table.max_cols > 0xFF || table.num_var_cols >= 0xFF) {
      return Status::NotSupported("table " + table.name + " has " + std::to_string(table.max_cols) +
                                  " columns, " + std::to_string(table.num_var_cols) +
                                  " of them variable; an Access 97 row holds fewer");
    }
    text = code_pages;
  }
  if (fields.size() != table.columns.size()) {
    return Status::InvalidArgument("table " + table.name + ": " + std::to_string(fields.size()) +
                                   " values given for " + std::to_string(table.columns.size()) +
                                   " columns");
  }
  const uint32_t num_vars = table.num_var_cols;
  const uint32_t mask_size = (table.max_cols + 7u) / 8;
  uint32_t fixed_size = 0;
  JET_RETURN_IF_ERROR(CheckColumnPlaces(table, &fixed_size));

  RowParts parts;
  parts.fixed.assign(fixed_size, '\0');
  parts.vars.resize(num_vars);
  parts.mask.assign(mask_size, '\0');
  JET_RETURN_IF_ERROR(FillFields(table, fields, text, &parts));

  uint64_t var_bytes = 0;
  for (const std::string& v : parts.vars) var_bytes += v.size();
  // Jet 3: one byte each for eod, the offsets and n, and one per jump.
  const uint64_t var_table = num_vars == 0     ? 0
                             : format.IsJet3() ? 1 + num_vars + 1
                                               : 2 + 2ull * num_vars + 2;
  const uint64_t base = format.row_count_size + fixed_size + var_bytes + var_table + mask_size;
  const bool jumps = format.IsJet3() && num_vars > 0;
  uint64_t size = base + (jumps ? Jet3JumpsFor(base) : 0);
  uint64_t padding = 0;
  if (min_size > size) {
    // The padded row's jump entries count from its padded length.
    size = min_size;
    padding = size - base - (jumps ? Jet3JumpCount(size) : 0);
  }
  const uint32_t max_size = format.IsJet3() ? kJet3MaxRowSize : kJet4MaxRowSize;
  if (size > max_size) {
    return Status::InvalidArgument("table " + table.name + ": the row needs " +
                                   std::to_string(size) + " bytes, more than the " +
                                   std::to_string(max_size) + " a row can hold");
  }
  if (jumps) {  // before any long value is written
    const uint64_t eod = format.row_count_size + fixed_size + var_bytes;
    Result<uint32_t> real = Jet3RealJumps(table, eod, eod + padding, size);
    if (!real.ok()) return real.status();
  }
  JET_RETURN_IF_ERROR(WriteLongValues(table, long_values, &parts));

  row->clear();
  row->reserve(size);
  return AssembleRow(format, table, parts, padding, size, row);
}

Status SplitStoredRow(const Format& format, const TableDef& table, const uint8_t* row,
                      uint32_t size, uint32_t page_number, uint32_t slot,
                      std::vector<StoredField>* fields) {
  RowFields parsed;
  JET_RETURN_IF_ERROR(
      ParseRowFields(format, row, size, table.num_var_cols > 0, page_number, slot, &parsed));
  fields->assign(table.columns.size(), StoredField{});
  const uint32_t count_size = format.row_count_size;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDef& column = table.columns[i];
    StoredField& field = (*fields)[i];
    field.present = parsed.IsPresent(column.column_number);
    if (column.type == ColumnType::kBoolean) continue;
    uint32_t start;
    uint32_t end;
    if (column.IsFixed()) {
      start = count_size + column.fixed_offset;
      end = start + column.length;
      if (column.column_number >= parsed.num_cols || end > parsed.fixed_end) {
        if (!field.present) continue;  // the row predates the column
        return Status::Corruption("fixed column " + column.name + " at " + std::to_string(start) +
                                  ".." + std::to_string(end) + " overruns the fixed area (page " +
                                  std::to_string(page_number) + " row " + std::to_string(slot) +
                                  ")");
      }
    } else {
      if (column.var_index >= parsed.var_count) {
        field.present = false;
        continue;
      }
      start = parsed.var_offsets[column.var_index];
      end = parsed.var_offsets[column.var_index + 1];
      if (start < count_size || start > end || end > parsed.var_table_start) {
        return Status::Corruption("variable column " + column.name + " at " +
                                  std::to_string(start) + ".." + std::to_string(end) +
                                  " out of range (page " + std::to_string(page_number) + " row " +
                                  std::to_string(slot) + ")");
      }
    }
    field.bytes.assign(reinterpret_cast<const char*>(row + start), end - start);
  }
  return Status::OK();
}

}  // namespace jet
