// Lexer and parser of Access expressions; see expression.h.
//
// Operators, loosest first (Access's precedence): Imp, Eqv, Xor, Or, And,
// Not (prefix), comparisons (= <> < > <= >= Like Is Between In), &, + -,
// Mod, \, * /, - (prefix), ^. Binary operators group from the left.
// Literals: numbers (12, 1.5, .5, 1E3, &H1F, &O17), "text" and 'text' with
// the quote doubled inside, #date#, True False Yes No On Off, Null. Names:
// bare or [bracketed], qualified with "." or "!". A name followed by "(" is
// a function call.
#include <cmath>
#include <cstdlib>
#include <utility>

#include "jet/expr/functions.h"
#include "jet/expr/values.h"
#include "strings/ascii.h"
#include "strings/utf8.h"

namespace jet {

using strings::AsciiEqualsNoCase;
using strings::CharacterCount;
namespace {

enum class Tok { kEnd, kName, kBracketed, kNumber, kString, kDate, kSymbol, kBad };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;  // name, digits, text without quotes, date text, symbol
  size_t begin = 0;  // byte offsets in the expression
  size_t end = 0;
  size_t position = 0;  // 1-based character
  std::string bad;      // kBad: which syntax error
};

bool IsNameByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c >= 0x80;
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    for (;;) {
      Token token = Next();
      const Tok kind = token.kind;
      tokens.push_back(std::move(token));
      if (kind == Tok::kEnd || kind == Tok::kBad) break;
    }
    return tokens;
  }

 private:
  Token Next() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n')) {
      ++at_;
    }
    Token token;
    token.begin = at_;
    token.position = CharacterCount(text_.substr(0, at_)) + 1;
    if (at_ >= text_.size()) {
      token.end = at_;
      return token;
    }
    const char c = text_[at_];
    if ((c >= '0' && c <= '9') || (c == '.' && at_ + 1 < text_.size() && IsDigit(text_[at_ + 1]))) {
      LexNumber(&token);
    } else if (c == '&' && at_ + 2 < text_.size() &&
               (text_[at_ + 1] == 'H' || text_[at_ + 1] == 'h' || text_[at_ + 1] == 'O' ||
                text_[at_ + 1] == 'o') &&
               std::isxdigit(static_cast<unsigned char>(text_[at_ + 2]))) {
      token.kind = Tok::kNumber;
      size_t end = at_ + 2;
      while (end < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[end]))) ++end;
      token.text = std::string(text_.substr(at_, end - at_));
      at_ = end;
    } else if (c == '"' || c == '\'') {
      LexQuoted(&token, c);
    } else if (c == '#') {
      const size_t close = text_.find('#', at_ + 1);
      if (close == std::string_view::npos) {
        token.kind = Tok::kBad;
        token.bad = "Syntax error in date";
      } else {
        token.kind = Tok::kDate;
        token.text = std::string(text_.substr(at_ + 1, close - at_ - 1));
        at_ = close + 1;
      }
    } else if (c == '[') {
      const size_t close = text_.find(']', at_ + 1);
      if (close == std::string_view::npos || close == at_ + 1) {
        token.kind = Tok::kBad;
        token.bad = "Invalid bracketing of name";
      } else {
        token.kind = Tok::kBracketed;
        token.text = std::string(text_.substr(at_ + 1, close - at_ - 1));
        at_ = close + 1;
      }
    } else if (IsNameByte(static_cast<unsigned char>(c))) {
      token.kind = Tok::kName;
      size_t end = at_;
      while (end < text_.size() && IsNameByte(static_cast<unsigned char>(text_[end]))) ++end;
      token.text = std::string(text_.substr(at_, end - at_));
      at_ = end;
    } else {
      static constexpr std::string_view kSymbols[] = {"<>", "<=", ">=", "=<", "=>", "><", "+", "-",
                                                      "*",  "/",  "\\", "^",  "&",  "=",  "<", ">",
                                                      "(",  ")",  ",",  ".",  "!",  ";"};
      for (std::string_view symbol : kSymbols) {
        if (text_.substr(at_, symbol.size()) == symbol) {
          token.kind = Tok::kSymbol;
          token.text = symbol == "=<"   ? "<="
                       : symbol == "=>" ? ">="
                       : symbol == "><" ? "<>"
                                        : std::string(symbol);
          at_ += symbol.size();
          break;
        }
      }
      if (token.kind != Tok::kSymbol) {
        token.kind = Tok::kBad;
        token.bad = "Syntax error (missing operator)";
      }
    }
    token.end = at_;
    return token;
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  void LexNumber(Token* token) {
    size_t end = at_;
    while (end < text_.size() && IsDigit(text_[end])) ++end;
    if (end < text_.size() && text_[end] == '.') {
      ++end;
      while (end < text_.size() && IsDigit(text_[end])) ++end;
    }
    if (end < text_.size() && (text_[end] == 'e' || text_[end] == 'E')) {
      size_t e = end + 1;
      if (e < text_.size() && (text_[e] == '+' || text_[e] == '-')) ++e;
      if (e < text_.size() && IsDigit(text_[e])) {
        while (e < text_.size() && IsDigit(text_[e])) ++e;
        end = e;
      }
    }
    token->kind = Tok::kNumber;
    token->text = std::string(text_.substr(at_, end - at_));
    at_ = end;
  }

  void LexQuoted(Token* token, char quote) {
    std::string value;
    size_t i = at_ + 1;
    for (;;) {
      if (i >= text_.size()) {
        token->kind = Tok::kBad;
        token->bad = "Syntax error in string";
        return;
      }
      if (text_[i] == quote) {
        if (i + 1 < text_.size() && text_[i + 1] == quote) {
          value.push_back(quote);
          i += 2;
          continue;
        }
        break;
      }
      value.push_back(text_[i++]);
    }
    token->kind = Tok::kString;
    token->text = std::move(value);
    at_ = i + 1;
  }

  std::string_view text_;
  size_t at_ = 0;
};

