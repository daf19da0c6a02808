// jetdb: inspect an Access (.mdb) database with our own file engine.
//
//   jetdb tables FILE                          user table names, one a line
//   jetdb schema FILE [TABLE]                  columns and indexes
//   jetdb export FILE TABLE [--format F]       rows as JSON lines or CSV
//   jetdb check FILE                           structural check
//   jetdb import FILE TABLE [--format F] [IN]  add rows read from IN (default:
//                                              standard input) in one unit
//   jetdb sql FILE [STATEMENT...]              run SQL statements in order
//                                              (default: one a line from
//                                              standard input)
//   jetdb create [--format jet3|jet4] FILE [SQL-FILE]
//                                              make a new, empty Access 2000
//                                              (jet4) or Access 97 (jet3)
//                                              database, then run the CREATE
//                                              statements of SQL-FILE (default:
//                                              standard input), all or nothing
//
// Exit codes: 0 ok, 1 failure (unreadable file, unknown table, problems
// found by check, a row import refused, a statement failed), 2 bad usage,
// 3 saved but not finished: the changes could not all be written into the
// file when it was closed, but are saved in its log beside it, and the next
// open of the file (by jetdb or the update) writes them in; running the
// command again would make them twice. After a failure to write at close
// (exit status 1) nothing of the changes was written.
// Errors go to standard error. Only import, sql and create open a file for
// writing; import adds every row or none, sql keeps each statement that
// succeeded before the first that failed.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "jet/database.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "sql/ddl.h"
#include "sql/session.h"
#include "tools/jetdb/format.h"
#include "tools/jetdb/parse.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSaved = 3;

// Rows are formatted into one buffer and handed to stdio in pieces of about
// this size, so that a large export makes a few hundred writes, not one per row.
constexpr size_t kFlushBytes = 1 << 20;
// Export writes its buffer straight to the descriptor each time it holds this
// much: few writes, and a buffer small enough to stay in the processor's
// cache rather than a megabyte of fresh memory touched once.
constexpr size_t kExportFlushBytes = 64 << 10;

int Fail(const std::string& file, const std::string& what) {
  fmt::print(stderr, "jetdb: {}: {}{}", file, what, platform::kLineEnd);
  return kExitFailure;
}

// A failure to close a file opened for writing, which either wrote nothing
// or saved the changes for the next open to finish.
int CloseFailed(const std::string& file, const jet::Status& status) {
  if (status.code() != jet::StatusCode::kSavedInLog) return Fail(file, status.ToString());
  fmt::print(stderr, "jetdb: {}: saved but not finished: {}{}", file, status.message(),
             platform::kLineEnd);
  return kExitSaved;
}

// Text put together here ends its lines in LF, written as the system ends
// them; rows come from the formatter with their line ends already.
bool WriteOut(std::string* buffer) {
  if (platform::kLineEnd != "\n") *buffer = platform::WithLineEnds(*buffer);
  if (!buffer->empty() &&
      std::fwrite(buffer->data(), 1, buffer->size(), stdout) != buffer->size()) {
    return false;
  }
  buffer->clear();
  return true;
}

bool FinishOutput(std::string* buffer) {
  return WriteOut(buffer) && std::fflush(stdout) == 0 && !std::ferror(stdout);
}

bool WriteOut(jetdb::OutputBuffer* buffer) {
  if (!buffer->empty() &&
      std::fwrite(buffer->view().data(), 1, buffer->size(), stdout) != buffer->size()) {
    return false;
  }
  buffer->clear();
  return true;
}

bool FinishOutput(jetdb::OutputBuffer* buffer) {
  return WriteOut(buffer) && std::fflush(stdout) == 0 && !std::ferror(stdout);
}

jet::Result<std::unique_ptr<jet::Database>> OpenDatabase(const std::string& file,
                                                         const std::string& password) {
  jet::OpenOptions options;
  options.password = password;
  options.read_only = true;
  return jet::Database::Open(file, options);
}

int RunTables(const std::string& file, const std::string& password) {
  auto db = OpenDatabase(file, password);
  if (!db.ok()) return Fail(file, db.status().ToString());
  auto names = (*db)->UserTableNames();
  if (!names.ok()) return Fail(file, names.status().ToString());
  std::string out;
  for (const std::string& name : *names) {
    out.append(name);
    out.push_back('\n');
  }
  return FinishOutput(&out) ? kExitOk : Fail(file, "cannot write to standard output");
}

