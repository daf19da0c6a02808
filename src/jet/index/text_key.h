// Text index keys: the value bytes of a Text or Memo segment of an index key
// (after its flag byte, index_key.h), built as Access builds them in the
// "General" sort order, from the collation tables in collation_table.h.
//
// Jet 4 "General legacy" (sort order 0x0409, version 0). The value is cut to
// its first 255 UTF-16 code units, trailing spaces are dropped, and each code
// unit is looked up; its class says what it adds:
//   CLASS  INLINE BYTES  ELSE
//   S      yes           -
//   I      yes           extra bytes for its position
//   Z      yes           optional extra bytes, and a crazy flag (2 or 3)
//   U      -             an unprintable record (its position, its code)
//   P      -             adds its byte to the last extra byte (a leading
//                        "prefix" byte when there is none yet)
//   X      -             nothing
// Positions count the code units that gave inline bytes. Ascending layout:
//   inline bytes of every unit
//   01
//   extra stream: per position up to the last with extras, its extra bytes
//     or 02; trailing bytes 00..02 dropped
//   if crazy flags or unprintables:
//     01 01
//     if crazy flags: trailing 3s dropped, the rest three per byte
//       (80 | f0 << 4 | f1 << 2 | f2), then FF 02 80 FF 80; FF if
//       unprintables follow
//     if unprintables: 01, then per unprintable unit
//       u16 BE (0x8000 | 7 + 4 q), 06, its code
//       where q = its position while there is no extra stream, else
//       stream bytes + (position - positions covered) - prefix length
//   00
// Descending: every byte above is inverted, then 00 follows.
// Example: "ümlaut" -> 6F 60 5E 4A 6F 6D 01 13 00.
//
// Jet 3 "General 97" (sort order 0x0409): each char maps to a byte row (chars
// up to U+00FF directly, 27 others to their cp1252 row, the rest are
// ignored). Inline bytes as above; classes S, G (a base letter that has
// accented forms), I (one extra nibble) and X. The extra nibbles form a
// stream that starts with 0; before each I char's nibble go as many 2s as
// there were G chars since the previous I char. The stream ends with a 0
// nibble and is written high nibble first, zero-padded; without one a single
// 00 ends the value. No 01 separator. Descending inverts the value bytes.
// Example: "AAÿAA" -> 60 60 7D 60 60 02 26 00.
//
// Invariants:
//   (X1) Keys equal the bytes Access stores for the same text, byte for byte:
//        text_key_test.cc compares every text index of the shared files.
//   (X2) Nothing is guessed. Another sort order or version, and characters
//        past U+FFFF (whose surrogate halves the tables do not cover), are
//        refused: kNotSupported naming the sort order or the character.
//   (X3) Case does not reach the key: "abc" and "ABC" give equal bytes, so a
//        unique text index holds one of them only.
#pragma once

#include <string>
#include <string_view>

#include "jet/status.h"
#include "jet/types.h"

namespace jet {

// Sort order whose keys this file builds.
inline constexpr uint16_t kGeneralSortOrder = 0x0409;

// True when `column` of a Jet 4 table is Text or Memo in sort order 0x0409
// version 0. Otherwise false, with `why` (may be null) naming the column and
// its sort order ("sort order 0x0405 version 0") or its type.
bool TextKeySupported(const ColumnDef& column, std::string* why);

// Appends the Jet 4 General legacy value bytes of `utf8` (no flag byte).
// kInvalidArgument for malformed UTF-8, kNotSupported for a character past
// U+FFFF; both name the value. On failure *key is unchanged.
Status AppendTextKeyValue(std::string_view utf8, bool ascending, std::string* key);

// Appends the Jet 3 General 97 value bytes of `utf8` (no flag byte): for
// reading and checking Jet 3 indexes. Errors as above (malformed UTF-8).
Status AppendGeneral97TextKeyValue(std::string_view utf8, bool ascending, std::string* key);

}  // namespace jet
