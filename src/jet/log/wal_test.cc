// The log beside a database, tried as a careless user or another program
// would: copied folders, links, damaged logs, files in the log's way, and
// readers beside a writer (wal.h, page_file.h).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "jet/database.h"
#include "jet/file/file.h"
#include "jet/log/wal.h"
#include "jet/testing/fault_file_system.h"
#include "jet/testing/test_util.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using tessaly::testing::SharedFileCopy;
using testing::FaultFileSystem;
using testing::FileBytes;
using testing::FileOp;
using testing::FileOperation;
using ::testing::HasSubstr;
using testing::NewDay;
using testing::Rows;

std::string LogOf(const fs::path& mdb) { return mdb.string() + "-wal"; }

OpenOptions Options(bool read_only, int busy_timeout_ms = 5000, FileSystem* files = nullptr) {
  OpenOptions options;
  options.read_only = read_only;
  options.busy_timeout_ms = busy_timeout_ms;
  options.file_system = files;
  return options;
}

// From the `nth` write into the database file `database` on, fails every
// operation, as a crash there would leave the files (nth 0: from the first
// operation of any kind).
std::function<Status(const FileOperation&)> FailFromDatabaseWrite(const std::string& database,
                                                                  int nth) {
  return [database, nth, writes = 0](const FileOperation& operation) mutable {
    if (operation.op == FileOp::kWrite && operation.path == database) ++writes;
    if (writes >= nth) return Status::IoError("the machine stopped");
    return Status::OK();
  };
}

// A writer that adds `days` days through `opened_as` (a link, say) and
// stops half way through copying them into the file (`real`) at its close.
void InterruptCheckpoint(const fs::path& opened_as, const fs::path& real, int days = 40) {
  {
    FaultFileSystem files;
    auto db = Database::Open(opened_as.string(), Options(false, 5000, &files));
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    auto dates = (*db)->GetTable("Dates");
    for (int i = 0; i < days; ++i) {
      ASSERT_TRUE((*db)->Insert(*dates, NewDay(*dates, 40300 + i)).ok());
    }
    files.SetHook(FailFromDatabaseWrite(real.string(), 2));
    ASSERT_FALSE((*db)->Close().ok());
  }
  ASSERT_TRUE(fs::exists(LogOf(real)));
}

size_t DaysIn(const fs::path& path) {
  auto db = Database::Open(path.string());
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  if (!db.ok()) return 0;
  auto problems = (*db)->Check();
  EXPECT_TRUE(problems.ok() && problems->empty()) << path;
  return Rows(**db, "Dates").size();
}

TEST(LogTest, AnInterruptedCheckpointIsCompletedThroughLinksAndFromACopiedFolder) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  const fs::path real = copy.dir() / "real" / "cal.mdb";
  const fs::path link = copy.dir() / "link" / "cal.mdb";
  fs::create_directories(real.parent_path());
  fs::create_directories(link.parent_path());
  fs::rename(copy.path(), real);
#ifdef _WIN32
  InterruptCheckpoint(real, real);
#else
  fs::create_symlink(real, link);
  InterruptCheckpoint(link, real);
  EXPECT_FALSE(fs::exists(LogOf(link))) << "the log is named after the file, not the link";
#endif

  // The folder copied (new inodes, new times), as a backup tool would.
  const fs::path copied = copy.dir() / "copied" / "cal.mdb";
  fs::create_directories(copied.parent_path());
  fs::copy_file(real, copied);
  fs::copy_file(LogOf(real), LogOf(copied));
  EXPECT_EQ(DaysIn(copied), 40u);
  EXPECT_FALSE(fs::exists(LogOf(copied)));
  EXPECT_EQ(DaysIn(real), 40u);
  EXPECT_FALSE(fs::exists(LogOf(real)));
}

TEST(LogTest, AFileWithSeveralNamesIsReadButNotWritten) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  const fs::path other = copy.dir() / "other.mdb";
  fs::create_hard_link(copy.path(), other);
  auto writer = Database::Open(other.string(), Options(false));
  ASSERT_FALSE(writer.ok());
  EXPECT_THAT(writer.status().message(), HasSubstr("has 2 names (hard links)"));
  EXPECT_EQ(DaysIn(other), 0u);
}

