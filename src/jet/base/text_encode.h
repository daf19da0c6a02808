// Text encoding for writing: UTF-8 (as callers give text) to the bytes a
// Jet 4 text or memo value stores. The reverse is AppendJet4Text (text.h).
//
// A Jet 4 value is either plain UCS-2LE (surrogate pairs for chars past
// U+FFFF) or the compressed form: FF FE, then one byte per char with a zero
// high byte, where each 00 byte switches between that mode and runs of
// plain UCS-2LE pairs (which readers end at any 00 byte).
//   (T1) Compressed without switches only when the column allows it (ext
//        flag 0x01), the text has 3 to kMaxCompressedChars chars, and every
//        char is U+0001..U+00FF. Shorter text gains nothing (FF FE costs two
//        bytes), so it stays plain; an empty text is zero bytes.
//   (T2) A text that begins with U+FEFF would begin FF FE in plain form and
//        be read as compressed, so it is always written compressed with
//        switches, whatever the column's flag and length: chars
//        U+0001..U+00FF one byte each, the others in plain runs (FF FE 00 FF
//        FE 00 41 42 43 is U+FEFF "ABC"). A char whose low byte is 00
//        (U+0000, U+0100, ... U+FF00) fits neither mode; such a text is
//        refused, as it cannot be stored to read back unchanged.
//   (T3) Every encoded value decodes with AppendJet4Text to the given text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "jet/status.h"

namespace jet {

// Longest text stored compressed: longer memos must be plain UCS-2.
inline constexpr size_t kMaxCompressedChars = 1024;
// Compressed form only pays from this length on.
inline constexpr size_t kMinCompressedChars = 3;

// Converts UTF-8 to UTF-16 code units. kInvalidArgument on malformed UTF-8
// (bad lead or continuation byte, overlong form, surrogate code point, past
// U+10FFFF, cut short), naming the byte offset.
Status Utf8ToUtf16(std::string_view utf8, std::u16string* out);

// Characters the text occupies in a Jet 4 column (UTF-16 code units: a char
// past U+FFFF counts twice, as it takes two UCS-2 slots). kInvalidArgument
// on malformed UTF-8.
Result<size_t> Jet4TextLength(std::string_view utf8);

// Replaces *out with the stored bytes of `utf8`; `compressible` is the
// column's ext flag 0x01. See (T1), (T2): kInvalidArgument naming the char
// that a text beginning with U+FEFF cannot hold.
Status EncodeJet4Text(std::string_view utf8, bool compressible, std::string* out);

}  // namespace jet
