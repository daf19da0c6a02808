// Rows on data pages: locating a row slot, splitting a row into its fields
// (Jet 4 layout, and Jet 3 with one-byte offsets and its jump table), and
// decoding the fields into Values.
//
// Jet 4 row, from its first byte:      Jet 3 row, from its last byte back:
//   u16 num_cols                         null mask ((num_cols+7)/8 bytes)
//   fixed area (fixed_offset + 2)        u8 var_count
//   variable data                        jump table ((row_len-1)/256 bytes)
//   u16 eod                              u8 off[0] .. off[var_count] (eod)
//   u16 var_off[n-1] .. var_off[0]       ... and from the front:
//   u16 n                                u8 num_cols, fixed area (offset + 1)
//   null mask (bit set = not null)
// Without variable columns in the table, the var section is absent.
//
// Everything read from the row is bounds-checked; a bad offset is a
// Corruption naming the page and slot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/text.h"
#include "jet/format/format.h"
#include "jet/format/row_slots.h"
#include "jet/pager/page_file.h"
#include "jet/types.h"

namespace jet {

// Field boundaries of one row.
struct RowFields {
  uint32_t num_cols = 0;
  const uint8_t* null_mask = nullptr;
  uint32_t null_mask_size = 0;
  uint32_t fixed_end = 0;  // fixed columns must end at or before this
  uint32_t var_count = 0;
  uint32_t var_table_start = 0;       // var data must end at or before this
  std::vector<uint32_t> var_offsets;  // var_count + 1 entries, the last is eod

  bool IsPresent(uint32_t column_number) const {
    return column_number < num_cols &&
           (null_mask[column_number / 8] & (1u << (column_number % 8))) != 0;
  }
};

Status ParseRowFields(const Format& format, const uint8_t* row, uint32_t size,
                      bool table_has_var_columns, uint32_t page_number, uint32_t slot,
                      RowFields* fields);

// Decodes rows of one table into Row, reusing the Row's buffers: the text
// and binary bytes of a row go into Row::storage, which keeps the size it
// grew to (the bytes past the current row's are left over from earlier
// rows), so that decoding a row does not fill or shrink it.
class RowDecoder {
 public:
  RowDecoder(const PageFile& file, const Format& format, TextDecoder& text, const TableDef& table);

  // Decodes the row bytes [row, row+size) found at page/slot.
  Status Decode(const uint8_t* row, uint32_t size, uint32_t page_number, uint32_t slot, Row* out);

 private:
  struct Pending {  // a text or binary value whose bytes sit in Row::storage
    uint32_t column_index;
    Value::Kind kind;
    uint32_t offset;
    uint32_t size;
  };

  // The steps of Decode, for the row at hand. Readies `out` and the decoder.
  [[gnu::always_inline]] inline void StartRow(uint32_t column_count, Row* out);
  // Where the bytes of a column that is present lie in the row: [*start, *end).
  [[gnu::always_inline]] inline Status FieldBounds(const ColumnDef& column, uint32_t page_number,
                                                   uint32_t slot, uint32_t* start,
                                                   uint32_t* end) const;
  // The value of the column's bytes: a fixed-size type at once, Jet 4 text
  // and in-row memos as UTF-8, the rest through DecodeBytes.
  [[gnu::always_inline]] inline Status DecodeField(const ColumnDef& column, uint32_t column_index,
                                                   const uint8_t* data, uint32_t size,
                                                   uint32_t page_number, uint32_t slot, Row* out);
  // Points the text and binary values at their bytes in out->storage.
  [[gnu::always_inline]] inline void FinishRow(uint32_t page_number, uint32_t slot, Row* out);
  // Text, Memo, OLE and Binary: bytes into out->storage.
  Status DecodeBytes(const ColumnDef& column, uint32_t column_index, const uint8_t* data,
                     uint32_t size, uint32_t page_number, uint32_t slot, Row* out);
  // Converts text bytes of `column` to UTF-8 at the end of the storage in use.
  Status PutText(const ColumnDef& column, const uint8_t* data, size_t size, Row* out);
  // Jet 4 text as UTF-8 at the end of the storage in use, and its value to be.
  [[gnu::always_inline]] inline void PutJet4TextValue(uint32_t column_index, const uint8_t* data,
                                                      uint32_t size, std::string* storage);
  // Room for n more bytes after the storage in use.
  char* StorageRoom(Row* out, size_t n);
  // Makes the storage hold at least n more bytes after those in use.
  [[gnu::noinline]] void GrowStorage(std::string* storage, size_t n);
  void AddPending(uint32_t column_index, Value::Kind kind, uint32_t offset) {
    pending_.push_back({column_index, kind, offset, used_ - offset});
  }

