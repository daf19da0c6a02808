// The VirtualStore path of a protected file, and when its copy is preferred.
#include "wizard/virtual_store.h"

#include <gtest/gtest.h>

namespace wizard {
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
                "C:\\Users\\anna\\AppData\\Local\\VirtualStore\\PROGRAM FILES (X86)\\Tessaly\\t.mdb"},
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

TEST(VirtualStoreTest, PrefersTheCopyOnlyWhenItExists) {
  const std::string protected_file = "C:\\Program Files\\Tessaly Desktop Calendar\\tessdata.mdb";
  const std::string copy =
      "C:\\Users\\anna\\AppData\\Local\\VirtualStore\\Program Files\\Tessaly Desktop "
      "Calendar\\tessdata.mdb";
  const std::string elsewhere = "D:\\Backups\\tessdata.mdb";
  struct Case {
    std::string path;
    bool copy_exists;
    std::string expected;
  };
  for (const Case& c : {Case{protected_file, true, copy}, Case{protected_file, false, protected_file},
                        Case{elsewhere, true, elsewhere}}) {
    std::vector<std::string> asked;
    const std::string chosen = PreferVirtualStoreCopy(
        c.path, kLocal, UsualVirtualisedFolders(), [&](const std::string& candidate) {
          asked.push_back(candidate);
          return c.copy_exists;
        });
    EXPECT_EQ(chosen, c.expected) << c.path;
    EXPECT_EQ(asked, c.path == elsewhere ? std::vector<std::string>{} : std::vector{copy});
  }
}

}  // namespace
}  // namespace wizard