// Damage after a checkpoint began: the database may hold a mixture that
// only an intact log completes, so nothing is used or removed.
TEST(LogTest, ADamagedLogOrAChangedDatabaseAfterACheckpointBeganIsRefusedAndKept) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& mdb, const fs::path& log)> damage;
    const char* says;
  };
  auto flip = [](const fs::path& file, uint64_t offset) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    const char c = static_cast<char>(f.get() ^ 0x10);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(c);
  };
  const Case cases[] = {
      {"log cut short", [](const fs::path&, const fs::path& log) { fs::resize_file(log, 100000); },
       "though"},
      {"log cut to its header",
       [](const fs::path&, const fs::path& log) { fs::resize_file(log, 64); }, "though"},
      // Each header slot stands in for the other: both must be damaged.
      {"bit flipped in both header slots",
       [&](const fs::path&, const fs::path& log) {
         flip(log, 20);
         flip(log, 512 + 20);
       },
       "its header is damaged"},
      {"bit flipped in a unit",
       [&](const fs::path&, const fs::path& log) { flip(log, 1024 + 16 + 4096); }, "is damaged"},
      {"bit flipped in the checkpoint record",
       [&](const fs::path&, const fs::path& log) { flip(log, fs::file_size(log) - 12); },
       "is damaged"},
      {"a logged page changed by another program",
       [&](const fs::path& mdb, const fs::path&) {
         // The definition of Dates, whose row count every insert raised.
         auto image = Database::OpenImage(
             FileBytes(tessaly::testing::SharedPath("fixtures", "tessdata-blank.mdb")));
         flip(mdb, 4096ull * (*image)->GetTable("Dates")->tdef_page + 4000);
       },
       "restore the database from a backup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
    InterruptCheckpoint(copy.path(), copy.path(), 150);
    c.damage(copy.path(), LogOf(copy.path()));
    const std::string mdb = FileBytes(copy.path()), log = FileBytes(LogOf(copy.path()));
    for (bool read_only : {true, false}) {
      auto db = Database::Open(copy.path().string(), Options(read_only));
      ASSERT_FALSE(db.ok());
      EXPECT_EQ(db.status().code(), StatusCode::kCorruption);
      EXPECT_THAT(db.status().message(), HasSubstr(c.says));
      EXPECT_THAT(db.status().message(), HasSubstr(LogOf(copy.path())));
      EXPECT_THAT(db.status().message(), HasSubstr("Both files were left as they are"));
      EXPECT_THAT(db.status().message(), ::testing::Not(HasSubstr("move")));
    }
    EXPECT_TRUE(FileBytes(copy.path()) == mdb);
    EXPECT_TRUE(FileBytes(LogOf(copy.path())) == log);
  }
}

// A log whose copying began, beside another calendar made from the same
// template (page 0 and many more pages alike): it is named as another
// database's log, not as damage, and the calendar is read and left alone.
TEST(LogTest, ALogBesideAnotherDatabaseIsRefusedAsNotItsOwn) {
  SharedFileCopy ours("fixtures", "tessdata-blank.mdb");
  InterruptCheckpoint(ours.path(), ours.path());
  SharedFileCopy other("fixtures", "tessdata-2009.mdb");
  fs::copy_file(LogOf(ours.path()), LogOf(other.path()));
  const std::string mdb = FileBytes(other.path()), log = FileBytes(LogOf(other.path()));
  auto writer = Database::Open(other.path().string(), Options(false));
  ASSERT_FALSE(writer.ok());
  EXPECT_EQ(writer.status().code(), StatusCode::kIoError);
  EXPECT_THAT(writer.status().message(), HasSubstr("was written for another database"));
  EXPECT_THAT(writer.status().message(), ::testing::Not(HasSubstr("backup")));
  EXPECT_GT(DaysIn(other.path()), 300u);
  EXPECT_TRUE(FileBytes(other.path()) == mdb);
  EXPECT_TRUE(FileBytes(LogOf(other.path())) == log);
}

