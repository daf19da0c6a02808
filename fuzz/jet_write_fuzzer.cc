// Fuzz target: the calendar update's own statements on a damaged calendar.
// Each input is a whole .mdb image, opened for writing in memory: of
// 4096-byte pages for Access 2000, of 2048-byte pages for Access 97, as
// the version byte of the header says. On it run, as one unit with each statement
// a savepoint (the connection's way), the statements that the day merge
// (src/database/day_merge.cc) and the all-day event import
// (src/database/event_store.cc) send for a handful of 2010 days of the
// year data: the day's SELECT and its UPDATE or INSERT on Dates, then for
// each named day the SELECTs on EventDates and Events, INSERT INTO Events,
// SELECT @@IDENTITY, INSERT INTO EventDates, and the day's EventCount
// update. A failing statement is skipped as the event import goes on after
// one. Then a day and the last event added are deleted, the unit is
// committed and the database closed.
//
// Whatever the bytes, every statement must give a result or an error,
// never a crash, a hang or unbounded memory; the sanitizers and libFuzzer's
// limits hold them to that. Seeds are the small calendars of the shared
// fixtures and Access 97 calendars made from their rows (scripts/fuzz.sh),
// a few dozen pages each.
//
// The mutator keeps a calendar a calendar: libFuzzer's own mutations are
// applied to a few bytes at a time at one place in the image, never
// shifting the pages after them, and crossing two inputs swaps whole pages.
// An image is only of use whole: an input that is not whole pages is
// skipped.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "sql/session.h"
#include "yeardata/date_records.h"
#include "yeardata/delimited_fields.h"

namespace {

// The page size an image's header gives: byte 0x14 is 0 in an Access 97
// file and 1 (or more, in later versions) in an Access 2000 one; 0 when
// the image is too short to say.
constexpr size_t kVersionOffset = 0x14;
size_t PageSize(const uint8_t* data, size_t size) {
  if (size <= kVersionOffset) return 0;
  return data[kVersionOffset] == 0 ? 2048 : 4096;
}

// True when the image is whole pages of its header's size.
bool WholePages(const uint8_t* data, size_t size) {
  const size_t page_size = PageSize(data, size);
  return page_size != 0 && size >= page_size && size % page_size == 0;
}
// Days of the year data the update is run for, as slots of the record
// array: one of every colour and named days among them, days the fixtures
// hold already (1/1, 2/14, 12/24) and days they do not.
constexpr int kDaySlots[] = {0, 5, 17, 44, 47, 91, 93, 142, 300, 357, 358};

struct Day {
  std::string date;  // "1/6/2010"
  std::string colour;
  std::vector<std::string> names;  // apostrophes doubled, ready for SQL
  std::string text;
};

std::string DoubleApostrophes(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

const std::vector<Day>& Days() {
  static const std::vector<Day> days = [] {
    std::vector<std::string> records;
    yeardata::LoadDateRecords(records);
    std::vector<Day> out;
    for (int slot : kDaySlots) {
      const std::string& record = records[static_cast<size_t>(slot)];
      Day day;
      day.date = yeardata::GetDelimitedFields(record, "|", 1, 0);
      day.colour = yeardata::GetDelimitedFields(record, "|", 2, 0);
      day.text = yeardata::GetDelimitedFields(record, "|", 4, 0);
      const std::string names = yeardata::GetDelimitedFields(record, "|", 3, 0);
      for (int16_t n = 1; n < 16; ++n) {
        const std::string name = yeardata::GetDelimitedFields(names, "^", n, 0);
        if (name.empty()) break;
        day.names.push_back(DoubleApostrophes(name));
      }
      out.push_back(std::move(day));
    }
    return out;
  }();
  return days;
}

// One statement; false when it failed (the session has undone it).
bool Run(sql::Session& session, const std::string& statement, sql::Outcome* outcome) {
  sql::Error error;
  return session.Execute(statement, outcome, &error);
}

const jet::Value* Column(const sql::Outcome& outcome, size_t row, std::string_view name) {
  if (row >= outcome.result.rows.size()) return nullptr;
  for (size_t c = 0; c < outcome.result.columns.size(); ++c) {
    if (outcome.result.columns[c].name == name && c < outcome.result.rows[row].values.size()) {
      return &outcome.result.rows[row].values[c];
    }
  }
  return nullptr;
}

std::string DateWhere(const std::string& table, const std::string& column,
                      const std::string& date) {
  return " WHERE (((" + table + "." + column + ")=#" + date + "#));";
}

// The day merge for one day.
void MergeDay(sql::Session& session, const Day& day) {
  sql::Outcome found;
  if (!Run(session, "SELECT * FROM Dates" + DateWhere("Dates", "DateKey", day.date), &found)) {
    return;
  }
  sql::Outcome done;
  if (found.has_rows && !found.result.rows.empty()) {
    Run(session,
        "UPDATE Dates SET DateColor = '" + day.colour + "', DateText = '" + day.text + "'" +
            DateWhere("Dates", "DateKey", day.date),
        &done);
  } else {
    Run(session,
        "INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) VALUES ('" +
            day.date + "','" + day.colour + "','0','','" + day.text + "');",
        &done);
  }
}

// The all-day event import for one day: each named day not yet linked to it
// becomes an event, a link and one more in the day's EventCount.
void ImportEvents(sql::Session& session, const Day& day) {
  sql::Outcome links;
  if (!Run(session, "SELECT * FROM EventDates" + DateWhere("EventDates", "EventDate", day.date),
           &links)) {
    return;
  }
  std::vector<std::string> ids;
  for (size_t r = 0; r < links.result.rows.size() && r < 8; ++r) {
    const jet::Value* id = Column(links, r, "EventId");
    if (id != nullptr && !id->is_null()) ids.push_back(std::to_string(id->integer()));
  }
  for (const std::string& name : day.names) {
    bool present = false;
    for (const std::string& id : ids) {
      sql::Outcome event;
      if (!Run(session, "SELECT * FROM Events WHERE (((Events.EventID)=" + id + "));", &event)) {
        continue;
      }
      const jet::Value* stored = Column(event, 0, "EventName");
      if (stored != nullptr && stored->kind() == jet::Value::Kind::kText &&
          DoubleApostrophes(std::string(stored->text())) == name) {
        present = true;
      }
    }
    if (present) continue;
    sql::Outcome done;
    if (!Run(session,
             "INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, "
             "EventIcon, Notes, Recurring) VALUES ('" +
                 name + "','1','0:00 AM','11:59 PM','','','','0');",
             &done)) {
      continue;
    }
    sql::Outcome identity;
    if (!Run(session, "SELECT @@IDENTITY", &identity)) continue;
    const std::string event_id = std::to_string(session.last_identity());
    if (!Run(session,
             "INSERT INTO EventDates (EventId, EventDate) VALUES ('" + event_id + "','" + day.date +
                 "');",
             &done)) {
      continue;
    }
    sql::Outcome date_row;
    if (!Run(session, "SELECT * FROM Dates" + DateWhere("Dates", "DateKey", day.date), &date_row)) {
      continue;
    }
    const jet::Value* count = Column(date_row, 0, "EventCount");
    if (count != nullptr) {
      const int64_t next = (count->is_null() ? 0 : count->integer()) + 1;
      Run(session,
          "UPDATE Dates SET EventCount = " + std::to_string(next) +
              DateWhere("Dates", "DateKey", day.date),
          &done);
    } else {
      Run(session,
          "INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) VALUES ('" +
              day.date + "','','1','','');",
          &done);
    }
  }
}

}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

// Mutates a window of at most kWindow bytes in place; the size stays.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int seed) {
  constexpr size_t kWindow = 16;
  if (!WholePages(data, size)) return LLVMFuzzerMutate(data, size, max_size);
  const size_t page_size = PageSize(data, size);
  std::minstd_rand random(seed);
  // Half the time the window falls in the first kHead bytes of a page,
  // where page headers, index entry masks, row offset tables and table
  // definitions sit: a changed byte there reaches the most code.
  constexpr size_t kHead = 512;
  const size_t at = random() % 2 == 0
                        ? (random() % (size / page_size)) * page_size + random() % kHead
                        : random() % (size - kWindow + 1);
  uint8_t window[kWindow];
  std::memcpy(window, data + at, kWindow);
  const size_t changed = LLVMFuzzerMutate(window, 1 + random() % kWindow, kWindow);
  std::memcpy(data + at, window, std::min(changed, kWindow));
  return size;
}

