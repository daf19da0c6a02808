// A whole copy in new folders, and no copy over a file that is there.
#include "platform/file_copy.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/path.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace platform {
namespace {

TEST(FileCopyTest, CopiesWholeIntoNewFoldersAndNeverOverAFile) {
  const tessaly::testing::TempFolder temp("file_copy_test");
  const std::filesystem::path& folder = temp.path();
  const std::string bytes(3 << 20 | 5, 'x');  // more than one piece
  std::ofstream(folder / "from.mdb", std::ios::binary) << bytes;
  const std::filesystem::path to = folder / "a" / "b" / "to.mdb";
  EXPECT_TRUE(CopyToNewFile((folder / "from.mdb").string(), to.string()).ok());
  EXPECT_EQ(tessaly::testing::FileBytes(to), bytes);

  std::ofstream(folder / "other.mdb", std::ios::binary) << "other";
  EXPECT_EQ(CopyToNewFile((folder / "other.mdb").string(), to.string()).kind(),
            Error::Kind::kExists);
  EXPECT_EQ(tessaly::testing::FileBytes(to), bytes);
  EXPECT_FALSE(CopyToNewFile((folder / "missing.mdb").string(), (folder / "c.mdb").string()).ok());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(to.parent_path()), {}), 1);
  EXPECT_FALSE(std::filesystem::exists(folder / "c.mdb"));
}

}  // namespace
}  // namespace platform
