// The evaluator of Access expressions; see expression.h.
//
// Arithmetic keeps Access's types: + - * on whole numbers give the wider of
// the two (Byte, Integer, Long), moving on to Long and then Double when
// the result does not fit; Currency stays exact; Single and Double as
// floating point (Single with Long gives Double); a Date plus or minus a
// number is a Date, a Date minus a Date a Double. / gives a Double, \ and
// Mod round both sides half to even first. + of two texts joins them; a
// text meeting a number is read as one (13 "Type mismatch" when it is not).
// Comparisons: numbers with numbers, text with text without regard to case,
// a text with a number or date read as one (3464 when it cannot be).
#include <cmath>
#include <limits>

#include "jet/expr/functions.h"
#include "jet/expr/values.h"
#include "strings/ascii.h"
#include "strings/utf8.h"

namespace jet {

using strings::Latin1CompareNoCase;
using strings::Latin1Lower;
using strings::NextCodePoint;
namespace {

using T = Variant::Type;
using expr::Fail;

Status CriteriaMismatch() {
  return Fail(kErrorCriteriaMismatch, "Data type mismatch in criteria expression.");
}

// 0 Byte, 1 Integer, 2 Long, 3 Single, 4 Double, 5 Currency (Boolean counts
// as Integer).
int Rank(T type) {
  switch (type) {
    case T::kByte: return 0;
    case T::kBoolean:
    case T::kInteger: return 1;
    case T::kLong: return 2;
    case T::kSingle: return 3;
    case T::kCurrency: return 5;
    default: return 4;
  }
}

Variant FitWhole(int64_t n, int rank) {
  if (rank == 0 && n >= 0 && n <= 255) return Variant::Integer(T::kByte, n);
  if (rank <= 1 && n >= -32768 && n <= 32767) return Variant::Integer(T::kInteger, n);
  if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max()) {
    return Variant::Integer(T::kLong, n);
  }
  return Variant::Real(T::kDouble, static_cast<double>(n));
}

Status Real(T type, double v, Variant* out) {
  if (!std::isfinite(v) || (type == T::kSingle && std::fabs(v) > 3.402823466e38)) {
    return expr::Overflow();
  }
  *out = Variant::Real(type, type == T::kSingle ? static_cast<float>(v) : v);
  return Status::OK();
}

Status Arithmetic(const std::string& op, const Variant& a, const Variant& b, Variant* out) {
  if (a.is_null() || b.is_null()) {
    *out = Variant::Null();
    return Status::OK();
  }
  if (op == "+" && a.type == T::kText && b.type == T::kText) {
    *out = Variant::Text(a.bytes + b.bytes);
    return Status::OK();
  }
  Variant x, y;
  JET_RETURN_IF_ERROR(expr::ToNumber(a, &x));
  JET_RETURN_IF_ERROR(expr::ToNumber(b, &y));
  if (op == "^") {
    const double v = std::pow(expr::NumberOf(x), expr::NumberOf(y));
    if (std::isnan(v)) return Fail(5, "Invalid procedure call or argument");
    return Real(T::kDouble, v, out);
  }
  if (op == "\\" || op == "Mod") {
    int64_t p = 0, q = 0;
    JET_RETURN_IF_ERROR(expr::ToLong(x, &p));
    JET_RETURN_IF_ERROR(expr::ToLong(y, &q));
    if (q == 0) return Fail(kErrorDivisionByZero, "Division by zero");
    *out = FitWhole(op == "Mod" ? p % q : p / q, std::max(1, std::max(Rank(x.type), Rank(y.type))));
    return Status::OK();
  }
  if (op == "/") {
    const double q = expr::NumberOf(y);
    if (q == 0) {
      return expr::NumberOf(x) == 0 ? expr::Overflow()
                                    : Fail(kErrorDivisionByZero, "Division by zero");
    }
    return Real(x.type == T::kSingle && y.type == T::kSingle ? T::kSingle : T::kDouble,
                expr::NumberOf(x) / q, out);
  }
  // + - *
  const bool date_x = x.type == T::kDate, date_y = y.type == T::kDate;
  if (date_x || date_y) {
    const double p = expr::NumberOf(x), q = expr::NumberOf(y);
    const double v = op == "+" ? p + q : op == "-" ? p - q : p * q;
    const bool is_date = op != "*" && !(op == "-" && date_x && date_y);
    if (is_date && (v < -657434.0 || v >= 2958466.0)) return expr::Overflow();
    return Real(is_date ? T::kDate : T::kDouble, v, out);
  }
  const int rank = std::max(Rank(x.type), Rank(y.type));
  if (rank <= 2) {
    const __int128 p = x.integer, q = y.integer;
    const __int128 v = op == "+" ? p + q : op == "-" ? p - q : p * q;
    if (v > std::numeric_limits<int64_t>::max() || v < std::numeric_limits<int64_t>::min()) {
      return Real(T::kDouble, static_cast<double>(v), out);
    }
    *out = FitWhole(static_cast<int64_t>(v), rank);
    return Status::OK();
  }
  if (rank == 5 && (x.type == T::kCurrency || expr::IsWhole(x.type)) &&
      (y.type == T::kCurrency || expr::IsWhole(y.type))) {
    const __int128 p =
        x.type == T::kCurrency ? x.integer : static_cast<__int128>(x.integer) * 10000;
    const __int128 q =
        y.type == T::kCurrency ? y.integer : static_cast<__int128>(y.integer) * 10000;
    __int128 v = op == "+" ? p + q : op == "-" ? p - q : 0;
    if (op == "*") {
      const __int128 product = p * q;  // x 10^8: back to 10^4, half to even
      v = product / 10000;
      const __int128 rest = product % 10000;
      const __int128 twice = (rest < 0 ? -rest : rest) * 2;
      if (twice > 10000 || (twice == 10000 && (v & 1) != 0)) v += product < 0 ? -1 : 1;
    }
    if (v > std::numeric_limits<int64_t>::max() || v < std::numeric_limits<int64_t>::min()) {
      return expr::Overflow();
    }
    *out = Variant::Integer(T::kCurrency, static_cast<int64_t>(v));
    return Status::OK();
  }
  const double p = expr::NumberOf(x), q = expr::NumberOf(y);
  const double v = op == "+" ? p + q : op == "-" ? p - q : p * q;
  const bool single = rank == 3 && Rank(x.type) != 2 && Rank(y.type) != 2;
  return Real(single ? T::kSingle : T::kDouble, v, out);
}

// Order of two values that are not Null: <0, 0, >0.
Status Compare(const Variant& a, const Variant& b, int* order) {
  auto sign = [](double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; };
  if (a.type == T::kText && b.type == T::kText) {
    *order = Latin1CompareNoCase(a.bytes, b.bytes);
    return Status::OK();
  }
  if (a.IsNumeric() && b.IsNumeric()) {
    const bool exact = (expr::IsWhole(a.type) || a.type == T::kCurrency) &&
                       (expr::IsWhole(b.type) || b.type == T::kCurrency);
    if (exact) {
      const __int128 p =
          a.type == T::kCurrency ? a.integer : static_cast<__int128>(a.integer) * 10000;
      const __int128 q =
          b.type == T::kCurrency ? b.integer : static_cast<__int128>(b.integer) * 10000;
      *order = p < q ? -1 : p > q ? 1 : 0;
    } else {
      *order = sign(expr::NumberOf(a) - expr::NumberOf(b));
    }
    return Status::OK();
  }
  if ((a.type == T::kGuid || a.type == T::kBinary) && a.type == b.type) {
    *order = a.bytes.compare(b.bytes);
    return Status::OK();
  }
  if (a.type == T::kText && b.IsNumeric()) {
    int reversed = 0;
    JET_RETURN_IF_ERROR(Compare(b, a, &reversed));
    *order = -reversed;
    return Status::OK();
  }
  if (a.IsNumeric() && b.type == T::kText) {
    double other = 0;
    const bool read = a.type == T::kDate ? ParseDateTimeText(b.bytes, &other) ||
                                               expr::ParseNumberText(b.bytes, &other)
                                         : expr::ParseNumberText(b.bytes, &other);
    if (!read) return CriteriaMismatch();
    *order = sign(expr::NumberOf(a) - other);
    return Status::OK();
  }
  if (a.type == T::kGuid && b.type == T::kText) {
    std::array<uint8_t, 16> guid{};
    if (!ParseGuidText(b.bytes, &guid)) return CriteriaMismatch();
    *order = a.bytes.compare(std::string(reinterpret_cast<const char*>(guid.data()), 16));
    return Status::OK();
  }
  if (a.type == T::kText && b.type == T::kGuid) {
    int reversed = 0;
    JET_RETURN_IF_ERROR(Compare(b, a, &reversed));
    *order = -reversed;
    return Status::OK();
  }
  return CriteriaMismatch();
}

// -1 Null, 0 false, 1 true.
Variant FromTruth(int truth) { return truth < 0 ? Variant::Null() : Variant::Boolean(truth != 0); }

Status Comparison(const std::string& op, const Variant& a, const Variant& b, Variant* out) {
  if (a.is_null() || b.is_null()) {
    *out = Variant::Null();
    return Status::OK();
  }
  int order = 0;
  JET_RETURN_IF_ERROR(Compare(a, b, &order));
  const bool holds = op == "="    ? order == 0
                     : op == "<>" ? order != 0
                     : op == "<"  ? order < 0
                     : op == ">"  ? order > 0
                     : op == "<=" ? order <= 0
                                  : order >= 0;
  *out = Variant::Boolean(holds);
  return Status::OK();
}

// One element of a Like pattern.
struct PatternItem {
  enum class Kind { kAnyRun, kAnyOne, kDigit, kChar, kClass } kind = Kind::kChar;
  uint32_t cp = 0;
  bool negated = false;
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
};

Status CompilePattern(std::string_view pattern, std::vector<PatternItem>* items) {
  for (size_t i = 0; i < pattern.size();) {
    const uint32_t cp = NextCodePoint(pattern, &i);
    PatternItem item;
    item.kind = PatternItem::Kind::kChar;
    if (cp == '*') {
      item.kind = PatternItem::Kind::kAnyRun;
    } else if (cp == '?') {
      item.kind = PatternItem::Kind::kAnyOne;
    } else if (cp == '#') {
      item.kind = PatternItem::Kind::kDigit;
    } else if (cp == '[') {
      item.kind = PatternItem::Kind::kClass;
      bool closed = false, first = true;
      while (i < pattern.size()) {
        uint32_t c = NextCodePoint(pattern, &i);
        if (c == ']' && !first) {
          closed = true;
          break;
        }
        if (c == '!' && first) {
          item.negated = true;
          first = false;
          continue;
        }
        if (c == ']') {  // "[]": an empty class
          closed = true;
          break;
        }
        first = false;
        uint32_t high = c;
        if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
          ++i;
          high = NextCodePoint(pattern, &i);
          if (high < c) return Fail(93, "Invalid pattern string");
        }
        item.ranges.emplace_back(Latin1Lower(c), Latin1Lower(high));
      }
      if (!closed) return Fail(93, "Invalid pattern string");
    } else {
      item.cp = Latin1Lower(cp);
    }
    items->push_back(std::move(item));
  }
  return Status::OK();
}

