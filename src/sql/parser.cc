#include "sql/parser.h"

#include <cctype>
#include <utility>

#include "jet/expression.h"
#include "strings/ascii.h"
#include "strings/utf8.h"

namespace sql {
namespace {

bool IsIdentStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsIdentChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Walks the statement byte by byte and counts characters (P1): a byte that
// continues a UTF-8 sequence does not start a character.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    while (true) {
      SkipSpace();
      Token token;
      token.position = Position();
      if (at_ >= text_.size()) {
        tokens.push_back(std::move(token));
        return tokens;
      }
      if (!Next(&token)) {
        token.kind = TokenKind::kInvalid;
        tokens.push_back(std::move(token));
        Token end;
        end.position = Position();
        tokens.push_back(std::move(end));
        return tokens;
      }
      tokens.push_back(std::move(token));
    }
  }

 private:
  size_t Position() const { return characters_ + 1; }

  void Advance() {
    ++at_;
    if (at_ >= text_.size() || !strings::IsUtf8Continuation(text_[at_])) ++characters_;
  }

  void SkipSpace() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) Advance();
  }

  // Reads one token at at_; false with token->text saying what is wrong.
  bool Next(Token* token) {
    const char c = text_[at_];
    if (c == '\'') return ReadString(token);
    if (c == '#') {
      token->kind = TokenKind::kDate;
      return ReadEnclosed('#', "a date value that has no closing #", token);
    }
    if (c == '[') {
      token->kind = TokenKind::kBracketed;
      if (!ReadEnclosed(']', "a [name] that has no closing ]", token)) return false;
      if (token->text.empty()) {
        token->text = "an empty [] name";
        return false;
      }
      return true;
    }
    if (IsDigit(c) || (c == '.' && at_ + 1 < text_.size() && IsDigit(text_[at_ + 1]))) {
      return ReadNumber(token);
    }
    if (IsIdentStart(static_cast<unsigned char>(c))) {
      token->kind = TokenKind::kIdentifier;
      TakeWhileIdentChar(token);
      return true;
    }
    if (c == '@' && at_ + 1 < text_.size() && text_[at_ + 1] == '@') {
      token->kind = TokenKind::kVariable;
      Advance();
      Advance();
      TakeWhileIdentChar(token);
      if (token->text.empty()) {
        token->text = "@@ without a name";
        return false;
      }
      return true;
    }
    return ReadSymbol(token);
  }

  // 'text', a quote written twice standing for one.
  bool ReadString(Token* token) {
    token->kind = TokenKind::kString;
    Advance();
    while (true) {
      if (at_ >= text_.size()) {
        token->text = "a text value that has no closing quote";
        return false;
      }
      if (text_[at_] == '\'') {
        Advance();
        if (at_ < text_.size() && text_[at_] == '\'') {
          token->text.push_back('\'');
          Advance();
          continue;
        }
        return true;
      }
      token->text.push_back(text_[at_]);
      Advance();
    }
  }

  // What lies between the opening character at at_ and `close`, which
  // must follow (else `unclosed` is what is wrong).
  bool ReadEnclosed(char close, const char* unclosed, Token* token) {
    Advance();
    while (at_ < text_.size() && text_[at_] != close) {
      token->text.push_back(text_[at_]);
      Advance();
    }
    if (at_ >= text_.size()) {
      token->text = unclosed;
      return false;
    }
    Advance();
    return true;
  }

  // digits [. digits] [E [+|-] digits], or . digits; letters may not follow.
  bool ReadNumber(Token* token) {
    token->kind = TokenKind::kNumber;
    TakeWhileDigit(token);
    if (at_ < text_.size() && text_[at_] == '.') {
      Take(token);
      TakeWhileDigit(token);
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      size_t look = at_ + 1;
      if (look < text_.size() && (text_[look] == '+' || text_[look] == '-')) ++look;
      if (look < text_.size() && IsDigit(text_[look])) {
        while (at_ < look) Take(token);
        TakeWhileDigit(token);
      }
    }
    if (at_ < text_.size() && IsIdentStart(static_cast<unsigned char>(text_[at_]))) {
      token->text = "a number run into letters";
      return false;
    }
    return true;
  }

  // An operator or punctuation; any other character is wrong.
  bool ReadSymbol(Token* token) {
    token->kind = TokenKind::kSymbol;
    const char c = text_[at_];
    const char next = at_ + 1 < text_.size() ? text_[at_ + 1] : '\0';
    if ((c == '<' && (next == '>' || next == '=')) || (c == '>' && next == '=')) {
      Take(token);
      Take(token);
      return true;
    }
    static constexpr std::string_view kSingles = "(),;.*=<>-+";
    if (kSingles.find(c) != std::string_view::npos) {
      Take(token);
      return true;
    }
    token->text = "the character '";
    // The whole UTF-8 sequence, so that the message stays well-formed.
    do {
      token->text.push_back(text_[at_]);
      Advance();
    } while (at_ < text_.size() && (static_cast<unsigned char>(text_[at_]) & 0xC0) == 0x80);
    token->text += "'";
    return false;
  }

  void TakeWhileDigit(Token* token) {
    while (at_ < text_.size() && IsDigit(text_[at_])) Take(token);
  }

  void TakeWhileIdentChar(Token* token) {
    while (at_ < text_.size() && IsIdentChar(static_cast<unsigned char>(text_[at_]))) Take(token);
  }

  void Take(Token* token) {
    token->text.push_back(text_[at_]);
    Advance();
  }

  std::string_view text_;
  size_t at_ = 0;
  size_t characters_ = 0;
};

