// The design rules Access keeps on every write of a table, from the design
// properties the catalog reads (catalog.h): a column an insert leaves out
// gets its DefaultValue; a Null in a Required column, "" in a text column
// whose AllowZeroLength is No, and a row that breaks a column's or the
// table's ValidationRule are refused with Access's error and text.
//
// Invariants:
//   (R1) A column given explicitly keeps what was given, Null included; only
//        a column left out gets its default, evaluated at the insert.
//   (R2) Nothing passes silently: a default that cannot be evaluated fails
//        the insert that needs it, naming table, column and expression; a
//        rule that cannot be parsed refuses every write to the table, naming
//        the rule. Nothing is written then (the checks only read).
//   (R3) A rule passes when it is True or Null, as in Access: ">=0" does not
//        refuse a Null (Required does).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "jet/expression.h"
#include "jet/types.h"

namespace jet {

struct TableRules {
  struct Column {
    bool has_default = false;
    Expression default_value;
    Status default_error;  // why the default cannot be evaluated (R2)
    bool has_rule = false;
    Expression rule;
  };
  std::vector<Column> columns;  // in TableDef::columns order
  bool has_table_rule = false;
  Expression table_rule;
  Status broken;  // a rule that cannot be parsed or bound (R2)
};

// Parses the table's defaults and rules. Never fails: what cannot be parsed
// is kept in default_error and broken.
void LoadTableRules(const TableDef& table, TableRules* rules);

// Fills each column that `given` marks as left out (an empty `given`: none
// is) with its default, evaluated with `now` as the time of the insert. Text
// of the defaults lives in *storage.
Status ApplyDefaults(const TableDef& table, const TableRules& rules, const std::vector<bool>& given,
                     double now, std::vector<Value>* values, std::deque<std::string>* storage);

// Required (3314), AllowZeroLength (3315), the columns' rules and the
// table's rule (3316 with the rule's ValidationText, 3317 without). An
// update (`changed` not null) checks the columns it changes and the table's
// rule, as Access checks a record it saves: a value stored before a rule
// was added does not block changes to the row's other columns.
Status CheckDesignRules(const TableDef& table, const TableRules& rules,
                        const std::vector<Value>& values, const std::vector<bool>* changed,
                        double now);

}  // namespace jet
