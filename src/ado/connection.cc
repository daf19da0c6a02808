// Opening an Access file by connection string, and running statements on
// it; see connection.h.
#include "ado/connection.h"

#include "ado/connection_string.h"
#include "ado/error_numbers.h"
#include "errors/guard.h"
#include "errors/runtime_error.h"
#include "platform/path.h"
#include "strings/ascii.h"

namespace ado {
namespace {

constexpr const char* kEngineSource = "Access file engine";
constexpr const char* kSqlSource = "Access SQL";

// The driver names under which Windows offers the Access driver.
bool IsAccessDriver(std::string_view driver) {
  while (!driver.empty() && driver.front() == ' ') driver.remove_prefix(1);
  while (!driver.empty() && driver.back() == ' ') driver.remove_suffix(1);
  return strings::AsciiEqualsNoCase(driver, "Microsoft Access Driver (*.mdb)") ||
         strings::AsciiEqualsNoCase(driver, "Microsoft Access Driver (*.mdb, *.accdb)");
}

// The description of a failed open of `path`, by what the engine found.
Error OpenFailure(const std::string& path, const jet::Status& status) {
  const std::string quoted = "'" + path + "'";
  switch (status.code()) {
    case jet::StatusCode::kNotAnAccessFile:
      return {kProviderGeneralFailure,
              "Unrecognized database format " + quoted + ": " + status.message() + ".",
              kEngineSource};
    case jet::StatusCode::kNotSupported:
      return {
          kProviderGeneralFailure,
          "The database " + quoted + " cannot be opened for updating: " + status.message() + ".",
          kEngineSource};
    case jet::StatusCode::kBusy:
      return {kProviderGeneralFailure,
              "Could not use " + quoted + "; file already in use by another program.",
              kEngineSource};
    case jet::StatusCode::kInvalidPassword:
      return {kProviderAuthenticationFailed,
              "Not a valid password for the database " + quoted + ".", kEngineSource};
    case jet::StatusCode::kCorruption:
      return {kProviderGeneralFailure,
              "The database " + quoted + " is damaged: " + status.message() + ".", kEngineSource};
    default:
      return {kProviderGeneralFailure,
              "Could not open the database " + quoted + ": " + status.message() + ".",
              kEngineSource};
  }
}

[[noreturn]] void ThrowKnown(const errors::KnownError& error) { throw errors::RuntimeError(error); }

std::function<void(std::string_view)>& StatementTrace() {
  static std::function<void(std::string_view)> trace;
  return trace;
}

jet::FileSystem*& FileSystemInUse() {
  static jet::FileSystem* files = nullptr;
  return files;
}

bool IsTextCommand(int32_t options) {
  const int32_t command_type =
      options == adCmdUnspecified ? options : options & ~adExecuteNoRecords;
  return command_type == adCmdUnspecified || command_type == adCmdText ||
         command_type == adCmdUnknown;
}

}  // namespace

void SetStatementTrace(std::function<void(std::string_view statement)> trace) {
  StatementTrace() = std::move(trace);
}

void SetFileSystem(jet::FileSystem* files) { FileSystemInUse() = files; }

const Error& ErrorList::Item(int32_t index) const {
  if (index < 0 || index >= Count()) ThrowKnown(kItemNotFound);
  return errors_[static_cast<size_t>(index)];
}

// Records a provider failure and throws it (A1).
[[noreturn]] static void Fail(ErrorList& errors, Error error) {
  errors.Clear();
  errors.Append(error);
  throw errors::RuntimeError(error.number, std::move(error.description));
}

Connection::Connection() = default;

Connection::~Connection() {
  if (!session_) return;
  // What the statements did stays done (A6); no caller is left to catch a
  // failure to write it, so it is reported here, once.
  const jet::Status status = Finish();
  if (!status.ok()) {
    errors::Guarded(kReleaseModule, [&] {
      Fail(errors_, {kProviderGeneralFailure,
                     status.code() == jet::StatusCode::kSavedInLog
                         ? "The database '" + path_ +
                               "' was saved but not finished when its connection was released: " +
                               status.message() + "."
                         : "The database '" + path_ +
                               "' could not be written when its connection was released: " +
                               status.message() + ".",
                     kEngineSource});
    });
  }
}

jet::Status Connection::Finish() {
  session_.reset();
  jet::Status status = db_->Commit();
  const jet::Status closed = db_->Close();
  if (status.ok()) status = closed;
  db_.reset();
  return status;
}

void Connection::Open(std::string_view connection_string, std::string_view user_id,
                      std::string_view password, int32_t options) {
  if (session_) ThrowKnown(kObjectOpen);
  if (options != adConnectUnspecified && options != 0) ThrowKnown(kBadArgument);
  connection_string_ = std::string(connection_string);
  const ado::ConnectionString parsed = ado::ConnectionString::Parse(connection_string);

  const std::optional<std::string> driver = parsed.Get("Driver");
  if (!driver) {
    const std::optional<std::string> dsn = parsed.Get("DSN");
    Fail(errors_, {kProviderGeneralFailure,
                   dsn ? "Data source name not found and no default driver specified: the data "
                         "source '" +
                             *dsn +
                             "' is not known; name the file with "
                             "Driver={Microsoft Access Driver (*.mdb)} and Dbq"
                       : "Data source name not found and no default driver specified: the "
                         "connection string names no Driver",
                   kEngineSource});
  }
  if (!IsAccessDriver(*driver)) {
    Fail(errors_, {kProviderGeneralFailure,
                   "Data source name not found and no default driver specified: the driver '" +
                       *driver + "' is not available; only the Microsoft Access Driver (*.mdb) is",
                   kEngineSource});
  }

  std::optional<std::string> dbq = parsed.Get("Dbq");
  if (!dbq || dbq->empty()) {
    Fail(errors_, {kProviderGeneralFailure,
                   dbq ? "The connection string names no database file: Dbq is empty"
                       : "The connection string names no database file: there is no Dbq",
                   kEngineSource});
  }
  std::string file = *dbq;
  if (platform::IsRelativePath(file)) {
    if (std::optional<std::string> default_dir = parsed.Get("DefaultDir");
        default_dir && !default_dir->empty()) {
      file = platform::JoinPath(*default_dir, file);
    }
  }

  const std::string user = !user_id.empty() ? std::string(user_id) : parsed.Get("Uid").value_or("");
  if (!user.empty() && !strings::AsciiEqualsNoCase(user, "admin")) {
    Fail(errors_, {kProviderAuthenticationFailed,
                   "Not a valid account name or password: the user '" + user +
                       "' does not exist; an Access file without a workgroup knows only admin",
                   kEngineSource});
  }

  const platform::PathType type = platform::TypeOf(file);
  if (type == platform::PathType::kNotFound) {
    Fail(errors_, {kProviderGeneralFailure, "Could not find file '" + file + "'.", kEngineSource});
  }
  if (type == platform::PathType::kFolder) {
    Fail(errors_, {kProviderGeneralFailure, "'" + file + "' is a folder, not a database file.",
                   kEngineSource});
  }

  jet::OpenOptions open_options;
  open_options.password =
      !password.empty() ? std::string(password) : parsed.Get("Pwd").value_or("");
  open_options.read_only = false;
  open_options.file_system = FileSystemInUse();
  jet::Result<std::unique_ptr<jet::Database>> db = jet::Database::Open(file, open_options);
  if (!db.ok()) Fail(errors_, OpenFailure(file, db.status()));
  db_ = std::move(db).value();
  // The connection's one unit (A5).
  if (const jet::Status begun = db_->Begin(); !begun.ok()) {
    db_.reset();
    Fail(errors_, OpenFailure(file, begun));
  }
  session_ = std::make_unique<sql::Session>(*db_);
  path_ = file;
}

void Connection::Execute(std::string_view command_text, int32_t options) {
  if (!session_) ThrowKnown(kConnectionUnusable);
  if (!IsTextCommand(options)) ThrowKnown(kBadArgument);
  (void)Run(command_text);
}

void Connection::Close() {
  if (!session_) ThrowKnown(kObjectClosed);
  const jet::Status status = Finish();
  saved_ = status.code() == jet::StatusCode::kSavedInLog;
  if (saved_) {
    Fail(errors_, {kProviderGeneralFailure,
                   "The database '" + path_ +
                       "' was saved but not finished when it was closed: " + status.message() + ".",
                   kEngineSource});
  }
  if (!status.ok()) {
    Fail(errors_, {kProviderGeneralFailure,
                   "The database '" + path_ +
                       "' could not be written when it was closed: " + status.message() + ".",
                   kEngineSource});
  }
}

sql::Outcome Connection::Run(std::string_view statement) {
  if (StatementTrace()) StatementTrace()(statement);
  sql::Outcome outcome;
  sql::Error error;
  if (!session_->Execute(statement, &outcome, &error)) {
    if (error.description.empty()) {
      error.description = "The statement failed: " + std::string(statement);
    }
    Fail(errors_, {ProviderNumber(error.kind), std::move(error.description), kSqlSource});
  }
  return outcome;
}

}  // namespace ado
