// Text decoding to UTF-8; see text.h.
#include "jet/base/text.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "jet/base/coding.h"
#include "strings/utf8.h"

namespace jet {

namespace {

using strings::CodePointOfSurrogates;
using strings::IsHighSurrogate;
using strings::IsLowSurrogate;
using strings::IsSurrogate;
using strings::PutUtf8;

// Eight bytes at a time where the machine stores the first byte lowest.
constexpr bool kWordScan = std::endian::native == std::endian::little;
constexpr uint64_t kEveryByte = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;
// Set in a word of four UCS-2LE units unless every unit is below U+0080.
constexpr uint64_t kNonAsciiUnitBits = 0xFF80FF80FF80FF80ull;

// Writes four ASCII units (held as UCS-2LE in `units`) as four bytes.
char* PutFourAsciiUnits(uint64_t units, char* p) {
  if constexpr (kWordScan) {
    uint64_t packed = (units | (units >> 8)) & 0x0000FFFF0000FFFFull;
    packed |= packed >> 16;
    const auto four = static_cast<uint32_t>(packed);
    std::memcpy(p, &four, 4);
  } else {
    p[0] = static_cast<char>(units);
    p[1] = static_cast<char>(units >> 16);
    p[2] = static_cast<char>(units >> 32);
    p[3] = static_cast<char>(units >> 48);
  }
  return p + 4;
}

// Copies the run of ASCII units (U+0000..U+007F) of UCS-2LE text that
// starts at data[*i] as one byte each, eight or four units at a time;
// stops where fewer than four are left or at the first group that holds any
// other unit, so the caller goes on from *i unit by unit. Most text in these
// files is ASCII. Returns the new output end.
char* PutAsciiUnits(const uint8_t* data, size_t size, size_t* i, char* p) {
  size_t at = *i;
  while (size - at >= 16) {
    const uint64_t first = ReadU64(data + at);
    const uint64_t second = ReadU64(data + at + 8);
    if (((first | second) & kNonAsciiUnitBits) != 0) break;
    p = PutFourAsciiUnits(second, PutFourAsciiUnits(first, p));
    at += 16;
  }
  if (size - at >= 8) {
    const uint64_t units = ReadU64(data + at);
    if ((units & kNonAsciiUnitBits) == 0) {
      p = PutFourAsciiUnits(units, p);
      at += 8;
    }
  }
  *i = at;
  return p;
}

// Copies the run of bytes of compressed Jet 4 text that starts at
// data[*i], eight at a time, while they are ASCII and not the 00 that
// switches modes. Returns the new output end.
char* PutAsciiBytes(const uint8_t* data, size_t size, size_t* i, char* p) {
  if constexpr (kWordScan) {
    size_t at = *i;
    while (size - at >= 8) {
      uint64_t word;
      std::memcpy(&word, data + at, 8);
      const uint64_t zero = (word - kEveryByte) & ~word;
      if (((zero | word) & kHighBits) != 0) break;
      std::memcpy(p, &word, 8);
      p += 8;
      at += 8;
    }
    *i = at;
  }
  return p;
}

}  // namespace

char* PutUcs2AsUtf8(const uint8_t* data, size_t size, char* p) {
  size_t i = 0;
  while (i + 1 < size) {
    p = PutAsciiUnits(data, size, &i, p);
    if (i + 1 >= size) break;
    uint32_t unit = data[i] | (data[i + 1] << 8);
    i += 2;
    if (unit < 0x80) {
      *p++ = static_cast<char>(unit);
      continue;
    }
    if (IsHighSurrogate(unit) && i + 1 < size) {
      uint32_t low = data[i] | (data[i + 1] << 8);
      if (IsLowSurrogate(low)) {
        i += 2;
        p = PutUtf8(CodePointOfSurrogates(unit, low), p);
        continue;
      }
    }
    if (IsSurrogate(unit)) unit = strings::kReplacementCharacter;
    p = PutUtf8(unit, p);
  }
  return p;
}

void AppendUcs2AsUtf8(const uint8_t* data, size_t size, std::string* out) {
  const size_t old_size = out->size();
  out->resize(old_size + MaxUcs2Utf8Bytes(size));
  char* end = PutUcs2AsUtf8(data, size, out->data() + old_size);
  out->resize(static_cast<size_t>(end - out->data()));
}

char* PutJet4Text(const uint8_t* data, size_t size, char* p) {
  if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) return PutUcs2AsUtf8(data, size, p);
  bool compressed = true;
  size_t i = 2;
  while (i < size) {
    if (compressed) {
      p = PutAsciiBytes(data, size, &i, p);
      if (i >= size) break;
    }
    if (data[i] == 0) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      uint8_t c = data[i++];
      if (c < 0x80) {
        *p++ = static_cast<char>(c);
      } else {
        p = PutUtf8(c, p);
      }
    } else {
      // Plain pair. A zero low byte at a char boundary switched modes above,
      // which is how Access marks the end of an uncompressed run.
      if (i + 1 >= size) break;
      uint32_t unit = data[i] | (data[i + 1] << 8);
      if (IsHighSurrogate(unit) && i + 3 < size && data[i + 2] != 0) {
        uint32_t low = data[i + 2] | (data[i + 3] << 8);
        if (IsLowSurrogate(low)) {
          p = PutUtf8(CodePointOfSurrogates(unit, low), p);
          i += 4;
          continue;
        }
      }
      if (IsSurrogate(unit)) unit = strings::kReplacementCharacter;
      p = PutUtf8(unit, p);
      i += 2;
    }
  }
  return p;
}

