// A reporter environment whose clock, locale texts and program information
// the test sets, with a message box that records what it was shown (and
// what error.log held at that moment). Its program folder is usually a
// TempFolder.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "errors/reporter_environment.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace errors::testing {

// The error log in a fake's program folder.
inline std::filesystem::path ErrorLog(const tessaly::testing::TempFolder& folder) {
  return folder.path() / "error.log";
}

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
                     tessaly::testing::FileBytes(std::filesystem::path(app_path) / "error.log")});
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
