// An open-file dialog with its answers given in advance, which
// records what Browse asked of it each time.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "wizard/open_file_dialog.h"

namespace wizard::testing {

class ScriptedDialog : public OpenFileDialog {
 public:
  std::string ShowOpen(const OpenFileSettings& settings) override {
    opened.push_back(settings);
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<std::string> answers;  // "" is Cancel
  std::vector<OpenFileSettings> opened;
};

}  // namespace wizard::testing
