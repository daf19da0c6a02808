// The engine's value types; see types.h.
#include "jet/types.h"

#include <algorithm>

#include "jet/names.h"
#include "strings/hex.h"

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
  const auto code = static_cast<char>(type);
  return "Unknown(0x" + strings::HexText(std::string_view(&code, 1)) + ")";
}

namespace {

// kGuidTextOrder[i] is the stored byte that stands i-th in the text.
constexpr std::array<uint8_t, 16> kGuidTextOrder = {3, 2, 1,  0,  5,  4,  7,  6,
                                                    8, 9, 10, 11, 12, 13, 14, 15};

// A dash goes before the text's 5th, 7th, 9th and 11th byte.
bool DashBefore(size_t i) { return i == 4 || i == 6 || i == 8 || i == 10; }

}  // namespace

std::array<uint8_t, 16> GuidBytesInTextOrder(const std::array<uint8_t, 16>& stored) {
  std::array<uint8_t, 16> ordered;
  for (size_t i = 0; i < 16; ++i) ordered[i] = stored[kGuidTextOrder[i]];
  return ordered;
}

char* PutGuidText(char* p, const std::array<uint8_t, 16>& stored) {
  *p++ = '{';
  for (size_t i = 0; i < 16; ++i) {
    if (DashBefore(i)) *p++ = '-';
    const char b = static_cast<char>(stored[kGuidTextOrder[i]]);
    p = strings::PutHex(p, std::string_view(&b, 1));
  }
  *p++ = '}';
  return p;
}

std::string GuidText(const std::array<uint8_t, 16>& stored) {
  char text[kGuidTextSize];
  return std::string(text, PutGuidText(text, stored));
}

bool ParseGuidText(std::string_view text, std::array<uint8_t, 16>* stored) {
  if (text.size() == kGuidTextSize && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, kGuidTextSize - 2);
  }
  if (text.size() != kGuidTextSize - 2) return false;
  size_t pos = 0;
  for (size_t i = 0; i < 16; ++i) {
    if (DashBefore(i) && text[pos++] != '-') return false;
    const int high = strings::HexDigitValue(text[pos]);
    const int low = strings::HexDigitValue(text[pos + 1]);
    if (high < 0 || low < 0) return false;
    (*stored)[kGuidTextOrder[i]] = static_cast<uint8_t>(high << 4 | low);
    pos += 2;
  }
  return true;
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