bool MatchesOne(const PatternItem& item, uint32_t cp) {
  switch (item.kind) {
    case PatternItem::Kind::kAnyOne: return true;
    case PatternItem::Kind::kDigit: return cp >= '0' && cp <= '9';
    case PatternItem::Kind::kChar: return item.cp == cp;
    case PatternItem::Kind::kClass: {
      bool in = false;
      for (const auto& [low, high] : item.ranges) in = in || (cp >= low && cp <= high);
      return in != item.negated;
    }
    case PatternItem::Kind::kAnyRun: return false;
  }
  return false;
}

// Wildcard match, going back only to the last "*": time text x pattern.
bool Matches(const std::vector<uint32_t>& text, const std::vector<PatternItem>& pattern) {
  size_t t = 0, p = 0, star = std::string::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p].kind == PatternItem::Kind::kAnyRun) {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && MatchesOne(pattern[p], text[t])) {
      ++p, ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p].kind == PatternItem::Kind::kAnyRun) ++p;
  return p == pattern.size();
}

Status Like(const Variant& a, const Variant& b, Variant* out) {
  if (a.is_null() || b.is_null()) {
    *out = Variant::Null();
    return Status::OK();
  }
  std::vector<PatternItem> pattern;
  JET_RETURN_IF_ERROR(CompilePattern(VariantText(b), &pattern));
  const std::string text = VariantText(a);
  std::vector<uint32_t> chars;
  for (size_t i = 0; i < text.size();) chars.push_back(Latin1Lower(NextCodePoint(text, &i)));
  *out = Variant::Boolean(Matches(chars, pattern));
  return Status::OK();
}

