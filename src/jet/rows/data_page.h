// Changing data pages: formatting a new page, adding a row, replacing a row
// with one of the same size, and flagging rows (data_page.cc). Reading rows
// stays in row_codec.h.
//
// Data page (Jet 4 / Jet 3 offsets in format.h):
//   01 01, u16 free space, u32 owner (TDEF page, or "LVAL"), [J4: u32 0],
//   u16 row count, u16 offset per row; rows packed downward from the page
//   end, row i ending where row i-1 starts.
// Invariants kept here:
//   (D1) free space = page_size - header - sum(row_len + 2), and equals the
//        gap between the offset table and the lowest row;
//   (D2) row slots are never renumbered or reused: indexes and pointers
//        name them; at most 255 rows a page;
//   (D3) a row deleted here keeps no bytes: its slot, flagged kRowDeleted |
//        kRowLookup, has length 0 and the rows below it sit higher by the
//        length it had, as Access leaves the rows it deletes, so the room
//        goes to the next row added.
#pragma once

#include <cstdint>
#include <string_view>

#include "jet/format/format.h"
#include "jet/status.h"

namespace jet {

inline constexpr uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL" read as u32 LE
inline constexpr uint32_t kMaxRowsPerPage = 255;

// Formats `page` as an empty data page owned by `owner` (a TDEF page number,
// or kLongValueOwner).
void InitDataPage(const Format& format, uint8_t* page, uint32_t owner);

uint32_t DataPageFreeSpace(const Format& format, const uint8_t* page);

// Whether a row of `row_size` bytes can be added (room and a free slot),
// judged from the stored free space and row count.
bool RowFits(const Format& format, const uint8_t* page, uint32_t row_size);

// For a page of a free-space map that could not take a row of `row_size`
// bytes: whether it stays listed. It does only while a row of `min_row`
// bytes still fits and the row was larger than half an empty page's room (a
// page missing such a row may still take ordinary ones); otherwise pages
// that keep missing would stay in front of those that have room.
bool StaysInFreeMap(const Format& format, const uint8_t* page, uint32_t row_size, uint32_t min_row);

// Adds a row in the next slot (*slot gets its number), with the offset
// entry's flag bits set to `flags`. A page whose free space disagrees with
// its offsets (D1) is Corruption and stays unchanged; a row that does not
// fit is kInvalidArgument (check RowFits first).
Status AddRow(const Format& format, uint8_t* page, uint32_t page_number, std::string_view row,
              uint16_t flags, uint8_t* slot);

// Overwrites the bytes of row `slot` with `row` of exactly the same size.
Status ReplaceRow(const Format& format, uint8_t* page, uint32_t page_number, uint32_t slot,
                  std::string_view row);

// Deletes row `slot` (D3): its offset entry gets kRowDeleted | kRowLookup
// and the offset where its row ended, the rows of the later slots move up by
// its length, and the free space grows by as much. The bytes given back are
// zeroed. A page whose free space disagrees with its offsets (D1) is
// Corruption and stays unchanged.
Status DeleteRow(const Format& format, uint8_t* page, uint32_t page_number, uint32_t slot);

// Whether the page has row slots and every one of them is deleted (flagged
// kRowDeleted | kRowLookup): then nothing may point at a row there. A slot
// flagged kRowDeleted alone holds a moved row's image, which its header row
// points at.
bool AllRowsDeleted(const Format& format, const uint8_t* page);

// Replaces the flag bits (kRowDeleted, kRowLookup) of row `slot` with
// `flags`, keeping its offset and bytes. Deleting a row is SetRowFlags with
// kRowDeleted | kRowLookup (0xC000), as Access flags the rows it deletes.
Status SetRowFlags(const Format& format, uint8_t* page, uint32_t page_number, uint32_t slot,
                   uint16_t flags);

}  // namespace jet
