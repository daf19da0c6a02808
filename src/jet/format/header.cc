// Database header parsing; see header.h.
#include "jet/format/header.h"

#include <cmath>
#include <cstring>

#include "jet/base/coding.h"
#include "jet/base/text.h"
#include "jet/format/format.h"
#include "strings/utf8.h"

namespace jet {

std::string Rc4Keystream(std::string_view key, size_t size) {
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + static_cast<uint8_t>(key[i % key.size()]));
    std::swap(s[i], s[j]);
  }
  std::string out(size, '\0');
  uint8_t a = 0;
  uint8_t b = 0;
  for (size_t n = 0; n < size; ++n) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    out[n] = static_cast<char>(s[static_cast<uint8_t>(s[a] + s[b])]);
  }
  return out;
}

const std::array<uint8_t, 128>& HeaderMask() {
  static const std::array<uint8_t, 128> mask = [] {
    const char key[] = {'\xC7', '\xDA', '\x39', '\x6B'};
    std::string stream = Rc4Keystream(std::string_view(key, 4), 128);
    std::array<uint8_t, 128> m{};
    std::memcpy(m.data(), stream.data(), 128);
    return m;
  }();
  return mask;
}

namespace {

constexpr char kJetEngine[] = "Standard Jet DB";
constexpr char kAceEngine[] = "Standard ACE DB";
constexpr char kMsisamEngine[] = "MSISAM Database";
constexpr size_t kHeaderReadSize = kHeaderMaskStart + kJet4HeaderMaskSize;

}  // namespace

Status ParseHeader(std::string_view image, HeaderInfo* info) {
  const auto* raw = reinterpret_cast<const uint8_t*>(image.data());
  if (image.size() < kHeaderVersionOffset + 4 || ReadU32(raw + kHeaderMagicOffset) != 0x00000100 ||
      (std::memcmp(raw + kHeaderEngineOffset, kJetEngine, 16) != 0 &&
       std::memcmp(raw + kHeaderEngineOffset, kAceEngine, 16) != 0 &&
       std::memcmp(raw + kHeaderEngineOffset, kMsisamEngine, 16) != 0)) {
    return Status::NotAnAccessFile("not an Access database file");
  }
  if (std::memcmp(raw + kHeaderEngineOffset, kMsisamEngine, 16) == 0) {
    return Status::NotSupported("this database format is not supported (MSISAM)");
  }
  uint32_t version = ReadU32(raw + kHeaderVersionOffset);
  if (version >= 2 || std::memcmp(raw + kHeaderEngineOffset, kAceEngine, 16) == 0) {
    return Status::NotSupported("this database format is not supported");
  }
  info->version = version == 0 ? JetVersion::kJet3 : JetVersion::kJet4;
  const Format& format = FormatFor(info->version);
  info->page_size = format.page_size;
  if (image.size() < kHeaderReadSize) {
    return Status::Corruption("file truncated inside the database header (" +
                              std::to_string(image.size()) + " bytes)");
  }

  uint8_t header[kHeaderReadSize];
  std::memcpy(header, raw, kHeaderReadSize);
  uint32_t mask_size = format.IsJet3() ? kJet3HeaderMaskSize : kJet4HeaderMaskSize;
  const auto& mask = HeaderMask();
  for (uint32_t i = 0; i < mask_size; ++i) header[kHeaderMaskStart + i] ^= mask[i];

  info->code_page = ReadU16(header + kHeaderCodePageOffset);
  info->encoding_key = ReadU32(header + kHeaderEncodingKeyOffset);
  if (info->encoding_key != 0) {
    return Status::NotSupported("encrypted databases are not supported (encoding key set)");
  }

  uint8_t password[kJet4PasswordSize];
  uint32_t password_size = format.IsJet3() ? kJet3PasswordSize : kJet4PasswordSize;
  std::memcpy(password, header + kHeaderPasswordOffset, password_size);
  info->password.clear();
  if (format.IsJet3()) {
    info->sort_order = ReadU16(header + kJet3HeaderSortOrderOffset);
    info->sort_version = 0;
    info->creation_date = 0;
    uint32_t len = 0;
    while (len < password_size && password[len] != 0) ++len;
    for (uint32_t i = 0; i < len; ++i) strings::AppendUtf8(password[i], &info->password);
  } else {
    info->sort_order = ReadU16(header + kJet4HeaderSortOrderOffset);
    info->sort_version = header[kJet4HeaderSortOrderOffset + 3];
    info->creation_date = ReadF64(header + kJet4HeaderCreationDateOffset);
    // The password is further XORed with the integer part of the creation date.
    double date = info->creation_date;
    int32_t date_key = 0;
    if (std::isfinite(date) && date > -2147483648.0 && date < 2147483648.0) {
      date_key = static_cast<int32_t>(date);
    }
    uint8_t key[4];
    WriteU32(key, static_cast<uint32_t>(date_key));
    for (uint32_t i = 0; i < password_size; ++i) password[i] ^= key[i % 4];
    uint32_t len = 0;
    while (len + 1 < password_size && (password[len] != 0 || password[len + 1] != 0)) len += 2;
    AppendUcs2AsUtf8(password, len, &info->password);
  }
  info->has_password = !info->password.empty();
  return Status::OK();
}

Status CheckPassword(const HeaderInfo& info, const std::string& password) {
  if (info.password != password) return Status::InvalidPassword();
  return Status::OK();
}

}  // namespace jet