// Size as a designer sees it: characters for text, bytes for the rest,
// precision and scale for Numeric, nothing for Memo and OLE.
std::string DesignSize(const jet::ColumnDef& column, jet::JetVersion version) {
  switch (column.type) {
    case jet::ColumnType::kText:
      return fmt::format("{}",
                         version == jet::JetVersion::kJet4 ? column.length / 2 : column.length);
    case jet::ColumnType::kMemo:
    case jet::ColumnType::kOle: return "";
    case jet::ColumnType::kNumeric: return fmt::format("{},{}", column.precision, column.scale);
    default: return fmt::format("{}", column.length);
  }
}

std::string IndexDescription(const jet::IndexDef& index) {
  std::vector<std::string> traits;
  if (index.IsPrimaryKey()) traits.emplace_back("primary key");
  if (index.IsForeignKey()) traits.emplace_back("foreign key");
  if (index.IsUnique()) traits.emplace_back("unique");
  if (index.IgnoresNulls()) traits.emplace_back("ignore nulls");
  if (index.IsRequired()) traits.emplace_back("required");
  std::vector<std::string> columns;
  for (const jet::IndexColumnDef& column : index.columns) {
    columns.push_back(fmt::format("{} {}", column.column_name, column.ascending ? "ASC" : "DESC"));
  }
  return fmt::format("({}){}{}", fmt::join(columns, ", "), traits.empty() ? "" : "  ",
                     fmt::join(traits, ", "));
}

void AppendSchema(const jet::TableDef& table, jet::JetVersion version, std::string* out) {
  fmt::format_to(std::back_inserter(*out), "Table {}\n  Rows: {}\n", table.name, table.row_count);
  const bool has_autonumber =
      std::any_of(table.columns.begin(), table.columns.end(),
                  [](const jet::ColumnDef& c) { return c.IsLongAutoNumber(); });
  if (has_autonumber) {
    fmt::format_to(std::back_inserter(*out), "  Last AutoNumber: {}\n", table.autonumber_last);
  }

  struct Line {
    std::string name, type, size, nulls, autonumber;
  };
  std::vector<Line> lines;
  lines.push_back({"Name", "Type", "Size", "Null", "AutoNumber"});
  // A column is NOT NULL by design (Required), by type (Yes/No lives in the
  // null mask), or as a key column of a primary key or required index.
  std::vector<uint16_t> key_columns;
  for (const jet::IndexDef& index : table.indexes) {
    if (!index.IsPrimaryKey() && !index.IsRequired()) continue;
    for (const jet::IndexColumnDef& column : index.columns)
      key_columns.push_back(column.column_number);
  }
  for (const jet::ColumnDef& column : table.columns) {
    const bool not_null = column.required || column.type == jet::ColumnType::kBoolean ||
                          std::find(key_columns.begin(), key_columns.end(), column.column_number) !=
                              key_columns.end();
    lines.push_back({column.name, jet::ColumnTypeName(column.type), DesignSize(column, version),
                     not_null ? "NOT NULL" : "NULL",
                     column.IsGuidAutoNumber()   ? "GUID"
                     : column.IsLongAutoNumber() ? "yes"
                                                 : ""});
  }
  size_t name_width = 0, type_width = 0, size_width = 0, null_width = 0;
  for (const Line& line : lines) {
    name_width = std::max(name_width, line.name.size());
    type_width = std::max(type_width, line.type.size());
    size_width = std::max(size_width, line.size.size());
    null_width = std::max(null_width, line.nulls.size());
  }
  out->append("  Columns:\n");
  for (const Line& line : lines) {
    std::string text =
        fmt::format("    {:<{}}  {:<{}}  {:>{}}  {:<{}}  {}", line.name, name_width, line.type,
                    type_width, line.size, size_width, line.nulls, null_width, line.autonumber);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out->append(text);
    out->push_back('\n');
  }
  out->append("  Indexes:");
  if (table.indexes.empty()) out->append(" none");
  out->push_back('\n');
  size_t index_width = 0;
  for (const jet::IndexDef& index : table.indexes)
    index_width = std::max(index_width, index.name.size());
  for (const jet::IndexDef& index : table.indexes) {
    fmt::format_to(std::back_inserter(*out), "    {:<{}}  {}\n", index.name, index_width,
                   IndexDescription(index));
  }
}

