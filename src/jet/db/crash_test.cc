// Crash tests. A child process runs a fixed sequence of units on a copy of a
// calendar; a FileObserver ends it just before its n-th write, truncate,
// sync or removal, either as a killed process (everything written so far
// stays) or as a power cut (every write not yet synced is lost). Reopening
// must then show exactly the state after some prefix of the units, and the
// file must pass our check, mdbtools and the index checker.
//
// Every point is tried. A second test crashes the recovery of every kind of
// log such a crash leaves, at each of its operations, and then the recovery
// of that recovery.
//
// Both run on the Jet 4 calendar of the fixtures and on an Access 97 copy
// of it (2 KB pages, code page 1252 text). To keep the time down the Access
// 97 file gets the killed process and the power cut with the log synced at
// every commit, the two ends of what survives a crash, and its recoveries
// are crashed by power cuts only (killed processes where those are left out).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "jet/database.h"
#include "jet/file/file.h"
#include "jet/log/wal.h"
#include "support/access97_calendar.h"
#include "support/child_process.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using tessaly::testing::SharedFileCopy;

constexpr int kCrashExit = 77;

// Under Wine every child is a new process, a twentieth of a second each: there
// the tests stop at a spread of operations, in killed processes only (the
// power cut's write-back goes through a second handle, which Windows'
// sharing rules refuse while the writer holds the file), and leave out the
// recovery of a recovery.
#ifdef _WIN32
constexpr uint64_t kStride = 3;
constexpr bool kPowerCuts = false;
#else
constexpr uint64_t kStride = 1;
constexpr bool kPowerCuts = true;
#endif

// Counts operations; at `stop_at` simulates the crash.
class CrashObserver : public FileObserver {
 public:
  CrashObserver(uint64_t stop_at, bool power_cut) : stop_at_(stop_at), power_cut_(power_cut) {}

  Status Before(FileOp op, const std::string& path, OsFile* file, uint64_t offset,
                uint64_t size) override {
    if (++count_ == stop_at_) Crash();
    if (!power_cut_ || file == nullptr) return Status::OK();
    Pending& p = pending_[path];
    if (op == FileOp::kSync) {
      p.undo.clear();
      p.synced_size.reset();
      return Status::OK();
    }
    if (!p.synced_size) p.synced_size = file->Size().value();
    if (op == FileOp::kWrite) {
      Undo u{offset, std::string(size, '\0')};
      size_t done = 0;
      (void)file->ReadAt(offset, u.old.data(), size, &done);
      u.old.resize(done);
      p.undo.push_back(std::move(u));
    } else if (op == FileOp::kTruncate) {
      uint64_t now = file->Size().value();
      if (offset < now) {
        Undo u{offset, std::string(now - offset, '\0')};
        size_t done = 0;
        (void)file->ReadAt(offset, u.old.data(), u.old.size(), &done);
        p.undo.push_back(std::move(u));
      }
    }
    return Status::OK();
  }

  uint64_t count() const { return count_; }

 private:
  struct Undo {
    uint64_t offset;
    std::string old;
  };
  struct Pending {
    std::optional<uint64_t> synced_size;
    std::vector<Undo> undo;
  };

  void Crash() {
    if (power_cut_) {
      // Put every file back as its last sync left it.
      SetFileObserverForTesting(nullptr);
      for (auto& [path, p] : pending_) {
        if (!p.synced_size || !fs::exists(path)) continue;
        auto file = OsFile::Open(path, OsFile::Mode::kReadWrite);
        if (!file.ok()) continue;
        for (auto it = p.undo.rbegin(); it != p.undo.rend(); ++it) {
          (void)(*file)->WriteAt(it->offset, it->old.data(), it->old.size());
        }
        (void)(*file)->Truncate(*p.synced_size);
      }
    }
    std::_Exit(kCrashExit);
  }

  uint64_t stop_at_;
  bool power_cut_;
  uint64_t count_ = 0;
  std::map<std::string, Pending> pending_;
};

