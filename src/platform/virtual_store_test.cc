// The VirtualStore path of a protected file.
#include "platform/virtual_store.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

constexpr std::string_view kLocal = "C:\\Users\\anna\\AppData\\Local";

TEST(VirtualStoreTest, MapsPathsBelowTheProtectedFolders) {
  struct Case {
    std::string_view path, expected;
  };
  for (const Case& c : {
           Case{"C:\\Program Files\\Tessaly Desktop Calendar\\tessdata.mdb",
                "C:\\Users\\anna\\AppData\\Local\\VirtualStore\\Program Files\\Tessaly Desktop "
                "Calendar\\tessdata.mdb"},
           Case{"c:\\PROGRAM FILES (X86)\\Tessaly\\t.mdb",
                "C:\\Users\\anna\\AppData\\Local\\VirtualStore\\PROGRAM FILES "
                "(X86)\\Tessaly\\t.mdb"},
           Case{"C:/Windows//tessdata.mdb",
                "C:\\Users\\anna\\AppData\\Local\\VirtualStore\\Windows\\tessdata.mdb"},
           Case{"\\\\?\\C:\\ProgramData\\Tessaly\\.\\t.mdb",
                "C:\\Users\\anna\\AppData\\Local\\VirtualStore\\ProgramData\\Tessaly\\t.mdb"},
           Case{"C:\\Users\\..\\Program Files\\t.mdb",
                "C:\\Users\\anna\\AppData\\Local\\VirtualStore\\Program Files\\t.mdb"},
           // Not virtualised: elsewhere, another drive, the folder itself, a
           // look-alike name, climbing out, relative and UNC paths.
           Case{"C:\\Users\\anna\\Documents\\tessdata.mdb", ""},
           Case{"D:\\Program Files\\Tessaly\\t.mdb", ""},
           Case{"C:\\Program Files", ""},
           Case{"C:\\Program Files Extra\\t.mdb", ""},
           Case{"C:\\Program Files\\..\\t.mdb", ""},
           Case{"Program Files\\t.mdb", ""},
           Case{"C:Program Files\\t.mdb", ""},
           Case{"\\\\server\\share\\Program Files\\t.mdb", ""},
           Case{"", ""},
       }) {
    EXPECT_EQ(VirtualStorePath(c.path, kLocal, UsualVirtualisedFolders()), c.expected) << c.path;
  }
}

TEST(VirtualStoreTest, FollowsTheFoldersAndTheLocalFolderGiven) {
  const std::vector<std::string> moved{"E:\\Apps\\"};
  EXPECT_EQ(VirtualStorePath("e:\\apps\\Tessaly\\t.mdb", "D:/Profiles/anna/Local/", moved),
            "D:\\Profiles\\anna\\Local\\VirtualStore\\apps\\Tessaly\\t.mdb");
  EXPECT_EQ(VirtualStorePath("C:\\Program Files\\t.mdb", kLocal, moved), "");
  EXPECT_EQ(VirtualStorePath("C:\\Program Files\\t.mdb", "", UsualVirtualisedFolders()), "");
  EXPECT_EQ(VirtualStorePath("C:\\t.mdb", kLocal, {"C:\\"}), "");  // never a whole drive
}

}  // namespace
}  // namespace platform