int RunSchema(const std::string& file, const std::string& password, const std::string& table_name) {
  auto db = OpenDatabase(file, password);
  if (!db.ok()) return Fail(file, db.status().ToString());
  std::vector<std::string> names;
  if (table_name.empty()) {
    auto all = (*db)->UserTableNames();
    if (!all.ok()) return Fail(file, all.status().ToString());
    names = std::move(*all);
  } else {
    names.push_back(table_name);
  }
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    auto table = (*db)->GetTable(names[i]);
    if (!table.ok()) {
      if (!FinishOutput(&out)) return Fail(file, "cannot write to standard output");
      return Fail(file, table.status().ToString());
    }
    if (i != 0) out.push_back('\n');
    AppendSchema(*table, (*db)->info().version, &out);
  }
  return FinishOutput(&out) ? kExitOk : Fail(file, "cannot write to standard output");
}

int RunExport(const std::string& file, const std::string& password, const std::string& table_name,
              jetdb::OutputFormat format) {
  auto db = OpenDatabase(file, password);
  if (!db.ok()) return Fail(file, db.status().ToString());
  auto table = (*db)->GetTable(table_name);
  if (!table.ok()) return Fail(file, table.status().ToString());
  auto cursor = (*db)->Scan(*table);
  if (!cursor.ok()) return Fail(file, cursor.status().ToString());

  const jetdb::RowFormatter formatter(format, *table);
  // The buffer is ours; stdio's own would only copy it again.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  jetdb::OutputBuffer out;
  out.Reserve(2 * kExportFlushBytes);
  formatter.AppendHeader(&out);
  jet::Row row;
  jet::Status status;
  while ((*cursor)->Next(&row, &status)) {
    formatter.AppendRow(row, &out);
    if (out.size() >= kExportFlushBytes && !WriteOut(&out)) {
      return Fail(file, "cannot write to standard output");
    }
  }
  // Rows read before a failure are still written: they are correct, and they
  // show how far the scan got.
  if (!FinishOutput(&out)) return Fail(file, "cannot write to standard output");
  if (!status.ok()) return Fail(file, fmt::format("table {}: {}", table->name, status.ToString()));
  return kExitOk;
}

int RunCheck(const std::string& file, const std::string& password) {
  auto db = OpenDatabase(file, password);
  if (!db.ok()) return Fail(file, db.status().ToString());
  std::vector<std::string> notes;
  auto problems = (*db)->Check(&notes);
  if (!problems.ok()) return Fail(file, problems.status().ToString());
  std::string out;
  for (const std::string& problem : *problems) {
    out.append(problem);
    out.push_back('\n');
  }
  if (problems->empty()) out.append("No problems found.\n");
  // Notes are no problems: they leave the exit status alone.
  for (const std::string& note : notes) out.append("Note: " + note + "\n");
  if (!FinishOutput(&out)) return Fail(file, "cannot write to standard output");
  if (!problems->empty()) {
    return Fail(file, fmt::format("{} problem{} found", problems->size(),
                                  problems->size() == 1 ? "" : "s"));
  }
  return kExitOk;
}

// Reads all of `path` ("-": standard input) into *text.
bool ReadInput(const std::string& path, std::string* text, std::string* why) {
  std::FILE* in = path == "-" ? stdin : platform::OpenStdioFile(path, "rb");
  if (in == nullptr) {
    *why = std::strerror(errno);
    return false;
  }
  char buffer[1 << 16];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) text->append(buffer, n);
  const bool failed = std::ferror(in) != 0;
  if (failed) *why = std::strerror(errno);
  if (in != stdin) std::fclose(in);
  return !failed;
}

