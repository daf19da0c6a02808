#include "jet/index/index_page.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_set>

#include "jet/base/coding.h"

namespace jet {
namespace {

struct Layout {
  uint32_t prev;
  uint32_t next;
  uint32_t tail;
  uint32_t prefix;
  uint32_t prefix_size;
  uint32_t marker;
  uint32_t mask;
  uint32_t mask_size;
  uint32_t first_entry;
};

constexpr Layout kJet3Layout = {8, 12, 16, 20, 1, 21, 22, 226, 248};
constexpr Layout kJet4Layout = {12, 16, 20, 24, 2, 26, 27, 453, 480};

const Layout& LayoutFor(const Format& format) {
  return format.IsJet3() ? kJet3Layout : kJet4Layout;
}

constexpr uint32_t kRowPointerSize = 4;
constexpr uint32_t kChildPointerSize = 4;
constexpr int kMaxDepth = 32;

uint32_t ReadBigEndian(const uint8_t* p, int size) {
  uint32_t v = 0;
  for (int i = 0; i < size; ++i) v = (v << 8) | p[i];
  return v;
}

void WriteBigEndian(uint8_t* p, uint32_t v, int size) {
  for (int i = size - 1; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

void AppendPointer(uint32_t page, uint8_t row, std::string* out) {
  uint8_t b[4];
  WriteBigEndian(b, page, 3);
  b[3] = row;
  out->append(reinterpret_cast<const char*>(b), 4);
}

// The whole entry's sort bytes, key || u24 page || u8 row, at position l.
uint8_t SortByte(const IndexEntry& e, size_t l) {
  if (l < e.key.size()) return static_cast<uint8_t>(e.key[l]);
  uint8_t pointer[4];
  WriteBigEndian(pointer, e.page, 3);
  pointer[3] = e.row;
  return pointer[l - e.key.size()];
}

// The prefix (P3): the bytes every entry's sort bytes begin with. For
// entries in order that is the common prefix of the first and the last;
// taking every entry into account keeps the encoder safe for entries in any
// order (no entry is ever shorter than the prefix it leaves out).
uint32_t CommonPrefix(const IndexPage& page) {
  if (page.entries.size() < 2) return 0;
  const IndexEntry& first = page.entries.front();
  size_t prefix = first.key.size() + 4;
  for (size_t i = 1; i < page.entries.size() && prefix > 0; ++i) {
    const IndexEntry& e = page.entries[i];
    prefix = std::min(prefix, e.key.size() + 4);
    size_t l = 0;
    while (l < prefix && SortByte(first, l) == SortByte(e, l)) ++l;
    prefix = l;
  }
  return static_cast<uint32_t>(prefix);
}

Status Bad(uint32_t page_number, const std::string& what) {
  return Status::Corruption("index page " + std::to_string(page_number) + ": " + what);
}

}  // namespace

std::string IndexEntry::SortBytes() const {
  std::string s = key;
  AppendPointer(page, row, &s);
  return s;
}

int CompareEntryTo(const IndexEntry& a, std::string_view key, uint32_t page, uint8_t row) {
  // Key first, then the row pointer: an empty Binary key (the flag byte
  // alone) is a prefix of every other Binary key and sorts before them
  // whatever the rows.
  const int c = std::string_view(a.key).compare(key);
  if (c != 0) return c < 0 ? -1 : 1;
  const uint64_t x = (uint64_t{a.page} << 8) | a.row, y = (uint64_t{page} << 8) | row;
  return x < y ? -1 : x > y ? 1 : 0;
}

int CompareEntries(const IndexEntry& a, const IndexEntry& b) {
  return CompareEntryTo(a, b.key, b.page, b.row);
}

uint32_t IndexEntriesOffset(const Format& format) { return LayoutFor(format).first_entry; }

uint32_t IndexUsableBytes(const Format& format) {
  return format.page_size - LayoutFor(format).first_entry;
}

Status DecodeIndexPage(const Format& format, const uint8_t* p, uint32_t page_number,
                       IndexPage* out) {
  const Layout& layout = LayoutFor(format);
  if (p[0] != kPageIndexNode && p[0] != kPageIndexLeaf) {
    return Bad(page_number, "page type " + std::to_string(p[0]) + " is not an index page");
  }
  out->leaf = p[0] == kPageIndexLeaf;
  out->free_space = ReadU16(p + 2);
  out->tdef_page = ReadU32(p + 4);
  out->prev_page = ReadU32(p + layout.prev);
  out->next_page = ReadU32(p + layout.next);
  out->tail_page = ReadU32(p + layout.tail);
  out->prefix_length = layout.prefix_size == 1 ? p[layout.prefix] : ReadU16(p + layout.prefix);
  out->entries.clear();

  const uint32_t usable = format.page_size - layout.first_entry;
  const uint32_t pointer_size = kRowPointerSize + (out->leaf ? 0 : kChildPointerSize);
  const uint8_t* data = p + layout.first_entry;
  const uint8_t* mask = p + layout.mask;
  const uint32_t bits = std::min(layout.mask_size * 8, usable + 1);
  for (uint32_t i = layout.mask_size * 8; i-- > bits;) {
    if (mask[i / 8] & (1u << (i % 8))) {
      return Bad(page_number,
                 "entry mask marks byte " + std::to_string(i) + ", past the end of the page");
    }
  }
  out->entries.reserve(usable / (pointer_size + 1));
  uint32_t start = 0;
  std::string whole;  // only for entries whose stored part is shorter than their pointers
  for (uint32_t byte = 0; byte < (bits + 7) / 8; ++byte) {
    for (unsigned m = mask[byte]; m != 0; m &= m - 1) {
      const uint32_t b = byte * 8 + static_cast<uint32_t>(std::countr_zero(m));
      if (b >= bits) break;
      const uint32_t stored = b - start;
      const size_t index = out->entries.size();
      const uint32_t prefix = index == 0 ? 0 : out->prefix_length;
      if (index == 0 && stored < out->prefix_length) {
        return Bad(page_number, "prefix length " + std::to_string(out->prefix_length) +
                                    " is longer than the first entry (" + std::to_string(stored) +
                                    " bytes)");
      }
      const uint32_t total = prefix + stored;
      if (stored == 0 || total < pointer_size) {
        return Bad(page_number, "entry " + std::to_string(index) + " is " + std::to_string(total) +
                                    " bytes, too short");
      }
      // The whole entry is data[0, prefix) followed by data[start, b).
      const uint32_t key_size = total - pointer_size;
      const uint8_t* pointers;
      IndexEntry& e = out->entries.emplace_back();
      if (stored >= pointer_size) {
        e.key.reserve(key_size);
        e.key.assign(reinterpret_cast<const char*>(data), prefix);
        e.key.append(reinterpret_cast<const char*>(data + start), key_size - prefix);
        pointers = data + start + stored - pointer_size;
      } else {
        whole.assign(reinterpret_cast<const char*>(data), prefix);
        whole.append(reinterpret_cast<const char*>(data + start), stored);
        e.key.assign(whole, 0, key_size);
        pointers = reinterpret_cast<const uint8_t*>(whole.data()) + key_size;
      }
      e.page = ReadBigEndian(pointers, 3);
      e.row = pointers[3];
      if (!out->leaf) e.child = ReadBigEndian(pointers + 4, 4);
      start = b;
    }
  }
  return Status::OK();
}

namespace {

uint32_t EntryBytes(const IndexPage& page, uint32_t prefix) {
  const uint32_t pointer_size = kRowPointerSize + (page.leaf ? 0 : kChildPointerSize);
  uint32_t total = 0;
  for (size_t i = 0; i < page.entries.size(); ++i) {
    total += static_cast<uint32_t>(page.entries[i].key.size()) + pointer_size;
    if (i > 0) total -= prefix;
  }
  return total;
}

}  // namespace

namespace {

// The prefix written: (P3), except on Jet 3 node pages, which Access writes
// without one (their prefix byte is 0 and the byte after it marks the node);
// a Jet 3 prefix is one byte.
uint32_t PrefixFor(const Format& format, const IndexPage& page) {
  if (format.IsJet3() && !page.leaf) return 0;
  const uint32_t prefix = CommonPrefix(page);
  return LayoutFor(format).prefix_size == 1 ? std::min<uint32_t>(prefix, 255) : prefix;
}

}  // namespace

uint32_t IndexPageEntryBytes(const Format& format, const IndexPage& page) {
  return EntryBytes(page, PrefixFor(format, page));
}

Status EncodeIndexPage(const Format& format, const IndexPage& page, uint32_t page_number,
                       uint8_t* out) {
  const Layout& layout = LayoutFor(format);
  const uint32_t usable = format.page_size - layout.first_entry;
  const uint32_t prefix = PrefixFor(format, page);
  const uint32_t needed = EntryBytes(page, prefix);
  if (needed > usable) {
    return Status::InvalidArgument("index page " + std::to_string(page_number) + ": " +
                                   std::to_string(page.entries.size()) + " entries need " +
                                   std::to_string(needed) + " bytes, the page holds " +
                                   std::to_string(usable));
  }
  std::memset(out, 0, format.page_size);
  out[0] = page.leaf ? kPageIndexLeaf : kPageIndexNode;
  out[1] = 0x01;
  WriteU32(out + 4, page.tdef_page);
  WriteU32(out + layout.prev, page.prev_page);
  WriteU32(out + layout.next, page.next_page);
  WriteU32(out + layout.tail, page.leaf ? 0 : page.tail_page);
  if (layout.prefix_size == 1) {
    out[layout.prefix] = static_cast<uint8_t>(prefix);
  } else {
    WriteU16(out + layout.prefix, static_cast<uint16_t>(prefix));
  }
  out[layout.marker] = page.leaf ? 0x00 : 0x01;
  uint8_t* mask = out + layout.mask;
  uint8_t* data = out + layout.first_entry;
  uint32_t at = 0;
  for (size_t i = 0; i < page.entries.size(); ++i) {
    // The whole entry is key || u24 page || u8 row [|| u32 child]; all but
    // the first leave out their first `prefix` bytes.
    const IndexEntry& e = page.entries[i];
    uint8_t tail[8];
    WriteBigEndian(tail, e.page, 3);
    tail[3] = e.row;
    WriteBigEndian(tail + 4, e.child, 4);
    const uint32_t tail_size = page.leaf ? 4 : 8;
    const uint32_t key_size = static_cast<uint32_t>(e.key.size());
    const uint32_t skip = i == 0 ? 0 : prefix;
    if (skip < key_size) {
      std::memcpy(data + at, e.key.data() + skip, key_size - skip);
      at += key_size - skip;
      std::memcpy(data + at, tail, tail_size);
      at += tail_size;
    } else {
      std::memcpy(data + at, tail + (skip - key_size), tail_size - (skip - key_size));
      at += tail_size - (skip - key_size);
    }
    mask[at / 8] = static_cast<uint8_t>(mask[at / 8] | (1u << (at % 8)));
  }
  WriteU16(out + 2, static_cast<uint16_t>(usable - at));
  return Status::OK();
}

Status ReadIndexEntries(const PageFile& file, const Format& format, uint32_t root_page,
                        std::vector<IndexEntry>* out) {
  out->clear();
  IndexPage page;
  uint32_t number = root_page;
  const uint8_t* bytes = nullptr;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth) {
      return Bad(root_page, "the tree is deeper than " + std::to_string(kMaxDepth) + " levels");
    }
    JET_RETURN_IF_ERROR(file.GetPage(number, "index", &bytes));
    JET_RETURN_IF_ERROR(DecodeIndexPage(format, bytes, number, &page));
    if (page.leaf) break;
    const uint32_t child = page.entries.empty() ? page.tail_page : page.entries.front().child;
    if (child == 0) return Bad(number, "node page has no child");
    number = child;
  }
  std::unordered_set<uint32_t> seen;
  while (true) {
    if (!seen.insert(number).second || seen.size() > file.page_count()) {
      return Bad(number, "the leaf chain of the index rooted at page " + std::to_string(root_page) +
                             " loops");
    }
    for (IndexEntry& e : page.entries) out->push_back(std::move(e));
    if (page.next_page == 0) break;
    number = page.next_page;
    JET_RETURN_IF_ERROR(file.GetPage(number, "index leaf chain", &bytes));
    JET_RETURN_IF_ERROR(DecodeIndexPage(format, bytes, number, &page));
    if (!page.leaf) return Bad(number, "a node page is linked into the leaf chain");
  }
  return Status::OK();
}

}  // namespace jet
