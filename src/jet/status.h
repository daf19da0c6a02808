// The engine's one error type. Every operation that can fail returns a
// Status or a Result<T>; the engine throws no exceptions of its own.
//
// A corruption status names what was wrong and where (page number, what was
// read), so that a damaged file can be diagnosed from the message alone.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace jet {

enum class StatusCode {
  kOk = 0,
  kNotFound,         // no such table / column
  kCorruption,       // the file contradicts the format
  kIoError,          // the operating system refused (message keeps its text)
  kNotSupported,     // a real but unsupported format (.accdb, encrypted)
  kInvalidArgument,  // caller mistake
  kInvalidPassword,  // database password does not match
  kNotAnAccessFile,  // no Jet signature at all
  kConstraint,       // a change breaks a rule of the table (duplicate key, required column)
  kBusy,             // another program holds the database
  kSavedInLog,       // closing failed after the changes were saved in the log:
                     // the next open writes them into the database
};

class [[nodiscard]] Status {
 public:
  Status() = default;  // OK

  static Status OK() { return Status(); }
  // A failure Access numbers itself (6 overflow, 3075 a syntax error, ...).
  static Status Numbered(StatusCode code, int access_error, std::string msg) {
    Status s(code, std::move(msg));
    s.access_error_ = access_error;
    return s;
  }
  static Status NotFound(std::string msg) { return {StatusCode::kNotFound, std::move(msg)}; }
  static Status Corruption(std::string msg) { return {StatusCode::kCorruption, std::move(msg)}; }
  static Status IoError(std::string msg) { return {StatusCode::kIoError, std::move(msg)}; }
  static Status NotSupported(std::string msg) {
    return {StatusCode::kNotSupported, std::move(msg)};
  }
  static Status InvalidArgument(std::string msg) {
    return {StatusCode::kInvalidArgument, std::move(msg)};
  }
  static Status InvalidPassword() {
    return {StatusCode::kInvalidPassword, "Not a valid password."};
  }
  static Status NotAnAccessFile(std::string msg) {
    return {StatusCode::kNotAnAccessFile, std::move(msg)};
  }
  static Status Constraint(std::string msg) { return {StatusCode::kConstraint, std::move(msg)}; }
  // A refusal that Access reports with an error number of its own (3314 a
  // Null in a required column, 3201 no related record, ...); `msg` is its text.
  static Status Constraint(int access_error, std::string msg) {
    Status s(StatusCode::kConstraint, std::move(msg));
    s.access_error_ = access_error;
    return s;
  }
  static Status Busy(std::string msg) { return {StatusCode::kBusy, std::move(msg)}; }
  static Status SavedInLog(std::string msg) { return {StatusCode::kSavedInLog, std::move(msg)}; }

  bool ok() const { return code_ == StatusCode::kOk; }
  StatusCode code() const { return code_; }
  const std::string& message() const { return message_; }
  bool IsCorruption() const { return code_ == StatusCode::kCorruption; }
  bool IsNotFound() const { return code_ == StatusCode::kNotFound; }
  // Access's error number for a refusal it numbers itself; 0 for any other.
  int access_error() const { return access_error_; }

  // "Corruption: row offset out of range (page 12)" and the like; "OK" when ok.
  std::string ToString() const;
  // The same failure, `more` added to its message.
  Status Appended(const std::string& more) const { return Status(code_, message_ + more); }

 private:
  Status(StatusCode code, std::string message) : code_(code), message_(std::move(message)) {}

  StatusCode code_ = StatusCode::kOk;
  std::string message_;
  int access_error_ = 0;
};

// A value or the Status that explains its absence.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}          // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: must not be OK

  bool ok() const { return status_.ok(); }
  const Status& status() const { return status_; }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  Status status_;
  std::optional<T> value_;
};

}  // namespace jet

// Propagate a failed Status from the current function.
#define JET_RETURN_IF_ERROR(expr)              \
  do {                                         \
    ::jet::Status jet_status_ = (expr);        \
    if (!jet_status_.ok()) return jet_status_; \
  } while (0)
