// Index pages: one page of an index B-tree, decoded into whole entries and
// encoded back. Leaves (0x04) hold one entry per indexed row; nodes (0x03)
// hold one entry per child page but the last (the "tail" child).
//
// Page header:
//   OFFSET J3   OFFSET J4   SIZE (J3/J4)  MEANING
//   0           0           1             0x03 node / 0x04 leaf
//   1           1           1             0x01
//   2           2           2             free space = page size - end of last entry
//   4           4           4             TDEF page of the table
//   -           8           4             zero
//   8           12          4             previous page at this level (0 = none)
//   12          16          4             next page at this level (0 = none)
//   16          20          4             tail child page (nodes; 0 on leaves)
//   20          24          1 / 2         prefix length L
//   21          26          1             0x01 on nodes, 0x00 on leaves
//   22          27          226 / 453     entry mask
//   248         480         -             first entry (1800 / 3616 usable bytes)
//
// Entries are stored back to back from the first entry offset. Mask bit b
// (LSB first, counted from the first entry byte) is set where an entry ends.
// The first entry is stored whole; every later one omits its first L bytes,
// which are those of the first entry.
//
// Entry (whole, all integers big-endian):
//   key (index_key.h) | u24 data page | u8 row | [nodes: u32 child page]
// A node entry's key and row pointer are those of the greatest leaf entry
// below its child.
//
// Invariants:
//   (P1) Decoding trusts nothing: an entry that runs past the page, a mask
//        bit past the usable area, a prefix longer than an entry or an entry
//        too short for its pointers is a Corruption naming the page.
//   (P2) EncodeIndexPage writes the whole page (header, mask, entries, free
//        space, zero slack), so that nothing of an earlier image survives.
//   (P3) The prefix written is the common prefix of every entry's key ||
//        row pointer bytes (mostly that of the first and the last entry;
//        an empty Binary key's row pointer can cut it shorter, K2). So no
//        entry is shorter than the bytes it leaves out, whatever order a
//        damaged page put its entries in. Jet 3 node pages are
//        written without a prefix, as Access writes them, and a Jet 3
//        prefix stops at 255 bytes.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format/format.h"
#include "jet/pager/page_file.h"
#include "jet/status.h"
#include "jet/types.h"

namespace jet {

struct IndexEntry {
  std::string key;     // without the row pointer
  uint32_t page = 0;   // data page of the row (24 bits)
  uint8_t row = 0;     // row slot
  uint32_t child = 0;  // node entries only

  RowId row_id() const { return RowId{page, row}; }
  // key || u24 page BE || u8 row: the entry's bytes before its child pointer.
  std::string SortBytes() const;
};

// Orders by key (unsigned bytes, a proper prefix first), then by row
// pointer, as Access does (index_key.h, K2).
int CompareEntries(const IndexEntry& a, const IndexEntry& b);
int CompareEntryTo(const IndexEntry& a, std::string_view key, uint32_t page, uint8_t row);

struct IndexPage {
  bool leaf = true;
  uint32_t tdef_page = 0;
  uint32_t prev_page = 0;
  uint32_t next_page = 0;
  uint32_t tail_page = 0;
  std::vector<IndexEntry> entries;

  // As read (DecodeIndexPage); EncodeIndexPage computes its own.
  uint32_t prefix_length = 0;
  uint32_t free_space = 0;
};

// First entry byte and usable entry bytes per page.
uint32_t IndexEntriesOffset(const Format& format);
uint32_t IndexUsableBytes(const Format& format);

// Decodes an index page (J3 or J4). (P1)
Status DecodeIndexPage(const Format& format, const uint8_t* page, uint32_t page_number,
                       IndexPage* out);

// Bytes the entries of `page` take when encoded with the prefix of (P3).
uint32_t IndexPageEntryBytes(const Format& format, const IndexPage& page);

// Encodes `page` into `out` (format.page_size bytes). Fails with
// kInvalidArgument when the entries do not fit (P2, P3).
Status EncodeIndexPage(const Format& format, const IndexPage& page, uint32_t page_number,
                       uint8_t* out);

// Every leaf entry of the index rooted at `root_page`, in page order: down
// the first entries to the leftmost leaf, then along next links. Refuses
// loops, a depth over 32 and pages of the wrong type.
Status ReadIndexEntries(const PageFile& file, const Format& format, uint32_t root_page,
                        std::vector<IndexEntry>* out);

}  // namespace jet