void AppendJet4Text(const uint8_t* data, size_t size, std::string* out) {
  const size_t old_size = out->size();
  out->resize(old_size + MaxJet4TextUtf8Bytes(data, size));
  char* end = PutJet4Text(data, size, out->data() + old_size);
  out->resize(static_cast<size_t>(end - out->data()));
}

TextDecoder::~TextDecoder() = default;

namespace {

bool IsDoubleByteCodePage(uint16_t code_page) {
  return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950 ||
         code_page == 1361;
}

}  // namespace

Result<TextDecoder::Converter*> TextDecoder::GetConverter(uint16_t code_page) {
  auto it = converters_.find(code_page);
  if (it != converters_.end()) return it->second.get();

  auto conv = std::make_unique<Converter>();
  conv->code_page = code_page;
  std::unique_ptr<platform::CodePage> page = platform::CodePage::Open(code_page);
  if (page == nullptr) {
    return Status::NotSupported("text in code page " + std::to_string(code_page) +
                                " cannot be converted on this system");
  }
  if (IsDoubleByteCodePage(code_page)) {
    conv->single_byte = false;
    conv->page = std::move(page);
  } else {
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      // Undefined in this code page (0x81, 0x8D, 0x8F, 0x90, 0x9D in 1252):
      // '?', as mdbtools gives, so exports of testIndexCodesV1997.mdb agree.
      if (page->ToUtf8(&byte, 1, &conv->table[b]) != 1) {
        conv->table[b].assign(1, '?');
      } else if (b >= 0x80) {
        conv->bytes.emplace(conv->table[b], static_cast<uint8_t>(b));
      }
    }
  }
  Converter* raw = conv.get();
  converters_.emplace(code_page, std::move(conv));
  return raw;
}

Result<TextDecoder::Converter*> TextDecoder::ConverterFor(uint16_t code_page) {
  if (code_page == 0) code_page = database_code_page_;
  if (code_page == 0) code_page = 1252;
  Result<Converter*> conv = GetConverter(code_page);
  if (!conv.ok() && code_page != database_code_page_ && database_code_page_ != 0) {
    // A column code page we cannot convert (or a damaged one): the
    // database's code page is the best remaining guess.
    conv = GetConverter(database_code_page_);
  }
  return conv;
}

Status TextDecoder::AppendCodePageText(uint16_t code_page, const uint8_t* data, size_t size,
                                       std::string* out) {
  Result<Converter*> conv = ConverterFor(code_page);
  if (!conv.ok()) return conv.status();
  Converter* c = *conv;
  if (c->single_byte) {
    for (size_t i = 0; i < size; ++i) {
      uint8_t b = data[i];
      if (b < 0x80) {
        out->push_back(static_cast<char>(b));
      } else {
        out->append(c->table[b]);
      }
    }
    return Status::OK();
  }
  const char* in = reinterpret_cast<const char*>(data);
  size_t left = size;
  while (left > 0) {
    const size_t done = c->page->ToUtf8(in, left, out);
    in += done;
    left -= done;
    if (left > 0) {
      // An invalid or truncated sequence: replace one byte and go on.
      strings::AppendUtf8(strings::kReplacementCharacter, out);
      ++in;
      --left;
    }
  }
  return Status::OK();
}

namespace {

Status Unencodable(std::string_view sequence, uint32_t cp, uint16_t code_page) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(cp));
  return Status::InvalidArgument("the character " + std::string(name) + " (\"" +
                                 std::string(sequence) + "\") has no byte in code page " +
                                 std::to_string(code_page));
}

}  // namespace

Status TextDecoder::EncodeCodePageText(uint16_t code_page, std::string_view utf8,
                                       std::string* out) {
  Result<Converter*> conv = ConverterFor(code_page);
  if (!conv.ok()) return conv.status();
  Converter* c = *conv;
  const uint16_t used = c->code_page;
  std::string bytes;
  bytes.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    size_t end = at;
    uint32_t cp = 0;
    if (!strings::DecodeUtf8(utf8, &end, &cp)) {
      return Status::InvalidArgument("text is not valid UTF-8 at byte " + std::to_string(at));
    }
    const size_t n = end - at;
    const std::string_view sequence = utf8.substr(at, n);
    if (n == 1) {
      bytes.push_back(sequence[0]);
    } else if (c->single_byte) {
      auto it = c->bytes.find(std::string(sequence));
      if (it == c->bytes.end()) return Unencodable(sequence, cp, used);
      bytes.push_back(static_cast<char>(it->second));
    } else {
      std::string converted;
      if (c->page->FromUtf8(sequence.data(), n, &converted) != n) {
        return Unencodable(sequence, cp, used);
      }
      bytes += converted;
    }
    at = end;
  }
  *out = std::move(bytes);
  return Status::OK();
}

}  // namespace jet
