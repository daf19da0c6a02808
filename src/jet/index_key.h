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
//
// Invariants:
//   (K1) Unsigned byte comparison of two keys of one index orders the rows
//        as the index orders them; equal keys mean equal indexed values.
//   (K2) Keys are self-delimiting: no key of an index is a proper prefix of
//        another, so comparing key || row pointer bytes orders entries by
//        key first.
//   (K3) Only the types above are encoded. Text, Memo, Binary, GUID and
//        Numeric columns need collation or layout rules this engine does
//        not reproduce; IndexSupportedForWrite says so before any change.
#pragma once

#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/status.h"

namespace jet {

// True when every column of `index` has a type whose key this engine builds
// (K3). Otherwise false, with `why` naming the index, the column and its type.
bool IndexSupportedForWrite(const TableDef& table, const IndexDef& index, std::string* why);

// Builds the key of `index` for a row. `row_values` holds one Value per
// column of `table`, in TableDef::columns order (a decoded Row's values, or
// the values about to be written). A value of the wrong kind for its column
// is kInvalidArgument naming index, column and value; an unsupported column
// type is kNotSupported.
Status EncodeIndexKey(const TableDef& table, const IndexDef& index,
                      const std::vector<Value>& row_values, std::string* key);

// True when every column of `index` is null in the row: such rows get no
// entry in an index that ignores nulls, and may repeat in a unique index.
// Boolean columns are never null.
bool IndexColumnsAllNull(const TableDef& table, const IndexDef& index,
                         const std::vector<Value>& row_values);

}  // namespace jet