// A header slot of zeros (the generation's first write lost to a power cut)
// with a unit of ours after it: no unit was durable, so the log is spent.
TEST(LogTest, ALogWhoseHeaderNeverReachedTheDiskIsSpent) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  {
    FaultFileSystem files;
    auto db = Database::Open(copy.path().string(), Options(false, 5000, &files));
    auto dates = (*db)->GetTable("Dates");
    ASSERT_TRUE((*db)->Insert(*dates, NewDay(*dates, 40300)).ok());
    files.SetHook(FailFromDatabaseWrite(copy.path().string(), 0));
    (void)(*db)->Close();
  }
  ASSERT_TRUE(fs::exists(LogOf(copy.path())));
  {
    std::fstream log(LogOf(copy.path()), std::ios::in | std::ios::out | std::ios::binary);
    log.write(std::string(64, '\0').data(), 64);
  }
  auto db = Database::Open(copy.path().string(), Options(false));
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  EXPECT_TRUE(Rows(**db, "Dates").empty());
  EXPECT_FALSE(fs::exists(LogOf(copy.path())));
}

// A log of the previous version (one header, records from byte 64, made
// here from one of ours) is still applied.
TEST(LogTest, ALogOfThePreviousVersionIsStillApplied) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  {
    FaultFileSystem files;
    auto db = Database::Open(copy.path().string(), Options(false, 5000, &files));
    auto dates = (*db)->GetTable("Dates");
    for (int i = 0; i < 3; ++i) ASSERT_TRUE((*db)->Insert(*dates, NewDay(*dates, 40300 + i)).ok());
    files.SetHook(FailFromDatabaseWrite(copy.path().string(), 0));
    (void)(*db)->Close();
  }
  std::string log = FileBytes(LogOf(copy.path()));
  ASSERT_GT(log.size(), 1024u);
  std::string old = log.substr(0, 64) + log.substr(1024);
  old[7] = '2';
  uint8_t* header = reinterpret_cast<uint8_t*>(old.data());
  const uint64_t sum = HashBytes(header, 56, 0);
  for (int i = 0; i < 8; ++i) header[56 + i] = static_cast<uint8_t>(sum >> (8 * i));
  std::ofstream(LogOf(copy.path()), std::ios::binary | std::ios::trunc) << old;
  EXPECT_EQ(DaysIn(copy.path()), 3u);
  EXPECT_FALSE(fs::exists(LogOf(copy.path())));
}

#ifndef _WIN32
// The log holds the database's changes: it is for the same people.
TEST(LogTest, TheLogHasTheDatabasesPermissions) {
  for (const mode_t mode : {0600, 0640, 0664}) {
    SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
    ASSERT_EQ(::chmod(copy.path().c_str(), mode), 0);
    auto db = Database::Open(copy.path().string(), Options(false));
    auto dates = (*db)->GetTable("Dates");
    ASSERT_TRUE((*db)->Insert(*dates, NewDay(*dates, 40300)).ok());
    struct stat log;
    ASSERT_EQ(::stat(LogOf(copy.path()).c_str(), &log), 0);
    EXPECT_EQ(log.st_mode & 0777, mode);
  }
}
#endif

TEST(LogTest, SomethingElseAtTheLogsNameIsLeftAloneAndOnlyReadingGoesOn) {
  const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> cases = {
      {"a text file",
       [](const std::string& at) { std::ofstream(at, std::ios::binary) << "notes\n"; }},
      {"a folder", [](const std::string& at) { fs::create_directory(at); }},
#ifndef _WIN32
      {"a fifo", [](const std::string& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); }},
#endif
  };
  for (const auto& [name, make] : cases) {
    SCOPED_TRACE(name);
    SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
    const std::string log = LogOf(copy.path());
    make(log);
    EXPECT_GT(DaysIn(copy.path()), 0u);
    auto writer = Database::Open(copy.path().string(), Options(false));
    ASSERT_FALSE(writer.ok());
    EXPECT_THAT(writer.status().message(), HasSubstr("not a log of this program is in the way"));
    EXPECT_TRUE(fs::exists(fs::symlink_status(log)));
    if (fs::is_regular_file(log)) {
      EXPECT_EQ(FileBytes(log), "notes\n");
    }
  }
}

TEST(LogTest, ADatabaseNameThatIsNoRegularFileIsRefusedAtOnce) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  std::vector<fs::path> paths = {copy.dir()};
#ifndef _WIN32
  const fs::path fifo = copy.dir() / "pipe.mdb";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  paths.push_back(fifo);