std::string Describe(const Token& token) {
  switch (token.kind) {
    case TokenKind::kEnd: return "the end of the statement";
    case TokenKind::kIdentifier: return "'" + token.text + "'";
    case TokenKind::kBracketed: return "[" + token.text + "]";
    case TokenKind::kString: {
      std::string shown;
      for (char c : token.text) {
        shown.push_back(c);
        if (c == '\'') shown.push_back('\'');
      }
      return "the text '" + shown + "'";
    }
    case TokenKind::kDate: return "the date #" + token.text + "#";
    case TokenKind::kNumber: return "the number " + token.text;
    case TokenKind::kVariable: return "@@" + token.text;
    case TokenKind::kSymbol: return "'" + token.text + "'";
    case TokenKind::kInvalid: return token.text;
  }
  return "?";
}

class Parser {
 public:
  Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool ParseStatement(Statement* out, std::string* error) {
    error_ = error;
    const Token& first = Peek();
    if (IsKeyword(first, "SELECT")) {
      statement_name_ = "SELECT statement";
      return ParseSelect(out) && ParseEnd();
    }
    if (IsKeyword(first, "INSERT")) {
      statement_name_ = "INSERT INTO statement";
      return ParseInsert(out) && ParseEnd();
    }
    if (IsKeyword(first, "UPDATE")) {
      statement_name_ = "UPDATE statement";
      return ParseUpdate(out) && ParseEnd();
    }
    if (IsKeyword(first, "DELETE")) {
      statement_name_ = "DELETE statement";
      return ParseDelete(out) && ParseEnd();
    }
    if (first.kind == TokenKind::kInvalid) {
      statement_name_ = "statement";
      return Fail("a statement");
    }
    *error = "Invalid SQL statement at character " + std::to_string(first.position) +
             ": expected SELECT, INSERT, UPDATE or DELETE, found " + Describe(first);
    return false;
  }

 private:
  const Token& Peek() const { return tokens_[at_]; }
  const Token& Take() {
    const Token& token = tokens_[at_];
    if (token.kind != TokenKind::kEnd) ++at_;
    return token;
  }

  static bool IsKeyword(const Token& token, std::string_view word) {
    return token.kind == TokenKind::kIdentifier && strings::AsciiEqualsNoCase(token.text, word);
  }
  static bool IsSymbol(const Token& token, std::string_view symbol) {
    return token.kind == TokenKind::kSymbol && token.text == symbol;
  }