Status Logic(const std::string& op, const Variant& a, const Variant& b, Variant* out) {
  int x = 0, y = 0;
  JET_RETURN_IF_ERROR(TruthOf(a, &x));
  JET_RETURN_IF_ERROR(TruthOf(b, &y));
  int r = -1;
  if (op == "And") {
    r = x == 0 || y == 0 ? 0 : x < 0 || y < 0 ? -1 : 1;
  } else if (op == "Or") {
    r = x == 1 || y == 1 ? 1 : x < 0 || y < 0 ? -1 : 0;
  } else if (x >= 0 && y >= 0) {
    if (op == "Xor") r = x != y;
    if (op == "Eqv") r = x == y;
    if (op == "Imp") r = !x || y;
  } else if (op == "Imp") {
    r = x == 0 || y == 1 ? 1 : -1;
  }
  *out = FromTruth(r);
  return Status::OK();
}

class Evaluator {
 public:
  explicit Evaluator(const EvalInput& input) : input_(input) {}

  Status Eval(const ExprNode& node, Variant* out) {
    switch (node.kind) {
      case ExprNode::Kind::kLiteral: *out = node.value; return Status::OK();
      case ExprNode::Kind::kName:
        if (input_.row == nullptr || node.slot < 0 ||
            static_cast<size_t>(node.slot) >= input_.row->size()) {
          return UnknownName(node);
        }
        *out = Variant::Of((*input_.row)[static_cast<size_t>(node.slot)]);
        return Status::OK();
      case ExprNode::Kind::kSubject:
        *out = input_.subject != nullptr ? Variant::Of(*input_.subject) : Variant::Null();
        return Status::OK();
      case ExprNode::Kind::kUnary: return Unary(node, out);
      case ExprNode::Kind::kBinary: {
        Variant a, b;
        JET_RETURN_IF_ERROR(Eval(*node.args[0], &a));
        JET_RETURN_IF_ERROR(Eval(*node.args[1], &b));
        const std::string& op = node.op;
        if (op == "And" || op == "Or" || op == "Xor" || op == "Eqv" || op == "Imp") {
          return Logic(op, a, b, out);
        }
        if (op == "Like") return Like(a, b, out);
        if (op == "&") {
          *out = a.is_null() && b.is_null() ? Variant::Null()
                                            : Variant::Text(VariantText(a) + VariantText(b));
          return Status::OK();
        }
        if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
          return Comparison(op, a, b, out);
        }
        return Arithmetic(op, a, b, out);
      }
      case ExprNode::Kind::kBetween: {
        Variant x, low, high, ge, le;
        JET_RETURN_IF_ERROR(Eval(*node.args[0], &x));
        JET_RETURN_IF_ERROR(Eval(*node.args[1], &low));
        JET_RETURN_IF_ERROR(Eval(*node.args[2], &high));
        JET_RETURN_IF_ERROR(Comparison(">=", x, low, &ge));
        JET_RETURN_IF_ERROR(Comparison("<=", x, high, &le));
        JET_RETURN_IF_ERROR(Logic("And", ge, le, out));
        return node.negated ? Negate(out) : Status::OK();
      }
      case ExprNode::Kind::kIn: {
        Variant x;
        JET_RETURN_IF_ERROR(Eval(*node.args[0], &x));
        Variant any = Variant::Boolean(false);
        for (size_t i = 1; i < node.args.size(); ++i) {
          Variant item, equal;
          JET_RETURN_IF_ERROR(Eval(*node.args[i], &item));
          JET_RETURN_IF_ERROR(Comparison("=", x, item, &equal));
          JET_RETURN_IF_ERROR(Logic("Or", any, equal, &any));
        }
        *out = std::move(any);
        return node.negated ? Negate(out) : Status::OK();
      }
      case ExprNode::Kind::kIsNull: {
        Variant x;
        JET_RETURN_IF_ERROR(Eval(*node.args[0], &x));
        *out = Variant::Boolean(x.is_null() != node.negated);
        return Status::OK();
      }
      case ExprNode::Kind::kCall: return Call(node, out);
    }
    return Status::OK();
  }

 private:
  static Status UnknownName(const ExprNode& node) {
    const std::string name = node.qualifier.empty() ? node.name : node.qualifier + "." + node.name;
    return Status::Numbered(StatusCode::kNotFound, 3070,
                            "The database engine does not recognize '" + name +
                                "' as a valid field name or expression.");
  }

  static Status Negate(Variant* value) {
    int truth = 0;
    JET_RETURN_IF_ERROR(TruthOf(*value, &truth));
    *value = FromTruth(truth < 0 ? -1 : !truth);
    return Status::OK();
  }

  Status Unary(const ExprNode& node, Variant* out) {
    Variant x;
    JET_RETURN_IF_ERROR(Eval(*node.args[0], &x));
    if (node.op == "Not") {
      *out = std::move(x);
      return Negate(out);
    }
    if (x.is_null()) {
      *out = Variant::Null();
      return Status::OK();
    }
    Variant n;
    JET_RETURN_IF_ERROR(expr::ToNumber(x, &n));
    if (node.op == "+") {
      *out = std::move(n);
      return Status::OK();
    }
    if (expr::IsWhole(n.type)) {
      *out = FitWhole(-n.integer, std::max(1, Rank(n.type)));
    } else if (n.type == T::kCurrency) {
      if (n.integer == std::numeric_limits<int64_t>::min()) return expr::Overflow();
      *out = Variant::Integer(T::kCurrency, -n.integer);
    } else {
      *out = Variant::Real(n.type, -n.real);
    }
    return Status::OK();
  }

  Status Call(const ExprNode& node, Variant* out) {
    const expr::Function* function = expr::FindFunction(node.name);
    if (function == nullptr) {
      return Fail(kErrorUndefinedFunction, "Undefined function '" + node.name + "' in expression.");
    }
    if (function->call == nullptr) {  // IIf: only the branch taken is evaluated
      Variant condition;
      JET_RETURN_IF_ERROR(Eval(*node.args[0], &condition));
      int truth = 0;
      JET_RETURN_IF_ERROR(TruthOf(condition, &truth));
      return Eval(*node.args[truth == 1 ? 1 : 2], out);
    }
    std::vector<Variant> args(node.args.size());
    for (size_t i = 0; i < args.size(); ++i) JET_RETURN_IF_ERROR(Eval(*node.args[i], &args[i]));
    *out = Variant::Null();
    return function->call(args, input_, out);
  }

  const EvalInput& input_;
};

