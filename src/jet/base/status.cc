#include "jet/status.h"

namespace jet {

std::string Status::ToString() const {
  const char* kind = "OK";
  switch (code_) {
    case StatusCode::kOk: return "OK";
    case StatusCode::kNotFound: kind = "Not found"; break;
    case StatusCode::kCorruption: kind = "Corruption"; break;
    case StatusCode::kIoError: kind = "I/O error"; break;
    case StatusCode::kNotSupported: kind = "Not supported"; break;
    case StatusCode::kInvalidArgument: kind = "Invalid argument"; break;
    case StatusCode::kInvalidPassword: kind = "Invalid password"; break;
    case StatusCode::kNotAnAccessFile: kind = "Not an Access file"; break;
    case StatusCode::kConstraint: kind = "Constraint"; break;
    case StatusCode::kBusy: kind = "Busy"; break;
    case StatusCode::kSavedInLog: kind = "Saved, not finished"; break;
  }
  return std::string(kind) + ": " + message_;
}

}  // namespace jet
