// Encoding rows for writing (Jet 3 and Jet 4): checking a value against its
// column, turning one Value per column into the row bytes of a data page,
// and splitting a stored row into its columns' bytes so an update can keep
// the fields it does not change.
//
// Jet 4 row as EncodeRow writes it:
//   OFFSET           SIZE       MEANING
//   0                2          num_cols = TableDef::max_cols
//   2                F          fixed area: column at 2 + fixed_offset; F covers
//                               every fixed column, null ones as zeros
//   2 + F            V          var data, in var-slot order, no separators
//   ...              P          zero padding up to `min_size` (updates in place)
//   ...              2          eod: where var data ends (before the padding)
//   ...              2n         var_off[n-1] .. var_off[0], n = num_var_cols
//   ...              2          n
//   size - M         M          null mask, M = (max_cols + 7) / 8, bit k for
//                               column number k: 1 = present / Boolean true
// Without var columns in the table (num_var_cols = 0) the eod, offsets and n
// are left out and the padding sits before the null mask.
//
// A Jet 3 row is the same with one-byte fields, and a jump table for the
// offsets past 255 (row_codec.h shows it):
//   0                1          num_cols
//   1                F + V + P  as above
//   ...              n + 1      eod, off[n-1] .. off[0], each modulo 256
//   ...              J          jump[J-1] .. jump[0], J = (size - 1) / 256
//   ...              1          n
//   size - M         M          null mask
// Its text and memo values are bytes in the column's code page (the
// database's when the column names none); a character the code page lacks
// is refused, naming the column and the character.
//
// Invariants of every row EncodeRow returns:
//   (R1) RowDecoder reads back the values it was given (text as normalized
//        by the Jet 4 text rules, Currency and Numeric at the column's scale).
//   (R2) Every var slot 0..num_var_cols-1 is written, deleted columns'
//        slots included (empty); bits of deleted columns are 0.
//   (R3) size <= kJet4MaxRowSize (Jet 3: kJet3MaxRowSize). Values and the
//        row size are checked before
//        any long value is written, so a refused value or row writes no page;
//        a failure inside the LongValueWriter may leave LVAL rows behind, and
//        the caller rolls the unit back.
//   (R4) A field given as stored bytes is copied byte for byte: a memo kept
//        by an update keeps its 12-byte header and its LVAL rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/format.h"
#include "jet/status.h"
#include "jet/types.h"

namespace jet {

class LongValueWriter;
class TextDecoder;

// Largest row on a Jet 4 / Jet 3 data page, long-value data kept outside
// excluded.
inline constexpr uint32_t kJet4MaxRowSize = 4060;
inline constexpr uint32_t kJet3MaxRowSize = 2012;

// One column of a stored row.
struct StoredField {
  // The null-mask bit: the column is not null (for a Boolean, its value).
  bool present = false;
  // The column's bytes: a fixed column's slice of the fixed area (kept even
  // when null, if the row's fixed area holds it), a var column's slot (a
  // memo's 12-byte header and inline data). Empty for a Boolean and for a
  // column the row predates.
  std::string bytes;
};

// What EncodeRow writes for one column: a Value to encode, or the stored
// bytes of an existing row to copy unchanged.
struct FieldInput {
  Value value;
  const StoredField* stored = nullptr;  // when set, copied and `value` ignored

  static FieldInput Of(const Value& v) { return FieldInput{v, nullptr}; }
  static FieldInput Keep(const StoredField& f) { return FieldInput{Value::Null(), &f}; }
};

// Whether `value` may be stored in `column` of `table`:
//   Boolean        -> Boolean
//   Byte, Integer, Long (integer kinds) -> Byte, Integer, Long, Currency,
//                     Single, Double, Numeric, when in the column's range
//   Currency (x 10,000) -> Currency, Single, Double; Byte/Integer/Long/
//                     Numeric when whole and in range
//   Single, Double -> Single, Double, Currency (rounded to 4 places)
//   DateTime       -> Date/Time
//   Text (UTF-8)   -> Text (at most length/2 chars), Memo; in a Jet 3 table
//                     (`code_pages` set) at most length bytes in the
//                     column's code page, every character in it
//   Binary         -> Binary (at most length bytes), OLE
//   Guid           -> GUID;  Decimal -> Numeric (rescaled to the column's
//                     scale, rounding half away from zero; within precision)
// A null is accepted (required columns are the table writer's check).
// kInvalidArgument names the table, the column and the value, e.g.
//   table Events, column EventColor: text of 51 characters is longer than the column's 50
Status CheckValue(const TableDef& table, const ColumnDef& column, const Value& value,
                  TextDecoder* code_pages = nullptr);

// Encodes one row of `table` into *row. `fields` has one entry per
// TableDef::columns, in that order. Values are checked with CheckValue.
// Memo and OLE values are stored through `long_values` (may be null when
// the row holds none, or only values short enough to stay inline).
// `min_size` pads the row to at least that size (an update in place keeps
// the slot's length). A Jet 3 row needs `code_pages`, the file's text
// conversions. Errors: kInvalidArgument for a value that does not fit or a
// row over the largest size (naming the table), kNotSupported for a Jet 3
// table of 255 columns or more, whatever `long_values` reports. See
// (R1)..(R4).
Status EncodeRow(const Format& format, const TableDef& table, const std::vector<FieldInput>& fields,
                 LongValueWriter* long_values, uint32_t min_size, std::string* row,
                 TextDecoder* code_pages = nullptr);

// Splits the stored row [row, row+size) found at page/slot into one
// StoredField per TableDef::columns (Jet 3 and Jet 4). Offsets outside the
// row are Corruption naming page and slot.
Status SplitStoredRow(const Format& format, const TableDef& table, const uint8_t* row,
                      uint32_t size, uint32_t page_number, uint32_t slot,
                      std::vector<StoredField>* fields);

}  // namespace jet
