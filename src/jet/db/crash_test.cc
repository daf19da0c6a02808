// Crash tests. A child process runs a fixed sequence of units on a copy of a
// calendar, on files that strike at its n-th write, truncate, sync or
// removal (testing/fault_file_system.h):
//   Kill         the process ends there (everything written so far stays);
//   PowerCut     every write since its file's last sync is lost;
//   Sectors      a power cut that keeps or loses each 512-byte sector
//                written since the last sync, and a file's growth or
//                shrinking since then, by a coin flip seeded with n;
//   Torn         the write reaches the disk part way (whole sectors of a
//                page, part of a smaller write), then the process ends;
//   Error        the operation fails (an I/O error) and the program goes on;
//   ErrorOnward  it and every later one fail (a disk that is gone).
// Reopening must then show exactly the state after some prefix of the
// units, and the file must pass our check, mdbtools and the index checker.
// A crash keeps every unit whose commit returned (a power cut only when the
// log is synced at every commit). A program that goes on after an error
// learns from Close what happened: OK or kSavedInLog, and every committed
// unit is there; an IoError saying that nothing was written, and the units
// since the last checkpoint are not (running it again adds them once).
//
// A second test crashes the recovery of every kind of log a killed run
// leaves, at each of its operations, and (killed, or cut off by a power
// cut) the recovery of that recovery.
//
// Every operation is tried. Each sweep is split into shards, test entries
// of their own that run in parallel; its calendar, the states it is checked
// against and the leftover logs are made once and shared (prepared_files.h).
// They run on the Jet 4 calendar of the fixtures, an Access 97 copy of it
// (2 KB pages, code page 1252 text) and the 40-year calendar.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/file/file.h"
#include "jet/log/wal.h"
#include "jet/testing/fault_file_system.h"
#include "jet/testing/test_util.h"
#include "support/access97_calendar.h"
#include "support/child_process.h"
#include "support/jetcheck.h"
#include "support/prepared_files.h"
#include "support/run_process.h"
#include "support/shared_copy.h"
#include "support/temp_folder.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using tessaly::testing::PreparedFolder;
using tessaly::testing::SharedPath;

using testing::Fault;
using testing::kCrashExit;

// Under Wine every child is a new process, a twentieth of a second each:
// there the tests stop at a spread of operations, and leave out the power
// cuts (their write-back goes through a second handle, which Windows'
// sharing rules refuse while the writer holds the file) and the recovery
// of a recovery.
#ifdef _WIN32
constexpr uint64_t kStride = 3;
constexpr bool kPowerCuts = false;
#else
constexpr uint64_t kStride = 1;
constexpr bool kPowerCuts = true;
#endif

bool Crashes(Fault fault) { return fault != Fault::kError && fault != Fault::kErrorOnward; }

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kKill: return "Kill";
    case Fault::kPowerCut: return "PowerCut";
    case Fault::kSectors: return "Sectors";
    case Fault::kTorn: return "Torn";
    case Fault::kError: return "Error";
    case Fault::kErrorOnward: return "ErrorOnward";
  }
  return "";
}

size_t Column(const TableDef& t, const char* name) {
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i].name == name) return i;
  }
  std::abort();
}