size_t Column(const TableDef& t, const char* name) {
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i].name == name) return i;
  }
  std::abort();
}

// The units: inserts with memos small and large, updates in place and
// moved (twice, freeing the first place), memos replaced (their pages freed
// and reused within the unit), an indexed key changed, several changes in
// one unit; a low
// checkpoint size makes checkpoints happen between them.
Status RunUnits(const fs::path& path, bool every_commit, const std::function<void()>& committed) {
  OpenOptions options;
  options.read_only = false;
  options.sync_every_commit = every_commit;
  options.checkpoint_bytes = 150000;
  auto opened = Database::Open(path.string(), options);
  if (!opened.ok()) return opened.status();
  Database& db = **opened;
  auto events = db.GetTable("Events");
  auto dates = db.GetTable("Dates");
  auto links = db.GetTable("EventDates");
  if (!events.ok() || !dates.ok() || !links.ok()) return Status::NotFound("fixture tables");
  for (int unit = 0; unit < 6; ++unit) {
    JET_RETURN_IF_ERROR(db.Begin());
    for (int i = 0; i < 3; ++i) {
      std::vector<Value> e(events->columns.size());
      std::string name = "Crash feast " + std::to_string(unit * 10 + i);
      std::string notes(static_cast<size_t>(unit) * 1500 + i * 40, static_cast<char>('a' + unit));
      e[Column(*events, "EventName")] = Value::Bytes(Value::Kind::kText, name);
      e[Column(*events, "AllDayEvent")] = Value::Boolean(true);
      e[Column(*events, "Notes")] = Value::Bytes(Value::Kind::kText, notes);
      auto inserted = db.Insert(*events, e);
      if (!inserted.ok()) return inserted.status();
      std::vector<Value> d(dates->columns.size());
      d[Column(*dates, "DateKey")] = Value::Real(Value::Kind::kDateTime, 41000 + unit * 10 + i);
      d[Column(*dates, "DateColor")] = Value::Bytes(Value::Kind::kText, "Violet");
      d[Column(*dates, "EventCount")] = Value::Integer(Value::Kind::kLong, 1);
      auto day = db.Insert(*dates, d);
      if (!day.ok()) return day.status();
      std::vector<Value> l(links->columns.size());
      l[Column(*links, "EventId")] = Value::Integer(Value::Kind::kLong, inserted->autonumber);
      l[Column(*links, "EventDate")] = Value::Real(Value::Kind::kDateTime, 41000 + unit * 10 + i);
      auto link = db.Insert(*links, l);
      if (!link.ok()) return link.status();
      if (unit % 2 == 1) {
        // Grow the day's row past its slot: it moves.
        std::string text(300 + unit * 200, 'x');
        JET_RETURN_IF_ERROR(db.Update(*dates, day->id,
                                      {{Column(*dates, "DateText"),
                                        Value::Bytes(Value::Kind::kText, text)}}));
        JET_RETURN_IF_ERROR(db.Update(*dates, day->id,
                                      {{Column(*dates, "DateKey"),
                                        Value::Real(Value::Kind::kDateTime, 42000 + unit * 10 + i)}}));
        // It grows again and moves on, leaving its last place; the event's
        // notes are replaced, so the pages they held are freed and taken
        // again by the next rows of the same unit.
        JET_RETURN_IF_ERROR(db.Update(*dates, day->id,
                                      {{Column(*dates, "DateText"),
                                        Value::Bytes(Value::Kind::kText, text + text)}}));
        JET_RETURN_IF_ERROR(db.Update(*events, inserted->id,
                                      {{Column(*events, "Notes"),
                                        Value::Bytes(Value::Kind::kText, notes + "!")}}));
      }
    }
    JET_RETURN_IF_ERROR(db.Commit());
    committed();
  }
  return db.Close();
}

using State = std::map<std::string, std::multiset<std::string>>;

