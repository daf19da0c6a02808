// Files in memory keep the rules of the system's files that the log and the
// pager rest on (file.h, F2-F3): locks owned by the open file, names that
// can be published only once, files that live on while open after removal.
#include "jet/file/memory_file_system.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

using Byte = File::LockByte;
using Kind = File::LockKind;

std::unique_ptr<File> OpenOrDie(MemoryFileSystem& files, const std::string& path,
                                File::Mode mode = File::Mode::kReadWrite) {
  auto file = files.Open(path, mode);
  EXPECT_TRUE(file.ok()) << file.status().ToString();
  return std::move(file).value();
}

struct LockCase {
  Kind held;
  Kind wanted;
  bool granted;
};

TEST(MemoryFileSystemTest, LocksConflictBetweenOpenFilesAsTheSystemsDo) {
  const LockCase cases[] = {{Kind::kShared, Kind::kShared, true},
                            {Kind::kShared, Kind::kExclusive, false},
                            {Kind::kExclusive, Kind::kShared, false},
                            {Kind::kExclusive, Kind::kExclusive, false}};
  for (const LockCase& c : cases) {
    MemoryFileSystem files;
    files.Put("db", "x");
    auto first = OpenOrDie(files, "db");
    auto second = OpenOrDie(files, "db");
    ASSERT_TRUE(first->Lock(Byte::kWriter, c.held).ok());
    const Status s = second->Lock(Byte::kWriter, c.wanted);
    EXPECT_EQ(s.ok(), c.granted);
    if (!c.granted) {
      EXPECT_EQ(s.code(), StatusCode::kBusy);
    }
    // Another byte, or the same file changing its own lock, never conflicts.
    EXPECT_TRUE(second->Lock(Byte::kReaders, Kind::kExclusive).ok());
    EXPECT_TRUE(first->Lock(Byte::kWriter, c.held).ok());
    // Unlocking, or closing, frees the byte.
    first.reset();
    EXPECT_TRUE(second->Lock(Byte::kWriter, Kind::kExclusive).ok());
  }
}

TEST(MemoryFileSystemTest, NamesAndContentsBehaveAsOnDisk) {
  MemoryFileSystem files;
  EXPECT_FALSE(files.Open("db", File::Mode::kReadWrite).ok());
  auto made = OpenOrDie(files, "temp", File::Mode::kCreate);
  ASSERT_TRUE(made->WriteAt(4, "ab", 2).ok());
  ASSERT_TRUE(made->Reserve(8).ok());
  EXPECT_EQ(*files.Get("temp"), std::string("\0\0\0\0ab\0\0", 8));
  ASSERT_TRUE(made->Truncate(5).ok());
  char buffer[8];
  size_t done = 0;
  ASSERT_TRUE(made->ReadAt(3, buffer, sizeof buffer, &done).ok());
  EXPECT_EQ(done, 2u);  // short at the end of the file

  // Published once; a taken name is refused and the temporary kept.
  ASSERT_TRUE(files.PublishNew("temp", "db").ok());
  EXPECT_FALSE(made->StillAtPath());
  files.Put("other", "y");
  EXPECT_EQ(files.PublishNew("other", "db").code(), StatusCode::kInvalidArgument);
  EXPECT_TRUE(files.Exists("other"));

  // Removed while open: still read and written through the open file.
  auto db = OpenOrDie(files, "db");
  EXPECT_TRUE(db->StillAtPath());
  ASSERT_TRUE(files.Remove("db").ok());
  EXPECT_FALSE(db->StillAtPath());
  EXPECT_EQ(*db->LinkCount(), 0u);
  EXPECT_TRUE(db->WriteAt(0, "z", 1).ok());
  EXPECT_FALSE(files.Exists("db"));

  auto reader = OpenOrDie(files, "other", File::Mode::kRead);
  EXPECT_FALSE(reader->WriteAt(0, "z", 1).ok());
}

}  // namespace
}  // namespace jet
