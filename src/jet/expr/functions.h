// The functions Access expressions may call, by name (without regard to
// case). A function given Null gives Null, except the ones made for it
// (IsNull, Nz, IIf) and the conversions (CInt, CStr, ...), which fail with
// "Invalid use of Null" as Access's do.
#pragma once

#include <string_view>
#include <vector>

#include "jet/expression.h"

namespace jet::expr {

struct Function {
  const char* name;  // as Access spells it
  int min_args;
  int max_args;
  // Null for IIf, which the evaluator runs itself (only one branch is evaluated).
  Status (*call)(const std::vector<Variant>& args, const EvalInput& input, Variant* out);
};

// nullptr when Access expressions have no such function (here).
const Function* FindFunction(std::string_view name);

}  // namespace jet::expr
