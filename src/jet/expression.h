// Access expressions: the language of a column's default value, of the
// validation rules of columns and tables, and of query conditions. One
// parser and one evaluator serve all of them (expr/).
//
// Values are Variants, typed as Access types them: Boolean (-1 true, 0
// false), Byte, Integer, Long, Currency, Single, Double, Date, Text, and
// Binary and GUID for the columns that hold them. Null flows through: an
// operator or function meeting Null gives Null, except & (Null counts as "")
// and the functions made for it (IsNull, Nz, IIf); And/Or/Not follow the
// three-valued logic (False And Null is False, True Or Null is True).
//
// Invariants:
//   (E1) Parsing takes time and stack linear in the text: nesting is
//        bounded (kMaxExpressionNesting), so no text exhausts the stack.
//   (E2) Nothing is guessed: a text that is not an expression, a name no
//        binding resolves, a function this evaluator does not know, a value
//        that cannot be converted, each fail with Access's error number and
//        text, never a silent Null or zero.
//   (E3) Evaluation never reads past its inputs: names read the row given
//        to Evaluate, by the index BindNames gave them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/status.h"
#include "jet/types.h"

namespace jet {

// Access's numbers and texts for what can go wrong in an expression.
inline constexpr int kErrorOverflow = 6;              // "Overflow"
inline constexpr int kErrorDivisionByZero = 11;       // "Division by zero"
inline constexpr int kErrorTypeMismatch = 13;         // "Type mismatch"
inline constexpr int kErrorInvalidNull = 94;          // "Invalid use of Null"
inline constexpr int kErrorQueryExpression = 3075;    // "... in query expression '...'."
inline constexpr int kErrorUndefinedFunction = 3085;  // "Undefined function '...' in expression."
inline constexpr int kErrorCriteriaMismatch = 3464;  // "Data type mismatch in criteria expression."

struct Variant {
  enum class Type : uint8_t {
    kNull,
    kBoolean,
    kByte,
    kInteger,
    kLong,
    kCurrency,
    kSingle,
    kDouble,
    kDate,
    kText,
    kBinary,
    kGuid,
  };
  Type type = Type::kNull;
  int64_t integer = 0;  // Boolean (-1/0), Byte, Integer, Long; Currency x 10,000
  double real = 0;      // Single, Double, Date (OLE date)
  // Text (UTF-8), Binary, GUID (16 bytes as stored). A number written in an
  // expression or a statement keeps its digits here too, so that a column
  // takes exactly the written value (0.1 to Currency, 12345678901234567).
  std::string bytes;

  bool is_null() const { return type == Type::kNull; }
  bool IsNumeric() const { return type >= Type::kBoolean && type <= Type::kDate; }

  static Variant Null() { return {}; }
  static Variant Boolean(bool b) { return Make(Type::kBoolean, b ? -1 : 0, 0); }
  static Variant Integer(Type t, int64_t i) { return Make(t, i, 0); }
  static Variant Real(Type t, double d) { return Make(t, 0, d); }
  static Variant Text(std::string s) {
    Variant v;
    v.type = Type::kText;
    v.bytes = std::move(s);
    return v;
  }
  // The value as a Variant; text and binary bytes are copied.
  static Variant Of(const Value& value);

