// The batch update killed at write calls spread over a whole run: the file
// must open and check clean, mdbtools must read it, and a complete run
// afterwards must leave the state of an uninterrupted run. Each statement
// is its own unit, so the kill keeps every statement before the one being
// written. Two places between statements leave a trace that a later run
// cannot see, as the update has no transaction around an event: killed in
// the link insert, the new event stays without a link (the later run inserts
// the name again); killed in the day-counter write, the link stays and the
// day's EventCount stays one short. The test predicts those two exactly.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ado/connection.h"
#include "ado/connection_string.h"
#include "ado/recordset.h"
#include "errors/fake_reporter_environment.h"
#include "jet/database.h"
#include "jet/file.h"
#include "support/run_process.h"
#include "support/shared_copy.h"
#include "wizard/update.h"

namespace wizard {
namespace {

namespace fs = std::filesystem;
constexpr int kKilled = 77;
constexpr int kPoints = 25;

struct NullView : UpdateView {
  void SetStatusText(std::string_view) override {}
  void SetMainButtonCaption(std::string_view text) override { finished = text == "Finish"; }
  void SetMainButtonEnabled(bool) override {}
  void SetCancelEnabled(bool) override {}
  void YieldToEvents() override {}
  bool finished = false;
};

// Ends the process just before write call `stop_at` (0: never); counts them.
class KillAtWrite : public jet::FileObserver {
 public:
  explicit KillAtWrite(uint64_t stop_at) : stop_at_(stop_at) {}
  jet::Status Before(jet::FileOp op, const std::string&, jet::OsFile*, uint64_t,
                     uint64_t) override {
    if (op == jet::FileOp::kWrite && ++writes == stop_at_) ::_exit(kKilled);
    return jet::Status::OK();
  }
  uint64_t writes = 0;

 private:
  uint64_t stop_at_;
};

struct ChildRun {
  int exit_code = -1;
  uint64_t writes = 0;        // when it ran to the end
  std::string last_statement;  // the statement being run when it was killed
};

// Runs Update on `path` in a child process killed at write `stop_at`.
ChildRun RunChild(const fs::path& path, uint64_t stop_at) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    KillAtWrite observer(stop_at);
    jet::SetFileObserverForTesting(&observer);
    ado::SetStatementTrace([&](std::string_view statement) {
      const std::string line = std::string(statement) + "\n";
      if (::write(fds[1], line.data(), line.size()) < 0) ::_exit(3);
    });
    NullView view;
    Update(view, path.string());
    const std::string end = "#" + std::to_string(observer.writes) + "\n";
    if (::write(fds[1], end.data(), end.size()) < 0) ::_exit(3);
    ::_exit(view.finished ? 0 : 2);
  }
  ::close(fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, got);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ChildRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (!out.empty()) out.pop_back();
  const std::string last = out.substr(out.rfind('\n') + 1);
  if (!last.empty() && last[0] == '#') run.writes = std::stoull(last.substr(1));
  run.last_statement = last;
  return run;
}

// The calendar with event numbers replaced by names, so that states reached
// along different paths compare: days, events, and links as name@date.
struct State {
  std::multiset<std::string> days, events, links;
  bool operator==(const State&) const = default;
};

std::string Text(const jet::Value& v) {
  return v.kind() == jet::Value::Kind::kText ? std::string(v.text())
                                             : std::to_string(v.real() + v.integer());
}

State ReadState(const fs::path& path) {
  State state;
  auto db = jet::Database::Open(path.string());
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  if (!db.ok()) return state;
  auto problems = (*db)->Check();
  EXPECT_TRUE(problems.ok() && problems->empty()) << path;
  std::map<std::string, std::string> names;
  for (const char* name : {"Events", "EventDates", "Dates"}) {
    auto table = (*db)->GetTable(name);
    auto cursor = (*db)->Scan(*table);
    jet::Row row;
    jet::Status status;
    while ((*cursor)->Next(&row, &status)) {
      std::string line;
      for (size_t i = std::string(name) == "Events" ? 1 : 0; i < row.values.size(); ++i) {
        line += Text(row.values[i]) + "|";
      }
      if (std::string(name) == "Events") {
        names[Text(row.values[0])] = line;
        state.events.insert(line);
      } else if (std::string(name) == "EventDates") {
        state.links.insert(names[Text(row.values[0])] + "@" + Text(row.values[1]));
      } else {
        state.days.insert(line);
      }
    }
  }
  return state;
}

