// Binding statements to their tables; see bind.h.
#include "sql/bind.h"

#include <cstdlib>
#include <utility>

#include "sql/convert.h"
#include "sql/evaluate.h"
#include "strings/ascii.h"

namespace sql {
namespace {

ValueClass ClassOf(jet::ColumnType type) {
  switch (type) {
    case jet::ColumnType::kBoolean:
    case jet::ColumnType::kByte:
    case jet::ColumnType::kInteger:
    case jet::ColumnType::kLong:
    case jet::ColumnType::kCurrency:
    case jet::ColumnType::kSingle:
    case jet::ColumnType::kDouble:
    case jet::ColumnType::kDateTime: return ValueClass::kNumber;
    case jet::ColumnType::kText:
    case jet::ColumnType::kMemo: return ValueClass::kText;
    default: return ValueClass::kOther;
  }
}

CompareOp Mirror(CompareOp op) {
  switch (op) {
    case CompareOp::kLt: return CompareOp::kGt;
    case CompareOp::kGt: return CompareOp::kLt;
    case CompareOp::kLe: return CompareOp::kGe;
    case CompareOp::kGe: return CompareOp::kLe;
    default: return op;
  }
}

// A literal compared with another literal, or standing alone: its own type.
jet::Value NaturalValue(const Literal& literal, std::deque<std::string>* arena, bool* ok) {
  *ok = true;
  switch (literal.kind) {
    case Literal::Kind::kNull: return jet::Value::Null();
    case Literal::Kind::kBoolean: return jet::Value::Boolean(literal.boolean);
    case Literal::Kind::kNumber:
      return jet::Value::Real(jet::Value::Kind::kDouble,
                              std::strtod(literal.text.c_str(), nullptr));
    case Literal::Kind::kDate: {
      double ole = 0;
      *ok = ParseDateTimeText(literal.text, &ole);
      return jet::Value::Real(jet::Value::Kind::kDateTime, ole);
    }
    case Literal::Kind::kString:
      arena->push_back(literal.text);
      return jet::Value::Bytes(jet::Value::Kind::kText, arena->back());
  }
  return jet::Value::Null();
}

class Binder {
 public:
  Binder(const jet::TableDef& table, std::deque<std::string>* arena)
      : table_(table), arena_(arena) {}

  bool Bind(const Expr& expr, std::unique_ptr<Bound>* out, Error* error) {
    auto node = std::make_unique<Bound>();
    switch (expr.kind) {
      case Expr::Kind::kColumn:
        node->kind = Bound::Kind::kColumn;
        if (!LookUpColumn(table_, expr.column, &node->column_index, error)) return false;
        break;
      case Expr::Kind::kLiteral: {
        node->kind = Bound::Kind::kConstant;
        bool ok = true;  // # literals were checked by the parser
        node->constant = NaturalValue(expr.literal, arena_, &ok);
        break;
      }
      case Expr::Kind::kIsNull:
      case Expr::Kind::kNot:
        node->kind = expr.kind == Expr::Kind::kIsNull ? Bound::Kind::kIsNull : Bound::Kind::kNot;
        node->negated = expr.negated;
        if (expr.kind == Expr::Kind::kNot ? !BindCondition(*expr.left, &node->left, error)
                                          : !Bind(*expr.left, &node->left, error)) {
          return false;
        }
        break;
      case Expr::Kind::kAnd:
      case Expr::Kind::kOr:
        node->kind = expr.kind == Expr::Kind::kAnd ? Bound::Kind::kAnd : Bound::Kind::kOr;
        if (!BindCondition(*expr.left, &node->left, error) ||
            !BindCondition(*expr.right, &node->right, error)) {
          return false;
        }
        break;
      case Expr::Kind::kCompare:
        if (!BindCompare(expr, node.get(), error)) return false;
        break;
    }
    *out = std::move(node);
    return true;
  }