State ReadState(const fs::path& path, Status* status) {
  State state;
  auto db = Database::Open(path.string());
  if (!db.ok()) {
    *status = db.status();
    return state;
  }
  for (const char* name : {"Dates", "Events", "EventDates"}) {
    auto table = (*db)->GetTable(name);
    auto cursor = (*db)->Scan(*table);
    Row row;
    Status s;
    while ((*cursor)->Next(&row, &s)) {
      std::string line;
      for (const Value& v : row.values) {
        line += v.kind() == Value::Kind::kText ? std::string(v.text())
                : v.kind() == Value::Kind::kDateTime ? std::to_string(v.real())
                                                     : std::to_string(v.integer());
        line += '|';
      }
      state[name].insert(line);
    }
    if (!s.ok()) *status = s;
  }
  auto problems = (*db)->Check();
  if (!problems.ok()) *status = problems.status();
  else if (!problems->empty()) *status = Status::Corruption((*problems)[0]);
  return state;
}

// A reader's open: it applies whatever log it finds.
Status OpenAndClose(const fs::path& path) {
  auto db = Database::Open(path.string());
  if (!db.ok()) return db.status();
  return (*db)->Close();
}

// The child: runs the units on a file ("units"), or only opens it, which
// applies a leftover log ("recover"), ended at operation `stop_at` (0:
// never). Prints "c" as each unit commits and, when it runs to the end, a
// line with the number of operations it made.
TESSALY_TEST_CHILD(CrashingWriter) {
  const std::string& what = args.at(0);
  const fs::path path = args.at(1);
  CrashObserver observer(std::stoull(args.at(2)), args.at(3) == "1");
  SetFileObserverForTesting(&observer);
  Status s = what == "units" ? RunUnits(path, args.at(4) == "1",
                                        [] {
                                          std::fputs("c", stdout);
                                          std::fflush(stdout);
                                        })
                             : OpenAndClose(path);
  SetFileObserverForTesting(nullptr);
  std::printf("\n%llu\n", static_cast<unsigned long long>(observer.count()));
  return s.ok() ? 0 : 2;
}

// Runs the child; returns its exit status. *committed is the number of
// units whose Commit returned, and *operations (when it ran to the end) how
// many operations it made.
int RunCrashing(const char* what, const fs::path& path, uint64_t stop_at, bool power_cut,
                bool every_commit, uint64_t* operations, int* committed) {
  const tessaly::testing::ProcessResult result = tessaly::testing::RunChild(
      "CrashingWriter", {what, path.string(), std::to_string(stop_at), power_cut ? "1" : "0",
                         every_commit ? "1" : "0"});
  *committed = 0;
  while (*committed < static_cast<int>(result.out.size()) && result.out[*committed] == 'c') {
    ++*committed;
  }
  const size_t line = result.out.find('\n');
  if (operations != nullptr && line != std::string::npos && line + 1 < result.out.size()) {
    *operations = std::stoull(result.out.substr(line + 1));
  }
  if (result.exit_code != 0 && result.exit_code != kCrashExit) {
    std::fprintf(stderr, "child %s stopping at %llu ended with %d: %s%s\n", what,
                 static_cast<unsigned long long>(stop_at), result.exit_code, result.error.c_str(),
                 result.err.c_str());
  }
  return result.exit_code;
}

int RunChild(const fs::path& path, uint64_t stop_at, bool power_cut, bool every_commit,
             uint64_t* operations, int* committed) {
  return RunCrashing("units", path, stop_at, power_cut, every_commit, operations, committed);
}

void ExpectOraclesAccept(const fs::path& path, const std::string& where) {
  if (!tessaly::testing::kLinuxOracles) return;
  for (const char* table : {"Dates", "Events", "EventDates"}) {
    auto r = tessaly::testing::RunProcess({"mdb-json", path.string(), table});
    EXPECT_EQ(r.exit_code, 0) << where << " " << table << ": " << r.err;
  }
  auto check = tessaly::testing::RunJetcheck(path);
  if (!check.java_missing) {
    EXPECT_TRUE(check.passed()) << where << ":\n" << check.output << check.error;
  }
}