// Binary operators and how tightly they bind (higher binds tighter).
int Precedence(const Token& token, std::string* op) {
  static constexpr std::pair<std::string_view, int> kWords[] = {
      {"Imp", 1}, {"Eqv", 2},     {"Xor", 3}, {"Or", 4},  {"And", 5}, {"Like", 7},
      {"Is", 7},  {"Between", 7}, {"In", 7},  {"Not", 7}, {"Mod", 10}};
  static constexpr std::pair<std::string_view, int> kSymbols[] = {
      {"=", 7}, {"<>", 7}, {"<", 7},   {">", 7},  {"<=", 7}, {">=", 7}, {"&", 8},
      {"+", 9}, {"-", 9},  {"\\", 11}, {"*", 12}, {"/", 12}, {"^", 14}};
  if (token.kind == Tok::kName) {
    for (const auto& [word, precedence] : kWords) {
      if (AsciiEqualsNoCase(token.text, word)) {
        *op = std::string(word);
        return precedence;
      }
    }
  } else if (token.kind == Tok::kSymbol) {
    for (const auto& [symbol, precedence] : kSymbols) {
      if (token.text == symbol) {
        *op = std::string(symbol);
        return precedence;
      }
    }
  }
  return 0;
}

constexpr int kComparison = 7;

class Parser {
 public:
  Parser(std::string_view text, ExprForm form)
      : text_(text), form_(form), tokens_(Lexer(text).Run()) {}

  Status Parse(std::unique_ptr<ExprNode>* out, size_t* consumed) {
    if (form_ == ExprForm::kExpression && IsSymbol(Peek(), "=")) Take();
    JET_RETURN_IF_ERROR(ParseBinary(0, 0, out));
    if (consumed != nullptr) {
      if (Peek().kind == Tok::kBad) return SyntaxError(Peek().bad);
      *consumed = Peek().begin;
      return Status::OK();
    }
    if (Peek().kind == Tok::kBad) return SyntaxError(Peek().bad);
    if (Peek().kind != Tok::kEnd) {
      return SyntaxError(IsSymbol(Peek(), ")") ? "Extra )" : "Syntax error (missing operator)");
    }
    return Status::OK();
  }

 private:
  const Token& Peek(size_t ahead = 0) const {
    return tokens_[std::min(at_ + ahead, tokens_.size() - 1)];
  }
  const Token& Take() {
    const Token& token = tokens_[at_];
    if (at_ + 1 < tokens_.size()) ++at_;
    return token;
  }
  static bool IsSymbol(const Token& token, std::string_view symbol) {
    return token.kind == Tok::kSymbol && token.text == symbol;
  }
  static bool IsWord(const Token& token, std::string_view word) {
    return token.kind == Tok::kName && AsciiEqualsNoCase(token.text, word);
  }

  Status SyntaxError(const std::string& what) const {
    return expr::Fail(kErrorQueryExpression,
                      what + " in query expression '" + std::string(text_) + "'.");
  }

  static std::unique_ptr<ExprNode> Node(ExprNode::Kind kind, size_t position) {
    auto node = std::make_unique<ExprNode>();
    node->kind = kind;
    node->position = position;
    return node;
  }

