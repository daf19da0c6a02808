// Default values and validation rules; see rules.h.
#include "jet/db/rules.h"

#include "jet/names.h"

namespace jet {
namespace {

std::string FieldName(const TableDef& table, const ColumnDef& column) {
  return table.name + "." + column.name;
}

// Names in a rule are the table's columns.
Status BindToColumns(const TableDef& table, Expression* expression) {
  return BindNames(expression, [&](std::string_view qualifier, std::string_view name) {
    if (!qualifier.empty() && !NamesEqual(qualifier, table.name)) return -1;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (NamesEqual(table.columns[i].name, name)) return static_cast<int>(i);
    }
    return -1;
  });
}

Status CannotEvaluate(const std::string& what, const std::string& text, const std::string& owner,
                      const Status& why) {
  return Status::Numbered(StatusCode::kNotSupported, why.access_error(),
                          "The " + what + " '" + text + "' set for '" + owner +
                              "' cannot be evaluated: " + why.message());
}

// A broken rule: its ValidationText (3316), or Access's own text (3317).
Status Broken(const std::string& rule, const std::string& validation_text,
              const std::string& owner) {
  if (!validation_text.empty()) return Status::Constraint(3316, validation_text);
  return Status::Constraint(3317, "One or more values are prohibited by the validation rule '" +
                                      rule + "' set for '" + owner +
                                      "'. Enter a value that the expression for this field can "
                                      "accept.");
}

Status CheckRule(const Expression& rule, const std::string& validation_text,
                 const std::string& owner, const EvalInput& input) {
  Variant result;
  int truth = 0;
  Status s = Evaluate(rule, input, &result);
  if (s.ok()) s = TruthOf(result, &truth);
  if (!s.ok()) return CannotEvaluate("validation rule", rule.text(), owner, s);
  return truth == 0 ? Broken(rule.text(), validation_text, owner) : Status::OK();
}

}  // namespace

void LoadTableRules(const TableDef& table, TableRules* rules) {
  *rules = TableRules();
  rules->columns.resize(table.columns.size());
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDef& c = table.columns[i];
    TableRules::Column& r = rules->columns[i];
    if (!c.default_value.empty() && !c.IsAutoNumber()) {
      r.has_default = true;
      r.default_error = ParseExpression(c.default_value, ExprForm::kExpression, &r.default_value);
      // A default names no column: Access evaluates it before the row has values.
      if (r.default_error.ok()) {
        r.default_error =
            BindNames(&r.default_value, [](std::string_view, std::string_view) { return -1; });
      }
    }
    if (!c.validation_rule.empty() && rules->broken.ok()) {
      r.has_rule = true;
      Status s = ParseExpression(c.validation_rule, ExprForm::kColumnRule, &r.rule);
      if (s.ok()) s = BindToColumns(table, &r.rule);
      if (!s.ok())
        rules->broken =
            CannotEvaluate("validation rule", c.validation_rule, FieldName(table, c), s);
    }
  }
  if (!table.validation_rule.empty() && rules->broken.ok()) {
    rules->has_table_rule = true;
    Status s = ParseExpression(table.validation_rule, ExprForm::kExpression, &rules->table_rule);
    if (s.ok()) s = BindToColumns(table, &rules->table_rule);
    if (!s.ok())
      rules->broken = CannotEvaluate("validation rule", table.validation_rule, table.name, s);
  }
}

Status ApplyDefaults(const TableDef& table, const TableRules& rules, const std::vector<bool>& given,
                     double now, std::vector<Value>* values, std::deque<std::string>* storage) {
  if (given.empty()) return Status::OK();
  for (size_t i = 0; i < table.columns.size() && i < given.size(); ++i) {
    const TableRules::Column& r = rules.columns[i];
    if (given[i] || !r.has_default) continue;
    const ColumnDef& c = table.columns[i];
    const std::string owner = FieldName(table, c);
    if (!r.default_error.ok())
      return CannotEvaluate("default value", c.default_value, owner, r.default_error);
    Variant result;
    Status s = Evaluate(r.default_value, EvalInput{nullptr, nullptr, now}, &result);
    if (s.ok()) {
      storage->emplace_back();
      s = ToColumnValue(result, c, "column " + owner, &storage->back(), &(*values)[i]);
    }
    if (!s.ok()) return CannotEvaluate("default value", c.default_value, owner, s);
  }
  return Status::OK();
}

Status CheckDesignRules(const TableDef& table, const TableRules& rules,
                        const std::vector<Value>& values, const std::vector<bool>* changed,
                        double now) {
  JET_RETURN_IF_ERROR(rules.broken);
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (changed != nullptr && !(*changed)[i]) continue;
    const ColumnDef& c = table.columns[i];
    const Value& v = values[i];
    if (v.is_null() && c.required && c.type != ColumnType::kBoolean && !c.IsAutoNumber()) {
      return Status::Constraint(3314, "The field '" + FieldName(table, c) +
                                          "' cannot contain a Null value because the Required "
                                          "property for this field is set to True. Enter a value "
                                          "in this field.");
    }
    if (!c.allow_zero_length && v.kind() == Value::Kind::kText && v.text().empty() &&
        (c.type == ColumnType::kText || c.type == ColumnType::kMemo)) {
      return Status::Constraint(
          3315, "Field '" + FieldName(table, c) + "' cannot be a zero-length string.");
    }
    if (rules.columns[i].has_rule) {
      JET_RETURN_IF_ERROR(CheckRule(rules.columns[i].rule, c.validation_text, FieldName(table, c),
                                    EvalInput{&values, &v, now}));
    }
  }
  if (rules.has_table_rule) {
    JET_RETURN_IF_ERROR(CheckRule(rules.table_rule, table.validation_text, table.name,
                                  EvalInput{&values, nullptr, now}));
  }
  return Status::OK();
}

}  // namespace jet
