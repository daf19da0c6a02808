// The provider number of each SQL failure kind; see the table in
// error_numbers.h.
#include "ado/error_numbers.h"

namespace ado {

int32_t ProviderNumber(sql::ErrorKind kind) {
  switch (kind) {
    case sql::ErrorKind::kSyntax: return kProviderSyntaxError;
    case sql::ErrorKind::kTypeMismatch: return kProviderTypeMismatch;
    case sql::ErrorKind::kNoSuchTable: return kProviderNoSuchTable;
    case sql::ErrorKind::kNoSuchColumn: return kProviderMissingParameter;
    case sql::ErrorKind::kConstraint: return kProviderGeneralFailure;
    case sql::ErrorKind::kNotSupported: return kProviderGeneralFailure;
    case sql::ErrorKind::kDatabase: return kProviderGeneralFailure;
  }
  return kProviderGeneralFailure;
}

}  // namespace ado