  Status Adopt(ExprNode* parent, std::unique_ptr<ExprNode> child) {
    parent->height = std::max(parent->height, child->height + 1);
    parent->args.push_back(std::move(child));
    if (parent->height > kMaxExpressionHeight) {
      return SyntaxError("Expression too complex (more than " +
                         std::to_string(kMaxExpressionHeight) + " levels)");
    }
    return Status::OK();
  }

  // In a column rule, a comparison may start without its left operand.
  bool StartsComparison() const {
    if (form_ != ExprForm::kColumnRule) return false;
    const Token& token = Peek();
    if (token.kind == Tok::kSymbol) {
      return token.text == "=" || token.text == "<>" || token.text == "<" || token.text == ">" ||
             token.text == "<=" || token.text == ">=";
    }
    if (IsWord(token, "Like") || IsWord(token, "Between") || IsWord(token, "In") ||
        IsWord(token, "Is")) {
      return true;
    }
    return IsWord(token, "Not") &&
           (IsWord(Peek(1), "Like") || IsWord(Peek(1), "Between") || IsWord(Peek(1), "In"));
  }

  Status ParseBinary(int min_precedence, int depth, std::unique_ptr<ExprNode>* out) {
    if (depth > kMaxExpressionNesting) {
      return SyntaxError("Expression too complex (more than " +
                         std::to_string(kMaxExpressionNesting) + " nested levels)");
    }
    std::unique_ptr<ExprNode> left;
    if (StartsComparison()) {
      left = Node(ExprNode::Kind::kSubject, Peek().position);
    } else {
      JET_RETURN_IF_ERROR(ParsePrefixed(depth, &left));
    }
    for (;;) {
      std::string op;
      const int precedence = Precedence(Peek(), &op);
      if (precedence == 0 || precedence < min_precedence) break;
      // "Not" continues an operand only as Not Like / Not Between / Not In.
      if (op == "Not" &&
          !(IsWord(Peek(1), "Like") || IsWord(Peek(1), "Between") || IsWord(Peek(1), "In"))) {
        break;
      }
      const size_t position = Peek().position;
      Take();
      if (precedence == kComparison) {
        JET_RETURN_IF_ERROR(ParseComparison(op, position, depth, &left));
        continue;
      }
      auto node = Node(ExprNode::Kind::kBinary, position);
      node->op = op;
      std::unique_ptr<ExprNode> right;
      // ^ takes a signed right operand: 2^-1.
      JET_RETURN_IF_ERROR(op == "^" ? ParsePrefixed(depth + 1, &right)
                                    : ParseBinary(precedence + 1, depth + 1, &right));
      node->position = left->position;
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(left)));
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(right)));
      left = std::move(node);
    }
    *out = std::move(left);
    return Status::OK();
  }

  Status ParseComparison(std::string op, size_t position, int depth,
                         std::unique_ptr<ExprNode>* left) {
    bool negated = false;
    if (op == "Not") {
      negated = true;
      op = Take().text;
      op = AsciiEqualsNoCase(op, "Like")      ? "Like"
           : AsciiEqualsNoCase(op, "Between") ? "Between"
                                              : "In";
    }
    std::unique_ptr<ExprNode> node;
    if (op == "Is") {
      node = Node(ExprNode::Kind::kIsNull, position);
      if (IsWord(Peek(), "Not")) {
        Take();
        node->negated = true;
      }
      if (!IsWord(Peek(), "Null")) return SyntaxError("Syntax error (missing operator)");
      Take();
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(*left)));
    } else if (op == "Between") {
      node = Node(ExprNode::Kind::kBetween, position);
      node->negated = negated;
      std::unique_ptr<ExprNode> low, high;
      JET_RETURN_IF_ERROR(ParseBinary(kComparison + 1, depth + 1, &low));
      if (!IsWord(Peek(), "And")) return SyntaxError("Between operator without And");
      Take();
      JET_RETURN_IF_ERROR(ParseBinary(kComparison + 1, depth + 1, &high));
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(*left)));
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(low)));
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(high)));
    } else if (op == "In") {
      node = Node(ExprNode::Kind::kIn, position);
      node->negated = negated;
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(*left)));
      if (!IsSymbol(Peek(), "(")) return SyntaxError("In operator without ()");
      Take();
      do {
        std::unique_ptr<ExprNode> item;
        JET_RETURN_IF_ERROR(ParseBinary(1, depth + 1, &item));
        JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(item)));
      } while (IsSymbol(Peek(), ",") && (Take(), true));
      if (!IsSymbol(Peek(), ")")) return SyntaxError("Missing ), ], or Item");
      Take();
    } else {
      node = Node(ExprNode::Kind::kBinary, position);
      node->op = op;
      std::unique_ptr<ExprNode> right;
      JET_RETURN_IF_ERROR(ParseBinary(kComparison + 1, depth + 1, &right));
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(*left)));
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(right)));
      if (negated) {
        auto inverted = Node(ExprNode::Kind::kUnary, position);
        inverted->op = "Not";
        JET_RETURN_IF_ERROR(Adopt(inverted.get(), std::move(node)));
        node = std::move(inverted);
      }
    }
    node->position = node->args.front()->position;
    *left = std::move(node);
    return Status::OK();
  }

  // Not, - and + in front of an operand.
  Status ParsePrefixed(int depth, std::unique_ptr<ExprNode>* out) {
    if (depth > kMaxExpressionNesting) {
      return SyntaxError("Expression too complex (more than " +
                         std::to_string(kMaxExpressionNesting) + " nested levels)");
    }
    const Token& token = Peek();
    const bool is_not = IsWord(token, "Not");
    if (is_not || IsSymbol(token, "-") || IsSymbol(token, "+")) {
      auto node = Node(ExprNode::Kind::kUnary, token.position);
      node->op = is_not ? "Not" : token.text;
      Take();
      std::unique_ptr<ExprNode> operand;
      // Not binds looser than comparisons (Not a = b is Not (a = b)); the
      // signs bind tighter than everything but ^.
      JET_RETURN_IF_ERROR(is_not ? ParseBinary(kComparison, depth + 1, &operand)
                                 : ParseSigned(depth + 1, &operand));
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(operand)));
      *out = std::move(node);
      return Status::OK();
    }
    return ParsePower(depth, out);
  }

  Status ParseSigned(int depth, std::unique_ptr<ExprNode>* out) {
    if (IsSymbol(Peek(), "-") || IsSymbol(Peek(), "+")) return ParsePrefixed(depth, out);
    return ParsePower(depth, out);
  }

  Status ParsePower(int depth, std::unique_ptr<ExprNode>* out) {
    std::unique_ptr<ExprNode> left;
    JET_RETURN_IF_ERROR(ParsePrimary(depth, &left));
    while (IsSymbol(Peek(), "^")) {
      auto node = Node(ExprNode::Kind::kBinary, left->position);
      node->op = "^";
      Take();
      std::unique_ptr<ExprNode> right;
      JET_RETURN_IF_ERROR(ParseSigned(depth + 1, &right));
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(left)));
      JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(right)));
      left = std::move(node);
    }
    *out = std::move(left);
    return Status::OK();
  }

  static bool IsReserved(const Token& token) {
    static constexpr std::string_view kWords[] = {"And", "Or",   "Not", "Xor", "Eqv",    "Imp",
                                                  "Mod", "Like", "Is",  "In",  "Between"};
    for (std::string_view word : kWords) {
      if (IsWord(token, word)) return true;
    }
    return false;
  }

  Status ParsePrimary(int depth, std::unique_ptr<ExprNode>* out) {
    const Token token = Peek();
    switch (token.kind) {
      case Tok::kEnd: return SyntaxError("Syntax error (missing operator)");
      case Tok::kBad: return SyntaxError(token.bad);
      case Tok::kNumber: return ParseNumber(out);
      case Tok::kString:
        Take();
        *out = Literal(token.position, Variant::Text(token.text));
        return Status::OK();
      case Tok::kDate: {
        Take();
        double ole = 0;
        if (!ParseDateTimeText(token.text, &ole)) return SyntaxError("Syntax error in date");
        *out = Literal(token.position, Variant::Real(Variant::Type::kDate, ole));
        return Status::OK();
      }
      case Tok::kSymbol:
        if (token.text == "(") return ParseParenthesized(depth, out);
        return SyntaxError("Syntax error (missing operator)");
      case Tok::kName:
      case Tok::kBracketed: break;
    }
    return ParseName(depth, out);
  }

  static std::unique_ptr<ExprNode> Literal(size_t position, Variant value) {
    auto node = Node(ExprNode::Kind::kLiteral, position);
    node->value = std::move(value);
    return node;
  }

  // A whole number that fits a Long is one; any other number a Double. A
  // decimal number keeps the text it was written as.
  Status ParseNumber(std::unique_ptr<ExprNode>* out) {
    const Token token = Take();
    auto node = Node(ExprNode::Kind::kLiteral, token.position);
    double d = 0;
    if (!expr::ParseNumberText(token.text, &d)) return SyntaxError("Syntax error in number");
    const bool whole = token.text.find_first_of(".eE") == std::string::npos || token.text[0] == '&';
    if (whole && std::fabs(d) < 2147483648.0) {
      node->value = expr::WholeNumber(static_cast<int64_t>(d));
    } else {
      node->value = Variant::Real(Variant::Type::kDouble, d);
    }
    if (token.text[0] != '&') node->value.bytes = token.text;
    *out = std::move(node);
    return Status::OK();
  }

  Status ParseParenthesized(int depth, std::unique_ptr<ExprNode>* out) {
    Take();  // (
    JET_RETURN_IF_ERROR(ParseBinary(0, depth + 1, out));
    if (!IsSymbol(Peek(), ")")) {
      return SyntaxError(Peek().kind == Tok::kBad ? Peek().bad : "Missing ), ], or Item");
    }
    Take();
    return Status::OK();
  }

  // A name: a constant (True, Null, ...), a function call, or a column,
  // perhaps qualified (Table.Column, Table!Column).
  Status ParseName(int depth, std::unique_ptr<ExprNode>* out) {
    const Token token = Peek();
    if (token.kind == Tok::kName) {
      static constexpr std::pair<std::string_view, int> kConstants[] = {
          {"True", -1}, {"Yes", -1}, {"On", -1}, {"False", 0}, {"No", 0}, {"Off", 0}};
      for (const auto& [word, value] : kConstants) {
        if (!AsciiEqualsNoCase(token.text, word)) continue;
        Take();
        *out = Literal(token.position, Variant::Boolean(value != 0));
        return Status::OK();
      }
      if (AsciiEqualsNoCase(token.text, "Null")) {
        Take();
        *out = Node(ExprNode::Kind::kLiteral, token.position);
        return Status::OK();
      }
      if (IsReserved(token)) return SyntaxError("Syntax error (missing operator)");
      if (IsSymbol(Peek(1), "(")) return ParseCall(depth, out);
    }
    Take();
    auto node = Node(ExprNode::Kind::kName, token.position);
    node->name = token.text;
    if (IsSymbol(Peek(), ".") || IsSymbol(Peek(), "!")) {
      Take();
      const Token& member = Peek();
      if (member.kind != Tok::kBracketed && (member.kind != Tok::kName || IsReserved(member))) {
        return SyntaxError("Invalid use of '.', '!', or '()'.");
      }
      node->qualifier = std::move(node->name);
      node->name = Take().text;
    }
    *out = std::move(node);
    return Status::OK();
  }

  Status ParseCall(int depth, std::unique_ptr<ExprNode>* out) {
    const Token name = Take();
    auto node = Node(ExprNode::Kind::kCall, name.position);
    Take();  // (
    if (!IsSymbol(Peek(), ")")) {
      do {
        std::unique_ptr<ExprNode> arg;
        JET_RETURN_IF_ERROR(ParseBinary(0, depth + 1, &arg));
        JET_RETURN_IF_ERROR(Adopt(node.get(), std::move(arg)));
      } while (IsSymbol(Peek(), ",") && (Take(), true));
    }
    if (!IsSymbol(Peek(), ")")) {
      return SyntaxError(Peek().kind == Tok::kBad ? Peek().bad : "Missing ), ], or Item");
    }
    Take();
    const expr::Function* function = expr::FindFunction(name.text);
    if (function == nullptr) {
      return expr::Fail(kErrorUndefinedFunction,
                        "Undefined function '" + name.text + "' in expression.");
    }
    const int count = static_cast<int>(node->args.size());
    if (count < function->min_args || count > function->max_args) {
      return SyntaxError("Wrong number of arguments used with function");
    }
    node->name = function->name;
    *out = std::move(node);
    return Status::OK();
  }

  std::string_view text_;
  ExprForm form_;
  std::vector<Token> tokens_;
  size_t at_ = 0;
};

}  // namespace

Status ParseExpression(std::string_view text, ExprForm form, Expression* out, size_t* consumed) {
  std::unique_ptr<ExprNode> root;
  JET_RETURN_IF_ERROR(Parser(text, form).Parse(&root, consumed));
  out->text_ = std::string(consumed != nullptr ? text.substr(0, *consumed) : text);
  while (!out->text_.empty() && (out->text_.back() == ' ' || out->text_.back() == '\t')) {
    out->text_.pop_back();
  }
  out->root_ = std::move(root);
  return Status::OK();
}

}  // namespace jet