  // Words that cannot be bare names: taking them as names would let a
  // missing piece of a statement pass unnoticed.
  static bool IsReserved(const Token& token) {
    static constexpr std::string_view kWords[] = {"SELECT", "INSERT", "UPDATE", "INTO", "VALUES",
                                                  "SET",    "FROM",   "WHERE",  "AND",  "OR",
                                                  "NOT",    "IS",     "NULL",   "TRUE", "FALSE"};
    for (std::string_view word : kWords) {
      if (IsKeyword(token, word)) return true;
    }
    return false;
  }

  bool Fail(const std::string& expected) {
    const Token& token = Peek();
    *error_ = "Syntax error in " + statement_name_ + " at character " +
              std::to_string(token.position) + ": expected " + expected + ", found " +
              Describe(token);
    return false;
  }

  bool ExpectKeyword(std::string_view word) {
    if (!IsKeyword(Peek(), word)) return Fail(std::string(word));
    Take();
    return true;
  }
  bool ExpectSymbol(std::string_view symbol) {
    if (!IsSymbol(Peek(), symbol)) return Fail("'" + std::string(symbol) + "'");
    Take();
    return true;
  }

  bool ParseName(std::string* name, size_t* position, const char* what) {
    const Token& token = Peek();
    if (token.kind == TokenKind::kBracketed ||
        (token.kind == TokenKind::kIdentifier && !IsReserved(token))) {
      *name = token.text;
      *position = token.position;
      Take();
      return true;
    }
    return Fail(what);
  }

  bool ParseColumnRef(ColumnRef* column) {
    if (!ParseName(&column->name, &column->position, "a column name")) return false;
    if (IsSymbol(Peek(), ".")) {
      Take();
      column->qualifier = std::move(column->name);
      size_t ignored = 0;
      if (!ParseName(&column->name, &ignored, "a column name after '.'")) return false;
    }
    return true;
  }

  bool ParseEnd() {
    if (IsSymbol(Peek(), ";")) Take();
    if (Peek().kind != TokenKind::kEnd) return Fail("the end of the statement");
    return true;
  }

  bool ParseSelect(Statement* out) {
    Take();  // SELECT
    if (Peek().kind == TokenKind::kVariable) {
      if (!strings::AsciiEqualsNoCase(Peek().text, "IDENTITY")) return Fail("@@IDENTITY");
      Take();
      out->kind = Statement::Kind::kSelectIdentity;
      return true;
    }
    out->kind = Statement::Kind::kSelect;
    if (!ExpectSymbol("*")) return false;
    if (!ExpectKeyword("FROM")) return false;
    if (!ParseName(&out->table, &out->table_position, "a table name")) return false;
    return ParseWhere(out);
  }

  bool ParseInsert(Statement* out) {
    Take();  // INSERT
    out->kind = Statement::Kind::kInsert;
    if (!ExpectKeyword("INTO")) return false;
    if (!ParseName(&out->table, &out->table_position, "a table name")) return false;
    if (IsSymbol(Peek(), "(")) {
      Take();
      do {
        ColumnRef column;
        if (!ParseColumnRef(&column)) return false;
        out->columns.push_back(std::move(column));
      } while (TakeComma());
      if (!ExpectCloser("a column name")) return false;
    }
    if (!ExpectKeyword("VALUES")) return false;
    if (!ExpectSymbol("(")) return false;
    do {
      Literal value;
      if (!ParseValue(&value)) return false;
      out->values.push_back(std::move(value));
    } while (TakeComma());
    return ExpectCloser("a value");
  }

  bool TakeComma() {
    if (!IsSymbol(Peek(), ",")) return false;
    Take();
    return true;
  }

  // After an item of a list: "," goes on, ")" ends it.
  bool ExpectCloser(const std::string& item) {
    if (IsSymbol(Peek(), ")")) {
      Take();
      return true;
    }
    return Fail("',' or ')' after " + item);
  }

