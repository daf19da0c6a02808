#include "jet/index/text_key.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "jet/base/text_encode.h"
#include "jet/index/collation_table.h"
#include "strings/utf8.h"

namespace jet {
namespace {

// Access indexes the first 255 characters of a text or memo value.
constexpr size_t kMaxIndexedUnits = 255;

constexpr uint8_t kEndText = 0x01;
constexpr uint8_t kEndValue = 0x00;
constexpr uint8_t kExtraPlaceholder = 0x02;
constexpr uint8_t kCrazyByteStart = 0x80;
constexpr uint8_t kCrazyFlagDropped = 3;  // trailing flags of this value are not written
constexpr uint8_t kCrazySuffix[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr uint8_t kCrazyBeforeUnprintables = 0xFF;
constexpr int kUnprintableFlag = 0x8000;
constexpr int kUnprintableFirst = 7;
constexpr int kUnprintableStep = 4;
constexpr uint8_t kUnprintableMid = 0x06;

// One code unit's entry of kGeneralLegacyRecords, unpacked.
struct Collation {
  uint32_t cls = kCollationIgnored;
  uint8_t direct[4] = {};
  const uint8_t* inline_bytes = nullptr;
  size_t inline_size = 0;
  const uint8_t* extra = nullptr;
  size_t extra_size = 0;
  uint8_t crazy_flag = 0;
  uint8_t code = 0;  // U: the unprintable code; P: the modifier
};

Collation Lookup(char16_t unit) {
  const uint32_t record = kGeneralLegacyRecords[unit];
  Collation c;
  c.cls = record >> 28;
  const uint32_t length = (record >> 24) & 0xF;
  const uint32_t payload = record & 0xFFFFFF;
  if (length == kCollationPooled) {
    const uint8_t* p = kGeneralLegacyPool + payload;
    c.inline_size = p[0];
    c.inline_bytes = p + 1;
    c.extra_size = p[1 + c.inline_size];
    c.extra = p + 2 + c.inline_size;
    c.crazy_flag = p[2 + c.inline_size + c.extra_size];
  } else {
    c.inline_size = length;
    for (uint32_t i = 0; i < length; ++i)
      c.direct[i] = static_cast<uint8_t>(payload >> (8 * (length - 1 - i)));
    c.inline_bytes = c.direct;
  }
  if (c.cls == kCollationUnprintable || c.cls == kCollationUnprintableExt) {
    // Their one byte is a code, never inline.
    c.code = c.direct[0];
    c.inline_size = 0;
  }
  return c;
}

// The value's UTF-16 code units as Access indexes them: the first 255,
// without trailing spaces.
Status IndexedUnits(std::string_view utf8, std::u16string* units) {
  Status s = Utf8ToUtf16(utf8, units);
  if (!s.ok())
    return Status::InvalidArgument("text index value is not valid UTF-8: " + s.message());
  if (units->size() > kMaxIndexedUnits) units->resize(kMaxIndexedUnits);
  while (!units->empty() && units->back() == u' ') units->pop_back();
  return Status::OK();
}

void Append(std::string* out, const uint8_t* bytes, size_t size) {
  out->append(reinterpret_cast<const char*>(bytes), size);
}

// Placeholders for the positions before `position` that have no extra bytes.
void PadExtras(size_t position, std::string* extras, size_t* extras_positions) {
  if (*extras_positions < position) {
    extras->append(position - *extras_positions, static_cast<char>(kExtraPlaceholder));
    *extras_positions = position;
  }
}

void InvertFrom(size_t start, std::string* key) {
  for (size_t i = start; i < key->size(); ++i) (*key)[i] = static_cast<char>(~(*key)[i]);
}

// The value for a message: its first 60 bytes or so, cut between characters.
std::string Quoted(std::string_view utf8) { return "\"" + strings::ShortenedText(utf8, 60) + "\""; }

// The General legacy key of one value, built as its code units come: their
// inline bytes, then, each part set off by kEndText, the extra stream, the
// crazy flags and the unprintables' places and codes.
class LegacyKeyBuilder {
 public:
  explicit LegacyKeyBuilder(size_t units) { out_.reserve(units + 8); }

  void Add(const Collation& c) {
    const size_t here = position_;
    if (c.inline_size > 0) {
      Append(&out_, c.inline_bytes, c.inline_size);
      ++position_;
    }
    switch (c.cls) {
      case kCollationInternational:
      case kCollationInternationalExt: AddInternational(here, c); break;
      case kCollationUnprintableExt: AddUnprintableExt(here, c.code); break;
      case kCollationUnprintable: AddUnprintable(here, c.code); break;
      default: break;
    }
  }

  // Appends the finished key value to *key, inverted for a descending index.
  void AppendTo(bool ascending, std::string* key) {
    out_.push_back(static_cast<char>(kEndText));
    while (!extras_.empty() && static_cast<uint8_t>(extras_.back()) <= kExtraPlaceholder)
      extras_.pop_back();
    out_ += extras_;
    if (!crazy_flags_.empty() || !unprintables_.empty()) AppendFlagsAndUnprintables();
    out_.push_back(static_cast<char>(kEndValue));
    if (!ascending) {
      InvertFrom(0, &out_);
      out_.push_back(static_cast<char>(kEndValue));
    }
    *key += out_;
  }

 private:
  void AddInternational(size_t here, const Collation& c) {
    if (c.extra_size > 0) {
      PadExtras(here, &extras_, &extras_positions_);
      Append(&extras_, c.extra, c.extra_size);
      ++extras_positions_;
      have_extras_ = true;
    }
    if (c.crazy_flag != 0) crazy_flags_.push_back(static_cast<char>(c.crazy_flag));
  }

  // Its code goes into the extra stream: first as a prefix of its own, later
  // added to the stream's last byte.
  void AddUnprintableExt(size_t here, uint8_t code) {
    PadExtras(here, &extras_, &extras_positions_);
    if (extras_.empty()) {
      extras_.push_back(static_cast<char>(code));
      prefix_size_ = 1;
    } else {
      extras_.back() = static_cast<char>(static_cast<uint8_t>(extras_.back()) + code);
    }
    have_extras_ = true;
  }

  void AddUnprintable(size_t here, uint8_t code) {
    // Its place counts in extra-stream bytes once that stream exists.
    int q = static_cast<int>(here);
    if (have_extras_) {
      q = static_cast<int>(extras_.size() + here - extras_positions_ - prefix_size_);
    }
    const int offset = kUnprintableFlag | (kUnprintableFirst + kUnprintableStep * q);
    unprintables_.push_back(static_cast<char>(offset >> 8));
    unprintables_.push_back(static_cast<char>(offset));
    unprintables_.push_back(static_cast<char>(kUnprintableMid));
    unprintables_.push_back(static_cast<char>(code));
  }

  // The crazy flags three to a byte, then the unprintables.
  void AppendFlagsAndUnprintables() {
    out_.push_back(static_cast<char>(kEndText));
    out_.push_back(static_cast<char>(kEndText));
    if (!crazy_flags_.empty()) {
      while (!crazy_flags_.empty() && crazy_flags_.back() == kCrazyFlagDropped)
        crazy_flags_.pop_back();
      for (size_t i = 0; i < crazy_flags_.size(); i += 3) {
        uint8_t b = kCrazyByteStart;
        for (size_t k = 0; k < 3 && i + k < crazy_flags_.size(); ++k) {
          b |= static_cast<uint8_t>(crazy_flags_[i + k] << (4 - 2 * k));
        }
        out_.push_back(static_cast<char>(b));
      }
      Append(&out_, kCrazySuffix, sizeof kCrazySuffix);
      if (!unprintables_.empty()) out_.push_back(static_cast<char>(kCrazyBeforeUnprintables));
    }
    if (!unprintables_.empty()) {
      out_.push_back(static_cast<char>(kEndText));
      out_ += unprintables_;
    }
  }

  std::string out_;              // the inline bytes, then the whole key value
  std::string extras_;           // the extra stream
  bool have_extras_ = false;     // the stream exists (it may still be empty after trimming)
  size_t extras_positions_ = 0;  // positions the stream covers
  size_t prefix_size_ = 0;       // a leading P byte that counts as no position
  std::string crazy_flags_;
  std::string unprintables_;
  size_t position_ = 0;  // units that gave inline bytes so far
};

[[gnu::noinline]] Status SurrogateRefused(std::string_view utf8, char16_t unit) {
  char what[16];
  std::snprintf(what, sizeof what, "U+%04X", static_cast<unsigned>(unit));
  return Status::NotSupported("text index value " + Quoted(utf8) +
                              " has a character past U+FFFF (surrogate " + what +
                              "), whose General sort key is not known");
}

}  // namespace

bool TextKeySupported(const ColumnDef& column, std::string* why) {
  if (column.type != ColumnType::kText && column.type != ColumnType::kMemo) {
    if (why)
      *why = "column " + column.name + " is " + ColumnTypeName(column.type) + ", not Text or Memo";
    return false;
  }
  if (column.sort_order == kGeneralSortOrder && column.sort_version == 0) return true;
  if (why) {
    char order[64];
    std::snprintf(order, sizeof order, "sort order 0x%04X version %u", column.sort_order,
                  static_cast<unsigned>(column.sort_version));
    *why = "column " + column.name + " (" + ColumnTypeName(column.type) + ") uses " + order +
           (column.sort_order == kGeneralSortOrder ? " (the General order of Access 2010)" : "") +
           "; only General (0x0409 version 0) index keys can be built";
  }
  return false;
}

Status AppendTextKeyValue(std::string_view utf8, bool ascending, std::string* key) {
  std::u16string units;
  JET_RETURN_IF_ERROR(IndexedUnits(utf8, &units));
  LegacyKeyBuilder builder(units.size());
  for (char16_t unit : units) {
    const Collation c = Lookup(unit);
    if (c.cls == kCollationSurrogate) return SurrogateRefused(utf8, unit);
    builder.Add(c);
  }
  builder.AppendTo(ascending, key);
  return Status::OK();
}

Status AppendGeneral97TextKeyValue(std::string_view utf8, bool ascending, std::string* key) {
  std::u16string units;
  JET_RETURN_IF_ERROR(IndexedUnits(utf8, &units));

  std::string out;
  std::string nibbles;  // one nibble per byte until the end
  size_t significant = 0;
  for (char16_t unit : units) {
    uint32_t row = unit;
    if (unit > 0xFF) {
      const General97Mapping* end = kGeneral97Mappings + kGeneral97MappingCount;
      const General97Mapping* m =
          std::lower_bound(kGeneral97Mappings, end, unit,
                           [](const General97Mapping& a, char16_t u) { return a.code_unit < u; });
      if (m == end || m->code_unit != unit) continue;  // not in the order: ignored
      row = m->row;
    }
    const uint32_t record = kGeneral97Records[row];
    const uint32_t cls = record >> 28;
    const uint32_t inline_size = (record >> 16) & 0xFF;
    for (uint32_t i = 0; i < inline_size; ++i) {
      out.push_back(static_cast<char>(record >> (8 * (inline_size - 1 - i))));
    }
    if (cls == kCollationSignificant) {
      ++significant;
    } else if (cls == kCollationInternational) {
      if (nibbles.empty()) nibbles.push_back(0);
      nibbles.append(significant, 2);
      nibbles.push_back(static_cast<char>((record >> 24) & 0xF));
      significant = 0;
    }
  }
  if (nibbles.empty()) {
    out.push_back(static_cast<char>(kEndValue));
  } else {
    nibbles.push_back(0);
    for (size_t i = 0; i < nibbles.size(); i += 2) {
      const uint8_t high = static_cast<uint8_t>(nibbles[i]);
      const uint8_t low = i + 1 < nibbles.size() ? static_cast<uint8_t>(nibbles[i + 1]) : 0;
      out.push_back(static_cast<char>(high << 4 | low));
    }
  }
  if (!ascending) InvertFrom(0, &out);
  *key += out;
  return Status::OK();
}

}  // namespace jet