// All rows go into one unit: a row that cannot be read or inserted rolls
// back every row before it, so the file is left as it was.
int RunImport(const std::string& file, const std::string& password, const std::string& table_name,
              jetdb::OutputFormat format, const std::string& input_path) {
  const std::string input_name = input_path == "-" ? "standard input" : input_path;
  // The input is read before the database is opened: a missing input file
  // takes no lock and changes nothing.
  std::string input;
  std::string why;
  if (!ReadInput(input_path, &input, &why)) return Fail(input_name, "cannot read: " + why);

  jet::OpenOptions options;
  options.password = password;
  options.read_only = false;
  auto db = jet::Database::Open(file, options);
  if (!db.ok()) return Fail(file, db.status().ToString());
  auto table = (*db)->GetTable(table_name);
  if (!table.ok()) return Fail(file, table.status().ToString());

  const auto give_up = [&](const std::string& what) {
    (*db)->Rollback();
    const jet::Status closed = (*db)->Close();
    fmt::print(stderr, "jetdb: {}: {}{}", input_name, what, platform::kLineEnd);
    if (!closed.ok()) Fail(file, closed.ToString());
    return kExitFailure;
  };
  jetdb::RecordSplitter splitter(format, input);
  jetdb::RowParser parser(format, *table);
  if (const jet::Status status = (*db)->Begin(); !status.ok()) return give_up(status.ToString());
  std::string_view record;
  size_t line_number = 0;
  if (format == jetdb::OutputFormat::kCsv && splitter.Next(&record, &line_number)) {
    const jet::Status status = parser.ReadCsvHeader(record);
    if (!status.ok()) return give_up(fmt::format("line {}: {}", line_number, status.message()));
  }
  jet::Row row;
  size_t rows = 0;
  while (splitter.Next(&record, &line_number)) {
    if (const jet::Status status = parser.ParseRow(record, &row); !status.ok()) {
      return give_up(fmt::format("line {}: {}", line_number, status.message()));
    }
    auto inserted = (*db)->Insert(*table, row.values, parser.named());
    if (!inserted.ok()) {
      // The engine's message names the table and the column or index.
      return give_up(fmt::format("line {}: {}", line_number, inserted.status().message()));
    }
    ++rows;
  }
  if (const jet::Status status = (*db)->Commit(); !status.ok()) {
    return give_up(fmt::format("table {}: {}", table->name, status.ToString()));
  }
  if (const jet::Status status = (*db)->Close(); !status.ok()) return CloseFailed(file, status);
  std::string out =
      fmt::format("{} row{} imported into {}\n", rows, rows == 1 ? "" : "s", table->name);
  return FinishOutput(&out) ? kExitOk : Fail(file, "cannot write to standard output");
}

// Runs statements on one session, in order. SELECT rows go out as JSON
// lines, keys in result column order; SELECT @@IDENTITY as {"Expr1000":N}.
// Statement N is the Nth argument, or line N of standard input (blank lines
// are skipped but counted).
int RunSql(const std::string& file, const std::string& password,
           std::vector<std::string> statements) {
  bool from_input = statements.empty();
  if (from_input) {
    std::string input;
    std::string why;
    if (!ReadInput("-", &input, &why)) return Fail("standard input", "cannot read: " + why);
    size_t start = 0;
    while (start < input.size()) {
      size_t end = input.find('\n', start);
      if (end == std::string::npos) end = input.size();
      std::string line = input.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      statements.push_back(std::move(line));
      start = end + 1;
    }
  }
  jet::OpenOptions options;
  options.password = password;
  options.read_only = false;
  auto db = jet::Database::Open(file, options);
  if (!db.ok()) return Fail(file, db.status().ToString());
  sql::Session session(**db);
  std::string out;
  for (size_t i = 0; i < statements.size(); ++i) {
    if (from_input && statements[i].find_first_not_of(" \t") == std::string::npos) continue;
    sql::Outcome outcome;
    sql::Error error;
    if (!session.Execute(statements[i], &outcome, &error)) {
      FinishOutput(&out);
      fmt::print(stderr, "statement {}: {}{}", i + 1, error.description, platform::kLineEnd);
      const jet::Status closed = (*db)->Close();
      if (!closed.ok()) CloseFailed(file, closed);
      return kExitFailure;
    }
    if (!outcome.has_rows) continue;
    jet::TableDef shape;
    shape.columns = outcome.result.columns;
    const jetdb::RowFormatter formatter(jetdb::OutputFormat::kJsonLines, shape);
    for (const jet::Row& row : outcome.result.rows) {
      formatter.AppendRow(row, &out);
      if (out.size() >= kFlushBytes && !WriteOut(&out))
        return Fail(file, "cannot write to standard output");
    }
  }
  if (const jet::Status closed = (*db)->Close(); !closed.ok()) {
    FinishOutput(&out);
    return CloseFailed(file, closed);
  }
  return FinishOutput(&out) ? kExitOk : Fail(file, "cannot write to standard output");
}

