// UTF-8 to Jet 4 stored text; see text_encode.h.
#include "jet/base/text_encode.h"

#include "strings/hex.h"
#include "strings/utf8.h"

namespace jet {

namespace {

Status BadUtf8(size_t offset, uint8_t byte) {
  const auto b = static_cast<char>(byte);
  return Status::InvalidArgument("text is not valid UTF-8 (byte 0x" +
                                 strings::HexText(std::string_view(&b, 1)) + " at offset " +
                                 std::to_string(offset) + ")");
}

// Reads the code point at utf8[*i] and moves *i past it.
Status NextCodePoint(std::string_view utf8, size_t* i, uint32_t* cp) {
  if (strings::DecodeUtf8(utf8, i, cp)) return Status::OK();
  return BadUtf8(*i, static_cast<uint8_t>(utf8[*i]));
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
      out->push_back(strings::HighSurrogateOf(cp));
      out->push_back(strings::LowSurrogateOf(cp));
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
          strings::HexText(std::string{static_cast<char>(u >> 8), static_cast<char>(u)}) +
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