// The calendar the units run on: a copy of the fixture, or an Access 97
// file made from its rows beside it.
class Calendar {
 public:
  explicit Calendar(JetVersion version) : copy_("fixtures", "tessdata-2009.mdb") {
    path_ = copy_.path();
    if (version == JetVersion::kJet3) {
      path_ = copy_.dir() / "access97.mdb";
      made_ = tessaly::testing::MakeAccess97Calendar(copy_.path(), path_);
    }
    page_size_ = version == JetVersion::kJet3 ? 2048 : 4096;
  }
  const fs::path& path() const { return path_; }
  fs::path dir() const { return copy_.dir(); }
  uint32_t page_size() const { return page_size_; }
  const std::string& error() const { return made_; }

 private:
  SharedFileCopy copy_;
  fs::path path_;
  uint32_t page_size_;
  std::string made_;
};

std::string FormatName(JetVersion version) {
  return version == JetVersion::kJet3 ? "Access97" : "";
}

struct CrashMode {
  bool power_cut;     // unsynced writes are lost, not just the process
  bool every_commit;  // the log is synced at every commit
  JetVersion version;
};

class CrashTest : public ::testing::TestWithParam<CrashMode> {};

TEST_P(CrashTest, EveryCrashPointLeavesAPrefixOfTheUnits) {
  const bool power_cut = GetParam().power_cut;
  const bool every_commit = GetParam().every_commit;
  // A unit whose Commit returned survives a killed process always, and a
  // power cut when the log is synced at every commit.
  const bool committed_units_survive = !power_cut || every_commit;
  const Calendar original(GetParam().version);
  ASSERT_EQ(original.error(), "");
  const fs::path work = original.dir() / "work.mdb";

  // The states after each prefix of units, from a run that is not stopped:
  // units commit one by one, so a stopped run must show one of these.
  std::vector<State> states;
  Status s;
  states.push_back(ReadState(original.path(), &s));
  ASSERT_TRUE(s.ok()) << s.ToString();
  fs::copy_file(original.path(), work);
  uint64_t operations = 0;
  int committed = 0;
  ASSERT_EQ(RunChild(work, 0, false, every_commit, &operations, &committed), 0);
  ASSERT_EQ(committed, 6);
  State final_state = ReadState(work, &s);
  ASSERT_TRUE(s.ok()) << s.ToString();
  ASSERT_GT(operations, 20u);
  std::cout << operations << " file operations in the run\n";

  // Units commit one by one: a stopped run must show the initial rows, all
  // rows of units 0..k (as the full run left them) and nothing else.
  auto is_prefix_state = [&](const State& got, int at_least) {
    std::set<int> units;
    for (const std::string& row : got.at("Events")) {
      size_t at = row.find("Crash feast ");
      if (at != std::string::npos) units.insert(std::atoi(row.c_str() + at + 12) / 10);
    }
    if (!units.empty() && (*units.begin() != 0 || *units.rbegin() != static_cast<int>(units.size()) - 1)) {
      return false;
    }
    // A unit whose Commit returned is durable.
    if (static_cast<int>(units.size()) < at_least) return false;
    for (const auto& [table, rows] : got) {
      if (rows.size() != states[0].at(table).size() + 3 * units.size()) return false;
      for (const std::string& row : rows) {
        if (!states[0].at(table).count(row) && !final_state.at(table).count(row)) return false;
      }
    }
    return true;
  };

  std::vector<uint64_t> points;
  for (uint64_t n = 1; n <= operations; n += kStride) points.push_back(n);
  if (points.back() != operations) points.push_back(operations);
  int checked_with_oracles = 0;
  for (uint64_t n : points) {
    fs::remove(work);
    fs::remove(work.string() + "-wal");
    fs::copy_file(original.path(), work);
    int code = RunChild(work, n, power_cut, every_commit, nullptr, &committed);
    ASSERT_EQ(code, kCrashExit) << "operation " << n;
    Status read;
    State got = ReadState(work, &read);
    ASSERT_TRUE(read.ok()) << "after a crash at operation " << n << ": " << read.ToString();
    EXPECT_TRUE(is_prefix_state(got, committed_units_survive ? committed : 0))
        << "after a crash at operation " << n << ", " << committed << " units committed";
    EXPECT_FALSE(fs::exists(work.string() + "-wal")) << "the log was not applied and removed";
    if (std::getenv("TESSALY_CRASH_DEBUG")) std::cout << n << ": committed " << committed << ", events " << got.at("Events").size() << "\n";
    if (n % (1 + operations / 6) == 0 || n == points.back()) {
      ++checked_with_oracles;
      ExpectOraclesAccept(work, "operation " + std::to_string(n));
    }
  }
  EXPECT_GT(checked_with_oracles, 0);
}