 private:
  bool BindCompare(const Expr& expr, Bound* node, Error* error) {
    node->kind = Bound::Kind::kCompare;
    node->op = expr.op;
    const Expr* left = expr.left.get();
    const Expr* right = expr.right.get();
    // Column on the left, so that a literal meets the column's type.
    if (left->kind == Expr::Kind::kLiteral && right->kind == Expr::Kind::kColumn) {
      std::swap(left, right);
      node->op = Mirror(node->op);
    }
    if (!Bind(*left, &node->left, error)) return false;
    if (left->kind == Expr::Kind::kColumn && right->kind == Expr::Kind::kLiteral) {
      node->right = std::make_unique<Bound>();
      node->right->kind = Bound::Kind::kConstant;
      const jet::ColumnDef& column = table_.columns[node->left->column_index];
      Converted converted = ConvertLiteral(table_, column, right->literal, arena_);
      if (converted.failure == ConvertFailure::kNone) {
        node->right->constant = converted.value;
        node->right->column_typed = true;
        return true;
      }
      // A number the column cannot hold (beyond its range, or 5 for a
      // Yes/No) still compares as a number: Yes is -1 and No is 0.
      if (right->literal.kind == Literal::Kind::kNumber &&
          ClassOf(column.type) == ValueClass::kNumber) {
        bool ok = true;
        node->right->constant = NaturalValue(right->literal, arena_, &ok);
        return true;
      }
      return ConvertFor(table_, column, right->literal, arena_, &node->right->constant, error);
    }
    if (!Bind(*right, &node->right, error)) return false;
    const ValueClass a = ClassOfOperand(*node->left), b = ClassOfOperand(*node->right);
    if (IsNullConstant(*node->left) || IsNullConstant(*node->right)) return true;
    if (a == b && a != ValueClass::kOther) return true;
    return Fail(error, ErrorKind::kTypeMismatch,
                "Data type mismatch: " + Describe(*left) + " cannot be compared with " +
                    Describe(*right) + " (character " + std::to_string(expr.position) + ")");
  }

  std::string Describe(const Expr& expr) const {
    if (expr.kind == Expr::Kind::kLiteral) return "the value " + expr.literal.Display();
    if (expr.kind != Expr::Kind::kColumn) return "a condition";
    const jet::ColumnDef* column = table_.FindColumn(expr.column.name);
    return "column " + table_.name + "." + (column != nullptr ? column->name : expr.column.name) +
           " (" + (column != nullptr ? jet::ColumnTypeName(column->type) : "?") + ")";
  }

 public:
  // A condition: WHERE itself and each operand of AND, OR and NOT. A number
  // or Yes/No stands for true when it is not 0; a text is no condition.
  bool BindCondition(const Expr& expr, std::unique_ptr<Bound>* out, Error* error) {
    if (!Bind(expr, out, error)) return false;
    const Bound& node = **out;
    if ((node.kind == Bound::Kind::kColumn || node.kind == Bound::Kind::kConstant) &&
        !IsNullConstant(node) && ClassOfOperand(node) != ValueClass::kNumber) {
      return Fail(error, ErrorKind::kTypeMismatch,
                  "Data type mismatch: " + Describe(expr) + " is not a condition (character " +
                      std::to_string(expr.position) + ")");
    }
    return true;
  }

 private:
  static bool IsNullConstant(const Bound& node) {
    return node.kind == Bound::Kind::kConstant && node.constant.is_null();
  }

  ValueClass ClassOfOperand(const Bound& node) const {
    if (node.kind == Bound::Kind::kColumn) return ClassOf(table_.columns[node.column_index].type);
    if (node.kind == Bound::Kind::kConstant) return ClassOfValue(node.constant);
    return ValueClass::kNumber;  // a condition: true -1, false 0
  }

  const jet::TableDef& table_;
  std::deque<std::string>* arena_;
};

}  // namespace

bool Fail(Error* error, ErrorKind kind, std::string description) {
  error->kind = kind;
  error->description = std::move(description);
  return false;
}

ValueClass ClassOfValue(const jet::Value& value) {
  if (value.is_null()) return ValueClass::kOther;
  return value.kind() == jet::Value::Kind::kText ? ValueClass::kText : ValueClass::kNumber;
}

bool LookUpColumn(const jet::TableDef& table, const ColumnRef& ref, size_t* column_index,
                  Error* error) {
  const jet::ColumnDef* column = nullptr;
  if (ref.qualifier.empty() || strings::AsciiEqualsNoCase(ref.qualifier, table.name)) {
    column = table.FindColumn(ref.name);
  }
  if (column == nullptr) {
    return Fail(error, ErrorKind::kNoSuchColumn,
                "The table " + table.name + " has no column " + ref.Display() + " (character " +
                    std::to_string(ref.position) + ")");
  }
  *column_index = static_cast<size_t>(column - table.columns.data());
  return true;
}

bool ConvertFor(const jet::TableDef& table, const jet::ColumnDef& column, const Literal& literal,
                std::deque<std::string>* arena, jet::Value* value, Error* error) {
  Converted converted = ConvertLiteral(table, column, literal, arena);
  if (converted.failure == ConvertFailure::kNone) {
    *value = converted.value;
    return true;
  }
  return Fail(error,
              converted.failure == ConvertFailure::kNotSupported ? ErrorKind::kNotSupported
                                                                 : ErrorKind::kTypeMismatch,
              converted.description);
}

bool BindCondition(const jet::TableDef& table, const Expr& expr, std::deque<std::string>* arena,
                   std::unique_ptr<Bound>* out, Error* error) {
  if (!Binder(table, arena).BindCondition(expr, out, error)) return false;
  (*out)->expression = CompileCondition(**out);
  return true;
}

}  // namespace sql