// Copies one page of the second input over the same page of the first,
// when both have pages of one size; the first input unchanged otherwise.
extern "C" size_t LLVMFuzzerCustomCrossOver(const uint8_t* data1, size_t size1,
                                            const uint8_t* data2, size_t size2, uint8_t* out,
                                            size_t max_out_size, unsigned int seed) {
  if (size1 > max_out_size) return 0;
  std::memcpy(out, data1, size1);
  const size_t page_size = PageSize(data1, size1);
  if (page_size == 0 || page_size != PageSize(data2, size2)) return size1;
  const size_t pages = std::min(size1, size2) / page_size;
  if (pages > 0) {
    const size_t page = seed % pages;
    std::memcpy(out + page * page_size, data2 + page * page_size, page_size);
  }
  return size1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WholePages(data, size)) return 0;
  std::string image(reinterpret_cast<const char*>(data), size);
  jet::OpenOptions options;
  options.read_only = false;
  options.sync = false;
  auto opened = jet::Database::OpenImage(std::move(image), options);
  if (!opened.ok()) return 0;
  jet::Database& db = **opened;
  if (db.Begin().ok()) {
    sql::Session session(db);
    for (const Day& day : Days()) MergeDay(session, day);
    for (const Day& day : Days()) ImportEvents(session, day);
    // A delete on the damaged file too: rows with their index entries and
    // long values, and what the file's relationships cascade to.
    sql::Outcome done;
    Run(session, "DELETE FROM Dates" + DateWhere("Dates", "DateKey", Days().front().date), &done);
    Run(session, "DELETE FROM Events WHERE EventID = " + std::to_string(session.last_identity()),
        &done);
    (void)db.Commit();
  }
  (void)db.Close();
  return 0;
}
