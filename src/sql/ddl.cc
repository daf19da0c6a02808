// CREATE TABLE and CREATE INDEX; see ddl.h.
#include "sql/ddl.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "sql/parser.h"
#include "strings/ascii.h"

namespace sql {

namespace {

bool Is(const Token& t, std::string_view word) {
  return t.kind == TokenKind::kIdentifier && strings::AsciiEqualsNoCase(t.text, word);
}

bool IsSymbol(const Token& t, std::string_view s) {
  return t.kind == TokenKind::kSymbol && t.text == s;
}

struct TypeName {
  const char* name;
  jet::ColumnType type;
  bool autonumber;
};

const TypeName kTypes[] = {
    {"COUNTER", jet::ColumnType::kLong, true},
    {"AUTOINCREMENT", jet::ColumnType::kLong, true},
    {"LONG", jet::ColumnType::kLong, false},
    {"INTEGER", jet::ColumnType::kLong, false},
    {"INT", jet::ColumnType::kLong, false},
    {"INTEGER4", jet::ColumnType::kLong, false},
    {"SHORT", jet::ColumnType::kInteger, false},
    {"SMALLINT", jet::ColumnType::kInteger, false},
    {"INTEGER2", jet::ColumnType::kInteger, false},
    {"BYTE", jet::ColumnType::kByte, false},
    {"TINYINT", jet::ColumnType::kByte, false},
    {"CURRENCY", jet::ColumnType::kCurrency, false},
    {"MONEY", jet::ColumnType::kCurrency, false},
    {"SINGLE", jet::ColumnType::kSingle, false},
    {"REAL", jet::ColumnType::kSingle, false},
    {"FLOAT4", jet::ColumnType::kSingle, false},
    {"DOUBLE", jet::ColumnType::kDouble, false},
    {"FLOAT", jet::ColumnType::kDouble, false},
    {"FLOAT8", jet::ColumnType::kDouble, false},
    {"NUMBER", jet::ColumnType::kDouble, false},
    {"DATETIME", jet::ColumnType::kDateTime, false},
    {"DATE", jet::ColumnType::kDateTime, false},
    {"TIME", jet::ColumnType::kDateTime, false},
    {"TEXT", jet::ColumnType::kText, false},
    {"VARCHAR", jet::ColumnType::kText, false},
    {"CHAR", jet::ColumnType::kText, false},
    {"MEMO", jet::ColumnType::kMemo, false},
    {"LONGTEXT", jet::ColumnType::kMemo, false},
    {"LONGCHAR", jet::ColumnType::kMemo, false},
    {"YESNO", jet::ColumnType::kBoolean, false},
    {"BIT", jet::ColumnType::kBoolean, false},
    {"LOGICAL", jet::ColumnType::kBoolean, false},
    {"GUID", jet::ColumnType::kGuid, false},
    {"UNIQUEIDENTIFIER", jet::ColumnType::kGuid, false},
    {"DECIMAL", jet::ColumnType::kNumeric, false},
    {"NUMERIC", jet::ColumnType::kNumeric, false},
    {"BINARY", jet::ColumnType::kBinary, false},
    {"VARBINARY", jet::ColumnType::kBinary, false},
    {"LONGBINARY", jet::ColumnType::kOle, false},
    {"OLEOBJECT", jet::ColumnType::kOle, false},
    {"IMAGE", jet::ColumnType::kOle, false},
};

class DdlParser {
 public:
  DdlParser(std::string_view text, Error* error) : tokens_(Tokenize(text)), error_(error) {}

  bool Parse(DdlStatement* out) {
    if (!Expect("CREATE")) return false;
    if (Is(Peek(), "TABLE")) {
      name_ = "CREATE TABLE";
      Take();
      out->kind = DdlStatement::Kind::kCreateTable;
      return ParseTable(&out->table) && End();
    }
    name_ = "CREATE INDEX";
    out->kind = DdlStatement::Kind::kCreateIndex;
    if (Is(Peek(), "UNIQUE")) {
      Take();
      out->index.unique = true;
    }
    return Expect("INDEX") && ParseName(&out->index.name, "an index name") && Expect("ON") &&
           ParseName(&out->index_table, "a table name") && ParseKeyColumns(&out->index, true) &&
           ParseWith(&out->index) && End();
  }

 private:
  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Take() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