// Whether the link or counter write `statement` reached the file at `path`.
bool Applied(const fs::path& path, const std::string& statement) {
  auto value = [&](size_t n) {  // the n-th quoted value, from 0
    size_t at = statement.find("VALUES ('");
    for (size_t i = 0; i < n; ++i) at = statement.find("','", at + 1);
    at = statement.find('\'', at + 1) + 1;
    return statement.substr(at, statement.find('\'', at) - at);
  };
  ado::Connection connection;
  connection.Open(ado::ComposeConnectionString(path.string()));
  ado::Recordset rs;
  bool applied = false;
  if (statement.rfind("INSERT INTO EventDates", 0) == 0) {
    rs.Open("SELECT * FROM EventDates WHERE EventId = " + value(0) + ";", &connection);
    applied = !rs.Eof();
  } else {
    const bool insert = statement[0] == 'I';
    const size_t hash = statement.find('#');
    const std::string date = insert ? value(0)
                                    : statement.substr(hash + 1, statement.find('#', hash + 1) - hash - 1);
    rs.Open("SELECT * FROM Dates WHERE DateKey = #" + date + "#;", &connection);
    applied = !rs.Eof() && (insert || std::to_string(rs.Fields()["EventCount"].Value().ToInt32()) ==
                                          statement.substr(30, statement.find(' ', 30) - 30));
  }
  rs.Close();
  connection.Close();
  return applied;
}

TEST(UpdateCrashTest, KilledAtAnyWriteACompleteRunLaterGivesTheUninterruptedState) {
  errors::testing::TempFolder folder;
  errors::testing::FakeReporterEnvironment environment(folder.path().string());
  errors::ScopedReporterEnvironment scope(environment);
  tessaly::testing::SharedFileCopy original("fixtures", "tessdata-2009.mdb");
  const fs::path work = original.dir() / "work.mdb";

  fs::copy_file(original.path(), work);
  const ChildRun full = RunChild(work, 0);
  ASSERT_EQ(full.exit_code, 0);
  ASSERT_GT(full.writes, static_cast<uint64_t>(kPoints));
  const State expected = ReadState(work);

  int windows = 0;
  for (int p = 0; p < kPoints; ++p) {
    const uint64_t stop_at = 1 + (full.writes - 1) * p / (kPoints - 1);
    fs::remove(work);
    fs::remove(work.string() + "-wal");
    fs::copy_file(original.path(), work);
    const ChildRun killed = RunChild(work, stop_at);
    ASSERT_EQ(killed.exit_code, kKilled) << "write " << stop_at;
    const std::string where = "killed at write " + std::to_string(stop_at) + " of " +
                              std::to_string(full.writes) + " in: " + killed.last_statement;
    const std::string& last = killed.last_statement;
    const bool link = last.rfind("INSERT INTO EventDates", 0) == 0;
    const bool count = last.rfind("UPDATE Dates SET EventCount", 0) == 0 ||
                       (last.rfind("INSERT INTO Dates", 0) == 0 && last.find("','1','") != std::string::npos);
    (void)ReadState(work);  // opens (applying the log) and checks clean
    for (const char* table : {"Dates", "Events", "EventDates"}) {
      auto read = tessaly::testing::RunProcess({"mdb-json", work.string(), table});
      EXPECT_EQ(read.exit_code, 0) << where << ": " << read.err;
    }
    NullView view;
    Update(view, work.string());
    ASSERT_TRUE(view.finished) << where;
    State got = ReadState(work);
    // Killed in its commit, or later, at the close?
    const bool in_window = (link || count) && !Applied(work, last);
    if (in_window && link) {
      ++windows;  // one extra event, without a link
      EXPECT_EQ(got.events.size(), expected.events.size() + 1) << where;
      got.events = expected.events;
    } else if (in_window) {
      ++windows;  // one day's count one short
      EXPECT_EQ(got.links, expected.links) << where;
      std::vector<std::string> changed;
      std::set_difference(got.days.begin(), got.days.end(), expected.days.begin(),
                          expected.days.end(), std::back_inserter(changed));
      EXPECT_EQ(changed.size(), 1u) << where;
      got.days = expected.days;
    }
    EXPECT_TRUE(got == expected) << where;
  }
  std::cout << full.writes << " writes in a run; " << windows
            << " of the sampled kills fell between an event's statements\n";
}

}  // namespace
}  // namespace wizard
