// Text decoding to UTF-8; see text.h.
#include "jet/text.h"


#include <array>
#include <cerrno>

namespace jet {

namespace {

// Writes code point `cp` (< 0x110000) as UTF-8 at p; returns the new end.
char* PutUtf8(uint32_t cp, char* p) {
  if (cp < 0x80) {
    *p++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *p++ = static_cast<char>(0xC0 | (cp >> 6));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (cp >> 12));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (cp >> 18));
    *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return p;
}

}  // namespace

void AppendUtf8(uint32_t cp, std::string* out) {
  char buf[4];
  char* end = PutUtf8(cp, buf);
  out->append(buf, static_cast<size_t>(end - buf));
}

void AppendUcs2AsUtf8(const uint8_t* data, size_t size, std::string* out) {
  // Each 2-byte unit gives at most 3 UTF-8 bytes (a surrogate pair, 4 bytes
  // for 4 input bytes), so size / 2 * 3 is enough room.
  const size_t old_size = out->size();
  out->resize(old_size + size / 2 * 3);
  char* p = out->data() + old_size;
  size_t i = 0;
  while (i + 1 < size) {
    uint32_t unit = data[i] | (data[i + 1] << 8);
    i += 2;
    if (unit < 0x80) {
      *p++ = static_cast<char>(unit);
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < size) {
      uint32_t low = data[i] | (data[i + 1] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        i += 2;
        p = PutUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), p);
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    p = PutUtf8(unit, p);
  }
  out->resize(static_cast<size_t>(p - out->data()));
}

void AppendJet4Text(const uint8_t* data, size_t size, std::string* out) {
  if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) {
    AppendUcs2AsUtf8(data, size, out);
    return;
  }
  bool compressed = true;
  size_t i = 2;
  while (i < size) {
    if (data[i] == 0) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      uint8_t c = data[i++];
      if (c < 0x80) {
        out->push_back(static_cast<char>(c));
      } else {
        AppendUtf8(c, out);
      }
    } else {
      // Plain pair. A zero low byte at a char boundary switched modes above,
      // which is how Access marks the end of an uncompressed run.
      if (i + 1 >= size) break;
      uint32_t unit = data[i] | (data[i + 1] << 8);
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < size && data[i + 2] != 0) {
        uint32_t low = data[i + 2] | (data[i + 3] << 8);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
          i += 4;
          continue;
        }
      }
      if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
      AppendUtf8(unit, out);
      i += 2;
    }
  }
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
      if (page->ToUtf8(&byte, 1, &conv->table[b]) != 1) conv->table[b].assign(1, '?');
    }
  }
  Converter* raw = conv.get();
  converters_.emplace(code_page, std::move(conv));
  return raw;
}

Status TextDecoder::AppendCodePageText(uint16_t code_page, const uint8_t* data, size_t size,
                                       std::string* out) {
  if (code_page == 0) code_page = database_code_page_;
  if (code_page == 0) code_page = 1252;
  Result<Converter*> conv = GetConverter(code_page);
  if (!conv.ok() && code_page != database_code_page_ && database_code_page_ != 0) {
    // A column code page we cannot convert (or a damaged one): the
    // database's code page is the best remaining guess.
    conv = GetConverter(database_code_page_);
  }
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
      AppendUtf8(0xFFFD, out);
      ++in;
      --left;
    }
  }
  return Status::OK();
}

}  // namespace jet