// A new database with the tables of `sql_path`; on any failure no file is left.
int RunCreate(const std::string& file, const std::string& sql_path, const std::string& format) {
  std::string script;
  std::string why;
  if (!ReadInput(sql_path, &script, &why)) {
    return Fail(sql_path == "-" ? "standard input" : sql_path, "cannot read: " + why);
  }
  jet::CreateOptions options;
  options.version = format == "jet3" ? jet::JetVersion::kJet3 : jet::JetVersion::kJet4;
  auto db = jet::Database::Create(file, options);
  if (!db.ok()) return Fail(file, db.status().ToString());
  sql::Error error;
  size_t failed = 0;
  if (!sql::RunDdlScript(**db, script, &error, &failed)) {
    fmt::print(stderr, "statement {}: {}{}", failed, error.description, platform::kLineEnd);
    (void)(*db)->Close();
    jet::Database::Discard(file);
    return kExitFailure;
  }
  if (const jet::Status closed = (*db)->Close(); !closed.ok()) {
    // The new file goes with whatever its log holds.
    jet::Database::Discard(file);
    return Fail(file, closed.ToString());
  }
  return kExitOk;
}

// What the command line names, as the parser fills it in.
struct Arguments {
  std::string file;
  std::string table_name;
  std::string password;
  std::string format_name = "jsonl";    // export, import
  std::string input_path = "-";         // import
  std::vector<std::string> statements;  // sql
  std::string sql_path = "-";           // create
  std::string create_format = "jet4";   // create
};

// The subcommands, to tell which one was given.
struct Commands {
  CLI::App* tables = nullptr;
  CLI::App* schema = nullptr;
  CLI::App* export_command = nullptr;
  CLI::App* check = nullptr;
  CLI::App* import_command = nullptr;
  CLI::App* sql_command = nullptr;
  CLI::App* create_command = nullptr;
};

void AddFileOptions(CLI::App* command, Arguments* args) {
  command->add_option("FILE", args->file, "The .mdb file")->required();
  command->add_option("--password", args->password, "Database password (default: none)");
}

// The commands that only read: tables, schema, export, check.
void AddReadCommands(CLI::App* app, Arguments* args, Commands* commands) {
  commands->tables = app->add_subcommand("tables", "List the user tables, one a line");
  AddFileOptions(commands->tables, args);

  commands->schema = app->add_subcommand(
      "schema", "Show columns (name, type, size, nullability, autonumber) and indexes");
  AddFileOptions(commands->schema, args);
  commands->schema->add_option("TABLE", args->table_name,
                               "Only this table (default: every user table)");

  CLI::App* export_command =
      app->add_subcommand("export", "Write the rows of a table in table order");
  commands->export_command = export_command;
  AddFileOptions(export_command, args);
  export_command->add_option("TABLE", args->table_name, "The table (case-insensitive)")->required();
  export_command
      ->add_option("--format", args->format_name,
                   "jsonl: one JSON object per row, keys in column order; csv: a header line, then "
                   "one line per row")
      ->check(CLI::IsMember({"jsonl", "csv"}))
      ->capture_default_str();

  commands->check = app->add_subcommand(
      "check",
      "Check the structure (usage maps, free space, row counts, autonumbers, long values, every "
      "index against its rows, the pages in use); list each problem, then as notes what only "
      "costs room (pages and long values nothing refers to)");
  AddFileOptions(commands->check, args);
}

// The commands that write: import, sql, create.
void AddWriteCommands(CLI::App* app, Arguments* args, Commands* commands) {
  CLI::App* import_command =
      app->add_subcommand("import", "Add rows to a table: every row or, if one is refused, none");
  commands->import_command = import_command;
  AddFileOptions(import_command, args);
  import_command->add_option("TABLE", args->table_name, "The table (case-insensitive)")->required();
  import_command
      ->add_option("INPUT", args->input_path, "Rows as export writes them; - for standard input")
      ->capture_default_str();
  import_command
      ->add_option("--format", args->format_name,
                   "jsonl: one JSON object per row, keys are column names; csv: a header line of "
                   "column names, then one line per row. Absent columns get their default values "
                   "(null when they have none); a null "
                   "AutoNumber gets the next number")
      ->check(CLI::IsMember({"jsonl", "csv"}))
      ->capture_default_str();

  CLI::App* sql_command =
      app->add_subcommand("sql", "Run SQL statements in order on one connection");
  commands->sql_command = sql_command;
  sql_command->footer(
      "Statements: SELECT * FROM t [WHERE ...], SELECT @@IDENTITY, INSERT INTO t (c, ...) VALUES "
      "(v, ...), UPDATE t SET c = v [, ...] [WHERE ...], DELETE [*] FROM t [WHERE ...]. Each "
      "INSERT, UPDATE or DELETE takes effect whole, with what the table's relationships "
      "cascade to, or not at all. SELECT rows are written as JSON lines; SELECT @@IDENTITY as "
      "{\"Expr1000\":N}, 0 before any insert. Stops at the first failing statement with "
      "\"statement N: why\" on standard error and exit status 1; the statements before it stay.");
  AddFileOptions(sql_command, args);
  sql_command->add_option("STATEMENT", args->statements,
                          "Statements to run (default: one a line from standard input)");

  CLI::App* create_command = app->add_subcommand(
      "create",
      "Make a new, empty Access 2000 (or Access 97) database and run CREATE TABLE / "
      "CREATE INDEX statements on it: all of them, or on a failure no file at all");
  commands->create_command = create_command;
  create_command
      ->add_option("--format", args->create_format,
                   "jet4: an Access 2000-2003 file (4 KB pages, Unicode text); jet3: an Access 97 "
                   "file (2 KB pages, text in code page 1252)")
      ->check(CLI::IsMember({"jet3", "jet4"}))
      ->capture_default_str();
  create_command->add_option("FILE", args->file, "The new .mdb file (must not exist)")->required();
  create_command
      ->add_option("SQL-FILE", args->sql_path, "Statements separated by ';'; - for standard input")
      ->capture_default_str();
}

