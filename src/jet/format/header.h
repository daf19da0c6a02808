// Page 0, the database header: signature and version checks, the RC4 mask
// over its middle region, code page and sort order, the encoding key and the
// database password.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "jet/status.h"
#include "jet/types.h"

namespace jet {

struct HeaderInfo {
  JetVersion version = JetVersion::kJet4;
  uint32_t page_size = 4096;
  uint16_t code_page = 1252;
  uint16_t sort_order = 0x0409;
  uint8_t sort_version = 0;
  uint32_t encoding_key = 0;
  double creation_date = 0;  // Jet 4 only
  std::string password;      // UTF-8, trailing NULs removed
  bool has_password = false;
};

// The fixed keystream XORed over header bytes 0x18 .. 0x18+125 (Jet 3) or
// +127 (Jet 4): RC4 output for the key C7 DA 39 6B.
const std::array<uint8_t, 128>& HeaderMask();

// RC4 keystream of `size` bytes for `key` (also used to test HeaderMask).
std::string Rc4Keystream(std::string_view key, size_t size);

// Reads page 0 of `image`. kNotAnAccessFile without the Jet signature,
// kNotSupported for ACE (.accdb) versions and encoded databases.
// Does not check the file size against the page size; the caller does.
Status ParseHeader(std::string_view image, HeaderInfo* info);

// kInvalidPassword unless `password` matches the stored one (an empty
// password matches a database without one).
Status CheckPassword(const HeaderInfo& info, const std::string& password);

}  // namespace jet
