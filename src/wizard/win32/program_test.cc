// What Windows learns about the program from its resources (the version
// information, the manifest's DPI awareness), and the system pieces the window
// relies on: the dialogs, the load check's lookup and the VirtualStore.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file_lookup.h"
#include "platform/known_folders.h"
#include "platform/system.h"
#include "platform/unicode_win32.h"
#include "platform/virtual_store.h"
#include "support/win32_window.h"
#include "wizard/virtual_store.h"
#include "wizard/win32/dialogs.h"
#include "wizard/win32/main_window.h"
#include "wizard/window_design.h"

namespace wizard::win32 {
namespace {

using testing::MakeFile;
using testing::TempFolder;
using testing::Utf8Path;

std::string VersionString(const std::string& block, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
    return {};
  return platform::Narrow(value);
}

// The manifest a program carries, as text.
std::string Manifest(const std::wstring& file) {
  HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return {};
  std::string text;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    if (bytes != nullptr) text.assign(bytes, SizeofResource(module, found));
  }
  FreeLibrary(module);
  return text;
}

TEST(ProgramTest, EveryProgramCarriesTheOneVersionAndAManifest) {
  EXPECT_EQ(platform::ProgramProductName(), "Tessaly Desktop Calendar");
  struct Case {
    std::string file, description;
    bool window;
  };
  const std::string bin = std::string(TESSALY_BIN_DIR) + "/";
  for (const Case& c :
       {Case{bin + "tessaly-update.exe", "Database update for 2010", true},
        Case{bin + "tessaly-update-cli.exe", "Database update for 2010, batch form", false},
        Case{bin + "jetdb.exe", "Access database tool", false}}) {
    SCOPED_TRACE(c.file);
    const std::wstring file = platform::Widen(c.file);
    DWORD ignored = 0;
    std::string block(GetFileVersionInfoSizeW(file.c_str(), &ignored), '\0');
    ASSERT_TRUE(
        GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    EXPECT_EQ(VersionString(block, L"FileDescription"), c.description);
    EXPECT_EQ(VersionString(block, L"FileVersion"), "1.00.0011");
    EXPECT_EQ(VersionString(block, L"ProductVersion"), "1.00.0011");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 11u);
    const std::string manifest = Manifest(file);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("version=\"1.0.0.11\""), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("<dpiAware") != std::string::npos, c.window) << manifest;
  }
}

TEST(ProgramTest, ManifestMakesTheProcessDpiAware) { EXPECT_TRUE(IsProcessDPIAware()); }

