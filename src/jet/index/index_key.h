// Index keys: the bytes an index entry starts with, built from a row's
// values exactly as Access builds them, so that entries we write sort and
// compare like the ones already in the file.
//
// A key is the concatenation, in index column order, of one segment per
// column:
//   FLAG  VALUE BYTES
//   0x7F  ascending value                        (present, ascending)
//   0x80  ascending value, every byte inverted   (present, descending)
//   0x00  nothing                                (null, ascending: sorts first)
//   0xFF  nothing                                (null, descending: sorts last)
//
// Ascending value bytes per column type (all big-endian):
//   TYPE                        BYTES  VALUE
//   Byte                        1      the byte
//   Integer / Long              2 / 4  two's complement, top bit flipped
//   Currency (value x 10,000)   8      two's complement, top bit flipped
//   Single / Double / DateTime  4 / 8  IEEE bits; sign clear: top bit flipped,
//                                      sign set: every bit inverted
//   Boolean                     1      0x00 true, 0xFF false (never null)
//   Text / Memo                 -      Jet 4: General legacy; Jet 3: General
//                                      97 (text_key.h, which also inverts
//                                      for descending)
//   GUID                        18     the 16 bytes with Data1..Data3 turned
//                                      big-endian, as Binary
//   Binary                      9/8 B  8-byte groups, zero-padded, each + a
//                                      length byte: 09 when more groups
//                                      follow, else the real byte count;
//                                      nothing for an empty value
//   Numeric                     17     sign byte (80 negative) + 16-byte
//                                      magnitude at the column's scale
// Descending inverts the value bytes, except: GUID and Binary keep the 09 of
// every group but the last; Numeric follows the old Access rule for both
// directions: invert all 17 bytes when (negative == ascending), then the
// first byte becomes 00 for a negative value and FF otherwise.
//
// Invariants:
//   (K1) Unsigned byte comparison of two keys of one index orders the rows
//        as the index orders them; equal keys mean equal indexed values
//        (for text: equal in the collation, so "abc" == "ABC" == "abc ").
//        Numeric is the exception Access made: its old rule puts the
//        negative values of a descending index first, and we keep its bytes.
//   (K2) Entries are ordered by key, then by row pointer. Keys are
//        self-delimiting per column but for one: an empty Binary value is
//        the flag byte alone, a proper prefix of every other Binary key of
//        its column, and sorts before them whatever the rows. So key ||
//        row pointer bytes are not the order; the key, then the row, is.
//   (K3) Every indexable type is encoded. A Text or Memo column whose sort
//        order is not General (0x0409 version 0) needs a collation this
//        engine does not have; IndexKeysSupported says so before any
//        change, naming index, column and sort order.
//   (K4) Keys equal the bytes Access stores: index_key_test.cc rebuilds every
//        index of the shared files from the rows and compares.
#pragma once

#include <string>
#include <vector>

#include "jet/status.h"
#include "jet/types.h"

namespace jet {

// True when every column of `index` has a type whose key this engine builds
// (K3) in a file of `version`. Otherwise false, with `why` naming the index,
// the column and its type or sort order. A text column of an Access 97
// definition (it has a code page of its own) is refused unless `version` is
// kJet3: Jet 4 keys would not find its entries; in kJet3, a text column not
// in code page 1252 is refused, as General 97 orders that code page only.
bool IndexKeysSupported(const TableDef& table, const IndexDef& index, JetVersion version,
                        std::string* why);

// Builds the key of `index` for a row. `row_values` holds one Value per
// column of `table`, in TableDef::columns order (a decoded Row's values, or
// the values about to be written). A value of the wrong kind for its column
// is kInvalidArgument naming index, column and value; an unsupported column
// type or sort order is kNotSupported. `version` picks the text collation:
// General legacy for Jet 4, General 97 for Jet 3.
Status EncodeIndexKey(const TableDef& table, const IndexDef& index,
                      const std::vector<Value>& row_values, std::string* key,
                      JetVersion version = JetVersion::kJet4);

// True when every column of `index` is null in the row: such rows get no
// entry in an index that ignores nulls, and may repeat in a unique index.
// Boolean columns are never null.
bool IndexColumnsAllNull(const TableDef& table, const IndexDef& index,
                         const std::vector<Value>& row_values);

}  // namespace jet
