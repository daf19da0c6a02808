// The rows of a query, read one at a time, shaped like the recordset the
// calendar program uses:
//
//   Recordset rs;
//   rs.SetCursorLocation(adUseClient);
//   rs.Open(sql_text, &connection, adOpenDynamic, adLockUnspecified, adCmdUnspecified);
//   while (!rs.Eof()) { ... rs.Fields()["EventID"].Value() ...; rs.MoveNext(); }
//   rs.Close();
//
// or set up first and opened with nothing given:
//
//   rs.SetCursorType(adOpenForwardOnly); rs.SetLockType(adLockReadOnly);
//   rs.SetSource("SELECT @@IDENTITY"); rs.SetActiveConnection(&connection);
//   rs.Open({}, nullptr, adOpenUnspecified, adLockUnspecified, adCmdText);
//
// Invariants:
//   (R1) Every recordset, whatever its cursor location and type, is a
//        snapshot of its rows taken at Open: statements run later on the
//        connection neither change it nor are blocked by it.
//   (R2) Open positions on the first row, or at EOF when there is none.
//   (R3) Reading a field with no current row throws 3021; anything but
//        setting properties on a closed recordset throws 3704; setting the
//        cursor location, type, lock type or source while open throws 3705.
//
// Not thread-safe. Neither copied nor moved: fields refer back to it. The
// connection must outlive the Open call only; the rows are the recordset's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ado/connection.h"
#include "ado/variant.h"

namespace ado {

inline constexpr int32_t adUseServer = 2;
inline constexpr int32_t adUseClient = 3;
inline constexpr int32_t adOpenUnspecified = -1;
inline constexpr int32_t adOpenForwardOnly = 0;
inline constexpr int32_t adOpenKeyset = 1;
inline constexpr int32_t adOpenDynamic = 2;
inline constexpr int32_t adOpenStatic = 3;
inline constexpr int32_t adLockUnspecified = -1;
inline constexpr int32_t adLockReadOnly = 1;
inline constexpr int32_t adLockPessimistic = 2;
inline constexpr int32_t adLockOptimistic = 3;
inline constexpr int32_t adLockBatchOptimistic = 4;

class Recordset;

// One column of a recordset; its value is that of the current row.
class Field {
 public:
  // The column name as the statement gave it. 3704 when the recordset is closed.
  std::string Name() const;
  // The column's value in the current row. 3021 when there is no current
  // row, 3704 when the recordset has been closed.
  Variant Value() const;

 private:
  friend class FieldList;
  Field(const Recordset* recordset, size_t column_index)
      : recordset_(recordset), column_index_(column_index) {}

  const Recordset* recordset_;
  size_t column_index_;
};

// The columns of an open recordset, by name or by position.
class FieldList {
 public:
  int32_t Count() const;
  // Name without regard to case ("EventID" finds EventId). 3265 when no
  // column has that name, 3704 when the recordset is closed.
  Field Item(std::string_view name) const;
  // Position from 0. 3265 when out of range, 3704 when closed.
  Field Item(int32_t position) const;
  Field operator[](std::string_view name) const { return Item(name); }
  Field operator[](const char* name) const { return Item(std::string_view(name)); }
  Field operator[](int32_t position) const { return Item(position); }

 private:
  friend class Recordset;
  explicit FieldList(const Recordset* recordset) : recordset_(recordset) {}

  const Recordset* recordset_;
};

class Recordset {
 public:
  Recordset() = default;  // closed; server cursor, forward-only, read-only
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  int32_t CursorLocation() const { return cursor_location_; }
  void SetCursorLocation(int32_t cursor_location);
  int32_t CursorType() const { return cursor_type_; }
  void SetCursorType(int32_t cursor_type);
  int32_t LockType() const { return lock_type_; }
  void SetLockType(int32_t lock_type);
  const std::string& Source() const { return source_; }
  void SetSource(std::string_view source);
  Connection* ActiveConnection() const { return active_connection_; }
  // REQUIRES: `connection` outlives the next Open call.
  void SetActiveConnection(Connection* connection);

  // Runs `source` on `active_connection`; an empty source or a null
  // connection means the Source or ActiveConnection property, and
  // adOpenUnspecified / adLockUnspecified mean the CursorType / LockType
  // property. What is given is kept in the properties, as ADO does.
  // `options`: adCmdUnspecified, adCmdText or adCmdUnknown (3001 otherwise).
  // Failures: 3705 when open; 3709 with no connection or a closed one;
  // -2147217908 with no source; the provider failures of the statement.
  // A statement that returns no rows (an INSERT) runs and leaves the
  // recordset closed.
  void Open(std::string_view source = {}, Connection* active_connection = nullptr,
            int32_t cursor_type = adOpenUnspecified, int32_t lock_type = adLockUnspecified,
            int32_t options = adCmdUnspecified);

  // True when no current row is left. 3704 when closed.
  bool Eof() const;
  // Steps to the next row. 3021 at EOF, 3704 when closed.
  void MoveNext();
  // 3704 when closed.
  FieldList Fields() const;
  // Drops the rows; the properties stay for a later Open. 3704 when closed.
  void Close();

  int32_t State() const { return open_ ? adStateOpen : adStateClosed; }

 private:
  friend class Field;
  friend class FieldList;

  void RequireOpen() const;
  void RequireClosed() const;

  int32_t cursor_location_ = adUseServer;
  int32_t cursor_type_ = adOpenForwardOnly;
  int32_t lock_type_ = adLockReadOnly;
  std::string source_;
  Connection* active_connection_ = nullptr;

  bool open_ = false;
  std::vector<std::string> column_names_;
  std::vector<std::vector<Variant>> rows_;  // the snapshot (R1)
  size_t position_ = 0;                     // == rows_.size() at EOF
};

}  // namespace ado
