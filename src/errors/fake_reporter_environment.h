// Test support: a reporter environment whose clock, locale texts and program
// information the test sets, with a message box that records what it was
// shown (and what error.log held at that moment), and a temporary program
// folder that cleans up after itself.
#pragma once


#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "errors/reporter_environment.h"
#include "support/temp_folder.h"

namespace errors::testing {

// Reads a whole file as bytes; empty when it is not a readable plain file.
inline std::string ReadBytes(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return {};
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder under the system's temporary folder, removed with all its
// contents (permissions restored first) when the object goes.
class TempFolder {
 public:
  TempFolder() : path_(tessaly::testing::MakeTempFolder("errors_test")) {}
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path log() const { return path_ / "error.log"; }

 private:
  std::filesystem::path path_;
};

class FakeReporterEnvironment : public ReporterEnvironment {
 public:
  struct Box {
    std::string text;
    std::string title;
    int32_t style = 0;
    std::string log_when_shown;  // error.log's bytes while the box was up
  };

  explicit FakeReporterEnvironment(std::string app_path) : app_path(std::move(app_path)) {}

  void ShowMessage(std::string_view text, std::string_view title, int32_t style) override {
    if (throw_from_box) throw std::runtime_error("the box could not be shown");
    boxes.push_back({std::string(text), std::string(title), style,
                     ReadBytes(std::filesystem::path(app_path) / "error.log")});
  }
  LocalDateTime Now() override { return now; }
  std::string MonthAbbreviation(int month) override { return months.at(month - 1); }
  std::string TimeSeparator() override { return time_separator; }
  std::string ProductName() override { return product_name; }
  std::string ExeName() override { return exe_name; }
  std::string AppPath() override { return app_path; }
  std::string VirtualStoreTwin(const std::string& path) override {
    return twin ? twin(path) : std::string();
  }

  // "module line" of each message shown.
  std::vector<std::string> Reports() const {
    std::vector<std::string> reports;
    for (const Box& box : boxes) {
      const size_t module = box.text.find("Module: \t\t") + 10,
                   line = box.text.find("Number: \t") + 9;
      reports.push_back(box.text.substr(module, box.text.find('\r', module) - module) + " " +
                        box.text.substr(line, box.text.find('\r', line) - line));
    }
    return reports;
  }

  std::vector<Box> boxes;
  LocalDateTime now{2010, 3, 5, 21, 7, 3};
  std::vector<std::string> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string time_separator = ":";
  std::string product_name = "Tessaly Desktop Calendar";
  std::string exe_name = "CalendarUpdate";
  std::string app_path;
  std::function<std::string(const std::string&)> twin;  // none by default
  bool throw_from_box = false;
};

}  // namespace errors::testing