  bool Fail(const std::string& expected) {
    const Token& t = Peek();
    std::string found = t.kind == TokenKind::kEnd       ? "the end of the statement"
                        : t.kind == TokenKind::kInvalid ? t.text
                                                        : "'" + t.text + "'";
    error_->kind = ErrorKind::kSyntax;
    error_->description = "Syntax error in " + name_ + " at character " +
                          std::to_string(t.position) + ": expected " + expected + ", found " +
                          found;
    return false;
  }
  bool Expect(std::string_view word) {
    if (!Is(Peek(), word)) return Fail(std::string(word));
    Take();
    return true;
  }
  bool ExpectSymbol(std::string_view s) {
    if (!IsSymbol(Peek(), s)) return Fail("'" + std::string(s) + "'");
    Take();
    return true;
  }
  bool End() {
    if (IsSymbol(Peek(), ";")) Take();
    return Peek().kind == TokenKind::kEnd || Fail("the end of the statement");
  }
  bool ParseName(std::string* name, const char* what) {
    if (Peek().kind != TokenKind::kIdentifier && Peek().kind != TokenKind::kBracketed) {
      return Fail(what);
    }
    *name = Take().text;
    return true;
  }
  bool ParseNumber(uint32_t* n, const char* what) {
    const Token& t = Peek();
    if (t.kind != TokenKind::kNumber || t.text.empty() || t.text.size() > 5 ||
        t.text.find_first_not_of("0123456789") != std::string::npos) {
      return Fail(what);
    }
    *n = static_cast<uint32_t>(std::stoul(Take().text));
    return true;
  }

  bool ParseTable(jet::TableDesign* table) {
    if (!ParseName(&table->name, "a table name") || !ExpectSymbol("(")) return false;
    do {
      if (Is(Peek(), "CONSTRAINT")) {
        Take();
        jet::IndexDesign key;
        if (!ParseName(&key.name, "a constraint name")) return false;
        if (Is(Peek(), "UNIQUE")) {
          Take();
          key.unique = true;
        } else if (!Expect("PRIMARY") || !Expect("KEY")) {
          return false;
        } else {
          key.primary_key = true;
        }
        if (!ParseKeyColumns(&key, false)) return false;
        table->indexes.push_back(std::move(key));
        continue;
      }
      jet::ColumnDesign column;
      if (!ParseColumn(table, &column)) return false;
      table->columns.push_back(std::move(column));
    } while (IsSymbol(Peek(), ",") && (Take(), true));
    return ExpectSymbol(")");
  }

  bool ParseColumn(jet::TableDesign* table, jet::ColumnDesign* column) {
    if (!ParseName(&column->name, "a column name")) return false;
    const TypeName* type = nullptr;
    for (const TypeName& t : kTypes) {
      if (Is(Peek(), t.name)) type = &t;
    }
    if (type == nullptr) return Fail("a column type (TEXT, LONG, DATETIME, ...)");
    Take();
    column->type = type->type;
    column->autonumber = type->autonumber;
    if (column->type == jet::ColumnType::kText || column->type == jet::ColumnType::kBinary) {
      column->length = 255;
    }
    const bool sized = column->type == jet::ColumnType::kText ||
                       column->type == jet::ColumnType::kBinary ||
                       column->type == jet::ColumnType::kNumeric;
    if (sized && IsSymbol(Peek(), "(")) {
      Take();
      uint32_t n = 0;
      if (!ParseNumber(&n, "a length")) return false;
      if (column->type == jet::ColumnType::kNumeric) {
        column->precision = static_cast<uint8_t>(std::min<uint32_t>(n, 255));
        if (IsSymbol(Peek(), ",")) {
          Take();
          uint32_t s = 0;
          if (!ParseNumber(&s, "a scale")) return false;
          column->scale = static_cast<uint8_t>(std::min<uint32_t>(s, 255));
        }
      } else {
        column->length = static_cast<uint16_t>(std::min<uint32_t>(n, 65535));
      }
      if (!ExpectSymbol(")")) return false;
    }
    while (true) {
      if (Is(Peek(), "NOT")) {
        Take();
        if (!Expect("NULL")) return false;
        column->required = true;
      } else if (Is(Peek(), "PRIMARY")) {
        Take();
        if (!Expect("KEY")) return false;
        jet::IndexDesign key;
        key.name = "PrimaryKey";
        key.primary_key = true;
        key.columns.push_back({column->name, true});
        table->indexes.push_back(std::move(key));
      } else if (Is(Peek(), "UNIQUE")) {
        Take();
        jet::IndexDesign key;
        key.name = column->name;
        key.unique = true;
        key.columns.push_back({column->name, true});
        table->indexes.push_back(std::move(key));
      } else {
        return true;
      }
    }
  }

