// UTF-8 to Jet 4 stored text; see text_encode.h.
#include "jet/base/text_encode.h"

#include "jet/base/text_forms.h"

namespace jet {

namespace {

Status BadUtf8(size_t offset, uint8_t byte) {
  const auto b = static_cast<char>(byte);
  return Status::InvalidArgument("text is not valid UTF-8 (byte 0x" +
                                 HexText(std::string_view(&b, 1)) + " at offset " +
                                 std::to_string(offset) + ")");
}

// Decodes the code point at utf8[*i], advancing *i past it.
Status NextCodePoint(std::string_view utf8, size_t* i, uint32_t* cp) {
  const size_t start = *i;
  const auto lead = static_cast<uint8_t>(utf8[start]);
  if (lead < 0x80) {
    *cp = lead;
    *i = start + 1;
    return Status::OK();
  }
  size_t extra;
  uint32_t value;
  uint32_t min;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, value = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, value = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, value = lead & 0x07, min = 0x10000;
  } else {
    return BadUtf8(start, lead);
  }
  for (size_t k = 1; k <= extra; ++k) {
    if (start + k >= utf8.size()) return BadUtf8(start, lead);
    const auto b = static_cast<uint8_t>(utf8[start + k]);
    if ((b & 0xC0) != 0x80) return BadUtf8(start + k, b);
    value = (value << 6) | (b & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return BadUtf8(start, lead);
  }
  *cp = value;
  *i = start + 1 + extra;
  return Status::OK();
}

}  // namespace

Status Utf8ToUtf16(std::string_view utf8, std::u16string* out) {
  out->clear();
  out->reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp = 0;
    JET_RETURN_IF_ERROR(NextCodePoint(utf8, &i, &cp));
    if (cp < 0x10000) {
      out->push_back(static_cast<char16_t>(cp));
    } else {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
  }
  return Status::OK();
}

Result<size_t> Jet4TextLength(std::string_view utf8) {
  size_t units = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp = 0;
    JET_RETURN_IF_ERROR(NextCodePoint(utf8, &i, &cp));
    units += cp < 0x10000 ? 1 : 2;
  }
  return units;
}

namespace {

// (T2) FF FE, then one byte per char U+0001..U+00FF and runs of UCS-2LE
// pairs for the others, each run opened and closed by a 00 byte.
Status EncodeWithSwitches(const std::u16string& units, std::string* out) {
  out->assign("\xFF\xFE", 2);
  bool compressed = true;
  for (char16_t u : units) {
    if ((u & 0xFF) == 0) {
      return Status::InvalidArgument(
          "a text that begins with U+FEFF cannot hold U+" +
          HexText(std::string{static_cast<char>(u >> 8), static_cast<char>(u)}) +
          ": no stored form of it reads back unchanged");
    }
    const bool narrow = u <= 0xFF;
    if (narrow != compressed) {
      out->push_back('\0');
      compressed = narrow;
    }
    out->push_back(static_cast<char>(u & 0xFF));
    if (!narrow) out->push_back(static_cast<char>(u >> 8));
  }
  return Status::OK();
}

}  // namespace

Status EncodeJet4Text(std::string_view utf8, bool compressible, std::string* out) {
  std::u16string units;
  JET_RETURN_IF_ERROR(Utf8ToUtf16(utf8, &units));
  out->clear();
  if (!units.empty() && units[0] == 0xFEFF) return EncodeWithSwitches(units, out);
  bool compress =
      compressible && units.size() >= kMinCompressedChars && units.size() <= kMaxCompressedChars;
  for (size_t k = 0; compress && k < units.size(); ++k) {
    compress = units[k] >= 0x01 && units[k] <= 0xFF;
  }
  if (compress) {
    out->reserve(2 + units.size());
    out->push_back(static_cast<char>(0xFF));
    out->push_back(static_cast<char>(0xFE));
    for (char16_t u : units) out->push_back(static_cast<char>(u));
    return Status::OK();
  }
  out->resize(2 * units.size());
  for (size_t k = 0; k < units.size(); ++k) {
    (*out)[2 * k] = static_cast<char>(units[k] & 0xFF);
    (*out)[2 * k + 1] = static_cast<char>(units[k] >> 8);
  }
  return Status::OK();
}

}  // namespace jet