// The units: inserts with memos small and large, updates in place and
// moved (twice, freeing the first place), memos replaced (their pages freed
// and reused within the unit), an indexed key changed, several changes in
// one unit; a low checkpoint size makes checkpoints happen between them.
// The first failure ends them (its unit rolled back); returns Close's status.
Status RunUnits(const fs::path& path, FileSystem* files, bool every_commit,
                const std::function<void()>& committed) {
  OpenOptions options;
  options.file_system = files;
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
  auto unit = [&](int u) -> Status {
    JET_RETURN_IF_ERROR(db.Begin());
    for (int i = 0; i < 3; ++i) {
      std::vector<Value> e(events->columns.size());
      std::string name = "Crash feast " + std::to_string(u * 10 + i);
      std::string notes(static_cast<size_t>(u) * 1500 + i * 40, static_cast<char>('a' + u));
      e[Column(*events, "EventName")] = Value::Bytes(Value::Kind::kText, name);
      e[Column(*events, "AllDayEvent")] = Value::Boolean(true);
      e[Column(*events, "Notes")] = Value::Bytes(Value::Kind::kText, notes);
      auto inserted = db.Insert(*events, e);
      if (!inserted.ok()) return inserted.status();
      std::vector<Value> d(dates->columns.size());
      d[Column(*dates, "DateKey")] = Value::Real(Value::Kind::kDateTime, 51000 + u * 10 + i);
      d[Column(*dates, "DateColor")] = Value::Bytes(Value::Kind::kText, "Violet");
      d[Column(*dates, "EventCount")] = Value::Integer(Value::Kind::kLong, 1);
      auto day = db.Insert(*dates, d);
      if (!day.ok()) return day.status();
      std::vector<Value> l(links->columns.size());
      l[Column(*links, "EventId")] = Value::Integer(Value::Kind::kLong, inserted->autonumber);
      l[Column(*links, "EventDate")] = Value::Real(Value::Kind::kDateTime, 51000 + u * 10 + i);
      auto link = db.Insert(*links, l);
      if (!link.ok()) return link.status();
      if (u % 2 == 1) {
        // Grow the day's row past its slot: it moves.
        std::string text(300 + u * 200, 'x');
        JET_RETURN_IF_ERROR(
            db.Update(*dates, day->id,
                      {{Column(*dates, "DateText"), Value::Bytes(Value::Kind::kText, text)}}));
        JET_RETURN_IF_ERROR(db.Update(*dates, day->id,
                                      {{Column(*dates, "DateKey"),
                                        Value::Real(Value::Kind::kDateTime, 52000 + u * 10 + i)}}));
        // It grows again and moves on, leaving its last place; the event's
        // notes are replaced, so the pages they held are freed and taken
        // again by the next rows of the same unit.
        JET_RETURN_IF_ERROR(db.Update(
            *dates, day->id,
            {{Column(*dates, "DateText"), Value::Bytes(Value::Kind::kText, text + text)}}));
        JET_RETURN_IF_ERROR(
            db.Update(*events, inserted->id,
                      {{Column(*events, "Notes"), Value::Bytes(Value::Kind::kText, notes + "!")}}));
      }
    }
    return db.Commit();
  };
  for (int u = 0; u < 6; ++u) {
    if (!unit(u).ok()) {
      db.Rollback();
      break;
    }
    committed();
  }
  return db.Close();
}

using State = testing::TableRows;

// States on disk, for the shards of a sweep: per table, its name and row
// count, then each row as its length and bytes.
void SaveState(const State& state, const fs::path& file) {
  std::ofstream out(file, std::ios::binary);
  for (const auto& [table, rows] : state) {
    out << table << '\n' << rows.size() << '\n';
    for (const std::string& row : rows) out << row.size() << '\n' << row << '\n';
  }
}

State LoadState(const fs::path& file) {
  State state;
  std::ifstream in(file, std::ios::binary);
  std::string table;
  size_t rows = 0;
  while (std::getline(in, table) && in >> rows) {
    for (size_t i = 0; i < rows; ++i) {
      size_t length = 0;
      in >> length;
      in.get();
      std::string row(length, '\0');
      in.read(row.data(), static_cast<std::streamsize>(length));
      in.get();
      state[table].insert(std::move(row));
    }
  }
  return state;
}

// A reader's open: it applies whatever log it finds.
Status OpenAndClose(const fs::path& path, FileSystem* files) {
  OpenOptions options;
  options.file_system = files;
  auto db = Database::Open(path.string(), options);
  if (!db.ok()) return db.status();
  return (*db)->Close();
}

