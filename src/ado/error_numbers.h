// Every number the connection layer raises, in one place.
//
// Failures leave this layer as errors::RuntimeError(number, description) so
// that a procedure's handler reports them unchanged. The numbers are those a
// user of the Windows data-access components can look up:
//
//   Provider and SQL failures: the HRESULT of the failure as a negative
//   32-bit number, with the description the SQL layer or the file engine
//   wrote (it names the table, column and value). One table maps each
//   sql::ErrorKind:
//
//     kind            number        HRESULT     why this one
//     kSyntax         -2147217900   0x80040E14  "syntax error in the command"
//     kTypeMismatch   -2147217913   0x80040E07  "data type mismatch"
//     kNoSuchTable    -2147217865   0x80040E37  "cannot find the input table"
//     kNoSuchColumn   -2147217904   0x80040E10  an unknown name in Access SQL
//                                               is a parameter without a value
//                                               ("too few parameters")
//     kConstraint     -2147467259   0x80004005  duplicate key, required column,
//                                               text too long: the driver's
//                                               general failure
//     kNotSupported   -2147467259   0x80004005  general failure
//     kDatabase       -2147467259   0x80004005  I/O, damaged or locked file
//
//   Opening: every file or connection-string failure is -2147467259
//   (0x80004005) with a description naming what failed and the path; a
//   wrong password or user is -2147217843 (0x80040E4D, "authentication
//   failed").
//
//   The object model's own errors (positive numbers, as the runtime shows
//   them): 3001 bad argument, 3021 no current record, 3265 no such field,
//   3704 object closed, 3705 object already open, 3709 connection closed or
//   missing.
//
// Provider failures are also appended to the connection's Errors list
// before they are thrown; the object model's own errors are not, as with
// the original components.
#pragma once

#include <cstdint>

#include "errors/runtime_error.h"
#include "sql/session.h"

namespace ado {

// Provider numbers (HRESULTs with the top bit set).
inline constexpr int32_t kProviderSyntaxError = -2147217900;           // 0x80040E14
inline constexpr int32_t kProviderTypeMismatch = -2147217913;          // 0x80040E07
inline constexpr int32_t kProviderNoSuchTable = -2147217865;           // 0x80040E37
inline constexpr int32_t kProviderMissingParameter = -2147217904;      // 0x80040E10
inline constexpr int32_t kProviderGeneralFailure = -2147467259;        // 0x80004005
inline constexpr int32_t kProviderAuthenticationFailed = -2147217843;  // 0x80040E4D
inline constexpr int32_t kProviderNoCommandText = -2147217908;         // 0x80040E0C

// The object model's errors, with their standard texts.
inline constexpr errors::KnownError kBadArgument{
    3001,
    "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
    "with one another."};
inline constexpr errors::KnownError kNoCurrentRecord{
    3021,
    "Either BOF or EOF is True, or the current record has been deleted. Requested "
    "operation requires a current record."};
inline constexpr errors::KnownError kItemNotFound{
    3265,
    "Item cannot be found in the collection corresponding to the requested name or "
    "ordinal."};
inline constexpr errors::KnownError kObjectClosed{
    3704, "Operation is not allowed when the object is closed."};
inline constexpr errors::KnownError kObjectOpen{
    3705, "Operation is not allowed when the object is open."};
inline constexpr errors::KnownError kConnectionUnusable{
    3709,
    "The connection cannot be used to perform this operation. It is either closed or "
    "invalid in this context."};

// The number for a failure of the SQL layer (the table above).
int32_t ProviderNumber(sql::ErrorKind kind);

}  // namespace ado