// Parses the command line (taken from the system as UTF-8). False when the
// program ends here, with *exit_status: help, the version or a usage error,
// printed as CLI11 words them.
bool ParseCommandLine(CLI::App* app, int argc, char** argv, int* exit_status) {
  const std::vector<std::string> arguments = platform::Arguments(argc, argv);
  std::vector<const char*> utf8_argv;
  for (const std::string& argument : arguments) utf8_argv.push_back(argument.c_str());
  try {
    app->parse(static_cast<int>(utf8_argv.size()), utf8_argv.data());
    return true;
  } catch (const CLI::ParseError& error) {
    // In our lines.
    std::ostringstream out, err;
    const int code = app->exit(error, out, err);
    std::fputs(platform::WithLineEnds(out.str()).c_str(), stdout);
    std::fputs(platform::WithLineEnds(err.str()).c_str(), stderr);
    *exit_status = code == 0 ? kExitOk : kExitUsage;
    return false;
  }
}

// The --format of export and import; false after saying it is unknown.
bool OutputFormatOf(const std::string& name, jetdb::OutputFormat* format) {
  if (jetdb::ParseOutputFormat(name, format)) return true;
  fmt::print(stderr, "jetdb: unknown format {}{}", name, platform::kLineEnd);
  return false;
}

int RunCommand(const Commands& commands, Arguments& args) {
  jetdb::OutputFormat format;
  if (commands.tables->parsed()) return RunTables(args.file, args.password);
  if (commands.schema->parsed()) return RunSchema(args.file, args.password, args.table_name);
  if (commands.export_command->parsed()) {
    if (!OutputFormatOf(args.format_name, &format)) return kExitUsage;
    return RunExport(args.file, args.password, args.table_name, format);
  }
  if (commands.check->parsed()) return RunCheck(args.file, args.password);
  if (commands.import_command->parsed()) {
    if (!OutputFormatOf(args.format_name, &format)) return kExitUsage;
    return RunImport(args.file, args.password, args.table_name, format, args.input_path);
  }
  if (commands.sql_command->parsed()) {
    return RunSql(args.file, args.password, std::move(args.statements));
  }
  if (commands.create_command->parsed()) {
    return RunCreate(args.file, args.sql_path, args.create_format);
  }
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  platform::MarkRunning();
  CLI::App app{
      "Inspect a Microsoft Access database (.mdb, Jet 3 or Jet 4); only import and sql "
      "change it, create makes one.",
      "jetdb"};
  // "/tmp/x.mdb" is a file, also on Windows (subcommands take this over as
  // they are made).
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 ok, 1 failure (nothing written at a failed close), 2 bad usage, 3 "
      "saved but not finished (the next open of the file finishes it: do not repeat the "
      "command).");
  app.set_version_flag("--version", std::string("jetdb ") + TESSALY_VERSION);
  Arguments args;
  Commands commands;
  AddReadCommands(&app, &args, &commands);
  AddWriteCommands(&app, &args, &commands);

  platform::UseBinaryStandardStreams();
  int exit_status = kExitOk;
  if (!ParseCommandLine(&app, argc, argv, &exit_status)) return exit_status;
  return RunCommand(commands, args);
}