  const PageFile& file_;
  const Format& format_;
  TextDecoder& text_;
  const TableDef& table_;
  bool has_var_columns_;
  const bool jet4_;
  RowFields fields_;
  std::vector<Pending> pending_;
  uint32_t used_ = 0;              // bytes of Row::storage holding the current row's values
  std::string scratch_;            // a long value read from a chain of rows
  PageBuffer long_value_page_;     // the last long-value page read, not cached
  uint64_t file_size_ = 0;         // the file's, when the row began: its long values take no more
  uint64_t long_value_bytes_ = 0;  // read for the current row
};

// Iterates the live rows of a table in page order, then slot order; see
// TableCursor. Pages in the owned map that are not data pages of this table
// are skipped (Check reports them).
//
// An overflow row ("lookup" flag) holds only a pointer to its data, which
// sits in a row flagged deleted elsewhere. The row is produced where its data
// is stored, with Row::page/slot naming the pointer row: that is the order of
// the other readers of these files (overflowTestV2000.mdb moves two rows to
// later pages). Deleted rows that no overflow row points at are skipped.
class TableScanner : public TableCursor {
 public:
  TableScanner(const PageFile& file, const Format& format, TextDecoder& text, TableDef table,
               std::vector<uint32_t> pages);

  bool Next(Row* row, Status* status) override;

  // After a damaged row or page, Next reports it (false with the Status) and
  // the next call goes on with the following row instead of ending the scan.
  // Check uses this to list every damaged row of a table.
  void KeepGoingAfterErrors() { keep_going_ = true; }

 private:
  struct Target {
    uint32_t target;  // row pointer of the moved data
    uint32_t header;  // row pointer of the overflow row
    bool done;
  };

  // The steps of Next. The overflow pointers of every owned page, sorted.
  Status Prepare();
  // The owned page pages_[page_index_] becomes the current one when it is
  // a data page of the table (page_ stays null otherwise).
  Status OpenNextPage();
  // Reads slot `slot` of the current page into `row`; *produced is false
  // when the slot holds no row to produce here (deleted, an overflow row,
  // empty).
  [[gnu::always_inline]] inline Status ReadSlot(uint32_t slot, Row* row, bool* produced);
  // After the owned pages: the moved rows whose data lies outside them.
  bool NextMovedOutside(Row* row, Status* status);
  // Collects the overflow pointers of every owned page.
  Status FindOverflowTargets();
  // Owned page pages_[index], read past the cache into window_ (with the
  // owned pages that follow it without a gap, in the same read).
  Status GetOwnedPage(size_t index, const uint8_t** page);
  Target* FindTarget(uint32_t pointer);
  // Reads a row, following overflow pointers (a bounded number of hops).
  Status ReadRow(const uint8_t* page, uint32_t page_number, uint32_t slot, const RowSpan& span,
                 uint32_t header, Row* row);
  bool Fail(Status s, Status* status);

  const PageFile& file_;
  const Format& format_;
  TableDef table_;
  std::vector<uint32_t> pages_;
  // A scan reads each owned page twice, once for the overflow pointers and
  // once for its rows, and needs it no longer: its pages are not cached.
  PageBuffer window_;
  RowDecoder decoder_;
  std::vector<Target> targets_;  // sorted by target
  bool prepared_ = false;
  size_t page_index_ = 0;
  const uint8_t* page_ = nullptr;
  uint32_t page_number_ = 0;
  uint32_t row_count_ = 0;
  uint32_t slot_ = 0;
  size_t leftover_index_ = 0;
  bool keep_going_ = false;
  bool done_ = false;
};

}  // namespace jet
