// What a statement's failure reports: its kind, for the connection layer to
// give each kind its number, and a description in plain words.
#pragma once

#include <string>

namespace sql {

enum class ErrorKind {
  kSyntax,        // the text is not a statement of the grammar (position in the message)
  kTypeMismatch,  // a value cannot be converted to its column's type ("Data type mismatch")
  kNoSuchTable,
  kNoSuchColumn,
  kConstraint,    // duplicate key, required column, text too long
  kNotSupported,  // a statement form or table the engine cannot serve
  kDatabase,      // the engine failed (I/O, damaged file, locked)
};

struct Error {
  ErrorKind kind = ErrorKind::kDatabase;
  std::string description;  // plain words: what failed, where (table, column, value)
};

}  // namespace sql