  bool ParseKeyColumns(jet::IndexDesign* index, bool ordered) {
    if (!ExpectSymbol("(")) return false;
    do {
      jet::IndexColumnDesign c;
      if (!ParseName(&c.column, "a column name")) return false;
      if (ordered && (Is(Peek(), "ASC") || Is(Peek(), "DESC"))) c.ascending = Is(Take(), "ASC");
      index->columns.push_back(std::move(c));
    } while (IsSymbol(Peek(), ",") && (Take(), true));
    return ExpectSymbol(")");
  }

  bool ParseWith(jet::IndexDesign* index) {
    if (!Is(Peek(), "WITH")) return true;
    Take();
    if (Is(Peek(), "PRIMARY")) {
      Take();
      index->primary_key = true;
      return true;
    }
    if (Is(Peek(), "IGNORE")) {
      Take();
      index->ignore_nulls = true;
      return Expect("NULL");
    }
    return Fail("PRIMARY or IGNORE NULL");
  }

  std::vector<Token> tokens_;
  size_t pos_ = 0;
  Error* error_;
  std::string name_ = "CREATE statement";
};

bool EngineFailed(const jet::Status& s, Error* error) {
  switch (s.code()) {
    case jet::StatusCode::kConstraint: error->kind = ErrorKind::kConstraint; break;
    case jet::StatusCode::kNotFound: error->kind = ErrorKind::kNoSuchTable; break;
    case jet::StatusCode::kNotSupported: error->kind = ErrorKind::kNotSupported; break;
    default: error->kind = ErrorKind::kDatabase; break;
  }
  error->description = s.message();
  return false;
}

}  // namespace

bool IsDdl(std::string_view statement) {
  // Looks at the first word only: every statement a session runs passes here.
  size_t i = statement.find_first_not_of(" \t\r\n");
  if (i == std::string_view::npos ||
      !strings::AsciiEqualsNoCase(statement.substr(i, 6), "CREATE")) {
    return false;
  }
  i += 6;
  return i == statement.size() ||
         !(std::isalnum(static_cast<unsigned char>(statement[i])) || statement[i] == '_');
}

bool ParseDdl(std::string_view statement, DdlStatement* out, Error* error) {
  *out = DdlStatement();  // nothing of an earlier statement carries over
  return DdlParser(statement, error).Parse(out);
}

bool RunDdl(jet::Database& db, std::string_view statement, Error* error) {
  DdlStatement parsed;
  if (!ParseDdl(statement, &parsed, error)) return false;
  jet::Status s = parsed.kind == DdlStatement::Kind::kCreateTable
                      ? db.CreateTable(parsed.table)
                      : db.CreateIndex(parsed.index_table, parsed.index);
  return s.ok() || EngineFailed(s, error);
}

bool RunDdlScript(jet::Database& db, std::string_view script, Error* error, size_t* failed) {
  // Split at ";" outside 'text' and [names].
  std::vector<std::string_view> statements;
  size_t start = 0;
  char open = 0;
  for (size_t i = 0; i <= script.size(); ++i) {
    const char c = i < script.size() ? script[i] : ';';
    if (open != 0) {
      if (c == open) open = 0;
    } else if (c == '\'') {
      open = '\'';
    } else if (c == '[') {
      open = ']';
    } else if (c == ';') {
      std::string_view piece = script.substr(start, i - start);
      if (piece.find_first_not_of(" \t\r\n") != std::string_view::npos) statements.push_back(piece);
      start = i + 1;
    }
  }
  *failed = 0;
  jet::Status s = db.Begin();
  if (!s.ok()) return EngineFailed(s, error);
  for (size_t i = 0; i < statements.size(); ++i) {
    if (!RunDdl(db, statements[i], error)) {
      db.Rollback();
      *failed = i + 1;
      return false;
    }
  }
  s = db.Commit();
  return s.ok() || EngineFailed(s, error);
}

}  // namespace sql
