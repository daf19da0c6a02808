// Lexer and recursive-descent parser for the statements a Session runs
// (grammar in session.h). The parser only builds the statement; names are
// resolved and literals converted against the table when it runs
// (bind.h, convert.h).
//
// Invariants:
//   (P1) Every token and every node carries the 1-based character position
//        (counted in UTF-8 code points) where it starts in the statement.
//   (P2) A text that is not a statement of the grammar gives a syntax error
//        naming the statement kind, the position and what was found there;
//        nothing is repaired. A quote that is not doubled ends the literal,
//        so 'New Year's Day' fails at the "s" that follows it.
//   (P3) Parsing takes time and stack linear in the text: nesting of
//        parentheses and NOT is bounded (kMaxNesting) so that no input can
//        exhaust the stack.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sql {

enum class TokenKind {
  kEnd,
  kIdentifier,  // bare or [bracketed] name; keywords are identifiers the parser recognises
  kBracketed,   // [name]: never a keyword
  kString,      // 'text' with '' for a quote; Token::text holds the text without quotes
  kDate,        // #...#; Token::text holds what stands between the signs
  kNumber,      // 12, 1.5, .5, 1E3 (no sign: the parser takes "-" as part of a value)
  kVariable,    // @@IDENTITY; Token::text holds the name after @@
  kSymbol,      // ( ) , ; . * = <> < > <= >= - +
  kInvalid,     // a character no token starts with, or an unterminated literal
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;     // see TokenKind
  size_t position = 0;  // 1-based character position (P1)
};

// Splits a statement into tokens; the last token is kEnd. A kInvalid token
// ends the list (before kEnd) and says in `text` what was wrong.
std::vector<Token> Tokenize(std::string_view statement);

// A value written in the statement.
struct Literal {
  enum class Kind { kNull, kBoolean, kNumber, kString, kDate };
  Kind kind = Kind::kNull;
  bool boolean = false;  // kBoolean: True / False
  std::string text;      // kNumber: the digits with a leading "-" when negative;
                         // kString: the text; kDate: between the # signs
  size_t position = 0;

  // The literal as written, for messages: 'text', #1/6/2010#, 12, Null.
  std::string Display() const;
};

struct ColumnRef {
  std::string qualifier;  // table name before the ".", empty when bare
  std::string name;
  size_t position = 0;

  std::string Display() const { return qualifier.empty() ? name : qualifier + "." + name; }
};

enum class CompareOp { kEq, kNe, kLt, kGt, kLe, kGe };

struct Expr {
  enum class Kind { kColumn, kLiteral, kCompare, kIsNull, kAnd, kOr, kNot };
  Kind kind = Kind::kLiteral;
  ColumnRef column;                   // kColumn
  Literal literal;                    // kLiteral
  CompareOp op = CompareOp::kEq;      // kCompare
  bool negated = false;               // kIsNull: IS NOT NULL
  std::unique_ptr<Expr> left, right;  // kCompare, kAnd, kOr; kIsNull and kNot use left
  size_t position = 0;
};

struct Assignment {
  ColumnRef column;
  Literal value;
};

struct Statement {
  enum class Kind { kSelect, kSelectIdentity, kInsert, kUpdate, kDelete };
  Kind kind = Kind::kSelect;
  std::string table;
  size_t table_position = 0;
  std::vector<ColumnRef> columns;       // INSERT: the column list (empty: all columns in order)
  std::vector<Literal> values;          // INSERT: the value list
  std::vector<Assignment> assignments;  // UPDATE: the SET list
  std::unique_ptr<Expr> where;          // SELECT, UPDATE, DELETE: null without WHERE
  std::string target;                   // DELETE t.* FROM ...: t; empty for DELETE [*] FROM
  size_t target_position = 0;
};

// Deepest nesting of parentheses and NOT accepted (P3).
constexpr int kMaxNesting = 200;

// Parses one statement. False with *error set to "Syntax error in INSERT
// INTO statement at character 57: ..." (or "Invalid SQL statement ..." when
// no statement keyword starts it).
bool Parse(std::string_view text, Statement* statement, std::string* error);

}  // namespace sql