std::vector<CrashMode> CrashModes() {
  constexpr JetVersion k4 = JetVersion::kJet4, k3 = JetVersion::kJet3;
  if (!kPowerCuts) return {CrashMode{false, false, k4}, CrashMode{false, false, k3}};
  return {CrashMode{false, false, k4}, CrashMode{true, false, k4}, CrashMode{true, true, k4},
          CrashMode{false, false, k3}, CrashMode{true, true, k3}};
}

INSTANTIATE_TEST_SUITE_P(KillAndPowerCut, CrashTest, ::testing::ValuesIn(CrashModes()),
                         [](const auto& info) {
                           return std::string(info.param.power_cut ? "PowerCut" : "Kill") +
                                  (info.param.every_commit ? "SyncEveryCommit" : "") +
                                  FormatName(info.param.version);
                         });

// Copies a database and its log (when there is one) between folders.
void CopyPair(const fs::path& from, const fs::path& to) {
  fs::remove(to);
  fs::remove(to.string() + "-wal");
  fs::copy_file(from, to);
  if (fs::exists(from.string() + "-wal")) fs::copy_file(from.string() + "-wal", to.string() + "-wal");
}

struct RecoveryMode {
  bool power_cut;
  JetVersion version;
};

class RecoveryCrashTest : public ::testing::TestWithParam<RecoveryMode> {};