  bool ParseUpdate(Statement* out) {
    Take();  // UPDATE
    out->kind = Statement::Kind::kUpdate;
    if (!ParseName(&out->table, &out->table_position, "a table name")) return false;
    if (!ExpectKeyword("SET")) return false;
    do {
      Assignment assignment;
      if (!ParseColumnRef(&assignment.column)) return false;
      if (!ExpectSymbol("=")) return false;
      if (!ParseValue(&assignment.value)) return false;
      out->assignments.push_back(std::move(assignment));
    } while (TakeComma());
    return ParseWhere(out);
  }

  // DELETE [* | t.*] FROM t [WHERE ...]
  bool ParseDelete(Statement* out) {
    Take();  // DELETE
    out->kind = Statement::Kind::kDelete;
    if (IsSymbol(Peek(), "*")) {
      Take();
    } else if (!IsKeyword(Peek(), "FROM")) {
      if (!ParseName(&out->target, &out->target_position, "'*', a table name or FROM")) {
        return false;
      }
      if (!ExpectSymbol(".") || !ExpectSymbol("*")) return false;
    }
    if (!ExpectKeyword("FROM")) return false;
    if (!ParseName(&out->table, &out->table_position, "a table name")) return false;
    return ParseWhere(out);
  }

  bool ParseWhere(Statement* out) {
    if (!IsKeyword(Peek(), "WHERE")) return true;
    Take();
    return ParseOr(&out->where, 0);
  }

  // value := [+|-] number | 'text' | #date# | True | False | Null
  bool ParseValue(Literal* value) {
    const Token& token = Peek();
    value->position = token.position;
    if (IsSymbol(token, "-") || IsSymbol(token, "+")) {
      const bool negative = token.text == "-";
      Take();
      if (Peek().kind != TokenKind::kNumber) return Fail("a number after the sign");
      value->kind = Literal::Kind::kNumber;
      value->text = (negative ? "-" : "") + Take().text;
      return true;
    }
    switch (token.kind) {
      case TokenKind::kNumber: value->kind = Literal::Kind::kNumber; break;
      case TokenKind::kString: value->kind = Literal::Kind::kString; break;
      case TokenKind::kDate: value->kind = Literal::Kind::kDate; break;
      default:
        if (IsKeyword(token, "NULL")) {
          value->kind = Literal::Kind::kNull;
        } else if (IsKeyword(token, "TRUE") || IsKeyword(token, "FALSE")) {
          value->kind = Literal::Kind::kBoolean;
          value->boolean = IsKeyword(token, "TRUE");
        } else {
          return Fail("a value");
        }
    }
    if (token.kind == TokenKind::kDate) {
      double ole_date = 0;
      if (!jet::ParseDateTimeText(token.text, &ole_date)) {
        *error_ = "Syntax error in date in " + statement_name_ + " at character " +
                  std::to_string(token.position) + ": #" + token.text + "# is not a date";
        return false;
      }
    }
    value->text = Take().text;
    return true;
  }

  bool Deeper(int depth) {
    if (depth < kMaxNesting) return true;
    return Fail("at most " + std::to_string(kMaxNesting) + " nested parentheses");
  }

  bool ParseOr(std::unique_ptr<Expr>* out, int depth) {
    if (!ParseAnd(out, depth)) return false;
    while (IsKeyword(Peek(), "OR")) {
      auto node = std::make_unique<Expr>();
      node->kind = Expr::Kind::kOr;
      node->position = Take().position;
      node->left = std::move(*out);
      if (!ParseAnd(&node->right, depth)) return false;
      *out = std::move(node);
    }
    return true;
  }

  bool ParseAnd(std::unique_ptr<Expr>* out, int depth) {
    if (!ParseNot(out, depth)) return false;
    while (IsKeyword(Peek(), "AND")) {
      auto node = std::make_unique<Expr>();
      node->kind = Expr::Kind::kAnd;
      node->position = Take().position;
      node->left = std::move(*out);
      if (!ParseNot(&node->right, depth)) return false;
      *out = std::move(node);
    }
    return true;
  }

