// What went wrong in a call to the operating system. Every function in this
// folder reports failure through an Error: ok() when nothing went wrong,
// else a kind that callers act on and a message that names the operation,
// the file and the system's reason ("cannot write /x/a.mdb: No space left
// on device").
#pragma once

#include <string>
#include <utility>

namespace platform {

class [[nodiscard]] Error {
 public:
  enum class Kind {
    kNone,
    kBusy,            // a conflicting lock is held
    kExists,          // the name is taken
    kNotRegularFile,  // a folder, fifo or device where a file was wanted
    kOther,
  };

  Error() = default;
  Error(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

  bool ok() const { return kind_ == Kind::kNone; }
  Kind kind() const { return kind_; }
  const std::string& message() const { return message_; }

 private:
  Kind kind_ = Kind::kNone;
  std::string message_;
};

}  // namespace platform
