// ODBC connection strings: "Driver={Microsoft Access Driver (*.mdb)};
// Dbq=C:\Data\tessdata.mdb;Uid=admin;Pwd=".
//
// Grammar, as the ODBC driver manager reads it:
//   string    := [attribute] *( ";" [attribute] )
//   attribute := name "=" value
//   value     := plain | [blanks] "{" braced "}" [blanks]
//   plain: any characters but ";" (taken as written, blanks included);
//   braced: any characters, ";" included, with "}}" standing for one "}".
// Invariants:
//   (C1) Names are matched without regard to case, blanks around a name do
//        not count, and the first attribute of a name wins.
//   (C2) ComposeConnectionString(p) parses back to Dbq = p for every path p:
//        a path that the plain form would cut (it holds ";") or misread (it
//        starts with "{") is written braced, with each "}" doubled.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ado {

struct ConnectionAttribute {
  std::string name;   // as written, blanks trimmed
  std::string value;  // braces removed, "}}" undone
};

class ConnectionString {
 public:
  // Throws errors::RuntimeError (-2147467259) naming the attribute when the
  // text breaks the grammar: an attribute without "=", an empty name, a
  // braced value without its closing "}" or with text after it.
  static ConnectionString Parse(std::string_view text);

  // The value of the first attribute called `name` (any case); nullopt when
  // there is none.
  std::optional<std::string> Get(std::string_view name) const;

  const std::vector<ConnectionAttribute>& attributes() const { return attributes_; }

 private:
  std::vector<ConnectionAttribute> attributes_;
};

// The connection string the calendar program opens `path` with:
// "Driver={Microsoft Access Driver (*.mdb)};Dbq=<path>;Uid=admin;Pwd=", the
// path braced only when it must be (C2).
std::string ComposeConnectionString(std::string_view path);

}  // namespace ado