  bool ParseNot(std::unique_ptr<Expr>* out, int depth) {
    if (!IsKeyword(Peek(), "NOT")) return ParsePredicate(out, depth);
    if (!Deeper(depth)) return false;
    auto node = std::make_unique<Expr>();
    node->kind = Expr::Kind::kNot;
    node->position = Take().position;
    if (!ParseNot(&node->left, depth + 1)) return false;
    *out = std::move(node);
    return true;
  }

  // predicate := operand [op operand | IS [NOT] NULL]
  bool ParsePredicate(std::unique_ptr<Expr>* out, int depth) {
    if (!ParseOperand(out, depth)) return false;
    const Token& token = Peek();
    if (IsKeyword(token, "IS")) {
      auto node = std::make_unique<Expr>();
      node->kind = Expr::Kind::kIsNull;
      node->position = Take().position;
      if (IsKeyword(Peek(), "NOT")) {
        Take();
        node->negated = true;
      }
      if (!ExpectKeyword("NULL")) return false;
      node->left = std::move(*out);
      *out = std::move(node);
      return true;
    }
    static constexpr std::pair<std::string_view, CompareOp> kOps[] = {
        {"=", CompareOp::kEq}, {"<>", CompareOp::kNe}, {"<", CompareOp::kLt},
        {">", CompareOp::kGt}, {"<=", CompareOp::kLe}, {">=", CompareOp::kGe}};
    for (const auto& [symbol, op] : kOps) {
      if (!IsSymbol(token, symbol)) continue;
      auto node = std::make_unique<Expr>();
      node->kind = Expr::Kind::kCompare;
      node->op = op;
      node->position = Take().position;
      node->left = std::move(*out);
      if (!ParseOperand(&node->right, depth)) return false;
      *out = std::move(node);
      return true;
    }
    return true;
  }

  // operand := '(' expr ')' | column | value
  bool ParseOperand(std::unique_ptr<Expr>* out, int depth) {
    const Token& token = Peek();
    if (IsSymbol(token, "(")) {
      if (!Deeper(depth)) return false;
      Take();
      if (!ParseOr(out, depth + 1)) return false;
      return ExpectSymbol(")");
    }
    auto node = std::make_unique<Expr>();
    node->position = token.position;
    if (token.kind == TokenKind::kBracketed ||
        (token.kind == TokenKind::kIdentifier && !IsReserved(token))) {
      node->kind = Expr::Kind::kColumn;
      if (!ParseColumnRef(&node->column)) return false;
    } else {
      const bool value_start = token.kind == TokenKind::kNumber ||
                               token.kind == TokenKind::kString || token.kind == TokenKind::kDate ||
                               IsSymbol(token, "-") || IsSymbol(token, "+") || IsReserved(token);
      if (!value_start) return Fail("a column, a value or '('");
      node->kind = Expr::Kind::kLiteral;
      if (!ParseValue(&node->literal)) return false;
    }
    *out = std::move(node);
    return true;
  }

  std::vector<Token> tokens_;
  size_t at_ = 0;
  std::string statement_name_;
  std::string* error_ = nullptr;
};

}  // namespace

std::vector<Token> Tokenize(std::string_view statement) { return Lexer(statement).Run(); }

std::string Literal::Display() const {
  switch (kind) {
    case Kind::kNull: return "Null";
    case Kind::kBoolean: return boolean ? "True" : "False";
    case Kind::kNumber: return text;
    case Kind::kDate: return "#" + text + "#";
    case Kind::kString: {
      std::string shown = "'";
      for (char c : text) {
        shown.push_back(c);
        if (c == '\'') shown.push_back('\'');
      }
      return shown + "'";
    }
  }
  return text;
}

bool Parse(std::string_view text, Statement* statement, std::string* error) {
  *statement = Statement();
  return Parser(Tokenize(text)).ParseStatement(statement, error);
}

}  // namespace sql