TEST_P(RecoveryCrashTest, ACrashAtEveryOperationOfARecoveryIsCompletedByTheNextOpen) {
  const bool power_cut = GetParam().power_cut;
  const Calendar original(GetParam().version);
  ASSERT_EQ(original.error(), "");
  const fs::path work = original.dir() / "work.mdb";
  const fs::path first = original.dir() / "first.mdb";
  uint64_t operations = 0;
  int committed = 0;
  fs::copy_file(original.path(), work);
  ASSERT_EQ(RunChild(work, 0, false, false, &operations, &committed), 0);

  // The logs a killed run leaves: one of each kind (checkpoint begun or not,
  // length of the log), each with the state a recovery must reach.
  struct Leftover {
    fs::path mdb;
    State expected;
    bool checkpoint_started;
  };
  std::vector<Leftover> leftovers;
  std::set<std::pair<bool, uint64_t>> kinds;
  for (uint64_t n = 1; n <= operations; ++n) {
    CopyPair(original.path(), work);
    ASSERT_EQ(RunChild(work, n, false, false, nullptr, &committed), kCrashExit);
    auto log = Wal::Read(work.string() + "-wal", original.page_size());
    ASSERT_TRUE(log.ok());
    if (log->state != WalState::kValid) continue;
    if (!kinds.insert({log->checkpoint_started, log->valid_bytes}).second) continue;
    const fs::path kept = original.dir() / ("leftover" + std::to_string(n) + ".mdb");
    CopyPair(work, kept);
    Status read;
    State expected = ReadState(work, &read);  // an uninterrupted recovery
    ASSERT_TRUE(read.ok()) << read.ToString();
    leftovers.push_back({kept, std::move(expected), log->checkpoint_started});
  }
  ASSERT_GE(leftovers.size(), 4u);
  ASSERT_TRUE(std::any_of(leftovers.begin(), leftovers.end(),
                          [](const Leftover& l) { return l.checkpoint_started; }));

  auto recover = [&](uint64_t stop_at, bool power_cut, uint64_t* steps) {
    int ignored = 0;
    return RunCrashing("recover", work, stop_at, power_cut, false, steps, &ignored);
  };
  auto expect_recovered = [&](const Leftover& leftover, const std::string& where) {
    Status read;
    State got = ReadState(work, &read);
    EXPECT_TRUE(read.ok()) << where << ": " << read.ToString();
    EXPECT_TRUE(got == leftover.expected) << where;
    EXPECT_FALSE(fs::exists(work.string() + "-wal")) << where;
  };
  // The recovery of the recovery is stopped at each of its operations too,
  // for the shortest log of each kind.
  std::map<bool, std::pair<uint64_t, size_t>> shortest;  // checkpoint begun -> steps, leftover
  std::vector<uint64_t> steps(leftovers.size());
  for (size_t i = 0; i < leftovers.size(); ++i) {
    CopyPair(leftovers[i].mdb, work);
    ASSERT_EQ(recover(0, false, &steps[i]), 0);
    ASSERT_GT(steps[i], 3u);
    auto [at, added] = shortest.emplace(leftovers[i].checkpoint_started, std::make_pair(steps[i], i));
    if (!added && steps[i] < at->second.first) at->second = {steps[i], i};
  }
  size_t crashes = 0;
  for (size_t i = 0; i < leftovers.size(); ++i) {
    const Leftover& leftover = leftovers[i];
    const bool shortest_of_its_kind = shortest.at(leftover.checkpoint_started).second == i;
    if (kStride > 1 && !shortest_of_its_kind) continue;
    const bool twice = kStride == 1 && shortest_of_its_kind;
    std::vector<uint64_t> stops;
    for (uint64_t r = 1; r <= steps[i]; r += kStride) stops.push_back(r);
    if (stops.back() != steps[i]) stops.push_back(steps[i]);
    for (uint64_t r : stops) {
      const std::string where = leftover.mdb.filename().string() + ", recovery stopped at " +
                                std::to_string(r) + " of " + std::to_string(steps[i]);
      CopyPair(leftover.mdb, work);
      ASSERT_EQ(recover(r, power_cut, nullptr), kCrashExit) << where;
      ++crashes;
      if (twice) {
        CopyPair(work, first);
        for (uint64_t r2 = 1;; ++r2) {
          CopyPair(first, work);
          const int code = recover(r2, power_cut, nullptr);
          if (code == 0) break;
          ASSERT_EQ(code, kCrashExit);
          ++crashes;
          expect_recovered(leftover, where + ", then at " + std::to_string(r2));
        }
        CopyPair(first, work);
      }
      expect_recovered(leftover, where);
    }
    if (twice) ExpectOraclesAccept(work, leftover.mdb.filename().string());
  }
  std::cout << leftovers.size() << " kinds of leftover log, " << crashes
            << " recoveries stopped\n";
}

std::vector<RecoveryMode> RecoveryModes() {
  constexpr JetVersion k4 = JetVersion::kJet4, k3 = JetVersion::kJet3;
  if (!kPowerCuts) return {RecoveryMode{false, k4}, RecoveryMode{false, k3}};
  return {RecoveryMode{false, k4}, RecoveryMode{true, k4}, RecoveryMode{true, k3}};
}

INSTANTIATE_TEST_SUITE_P(KillAndPowerCut, RecoveryCrashTest, ::testing::ValuesIn(RecoveryModes()),
                         [](const auto& info) {
                           return std::string(info.param.power_cut ? "PowerCut" : "Kill") +
                                  FormatName(info.param.version);
                         });

}  // namespace
}  // namespace jet