TEST(DialogsTest, OpenFileDialogAsksForOneExistingMdbFile) {
  EXPECT_EQ(kOpenFileFlags, 0x81000u);
  EXPECT_EQ(OpenFileFilter("Database Files (*.mdb)", "*.mdb"),
            std::wstring(L"Database Files (*.mdb)\0*.mdb\0\0", 30));

  TempFolder folder;
  MakeFile(folder, "chosen.mdb");
  std::string title;
  testing::NextDialog answer([&](HWND dialog) {
    title = testing::WindowText(dialog);
    // A bare name: found in the folder the dialog starts in.
    for (int box : {0x047c, 0x0480})  // the file-name box: a combo box, or an edit
      SetDlgItemTextW(dialog, box, L"chosen.mdb");
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  Win32OpenFileDialog open;
  const OpenFileSettings settings = DatabaseDialogSettings(Utf8Path(folder), "");
  EXPECT_EQ(open.ShowOpen(settings), Utf8Path(folder) + "\\chosen.mdb");
  EXPECT_EQ(title, "Select Tessaly Database File");
}

TEST(DialogsTest, MessageBoxShowsTheReportUnderItsTitle) {
  std::string title, text;
  testing::NextDialog answer([&](HWND box) {
    title = testing::WindowText(box);
    text = testing::WindowText(GetDlgItem(box, 0xffff));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  Win32ReporterEnvironment reporter;
  reporter.ShowMessage("An error has occurred.\r\n\r\nModule: \t\tfrmMain.Update\r\n",
                       "Application Error", errors::kInformation);
  EXPECT_EQ(title, "Application Error");
  EXPECT_NE(text.find("frmMain.Update"), std::string::npos) << text;
}

TEST(FileLookupTest, ListsOrdinaryFilesOnly) {
  TempFolder folder;
  struct Case {
    std::string path;
    platform::Lookup expected;
  };
  const std::string plain = MakeFile(folder, "plain.mdb");
  for (const Case& c : {
           Case{plain, platform::Lookup::kOrdinaryFile},
           Case{MakeFile(folder, "readonly.mdb", FILE_ATTRIBUTE_READONLY),
                platform::Lookup::kOrdinaryFile},
           Case{MakeFile(folder, "archived.mdb", FILE_ATTRIBUTE_ARCHIVE),
                platform::Lookup::kOrdinaryFile},
           Case{MakeFile(folder, "hidden.mdb", FILE_ATTRIBUTE_HIDDEN),
                platform::Lookup::kNotListed},
           Case{MakeFile(folder, "system.mdb", FILE_ATTRIBUTE_SYSTEM),
                platform::Lookup::kNotListed},
           Case{Utf8Path(folder), platform::Lookup::kNotListed},
           Case{Utf8Path(folder) + "\\missing.mdb", platform::Lookup::kNotListed},
           Case{Utf8Path(folder) + "\\missing\\t.mdb", platform::Lookup::kNotListed},
           Case{"", platform::Lookup::kNotListed},
           Case{Utf8Path(folder) + "\\a|b.mdb", platform::Lookup::kBadName},
       }) {
    EXPECT_EQ(platform::LookUpFile(c.path), c.expected) << c.path;
  }
}

// The calendar's database under Program Files and, written by the calendar
// itself, the user's VirtualStore copy of it. Removed again afterwards.
class VirtualStoreOnWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string local = platform::LocalAppDataFolder();
    ASSERT_FALSE(local.empty());
    copy_ =
        platform::VirtualStorePath(kWindowsDefaultDatabase, local, platform::VirtualisedFolders());
    ASSERT_EQ(copy_,
              local + "\\VirtualStore\\Program Files\\Tessaly Desktop Calendar\\tessdata.mdb");
    ASSERT_FALSE(std::filesystem::exists(Path(kWindowsDefaultDatabase)))
        << "a real calendar in this prefix; not touching it";
    ASSERT_FALSE(std::filesystem::exists(Path(copy_)));
  }
  void TearDown() override {
    for (const std::string& file : made_) {
      std::error_code ignored;
      std::filesystem::remove(Path(file), ignored);
      std::filesystem::remove(Path(file).parent_path(), ignored);
    }
  }
  static std::filesystem::path Path(std::string_view utf8) { return platform::Widen(utf8); }
  void Make(const std::string& file) {
    std::filesystem::create_directories(Path(file).parent_path());
    HANDLE handle = CreateFileW(Path(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << file;
    CloseHandle(handle);
    made_.push_back(file);
  }

  std::string copy_;
  std::vector<std::string> made_;
};

TEST_F(VirtualStoreOnWindowsTest, TheWindowUpdatesTheCopyWhenThereIsOne) {
  const std::string installed(kWindowsDefaultDatabase);
  const TempFolder program_folder;
  testing::RecordingEnvironment environment(Utf8Path(program_folder));
  errors::ScopedReporterEnvironment scope(environment);
  testing::ScriptedDialog dialog;
  struct Case {
    bool installed, copied;
    std::string expected;
  };
  for (const Case& c : {Case{false, false, ""}, Case{true, false, installed},
                        Case{true, true, copy_}, Case{false, true, copy_}}) {
    if (c.installed && !std::filesystem::exists(Path(installed))) Make(installed);
    if (!c.installed) std::filesystem::remove(Path(installed));
    if (c.copied && !std::filesystem::exists(Path(copy_))) Make(copy_);
    MainWindow window(installed, dialog);
    window.Form_Load();
    EXPECT_EQ(window.strDatabaseFile(), c.expected) << c.installed << c.copied;
    EXPECT_EQ(platform::LookUpFile(window.strDatabaseFile()) == platform::Lookup::kOrdinaryFile,
              !c.expected.empty());
    EXPECT_EQ(PreferVirtualStoreCopy(installed), c.copied ? copy_ : installed);

    dialog.answers = {installed};  // chosen in the dialog: the copy all the same
    window.cmdBrowse_Click();
    EXPECT_EQ(window.strDatabaseFile(), c.copied ? copy_ : installed);
  }
  EXPECT_TRUE(environment.boxes.empty());
}

}  // namespace
}  // namespace wizard::win32
