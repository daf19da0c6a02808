// The engine's value types; see types.h.
#include "jet/types.h"

#include <algorithm>

#include "jet/names.h"

namespace jet {

std::string ColumnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean: return "Boolean";
    case ColumnType::kByte: return "Byte";
    case ColumnType::kInteger: return "Integer";
    case ColumnType::kLong: return "Long";
    case ColumnType::kCurrency: return "Currency";
    case ColumnType::kSingle: return "Single";
    case ColumnType::kDouble: return "Double";
    case ColumnType::kDateTime: return "DateTime";
    case ColumnType::kBinary: return "Binary";
    case ColumnType::kText: return "Text";
    case ColumnType::kOle: return "OLE";
    case ColumnType::kMemo: return "Memo";
    case ColumnType::kGuid: return "GUID";
    case ColumnType::kNumeric: return "Numeric";
  }
  static const char kHex[] = "0123456789ABCDEF";
  auto code = static_cast<uint8_t>(type);
  return std::string("Unknown(0x") + kHex[code >> 4] + kHex[code & 15] + ")";
}

const ColumnDef* TableDef::FindColumn(std::string_view column_name) const {
  for (const ColumnDef& c : columns) {
    if (NamesEqual(c.name, column_name)) return &c;
  }
  return nullptr;
}

std::string Decimal::ToString() const {
  unsigned __int128 m = 0;
  for (uint32_t word : magnitude) m = (m << 32) | word;
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  while (digits.size() <= scale) digits.push_back('0');
  std::reverse(digits.begin(), digits.end());
  if (scale > 0) digits.insert(digits.size() - scale, 1, '.');
  bool zero = std::all_of(magnitude.begin(), magnitude.end(), [](uint32_t w) { return w == 0; });
  if (negative && !zero) digits.insert(digits.begin(), '-');
  return digits;
}

}  // namespace jet
