// Evaluating bound conditions; see evaluate.h.
#include "sql/evaluate.h"

#include <utility>

namespace sql {
namespace {

const char* OperatorOf(CompareOp op) {
  switch (op) {
    case CompareOp::kEq: return "=";
    case CompareOp::kNe: return "<>";
    case CompareOp::kLt: return "<";
    case CompareOp::kGt: return ">";
    case CompareOp::kLe: return "<=";
    case CompareOp::kGe: return ">=";
  }
  return "=";
}

std::unique_ptr<jet::ExprNode> Node(const Bound& bound) {
  auto node = std::make_unique<jet::ExprNode>();
  auto adopt = [&](const std::unique_ptr<Bound>& child) {
    node->args.push_back(Node(*child));
    node->height = std::max(node->height, node->args.back()->height + 1);
  };
  switch (bound.kind) {
    case Bound::Kind::kColumn:
      node->kind = jet::ExprNode::Kind::kName;
      node->slot = static_cast<int>(bound.column_index);
      break;
    case Bound::Kind::kConstant:
      node->kind = jet::ExprNode::Kind::kLiteral;
      node->value = jet::Variant::Of(bound.constant);
      break;
    case Bound::Kind::kCompare:
      node->kind = jet::ExprNode::Kind::kBinary;
      node->op = OperatorOf(bound.op);
      adopt(bound.left);
      adopt(bound.right);
      break;
    case Bound::Kind::kIsNull:
      node->kind = jet::ExprNode::Kind::kIsNull;
      node->negated = bound.negated;
      adopt(bound.left);
      break;
    case Bound::Kind::kNot:
      node->kind = jet::ExprNode::Kind::kUnary;
      node->op = "Not";
      adopt(bound.left);
      break;
    case Bound::Kind::kAnd:
    case Bound::Kind::kOr:
      node->kind = jet::ExprNode::Kind::kBinary;
      node->op = bound.kind == Bound::Kind::kAnd ? "And" : "Or";
      adopt(bound.left);
      adopt(bound.right);
      break;
  }
  return node;
}

}  // namespace

jet::Expression CompileCondition(const Bound& where) { return jet::Expression(Node(where), ""); }

Truth Evaluate(const Bound& where, const jet::Row& row, jet::Status* status) {
  jet::Variant value;
  int truth = -1;
  *status = jet::Evaluate(where.expression, jet::EvalInput{&row.values, nullptr, 0}, &value);
  if (status->ok()) *status = jet::TruthOf(value, &truth);
  if (!status->ok() || truth < 0) return Truth::kUnknown;
  return truth == 1 ? Truth::kTrue : Truth::kFalse;
}

}  // namespace sql
