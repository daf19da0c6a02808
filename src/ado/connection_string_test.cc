// Connection strings: braces, case and blanks when parsing, and the
// composed string naming exactly the path it was made from.
#include "ado/connection_string.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ado/error_numbers.h"
#include "errors/runtime_error.h"

namespace ado {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(ParseTest, GivesEachAttribute) {
  const std::pair<const char*, Pairs> cases[] = {
      {R"(Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\Program Files\t.mdb;Uid=admin;Pwd=)",
       {{"Driver", "Microsoft Access Driver (*.mdb)"},
        {"Dbq", R"(C:\Program Files\t.mdb)"},
        {"Uid", "admin"},
        {"Pwd", ""}}},
      {R"(  DBQ = {C:\a;b\t.mdb} ;driver={x}}y})", {{"DBQ", R"(C:\a;b\t.mdb)"}, {"driver", "x}y"}}},
      {"Dbq={}}start.mdb}", {{"Dbq", "}start.mdb"}}},
      {";;Dbq=x.mdb;;", {{"Dbq", "x.mdb"}}},
      {"Dbq= a.mdb ", {{"Dbq", " a.mdb "}}},
      {"Pwd=a=b", {{"Pwd", "a=b"}}},
      {"", {}},
  };
  for (const auto& [text, attributes] : cases) {
    const ConnectionString parsed = ConnectionString::Parse(text);
    Pairs got;
    for (const ConnectionAttribute& a : parsed.attributes()) got.emplace_back(a.name, a.value);
    EXPECT_EQ(got, attributes) << text;
  }
}

TEST(ParseTest, NamesMatchWithoutCaseAndTheFirstWins) {
  const ConnectionString parsed = ConnectionString::Parse("dBq=first.mdb;DBQ=second.mdb");
  EXPECT_EQ(parsed.Get("Dbq"), "first.mdb");
  EXPECT_EQ(parsed.Get(" DBQ "), "first.mdb");
  EXPECT_EQ(parsed.Get("Uid"), std::nullopt);
}

TEST(ParseTest, MalformedStringsAreRefusedNamingThePart) {
  const std::pair<const char*, const char*> cases[] = {
      {"Driver={Microsoft Access Driver (*.mdb)};Dbq", "\"Dbq\" has no \"=\""},
      {"=x.mdb", "no name"},
      {"Dbq={C:\\a;b.mdb", "Dbq has no closing"},
      {"Dbq={a}b;Uid=admin", "text after its closing \"}\": \"b\""},
  };
  for (const auto& [text, message] : cases) {
    try {
      (void)ConnectionString::Parse(text);
      ADD_FAILURE() << text << " was accepted";
    } catch (const errors::RuntimeError& e) {
      EXPECT_EQ(e.number(), kProviderGeneralFailure) << text;
      EXPECT_NE(e.description().find(message), std::string::npos) << e.description();
    }
  }
}

TEST(ComposeTest, PlainPathGoesInUnchanged) {
  EXPECT_EQ(ComposeConnectionString(R"(D:\Data\tessdata.mdb)"),
            R"(Driver={Microsoft Access Driver (*.mdb)};Dbq=D:\Data\tessdata.mdb;Uid=admin;Pwd=)");
  EXPECT_EQ(
      ComposeConnectionString(R"(C:\Program Files\Tessaly Desktop Calendar\tessdata.mdb)"),
      R"(Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\Program Files\Tessaly Desktop Calendar\tessdata.mdb;Uid=admin;Pwd=)");
}

TEST(ComposeTest, EveryPathParsesBackToItself) {
  const char* paths[] = {
      R"(D:\Data\tessdata.mdb)",  R"(C:\Parish; North\tessdata.mdb)",
      R"({braced}\tessdata.mdb)", R"(C:\a};b}}\t.mdb)",
      "/tmp/x;y/tessdata.mdb",    "C:\\path with } brace.mdb",
  };
  for (const char* path : paths) {
    const std::string text = ComposeConnectionString(path);
    const ConnectionString parsed = ConnectionString::Parse(text);
    EXPECT_EQ(parsed.Get("Dbq"), path) << text;
    EXPECT_EQ(parsed.Get("Uid"), "admin") << text;
    EXPECT_EQ(parsed.Get("Pwd"), "") << text;
  }
  EXPECT_EQ(ComposeConnectionString("C:\\a;b.mdb"),
            "Driver={Microsoft Access Driver (*.mdb)};Dbq={C:\\a;b.mdb};Uid=admin;Pwd=");
}

}  // namespace
}  // namespace ado