Status BindNode(ExprNode* node,
                const std::function<int(std::string_view, std::string_view)>& lookup) {
  if (node->kind == ExprNode::Kind::kName) {
    node->slot = lookup(node->qualifier, node->name);
    if (node->slot < 0) {
      const std::string name =
          node->qualifier.empty() ? node->name : node->qualifier + "." + node->name;
      return Status::Numbered(StatusCode::kNotFound, 3070,
                              "The database engine does not recognize '" + name +
                                  "' as a valid field name or expression.");
    }
  }
  for (auto& arg : node->args) JET_RETURN_IF_ERROR(BindNode(arg.get(), lookup));
  return Status::OK();
}

}  // namespace

Status TruthOf(const Variant& value, int* truth) {
  if (value.is_null()) {
    *truth = -1;
    return Status::OK();
  }
  double d = 0;
  if (value.IsNumeric()) {
    d = expr::NumberOf(value);
  } else if (value.type != T::kText || !expr::ParseNumberText(value.bytes, &d)) {
    return expr::TypeMismatch();
  }
  *truth = d != 0 ? 1 : 0;
  return Status::OK();
}

Status BindNames(Expression* expression,
                 const std::function<int(std::string_view, std::string_view)>& lookup) {
  if (expression->mutable_root() == nullptr) return Status::OK();
  return BindNode(expression->mutable_root(), lookup);
}

Status Evaluate(const Expression& expression, const EvalInput& input, Variant* result) {
  *result = Variant::Null();
  if (expression.root() == nullptr) return Status::OK();
  return Evaluator(input).Eval(*expression.root(), result);
}

}  // namespace jet