 private:
  static Variant Make(Type t, int64_t i, double d) {
    Variant v;
    v.type = t;
    v.integer = i;
    v.real = d;
    return v;
  }
};

// One node of a parsed expression.
struct ExprNode {
  enum class Kind {
    kLiteral,  // value
    kName,     // qualifier.name; `slot` once bound
    kSubject,  // the value a column rule checks (the operand a rule leaves out)
    kUnary,    // op on args[0]: "-", "+", "Not"
    kBinary,   // op on args[0], args[1]: arithmetic, &, comparisons, Like, And, Or, ...
    kBetween,  // args[0] Between args[1] And args[2]; `negated`: Not Between
    kIn,       // args[0] In (args[1..]); `negated`: Not In
    kIsNull,   // args[0] Is Null; `negated`: Is Not Null
    kCall,     // name(args...)
  };
  Kind kind = Kind::kLiteral;
  std::string op;         // kUnary, kBinary: the operator, keywords capitalised ("And", "Mod")
  Variant value;          // kLiteral
  std::string qualifier;  // kName: table before "." or "!", empty when bare
  std::string name;       // kName, kCall
  int slot = -1;          // kName: index in the evaluated row (BindNames)
  bool negated = false;
  size_t position = 0;  // 1-based character where the node starts
  int height = 1;       // of the subtree: evaluation recurses this deep (E1)
  std::vector<std::unique_ptr<ExprNode>> args;
};

// Deepest nesting of parentheses, prefix operators and calls the parser
// accepts, and the greatest height of a parsed tree (E1).
inline constexpr int kMaxExpressionNesting = 200;
inline constexpr int kMaxExpressionHeight = 500;

enum class ExprForm {
  kExpression,  // a whole expression; a leading "=" is allowed (default values)
  kColumnRule,  // a column's validation rule: a comparison may leave out its
                // left operand (">=0", "Between 1 And 5", "Is Not Null",
                // "<>'' And Like 'A*'"): it is the column's value (kSubject)
};

class Expression {
 public:
  Expression() = default;
  // A tree built by a caller that parsed the text itself (the SQL layer's
  // conditions). REQUIRES: its height within kMaxExpressionHeight or
  // so, as Evaluate recurses that deep.
  Expression(std::unique_ptr<ExprNode> root, std::string text)
      : text_(std::move(text)), root_(std::move(root)) {}
  const std::string& text() const { return text_; }
  const ExprNode* root() const { return root_.get(); }
  ExprNode* mutable_root() { return root_.get(); }

 private:
  friend Status ParseExpression(std::string_view text, ExprForm form, Expression* out,
                                size_t* consumed);
  std::string text_;
  std::shared_ptr<ExprNode> root_;
};

// Parses `text`. With `consumed` null the whole text must be the expression
// (blanks around it allowed); otherwise parsing stops before the first token
// that cannot continue it, and *consumed is the number of bytes taken.
// Failure: kInvalidArgument with error 3075's text ("Syntax error (missing
// operator) in query expression '...'.").
Status ParseExpression(std::string_view text, ExprForm form, Expression* out,
                       size_t* consumed = nullptr);

// Resolves every name: `lookup` gives its slot in the rows Evaluate will get,
// or -1 when unknown, which fails with the name (kNotFound).
Status BindNames(
    Expression* expression,
    const std::function<int(std::string_view qualifier, std::string_view name)>& lookup);

struct EvalInput {
  const std::vector<Value>* row = nullptr;  // what bound names read
  const Value* subject = nullptr;           // a column rule's value (kSubject)
  double now = 0;                           // OLE date and time for Date(), Now(), Time()
};

// Evaluates; failures carry Access's error number (access_error()).
Status Evaluate(const Expression& expression, const EvalInput& input, Variant* result);

// Truth of a condition's value: 1 true, 0 false, -1 Null. Text that is not
// a number fails as a type mismatch.
Status TruthOf(const Variant& value, int* truth);

// The current local date and time as an OLE date.
double NowAsOleDate();

// ---- Conversions, as Access makes them ----

// A value for a column of `column`'s type, converted as Access converts a
// value it stores (the table of conversions in expr/convert.cc). Text and
// binary bytes of *out point into *storage, which must outlive it. Failure:
// kInvalidArgument "Data type mismatch: ...", "Overflow: ..." naming
// `where` and the value; kNotSupported for a Numeric column given a value
// that is not Null.
Status ToColumnValue(const Variant& value, const ColumnDef& column, const std::string& where,
                     std::string* storage, Value* out);

// Reads a date, date and time, or time text as an OLE date: m/d/yyyy,
// m/d/yy, yyyy-mm-dd, each with an optional time h:mm[:ss] [AM|PM], or a
// time alone (day 0, 12/30/1899). Two-digit years 00-29 are 2000-2029,
// 30-99 1930-1999. False when it is none of the forms.
bool ParseDateTimeText(std::string_view text, double* ole_date);

// m/d/yyyy, with " h:mm:ss AM" or " PM" when the value has a time of day.
std::string FormatOleDate(double ole_date);

// The value as text, as & and a Text column take it: numbers in their
// shortest exact form, dates as FormatOleDate, Yes/No as -1 and 0.
std::string VariantText(const Variant& value);

}  // namespace jet