#endif
  for (const fs::path& path : paths) {
    for (bool read_only : {true, false}) {
      auto db = Database::Open(path.string(), Options(read_only));
      ASSERT_FALSE(db.ok());
      EXPECT_THAT(db.status().message(), HasSubstr("not a regular file"));
    }
  }
}

// ---- Readers beside a writer (page_file.h, P6-P9) ----

std::unique_ptr<Database> OpenReader(const fs::path& path, int busy_timeout_ms = 5000) {
  auto db = Database::Open(path.string(), Options(true, busy_timeout_ms));
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  return db.ok() ? std::move(db).value() : nullptr;
}

Status AddDay(Database& db, double date) {
  auto dates = db.GetTable("Dates");
  return db.Insert(*dates, NewDay(*dates, date)).status();
}

TEST(ReadersBesideAWriterTest, EachReaderKeepsTheStateItOpenedOnWhileTheWriterGoesOn) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  OpenOptions options;
  options.read_only = false;
  options.checkpoint_bytes = 1;  // a checkpoint after every unit, when readers allow
  options.busy_timeout_ms = 0;
  auto writer = std::move(Database::Open(copy.path().string(), options)).value();
  const size_t before = Rows(*writer, "Dates").size();
  ASSERT_TRUE(AddDay(*writer, 50000).ok());
  EXPECT_FALSE(fs::exists(LogOf(copy.path())) && fs::file_size(LogOf(copy.path())) > 0)
      << "with no reader open, the unit was copied into the file";

  auto first = OpenReader(copy.path());
  ASSERT_TRUE(AddDay(*writer, 50001).ok());  // its checkpoint is put off
  auto second = OpenReader(copy.path());     // reads the new day from the log
  ASSERT_TRUE(AddDay(*writer, 50002).ok());
  EXPECT_EQ(Rows(*first, "Dates").size(), before + 1);
  EXPECT_EQ(Rows(*second, "Dates").size(), before + 2);
  EXPECT_EQ(Rows(*writer, "Dates").size(), before + 3);

  first.reset();
  second.reset();
  ASSERT_TRUE(writer->Close().ok());
  EXPECT_FALSE(fs::exists(LogOf(copy.path())));
  EXPECT_EQ(DaysIn(copy.path()), before + 3);
}

TEST(ReadersBesideAWriterTest, AWritersCloseLeavesItsLogToTheNextOpenWhileAReaderReads) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  auto writer = std::move(Database::Open(copy.path().string(), Options(false, 20))).value();
  const size_t before = Rows(*writer, "Dates").size();
  auto reader = OpenReader(copy.path());
  ASSERT_TRUE(AddDay(*writer, 50000).ok());
  const std::string file = FileBytes(copy.path());
  ASSERT_TRUE(writer->Close().ok());
  EXPECT_TRUE(FileBytes(copy.path()) == file) << "pages were copied under an open reader";
  EXPECT_TRUE(fs::exists(LogOf(copy.path())));
  EXPECT_EQ(Rows(*reader, "Dates").size(), before);
  reader.reset();
  EXPECT_EQ(DaysIn(copy.path()), before + 1);
  EXPECT_FALSE(fs::exists(LogOf(copy.path())));
}

TEST(ReadersBesideAWriterTest, AReaderArrivingWhilePagesAreCopiedIsToldToTryAgain) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  FaultFileSystem files;
  auto writer =
      std::move(Database::Open(copy.path().string(), Options(false, 5000, &files))).value();
  ASSERT_TRUE(AddDay(*writer, 50000).ok());
  // The checkpoint's first write into the database: the readers byte is
  // held exclusively, and no page is written yet.
  std::optional<Status> arrival;
  files.SetHook([&](const FileOperation& operation) {
    if (operation.op == FileOp::kWrite && operation.path == copy.path().string() && !arrival) {
      arrival = Database::Open(copy.path().string(), Options(true, 0)).status();
    }
    return Status::OK();
  });
  Status closed = writer->Close();
  ASSERT_TRUE(closed.ok()) << closed.ToString();
  ASSERT_TRUE(arrival.has_value());
  EXPECT_EQ(arrival->code(), StatusCode::kBusy);
  EXPECT_THAT(arrival->message(), HasSubstr("try again"));
}

}  // namespace
}  // namespace jet
