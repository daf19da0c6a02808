#include "sql/parser.h"

#include <string>

#include <gtest/gtest.h>

namespace sql {
namespace {

struct Good {
  const char* text;
  Statement::Kind kind;
  const char* table;
  size_t columns;  // INSERT column list, UPDATE set list
  size_t values;
  bool has_where;
};

TEST(ParserTest, StatementsOfTheCalendarUpdateParse) {
  const Good cases[] = {
      {"SELECT * FROM Dates WHERE (((Dates.DateKey)=#1/6/2010#));", Statement::Kind::kSelect,
       "Dates", 0, 0, true},
      {"SELECT * FROM EventDates WHERE (((EventDates.EventDate)=#1/1/2010#));",
       Statement::Kind::kSelect, "EventDates", 0, 0, true},
      {"SELECT * FROM Events WHERE (((Events.EventID)=12));", Statement::Kind::kSelect, "Events", 0,
       0, true},
      {"INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, EventIcon, "
       "Notes, Recurring) "
       "VALUES ('New Year''s Day','1','0:00 AM','11:59 PM','','','','0');",
       Statement::Kind::kInsert, "Events", 8, 8, false},
      {"INSERT INTO EventDates (EventId, EventDate) VALUES ('12','1/1/2010');",
       Statement::Kind::kInsert, "EventDates", 2, 2, false},
      {"INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) VALUES "
       "('1/1/2010','','1','','');",
       Statement::Kind::kInsert, "Dates", 5, 5, false},
      {"UPDATE Dates SET EventCount = 3 WHERE (((Dates.DateKey)=#1/1/2010#));",
       Statement::Kind::kUpdate, "Dates", 1, 0, true},
      {"UPDATE Dates SET DateColor = 'White', DateText = '' WHERE (((Dates.DateKey)=#1/1/2010#));",
       Statement::Kind::kUpdate, "Dates", 2, 0, true},
      {"SELECT @@IDENTITY", Statement::Kind::kSelectIdentity, "", 0, 0, false},
      {"select * from [Dates] where [DateKey] >= #1/1/2010 10:00 PM# and not (EventCount <> -3) or "
       "DateNotes is not null",
       Statement::Kind::kSelect, "Dates", 0, 0, true},
      {"INSERT INTO t VALUES (Null, True, False, -1.5, +2, .5E3, #2010-01-06#)",
       Statement::Kind::kInsert, "t", 0, 7, false},
      {"DELETE FROM Events WHERE EventID = 5", Statement::Kind::kDelete, "Events", 0, 0, true},
      {"delete * from [Events];", Statement::Kind::kDelete, "Events", 0, 0, false},
      {"DELETE Events.* FROM Events WHERE (((Events.EventID)=5));", Statement::Kind::kDelete,
       "Events", 0, 0, true},
  };
  for (const Good& c : cases) {
    Statement statement;
    std::string error;
    ASSERT_TRUE(Parse(c.text, &statement, &error)) << c.text << "\n" << error;
    EXPECT_EQ(statement.kind, c.kind) << c.text;
    EXPECT_EQ(statement.table, c.table) << c.text;
    EXPECT_EQ(statement.columns.size() + statement.assignments.size(), c.columns) << c.text;
    EXPECT_EQ(statement.values.size(), c.values) << c.text;
    EXPECT_EQ(statement.where != nullptr, c.has_where) << c.text;
  }
}

TEST(ParserTest, LiteralsKeepTheirValue) {
  Statement statement;
  std::string error;
  ASSERT_TRUE(Parse("INSERT INTO t (a, b, c, d) VALUES ('It''s', -12, #1/6/2010#, Null)",
                    &statement, &error));
  ASSERT_EQ(statement.values.size(), 4u);
  EXPECT_EQ(statement.values[0].text, "It's");
  EXPECT_EQ(statement.values[0].Display(), "'It''s'");
  EXPECT_EQ(statement.values[1].text, "-12");
  EXPECT_EQ(statement.values[2].text, "1/6/2010");
  EXPECT_EQ(statement.values[3].kind, Literal::Kind::kNull);
  EXPECT_EQ(statement.values[1].position, 45u);
}

struct Bad {
  const char* text;
  const char* message;  // a part of the error text
};

TEST(ParserTest, SyntaxErrorsNameStatementPositionAndWhatWasFound) {
  const Bad cases[] = {
      // A single apostrophe ends the text: the statement breaks at the "s".
      {"INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, EventIcon, "
       "Notes, Recurring) "
       "VALUES ('New Year's Day','1','0:00 AM','11:59 PM','','','','0');",
       "Syntax error in INSERT INTO statement at character 124: expected ',' or ')' after a value, "
       "found 's'"},
      {"UPDATE Dates SET DateText = 'Saint's Day' WHERE (((Dates.DateKey)=#1/1/2010#));",
       "Syntax error in UPDATE statement at character 36: expected the end of the statement, found "
       "'s'"},
      {"INSERT INTO Dates (DateKey) VALUES ('1/1/2010)",
       "character 37: expected a value, found a text value that has no "
       "closing quote"},
      {"SELECT * FROM Dates WHERE (((Dates.DateKey)=#1/1/2010#);",
       "character 56: expected ')', found ';'"},
      {"SELECT * FROM Dates WHERE DateKey = #13/45/2010#",
       "Syntax error in date in SELECT statement at character 37"},
      {"SELECT * FROM Dates WHERE DateKey = #1/1/2010", "a date value that has no closing #"},
      {"SELECT * FROM",
       "Syntax error in SELECT statement at character 14: expected a table name, found the end"},
      {"SELECT DateKey FROM Dates", "character 8: expected '*', found 'DateKey'"},
      {"SELECT @@ROWCOUNT", "expected @@IDENTITY"},
      {"UPDATE Dates SET EventCount = WHERE DateKey = 1",
       "character 31: expected a value, found 'WHERE'"},
      {"UPDATE Dates SET EventCount = 3 WHERE", "expected a column, a value or '('"},
      {"INSERT INTO Dates (DateKey VALUES ('x')",
       "expected ',' or ')' after a column name, found 'VALUES'"},
      {"INSERT Dates (DateKey) VALUES ('x')", "character 8: expected INTO"},
      {"SELECT * FROM Dates; SELECT * FROM Dates",
       "character 22: expected the end of the statement"},
      {"SELECT * FROM Dates WHERE EventCount = 3 $", "the character '$'"},
      {"SELECT * FROM Dates WHERE EventCount = 3x", "a number run into letters"},
      {"DROP TABLE Dates",
       "Invalid SQL statement at character 1: expected SELECT, INSERT, UPDATE or DELETE, "
       "found 'DROP'"},
      {"DELETE Dates FROM Dates", "Syntax error in DELETE statement at character 14: expected '.'"},
      {"DELETE FROM Dates, Events", "character 18: expected the end of the statement"},
      {"", "Invalid SQL statement at character 1"},
      // Characters, not bytes: the two-byte "é" counts once.
      {"UPDATE Dates SET DateText = 'é' WHERE", "character 38"},
  };
  for (const Bad& c : cases) {
    Statement statement;
    std::string error;
    EXPECT_FALSE(Parse(c.text, &statement, &error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos)
        << c.text << "\nwanted: " << c.message << "\ngot:    " << error;
  }
}

TEST(ParserTest, DeepNestingIsRefusedNotOverflowed) {
  const std::string deep = "SELECT * FROM t WHERE " + std::string(100000, '(') + "a = 1";
  Statement statement;
  std::string error;
  EXPECT_FALSE(Parse(deep, &statement, &error));
  EXPECT_NE(error.find("nested parentheses"), std::string::npos) << error;
  std::string nots = "SELECT * FROM t WHERE ";
  for (int i = 0; i < 50000; ++i) nots += "NOT ";
  EXPECT_FALSE(Parse(nots + "a = 1", &statement, &error));
}

}  // namespace
}  // namespace sql
