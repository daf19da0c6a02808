// Evaluating bound conditions; see evaluate.h.
#include "sql/evaluate.h"

#include "jet/names.h"

namespace sql {
namespace {

double NumberOf(const jet::Value& value) {
  switch (value.kind()) {
    case jet::Value::Kind::kBoolean: return value.boolean() ? -1.0 : 0.0;
    case jet::Value::Kind::kCurrency: return static_cast<double>(value.integer()) / 10000.0;
    case jet::Value::Kind::kByte:
    case jet::Value::Kind::kInteger:
    case jet::Value::Kind::kLong: return static_cast<double>(value.integer());
    default: return value.real();
  }
}

bool IsExactInteger(const jet::Value& value) {
  const jet::Value::Kind kind = value.kind();
  return kind == jet::Value::Kind::kByte || kind == jet::Value::Kind::kInteger ||
         kind == jet::Value::Kind::kLong || kind == jet::Value::Kind::kCurrency ||
         kind == jet::Value::Kind::kBoolean;
}

int64_t ScaledOf(const jet::Value& value) {
  if (value.kind() == jet::Value::Kind::kCurrency) return value.integer();
  if (value.kind() == jet::Value::Kind::kBoolean) return value.boolean() ? -10000 : 0;
  return value.integer() * 10000;
}

// REQUIRES: neither is null, both of one ValueClass.
int CompareValues(const jet::Value& a, const jet::Value& b) {
  if (a.kind() == jet::Value::Kind::kText) return jet::AsciiCompareNoCase(a.text(), b.text());
  if (IsExactInteger(a) && IsExactInteger(b)) {
    const int64_t x = ScaledOf(a), y = ScaledOf(b);
    return x == y ? 0 : (x < y ? -1 : 1);
  }
  const double x = NumberOf(a), y = NumberOf(b);
  return x == y ? 0 : (x < y ? -1 : 1);
}

bool Holds(CompareOp op, int order) {
  switch (op) {
    case CompareOp::kEq: return order == 0;
    case CompareOp::kNe: return order != 0;
    case CompareOp::kLt: return order < 0;
    case CompareOp::kGt: return order > 0;
    case CompareOp::kLe: return order <= 0;
    case CompareOp::kGe: return order >= 0;
  }
  return false;
}

Truth TruthOf(const jet::Value& value) {
  if (value.is_null()) return Truth::kUnknown;
  if (value.kind() == jet::Value::Kind::kText || value.kind() == jet::Value::Kind::kBinary) {
    return value.binary().empty() ? Truth::kFalse : Truth::kTrue;
  }
  return NumberOf(value) != 0 ? Truth::kTrue : Truth::kFalse;
}

jet::Value ValueOf(const Bound& node, const jet::Row& row) {
  if (node.kind == Bound::Kind::kColumn) return row.values[node.column_index];
  if (node.kind == Bound::Kind::kConstant) return node.constant;
  switch (Evaluate(node, row)) {
    case Truth::kTrue: return jet::Value::Boolean(true);
    case Truth::kFalse: return jet::Value::Boolean(false);
    case Truth::kUnknown: break;
  }
  return jet::Value::Null();
}

}  // namespace

Truth Evaluate(const Bound& node, const jet::Row& row) {
  switch (node.kind) {
    case Bound::Kind::kColumn:
    case Bound::Kind::kConstant: return TruthOf(ValueOf(node, row));
    case Bound::Kind::kCompare: {
      const jet::Value a = ValueOf(*node.left, row);
      const jet::Value b = ValueOf(*node.right, row);
      if (a.is_null() || b.is_null()) return Truth::kUnknown;
      if (ClassOfValue(a) != ClassOfValue(b)) return Truth::kUnknown;
      return Holds(node.op, CompareValues(a, b)) ? Truth::kTrue : Truth::kFalse;
    }
    case Bound::Kind::kIsNull: {
      const bool is_null = ValueOf(*node.left, row).is_null();
      return is_null != node.negated ? Truth::kTrue : Truth::kFalse;
    }
    case Bound::Kind::kNot: {
      const Truth t = Evaluate(*node.left, row);
      if (t == Truth::kUnknown) return t;
      return t == Truth::kTrue ? Truth::kFalse : Truth::kTrue;
    }
    case Bound::Kind::kAnd: {
      const Truth a = Evaluate(*node.left, row);
      if (a == Truth::kFalse) return a;
      const Truth b = Evaluate(*node.right, row);
      if (b == Truth::kFalse) return b;
      return a == Truth::kTrue && b == Truth::kTrue ? Truth::kTrue : Truth::kUnknown;
    }
    case Bound::Kind::kOr: {
      const Truth a = Evaluate(*node.left, row);
      if (a == Truth::kTrue) return a;
      const Truth b = Evaluate(*node.right, row);
      if (b == Truth::kTrue) return b;
      return a == Truth::kFalse && b == Truth::kFalse ? Truth::kFalse : Truth::kUnknown;
    }
  }
  return Truth::kUnknown;
}

}  // namespace sql