// The child: runs the units on a file ("units"), or only opens it, which
// applies a leftover log ("recover"), struck at operation `strike_at` (0:
// never). Prints "c" as each unit commits, then a line with the number of
// operations it made and one with the code and message of its close.
TESSALY_TEST_CHILD(CrashingWriter) {
  const std::string& what = args.at(0);
  const fs::path path = args.at(1);
  testing::FaultFileSystem files;
  files.StrikeAt(std::stoull(args.at(2)), static_cast<Fault>(std::stoi(args.at(3))));
  Status s = what == "units" ? RunUnits(path, &files, args.at(4) == "1",
                                        [] {
                                          std::fputs("c", stdout);
                                          std::fflush(stdout);
                                        })
                             : OpenAndClose(path, &files);
  std::printf("\n%llu\n%d %s\n", static_cast<unsigned long long>(files.operations()),
              static_cast<int>(s.code()), s.message().c_str());
  return 0;
}

struct ChildRun {
  int exit_code = -1;
  int committed = 0;        // units whose Commit returned
  uint64_t operations = 0;  // when it ran to the end
  StatusCode closed = StatusCode::kOk;
  std::string close_message;
};

ChildRun RunCrashing(const char* what, const fs::path& path, uint64_t strike_at, Fault fault,
                     bool every_commit) {
  const tessaly::testing::ProcessResult result = tessaly::testing::RunChild(
      "CrashingWriter", {what, path.string(), std::to_string(strike_at),
                         std::to_string(static_cast<int>(fault)), every_commit ? "1" : "0"});
  ChildRun run;
  run.exit_code = result.exit_code;
  while (run.committed < static_cast<int>(result.out.size()) && result.out[run.committed] == 'c') {
    ++run.committed;
  }
  std::istringstream tail(result.out.substr(run.committed));
  int code = 0;
  if (tail >> run.operations >> code) {
    run.closed = static_cast<StatusCode>(code);
    std::getline(tail, run.close_message);
  }
  if (result.exit_code != 0 && result.exit_code != kCrashExit) {
    std::fprintf(stderr, "child %s struck at %llu ended with %d: %s%s\n", what,
                 static_cast<unsigned long long>(strike_at), result.exit_code, result.error.c_str(),
                 result.err.c_str());
  }
  return run;
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

enum class CalendarKind { k2009, kAccess97, kLarge };

std::string CalendarName(CalendarKind kind) {
  switch (kind) {
    case CalendarKind::k2009: return "";
    case CalendarKind::kAccess97: return "Access97";
    case CalendarKind::kLarge: return "FortyYears";
  }
  return "";
}

// Writes the calendar the units run on into `folder` as calendar.mdb: a
// copy of a fixture, or an Access 97 file made from the rows of one.
void MakeCalendar(CalendarKind kind, const fs::path& folder) {
  const fs::path target = folder / "calendar.mdb";
  if (kind == CalendarKind::kAccess97) {
    const std::string made =
        tessaly::testing::MakeAccess97Calendar(SharedPath("fixtures", "tessdata-2009.mdb"), target);
    if (!made.empty()) throw std::runtime_error(made);
  } else {
    fs::copy_file(SharedPath("fixtures", kind == CalendarKind::kLarge ? "tessdata-large.mdb"
                                                                      : "tessdata-2009.mdb"),
                  target);
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
  }
}

// Copies a database and its log (when there is one).
void CopyPair(const fs::path& from, const fs::path& to) {
  fs::remove(to);
  fs::remove(to.string() + "-wal");
  fs::copy_file(from, to);
  fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
  if (fs::exists(from.string() + "-wal")) {
    fs::copy_file(from.string() + "-wal", to.string() + "-wal");
  }
}

uint64_t ReadNumber(const fs::path& file) {
  std::ifstream in(file);
  uint64_t n = 0;
  in >> n;
  return n;
}

// What every shard of a sweep of the units shares: the calendar, the number
// of operations of a run that is not struck, and the states before and after.
struct UnitsSweep {
  fs::path calendar;
  uint64_t operations = 0;
  State initial, final_state;
};

UnitsSweep PrepareUnits(CalendarKind kind, bool every_commit) {
  const std::string name = "units" + CalendarName(kind) + (every_commit ? "EveryCommit" : "");
  const fs::path folder = PreparedFolder(name, [&](const fs::path& made) {
    MakeCalendar(kind, made);
    Status s;
    SaveState(testing::ReadTableRows(made / "calendar.mdb", &s), made / "initial.state");
    if (!s.ok()) throw std::runtime_error(s.ToString());
    const fs::path work = made / "work.mdb";
    CopyPair(made / "calendar.mdb", work);
    const ChildRun run = RunCrashing("units", work, 0, Fault::kKill, every_commit);
    if (run.exit_code != 0 || run.committed != 6 || run.closed != StatusCode::kOk) {
      throw std::runtime_error("the units did not run: " + run.close_message);
    }
    SaveState(testing::ReadTableRows(work, &s), made / "final.state");
    if (!s.ok()) throw std::runtime_error(s.ToString());
    std::ofstream(made / "operations") << run.operations;
    fs::remove(work);
  });
  UnitsSweep sweep;
  sweep.calendar = folder / "calendar.mdb";
  sweep.operations = ReadNumber(folder / "operations");
  sweep.initial = LoadState(folder / "initial.state");
  sweep.final_state = LoadState(folder / "final.state");
  return sweep;
}

// The units a state holds, when it is the state after a prefix of them
// (nullopt otherwise): the initial rows, all rows of units 0..k as the full
// run left them, and nothing else.
std::optional<int> PrefixOf(const UnitsSweep& sweep, const State& got) {
  std::set<int> units;
  for (const std::string& row : got.at("Events")) {
    size_t at = row.find("Crash feast ");
    if (at != std::string::npos) units.insert(std::atoi(row.c_str() + at + 12) / 10);
  }
  if (!units.empty() &&
      (*units.begin() != 0 || *units.rbegin() != static_cast<int>(units.size()) - 1)) {
    return std::nullopt;
  }
  for (const auto& [table, rows] : got) {
    if (rows.size() != sweep.initial.at(table).size() + 3 * units.size()) return std::nullopt;
    for (const std::string& row : rows) {
      if (!sweep.initial.at(table).count(row) && !sweep.final_state.at(table).count(row)) {
        return std::nullopt;
      }
    }
  }
  return static_cast<int>(units.size());
}

// The points of an operation count a shard tries: every kStride-th and the
// last, dealt out in turn.
std::vector<uint64_t> ShardPoints(uint64_t operations, int shard, int shards) {
  std::vector<uint64_t> all;
  for (uint64_t n = 1; n <= operations; n += kStride) all.push_back(n);
  if (all.back() != operations) all.push_back(operations);
  std::vector<uint64_t> mine;
  for (size_t i = static_cast<size_t>(shard); i < all.size(); i += static_cast<size_t>(shards)) {
    mine.push_back(all[i]);
  }
  return mine;
}

struct UnitsMode {
  CalendarKind calendar;
  Fault fault;
  bool every_commit;  // the log is synced at every commit
  int shards;
};

struct UnitsShard {
  UnitsMode mode;
  int shard;
};

class CrashTest : public ::testing::TestWithParam<UnitsShard> {};

TEST_P(CrashTest, EveryPointLeavesAPrefixOfTheUnits) {
  const UnitsMode mode = GetParam().mode;
  const UnitsSweep sweep = PrepareUnits(mode.calendar, mode.every_commit);
  ASSERT_GT(sweep.operations, 20u);
  // A unit whose Commit returned survives a crash, a power cut only when
  // the log is synced at every commit.
  const bool committed_units_survive =
      (mode.fault != Fault::kPowerCut && mode.fault != Fault::kSectors) || mode.every_commit;
  const fs::path folder = tessaly::testing::MakeTempFolder("tessaly_crash");
  const fs::path work = folder / "work.mdb";
  const std::vector<uint64_t> points = ShardPoints(sweep.operations, GetParam().shard, mode.shards);
  std::map<std::string, int> outcomes;
  for (size_t i = 0; i < points.size(); ++i) {
    const uint64_t n = points[i];
    const std::string where = std::string(FaultName(mode.fault)) + " at operation " +
                              std::to_string(n) + " of " + std::to_string(sweep.operations);
    CopyPair(sweep.calendar, work);
    const ChildRun run = RunCrashing("units", work, n, mode.fault, mode.every_commit);
    if (Crashes(mode.fault)) {
      ASSERT_EQ(run.exit_code, kCrashExit) << where;
    } else {
      ASSERT_EQ(run.exit_code, 0) << where;
    }
    Status read;
    const State got = testing::ReadTableRows(work, &read);
    ASSERT_TRUE(read.ok()) << where << ": " << read.ToString();
    const std::optional<int> units = PrefixOf(sweep, got);
    ASSERT_TRUE(units.has_value()) << where << ", " << run.committed << " units committed";
    EXPECT_FALSE(fs::exists(work.string() + "-wal")) << where << ": the log was not applied";
    if (Crashes(mode.fault)) {
      if (committed_units_survive) {
        EXPECT_GE(*units, run.committed) << where;
      }
      ++outcomes["crashed"];
    } else if (run.closed == StatusCode::kOk || run.closed == StatusCode::kSavedInLog) {
      EXPECT_EQ(*units, run.committed) << where << ": closed with " << run.close_message;
      ++outcomes[run.closed == StatusCode::kOk ? "closed" : "saved, finished by the next open"];
    } else {
      ASSERT_EQ(run.closed, StatusCode::kIoError) << where << ": " << run.close_message;
      EXPECT_LE(*units, run.committed) << where;
      if (run.close_message.find("Nothing was written") != std::string::npos) {
        // What the failed close held back is not there: a rerun adds it once.
        EXPECT_LT(*units, run.committed) << where << ": " << run.close_message;
        ++outcomes["nothing written"];
      } else {
        EXPECT_THAT(run.close_message, ::testing::HasSubstr("may still write them"));
        ++outcomes["not known"];
      }
    }
    if (n % (1 + sweep.operations / 6) == 0 || n == sweep.operations) {
      ExpectOraclesAccept(work, where);
    }
  }
  std::cout << points.size() << " of " << sweep.operations << " points:";
  for (const auto& [outcome, count] : outcomes) std::cout << " " << outcome << " " << count;
  std::cout << "\n";
  fs::remove_all(folder);
}

std::vector<UnitsShard> UnitsShards() {
  constexpr CalendarKind k4 = CalendarKind::k2009, k3 = CalendarKind::kAccess97,
                         large = CalendarKind::kLarge;
  std::vector<UnitsMode> modes = {
      {k4, Fault::kKill, false, 2},        {k4, Fault::kTorn, false, 2},
      {k4, Fault::kError, false, 2},       {k4, Fault::kErrorOnward, false, 2},
      {k3, Fault::kKill, false, 2},        {k3, Fault::kTorn, false, 2},
      {k3, Fault::kErrorOnward, false, 2},
  };
  if (kPowerCuts) {
    const std::vector<UnitsMode> cuts = {
        {k4, Fault::kPowerCut, false, 2},  {k4, Fault::kPowerCut, true, 2},
        {k4, Fault::kSectors, false, 2},   {k4, Fault::kSectors, true, 2},
        {k3, Fault::kPowerCut, true, 2},   {k3, Fault::kSectors, true, 2},
        {large, Fault::kSectors, true, 8},
    };
    modes.insert(modes.end(), cuts.begin(), cuts.end());
  }
  std::vector<UnitsShard> shards;
  for (const UnitsMode& mode : modes) {
    for (int shard = 0; shard < mode.shards; ++shard) shards.push_back({mode, shard});
  }
  return shards;
}

std::string UnitsShardName(const ::testing::TestParamInfo<UnitsShard>& info) {
  const UnitsMode& mode = info.param.mode;
  return std::string(FaultName(mode.fault)) + (mode.every_commit ? "SyncEveryCommit" : "") +
         CalendarName(mode.calendar) + "_" + std::to_string(info.param.shard + 1) + "of" +
         std::to_string(mode.shards);
}

INSTANTIATE_TEST_SUITE_P(Faults, CrashTest, ::testing::ValuesIn(UnitsShards()), UnitsShardName);

// ---- Recovery ----

// The logs a killed run leaves: one of each kind (checkpoint begun or not,
// length of the log), each with the state a recovery must reach, and how
// many operations its recovery makes.
struct Leftover {
  fs::path mdb;
  State expected;
  bool checkpoint_started = false;
  uint64_t steps = 0;
  bool shortest_of_its_kind = false;
};

std::vector<Leftover> PrepareLeftovers(CalendarKind kind) {
  const std::string name = "leftovers" + CalendarName(kind);
  const fs::path folder = PreparedFolder(name, [&](const fs::path& made) {
    MakeCalendar(kind, made);
    const fs::path calendar = made / "calendar.mdb";
    const fs::path work = made / "work.mdb";
    CopyPair(calendar, work);
    const ChildRun full = RunCrashing("units", work, 0, Fault::kKill, false);
    const uint32_t page_size = kind == CalendarKind::kAccess97 ? 2048 : 4096;
    std::set<std::pair<bool, uint64_t>> kinds;
    std::map<bool, std::pair<uint64_t, int>> shortest;  // checkpoint begun -> steps, leftover
    std::ofstream list(made / "list");
    int count = 0;
    for (uint64_t n = 1; n <= full.operations; ++n) {
      CopyPair(calendar, work);
      if (RunCrashing("units", work, n, Fault::kKill, false).exit_code != kCrashExit) {
        throw std::runtime_error("a killed run did not end where it was struck");
      }
      auto log = Wal::Read(FileSystem::Default(), work.string() + "-wal", page_size);
      if (!log.ok() || log->state != WalState::kValid) continue;
      if (!kinds.insert({log->checkpoint_started, log->valid_bytes}).second) continue;
      const std::string base = "leftover" + std::to_string(count);
      CopyPair(work, made / (base + ".mdb"));
      // How many operations its recovery makes, and the state it reaches.
      const ChildRun recovered = RunCrashing("recover", work, 0, Fault::kKill, false);
      if (recovered.exit_code != 0 || recovered.closed != StatusCode::kOk) {
        throw std::runtime_error("a leftover log was not recovered: " + recovered.close_message);
      }
      Status read;
      SaveState(testing::ReadTableRows(work, &read), made / (base + ".state"));
      if (!read.ok()) throw std::runtime_error(read.ToString());
      list << base << ' ' << log->checkpoint_started << ' ' << recovered.operations << '\n';
      auto [at, added] =
          shortest.emplace(log->checkpoint_started, std::make_pair(recovered.operations, count));
      if (!added && recovered.operations < at->second.first) {
        at->second = {recovered.operations, count};
      }
      ++count;
    }
    std::ofstream marks(made / "shortest");
    for (const auto& [started, pick] : shortest) marks << pick.second << '\n';
    fs::remove(work);
  });
  std::vector<Leftover> leftovers;
  std::ifstream list(folder / "list");
  std::string base;
  Leftover l;
  while (list >> base >> l.checkpoint_started >> l.steps) {
    l.mdb = folder / (base + ".mdb");
    l.expected = LoadState(folder / (base + ".state"));
    leftovers.push_back(l);
  }
  std::ifstream marks(folder / "shortest");
  for (size_t i; marks >> i;) {
    if (i < leftovers.size()) leftovers[i].shortest_of_its_kind = true;
  }
  return leftovers;
}

struct RecoveryMode {
  CalendarKind calendar;
  Fault fault;
  bool twice;  // the recoveries of the shortest logs' recoveries are struck too
  int shards;
};

struct RecoveryShard {
  RecoveryMode mode;
  int shard;
};

class RecoveryCrashTest : public ::testing::TestWithParam<RecoveryShard> {};

TEST_P(RecoveryCrashTest, ACrashAtEveryOperationOfARecoveryIsCompletedByTheNextOpen) {
  const RecoveryMode mode = GetParam().mode;
  const std::vector<Leftover> leftovers = PrepareLeftovers(mode.calendar);
  ASSERT_GE(leftovers.size(), 4u);
  ASSERT_TRUE(std::any_of(leftovers.begin(), leftovers.end(),
                          [](const Leftover& l) { return l.checkpoint_started; }));
  const fs::path folder = tessaly::testing::MakeTempFolder("tessaly_recovery");
  const fs::path work = folder / "work.mdb";
  const fs::path first = folder / "first.mdb";

  auto expect_recovered = [&](const Leftover& leftover, const std::string& where) {
    Status read;
    State got = testing::ReadTableRows(work, &read);
    EXPECT_TRUE(read.ok()) << where << ": " << read.ToString();
    EXPECT_TRUE(got == leftover.expected) << where;
    EXPECT_FALSE(fs::exists(work.string() + "-wal")) << where;
  };
  // Every (leftover, operation) pair is one point, dealt out to the shards;
  // for the shortest log of each kind the recovery of the recovery is
  // struck at each of its operations too (the kill and power-cut sweeps).
  std::vector<std::pair<size_t, uint64_t>> points;
  for (size_t i = 0; i < leftovers.size(); ++i) {
    if (kStride > 1 && !leftovers[i].shortest_of_its_kind) continue;
    for (uint64_t r : ShardPoints(leftovers[i].steps, 0, 1)) points.emplace_back(i, r);
  }
  size_t crashes = 0;
  for (size_t p = static_cast<size_t>(GetParam().shard); p < points.size();
       p += static_cast<size_t>(mode.shards)) {
    const auto [i, r] = points[p];
    const Leftover& leftover = leftovers[i];
    const bool twice = mode.twice && kStride == 1 && leftover.shortest_of_its_kind;
    const std::string where = leftover.mdb.filename().string() + ", recovery struck (" +
                              FaultName(mode.fault) + ") at " + std::to_string(r) + " of " +
                              std::to_string(leftover.steps);
    CopyPair(leftover.mdb, work);
    ASSERT_EQ(RunCrashing("recover", work, r, mode.fault, false).exit_code, kCrashExit) << where;
    ++crashes;
    if (twice) {
      CopyPair(work, first);
      for (uint64_t r2 = 1;; ++r2) {
        CopyPair(first, work);
        const int code = RunCrashing("recover", work, r2, mode.fault, false).exit_code;
        if (code == 0) break;
        ASSERT_EQ(code, kCrashExit);
        ++crashes;
        expect_recovered(leftover, where + ", then at " + std::to_string(r2));
      }
      CopyPair(first, work);
    }
    expect_recovered(leftover, where);
    if (twice && r == leftover.steps) ExpectOraclesAccept(work, where);
  }
  std::cout << leftovers.size() << " kinds of leftover log, " << crashes << " recoveries struck\n";
  fs::remove_all(folder);
}

std::vector<RecoveryShard> RecoveryShards() {
  constexpr CalendarKind k4 = CalendarKind::k2009, k3 = CalendarKind::kAccess97;
  std::vector<RecoveryMode> modes = {{k4, Fault::kKill, true, 4}, {k4, Fault::kTorn, false, 1}};
  if (kPowerCuts) {
    const std::vector<RecoveryMode> cuts = {{k4, Fault::kPowerCut, true, 4},
                                            {k3, Fault::kPowerCut, true, 4},
                                            {k4, Fault::kSectors, false, 1},
                                            {k3, Fault::kSectors, false, 1}};
    modes.insert(modes.end(), cuts.begin(), cuts.end());
  } else {
    modes.push_back({k3, Fault::kKill, false, 1});
  }
  std::vector<RecoveryShard> shards;
  for (const RecoveryMode& mode : modes) {
    for (int shard = 0; shard < mode.shards; ++shard) shards.push_back({mode, shard});
  }
  return shards;
}

INSTANTIATE_TEST_SUITE_P(Faults, RecoveryCrashTest, ::testing::ValuesIn(RecoveryShards()),
                         [](const auto& info) {
                           const RecoveryMode& mode = info.param.mode;
                           return std::string(FaultName(mode.fault)) + CalendarName(mode.calendar) +
                                  "_" + std::to_string(info.param.shard + 1) + "of" +
                                  std::to_string(mode.shards);
                         });

}  // namespace
}  // namespace jet
